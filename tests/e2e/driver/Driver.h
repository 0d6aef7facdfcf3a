// The end-to-end test driver: a small library that starts a real Windows
// program, finds its windows, reads their geometry, styles and screen pixels,
// drives them with real input (SendInput), works common dialogs and popup
// menus, reads and writes the registry, and acts as an automation client.
// Every process it starts is ended by id; nothing here depends on the program
// under test beyond what a user could see.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oaidl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace e2e {

// ----------------------------------------------------------------- paths --

// Folder of the running driver executable (no trailing separator).
std::wstring DriverFolder();
// A file beside the driver executable.
std::wstring BesideDriver(const std::wstring& fileName);
bool FileExists(const std::wstring& path);

// -------------------------------------------------------------- processes --

// A started process, ended by id (TerminateProcess) when the object dies,
// however the test ends.
class Process {
public:
    Process() = default;
    // Starts `exe` with `arguments` (a command line tail, may be empty);
    // throws std::runtime_error with the system's error text on failure.
    static Process Start(const std::wstring& exe, const std::wstring& arguments = L"");
    // Takes over a process started by someone else (by id).
    static Process Attach(DWORD pid);
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    DWORD Id() const { return pid_; }
    bool Running() const;
    // Waits for the process to end; returns its exit code, or nothing on timeout.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs) const;
    // Ends the process (no-op when it has ended) and waits for it.
    void Terminate();

private:
    HANDLE handle_ = nullptr;
    DWORD pid_ = 0;
};

// Ids of the running processes whose image file name (no folder) equals
// `imageName`, ignoring case.
std::set<DWORD> ProcessesNamed(const std::wstring& imageName);

// Ends, by id, every process named `imageName` that was not in `before` when
// called; used at the end of a test for copies the program started itself
// (a new frame) or that OLE started. Returns how many it ended.
int EndProcessesStartedSince(const std::wstring& imageName, const std::set<DWORD>& before);

// ---------------------------------------------------------------- windows --

struct WindowInfo {
    HWND hwnd = nullptr;
    std::wstring className;
    std::wstring title;
    RECT window{};   // outer rectangle, screen coordinates
    RECT client{};   // client rectangle, screen coordinates
    LONG style = 0;
    LONG exStyle = 0;
    bool visible = false;
    HWND owner = nullptr;
    DWORD pid = 0;
};

WindowInfo Describe(HWND hwnd);
int Width(const RECT& r);
int Height(const RECT& r);
POINT Centre(const RECT& r);

// Top-level windows of a process (visible or not), in Z order.
std::vector<HWND> TopLevelWindows(DWORD pid);
// Child windows of a window, all levels.
std::vector<HWND> ChildWindows(HWND parent);
std::wstring ClassName(HWND hwnd);
std::wstring WindowText(HWND hwnd);

// Polls every few milliseconds until `found` returns a window or the time is
// up; returns null on timeout.
HWND WaitFor(const std::function<HWND()>& found, DWORD timeoutMs, DWORD pollMs = 20);
// Polls until `done` is true; false on timeout.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs = 20);

// The first visible top-level window of `pid` whose class is `className`
// (empty: any class) and that `accept` (if given) accepts.
HWND FindVisibleWindow(DWORD pid, const std::wstring& className,
                       const std::function<bool(HWND)>& accept = nullptr);

// A visible dialog box (#32770) of `pid` other than `except`, for example a
// common dialog or a message box opened over the main window.
HWND FindDialogOtherThan(DWORD pid, HWND except);

// Size in pixels of `cx` x `cy` dialog units in a dialog whose template
// font is `pointSize` points of `face`: asks the system's own dialog manager
// (a hidden dialog of that font, MapDialogRect), so it is exact for the
// running system and its font substitutes.
SIZE DialogUnitsToPixels(const std::wstring& face, int pointSize, int cx, int cy);

// Grows a client rectangle to the outer rectangle of a window with these
// styles at `dpi` (AdjustWindowRectExForDpi); false where that is missing.
bool OuterRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);

// Work area of the monitor that holds most of `hwnd`.
RECT WorkAreaOf(HWND hwnd);

// ----------------------------------------------------------------- screen --

// 24-bit colour as 0x00RRGGBB for easy printing (not a COLORREF).
using Rgb = std::uint32_t;
Rgb RgbFromColorref(COLORREF c);

// Writes a 24-bit bottom-up BMP file of width x height pixels, pixel(x, y)
// with (0, 0) at the top left.
bool WriteBmp24(const std::wstring& path, int width, int height, const std::function<Rgb(int x, int y)>& pixel);

// A copy of screen pixels (GetDC(NULL) + BitBlt into a 32-bit DIB).
class ScreenShot {
public:
    explicit ScreenShot(const RECT& screenRect);
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Pixel at (x, y) relative to the captured rectangle's top-left corner.
    Rgb At(int x, int y) const;
    // Writes a 24-bit BMP (for looking at a failure).
    bool SaveBmp(const std::wstring& path) const;

private:
    int width_ = 0, height_ = 0;
    std::vector<std::uint32_t> pixels_;   // top-down, 0x00RRGGBB
};

// --------------------------------------------------------------- real input --

