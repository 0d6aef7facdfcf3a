// Resource and command ids that belong to the framework layer rather than to
// the program. Included by C++ sources and by resource scripts alike.
#pragma once

// Application-title string: when present it names the application; without
// it the executable's file name does.
#define IDS_APP_TITLE 0xE000

// Commands that the application object handles.
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
#define ID_HELP 0xE146

// Message shown when the help engine cannot be started.
#define IDP_FAILED_TO_LAUNCH_HELP 0xF107

// Messages of the layer itself, for errors that a message handler let out.
#define IDS_FW_NO_MEMORY 0xF180
#define IDS_FW_FILE_ERROR 0xF181
#define IDS_FW_UNEXPECTED 0xF182
