// Dots per inch of a window, and window sizes for a given DPI. The program
// is per-monitor DPI aware: its windows get the DPI of the monitor they are
// on, in device pixels. The entry points that take a DPI came with
// Windows 10 version 1607; where they are missing, the system's DPI and
// the plain AdjustWindowRectEx stand in.
#pragma once

#include <windows.h>

constexpr UINT kDefaultDpi = 96;

// The DPI the window is drawn at; the system's when it cannot say.
UINT WindowDpi(HWND window);

// Grows a client rectangle to the window rectangle of a window with these
// styles at that DPI (no menu).
void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi);

// The outer size of window, with its styles, around a client area of
// client at that DPI.
SIZE WindowSizeForClient(HWND window, SIZE client, UINT dpi);

// value x dpi / 96, rounded to the nearest pixel.
int ScaleForDpi(int value, UINT dpi);
