// MIRAVEL.exe as the tests see it from outside: the splash screen, the frame
// window after it, and the dialogs a first start opens.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "driver/Driver.h"

namespace e2e {

// The font of the program's dialog templates.
constexpr const wchar_t* kDialogFont = L"ＭＳ Ｐゴシック";
constexpr int kDialogPoints = 9;

// The first dialog window (#32770) of a process other than `except`, shown
// or not yet shown.
HWND AnyDialog(DWORD pid, HWND except = nullptr);

// The bitmap picture control (a static with SS_BITMAP) of a dialog, or null.
HWND BitmapChild(HWND dialog);

// What one start looks like from outside, watched every 10 ms: the splash
// from its creation until it is destroyed or hidden.
struct StartWatch {
    HWND splash = nullptr;
    double splashCreatedMs = 0;     // first seen (it may not be shown yet)
    double splashGoneMs = 0;        // destroyed or hidden
    bool splashWasShown = false;
    std::vector<std::wstring> shownDuringSplash;   // other windows shown meanwhile
};
StartWatch WatchSplash(const Process& program);

// Cancels a dialog with Escape and waits until it has gone, so that no
// second Escape can reach the window below it.
void CancelAndWait(HWND dialog);

// After the splash: the frame window, the one unowned dialog of the process
// besides the splash. Dialogs owned by another window that show first (the
// open-file and colour dialogs of a first start, a loader's message) are
// handed to `onOwnedDialog`, which must close them; by default they are
// cancelled. Null on timeout.
HWND WaitForFrame(DWORD pid, HWND splash,
                  const std::function<void(HWND dialog)>& onOwnedDialog = CancelAndWait);

}  // namespace e2e
