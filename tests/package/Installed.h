// The checks of an installed MIRAVEL: what their command line tells them,
// and the user's own choices for the photo types that the setup must leave
// as they are.
#pragma once

#include <string>

namespace package {

struct Options {
    std::wstring folder;    // the installation folder
    std::wstring version;   // the version the uninstall entry must name
    bool autostart = false; // whether the sign-in start must be there
    std::wstring setup;     // the setup program, run over the running program
};
const Options& Given();

// Per-user default programs for .jpg and .jpeg and other programs' "Open with"
// entries for .jpg and .bmp, as another program would have left them.
struct UsersOwnEntry {
    const wchar_t* key;     // under HKCU
    const wchar_t* name;    // value name; empty: the default value
    const wchar_t* value;   // REG_SZ text; null: a REG_NONE value
};
extern const UsersOwnEntry kUsersOwnEntries[4];
// Writes them (before the first installation).
bool WriteUsersOwnEntries();

}  // namespace package
