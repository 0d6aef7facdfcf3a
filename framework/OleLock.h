// The application lock of automation objects: every live object (and every
// client's lock on a class factory) holds the program running.
#pragma once

#include <windows.h>

// One more live object: the application's m_nObjectCount, counted with
// interlocked operations.
void AfxOleLockApp();

// One object fewer. When none is left and OLE (not the user) started the
// program, the program passes to the user's control, once, and then ends:
// the main window is destroyed if it is enabled, which ends its modal run;
// a disabled main window (a modal box of its own is open) is left alone, so
// the program stays for the user; without a main window the quit message is
// posted. An unlock without a matching lock is ignored.
void AfxOleUnlockApp();
