#include "Frame.h"

#include <gtest/gtest.h>

#include "E2eTest.h"
#include "JpegDecoder.h"
#include "Miravel.h"

namespace e2e {

std::vector<std::uint8_t> ReadFileBytes(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    GetFileSizeEx(f, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(f);
    return bytes;
}

TempFolder::TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path_ = std::wstring(temp) + L"miravel-e2e-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64());
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() {
    for (const std::wstring& f : files_) DeleteFileW(f.c_str());
    RemoveDirectoryW(path_.c_str());
}

std::wstring TempFolder::Write(const std::wstring& name, const std::vector<std::uint8_t>& bytes) {
    const std::wstring path = path_ + L"\\" + name;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (f != INVALID_HANDLE_VALUE) {
        if (!bytes.empty()) WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(f);
    }
    files_.push_back(path);
    return path;
}

std::optional<Photo> DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
    JpegDecoder decoder;
    if (decoder.AnalysisHeader(bytes.data(), static_cast<int32_t>(bytes.size())) < 0 || decoder.DecodeImage() < 0)
        return std::nullopt;
    uint8_t *r = nullptr, *g = nullptr, *b = nullptr;
    int32_t w = 0, h = 0;
    decoder.GetImage(&r, &g, &b, &w, &h);
    Photo photo;
    photo.width = w;
    photo.height = h;
    photo.pixels.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < photo.pixels.size(); ++i) photo.pixels[i] = (Rgb(r[i]) << 16) | (Rgb(g[i]) << 8) | b[i];
    return photo;
}

Photo PatternPhoto(int width, int height) {
    Photo photo;
    photo.width = width;
    photo.height = height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            photo.pixels.push_back((Rgb(x * 255 / width) << 16) | (Rgb(y * 255 / height) << 8) | Rgb((x * y) & 0xFF));
    return photo;
}

