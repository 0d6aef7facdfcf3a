// The thin application framework over Win32 and OLE: application object,
// modal dialogs with message tables, file reading, OLE start-up.
#pragma once

#include "Dialog.h"
#include "Dpi.h"
#include "File.h"
#include "FrameworkIds.h"
#include "Ole.h"
#include "WinApp.h"
