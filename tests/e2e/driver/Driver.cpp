#include "Driver.h"

#include <objbase.h>
#include <sddl.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cwctype>
#include <stdexcept>

namespace e2e {

namespace {

std::wstring SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result = n ? std::wstring(text, n) : L"error " + std::to_wstring(error);
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r')) result.pop_back();
    return result;
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

}  // namespace

// ----------------------------------------------------------------- paths --

std::wstring DriverFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

std::wstring BesideDriver(const std::wstring& fileName) { return DriverFolder() + L"\\" + fileName; }

bool FileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// -------------------------------------------------------------- processes --

Process Process::Start(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        throw std::runtime_error("cannot start " + Narrow(exe) + ": " + Narrow(SystemMessage(GetLastError())));
    }
    CloseHandle(info.hThread);
    Process p;
    p.handle_ = info.hProcess;
    p.pid_ = info.dwProcessId;
    return p;
}

Process Process::Attach(DWORD pid) {
    Process p;
    p.handle_ = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    p.pid_ = p.handle_ ? pid : 0;
    return p;
}

Process::Process(Process&& other) noexcept : handle_(other.handle_), pid_(other.pid_) {
    other.handle_ = nullptr;
    other.pid_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Terminate();
        if (handle_) CloseHandle(handle_);
        handle_ = other.handle_;
        pid_ = other.pid_;
        other.handle_ = nullptr;
        other.pid_ = 0;
    }
    return *this;
}

Process::~Process() {
    Terminate();
    if (handle_) CloseHandle(handle_);
}

bool Process::Running() const { return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

std::optional<DWORD> Process::WaitForExit(DWORD timeoutMs) const {
    if (!handle_ || WaitForSingleObject(handle_, timeoutMs) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(handle_, &code);
    return code;
}

void Process::Terminate() {
    if (Running()) {
        TerminateProcess(handle_, 1);
        WaitForSingleObject(handle_, 5000);
    }
}

std::set<DWORD> ProcessesNamed(const std::wstring& imageName) {
    std::set<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        std::wstring name = entry.szExeFile;
        size_t slash = name.find_last_of(L"\\/");
        if (slash != std::wstring::npos) name = name.substr(slash + 1);
        if (SameTextIgnoringCase(name, imageName)) ids.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

int EndProcessesStartedSince(const std::wstring& imageName, const std::set<DWORD>& before) {
    int ended = 0;
    for (DWORD pid : ProcessesNamed(imageName)) {
        if (before.count(pid)) continue;
        Process p = Process::Attach(pid);
        if (p.Running()) {
            p.Terminate();
            ++ended;
        }
    }
    return ended;
}

// ---------------------------------------------------------------- windows --

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256] = L"";
    int n = GetClassNameW(hwnd, name, 256);
    return std::wstring(name, n > 0 ? n : 0);
}

std::wstring WindowText(HWND hwnd) {
    // WM_GETTEXT through a timeout, so a hung program cannot hang the driver.
    wchar_t text[1024] = L"";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             2000, &copied))
        return L"";
    return std::wstring(text, std::min<size_t>(copied, 1023));
}

WindowInfo Describe(HWND hwnd) {
    WindowInfo info;
    info.hwnd = hwnd;
    if (!IsWindow(hwnd)) return info;
    info.className = ClassName(hwnd);
    info.title = WindowText(hwnd);
    GetWindowRect(hwnd, &info.window);
    GetClientRect(hwnd, &info.client);
    MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&info.client), 2);
    info.style = GetWindowLongW(hwnd, GWL_STYLE);
    info.exStyle = GetWindowLongW(hwnd, GWL_EXSTYLE);
    info.visible = IsWindowVisible(hwnd) != FALSE;
    info.owner = GetWindow(hwnd, GW_OWNER);
    GetWindowThreadProcessId(hwnd, &info.pid);
    return info;
}

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }
POINT Centre(const RECT& r) { return {r.left + Width(r) / 2, r.top + Height(r) / 2}; }

