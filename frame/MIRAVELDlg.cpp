#include "MIRAVELDlg.h"

#include <mmsystem.h>
#include <shellapi.h>

#include "AboutDlg.h"
#include "BmpCheck.h"
#include "CommonDialogs.h"
#include "DlgProxy.h"
#include "FrameText.h"

namespace {

// Geometry around the photo, in device pixels at any DPI: the band is 10
// pixels wide left of and above it and 9 right of and below it; the
// window's own border comes on top of that (3 pixels at 96 DPI).
constexpr int kBand = 10;
constexpr int kBandFar = 9;

// Asks the frame, once it is shown, to take the foreground.
constexpr UINT WM_COME_FORWARD = WM_APP + 1;

// The cursor's screen position when the message being handled was made.
// A queued mouse move that is handled after the window has moved still
// says where the cursor was, which its client coordinates would not.
POINT MessageCursor() {
  const DWORD position = ::GetMessagePos();
  return POINT{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
}

// The registry's section and key names, from the string table each time.
std::wstring SettingName(UINT id) { return AfxLoadString(id); }

}  // namespace

CMIRAVELDlg::CMIRAVELDlg(CWnd* parent) : CDialog(IDD, parent) {
  m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CMIRAVELDlg::~CMIRAVELDlg() {
  // The automation object outlives the window: tell it the window is gone.
  if (m_pAutoProxy) m_pAutoProxy->m_pDialog = nullptr;
  m_pDisplayBitmap.reset();
}

const MessageEntry CMIRAVELDlg::messageEntries[] = {
    OnMessage<WM_SYSCOMMAND, &CMIRAVELDlg::OnSysCommand>(),
    OnMessage<WM_PAINT, &CMIRAVELDlg::OnPaint>(),
    OnMessage<WM_QUERYDRAGICON, &CMIRAVELDlg::OnQueryDragIcon>(),
    OnMessage<WM_CLOSE, &CMIRAVELDlg::OnClose>(),
    OnMessage<WM_RBUTTONDOWN, &CMIRAVELDlg::OnRButtonDown>(),
    OnMessage<WM_LBUTTONDOWN, &CMIRAVELDlg::OnLButtonDown>(),
    OnMessage<WM_LBUTTONUP, &CMIRAVELDlg::OnLButtonUp>(),
    OnMessage<WM_MOUSEMOVE, &CMIRAVELDlg::OnMouseMove>(),
    OnMessage<WM_QUERYENDSESSION, &CMIRAVELDlg::OnQueryEndSession>(),
    OnMessage<WM_ENDSESSION, &CMIRAVELDlg::OnEndSession>(),
    OnMessage<WM_DPICHANGED, &CMIRAVELDlg::OnDpiChanged>(),
    OnMessage<WM_COME_FORWARD, &CMIRAVELDlg::OnComeForward>(),
};
const MessageMap CMIRAVELDlg::messageMap = MakeMessageMap(&CDialog::messageMap, messageEntries);

const MessageMap* CMIRAVELDlg::GetMessageMap() const { return &messageMap; }

// ---- Layout and painting ----

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
  RECT outer{0, 0, width + kBand + kBandFar, height + kBand + kBandFar};
  AdjustWindowRectForDpi(&outer, static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)),
                         static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)), dpi);
  return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

