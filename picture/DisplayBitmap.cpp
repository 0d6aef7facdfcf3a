#include "DisplayBitmap.h"

#include <cstring>
#include <limits>

namespace miravel {

namespace {

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

bool DisplayBitmapStride(int32_t width, std::size_t* stride) {
  if (width <= 0) return false;
  // 3 * width + 3 never overflows 64 bits; on 32-bit size_t it may, so check.
  const uint64_t bytes = (3 * static_cast<uint64_t>(width) + 3) / 4 * 4;
  if (bytes > std::numeric_limits<std::size_t>::max()) return false;
  *stride = static_cast<std::size_t>(bytes);
  return true;
}

bool DisplayBitmapSize(int32_t width, int32_t height, std::size_t* total) {
  std::size_t stride = 0;
  if (height <= 0 || !DisplayBitmapStride(width, &stride)) return false;
  // stride < 2^34 and height < 2^31, so the product fits in 64 bits.
  const uint64_t bytes = kDisplayBitmapHeaderSize + static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
  if (bytes > std::numeric_limits<uint32_t>::max()) return false;  // bfSize is 32 bits
  if (bytes > std::numeric_limits<std::size_t>::max()) return false;
  *total = static_cast<std::size_t>(bytes);
  return true;
}

void WriteDisplayBitmapHeaders(uint8_t* h, int32_t width, int32_t height, std::size_t total) {
  std::memset(h, 0, kDisplayBitmapHeaderSize);
  h[0] = 'B';
  h[1] = 'M';
  PutU32(h + 2, static_cast<uint32_t>(total));                 // bfSize
  PutU32(h + 10, static_cast<uint32_t>(kDisplayBitmapHeaderSize));  // bfOffBits
  PutU32(h + 14, static_cast<uint32_t>(kBmpInfoHeaderSize));   // biSize
  PutU32(h + 18, static_cast<uint32_t>(width));
  PutU32(h + 22, static_cast<uint32_t>(height));               // positive: bottom-up
  PutU16(h + 26, 1);                                           // biPlanes
  PutU16(h + 28, 24);                                          // biBitCount
  // biCompression (BI_RGB), biSizeImage, resolutions and colour counts stay 0.
}

void ConvertDisplayBitmapRow(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                             int32_t width, int32_t y, uint8_t* row, std::size_t stride) {
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t src = static_cast<std::size_t>(y) * w;
  for (std::size_t x = 0; x < w; ++x) {
    row[3 * x] = blue[src + x];
    row[3 * x + 1] = green[src + x];
    row[3 * x + 2] = red[src + x];
  }
  std::memset(row + 3 * w, 0, stride - 3 * w);
}

std::vector<uint8_t> BuildDisplayBitmapImage(const uint8_t* red, const uint8_t* green,
                                             const uint8_t* blue, int32_t width,
                                             int32_t height) {
  std::size_t stride = 0;
  std::size_t total = 0;
  if (!red || !green || !blue || !DisplayBitmapStride(width, &stride) ||
      !DisplayBitmapSize(width, height, &total)) {
    return {};
  }

  std::vector<uint8_t> image(total);
  WriteDisplayBitmapHeaders(image.data(), width, height, total);
  uint8_t* pixels = image.data() + kDisplayBitmapHeaderSize;
  for (int32_t y = 0; y < height; ++y) {
    ConvertDisplayBitmapRow(red, green, blue, width, y,
                            pixels + static_cast<std::size_t>(height - 1 - y) * stride, stride);
  }
  return image;
}

}  // namespace miravel
