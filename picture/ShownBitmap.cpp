#include "ShownBitmap.h"

#include "DisplayBitmap.h"
#include "FitSize.h"
#include "PictureTurn.h"

namespace miravel {

std::vector<uint8_t> BuildShownBitmap(const PixelView& view, int orientation, PictureSize shown,
                                      const ShrinkOptions& options) {
  if (!IsReadableView(view) || !FitsDisplayBitmap(shown)) return {};
  const PictureSize full = ShownSize(orientation, view.Size());
  if (shown.width > full.width || shown.height > full.height) return {};
  // The decoder's planes shown as they are: the plain builder's bitmap.
  if (shown == full && !OrientationTurnsOrMirrors(orientation) && view.pixelStep == 1 &&
      view.rowStep == view.width) {
    return BuildDisplayBitmapImage(view.red, view.green, view.blue, view.width, view.height);
  }

  std::size_t stride = 0;
  std::size_t total = 0;
  if (!DisplayBitmapStride(shown.width, &stride) || !DisplayBitmapSize(shown.width, shown.height, &total)) {
    return {};
  }
  std::vector<uint8_t> image(total);
  WriteDisplayBitmapHeaders(image.data(), shown.width, shown.height, total);
  uint8_t* pixels = image.data() + kDisplayBitmapHeaderSize;

  // The stored picture's size at the shown scale.
  const PictureSize stored = ShownSize(orientation, shown);
  const BitmapPlacement placement = PlaceInDisplayBitmap(orientation, stored, stride);
  if (shown == full) {
    CopyTurned(view, placement, pixels);
  } else {
    ShrinkByArea(view, stored, placement, pixels, options);
  }
  return image;
}

}  // namespace miravel
