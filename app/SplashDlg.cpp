#include "SplashDlg.h"

namespace {
constexpr UINT_PTR kSplashTimer = 1;
constexpr UINT kSplashMilliseconds = 3000;

// The picture control of the splash (a static with SS_BITMAP), or null.
HWND PictureControl(HWND dialog) {
  for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) return child;
  }
  return nullptr;
}

// The bitmap drawn at width x height with the system's averaging stretch.
HBITMAP ScaledCopy(HBITMAP source, int width, int height) {
  BITMAP info{};
  if (!::GetObjectW(source, sizeof info, &info)) return nullptr;
  const HDC screen = ::GetDC(nullptr);
  const HDC from = ::CreateCompatibleDC(screen);
  const HDC to = ::CreateCompatibleDC(screen);
  HBITMAP scaled = ::CreateCompatibleBitmap(screen, width, height);
  if (from && to && scaled) {
    const HGDIOBJ oldFrom = ::SelectObject(from, source);
    const HGDIOBJ oldTo = ::SelectObject(to, scaled);
    ::SetStretchBltMode(to, HALFTONE);
    ::SetBrushOrgEx(to, 0, 0, nullptr);
    ::StretchBlt(to, 0, 0, width, height, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    ::SelectObject(from, oldFrom);
    ::SelectObject(to, oldTo);
  }
  if (from) ::DeleteDC(from);
  if (to) ::DeleteDC(to);
  ::ReleaseDC(nullptr, screen);
  return scaled;
}

}  // namespace

const MessageEntry CSplashDlg::messageEntries[] = {
    OnMessage<WM_TIMER, &CSplashDlg::OnTimer>(),
    OnMessage<WM_DESTROY, &CSplashDlg::OnDestroy>(),
};
const MessageMap CSplashDlg::messageMap = MakeMessageMap(&CDialog::messageMap, messageEntries);

const MessageMap* CSplashDlg::GetMessageMap() const { return &messageMap; }

// The control gets its own picture back before it goes, and the scaled
// copy, which is ours, is deleted.
void CSplashDlg::OnDestroy() {
  if (!m_hScaledPicture) return;
  if (const HWND picture = PictureControl(m_hWnd))
    ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_hOwnPicture));
  ::DeleteObject(m_hScaledPicture);
  m_hScaledPicture = nullptr;
}

BOOL CSplashDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  FitToPicture();
  // The timer ends with the window; it is never stopped on its own.
  SetTimer(kSplashTimer, kSplashMilliseconds);
  return TRUE;
}

// The dialog scales with the DPI of its monitor, a bitmap does not: the
// picture is drawn at the DPI's scale (1:1 at 96 DPI) and the dialog is
// made exactly its size, so the picture fills it at any scale.
void CSplashDlg::FitToPicture() {
  const HWND picture = PictureControl(m_hWnd);
  if (!picture) return;
  const auto bitmap = reinterpret_cast<HBITMAP>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP info{};
  if (!bitmap || !::GetObjectW(bitmap, sizeof info, &info)) return;
  const UINT dpi = WindowDpi(m_hWnd);
  const int width = ScaleForDpi(info.bmWidth, dpi);
  const int height = ScaleForDpi(info.bmHeight, dpi);
  if (width != info.bmWidth || height != info.bmHeight) {
    if (const HBITMAP scaled = ScaledCopy(bitmap, width, height)) {
      m_hOwnPicture = reinterpret_cast<HBITMAP>(
          ::SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled)));
      m_hScaledPicture = scaled;
    }
  }
  ::SetWindowPos(picture, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  const SIZE outer = WindowSizeForClient(m_hWnd, SIZE{width, height}, dpi);
  ::SetWindowPos(m_hWnd, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Whatever the timer, the splash has been shown long enough. While it is
// still the foreground window, the program keeps the right to take the
// foreground, so that the frame that follows is not left behind the window
// that the system activates when the splash goes.
void CSplashDlg::OnTimer(UINT_PTR) {
  ::AllowSetForegroundWindow(::GetCurrentProcessId());
  CDialog::OnOK();
  Default();
}
