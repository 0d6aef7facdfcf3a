// Resource ids of MIRAVEL. Included by MIRAVEL.rc and by the C++ sources.
#pragma once

#include "FrameworkIds.h"

// Dialogs
#define IDD_ABOUTBOX 100
#define IDD_MIRAVEL_DIALOG 102
#define IDD_SPLASH 130

// Icon, menu, bitmap
#define IDR_MAINFRAME 128
#define IDR_POPUP_MENU 129
#define IDB_SPLASH 133

// Strings
#define IDP_OLE_INIT_FAILED 100
#define IDS_ABOUTBOX 101
#define IDS_REGISTRY_KEY 102
#define IDS_PHOTO_FILTER 104
#define IDS_SECTION_SETTING 201
#define IDS_ENTRY_CURRENTFILE 203
#define IDS_ENTRY_FRAMECOLOR 204
#define IDS_ENTRY_FRAMEPOSITION 205
#define IDS_ENTRY_SHRINKPHOTO 206

// Commands of the right-click menu (ID_APP_ABOUT and ID_APP_EXIT come from
// the framework).
#define ID_NEW_FRAME 32771
#define ID_NEW_PHOTO 32772
#define ID_FRAME_COLOR 32775
#define ID_ALWAYS_ON_TOP 32776
#define ID_SHRINK_PHOTO 32777

// System-menu item of the frame window
#define IDM_ABOUTBOX 0x0010

// Control id of static controls
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
