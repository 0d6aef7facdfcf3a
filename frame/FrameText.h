// Small text rules of the frame window: the extension of a chosen photo's
// file name, letter case ignored for ASCII letters only, and the number of
// a stored frame colour.
#pragma once

#include <windows.h>

#include <string>

namespace miravel {

// The extension of the file-name part of a path: from its last dot to the
// end, dot included; empty when the file name has no dot. A dot in a
// folder name does not count.
std::wstring FileExtension(const std::wstring& path);

// Equal when they differ only in the case of ASCII letters.
bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b);

// Whether the last characters of text are suffix, ASCII case ignored.
bool EndsWithIgnoringCase(const std::wstring& text, const std::wstring& suffix);

// A stored frame colour read as a decimal long: leading white space and a
// sign allowed, reading stops at the first character that is not a digit,
// no digits give 0, values beyond the 32-bit range stop at its ends. The
// number's bits are the COLORREF.
COLORREF ColorFromSettingText(const std::wstring& text);

// The colour written back: its bits as a signed decimal number.
std::wstring SettingTextFromColor(COLORREF colour);

}  // namespace miravel