namespace {

// Enumeration callbacks are CALLBACK (stdcall on 32-bit x86), which a
// lambda cannot be.
struct WindowSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindowOfProcess(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner == search->pid) search->found.push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
    return TRUE;
}

BOOL CALLBACK FindVisiblePopupMenu(HWND hwnd, LPARAM param) {
    if (IsWindowVisible(hwnd) && ClassName(hwnd) == L"#32768") {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD pid) {
    WindowSearch search{pid, {}};
    EnumWindows(CollectWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> ChildWindows(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitFor(const std::function<HWND()>& found, DWORD timeoutMs, DWORD pollMs) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND hwnd = found()) return hwnd;
        if (GetTickCount64() >= end) return nullptr;
        ::Sleep(pollMs);
    }
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD pollMs) {
    ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (done()) return true;
        if (GetTickCount64() >= end) return false;
        ::Sleep(pollMs);
    }
}

HWND FindVisibleWindow(DWORD pid, const std::wstring& className, const std::function<bool(HWND)>& accept) {
    for (HWND hwnd : TopLevelWindows(pid)) {
        if (!IsWindowVisible(hwnd)) continue;
        if (!className.empty() && ClassName(hwnd) != className) continue;
        if (accept && !accept(hwnd)) continue;
        return hwnd;
    }
    return nullptr;
}

HWND FindDialogOtherThan(DWORD pid, HWND except) {
    return FindVisibleWindow(pid, L"#32770", [except](HWND hwnd) { return hwnd != except; });
}

namespace {

// A hidden dialog with no controls, used only to ask the dialog manager
// for its dialog-unit conversion.
INT_PTR CALLBACK QuietDialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

}  // namespace

SIZE DialogUnitsToPixels(const std::wstring& face, int pointSize, int cx, int cy) {
    // DLGTEMPLATE, then menu, class and title (all empty), then the font.
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
    auto* header = reinterpret_cast<DLGTEMPLATE*>(words.data());
    header->style = WS_POPUP | DS_SETFONT;
    header->cx = static_cast<short>(cx);
    header->cy = static_cast<short>(cy);
    words.insert(words.end(), {0, 0, 0, static_cast<WORD>(pointSize)});
    words.insert(words.end(), face.begin(), face.end());
    words.push_back(0);
    words.push_back(0);   // DWORD alignment slack
    HWND dialog = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                             reinterpret_cast<DLGTEMPLATE*>(words.data()), nullptr,
                                             QuietDialogProc, 0);
    if (!dialog) throw std::runtime_error("cannot create a measuring dialog");
    RECT r{0, 0, cx, cy};
    MapDialogRect(dialog, &r);
    DestroyWindow(dialog);
    return {r.right, r.bottom};
}

namespace {
template <class Fn>
Fn User32Entry(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}
}  // namespace

bool OuterRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
    static const auto adjust = User32Entry<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
    return adjust && adjust(rect, style, FALSE, exStyle, dpi);
}

RECT WorkAreaOf(HWND hwnd) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

// ----------------------------------------------------------------- screen --

Rgb RgbFromColorref(COLORREF c) {
    return (static_cast<Rgb>(GetRValue(c)) << 16) | (static_cast<Rgb>(GetGValue(c)) << 8) | GetBValue(c);
}

ScreenShot::ScreenShot(const RECT& r) : width_(std::max(0L, r.right - r.left)), height_(std::max(0L, r.bottom - r.top)) {
    pixels_.assign(static_cast<size_t>(width_) * height_, 0);
    if (!width_ || !height_) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;   // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = SelectObject(memory, dib);
        BitBlt(memory, 0, 0, width_, height_, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
        GdiFlush();
        const auto* source = static_cast<const std::uint32_t*>(bits);
        for (size_t i = 0; i < pixels_.size(); ++i) pixels_[i] = source[i] & 0x00FFFFFF;
        SelectObject(memory, old);
    }
    if (dib) DeleteObject(dib);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

Rgb ScreenShot::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) throw std::out_of_range("pixel outside the shot");
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

