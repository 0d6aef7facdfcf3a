#include "Miravel.h"

#include <algorithm>

#include "E2eTest.h"

namespace e2e {

HWND AnyDialog(DWORD pid, HWND except) {
    for (HWND hwnd : TopLevelWindows(pid))
        if (hwnd != except && ClassName(hwnd) == L"#32770") return hwnd;
    return nullptr;
}

HWND BitmapChild(HWND dialog) {
    for (HWND child : ChildWindows(dialog))
        if (ClassName(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            return child;
    return nullptr;
}

StartWatch WatchSplash(const Process& program) {
    StartWatch w;
    w.splash = WaitFor([&] { return AnyDialog(program.Id()); }, kStartTimeoutMs, 10);
    w.splashCreatedMs = NowMs();
    if (!w.splash) return w;
    const double limit = w.splashCreatedMs + 30000;
    while (NowMs() < limit && IsWindow(w.splash) && (!w.splashWasShown || IsWindowVisible(w.splash))) {
        w.splashWasShown |= IsWindowVisible(w.splash) != FALSE;
        for (HWND other : TopLevelWindows(program.Id())) {
            if (other == w.splash || !IsWindowVisible(other)) continue;
            std::wstring name = ClassName(other) + L" \"" + WindowText(other) + L"\"";
            if (std::find(w.shownDuringSplash.begin(), w.shownDuringSplash.end(), name) == w.shownDuringSplash.end())
                w.shownDuringSplash.push_back(name);
        }
        ::Sleep(10);
    }
    w.splashGoneMs = NowMs();
    return w;
}

void CancelAndWait(HWND dialog) {
    CancelDialog(dialog);
    WaitUntil([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, kUiTimeoutMs);
}

HWND WaitForFrame(DWORD pid, HWND splash, const std::function<void(HWND dialog)>& onOwnedDialog) {
    return WaitFor(
        [&]() -> HWND {
            for (HWND hwnd : TopLevelWindows(pid)) {
                if (hwnd == splash || !IsWindowVisible(hwnd) || ClassName(hwnd) != L"#32770") continue;
                if (!GetWindow(hwnd, GW_OWNER)) return hwnd;
                onOwnedDialog(hwnd);
                return nullptr;   // look again from the top: the stack has changed
            }
            return nullptr;
        },
        kStartTimeoutMs, 20);
}

}  // namespace e2e
