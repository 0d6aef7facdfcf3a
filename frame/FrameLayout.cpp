// Layout and painting of the frame window: the window sized around the
// photo for its DPI, its stacking, the band and the photo drawn 1:1.
#include "MIRAVELDlg.h"

#include "BmpCheck.h"

bool CMIRAVELDlg::PhotoSize(int* width, int* height) const {
  if (!m_pDisplayBitmap) return false;
  miravel::BmpLayout layout;
  if (miravel::CheckBmpImage(m_pDisplayBitmap->data(), m_pDisplayBitmap->size(), &layout) !=
      miravel::BmpCheck::kDrawable) {
    return false;
  }
  *width = layout.width;
  *height = layout.height;
  return true;
}

HWND CMIRAVELDlg::StackingInsertAfter() const {
  if (m_bAlwaysOnTop) return HWND_TOPMOST;
  // Ordinary: a topmost window gives that up; an ordinary one is raised.
  const bool topmost = (::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
  return topmost ? HWND_NOTOPMOST : HWND_TOP;
}

SIZE CMIRAVELDlg::OuterSizeForPhoto(int width, int height, UINT dpi) const {
  return WindowSizeForClient(m_hWnd, SIZE{width + kBand + kBandFar, height + kBand + kBandFar}, dpi);
}

void CMIRAVELDlg::RefreshFrame() {
  int width = 0;
  int height = 0;
  if (m_strPicturePath.empty() || !m_hWnd || !PhotoSize(&width, &height)) return;
  const SIZE outer = OuterSizeForPhoto(width, height, WindowDpi(m_hWnd));
  ::SetWindowPos(m_hWnd, StackingInsertAfter(), 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_DRAWFRAME);
  if (m_bKeepInWorkArea && ::IsWindowVisible(m_hWnd) && !::IsIconic(m_hWnd)) {
    // A photo fitted to the work area: the whole frame goes onto it, moved
    // as little as it takes.
    m_bKeepInWorkArea = false;
    RECT now{};
    ::GetWindowRect(m_hWnd, &now);
    const POINT corner = PlaceOnWorkArea(WorkArea(), POINT{now.left, now.top}, outer);
    if (corner.x != now.left || corner.y != now.top)
      ::SetWindowPos(m_hWnd, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT client{};
  ::GetClientRect(m_hWnd, &client);
  const HDC dc = ::GetDC(m_hWnd);
  if (!dc) return;
  PaintContent(dc, client);
  ::ReleaseDC(m_hWnd, dc);
}

bool CMIRAVELDlg::PaintContent(HDC dc, const RECT& client) const {
  int width = 0;
  int height = 0;
  if (!PhotoSize(&width, &height)) return false;
  const HBRUSH brush = ::CreateSolidBrush(m_crFrameColor);
  ::FillRect(dc, &client, brush);
  ::DeleteObject(brush);
  // The photo's rows and format, as the checked headers place them.
  const uint8_t* image = m_pDisplayBitmap->data();
  const DWORD pixelOffset = image[10] | (image[11] << 8) | (image[12] << 16) | (static_cast<DWORD>(image[13]) << 24);
  ::SetDIBitsToDevice(dc, kBand, kBand, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(height), image + pixelOffset,
                      reinterpret_cast<const BITMAPINFO*>(image + sizeof(BITMAPFILEHEADER)), DIB_RGB_COLORS);
  return true;
}

void CMIRAVELDlg::OnPaint() {
  if (::IsIconic(m_hWnd)) {
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &paint);
  } else {
    Default();
  }
  RefreshFrame();
}

HCURSOR CMIRAVELDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

// Moved to a monitor of another DPI: the photo stays 1:1 in device pixels,
// so only the window's border changes size; the window goes where the
// system suggests.
LRESULT CMIRAVELDlg::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
  const RECT& suggested = *reinterpret_cast<const RECT*>(lParam);
  SIZE size{suggested.right - suggested.left, suggested.bottom - suggested.top};
  int width = 0;
  int height = 0;
  if (!m_strPicturePath.empty() && PhotoSize(&width, &height)) size = OuterSizeForPhoto(width, height, HIWORD(wParam));
  ::SetWindowPos(m_hWnd, nullptr, suggested.left, suggested.top, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  // The border took another size, and the monitor may be another one.
  FitPhoto();
  return 0;
}
