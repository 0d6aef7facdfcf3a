#include "MIRAVELDlg.h"

#include "DlgProxy.h"

CMIRAVELDlg::CMIRAVELDlg(CWnd* parent) : CDialog(IDD, parent) {
  m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CMIRAVELDlg::~CMIRAVELDlg() {
  // The automation object outlives the window: tell it the window is gone.
  if (m_pAutoProxy) m_pAutoProxy->m_pDialog = nullptr;
  m_pDisplayBitmap.reset();
}

// Message table. Painting (WM_PAINT, WM_QUERYDRAGICON), the right-click menu
// (WM_RBUTTONDOWN), the system-menu item (WM_SYSCOMMAND), closing (WM_CLOSE)
// and dragging (WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE) are handled here
// as they are built; until then those messages take the dialog's default
// handling.
const MessageMap CMIRAVELDlg::messageMap{&CDialog::messageMap, nullptr, 0};

const MessageMap* CMIRAVELDlg::GetMessageMap() const { return &messageMap; }
