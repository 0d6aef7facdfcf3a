// The one application object of the program. Test programs have their own.
#include "DlgProxy.h"
#include "MIRAVELApp.h"

// The automation class factory, then the application object: constructed
// in this order, destroyed in the reverse.
COleObjectFactory CMIRAVELDlgAutoProxy::factory(CLSID_MIRAVELApplication,
                                                &CMIRAVELDlgAutoProxy::classCMIRAVELDlgAutoProxy,
                                                TRUE, kMIRAVELProgID);
CMIRAVELApp theApp;
