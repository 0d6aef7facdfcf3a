#include "DlgProxy.h"

#include <new>

#include "MIRAVELDlg.h"

namespace {

// Every live object, oldest first. One user-interface thread: no lock.
CMIRAVELDlgAutoProxy* g_firstProxy = nullptr;

const IID* const kInterfaces[] = {&IID_IMIRAVEL};

}  // namespace

const CRuntimeClass CMIRAVELDlgAutoProxy::classCMIRAVELDlgAutoProxy{"CMIRAVELDlgAutoProxy",
                                                                    &CMIRAVELDlgAutoProxy::CreateObject};

const InterfaceMap CMIRAVELDlgAutoProxy::interfaceMap = MakeInterfaceMap(&CCmdTarget::interfaceMap, kInterfaces);

CCmdTarget* CMIRAVELDlgAutoProxy::CreateObject() { return new (std::nothrow) CMIRAVELDlgAutoProxy; }

const CRuntimeClass* CMIRAVELDlgAutoProxy::GetRuntimeClass() const { return &classCMIRAVELDlgAutoProxy; }

const InterfaceMap* CMIRAVELDlgAutoProxy::GetInterfaceMap() const { return &interfaceMap; }

CMIRAVELDlgAutoProxy::CMIRAVELDlgAutoProxy() {
  EnableAutomation();
  // The program keeps running while this object lives.
  AfxOleLockApp();

  CMIRAVELDlgAutoProxy** last = &g_firstProxy;
  while (*last) last = &(*last)->m_pNextProxy;
  *last = this;

  // The main window is the frame window from the moment start-up makes it
  // so until its modal run ends; before (splash screen) there is none.
  CWinApp* app = AfxGetApp();
  CMIRAVELDlg* dialog = app ? dynamic_cast<CMIRAVELDlg*>(app->m_pMainWnd) : nullptr;
  if (dialog && !dialog->m_pAutoProxy) Link(dialog);
}

CMIRAVELDlgAutoProxy::~CMIRAVELDlgAutoProxy() {
  for (CMIRAVELDlgAutoProxy** link = &g_firstProxy; *link; link = &(*link)->m_pNextProxy) {
    if (*link == this) {
      *link = m_pNextProxy;
      break;
    }
  }
  if (m_pDialog) {
    CMIRAVELDlg* dialog = m_pDialog;
    m_pDialog = nullptr;
    if (dialog->m_pAutoProxy == this) {
      dialog->m_pAutoProxy = nullptr;
      LinkWaitingProxy(dialog);  // the window keeps hiding while any object lives
    }
  }
  // May destroy the frame window (the last object of a program OLE started).
  AfxOleUnlockApp();
}

void CMIRAVELDlgAutoProxy::Link(CMIRAVELDlg* dialog) {
  m_pDialog = dialog;
  dialog->m_pAutoProxy = this;
}

void CMIRAVELDlgAutoProxy::LinkWaitingProxy(CMIRAVELDlg* dialog) {
  if (!dialog || dialog->m_pAutoProxy) return;
  for (CMIRAVELDlgAutoProxy* proxy = g_firstProxy; proxy; proxy = proxy->m_pNextProxy) {
    if (!proxy->m_pDialog) {
      proxy->Link(dialog);
      return;
    }
  }
}

// The client's last reference is gone: nothing more than the base class does.
void CMIRAVELDlgAutoProxy::OnFinalRelease() { CCmdTarget::OnFinalRelease(); }
