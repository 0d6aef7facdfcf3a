#include "Dialog.h"

#include "FrameworkIds.h"
#include "WinApp.h"

// ---- CWnd ----

const MessageMap CWnd::messageMap{nullptr, nullptr, 0};

const MessageMap* CWnd::GetMessageMap() const { return &messageMap; }

bool CWnd::DispatchToTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
    for (std::size_t i = 0; i < map->count; ++i) {
      if (map->entries[i].message == message) {
        *result = map->entries[i].handler(*this, wParam, lParam);
        return true;
      }
    }
  }
  return false;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::ShowWindow(int command) const { return ::ShowWindow(m_hWnd, command); }

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs) const {
  return ::SetTimer(m_hWnd, id, elapseMs, nullptr);
}

BOOL CWnd::KillTimer(UINT_PTR id) const { return ::KillTimer(m_hWnd, id); }

void CWnd::WinHelp(DWORD_PTR data, UINT command) {
  CWinApp* app = AfxGetApp();
  const std::wstring file = app ? app->m_pszHelpFilePath : std::wstring();
  HWND owner = app && app->m_pMainWnd && app->m_pMainWnd->m_hWnd ? app->m_pMainWnd->m_hWnd : m_hWnd;
  if (file.empty() || !::WinHelpW(owner, file.c_str(), command, data)) {
    AfxMessageBox(IDP_FAILED_TO_LAUNCH_HELP);
  }
}

RECT WorkAreaOf(HWND window, DWORD monitorFlags) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (::GetMonitorInfoW(::MonitorFromWindow(window, monitorFlags), &monitor)) return monitor.rcWork;
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

POINT PlaceOnWorkArea(const RECT& work, POINT corner, SIZE size) {
  if (corner.x + size.cx > work.right) corner.x = work.right - size.cx;
  if (corner.x < work.left) corner.x = work.left;
  if (corner.y + size.cy > work.bottom) corner.y = work.bottom - size.cy;
  if (corner.y < work.top) corner.y = work.top;
  return corner;
}

