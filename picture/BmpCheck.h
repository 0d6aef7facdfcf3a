// Decides whether a BMP file image is safe to draw: its headers must describe
// a format the painter hands to the platform unchanged, with the colour
// table, bit masks and every pixel row inside the image. Plain C++; no
// platform headers.
//
// Accepted: a BITMAPINFOHEADER or one of its later versions (40, 52, 56, 108
// or 124 bytes), one plane, 1, 4, 8, 16, 24 or 32 bits a pixel, BI_RGB, or
// BI_BITFIELDS for 16 and 32 bits, rows bottom-up (positive height), width
// and height from 1 to 32767.
// Refused: the 12-byte BITMAPCOREHEADER (its width and height are 16-bit
// fields where the painter reads 32-bit ones), top-down rows (negative
// height), run-length, JPEG and PNG compression, and anything whose parts
// lie outside the image.
#pragma once

#include <cstddef>
#include <cstdint>

namespace miravel {

enum class BmpCheck {
  kDrawable,
  kNotBmp,             // does not begin with "BM"
  kTruncatedHeaders,   // too short for the file header and the info header
  kUnsupportedHeader,  // core header or an unknown header size
  kBadDimensions,      // width or height zero, negative width, or too large
  kTopDown,            // negative height: rows stored top-down
  kUnsupportedFormat,  // planes, bit count or compression not drawable as is
  kTableOutside,       // bit masks, colour table or colour profile beyond the end
  kPixelsOutside,      // bfOffBits inside the headers, or pixel rows beyond the end
};

// Where the parts of a drawable BMP image lie.
struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;
  uint16_t bitCount = 0;
  std::size_t pixelOffset = 0;  // bfOffBits
  std::size_t stride = 0;       // bytes a pixel row
  std::size_t pixelBytes = 0;   // stride x height
};

// Largest width and height accepted: larger than any screen, and small
// enough that window sizes derived from them stay far from overflow.
constexpr int32_t kMaxBmpDimension = 32767;

BmpCheck CheckBmpImage(const uint8_t* image, std::size_t size, BmpLayout* layout = nullptr);

inline bool IsDrawableBmpImage(const uint8_t* image, std::size_t size) {
  return CheckBmpImage(image, size) == BmpCheck::kDrawable;
}

}  // namespace miravel
