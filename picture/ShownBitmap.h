// The display bitmap of a photo as it is shown: the picture turned and
// mirrored as its EXIF orientation says, and scaled down by area averaging
// when it is shown smaller than it is (see AreaShrink.h). The same 24-bit
// bottom-up BMP image as BuildDisplayBitmapImage (DisplayBitmap.h) makes;
// for orientation 1 at full size, byte for byte what that makes. Plain C++;
// no platform headers.
#pragma once

#include <cstdint>
#include <vector>

#include "AreaShrink.h"
#include "PixelView.h"

namespace miravel {

// Builds the display bitmap of the view's picture shown at shown (after
// orientation: for orientations 5 to 8 shown.width comes from the picture's
// height). A shown size equal to ShownSize(orientation, picture size) copies
// the picture pixel for pixel; a smaller one (neither side larger, at least
// 1 x 1) shrinks it in its stored orientation and then turns the small
// result. Orientations outside 1 to 8 count as 1. options: see
// ShrinkOptions in AreaShrink.h.
//
// Returns an empty vector when the view is not readable (IsReadableView),
// when shown is larger than the picture on either side, or when shown does
// not fit a display bitmap (FitsDisplayBitmap in FitSize.h). An allocation
// failure throws std::bad_alloc.
std::vector<uint8_t> BuildShownBitmap(const PixelView& view, int orientation, PictureSize shown,
                                      const ShrinkOptions& options = {});

}  // namespace miravel
