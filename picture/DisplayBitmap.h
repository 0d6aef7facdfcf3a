// The display bitmap built from colour planes: a complete BMP file image,
// 24 bits a pixel, rows bottom-up, each row padded with zero bytes to a
// multiple of four. Plain C++; no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace miravel {

// Sizes of the two headers at the start of every display bitmap.
constexpr std::size_t kBmpFileHeaderSize = 14;
constexpr std::size_t kBmpInfoHeaderSize = 40;
constexpr std::size_t kDisplayBitmapHeaderSize = kBmpFileHeaderSize + kBmpInfoHeaderSize;

// Bytes a row of a 24-bit bitmap takes: three a pixel, rounded up to four.
// Returns false when the width is not positive or the row does not fit.
bool DisplayBitmapStride(int32_t width, std::size_t* stride);

// Total size of the display bitmap for width x height, headers included.
// Returns false when a size is not positive or the total would not fit the
// 32-bit bfSize field (or the address space).
bool DisplayBitmapSize(int32_t width, int32_t height, std::size_t* total);

// The two steps of building a display bitmap, for writers that stream it
// (jpeg2bmp) rather than hold it whole. WriteDisplayBitmapHeaders fills the
// 54 header bytes for a picture whose sizes DisplayBitmapSize accepted, with
// that total; ConvertDisplayBitmapRow turns plane row y into one bitmap row
// of stride bytes (blue, green, red a pixel, zero padding).
void WriteDisplayBitmapHeaders(uint8_t* header, int32_t width, int32_t height, std::size_t total);
void ConvertDisplayBitmapRow(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                             int32_t width, int32_t y, uint8_t* row, std::size_t stride);

// Builds the display bitmap from the three planes (rows top-down, width bytes
// apart, at least width x height bytes each). The top plane row becomes the
// last row in memory; each pixel is stored blue, green, red. Returns an empty
// vector when the size does not fit (see DisplayBitmapSize); an allocation
// failure throws std::bad_alloc.
std::vector<uint8_t> BuildDisplayBitmapImage(const uint8_t* red, const uint8_t* green,
                                             const uint8_t* blue, int32_t width,
                                             int32_t height);

}  // namespace miravel
