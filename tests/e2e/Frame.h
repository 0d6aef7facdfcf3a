// The frame window from outside: stored settings, photos the tests write
// and their expected pixels (JPEG through the program's own baseline
// decoder), the framed photo on the screen, and the right-click menu.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "driver/Driver.h"

namespace e2e {

constexpr const wchar_t* kSettingKey = L"Software\\Quillfern\\MIRAVEL\\SETTING";

// Items of the right-click menu, counted as the keyboard selects them.
enum MenuItem { kNewFrame, kNewPhoto, kFrameColour, kAlwaysOnTop, kShrinkPhoto, kVersion, kExit };
constexpr std::size_t kMenuItemCount = 7;

// A photo's expected pixels, rows top-down.
struct Photo {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path);
// A fresh folder for the test's files, deleted with its files when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::wstring Write(const std::wstring& name, const std::vector<std::uint8_t>& bytes);
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

// A JPEG file's photo as the program's baseline decoder makes it.
std::optional<Photo> DecodeJpeg(const std::vector<std::uint8_t>& bytes);
// A 24-bit bottom-up BMP file of the photo, and the photo.
std::vector<std::uint8_t> MakeBmp24(const Photo& photo);
Photo PatternPhoto(int width, int height);
// The test photos of the source tree (tests/data/jpeg).
std::wstring SourcePhoto(const std::wstring& name);
std::wstring TestJpegPath();   // 203 x 117

void StoreSettings(const std::optional<std::wstring>& path, const std::optional<std::wstring>& colour);
std::optional<std::wstring> StoredSetting(const std::wstring& name);

// A started program and its frame window after the splash; owned dialogs
// that show first go to `onOwnedDialog` (cancelled by default).
struct Started {
    Process program;
    HWND frame = nullptr;
};
Started StartProgram(const std::function<void(HWND)>& onOwnedDialog = nullptr, const std::wstring& arguments = L"");
// For onOwnedDialog: confirms each dialog (a loader's message before the
// frame) and records its text.
std::function<void(HWND)> CollectMessages(std::vector<std::wstring>* messages);

// How many screen pixels of the frame's photo area and band differ from
// the photo and the band colour; waits up to a few seconds for them to
// settle. Also checks the outer size W + 25 by H + 25.
struct FrameLook {
    int outerWidth = 0, outerHeight = 0;
    int photoWrong = -1, bandWrong = -1;
    Rgb firstWrongPhoto = 0, firstWrongBand = 0;
};
FrameLook LookAtFrame(HWND frame, const Photo& photo, Rgb band);
void ExpectFramed(HWND frame, const Photo& photo, Rgb band, const std::string& what);

// A point on the band (client coordinates 4, 4) in screen coordinates.
POINT BandPoint(HWND frame);
// The centre of the client area in screen coordinates.
POINT ClientCentre(HWND frame);
// Right-clicks the band and waits for the popup menu; null if none showed.
HWND OpenMenu(HWND frame);
// Opens the menu and picks the item with the keyboard.
bool Choose(HWND frame, MenuItem item);
// The check marks of the open popup menu's items, in order (read off the
// screen); nothing when its items cannot be told apart.
std::optional<std::vector<bool>> MenuCheckMarks(HWND popup);
// Whether an item of the open popup menu carries its check mark.
std::optional<bool> MenuItemChecked(HWND popup, MenuItem item);

// A dialog of the process owned by `owner` (its top-level window), shown.
HWND WaitForOwnedDialog(DWORD pid, HWND owner, DWORD timeoutMs);
// The program's message box text, or nothing when none shows in time.
std::optional<std::wstring> WaitForMessage(DWORD pid, HWND frame, DWORD timeoutMs);
// The open-file dialog: types the path and confirms; false when no dialog.
bool ChoosePhotoInDialog(DWORD pid, HWND owner, const std::wstring& path);
// The colour dialog: clicks basic colour `index` and confirms (index < 0: OK at once).
bool ChooseColourInDialog(DWORD pid, HWND owner, int index);

bool IsTopmost(HWND hwnd);

}  // namespace e2e
