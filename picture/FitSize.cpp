#include "FitSize.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "DisplayBitmap.h"

namespace miravel {

namespace {

// A bitmap of kMaxShownDimension a side stays within the 32-bit total, so the
// side limit is the only one that can bind in FitToWorkArea.
static_assert((3 * uint64_t{kMaxShownDimension} + 3) / 4 * 4 * kMaxShownDimension + kDisplayBitmapHeaderSize <=
                  std::numeric_limits<uint32_t>::max(),
              "the largest display bitmap must fit the 32-bit bfSize");

// Room for the photo along one side: the work area less the frame's extra
// size, at least 1, at most what a bitmap of ours holds.
int64_t Room(int32_t area, int32_t extra) {
  return std::clamp<int64_t>(int64_t{area} - std::max(0, extra), 1, kMaxShownDimension);
}

// part * whole / of rounded to the nearest integer (a half up), at least 1.
int32_t Scaled(int64_t whole, int64_t part, int64_t of) {
  return static_cast<int32_t>(std::max<int64_t>(1, (2 * whole * part + of) / (2 * of)));
}

}  // namespace

bool FitsDisplayBitmap(PictureSize size) {
  std::size_t total = 0;
  return size.width >= 1 && size.width <= kMaxShownDimension && size.height >= 1 &&
         size.height <= kMaxShownDimension && DisplayBitmapSize(size.width, size.height, &total);
}

PictureSize FitToWorkArea(PictureSize photo, PictureSize extra, PictureSize workArea) {
  if (photo.width < 1 || photo.height < 1) return {};
  const int64_t roomWidth = Room(workArea.width, extra.width);
  const int64_t roomHeight = Room(workArea.height, extra.height);
  const int64_t width = photo.width, height = photo.height;
  if (width <= roomWidth && height <= roomHeight) return photo;

  // The side with the smaller room for its length limits (compared without
  // division: roomWidth / width <= roomHeight / height).
  if (roomWidth * height <= roomHeight * width) {
    return {static_cast<int32_t>(roomWidth), Scaled(height, roomWidth, width)};
  }
  return {Scaled(width, roomHeight, height), static_cast<int32_t>(roomHeight)};
}

}  // namespace miravel
