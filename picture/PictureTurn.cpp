#include "PictureTurn.h"

#include <algorithm>
#include <cstring>

namespace miravel {

namespace {

// How an orientation makes the shown picture: shown X runs along stored x
// (stored y when the sides are swapped), backwards when reverseX; shown Y
// likewise along stored y (or x). Read off the EXIF definition: the value
// says where stored row 0 and column 0 are shown.
struct Turn {
  bool swapSides;
  bool reverseX;
  bool reverseY;
};

constexpr Turn kTurns[9] = {
    {false, false, false},  // (not an orientation)
    {false, false, false},  // 1: row 0 top, column 0 left
    {false, true, false},   // 2: row 0 top, column 0 right
    {false, true, true},    // 3: row 0 bottom, column 0 right
    {false, false, true},   // 4: row 0 bottom, column 0 left
    {true, false, false},   // 5: row 0 left, column 0 top
    {true, true, false},    // 6: row 0 right, column 0 top
    {true, true, true},     // 7: row 0 right, column 0 bottom
    {true, false, true},    // 8: row 0 left, column 0 bottom
};

const Turn& TurnOf(int orientation) {
  return kTurns[orientation >= 1 && orientation <= 8 ? orientation : 1];
}

// What the copying loops read of the view and the placement, held in a
// local object of theirs: the loops' byte stores could alias the caller's.
struct Copy {
  Copy(const PixelView& view, const BitmapPlacement& placement, uint8_t* pixels)
      : red(view.red),
        green(view.green),
        blue(view.blue),
        width(view.width),
        height(view.height),
        rowStep(view.rowStep),
        origin(pixels + placement.origin),
        xStep(placement.xStep),
        yStep(placement.yStep) {}

