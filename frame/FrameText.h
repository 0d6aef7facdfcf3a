// Small text rules of the frame window: the extension of a photo's file
// name and the loader it chooses, letter case ignored for ASCII letters
// only, and the texts of the stored frame colour and place.
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

// The loader a photo file needs, by its extension, letter case ignored:
// "BMP" for .bmp; "JPG" for .jpg, .jpeg, .jpe and .jfif; empty for any
// other name, which no loader takes.
std::wstring PhotoTypeOfPath(const std::wstring& path);

// A stored frame colour read as a decimal long: leading white space and a
// sign allowed, reading stops at the first character that is not a digit,
// no digits give 0, values beyond the 32-bit range stop at its ends. The
// number's bits are the COLORREF.
COLORREF ColorFromSettingText(const std::wstring& text);

// The colour written back: its bits as a signed decimal number.
std::wstring SettingTextFromColor(COLORREF colour);

// The frame's place, its outer top-left corner in screen coordinates, as
// stored: "x,y", two signed decimal numbers. Anything else is no place.
bool PlaceFromSettingText(const std::wstring& text, POINT* place);
std::wstring SettingTextFromPlace(POINT place);

}  // namespace miravel
