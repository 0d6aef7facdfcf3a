// A small Windows program that the driver's own tests work against: a
// borderless window of one colour that reports what happened to it in its
// title, so the driver can be checked with real input before (and apart from)
// the program under test.
//
//   e2e_target.exe [/open] [/colour] [/spawn]
//
// Right click: a popup menu (Alpha 101, Beta 102, separator, Gamma 103);
//   the title becomes "command <id>".
// Left drag: the window follows the cursor; the title becomes "moved".
// Typing: the title becomes "typed <text so far>".
// /open: an open-file dialog at start; title "open <path>" or "open cancelled".
// /colour: a colour dialog at start; title "colour <COLORREF>" or
//   "colour cancelled".
// /spawn: starts a second copy of itself (no arguments) at start.
// Closing writes the last title to HKCU\Software\Quillfern\e2e_target, LAST.
#include <windows.h>
#include <commdlg.h>

#include <string>

namespace {

const COLORREF kFill = RGB(200, 30, 60);
const UINT kStartDialogs = WM_APP + 1;
bool g_open = false, g_colour = false;
bool g_dragging = false;
POINT g_dragOffset{};
std::wstring g_typed;

void SetTitle(HWND hwnd, const std::wstring& title) { SetWindowTextW(hwnd, title.c_str()); }

void RunStartDialogs(HWND hwnd) {
    if (g_open) {
        wchar_t path[MAX_PATH] = L"";
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hwnd;
        ofn.lpstrFile = path;
        ofn.nMaxFile = MAX_PATH;
        ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
        SetTitle(hwnd, GetOpenFileNameW(&ofn) ? std::wstring(L"open ") + path : L"open cancelled");
    }
    if (g_colour) {
        static COLORREF custom[16];
        for (COLORREF& c : custom) c = RGB(255, 255, 255);
        CHOOSECOLORW cc{};
        cc.lStructSize = sizeof cc;
        cc.hwndOwner = hwnd;
        cc.lpCustColors = custom;
        SetTitle(hwnd, ChooseColorW(&cc) ? L"colour " + std::to_wstring(cc.rgbResult) : L"colour cancelled");
    }
}

void ShowMenu(HWND hwnd, POINT client) {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 101, L"&Alpha");
    AppendMenuW(menu, MF_STRING, 102, L"&Beta");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, 103, L"&Gamma");
    ClientToScreen(hwnd, &client);
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, client.x, client.y, 0, hwnd, nullptr);
    DestroyMenu(menu);
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        HBRUSH brush = CreateSolidBrush(kFill);
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(dc, &r, brush);
        DeleteObject(brush);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case kStartDialogs:
        RunStartDialogs(hwnd);
        return 0;
    case WM_RBUTTONDOWN:
        ShowMenu(hwnd, {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
        return 0;
    case WM_COMMAND:
        SetTitle(hwnd, L"command " + std::to_wstring(LOWORD(wParam)));
        return 0;
    case WM_LBUTTONDOWN: {
        POINT cursor;
        GetCursorPos(&cursor);
        RECT r;
        GetWindowRect(hwnd, &r);
        g_dragOffset = {cursor.x - r.left, cursor.y - r.top};
        g_dragging = true;
        SetCapture(hwnd);
        return 0;
    }
    case WM_MOUSEMOVE:
        if (g_dragging && wParam == MK_LBUTTON) {
            POINT cursor;
            GetCursorPos(&cursor);
            SetWindowPos(hwnd, nullptr, cursor.x - g_dragOffset.x, cursor.y - g_dragOffset.y, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER);
        }
        return 0;
    case WM_LBUTTONUP:
        if (g_dragging) {
            g_dragging = false;
            ReleaseCapture();
            SetTitle(hwnd, L"moved");
        }
        return 0;
    case WM_CHAR:
        g_typed += static_cast<wchar_t>(wParam);
        SetTitle(hwnd, L"typed " + g_typed);
        return 0;
    case WM_CLOSE: {
        wchar_t title[512] = L"";
        GetWindowTextW(hwnd, title, 512);
        HKEY key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Quillfern\\e2e_target", 0, nullptr, 0, KEY_WRITE,
                            nullptr, &key, nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(key, L"LAST", 0, REG_SZ, reinterpret_cast<const BYTE*>(title),
                           static_cast<DWORD>((wcslen(title) + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
        DestroyWindow(hwnd);
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void SpawnCopy() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(self, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    std::wstring args = commandLine;
    g_open = args.find(L"/open") != std::wstring::npos;
    g_colour = args.find(L"/colour") != std::wstring::npos;
    const bool spawn = args.find(L"/spawn") != std::wstring::npos;

    WNDCLASSW wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"E2eTarget";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(WS_EX_APPWINDOW, L"E2eTarget", L"ready", WS_POPUP | WS_BORDER | WS_VISIBLE, 160, 120,
                                320, 200, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;
    if (spawn) SpawnCopy();
    if (g_open || g_colour) PostMessageW(hwnd, kStartDialogs, 0, 0);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