  const uint8_t* const red;
  const uint8_t* const green;
  const uint8_t* const blue;
  const int32_t width, height;
  const std::ptrdiff_t rowStep;
  uint8_t* const origin;
  const std::ptrdiff_t xStep, yStep;
};

// Stored rows to shown rows, the row order kept or reversed (kStep 3 or -3
// bytes from one shown pixel to the next).
template <std::ptrdiff_t kPixelStep, std::ptrdiff_t kStep>
void CopyRows(const Copy& c) {
  for (int32_t y = 0; y < c.height; ++y) {
    const std::ptrdiff_t row = y * c.rowStep;
    const uint8_t* red = c.red + row;
    const uint8_t* green = c.green + row;
    const uint8_t* blue = c.blue + row;
    uint8_t* out = c.origin + y * c.yStep;
    for (int32_t x = 0; x < c.width; ++x) {
      out[kStep * x] = blue[kPixelStep * x];
      out[kStep * x + 1] = green[kPixelStep * x];
      out[kStep * x + 2] = red[kPixelStep * x];
    }
  }
}

// Stored rows to shown columns, in tiles of 16 stored rows by 128 columns
// that fit the first-level cache on both sides: inside a tile each shown row
// is written in one run (kStep bytes from the pixel of one stored row to the
// next), four pixels at a time as one 8-byte and one 4-byte store, while the
// tile's stored rows stay in the cache. (Of the shapes measured on 24 MP
// pictures, from 4 x 64 to 32 x 32, flat ones touched fewer pages and did
// best; square 32 x 32 tiles took a third longer.)
constexpr int32_t kTileRows = 16;
constexpr int32_t kTileColumns = 128;

template <std::ptrdiff_t kPixelStep, std::ptrdiff_t kStep>
void CopyTiles(const Copy& c) {
  const std::ptrdiff_t rowStep = c.rowStep;
  for (int32_t y0 = 0; y0 < c.height; y0 += kTileRows) {
    const int32_t rows = std::min(kTileRows, c.height - y0);
    for (int32_t x0 = 0; x0 < c.width; x0 += kTileColumns) {
      const int32_t x1 = std::min(x0 + kTileColumns, c.width);
      for (int32_t x = x0; x < x1; ++x) {
        const std::ptrdiff_t first = kPixelStep * x + y0 * rowStep;
        const uint8_t* red = c.red + first;
        const uint8_t* green = c.green + first;
        const uint8_t* blue = c.blue + first;
        uint8_t* out = c.origin + x * c.xStep + y0 * c.yStep;
        int32_t y = 0;
        for (; y + 4 <= rows; y += 4) {
          // Pixels y to y + 3, in the order they lie in memory.
          uint64_t p[4];
          for (int k = 0; k < 4; ++k) {
            const std::ptrdiff_t in = (y + (kStep > 0 ? k : 3 - k)) * rowStep;
            p[k] = uint64_t{blue[in]} | uint64_t{green[in]} << 8 | uint64_t{red[in]} << 16;
          }
          const uint64_t low = p[0] | p[1] << 24 | p[2] << 48;
          const uint32_t high = static_cast<uint32_t>(p[2] >> 16 | p[3] << 8);
          uint8_t* at = out + kStep * (kStep > 0 ? y : y + 3);
          std::memcpy(at, &low, 8);
          std::memcpy(at + 8, &high, 4);
        }
        for (; y < rows; ++y) {
          const std::ptrdiff_t in = y * rowStep;
          out[kStep * y] = blue[in];
          out[kStep * y + 1] = green[in];
          out[kStep * y + 2] = red[in];
        }
      }
    }
  }
}

template <std::ptrdiff_t kPixelStep>
void CopyTurnedWithStep(const Copy& c) {
  if (c.xStep == 3) return CopyRows<kPixelStep, 3>(c);
  if (c.xStep == -3) return CopyRows<kPixelStep, -3>(c);
  if (c.yStep == 3) return CopyTiles<kPixelStep, 3>(c);
  return CopyTiles<kPixelStep, -3>(c);
}

}  // namespace

bool OrientationSwapsSides(int orientation) { return TurnOf(orientation).swapSides; }

bool OrientationTurnsOrMirrors(int orientation) { return &TurnOf(orientation) != &kTurns[1]; }

PictureSize ShownSize(int orientation, PictureSize stored) {
  return OrientationSwapsSides(orientation) ? PictureSize{stored.height, stored.width} : stored;
}

BitmapPlacement PlaceInDisplayBitmap(int orientation, PictureSize stored, std::size_t stride) {
  const Turn& turn = TurnOf(orientation);
  const PictureSize shown = ShownSize(orientation, stored);
  const std::ptrdiff_t rowBytes = static_cast<std::ptrdiff_t>(stride);
  // Shown pixel (X, Y) lies at (shown height - 1 - Y) * stride + 3 * X:
  // bitmap rows are bottom-up.
  const std::ptrdiff_t originX = turn.reverseX ? 3 * std::ptrdiff_t{shown.width - 1} : 0;
  const std::ptrdiff_t stepX = turn.reverseX ? -3 : 3;
  const std::ptrdiff_t originY = turn.reverseY ? 0 : std::ptrdiff_t{shown.height - 1} * rowBytes;
  const std::ptrdiff_t stepY = turn.reverseY ? rowBytes : -rowBytes;

  BitmapPlacement placement;
  placement.origin = originX + originY;
  placement.xStep = turn.swapSides ? stepY : stepX;
  placement.yStep = turn.swapSides ? stepX : stepY;
  return placement;
}

BitmapPlacement PlacementFromRow(const BitmapPlacement& placement, int32_t y0) {
  BitmapPlacement part = placement;
  part.origin += y0 * placement.yStep;
  return part;
}

void CopyTurned(const PixelView& view, const BitmapPlacement& placement, uint8_t* pixels) {
  const Copy copy(view, placement, pixels);
  if (view.pixelStep == 1) return CopyTurnedWithStep<1>(copy);
  if (view.pixelStep == 3) return CopyTurnedWithStep<3>(copy);
  CopyTurnedWithStep<4>(copy);
}

}  // namespace miravel
