#include "BmpCheck.h"

namespace miravel {

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;
constexpr uint32_t kProfileLinked = 0x4C494E4B;    // 'LINK'
constexpr uint32_t kProfileEmbedded = 0x4D424544;  // 'MBED'
constexpr uint64_t kFileHeaderSize = 14;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool KnownInfoHeaderSize(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

}  // namespace

// All offsets and sizes below are computed in 64 bits from 32-bit fields (or
// from dimensions bounded by kMaxBmpDimension), so no sum or product can
// wrap before it is compared with the image size.
BmpCheck CheckBmpImage(const uint8_t* image, std::size_t size, BmpLayout* layout) {
  if (!image || size < 2 || image[0] != 'B' || image[1] != 'M') return BmpCheck::kNotBmp;
  const uint64_t fileSize = size;
  if (fileSize < kFileHeaderSize + 4) return BmpCheck::kTruncatedHeaders;

  const uint32_t headerSize = U32(image + 14);
  if (!KnownInfoHeaderSize(headerSize)) return BmpCheck::kUnsupportedHeader;
  if (fileSize < kFileHeaderSize + headerSize) return BmpCheck::kTruncatedHeaders;

  const uint8_t* info = image + kFileHeaderSize;
  const int32_t width = static_cast<int32_t>(U32(info + 4));
  const int32_t height = static_cast<int32_t>(U32(info + 8));
  const uint16_t planes = U16(info + 12);
  const uint16_t bitCount = U16(info + 14);
  const uint32_t compression = U32(info + 16);
  const uint32_t colorsUsed = U32(info + 32);

  if (height < 0) return BmpCheck::kTopDown;
  if (width <= 0 || height == 0 || width > kMaxBmpDimension || height > kMaxBmpDimension) {
    return BmpCheck::kBadDimensions;
  }
  if (planes != 1) return BmpCheck::kUnsupportedFormat;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
      bitCount != 32) {
    return BmpCheck::kUnsupportedFormat;
  }
  const bool bitfields = compression == kBiBitfields;
  if (compression != kBiRgb && !(bitfields && (bitCount == 16 || bitCount == 32))) {
    return BmpCheck::kUnsupportedFormat;
  }

  // With the 40-byte header the three bit masks follow it; later headers
  // carry them inside.
  uint64_t tableStart = kFileHeaderSize + headerSize;
  if (bitfields && headerSize == 40) tableStart += 12;

  uint64_t colors = colorsUsed;
  if (bitCount <= 8) {
    const uint64_t maxColors = uint64_t{1} << bitCount;
    if (colors == 0) colors = maxColors;
    if (colors > maxColors) return BmpCheck::kUnsupportedFormat;
  }
  const uint64_t tableEnd = tableStart + 4 * colors;
  if (tableEnd > fileSize) return BmpCheck::kTableOutside;

  if (headerSize >= 124) {
    const uint32_t colorSpace = U32(info + 56);
    if (colorSpace == kProfileLinked || colorSpace == kProfileEmbedded) {
      const uint64_t profileEnd = kFileHeaderSize + uint64_t{U32(info + 112)} + U32(info + 116);
      if (profileEnd > fileSize) return BmpCheck::kTableOutside;
    }
  }

  const uint64_t pixelOffset = U32(image + 10);
  const uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
  const uint64_t pixelBytes = stride * static_cast<uint64_t>(height);
  if (pixelOffset < tableStart || pixelOffset + pixelBytes > fileSize) {
    return BmpCheck::kPixelsOutside;
  }

  if (layout) {
    layout->width = width;
    layout->height = height;
    layout->bitCount = bitCount;
    layout->pixelOffset = static_cast<std::size_t>(pixelOffset);
    layout->stride = static_cast<std::size_t>(stride);
    layout->pixelBytes = static_cast<std::size_t>(pixelBytes);
  }
  return BmpCheck::kDrawable;
}

}  // namespace miravel
