#include "SplashDlg.h"

namespace {
constexpr UINT_PTR kSplashTimer = 1;
constexpr UINT kSplashMilliseconds = 3000;
}  // namespace

const MessageEntry CSplashDlg::messageEntries[] = {
    OnMessage<WM_TIMER, &CSplashDlg::OnTimer>(),
};
const MessageMap CSplashDlg::messageMap = MakeMessageMap(&CDialog::messageMap, messageEntries);

const MessageMap* CSplashDlg::GetMessageMap() const { return &messageMap; }

BOOL CSplashDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  // The timer ends with the window; it is never stopped on its own.
  SetTimer(kSplashTimer, kSplashMilliseconds);
  return TRUE;
}

// Whatever the timer, the splash has been shown long enough.
void CSplashDlg::OnTimer(UINT_PTR) {
  CDialog::OnOK();
  Default();
}
