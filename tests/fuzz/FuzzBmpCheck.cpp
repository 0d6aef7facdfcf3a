// The check that decides whether a BMP file image may be drawn, over
// arbitrary bytes. When it says "drawable", everything the painter hands to
// the platform must lie inside the image: the info header, the bit masks,
// the colour table (as many entries as the platform may read), the colour
// profile of a version 5 header, and every pixel row at the stride the
// platform uses. These extents are worked out here from the headers
// independently of the check, compared with the layout it reports, and then
// read byte by byte from a heap block of exactly the image's size.
#include <cstddef>
#include <cstdint>

#include "BmpCheck.h"
#include "FuzzCheck.h"

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// Requires [start, start + length) to lie inside the image, then reads it.
void RequireInside(const uint8_t* image, std::size_t size, uint64_t start, uint64_t length) {
  FUZZ_REQUIRE(start <= size && length <= size - start);
  fuzz::TouchBytes(image + start, static_cast<std::size_t>(length));
}

void CheckDrawable(const uint8_t* image, std::size_t size, const miravel::BmpLayout& layout) {
  FUZZ_REQUIRE(size >= 14 + 4);
  const uint64_t headerSize = fuzz::Le32(image + 14);
  FUZZ_REQUIRE(headerSize >= 40);
  RequireInside(image, size, 14, headerSize);

  const uint8_t* info = image + 14;
  const int32_t width = static_cast<int32_t>(fuzz::Le32(info + 4));
  const int32_t height = static_cast<int32_t>(fuzz::Le32(info + 8));
  const uint16_t planes = fuzz::Le16(info + 12);
  const uint16_t bitCount = fuzz::Le16(info + 14);
  const uint32_t compression = fuzz::Le32(info + 16);
  const uint32_t colorsUsed = fuzz::Le32(info + 32);

  // What the painter relies on without looking.
  FUZZ_REQUIRE(width > 0 && height > 0);
  FUZZ_REQUIRE(width <= miravel::kMaxBmpDimension && height <= miravel::kMaxBmpDimension);
  FUZZ_REQUIRE(planes == 1);
  FUZZ_REQUIRE(bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
               bitCount == 24 || bitCount == 32);
  FUZZ_REQUIRE(compression == kBiRgb ||
               (compression == kBiBitfields && (bitCount == 16 || bitCount == 32)));

  // Bit masks: three after a 40-byte header; later headers hold them.
  uint64_t tableStart = 14 + headerSize;
  if (compression == kBiBitfields && headerSize == 40) {
    RequireInside(image, size, tableStart, 12);
    tableStart += 12;
  }
  // Colour table: biClrUsed entries if set, else 2^bitCount up to 8 bits.
  uint64_t colors = colorsUsed;
  if (colors == 0 && bitCount <= 8) colors = uint64_t{1} << bitCount;
  RequireInside(image, size, tableStart, 4 * colors);

  // Colour profile of a version 5 header, linked or embedded.
  if (headerSize >= 124) {
    const uint32_t colorSpace = fuzz::Le32(info + 56);
    if (colorSpace == 0x4C494E4B || colorSpace == 0x4D424544) {
      RequireInside(image, size, 14 + uint64_t{fuzz::Le32(info + 112)}, fuzz::Le32(info + 116));
    }
  }

  // Pixel rows, bottom-up from bfOffBits, each padded to four bytes.
  const uint64_t offset = fuzz::Le32(image + 10);
  const uint64_t stride = (static_cast<uint64_t>(width) * bitCount + 31) / 32 * 4;
  FUZZ_REQUIRE(offset >= tableStart);  // pixels never overlap the headers
  for (int32_t row = 0; row < height; ++row) {
    RequireInside(image, size, offset + stride * static_cast<uint64_t>(row), stride);
  }

  FUZZ_REQUIRE(layout.width == width && layout.height == height);
  FUZZ_REQUIRE(layout.bitCount == bitCount);
  FUZZ_REQUIRE(layout.pixelOffset == offset);
  FUZZ_REQUIRE(layout.stride == stride);
  FUZZ_REQUIRE(layout.pixelBytes == stride * static_cast<uint64_t>(height));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  auto image = fuzz::ExactCopy(data, size);
  miravel::BmpLayout layout;
  const miravel::BmpCheck verdict = miravel::CheckBmpImage(image.get(), size, &layout);

  const bool startsWithBm = size >= 2 && data[0] == 'B' && data[1] == 'M';
  FUZZ_REQUIRE((verdict == miravel::BmpCheck::kNotBmp) == !startsWithBm);
  FUZZ_REQUIRE(miravel::IsDrawableBmpImage(image.get(), size) ==
               (verdict == miravel::BmpCheck::kDrawable));
  if (verdict == miravel::BmpCheck::kDrawable) CheckDrawable(image.get(), size, layout);
  return 0;
}