bool ScreenShot::SaveBmp(const std::wstring& path) const {
    return WriteBmp24(path, width_, height_, [this](int x, int y) { return At(x, y); });
}

bool WriteBmp24(const std::wstring& path, int width, int height, const std::function<Rgb(int x, int y)>& pixel) {
    const int stride = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride) * height;
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::vector<std::uint8_t> rows(info.biSizeImage, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            Rgb c = pixel(x, height - 1 - y);
            std::uint8_t* p = &rows[static_cast<size_t>(y) * stride + 3 * x];
            p[0] = c & 0xFF;
            p[1] = (c >> 8) & 0xFF;
            p[2] = (c >> 16) & 0xFF;
        }
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(f, &file, sizeof file, &written, nullptr) && WriteFile(f, &info, sizeof info, &written, nullptr) &&
              WriteFile(f, rows.data(), static_cast<DWORD>(rows.size()), &written, nullptr);
    CloseHandle(f);
    return ok;
}

// --------------------------------------------------------------- real input --

namespace {

void Send(INPUT* inputs, UINT count) {
    SendInput(count, inputs, sizeof(INPUT));
    ::Sleep(15);   // let the target's queue take it before the next event
}

bool IsExtendedKey(WORD vk) {
    switch (vk) {
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
    case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE: case VK_RCONTROL: case VK_RMENU:
        return true;
    default:
        return false;
    }
}

void Key(WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    Send(&input, 1);
}

void MouseButton(DWORD flags) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    Send(&input, 1);
}

}  // namespace

void MoveMouse(POINT p) {
    // Absolute coordinates are normalised to 0..65535 over the virtual
    // screen; rounding up lands on the wanted pixel after the system scales
    // back down.
    const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN), height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    auto normalise = [](int value, int origin, int size) {
        long long v = static_cast<long long>(value - origin) * 65536;
        return static_cast<LONG>((v + size - 1) / size);
    };
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = normalise(p.x, left, width);
    input.mi.dy = normalise(p.y, top, height);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    Send(&input, 1);
}

void MouseDown(bool right) { MouseButton(right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN); }
void MouseUp(bool right) { MouseButton(right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP); }

void Click(POINT p, bool right) {
    MoveMouse(p);
    MouseDown(right);
    MouseUp(right);
}

void Drag(POINT from, POINT to, int steps, DWORD stepMs) {
    MoveMouse(from);
    MouseDown(false);
    ::Sleep(stepMs);
    for (int i = 1; i <= steps; ++i) {
        POINT p{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps};
        MoveMouse(p);
        ::Sleep(stepMs);
    }
    MouseUp(false);
}

void KeyDown(WORD vk) { Key(vk, false); }
void KeyUp(WORD vk) { Key(vk, true); }

void PressKey(WORD vk) {
    KeyDown(vk);
    KeyUp(vk);
}

void PressKeyWith(WORD modifier, WORD vk) {
    KeyDown(modifier);
    PressKey(vk);
    KeyUp(modifier);
}

void TypeText(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT inputs[2]{};
        for (int i = 0; i < 2; ++i) {
            inputs[i].type = INPUT_KEYBOARD;
            inputs[i].ki.wScan = c;
            inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
        }
        Send(inputs, 2);
    }
}

POINT CursorPos() {
    POINT p{};
    GetCursorPos(&p);
    return p;
}

bool Activate(HWND hwnd) {
    if (GetForegroundWindow() == hwnd) return true;
    SetForegroundWindow(hwnd);
    if (GetForegroundWindow() != hwnd) {
        // Windows lets only the foreground thread hand the foreground on.
        DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
        DWORD self = GetCurrentThreadId();
        if (foreground && foreground != self && AttachThreadInput(self, foreground, TRUE)) {
            SetForegroundWindow(hwnd);
            AttachThreadInput(self, foreground, FALSE);
        }
    }
    return WaitUntil([hwnd] { return GetForegroundWindow() == hwnd; }, 1000);
}

// ------------------------------------------------------------ popup menus --

