// The right-click menu and its commands: new frame, new photo, frame
// colour, always on top, version information; the system-menu item and
// the help override.
#include "MIRAVELDlg.h"

#include <shellapi.h>

#include "AboutDlg.h"
#include "CommonDialogs.h"
#include "FrameText.h"

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
