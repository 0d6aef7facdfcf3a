// OLE support: initialisation for the user-interface thread, and the class
// factories of the program's automation classes.
#pragma once

#include <windows.h>

// Initialises OLE for this thread (single-threaded apartment); FALSE when it
// cannot. After success AfxWinMain shuts OLE down when the program ends.
BOOL AfxOleInit();
// Shuts OLE down if AfxOleInit initialised it; called once at the end.
void AfxOleTerm();

// The program's automation class factories. No class is registered yet, so
// both operations walk an empty list and succeed.
class COleObjectFactory {
 public:
  // Registers every factory's class object with OLE (a program started by OLE).
  static BOOL RegisterAll();
  // Rewrites every factory's class entries in the registry (a user start).
  static BOOL UpdateRegistryAll(BOOL registerAll = TRUE);
};