// All input goes through SendInput, as a user's mouse and keyboard would.
void MoveMouse(POINT screen);
void MouseDown(bool right = false);
void MouseUp(bool right = false);
void Click(POINT screen, bool right = false);
// Presses the left button at `from`, moves in `steps` steps to `to` (pausing
// `stepMs` between them so a program that rate-limits moves sees each one),
// and releases there.
void Drag(POINT from, POINT to, int steps = 8, DWORD stepMs = 30);
void KeyDown(WORD vk);
void KeyUp(WORD vk);
void PressKey(WORD vk);
// Presses `vk` while `modifier` (VK_SHIFT, VK_CONTROL, VK_MENU) is held.
void PressKeyWith(WORD modifier, WORD vk);
// Types text as Unicode characters (any script, Japanese included).
void TypeText(const std::wstring& text);
POINT CursorPos();

// Brings a window to the foreground so that keys reach it; true when it is.
bool Activate(HWND hwnd);

// ------------------------------------------------------------ popup menus --

// A visible popup menu (class #32768), or null.
HWND FindPopupMenu();
HWND WaitForPopupMenu(DWORD timeoutMs);
// Picks item `index` (0-based, counting only items that can be selected:
// separators are skipped) of the open popup menu with the keyboard.
void PickMenuItemByPosition(int index);

// ------------------------------------------------------------ dropping --

// Drops files on a window of another process as the system delivers a drop
// from the shell: a DROPFILES block (wide paths, the drop point in client
// coordinates) in the target's memory, posted as WM_DROPFILES. False when
// the block cannot be placed there.
bool DropFiles(HWND target, const std::vector<std::wstring>& paths, POINT clientPoint);

// -------------------------------------------------------- common dialogs --

// The open-file dialog: types `path` into its file-name box and presses
// Enter. Returns false when no file-name box is found.
bool TypeIntoOpenFileDialog(HWND dialog, const std::wstring& path);
// A dialog's OK / Cancel, with real input (Enter / Escape after activation).
void ConfirmDialog(HWND dialog);
void CancelDialog(HWND dialog);
// The colour dialog: clicks basic colour `index` (0 to 47, rows of 8, left to
// right, top to bottom) with the mouse. False when the swatch area is not found.
bool ClickBasicColour(HWND dialog, int index);
// The control of a dialog with the given id, or null.
HWND DialogItem(HWND dialog, int id);
// Text of all static controls of a dialog (for message boxes).
std::wstring DialogText(HWND dialog);

// --------------------------------------------------------------- registry --

// Deletes a key and everything under it; true when it is gone afterwards.
bool DeleteKeyTree(HKEY root, const std::wstring& path);
bool KeyExists(HKEY root, const std::wstring& path);
std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const std::wstring& name);
bool WriteString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value);
std::optional<DWORD> ReadDword(HKEY root, const std::wstring& path, const std::wstring& name);
bool WriteDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value);
// True when the value is gone afterwards (also when it was never there).
bool DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name);
// Names of the values under a key.
std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path);

// The machine-wide classes, HKLM\Software\Classes\<path>. Windows shows
// programs a merged view of the user's classes (HKCU\Software\Classes) over
// these; Wine 8 shows the machine's alone, so a class registered per user
// is not found there. LinkMachineClassesToUser makes each path a registry
// link to the user's key of the same path, which gives Wine's OLE the view
// Windows has for those keys; RemoveMachineClasses removes links (never
// their targets) and keys of the paths. MachineClassKeyExists does not
// follow links: true for a link or a key of its own.
bool MachineClassKeyExists(const std::wstring& path);
void RemoveMachineClasses(const std::vector<std::wstring>& paths);
bool LinkMachineClassesToUser(const std::vector<std::wstring>& paths);

// Deletes HKCU\Software\Quillfern when constructed and when destroyed, so a
// test starts from empty settings and leaves none behind.
class FreshSettings {
public:
    FreshSettings();
    ~FreshSettings();
    FreshSettings(const FreshSettings&) = delete;
    FreshSettings& operator=(const FreshSettings&) = delete;
    static constexpr const wchar_t* kKey = L"Software\\Quillfern";
};

// ------------------------------------------------- resources of an executable --

// A raw resource of an executable file, read without running it.
std::optional<std::vector<std::uint8_t>> ReadResource(const std::wstring& exe, LPCWSTR type, int id);

struct DibInfo {
    int width = 0, height = 0;   // height > 0: bottom-up
    int bitCount = 0;
    DWORD compression = 0;
    int paletteEntries = 0;
};
// Parses a BITMAPINFOHEADER-based DIB (a bitmap resource); nothing when the
// block is too short for what its header claims.
std::optional<DibInfo> ParseDib(const std::vector<std::uint8_t>& dib);
// Colour of pixel (x, y), y counted from the top, of a palettised or 24/32-bit
// uncompressed DIB; the block must have passed ParseDib.
Rgb DibPixel(const std::vector<std::uint8_t>& dib, int x, int y);

struct IconImageInfo {
    int width = 0, height = 0, colourCount = 0, bitCount = 0, id = 0;
};
// The images an icon group resource lists.
std::vector<IconImageInfo> IconGroup(const std::wstring& exe, int groupId);

// ------------------------------------------------------------- automation --

// CoInitialize for the calling thread, undone on destruction.
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    HRESULT Result() const { return hr_; }

private:
    HRESULT hr_;
};

// Creates an object of an automation class by ProgID (CLSIDFromProgID, then
// CoCreateInstance for a local server) and returns its IDispatch, or the
// failure in `hr`.
IDispatch* CreateAutomationObject(const std::wstring& progId, HRESULT* hr);

// ----------------------------------------------------------------- misc --

// Milliseconds from a fixed start, for measuring in tests.
double NowMs();
// True when running under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();
std::string Narrow(const std::wstring& text);   // UTF-8, for messages
std::string Hex(std::uint32_t value);

}  // namespace e2e