HWND FindPopupMenu() {
    HWND found = nullptr;
    EnumWindows(FindVisiblePopupMenu, reinterpret_cast<LPARAM>(&found));
    return found;
}

HWND WaitForPopupMenu(DWORD timeoutMs) { return WaitFor(FindPopupMenu, timeoutMs); }

void PickMenuItemByPosition(int index) {
    // The first Down selects the first item; separators are skipped.
    for (int i = 0; i <= index; ++i) PressKey(VK_DOWN);
    PressKey(VK_RETURN);
}

// -------------------------------------------------------- common dialogs --

HWND DialogItem(HWND dialog, int id) { return GetDlgItem(dialog, id); }

bool DropFiles(HWND target, const std::vector<std::wstring>& paths, POINT clientPoint) {
    // DROPFILES, then each path with its terminating null, then one more.
    std::vector<std::uint8_t> block(sizeof(DROPFILES));
    for (const std::wstring& path : paths) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(path.c_str());
        block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
    }
    block.resize(block.size() + sizeof(wchar_t), 0);
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.pt = clientPoint;
    header.fNC = FALSE;
    header.fWide = TRUE;
    std::memcpy(block.data(), &header, sizeof header);

    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return false;
    // A fixed block: its address is its handle, as GlobalAlloc's are.
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T written = 0;
    const bool placed = remote && WriteProcessMemory(process, remote, block.data(), block.size(), &written) &&
                        written == block.size();
    CloseHandle(process);
    return placed && PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

bool TypeIntoOpenFileDialog(HWND dialog, const std::wstring& path) {
    // The file-name box: a combo box (cmb13) in the Explorer-style dialog,
    // an edit control (edt1) in the older one.
    HWND box = DialogItem(dialog, 0x47C);
    if (box && ClassName(box) != L"Edit") {
        HWND edit = FindWindowExW(box, nullptr, L"Edit", nullptr);
        if (edit) box = edit;
    }
    if (!box) box = DialogItem(dialog, 0x480);
    if (!box || !IsWindowVisible(box)) return false;
    Activate(dialog);
    RECT r;
    GetWindowRect(box, &r);
    Click(Centre(r));
    SendMessageW(box, EM_SETSEL, 0, -1);   // typing replaces whatever is there
    TypeText(path);
    PressKey(VK_RETURN);
    return true;
}

void ConfirmDialog(HWND dialog) {
    Activate(dialog);
    PressKey(VK_RETURN);
}

void CancelDialog(HWND dialog) {
    Activate(dialog);
    PressKey(VK_ESCAPE);
}

bool ClickBasicColour(HWND dialog, int index) {
    // The basic colours are painted in a 8 x 6 grid over static 0x2D0.
    HWND grid = DialogItem(dialog, 0x2D0);
    if (!grid || index < 0 || index >= 48) return false;
    RECT client;
    GetClientRect(grid, &client);
    const int cellW = client.right / 8, cellH = client.bottom / 6;
    POINT p{(index % 8) * cellW + cellW / 2, (index / 8) * cellH + cellH / 2};
    ClientToScreen(grid, &p);
    Activate(dialog);
    Click(p);
    return true;
}

std::wstring DialogText(HWND dialog) {
    std::wstring text;
    for (HWND child : ChildWindows(dialog)) {
        if (ClassName(child) != L"Static") continue;
        std::wstring t = WindowText(child);
        if (t.empty()) continue;
        if (!text.empty()) text += L"\n";
        text += t;
    }
    return text;
}

// --------------------------------------------------------------- registry --

bool DeleteKeyTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    return !KeyExists(root, path);
}

bool KeyExists(HKEY root, const std::wstring& path) {
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const std::wstring& name) {
    DWORD bytes = 0;
    if (RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, &value[0], &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcslen(value.c_str()));
    return value;
}

