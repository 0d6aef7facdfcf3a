// OLE support: initialisation for the user-interface thread, and the class
// factories of the program's automation classes.
#pragma once

#include <windows.h>

// Initialises OLE for this thread (single-threaded apartment); FALSE when it
// cannot. After success AfxWinMain shuts OLE down when the program ends.
BOOL AfxOleInit();
// Withdraws the class factories' registrations and shuts OLE down if
// AfxOleInit initialised it; called once at the end.
void AfxOleTerm();

// The automation base object, the class factories, the application lock.
#include "CmdTarget.h"
#include "OleFactory.h"
#include "OleLock.h"