void CWnd::CenterWindow() const {
  const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  const RECT work = WorkAreaOf(owner ? owner : m_hWnd, MONITOR_DEFAULTTOPRIMARY);

  RECT around = work;
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &around);

  RECT self{};
  ::GetWindowRect(m_hWnd, &self);
  const SIZE size{self.right - self.left, self.bottom - self.top};
  const POINT centred{around.left + (around.right - around.left - size.cx) / 2,
                      around.top + (around.bottom - around.top - size.cy) / 2};
  // Kept on the work area.
  const POINT corner = PlaceOnWorkArea(work, centred, size);
  ::SetWindowPos(m_hWnd, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- CDialog ----

namespace {

// Position and style of a dialog template, standard or extended.
struct TemplateInfo {
  DWORD style = 0;
  short x = 0;
  short y = 0;
};

bool ReadTemplateInfo(const BYTE* data, DWORD size, TemplateInfo* info) {
  auto word = [data](DWORD at) { return static_cast<WORD>(data[at] | (data[at + 1] << 8)); };
  auto dword = [&word](DWORD at) { return word(at) | (static_cast<DWORD>(word(at + 2)) << 16); };
  if (size >= 26 && word(0) == 1 && word(2) == 0xFFFF) {  // DLGTEMPLATEEX
    info->style = dword(12);
    info->x = static_cast<short>(word(18));
    info->y = static_cast<short>(word(20));
    return true;
  }
  if (size >= 18) {  // DLGTEMPLATE
    info->style = dword(0);
    info->x = static_cast<short>(word(10));
    info->y = static_cast<short>(word(12));
    return true;
  }
  return false;
}

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() {
  // A dialog object that goes away with its window still there (never the
  // case after DoModal) must not be reached through that window any more.
  if (m_hWnd && ::IsWindow(m_hWnd)) {
    ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
    ::DestroyWindow(m_hWnd);
  }
}

HWND CDialog::FindOwner() const {
  HWND owner = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  if (!owner) {
    // No parent given: the application's main window owns the dialog, unless
    // this dialog is the main window itself.
    const CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd && app->m_pMainWnd != this) owner = app->m_pMainWnd->m_hWnd;
  }
  if (!owner || !::IsWindow(owner)) return nullptr;
  // The owner is a top-level window; a modal box already open over it takes
  // its place.
  owner = ::GetAncestor(owner, GA_ROOT);
  return ::GetLastActivePopup(owner);
}

INT_PTR CDialog::DoModal() {
  const HINSTANCE instance = AfxGetResourceHandle();
  const HRSRC resource = ::FindResourceW(instance, MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  const HGLOBAL loaded = resource ? ::LoadResource(instance, resource) : nullptr;
  const auto* dialogTemplate = loaded ? static_cast<const BYTE*>(::LockResource(loaded)) : nullptr;
  TemplateInfo info;
  if (!dialogTemplate || !ReadTemplateInfo(dialogTemplate, ::SizeofResource(instance, resource), &info)) {
    return -1;
  }
  // A template at 0,0 that asks for no placement of its own is centred when
  // it opens.
  m_bCenterOnInit = info.x == 0 && info.y == 0 &&
                    (info.style & (DS_CENTER | DS_CENTERMOUSE | DS_ABSALIGN)) == 0;

  const HWND owner = FindOwner();
  const bool disableOwner = owner && ::IsWindowEnabled(owner);
  if (disableOwner) ::EnableWindow(owner, FALSE);

  m_nModalResult = -1;
  m_bContinueModal = true;
  const HWND window = ::CreateDialogIndirectParamW(
      instance, reinterpret_cast<LPCDLGTEMPLATEW>(dialogTemplate), owner, &CDialog::DialogProc,
      reinterpret_cast<LPARAM>(this));
  if (window) {
    // A template without WS_VISIBLE (the About box) is shown once it is
    // initialised: the user must see a box that disables its owner.
    if (m_bContinueModal && ::IsWindow(window) && !::IsWindowVisible(window)) ::ShowWindow(window, SW_SHOWNORMAL);
    RunModalLoop();
  }

  if (disableOwner) ::EnableWindow(owner, TRUE);
  if (window && ::IsWindow(window)) {
    if (owner && ::GetActiveWindow() == window) ::SetActiveWindow(owner);
    ::DestroyWindow(window);
  }
  // WM_NCDESTROY has detached the object; make sure even if it never came.
  if (m_hWnd == window) m_hWnd = nullptr;
  CWinApp* app = AfxGetApp();
  if (app && app->m_pMainWnd == this) app->m_pMainWnd = nullptr;
  m_bContinueModal = false;
  return m_nModalResult;
}

void CDialog::RunModalLoop() {
  const HWND window = m_hWnd;
  MSG msg;
  while (m_bContinueModal && window && ::IsWindow(window)) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      // WM_QUIT ends the modal run; it is posted again for the loop outside.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    // F1 with no Shift, Ctrl or Alt asks the main window for help.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F1 && ::GetKeyState(VK_SHIFT) >= 0 &&
        ::GetKeyState(VK_CONTROL) >= 0 && ::GetKeyState(VK_MENU) >= 0) {
      const CWinApp* app = AfxGetApp();
      if (app && app->m_pMainWnd && app->m_pMainWnd->m_hWnd) {
        app->m_pMainWnd->SendMessage(WM_COMMAND, ID_HELP);
        continue;
      }
    }
    if (!::IsDialogMessageW(window, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  m_bContinueModal = false;
  // Wake the modal loop, which may be waiting in GetMessage.
  if (m_hWnd) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

BOOL CDialog::OnInitDialog() { return TRUE; }

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
  const UINT id = LOWORD(wParam);
  if (id == IDOK) {
    OnOK();
    return TRUE;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return TRUE;
  }
  CWinApp* app = AfxGetApp();
  return app && app->OnCommand(id);
}

LRESULT CDialog::Default() {
  // DefDlgProc first calls this dialog's procedure again with the same
  // message: that one call steps aside, so the dialog manager does its own
  // handling. Messages it sends meanwhile are dispatched as usual.
  m_bStepAside = true;
  const LRESULT result = ::DefDlgProcW(m_hWnd, m_current.message, m_current.wParam, m_current.lParam);
  m_bStepAside = false;
  return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    self->m_hWnd = window;
    ::SetWindowLongPtrW(window, DWLP_USER, lParam);
  } else {
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(window, DWLP_USER));
  }
  if (!self) return FALSE;
  if (self->m_bStepAside && message == self->m_current.message &&
      wParam == self->m_current.wParam && lParam == self->m_current.lParam) {
    self->m_bStepAside = false;
    return FALSE;
  }

  const CurrentMessage saved = self->m_current;
  self->m_current = CurrentMessage{message, wParam, lParam};
  INT_PTR result = FALSE;
  try {
    result = self->HandleMessage(message, wParam, lParam);
  } catch (...) {
    // Nothing crosses the dialog procedure: report and go on.
    AfxReportException();
    result = TRUE;
  }
  self->m_current = saved;
  self->m_bStepAside = false;

  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, DWLP_USER, 0);
    self->m_hWnd = nullptr;
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == self) app->m_pMainWnd = nullptr;
  }
  return result;
}

INT_PTR CDialog::HandleInitDialog() {
  RECT before{};
  ::GetWindowRect(m_hWnd, &before);
  const BOOL result = OnInitDialog();
  if (m_bCenterOnInit && m_hWnd) {
    RECT after{};
    ::GetWindowRect(m_hWnd, &after);
    // Initialisation that placed the window itself keeps its placement.
    if (after.left == before.left && after.top == before.top) CenterWindow();
  }
  return result;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return HandleInitDialog();
  if (message == WM_COMMAND) return OnCommand(wParam, lParam);

  LRESULT result = 0;
  if (!DispatchToTable(message, wParam, lParam, &result)) return FALSE;
  switch (message) {
    // Messages whose result a dialog procedure returns directly.
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
    case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON:
      return static_cast<INT_PTR>(result);
    default:
      if (m_hWnd) ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