bool WriteString(HKEY root, const std::wstring& path, const std::wstring& name, const std::wstring& value) {
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool WriteDword(HKEY root, const std::wstring& path, const std::wstring& name, DWORD value) {
    HKEY key;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG result = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                       sizeof value);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool DeleteValue(HKEY root, const std::wstring& path, const std::wstring& name) {
    const LONG result = RegDeleteKeyValueW(root, path.c_str(), name.c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::optional<DWORD> ReadDword(HKEY root, const std::wstring& path, const std::wstring& name) {
    DWORD value = 0, bytes = sizeof value;
    if (RegGetValueW(root, path.c_str(), name.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::vector<std::wstring> ValueNames(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    HKEY key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD length = 16384;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

namespace {

// The registry path of the current user's hive, \Registry\User\<SID>.
std::wstring UserHivePath() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::vector<std::uint8_t> buffer(256);
    DWORD needed = 0;
    std::wstring path;
    if (GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
        LPWSTR sid = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) {
            path = std::wstring(L"\\Registry\\User\\") + sid;
            LocalFree(sid);
        }
    }
    CloseHandle(token);
    return path;
}

// Removes HKLM\Software\Classes\<path> whether it is a link (removed
// alone, never its target) or a key of its own.
void RemoveMachineClass(const std::wstring& path) {
    const std::wstring full = L"Software\\Classes\\" + path;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), REG_OPTION_OPEN_LINK, KEY_READ | DELETE, &key) ==
        ERROR_SUCCESS) {
        DWORD type = 0;
        const bool isLink =
            RegQueryValueExW(key, L"SymbolicLinkValue", nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS &&
            type == REG_LINK;
        using NtDeleteKeyFn = LONG(NTAPI*)(HANDLE);
        auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
        if (isLink && deleteKey) deleteKey(key);
        RegCloseKey(key);
        if (isLink) return;
    }
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, full.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, full.c_str());
}

}  // namespace

bool MachineClassKeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + path).c_str(), REG_OPTION_OPEN_LINK,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

void RemoveMachineClasses(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) RemoveMachineClass(path);
}

bool LinkMachineClassesToUser(const std::vector<std::wstring>& paths) {
    const std::wstring hive = UserHivePath();
    if (hive.empty()) return false;
    bool all = true;
    for (const std::wstring& path : paths) {
        RemoveMachineClass(path);
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, (L"Software\\Classes\\" + path).c_str(), 0, nullptr,
                            REG_OPTION_CREATE_LINK, KEY_WRITE | KEY_CREATE_LINK, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            all = false;
            continue;
        }
        // The link's target, an NT registry path, without a terminating null.
        const std::wstring target = hive + L"\\Software\\Classes\\" + path;
        all = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.data()),
                             static_cast<DWORD>(target.size() * sizeof(wchar_t))) == ERROR_SUCCESS && all;
        RegCloseKey(key);
    }
    return all;
}

FreshSettings::FreshSettings() { DeleteKeyTree(HKEY_CURRENT_USER, kKey); }
FreshSettings::~FreshSettings() { DeleteKeyTree(HKEY_CURRENT_USER, kKey); }

// ------------------------------------------------- resources of an executable --

std::optional<std::vector<std::uint8_t>> ReadResource(const std::wstring& exe, LPCWSTR type, int id) {
    HMODULE module =
        LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return std::nullopt;
    std::optional<std::vector<std::uint8_t>> result;
    if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type)) {
        HGLOBAL loaded = LoadResource(module, found);
        const auto* data = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
        if (data) result.emplace(data, data + SizeofResource(module, found));
    }
    FreeLibrary(module);
    return result;
}

