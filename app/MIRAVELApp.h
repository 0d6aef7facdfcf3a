// The application object of MIRAVEL: its whole life is InitInstance, which
// starts OLE, shows the splash screen and runs the frame window modally.
#pragma once

#include "Framework.h"

class CMIRAVELApp : public CWinApp {
 public:
  CMIRAVELApp() = default;
  BOOL InitInstance() override;
};
