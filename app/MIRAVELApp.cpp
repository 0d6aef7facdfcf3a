#include "MIRAVELApp.h"

#include <string>
#include <vector>

#include "DlgProxy.h"
#include "MIRAVELDlg.h"
#include "SplashDlg.h"
#include "resource.h"

// Start-up, in this order: OLE; control container and 3-D controls; the
// registry key; the class object for OLE or the class's registry entries;
// three seconds of splash; the frame window as the main window until it
// ends, with the photo named on the command line if there is one. Always
// returns FALSE: there is no message loop after the frame.
BOOL CMIRAVELApp::InitInstance() {
  if (!AfxOleInit()) {
    AfxMessageBox(IDP_OLE_INIT_FAILED, MB_OK);
    return FALSE;
  }
  AfxEnableControlContainer();
  Enable3dControlsStatic();

  const std::wstring registryKey = AfxLoadString(IDS_REGISTRY_KEY);
  SetRegistryKey(registryKey.c_str());

  // OLE starts a server with "Embedding" (or "Automation"): serve the class.
  // A user start refreshes the class's registry entries instead.
  const bool startedByOle = RunEmbedded() || RunAutomated();
  if (startedByOle) {
    COleObjectFactory::RegisterAll();
  } else {
    COleObjectFactory::UpdateRegistryAll(TRUE);
  }

  CSplashDlg splash;
  splash.DoModal();

  CMIRAVELDlg frame;
  // A photo the user opened the program with ("Open with", a double-click
  // on a photo): the first argument, opened instead of the stored photo.
  if (!startedByOle) {
    const std::vector<std::wstring> arguments = CommandLineArguments(m_lpCmdLine);
    if (!arguments.empty()) frame.m_strPhotoToOpen = arguments.front();
  }
  m_pMainWnd = &frame;
  // A client that asked during the splash screen is linked to it now.
  CMIRAVELDlgAutoProxy::LinkWaitingProxy(&frame);
  frame.DoModal();
  return FALSE;
}
