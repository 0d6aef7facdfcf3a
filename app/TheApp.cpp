// The one application object of the program. Test programs have their own.
#include "MIRAVELApp.h"

CMIRAVELApp theApp;
