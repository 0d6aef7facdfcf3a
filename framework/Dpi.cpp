#include "Dpi.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <class Fn>
Fn User32Entry(const char* name) {
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name))) : nullptr;
}

}  // namespace

UINT WindowDpi(HWND window) {
  static const auto getDpiForWindow = User32Entry<GetDpiForWindowFn>("GetDpiForWindow");
  if (getDpiForWindow && window) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return dpi;
  }
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

void AdjustWindowRectForDpi(RECT* rect, DWORD style, DWORD exStyle, UINT dpi) {
  static const auto adjustForDpi = User32Entry<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
  if (adjustForDpi && adjustForDpi(rect, style, FALSE, exStyle, dpi)) return;
  ::AdjustWindowRectEx(rect, style, FALSE, exStyle);
}

SIZE WindowSizeForClient(HWND window, SIZE client, UINT dpi) {
  RECT outer{0, 0, client.cx, client.cy};
  AdjustWindowRectForDpi(&outer, static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)),
                         static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)), dpi);
  return SIZE{outer.right - outer.left, outer.bottom - outer.top};
}

int ScaleForDpi(int value, UINT dpi) { return ::MulDiv(value, static_cast<int>(dpi), static_cast<int>(kDefaultDpi)); }