void CMIRAVELDlg::RefreshFrame() {
  int width = 0;
  int height = 0;
  if (m_strPicturePath.empty() || !m_hWnd || !PhotoSize(&width, &height)) return;
  const SIZE outer = OuterSizeForPhoto(width, height, WindowDpi(m_hWnd));
  ::SetWindowPos(m_hWnd, StackingInsertAfter(), 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_DRAWFRAME);
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

// ---- Dragging ----

void CMIRAVELDlg::OnLButtonDown(UINT, POINT point) {
  RECT photoArea{};
  ::GetClientRect(m_hWnd, &photoArea);
  ::InflateRect(&photoArea, -kBand, -kBand);
  if (::PtInRect(&photoArea, point)) {
    // A click on the photo puts the frame away, at the bottom of the
    // ordinary windows: a topmost frame stops being topmost (which the
    // bottom place means by itself on Windows; Wine needs it said).
    if (::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) {
      ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    ShowWindow(SW_MINIMIZE);
    m_bAlwaysOnTop = FALSE;
    return;
  }
  m_bDragging = TRUE;
  m_bDragStepPending = FALSE;
  RECT outer{};
  ::GetWindowRect(m_hWnd, &outer);
  const POINT cursor = MessageCursor();
  m_nDragOffsetX = outer.left - cursor.x;
  m_nDragOffsetY = outer.top - cursor.y;
  ::SetCapture(m_hWnd);
  Default();
}

void CMIRAVELDlg::MoveWithCursor(POINT cursor) {
  ::SetWindowPos(m_hWnd, StackingInsertAfter(), cursor.x + m_nDragOffsetX, cursor.y + m_nDragOffsetY, 0, 0,
                 SWP_NOSIZE | SWP_DRAWFRAME);
  m_bDragStepPending = FALSE;
}

// The window is placed from the cursor's screen position and the offsets of
// the press, so the pressed spot stays under the cursor however the moves
// arrive: a step never depends on where an earlier one put the window.
// At most one step a tick of the millisecond clock; a move within the tick
// is held back and placed at the next step or when the drag ends.
void CMIRAVELDlg::OnMouseMove(UINT flags, POINT) {
  if (m_bDragging) {
    if (flags == MK_LBUTTON) {
      const POINT cursor = MessageCursor();
      const DWORD now = ::timeGetTime();
      if (now != m_dwLastMoveTime) {
        MoveWithCursor(cursor);
        m_dwLastMoveTime = ::timeGetTime();
      } else {
        m_ptDragCursor = cursor;
        m_bDragStepPending = TRUE;
      }
    } else {
      // Another button, Shift or Ctrl: the drag ends here, where the last
      // move with the left button alone put it.
      if (m_bDragStepPending) MoveWithCursor(m_ptDragCursor);
      m_bDragging = FALSE;
      ::ReleaseCapture();
    }
  }
  Default();
}

void CMIRAVELDlg::OnLButtonUp(UINT, POINT) {
  // The release ends the drag where the cursor is.
  if (m_bDragging) MoveWithCursor(MessageCursor());
  m_bDragging = FALSE;
  ::ReleaseCapture();
  Default();
}

// ---- Menu and commands ----

void CMIRAVELDlg::OnRButtonDown(UINT, POINT point) {
  const HMENU menu = ::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_POPUP_MENU));
  if (menu) {
    const HMENU popup = ::GetSubMenu(menu, 0);
    RECT outer{};
    ::GetWindowRect(m_hWnd, &outer);
    if (popup) {
      if (m_bAlwaysOnTop) ::CheckMenuItem(popup, ID_ALWAYS_ON_TOP, MF_BYCOMMAND | MF_CHECKED);
      ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, outer.left + point.x, outer.top + point.y, 0,
                       m_hWnd, nullptr);
    }
    ::DestroyMenu(menu);
  }
  Default();
}

BOOL CMIRAVELDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
  switch (wParam) {
    case ID_NEW_FRAME:
      StartNewFrame();
      break;
    case ID_NEW_PHOTO:
      ChooseNewPhoto();
      break;
    case ID_FRAME_COLOR:
      ChooseFrameColor();
      break;
    case ID_ALWAYS_ON_TOP:
      m_bAlwaysOnTop = m_bAlwaysOnTop ? FALSE : TRUE;
      RefreshFrame();
      break;
    case ID_APP_ABOUT: {
      CAboutDlg about;
      about.DoModal();
      break;
    }
    default:
      break;
  }
  // Exit, help, Enter and Escape go on to the dialog's own handling.
  return CDialog::OnCommand(wParam, lParam);
}

void CMIRAVELDlg::StartNewFrame() const {
  // The executable by its own path, so that a copy starts whatever the
  // current folder or search path. The result is not examined.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return;
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CMIRAVELDlg::OnSysCommand(UINT id, LPARAM) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about;
    about.DoModal();
  } else {
    Default();
  }
}

void CMIRAVELDlg::ReloadCurrentPhoto() {
  if (m_strPictureType == L"BMP") LoadBmpFile(m_strPicturePath);
  if (m_strPictureType == L"JPG") LoadJpegFile(m_strPicturePath);
}

void CMIRAVELDlg::ChooseNewPhoto() {
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, nullptr, nullptr);
  if (dialog.DoModal() != IDOK) return;
  const std::wstring path = dialog.GetPathName();
  const std::wstring extension = miravel::FileExtension(path);
  if (miravel::SameTextIgnoringCase(extension, L".BMP")) {
    if (LoadBmpFile(path) == 1) {
      m_strPicturePath = path;
      m_strPictureType = L"BMP";
    } else {
      ReloadCurrentPhoto();
    }
  }
  if (miravel::SameTextIgnoringCase(extension, L".JPG")) {
    if (LoadJpegFile(path) == 1) {
      m_strPicturePath = path;
      m_strPictureType = L"JPG";
    } else {
      ReloadCurrentPhoto();
    }
  }
  RefreshFrame();
}

