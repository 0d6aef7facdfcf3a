#include "OleLock.h"

#include "Dialog.h"
#include "WinApp.h"

namespace {

// The last object is gone.
void OnReleaseAllObjects(CWinApp& app) {
  if (app.m_bUserControl) return;  // the user started it, or has taken it over
  app.m_bUserControl = true;       // so that this happens only once

  const HWND main = app.m_pMainWnd ? app.m_pMainWnd->m_hWnd : nullptr;
  if (main && ::IsWindow(main)) {
    // A disabled main window has a modal box of its own open: the user is
    // using the program, which now stays until the user ends it.
    if (::IsWindowEnabled(main)) ::DestroyWindow(main);
  } else {
    ::PostQuitMessage(0);
  }
}

}  // namespace

void AfxOleLockApp() {
  CWinApp* app = AfxGetApp();
  if (app) ::InterlockedIncrement(&app->m_nObjectCount);
}

void AfxOleUnlockApp() {
  CWinApp* app = AfxGetApp();
  if (!app) return;
  const LONG count = ::InterlockedDecrement(&app->m_nObjectCount);
  if (count < 0) {
    ::InterlockedIncrement(&app->m_nObjectCount);  // there was no lock to undo
    return;
  }
  if (count == 0) OnReleaseAllObjects(*app);
}
