// The frame window object: construction, destruction and its message
// table. Its work is in the files beside this one, one concern each:
// FrameLayout (layout and painting), FrameFit (shrink to fit), FrameDrag
// (dragging), FrameCommands (the menu and its commands), FrameSettings
// (initialisation, the stored settings and the ways of ending); the
// picture loaders are in picture/.
#include "MIRAVELDlg.h"

#include "DlgProxy.h"

CMIRAVELDlg::CMIRAVELDlg(CWnd* parent) : CDialog(IDD, parent) {
  m_hIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CMIRAVELDlg::~CMIRAVELDlg() {
  // The automation object outlives the window: tell it the window is gone.
  if (m_pAutoProxy) m_pAutoProxy->m_pDialog = nullptr;
  m_pDisplayBitmap.reset();
  m_pFullPhoto.reset();
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
    OnMessage<WM_CONTEXTMENU, &CMIRAVELDlg::OnContextMenu>(),
    OnMessage<WM_DROPFILES, &CMIRAVELDlg::OnDropFiles>(),
    OnMessage<WM_DISPLAYCHANGE, &CMIRAVELDlg::OnDisplayChange>(),
    OnMessage<WM_SETTINGCHANGE, &CMIRAVELDlg::OnSettingChange>(),
};
const MessageMap CMIRAVELDlg::messageMap = MakeMessageMap(&CDialog::messageMap, messageEntries);

const MessageMap* CMIRAVELDlg::GetMessageMap() const { return &messageMap; }
