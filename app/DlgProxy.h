// The automation object of "MIRAVEL.Application": it stands for the frame
// window and has no methods and no properties. While a client holds one,
// the program keeps running and the frame window hides instead of closing;
// when the client lets go of the last one, a program that OLE started ends.
//
// A client may ask for several objects, and may ask before the frame window
// exists (OLE's request can arrive while the splash screen is up). The frame
// window keeps a single back link, so at most one live object is linked to
// it at a time: the oldest. The others wait, with no pointer to the window;
// when the linked object goes, the link passes to the oldest waiting one,
// and start-up links the oldest waiting object once the frame window is the
// main window. So the window hides while any object lives, and no object
// ever holds a pointer to a window that is gone.
#pragma once

#include "AutomationIds.h"
#include "Framework.h"

class CMIRAVELDlg;

class CMIRAVELDlgAutoProxy : public CCmdTarget {
 public:
  // Dispatch interface, application lock, then the link to the main window
  // when that is the frame window and no other object is linked to it.
  CMIRAVELDlgAutoProxy();
  // Unlinks (handing the link to the oldest waiting object), then releases
  // the application lock, which may end the program.
  ~CMIRAVELDlgAutoProxy() override;

  const CRuntimeClass* GetRuntimeClass() const override;
  static const CRuntimeClass classCMIRAVELDlgAutoProxy;
  // The factory's create function: a new object, or null without memory.
  static CCmdTarget* CreateObject();

  // The class factory of "MIRAVEL.Application", a static object defined
  // with the application object and constructed before it.
  static COleObjectFactory factory;

  // Links the oldest waiting object to the frame window, unless one is
  // linked already; start-up calls it once the window is the main window.
  static void LinkWaitingProxy(CMIRAVELDlg* dialog);

  // The frame window this object stands for; not owned. Null while the
  // object waits, and once the window object is gone (it clears it).
  CMIRAVELDlg* m_pDialog = nullptr;

 protected:
  void OnFinalRelease() override;
  const InterfaceMap* GetInterfaceMap() const override;
  static const InterfaceMap interfaceMap;

 private:
  void Link(CMIRAVELDlg* dialog);
  CMIRAVELDlgAutoProxy* m_pNextProxy = nullptr;  // the live objects, oldest first
};
