// Turning and mirroring a picture as its EXIF orientation says while it is
// copied into a display bitmap (24 bits a pixel, rows bottom-up, see
// DisplayBitmap.h). Plain C++; no platform headers.
//
// The stored picture is w x h; the shown picture is w x h for orientations
// 1 to 4 and h x w for 5 to 8, where a stored row becomes a shown column.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ExifOrientation.h"
#include "PixelView.h"

namespace miravel {

// True for the orientations 5 to 8, whose shown picture has width and
// height swapped. Values outside 1 to 8 count as 1 here and below.
bool OrientationSwapsSides(int orientation);

// True for the orientations 2 to 8: the shown picture is not the stored one.
bool OrientationTurnsOrMirrors(int orientation);

// The size shown for a stored picture of the given size.
PictureSize ShownSize(int orientation, PictureSize stored);

// Where the stored pixel (x, y) of a stored picture lands in the pixel area
// of the display bitmap of the shown picture (rows of stride bytes): its
// blue, green and red bytes at origin + x * xStep + y * yStep.
struct BitmapPlacement {
  std::ptrdiff_t origin = 0;
  std::ptrdiff_t xStep = 3;
  std::ptrdiff_t yStep = 0;
};

BitmapPlacement PlaceInDisplayBitmap(int orientation, PictureSize stored, std::size_t stride);

// The same placement for the part of the stored picture that starts at
// stored row y0 (its row 0 is stored row y0).
BitmapPlacement PlacementFromRow(const BitmapPlacement& placement, int32_t y0);

// Copies every pixel of the view to where the placement puts it in pixels
// (the display bitmap's pixel area). A placement that turns stored rows
// into columns is copied in tiles, so that neither side is walked across
// its rows a pixel at a time. The view must be readable (IsReadableView)
// and the placement one made for its size; nothing else is written.
void CopyTurned(const PixelView& view, const BitmapPlacement& placement, uint8_t* pixels);

}  // namespace miravel
