// The right-click menu (also from the keyboard) and its commands: new
// frame, new photo, frame colour, always on top, shrink to fit, version
// information; photos dropped on the frame; the system-menu item and the
// help override.
#include "MIRAVELDlg.h"

#include <shellapi.h>

#include "AboutDlg.h"
#include "CommonDialogs.h"
#include "FrameText.h"

void CMIRAVELDlg::ShowMenuAt(POINT screen) {
  const HMENU menu = ::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_POPUP_MENU));
  if (!menu) return;
  // A fresh copy each time, so the check marks say what holds now.
  if (const HMENU popup = ::GetSubMenu(menu, 0)) {
    if (m_bAlwaysOnTop) ::CheckMenuItem(popup, ID_ALWAYS_ON_TOP, MF_BYCOMMAND | MF_CHECKED);
    if (m_bShrinkPhoto) ::CheckMenuItem(popup, ID_SHRINK_PHOTO, MF_BYCOMMAND | MF_CHECKED);
    ::TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, m_hWnd, nullptr);
  }
  ::DestroyMenu(menu);
}

void CMIRAVELDlg::OnRButtonDown(UINT, POINT point) {
  // The click's client coordinates added to the outer corner: the menu
  // opens a border's width above and left of the cursor.
  RECT outer{};
  ::GetWindowRect(m_hWnd, &outer);
  ShowMenuAt(POINT{outer.left + point.x, outer.top + point.y});
  Default();
}

// The context-menu key and Shift+F10 (a position of -1, -1) open the menu
// at the frame's top-left corner. A right click has opened it already on
// the button's press, so the message that follows its release is let be.
LRESULT CMIRAVELDlg::OnContextMenu(WPARAM, LPARAM lParam) {
  if (GET_X_LPARAM(lParam) == -1 && GET_Y_LPARAM(lParam) == -1) {
    RECT outer{};
    ::GetWindowRect(m_hWnd, &outer);
    ShowMenuAt(POINT{outer.left, outer.top});
  }
  return 0;
}

// Files dropped on the frame: the first with a photo's extension is taken
// as New photo would take it; anything else dropped is ignored.
LRESULT CMIRAVELDlg::OnDropFiles(WPARAM wParam, LPARAM) {
  const auto drop = reinterpret_cast<HDROP>(wParam);
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  std::wstring photo;
  for (UINT i = 0; i < count && photo.empty(); ++i) {
    std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(::DragQueryFileW(drop, i, &path[0], static_cast<UINT>(path.size())));
    if (!miravel::PhotoTypeOfPath(path).empty()) photo = path;
  }
  ::DragFinish(drop);
  if (!photo.empty()) OpenPhoto(photo);
  return 0;
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
    case ID_SHRINK_PHOTO:
      m_bShrinkPhoto = m_bShrinkPhoto ? FALSE : TRUE;
      FitPhoto();
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

int CMIRAVELDlg::LoadPhoto(const std::wstring& path, const std::wstring& type) {
  if (type == L"BMP") return LoadBmpFile(path);
  if (type == L"JPG") return LoadJpegFile(path);
  return 0;
}

void CMIRAVELDlg::ReloadCurrentPhoto() { LoadPhoto(m_strPicturePath, m_strPictureType); }

bool CMIRAVELDlg::OpenPhoto(const std::wstring& path) {
  const std::wstring type = miravel::PhotoTypeOfPath(path);
  if (type.empty()) return false;
  if (LoadPhoto(path, type) == 1) {
    m_strPicturePath = path;
    m_strPictureType = type;
    RefreshFrame();
    return true;
  }
  // The loader has said why; the frame goes on showing the current photo.
  ReloadCurrentPhoto();
  RefreshFrame();
  return false;
}

void CMIRAVELDlg::ChooseNewPhoto() {
  const std::wstring filter = AfxLoadString(IDS_PHOTO_FILTER);
  CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                     filter.empty() ? nullptr : filter.c_str(), nullptr);
  if (dialog.DoModal() != IDOK) return;
  const std::wstring path = dialog.GetPathName();
  // A name that no loader takes loads nothing and says nothing.
  if (miravel::PhotoTypeOfPath(path).empty()) {
    RefreshFrame();
  } else {
    OpenPhoto(path);
  }
}

void CMIRAVELDlg::ChooseFrameColor() {
  // Basic form, opening on black: no CC_FULLOPEN, no CC_RGBINIT.
  CColorDialog dialog(0, 0, nullptr);
  if (dialog.DoModal() != IDOK) return;
  m_crFrameColor = dialog.GetColor();
  RefreshFrame();
}

void CMIRAVELDlg::WinHelp(DWORD_PTR data, UINT) { CDialog::WinHelp(data, HELP_FINDER); }
