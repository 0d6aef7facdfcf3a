// Initialisation of the frame window, the settings it restores and
// writes, and the ways it ends: close, Enter and Escape, the end of the
// session, and hiding while an automation object holds the program.
#include "MIRAVELDlg.h"

#include <shellapi.h>

#include "FrameText.h"

namespace {

// A value of the section "SETTING", read and written through the
// application's profile functions; the section and key names come from
// the string table each time.
std::wstring ReadSetting(UINT entry) {
  return AfxGetApp()->GetProfileString(AfxLoadString(IDS_SECTION_SETTING).c_str(), AfxLoadString(entry).c_str());
}

void WriteSetting(UINT entry, const std::wstring& value) {
  AfxGetApp()->WriteProfileString(AfxLoadString(IDS_SECTION_SETTING).c_str(), AfxLoadString(entry).c_str(),
                                  value.c_str());
}

}  // namespace

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
  // At its stored place if that is on a screen, before the photo is fitted
  // to that screen; else the framework centres it when initialisation ends.
  if (RestorePlace()) KeepPlacement();
  RestoreSettings();
  // Photos dropped on the frame are taken as New photo takes a chosen one.
  ::DragAcceptFiles(m_hWnd, TRUE);
  ::PostMessageW(m_hWnd, WM_COME_FORWARD, 0, 0);
  return TRUE;
}

LRESULT CMIRAVELDlg::OnComeForward(WPARAM, LPARAM) {
  if (::IsWindowVisible(m_hWnd) && ::IsWindowEnabled(m_hWnd)) ::SetForegroundWindow(m_hWnd);
  return 0;
}

void CMIRAVELDlg::RestoreSettings() {
  RestoreShrinkChoice();
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
  // A photo named on the command line comes instead of the stored one; if
  // it does not load (the loader has said why), the stored one comes.
  if (!m_strPhotoToOpen.empty() && OpenPhoto(m_strPhotoToOpen)) return;
  const std::wstring path = ReadSetting(IDS_ENTRY_CURRENTFILE);
  if (path.empty()) {
    ChooseNewPhoto();
    return;
  }
  m_strPicturePath = path;
  // The loader's result is not examined: a failure has shown its message,
  // and the path stays to be written back at close. A name no loader
  // takes loads nothing and says nothing.
  m_strPictureType = miravel::PhotoTypeOfPath(path);
  LoadPhoto(path, m_strPictureType);
}

void CMIRAVELDlg::RestoreFrameColor() {
  const std::wstring colour = ReadSetting(IDS_ENTRY_FRAMECOLOR);
  if (colour.empty()) {
    ChooseFrameColor();
  } else {
    m_crFrameColor = miravel::ColorFromSettingText(colour);
  }
}

// Shrink to fit stays on unless the user turned it off ("0"); settings
// written before the choice existed have none, and get it on.
void CMIRAVELDlg::RestoreShrinkChoice() {
  m_bShrinkPhoto = ReadSetting(IDS_ENTRY_SHRINKPHOTO) == L"0" ? FALSE : TRUE;
}

bool CMIRAVELDlg::RestorePlace() {
  POINT place{};
  if (!miravel::PlaceFromSettingText(ReadSetting(IDS_ENTRY_FRAMEPOSITION), &place)) return false;
  // Only a point on the work area of a monitor that is connected now: a
  // place on a monitor since unplugged would leave the frame out of reach.
  const HMONITOR monitor = ::MonitorFromPoint(place, MONITOR_DEFAULTTONULL);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!monitor || !::GetMonitorInfoW(monitor, &info) || !::PtInRect(&info.rcWork, place)) return false;
  ::SetWindowPos(m_hWnd, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
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

void CMIRAVELDlg::WriteSettings() {
  if (!m_strPicturePath.empty()) WriteSetting(IDS_ENTRY_CURRENTFILE, m_strPicturePath);
  WriteSetting(IDS_ENTRY_FRAMECOLOR, miravel::SettingTextFromColor(m_crFrameColor));
  WriteSetting(IDS_ENTRY_SHRINKPHOTO, m_bShrinkPhoto ? L"1" : L"0");
  // The place of the frame as it stands; a minimised frame has none of its
  // own, and the stored one stays.
  RECT outer{};
  if (m_hWnd && !::IsIconic(m_hWnd) && ::GetWindowRect(m_hWnd, &outer))
    WriteSetting(IDS_ENTRY_FRAMEPOSITION, miravel::SettingTextFromPlace(POINT{outer.left, outer.top}));
}

void CMIRAVELDlg::OnOK() {
  if (CanExit()) CDialog::OnOK();
}

void CMIRAVELDlg::OnCancel() {
  if (CanExit()) CDialog::OnCancel();
}
