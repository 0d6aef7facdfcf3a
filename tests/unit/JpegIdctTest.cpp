// Dequantisation, the direct inverse DCT (exact sample values) and the
// clamping of converted samples.
#include <gtest/gtest.h>

#include <cmath>

#include "JpegBuilder.h"
#include "JpegTestAccess.h"

using Access = JpegDecoderTestAccess;

namespace {

// Runs the inverse DCT on a block with the given coefficients (natural
// order, the rest 0).
std::vector<int32_t> Transform(JpegDecoder& d, const std::vector<std::pair<int, int32_t>>& coefficients,
                               int32_t precision = 8) {
  int32_t* block = Access::Block(d);
  for (int i = 0; i < 64; ++i) block[i] = 0;
  for (auto [index, value] : coefficients) block[index] = value;
  Access::SetPrecision(d, precision);
  Access::InverseDCT(d);
  return std::vector<int32_t>(Access::Pixel(d), Access::Pixel(d) + 64);
}

}  // namespace

// The table is held as constants; they must be the formula's values:
// cos(u (2x + 1) * (3.14159265 / 16)), argument and result rounded to double.
TEST(JpegIdct, CosineTableIsTheFormula) {
  JpegDecoder d;
  const double step = 3.14159265 / 16;
  for (int u = 0; u < 8; ++u) {
    for (int x = 0; x < 8; ++x) {
      const double argument = static_cast<double>(u * (2 * x + 1)) * step;
      const double expected = static_cast<double>(std::cos(static_cast<long double>(argument)));
      EXPECT_EQ(Access::Cos(d, u, x), expected) << "u " << u << " x " << x;
    }
  }
}

TEST(JpegIdct, DcOnlyBlocksAreFlat) {
  const struct {
    int32_t dc;
    int32_t sample;
  } cases[] = {
      {0, 128}, {8, 129}, {80, 138},
      {-8, 126},     // 126.99999999...
      {1024, 256},   // not clamped
      {-1024, 0},    // -0.0000004 truncates toward zero
  };
  JpegDecoder d;
  for (const auto& c : cases) {
    EXPECT_EQ(Transform(d, {{0, c.dc}}), std::vector<int32_t>(64, c.sample)) << c.dc;
  }
  EXPECT_EQ(Transform(d, {{0, 0}}, 12), std::vector<int32_t>(64, 2048));
}

TEST(JpegIdct, FirstHorizontalFrequency) {
  JpegDecoder d;
  std::vector<int32_t> pixels = Transform(d, {{1, 100}});
  const int32_t row[8] = {145, 142, 137, 131, 124, 118, 113, 110};
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(pixels[8 * y + x], row[x]) << y << "," << x;
  }
}

// Sums beyond the 32-bit range (hostile tables) saturate.
TEST(JpegIdct, OutOfRangeSumsSaturate) {
  JpegDecoder d;
  std::vector<std::pair<int, int32_t>> high, low;
  for (int i = 0; i < 64; ++i) {
    high.push_back({i, INT32_MAX});
    low.push_back({i, INT32_MIN});
  }
  EXPECT_EQ(Transform(d, high)[0], INT32_MAX);
  EXPECT_EQ(Transform(d, low)[0], INT32_MIN);
}

// Coefficient times table entry, natural order, as 32-bit integers.
TEST(JpegIdct, DequantizeMultipliesByTheComponentsTable) {
  JpegDecoder d;
  Access::SetComponentTq(d, 1, 2);
  for (int i = 0; i < 64; ++i) Access::SetQuantEntry(d, 2, i, 1);
  Access::SetQuantEntry(d, 2, 5, 255);
  Access::SetQuantEntry(d, 2, 6, 65535);
  int32_t* block = Access::Block(d);
  for (int i = 0; i < 64; ++i) block[i] = i - 32;
  block[5] = 1000;
  block[6] = 65535;
  Access::Dequantize(d, 1);
  EXPECT_EQ(block[0], -32);    // entry 1: unchanged
  EXPECT_EQ(block[63], 31);
  EXPECT_EQ(block[5], 255000);  // not limited
  EXPECT_EQ(block[6], static_cast<int32_t>(0xFFFE0001u));  // wraps, two's complement
}

TEST(JpegIdct, ClampToByteTruncatesInsideTheRange) {
  const struct {
    double x;
    int expected;
  } cases[] = {{-1e300, 0}, {-0.5, 0}, {0.0, 0}, {0.99, 0}, {28.61, 28},
               {254.99, 254}, {255.0, 255}, {255.5, 255}, {1e300, 255}};
  for (const auto& c : cases) EXPECT_EQ(Access::ClampToByte(c.x), c.expected) << c.x;
}
