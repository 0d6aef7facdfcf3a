#include "PixelView.h"

#include <algorithm>
#include <functional>

namespace miravel {

bool IsReadableView(const PixelView& view) {
  if (!view.red || !view.green || !view.blue) return false;
  if (view.width < 1 || view.width > kMaxSourceDimension || view.height < 1 ||
      view.height > kMaxSourceDimension) {
    return false;
  }
  if (view.pixelStep == 1) return true;
  if (view.pixelStep != 3 && view.pixelStep != 4) return false;
  // The three channels inside the first pixel's bytes, each its own byte.
  const uint8_t* low = std::min({view.red, view.green, view.blue}, std::less<const uint8_t*>());
  const std::ptrdiff_t r = view.red - low, g = view.green - low, b = view.blue - low;
  return r < view.pixelStep && g < view.pixelStep && b < view.pixelStep && r != g && g != b && r != b;
}

}  // namespace miravel