std::optional<DibInfo> ParseDib(const std::vector<std::uint8_t>& dib) {
    if (dib.size() < sizeof(BITMAPINFOHEADER)) return std::nullopt;
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), sizeof h);
    if (h.biSize < sizeof h || h.biWidth <= 0 || h.biHeight == 0 || h.biWidth > 65536 || h.biHeight > 65536 ||
        h.biHeight < -65536)
        return std::nullopt;
    DibInfo info;
    info.width = h.biWidth;
    info.height = h.biHeight;
    info.bitCount = h.biBitCount;
    info.compression = h.biCompression;
    info.paletteEntries = h.biBitCount <= 8 ? (h.biClrUsed ? static_cast<int>(h.biClrUsed) : 1 << h.biBitCount) : 0;
    if (info.compression != BI_RGB) return info;   // sizes of packed data are not checked here
    const size_t stride = ((static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    const size_t rows = static_cast<size_t>(h.biHeight < 0 ? -h.biHeight : h.biHeight);
    if (dib.size() < h.biSize + info.paletteEntries * 4 + stride * rows) return std::nullopt;
    return info;
}

Rgb DibPixel(const std::vector<std::uint8_t>& dib, int x, int y) {
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib.data(), sizeof h);
    const int paletteEntries = h.biBitCount <= 8 ? (h.biClrUsed ? static_cast<int>(h.biClrUsed) : 1 << h.biBitCount) : 0;
    const std::uint8_t* palette = dib.data() + h.biSize;
    const std::uint8_t* bits = palette + paletteEntries * 4;
    const size_t stride = ((static_cast<size_t>(h.biWidth) * h.biBitCount + 31) / 32) * 4;
    const int rows = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    const int row = h.biHeight > 0 ? rows - 1 - y : y;
    const std::uint8_t* line = bits + stride * row;
    auto fromBgr = [](const std::uint8_t* p) { return (Rgb(p[2]) << 16) | (Rgb(p[1]) << 8) | p[0]; };
    switch (h.biBitCount) {
    case 1: return fromBgr(palette + 4 * ((line[x / 8] >> (7 - x % 8)) & 1));
    case 4: return fromBgr(palette + 4 * ((line[x / 2] >> (x % 2 ? 0 : 4)) & 15));
    case 8: return fromBgr(palette + 4 * line[x]);
    case 24: return fromBgr(line + 3 * x);
    case 32: return fromBgr(line + 4 * x);
    default: throw std::invalid_argument("DibPixel: unsupported bit count");
    }
}

std::vector<IconImageInfo> IconGroup(const std::wstring& exe, int groupId) {
    std::vector<IconImageInfo> images;
    auto group = ReadResource(exe, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, groupId);
    if (!group || group->size() < 6) return images;
    auto word = [&](size_t at) { return static_cast<int>((*group)[at] | ((*group)[at + 1] << 8)); };
    const int count = word(4);
    for (int i = 0; i < count && 6 + 14 * (i + 1) <= static_cast<int>(group->size()); ++i) {
        const size_t at = 6 + 14 * i;   // GRPICONDIRENTRY, 14 bytes, packed
        IconImageInfo info;
        info.width = (*group)[at] ? (*group)[at] : 256;
        info.height = (*group)[at + 1] ? (*group)[at + 1] : 256;
        info.colourCount = (*group)[at + 2];
        info.id = word(at + 12);
        // The bit count as the image itself states it.
        // (Its DIB has XOR and AND rows, so ParseDib's size rule does not apply.)
        auto image = ReadResource(exe, MAKEINTRESOURCEW(3) /* RT_ICON */, info.id);
        if (image && image->size() >= sizeof(BITMAPINFOHEADER)) {
            BITMAPINFOHEADER h;
            std::memcpy(&h, image->data(), sizeof h);
            info.bitCount = h.biBitCount;
        }
        images.push_back(info);
    }
    return images;
}

// ------------------------------------------------------------- automation --

ComApartment::ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
ComApartment::~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
}

IDispatch* CreateAutomationObject(const std::wstring& progId, HRESULT* hr) {
    CLSID clsid;
    HRESULT result = CLSIDFromProgID(progId.c_str(), &clsid);
    IDispatch* object = nullptr;
    if (SUCCEEDED(result))
        result = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
    if (hr) *hr = result;
    return SUCCEEDED(result) ? object : nullptr;
}

// ----------------------------------------------------------------- misc --

double NowMs() {
    using clock = std::chrono::steady_clock;
    static const clock::time_point start = clock::now();
    return std::chrono::duration<double, std::milli>(clock::now() - start).count();
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

std::string Hex(std::uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

}  // namespace e2e
