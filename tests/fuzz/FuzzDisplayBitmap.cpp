// The display-bitmap builder over random sizes. Small pictures get real
// planes (heap blocks of exactly width x height bytes, filled from the
// input) and the bitmap is checked byte for byte. Any claimed size, however
// large, zero or negative, must have its size worked out without overflow:
// sizes whose bitmap cannot exist (not positive, or more than the 32-bit
// bfSize can say) give an empty result without touching the planes.
//
// Input: byte 0 chooses the form; then two little-endian 32-bit values,
// width and height (taken modulo 300 for small pictures), then the bytes
// the planes are filled from, repeated as needed.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "DisplayBitmap.h"
#include "FuzzCheck.h"

namespace {

// Pictures up to this many pixels are built, whatever form chose them.
constexpr uint64_t kMaxBuiltPixels = uint64_t{1} << 16;

std::unique_ptr<uint8_t[]> MakePlane(std::size_t samples, const uint8_t* fill, std::size_t fillSize,
                                     std::size_t start) {
  std::unique_ptr<uint8_t[]> plane(new uint8_t[samples]);
  for (std::size_t i = 0; i < samples; ++i) {
    plane[i] = fillSize != 0 ? fill[(start + i) % fillSize] : static_cast<uint8_t>(i * 31 + start);
  }
  return plane;
}

void BuildAndCheck(int32_t width, int32_t height, const uint8_t* fill, std::size_t fillSize) {
  const std::size_t samples = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  auto red = MakePlane(samples, fill, fillSize, 0);
  auto green = MakePlane(samples, fill, fillSize, samples);
  auto blue = MakePlane(samples, fill, fillSize, 2 * samples);
  std::vector<uint8_t> image =
      miravel::BuildDisplayBitmapImage(red.get(), green.get(), blue.get(), width, height);
  fuzz::RequireDisplayBitmap(image, red.get(), green.get(), blue.get(), width, height);

  // Missing planes are refused, never read.
  FUZZ_REQUIRE(miravel::BuildDisplayBitmapImage(nullptr, green.get(), blue.get(), width, height).empty());
  FUZZ_REQUIRE(miravel::BuildDisplayBitmapImage(red.get(), green.get(), nullptr, width, height).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const bool small = (data[0] & 1) == 0;
  const uint8_t* fill = data + 9;
  const std::size_t fillSize = size - 9;
  int32_t width = static_cast<int32_t>(fuzz::Le32(data + 1));
  int32_t height = static_cast<int32_t>(fuzz::Le32(data + 5));
  if (small) {
    width = static_cast<int32_t>(fuzz::Le32(data + 1) % 300) + 1;
    height = static_cast<int32_t>(fuzz::Le32(data + 5) % 300) + 1;
  }

  // The sizes, worked out independently in 64 bits (no product can wrap:
  // stride < 2^33 and height < 2^31).
  const bool positive = width > 0 && height > 0;
  const uint64_t stride = width > 0 ? (3 * static_cast<uint64_t>(width) + 3) / 4 * 4 : 0;
  const uint64_t total = positive ? 54 + stride * static_cast<uint64_t>(height) : 0;
  const bool fits = positive && total <= std::numeric_limits<uint32_t>::max();

  std::size_t gotStride = 0;
  FUZZ_REQUIRE(miravel::DisplayBitmapStride(width, &gotStride) == (width > 0));
  if (width > 0) FUZZ_REQUIRE(gotStride == stride);
  std::size_t gotTotal = 0;
  FUZZ_REQUIRE(miravel::DisplayBitmapSize(width, height, &gotTotal) == fits);
  if (fits) FUZZ_REQUIRE(gotTotal == total);

  if (!fits) {
    // One-byte planes: a builder that went on would read past them.
    auto one = fuzz::ExactCopy(data, 1);
    FUZZ_REQUIRE(miravel::BuildDisplayBitmapImage(one.get(), one.get(), one.get(), width, height).empty());
    return 0;
  }
  if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxBuiltPixels) {
    BuildAndCheck(width, height, fill, fillSize);
  }
  return 0;
}
