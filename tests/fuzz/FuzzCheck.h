// Helpers shared by the fuzz targets: a failed property aborts with a line
// that says which, so libFuzzer keeps the input as a crash; copies of the
// input into heap blocks of exactly the right size, so that AddressSanitizer
// sees any read past their end; and the independent check of a display
// bitmap against the planes it was built from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#define FUZZ_REQUIRE(condition)                                                      \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)

namespace fuzz {

// A heap block of exactly size bytes holding a copy of data. A block of
// size 0 still has its own address, past which nothing may be read.
inline std::unique_ptr<uint8_t[]> ExactCopy(const uint8_t* data, std::size_t size) {
  std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 0 : size]);
  if (size != 0) std::memcpy(copy.get(), data, size);
  return copy;
}

// Reads every byte of [bytes, bytes + size): under AddressSanitizer a byte
// outside its block stops the run here, with the stack of the caller.
inline uint32_t TouchBytes(const uint8_t* bytes, std::size_t size) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += bytes[i];
  volatile uint32_t sink = sum;
  return sink;
}

inline uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Checks a 24-bit bottom-up display bitmap, byte for byte, against the planes
// it was made from (rows top-down, width bytes apart): both headers, every
// pixel in the order blue, green, red, and zero padding to the stride.
inline void RequireDisplayBitmap(const std::vector<uint8_t>& image, const uint8_t* red,
                                 const uint8_t* green, const uint8_t* blue, int32_t width,
                                 int32_t height) {
  const uint64_t stride = (3 * static_cast<uint64_t>(width) + 3) / 4 * 4;
  const uint64_t total = 54 + stride * static_cast<uint64_t>(height);
  FUZZ_REQUIRE(image.size() == total);
  const uint8_t* h = image.data();
  FUZZ_REQUIRE(h[0] == 'B' && h[1] == 'M');
  FUZZ_REQUIRE(Le32(h + 2) == total);
  FUZZ_REQUIRE(Le16(h + 6) == 0 && Le16(h + 8) == 0);
  FUZZ_REQUIRE(Le32(h + 10) == 54);
  FUZZ_REQUIRE(Le32(h + 14) == 40);
  FUZZ_REQUIRE(static_cast<int32_t>(Le32(h + 18)) == width);
  FUZZ_REQUIRE(static_cast<int32_t>(Le32(h + 22)) == height);
  FUZZ_REQUIRE(Le16(h + 26) == 1 && Le16(h + 28) == 24);
  for (int offset = 30; offset < 54; offset += 4) FUZZ_REQUIRE(Le32(h + offset) == 0);

  const std::size_t w = static_cast<std::size_t>(width);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = h + 54 + static_cast<std::size_t>(height - 1 - y) * stride;
    const std::size_t plane = static_cast<std::size_t>(y) * w;
    for (std::size_t x = 0; x < w; ++x) {
      FUZZ_REQUIRE(row[3 * x] == blue[plane + x]);
      FUZZ_REQUIRE(row[3 * x + 1] == green[plane + x]);
      FUZZ_REQUIRE(row[3 * x + 2] == red[plane + x]);
    }
    for (std::size_t pad = 3 * w; pad < stride; ++pad) FUZZ_REQUIRE(row[pad] == 0);
  }
}

}  // namespace fuzz
