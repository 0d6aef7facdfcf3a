// The program's entry point: the application object's life (AfxWinMain).
// Linked into the program only, not into test programs, which have their own.
#include <windows.h>

#include "WinApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
  return AfxWinMain(instance, commandLine, showCommand);
}