void CMIRAVELDlg::ChooseFrameColor() {
  // Basic form, opening on black: no CC_FULLOPEN, no CC_RGBINIT.
  CColorDialog dialog(0, 0, nullptr);
  if (dialog.DoModal() != IDOK) return;
  m_crFrameColor = dialog.GetColor();
  RefreshFrame();
}

void CMIRAVELDlg::WinHelp(DWORD_PTR data, UINT) { CDialog::WinHelp(data, HELP_FINDER); }

// ---- Initialisation, settings and closing ----

BOOL CMIRAVELDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  if (const HMENU systemMenu = ::GetSystemMenu(m_hWnd, FALSE)) {
    const std::wstring about = AfxLoadString(IDS_ABOUTBOX);
    if (!about.empty()) {
      ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
      ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }
  }
  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  // The splash screen's end handed the activation to whatever window was
  // next, often another program's: take the foreground back (the splash
  // kept the right to), so that the dialogs of a first start and then the
  // frame itself open in front, and again once the frame shows.
  ::SetForegroundWindow(m_hWnd);
  RestoreSettings();
  ::PostMessageW(m_hWnd, WM_COME_FORWARD, 0, 0);
  return TRUE;
}

LRESULT CMIRAVELDlg::OnComeForward(WPARAM, LPARAM) {
  if (::IsWindowVisible(m_hWnd) && ::IsWindowEnabled(m_hWnd)) ::SetForegroundWindow(m_hWnd);
  return 0;
}

void CMIRAVELDlg::RestoreSettings() {
  // Each setting on its own: nothing that goes wrong with the photo may
  // cost the colour, which the close would otherwise write back as black.
  try {
    RestorePhoto();
  } catch (...) {
    AfxReportException();
  }
  try {
    RestoreFrameColor();
  } catch (...) {
    AfxReportException();
  }
}

void CMIRAVELDlg::RestorePhoto() {
  CWinApp* app = AfxGetApp();
  const std::wstring path =
      app->GetProfileString(SettingName(IDS_SECTION_SETTING).c_str(), SettingName(IDS_ENTRY_CURRENTFILE).c_str());
  if (path.empty()) {
    ChooseNewPhoto();
    return;
  }
  m_strPicturePath = path;
  // The loaders' results are not examined: a failure has shown its
  // message, and the path stays to be written back at close.
  if (miravel::EndsWithIgnoringCase(path, L"BMP")) {
    m_strPictureType = L"BMP";
    LoadBmpFile(path);
  }
  if (miravel::EndsWithIgnoringCase(path, L"JPG")) {
    m_strPictureType = L"JPG";
    LoadJpegFile(path);
  }
}

void CMIRAVELDlg::RestoreFrameColor() {
  CWinApp* app = AfxGetApp();
  const std::wstring colour =
      app->GetProfileString(SettingName(IDS_SECTION_SETTING).c_str(), SettingName(IDS_ENTRY_FRAMECOLOR).c_str());
  if (colour.empty()) {
    ChooseFrameColor();
  } else {
    m_crFrameColor = miravel::ColorFromSettingText(colour);
  }
}

BOOL CMIRAVELDlg::CanExit() {
  if (m_pAutoProxy) {
    ShowWindow(SW_HIDE);
    return FALSE;
  }
  return TRUE;
}

void CMIRAVELDlg::OnClose() {
  // The dialog manager's close is the Cancel path, which ends the dialog.
  if (CanExit()) Default();
  WriteSettings();
}

// The end of the session (log off, shut down, restart) comes as these two
// messages, not as WM_CLOSE: the settings are written when the session
// really ends, as a close would write them.
LRESULT CMIRAVELDlg::OnQueryEndSession(WPARAM, LPARAM) { return TRUE; }

LRESULT CMIRAVELDlg::OnEndSession(WPARAM wParam, LPARAM) {
  if (wParam) WriteSettings();
  return 0;
}

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
  return 0;
}

void CMIRAVELDlg::WriteSettings() {
  CWinApp* app = AfxGetApp();
  if (!m_strPicturePath.empty()) {
    app->WriteProfileString(SettingName(IDS_SECTION_SETTING).c_str(), SettingName(IDS_ENTRY_CURRENTFILE).c_str(),
                            m_strPicturePath.c_str());
  }
  app->WriteProfileString(SettingName(IDS_SECTION_SETTING).c_str(), SettingName(IDS_ENTRY_FRAMECOLOR).c_str(),
                          miravel::SettingTextFromColor(m_crFrameColor).c_str());
}

void CMIRAVELDlg::OnOK() {
  if (CanExit()) CDialog::OnOK();
}

void CMIRAVELDlg::OnCancel() {
  if (CanExit()) CDialog::OnCancel();
}