std::vector<std::uint8_t> MakeBmp24(const Photo& photo) {
    const size_t stride = (static_cast<size_t>(photo.width) * 3 + 3) & ~size_t{3};
    std::vector<std::uint8_t> bmp(54 + stride * photo.height, 0);
    auto put32 = [&](size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, static_cast<std::uint32_t>(bmp.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, photo.width);
    put32(22, photo.height);
    bmp[26] = 1;
    bmp[28] = 24;
    put32(34, static_cast<std::uint32_t>(stride * photo.height));
    for (int y = 0; y < photo.height; ++y)
        for (int x = 0; x < photo.width; ++x) {
            const Rgb c = photo.At(x, y);
            std::uint8_t* p = &bmp[54 + stride * (photo.height - 1 - y) + 3 * x];
            p[0] = c & 0xFF;
            p[1] = (c >> 8) & 0xFF;
            p[2] = (c >> 16) & 0xFF;
        }
    return bmp;
}

std::wstring SourcePhoto(const std::wstring& name) {
    // The driver lives in the build folder; the source tree is reachable
    // through drive Z: (the host's root) at the path the build was made from.
    std::wstring path = L"Z:";
    for (char c : std::string(MIRAVEL_SOURCE_DIR "/tests/data/jpeg/"))
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path + name;
}

std::wstring TestJpegPath() { return SourcePhoto(L"rocket-420-203x117.jpg"); }

void StoreSettings(const std::optional<std::wstring>& path, const std::optional<std::wstring>& colour) {
    if (path) WriteString(HKEY_CURRENT_USER, kSettingKey, L"CURRENTFILE", *path);
    if (colour) WriteString(HKEY_CURRENT_USER, kSettingKey, L"FRAMECOLOR", *colour);
}

std::optional<std::wstring> StoredSetting(const std::wstring& name) {
    return ReadString(HKEY_CURRENT_USER, kSettingKey, name);
}

Started StartProgram(const std::function<void(HWND)>& onOwnedDialog, const std::wstring& arguments) {
    Started s;
    s.program = Process::Start(MiravelExe(), arguments);
    StartWatch watch = WatchSplash(s.program);
    if (!watch.splash) return s;
    s.frame = onOwnedDialog ? WaitForFrame(s.program.Id(), watch.splash, onOwnedDialog)
                            : WaitForFrame(s.program.Id(), watch.splash);
    return s;
}

std::function<void(HWND)> CollectMessages(std::vector<std::wstring>* messages) {
    return [messages](HWND dialog) {
        messages->push_back(DialogText(dialog));
        ConfirmDialog(dialog);
        WaitUntil([dialog] { return !IsWindow(dialog); }, kUiTimeoutMs);
    };
}

FrameLook LookAtFrame(HWND frame, const Photo& photo, Rgb band) {
    FrameLook look;
    WaitUntil(
        [&] {
            WindowInfo info = Describe(frame);
            look.outerWidth = Width(info.window);
            look.outerHeight = Height(info.window);
            ScreenShot shot(info.client);
            look.photoWrong = look.bandWrong = 0;
            for (int y = 0; y < shot.Height(); ++y)
                for (int x = 0; x < shot.Width(); ++x) {
                    const bool inPhoto = x >= 10 && y >= 10 && x < 10 + photo.width && y < 10 + photo.height;
                    const Rgb seen = shot.At(x, y);
                    const Rgb wanted = inPhoto ? photo.At(x - 10, y - 10) : band;
                    if (seen == wanted) continue;
                    if (inPhoto && !look.photoWrong++) look.firstWrongPhoto = seen;
                    if (!inPhoto && !look.bandWrong++) look.firstWrongBand = seen;
                }
            return look.outerWidth == photo.width + 25 && look.outerHeight == photo.height + 25 &&
                   look.photoWrong == 0 && look.bandWrong == 0;
        },
        4000, 100);
    return look;
}

void ExpectFramed(HWND frame, const Photo& photo, Rgb band, const std::string& what) {
    FrameLook look = LookAtFrame(frame, photo, band);
    EXPECT_EQ(look.outerWidth, photo.width + 25) << what;
    EXPECT_EQ(look.outerHeight, photo.height + 25) << what;
    EXPECT_EQ(look.photoWrong, 0) << what << ": photo pixels differ, first seen " << Hex(look.firstWrongPhoto);
    EXPECT_EQ(look.bandWrong, 0) << what << ": band pixels differ from " << Hex(band) << ", first seen "
                                 << Hex(look.firstWrongBand);
}

POINT BandPoint(HWND frame) {
    POINT p{4, 4};
    ClientToScreen(frame, &p);
    return p;
}

POINT ClientCentre(HWND frame) { return Centre(Describe(frame).client); }

HWND OpenMenu(HWND frame) {
    Activate(frame);
    // The menu opens with its corner a border's width above and left of the
    // cursor, so the cursor rests on its first item. The right button is
    // let go only after the cursor has left the menu for the band on its
    // left, so the release picks nothing (Wine takes a release over an item
    // as a choice even when the mouse has not moved).
    POINT press{8, 8}, release{1, 8};
    ClientToScreen(frame, &press);
    ClientToScreen(frame, &release);
    // Under Wine the first press after the frame has restacked itself is
    // sometimes taken by the window manager's focus change and never
    // reaches the frame; the press is then repeated.
    for (int attempt = 0; attempt < 3; ++attempt) {
        MoveMouse(press);
        MouseDown(true);
        HWND popup = WaitForPopupMenu(1500);
        MoveMouse(release);
        MouseUp(true);
        if (popup) return popup;
    }
    return nullptr;
}

bool Choose(HWND frame, MenuItem item) {
    if (!OpenMenu(frame)) return false;
    PickMenuItemByPosition(item);
    return WaitUntil([] { return FindPopupMenu() == nullptr; }, kUiTimeoutMs);
}

std::optional<std::vector<bool>> MenuCheckMarks(HWND popup) {
    // The menu's items live in the program; from outside, the check marks
    // are read off the screen. Each item's text is a band of rows with dark
    // pixels right of the check-mark column (separators are drawn lighter);
    // an item carries a check mark when dark pixels lie in that column
    // within its band.
    RECT r{};
    if (!GetWindowRect(popup, &r)) return std::nullopt;
    ScreenShot shot(r);
    const int border = 3, column = GetSystemMetrics(SM_CXMENUCHECK);
    auto dark = [&](int x, int y) {
        const Rgb c = shot.At(x, y);
        return ((c >> 16) & 0xFF) + ((c >> 8) & 0xFF) + (c & 0xFF) < 3 * 96;
    };
    std::vector<bool> marks;
    bool inBand = false, marked = false;
    for (int y = border; y <= shot.Height() - border; ++y) {
        bool text = false, mark = false;
        if (y < shot.Height() - border) {
            for (int x = border + column; x < shot.Width() - border && !text; ++x) text = dark(x, y);
            for (int x = border; x < border + column && x < shot.Width(); ++x) mark = mark || dark(x, y);
        }
        if (text || (inBand && mark)) {
            inBand = true;
            marked = marked || mark;
        } else if (inBand) {
            marks.push_back(marked);
            inBand = marked = false;
        }
    }
    if (marks.size() != kMenuItemCount) return std::nullopt;
    return marks;
}

std::optional<bool> MenuItemChecked(HWND popup, MenuItem item) {
    const auto marks = MenuCheckMarks(popup);
    if (!marks) return std::nullopt;
    return (*marks)[item];
}

HWND WaitForOwnedDialog(DWORD pid, HWND owner, DWORD timeoutMs) {
    return WaitFor(
        [&]() -> HWND {
            for (HWND hwnd : TopLevelWindows(pid))
                if (hwnd != owner && IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32770" &&
                    GetWindow(hwnd, GW_OWNER) == owner)
                    return hwnd;
            return nullptr;
        },
        timeoutMs);
}

std::optional<std::wstring> WaitForMessage(DWORD pid, HWND frame, DWORD timeoutMs) {
    HWND box = WaitFor(
        [&]() -> HWND {
            HWND d = FindDialogOtherThan(pid, frame);
            return d && WindowText(d) == L"MIRAVEL" ? d : nullptr;
        },
        timeoutMs);
    if (!box) return std::nullopt;
    std::wstring text = DialogText(box);
    ConfirmDialog(box);
    WaitUntil([box] { return !IsWindow(box); }, kUiTimeoutMs);
    return text;
}

bool ChoosePhotoInDialog(DWORD pid, HWND owner, const std::wstring& path) {
    HWND dialog = WaitForOwnedDialog(pid, owner, kUiTimeoutMs);
    if (!dialog || !TypeIntoOpenFileDialog(dialog, path)) return false;
    return WaitUntil([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, kUiTimeoutMs);
}

bool ChooseColourInDialog(DWORD pid, HWND owner, int index) {
    HWND dialog = WaitForOwnedDialog(pid, owner, kUiTimeoutMs);
    if (!dialog) return false;
    if (index >= 0 && !ClickBasicColour(dialog, index)) return false;
    ConfirmDialog(dialog);
    return WaitUntil([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, kUiTimeoutMs);
}

bool IsTopmost(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

}  // namespace e2e
