// Native tests of the platform-free picture pieces: the display bitmap built
// from colour planes, and the check that decides whether a BMP image is safe
// to draw.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "BmpCheck.h"
#include "DisplayBitmap.h"

namespace miravel {
namespace {

uint32_t U32At(const std::vector<uint8_t>& v, std::size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<uint32_t>(v[at + 3]) << 24);
}

void PutU32(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

void PutU16(std::vector<uint8_t>& v, std::size_t at, uint16_t x) {
  v[at] = static_cast<uint8_t>(x);
  v[at + 1] = static_cast<uint8_t>(x >> 8);
}

TEST(DisplayBitmap, StrideRoundsThreeBytesAPixelUpToFour) {
  const struct { int32_t width; std::size_t stride; } cases[] = {
      {1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}, {7, 24}, {8, 24}};
  for (const auto& c : cases) {
    std::size_t stride = 0;
    ASSERT_TRUE(DisplayBitmapStride(c.width, &stride)) << c.width;
    EXPECT_EQ(stride, c.stride) << "width " << c.width;
  }
}

// A 5 x 2 picture: every header byte, the row order (top plane row last in
// memory), the blue-green-red order and the zero padding byte of each row.
TEST(DisplayBitmap, FiveByTwoPictureIsLaidOutExactly) {
  const uint8_t red[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const uint8_t green[10] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  const uint8_t blue[10] = {21, 22, 23, 24, 25, 26, 27, 28, 29, 30};
  const std::vector<uint8_t> bmp = BuildDisplayBitmapImage(red, green, blue, 5, 2);

  const uint8_t expectedHeaders[54] = {
      'B', 'M', 86, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header: bfSize 54 + 16 x 2
      40, 0, 0, 0, 5, 0, 0, 0, 2, 0, 0, 0,            // biSize, biWidth, biHeight
      1, 0, 24, 0, 0, 0, 0, 0, 0, 0, 0, 0,            // planes, bit count, BI_RGB, biSizeImage
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};  // resolutions, colour counts
  ASSERT_EQ(bmp.size(), 86u);
  EXPECT_EQ(0, std::memcmp(bmp.data(), expectedHeaders, 54));

  const uint8_t expectedPixels[32] = {
      // first row in memory: the bottom plane row (y = 1)
      26, 16, 6, 27, 17, 7, 28, 18, 8, 29, 19, 9, 30, 20, 10, 0,
      // last row in memory: the top plane row (y = 0)
      21, 11, 1, 22, 12, 2, 23, 13, 3, 24, 14, 4, 25, 15, 5, 0};
  EXPECT_EQ(0, std::memcmp(bmp.data() + 54, expectedPixels, 32));
}

TEST(DisplayBitmap, FourPixelsWideHaveNoPadding) {
  std::vector<uint8_t> r(12), g(12), b(12);
  for (int i = 0; i < 12; ++i) {
    r[i] = static_cast<uint8_t>(0x80 + i);
    g[i] = static_cast<uint8_t>(0x40 + i);
    b[i] = static_cast<uint8_t>(0xC0 + i);
  }
  const std::vector<uint8_t> bmp = BuildDisplayBitmapImage(r.data(), g.data(), b.data(), 4, 3);
  ASSERT_EQ(bmp.size(), 54u + 12 * 3);
  EXPECT_EQ(U32At(bmp, 2), bmp.size());
  // Row 0 in memory is plane row 2; each row is exactly 4 pixels of 3 bytes.
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const std::size_t at = 54 + (2 - y) * 12 + 3 * x;
      EXPECT_EQ(bmp[at], b[y * 4 + x]);
      EXPECT_EQ(bmp[at + 1], g[y * 4 + x]);
      EXPECT_EQ(bmp[at + 2], r[y * 4 + x]);
    }
  }
}

// Sizes that do not fit fail without allocating; the boundary is the 32-bit
// bfSize field.
TEST(DisplayBitmap, SizesThatDoNotFitFailCleanly) {
  std::size_t total = 0;
  // 3 x 1431655746 + 3 rounds down to a stride of 4294967240: 54 more fits 32 bits.
  ASSERT_TRUE(DisplayBitmapSize(1431655746, 1, &total));
  EXPECT_EQ(total, 4294967294u);
  EXPECT_FALSE(DisplayBitmapSize(1431655747, 1, &total));
  EXPECT_FALSE(DisplayBitmapSize(65536, 65536, &total));
  EXPECT_FALSE(DisplayBitmapSize(std::numeric_limits<int32_t>::max(),
                                 std::numeric_limits<int32_t>::max(), &total));
  EXPECT_FALSE(DisplayBitmapSize(0, 10, &total));
  EXPECT_FALSE(DisplayBitmapSize(10, 0, &total));
  EXPECT_FALSE(DisplayBitmapSize(-1, 10, &total));
  EXPECT_FALSE(DisplayBitmapSize(10, -1, &total));

  const uint8_t plane[1] = {0};
  EXPECT_TRUE(BuildDisplayBitmapImage(plane, plane, plane, 65536, 65536).empty());
  EXPECT_TRUE(BuildDisplayBitmapImage(plane, plane, plane, 0, 1).empty());
  EXPECT_TRUE(BuildDisplayBitmapImage(nullptr, plane, plane, 1, 1).empty());
  EXPECT_EQ(BuildDisplayBitmapImage(plane, plane, plane, 1, 1).size(), 58u);
}

// ---- BMP check ----

struct BmpShape {
  uint32_t headerSize = 40;
  int32_t width = 5;
  int32_t height = 3;
  uint16_t bitCount = 24;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  uint32_t tableEntries = 0;  // colour table entries written after the header (and masks)
};

// A well-formed BMP file image of the given shape, pixels filled with a pattern.
std::vector<uint8_t> MakeBmp(const BmpShape& s) {
  const bool masksAfterHeader = s.compression == 3 && s.headerSize == 40;
  const uint32_t offBits = 14 + s.headerSize + (masksAfterHeader ? 12 : 0) + 4 * s.tableEntries;
  const uint32_t stride = (static_cast<uint32_t>(s.width) * s.bitCount + 31) / 32 * 4;
  const uint32_t rows = static_cast<uint32_t>(s.height < 0 ? -s.height : s.height);
  std::vector<uint8_t> v(offBits + stride * rows, 0);
  v[0] = 'B';
  v[1] = 'M';
  PutU32(v, 2, static_cast<uint32_t>(v.size()));
  PutU32(v, 10, offBits);
  PutU32(v, 14, s.headerSize);
  PutU32(v, 18, static_cast<uint32_t>(s.width));
  PutU32(v, 22, static_cast<uint32_t>(s.height));
  PutU16(v, 26, 1);
  PutU16(v, 28, s.bitCount);
  PutU32(v, 30, s.compression);
  PutU32(v, 46, s.colorsUsed);
  if (s.compression == 3) {  // 5-6-5 or 8-8-8 masks, in the header or after it
    const std::size_t at = 14 + 40;
    PutU32(v, at, s.bitCount == 16 ? 0xF800 : 0xFF0000);
    PutU32(v, at + 4, s.bitCount == 16 ? 0x07E0 : 0x00FF00);
    PutU32(v, at + 8, s.bitCount == 16 ? 0x001F : 0x0000FF);
  }
  for (std::size_t i = offBits; i < v.size(); ++i) v[i] = static_cast<uint8_t>(i * 7);
  return v;
}

BmpShape Shape(uint16_t bits, uint32_t headerSize = 40, uint32_t compression = 0) {
  BmpShape s;
  s.bitCount = bits;
  s.headerSize = headerSize;
  s.compression = compression;
  s.tableEntries = bits <= 8 ? (1u << bits) : 0;
  return s;
}

TEST(BmpCheck, WellFormedFilesOfEveryDrawableKindPass) {
  BmpShape smallTable = Shape(8);
  smallTable.colorsUsed = 3;
  smallTable.tableEntries = 3;
  BmpShape rgbWithTable = Shape(24);  // a palette hint after a 24-bit header
  rgbWithTable.colorsUsed = 2;
  rgbWithTable.tableEntries = 2;
  BmpShape oneByOne = Shape(1);
  oneByOne.width = 1;
  oneByOne.height = 1;
  const BmpShape shapes[] = {
      Shape(1), Shape(4), Shape(8), smallTable, Shape(16), Shape(24), Shape(32), rgbWithTable,
      oneByOne, Shape(16, 40, 3), Shape(32, 40, 3), Shape(32, 52, 3), Shape(24, 56),
      Shape(32, 108, 3), Shape(24, 124), Shape(8, 124)};
  for (const BmpShape& s : shapes) {
    const std::vector<uint8_t> v = MakeBmp(s);
    BmpLayout layout;
    EXPECT_EQ(CheckBmpImage(v.data(), v.size(), &layout), BmpCheck::kDrawable)
        << "bits " << s.bitCount << " header " << s.headerSize << " compression " << s.compression;
    EXPECT_EQ(layout.width, s.width);
    EXPECT_EQ(layout.height, s.height);
    EXPECT_EQ(layout.pixelOffset + layout.pixelBytes, v.size());
  }
}

TEST(BmpCheck, LayoutOfA24BitFile) {
  const std::vector<uint8_t> v = MakeBmp(Shape(24));
  BmpLayout layout;
  ASSERT_EQ(CheckBmpImage(v.data(), v.size(), &layout), BmpCheck::kDrawable);
  EXPECT_EQ(layout.bitCount, 24);
  EXPECT_EQ(layout.pixelOffset, 54u);
  EXPECT_EQ(layout.stride, 16u);
  EXPECT_EQ(layout.pixelBytes, 48u);
}

// One defect at a time in an otherwise good file.
TEST(BmpCheck, DefectsAreRefusedWithTheirReason) {
  using Edit = void (*)(std::vector<uint8_t>&);
  const struct {
    const char* name;
    BmpShape shape;
    Edit edit;
    BmpCheck expected;
  } cases[] = {
      {"not BM", Shape(24), [](std::vector<uint8_t>& v) { v[1] = 'A'; }, BmpCheck::kNotBmp},
      {"JPEG bytes", Shape(24), [](std::vector<uint8_t>& v) { v[0] = 0xFF; v[1] = 0xD8; }, BmpCheck::kNotBmp},
      {"only BM", Shape(24), [](std::vector<uint8_t>& v) { v.resize(2); }, BmpCheck::kTruncatedHeaders},
      {"file header only", Shape(24), [](std::vector<uint8_t>& v) { v.resize(14); }, BmpCheck::kTruncatedHeaders},
      {"info header cut", Shape(24), [](std::vector<uint8_t>& v) { v.resize(40); }, BmpCheck::kTruncatedHeaders},
      {"V5 header cut", Shape(24, 124), [](std::vector<uint8_t>& v) { v.resize(100); }, BmpCheck::kTruncatedHeaders},
      {"core header", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 14, 12); }, BmpCheck::kUnsupportedHeader},
      {"OS/2 2.x header", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 14, 64); }, BmpCheck::kUnsupportedHeader},
      {"huge header", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 14, 0xFFFFFFFF); }, BmpCheck::kUnsupportedHeader},
      {"top-down", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 22, static_cast<uint32_t>(-3)); }, BmpCheck::kTopDown},
      {"zero width", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 18, 0); }, BmpCheck::kBadDimensions},
      {"negative width", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 18, static_cast<uint32_t>(-5)); }, BmpCheck::kBadDimensions},
      {"zero height", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 22, 0); }, BmpCheck::kBadDimensions},
      {"width too large", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 18, 32768); }, BmpCheck::kBadDimensions},
      {"height too large", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 22, 0x7FFFFFFF); }, BmpCheck::kBadDimensions},
      {"two planes", Shape(24), [](std::vector<uint8_t>& v) { PutU16(v, 26, 2); }, BmpCheck::kUnsupportedFormat},
      {"2 bits", Shape(24), [](std::vector<uint8_t>& v) { PutU16(v, 28, 2); }, BmpCheck::kUnsupportedFormat},
      {"0 bits", Shape(24), [](std::vector<uint8_t>& v) { PutU16(v, 28, 0); }, BmpCheck::kUnsupportedFormat},
      {"64 bits", Shape(24), [](std::vector<uint8_t>& v) { PutU16(v, 28, 64); }, BmpCheck::kUnsupportedFormat},
      {"RLE8", Shape(8), [](std::vector<uint8_t>& v) { PutU32(v, 30, 1); }, BmpCheck::kUnsupportedFormat},
      {"RLE4", Shape(4), [](std::vector<uint8_t>& v) { PutU32(v, 30, 2); }, BmpCheck::kUnsupportedFormat},
      {"JPEG inside", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 30, 4); }, BmpCheck::kUnsupportedFormat},
      {"PNG inside", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 30, 5); }, BmpCheck::kUnsupportedFormat},
      {"alpha bitfields", Shape(32), [](std::vector<uint8_t>& v) { PutU32(v, 30, 6); }, BmpCheck::kUnsupportedFormat},
      {"bitfields on 24 bits", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 30, 3); }, BmpCheck::kUnsupportedFormat},
      {"bitfields on 8 bits", Shape(8), [](std::vector<uint8_t>& v) { PutU32(v, 30, 3); }, BmpCheck::kUnsupportedFormat},
      {"257 colours for 8 bits", Shape(8), [](std::vector<uint8_t>& v) { PutU32(v, 46, 257); }, BmpCheck::kUnsupportedFormat},
      {"colour table beyond end", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 46, 100); }, BmpCheck::kTableOutside},
      {"colour count absurd", Shape(32), [](std::vector<uint8_t>& v) { PutU32(v, 46, 0xFFFFFFFF); }, BmpCheck::kTableOutside},
      {"masks beyond end", Shape(16, 40, 3), [](std::vector<uint8_t>& v) { v.resize(60); }, BmpCheck::kTableOutside},
      {"palette of 8 bits cut", Shape(8), [](std::vector<uint8_t>& v) { v.resize(14 + 40 + 1000); }, BmpCheck::kTableOutside},
      {"embedded profile beyond end", Shape(24, 124), [](std::vector<uint8_t>& v) {
         PutU32(v, 14 + 56, 0x4D424544); PutU32(v, 14 + 112, 124); PutU32(v, 14 + 116, 0xFFFFFFF0); }, BmpCheck::kTableOutside},
      {"bfOffBits beyond end", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 10, 0xFFFFFFFF); }, BmpCheck::kPixelsOutside},
      {"bfOffBits one too far", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 10, 55); }, BmpCheck::kPixelsOutside},
      {"bfOffBits in the header", Shape(24), [](std::vector<uint8_t>& v) { PutU32(v, 10, 10); }, BmpCheck::kPixelsOutside},
      {"last pixel byte missing", Shape(24), [](std::vector<uint8_t>& v) { v.pop_back(); }, BmpCheck::kPixelsOutside},
      {"rows of a huge picture", Shape(32), [](std::vector<uint8_t>& v) { PutU32(v, 18, 32767); PutU32(v, 22, 32767); }, BmpCheck::kPixelsOutside},
      {"height larger than rows", Shape(1), [](std::vector<uint8_t>& v) { PutU32(v, 22, 4); }, BmpCheck::kPixelsOutside},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> v = MakeBmp(c.shape);
    ASSERT_EQ(CheckBmpImage(v.data(), v.size()), BmpCheck::kDrawable) << c.name << " (before the defect)";
    c.edit(v);
    EXPECT_EQ(CheckBmpImage(v.data(), v.size()), c.expected) << c.name;
  }
}

// No prefix of a good file is drawable, and checking one never reads past it
// (the sanitizer build would see that: each prefix is a copy of its own size).
TEST(BmpCheck, EveryTruncationIsRefused) {
  for (const BmpShape& s : {Shape(1), Shape(8), Shape(16, 40, 3), Shape(24, 124)}) {
    const std::vector<uint8_t> full = MakeBmp(s);
    for (std::size_t n = 0; n < full.size(); ++n) {
      const std::vector<uint8_t> cut(full.begin(), full.begin() + n);
      EXPECT_NE(CheckBmpImage(cut.data(), cut.size()), BmpCheck::kDrawable) << "bits " << s.bitCount << " size " << n;
    }
  }
  EXPECT_EQ(CheckBmpImage(nullptr, 0), BmpCheck::kNotBmp);
}

// A display bitmap built from planes passes the check it will later be
// painted under.
TEST(BmpCheck, BuiltDisplayBitmapsAreDrawable) {
  const uint8_t plane[7 * 3] = {};
  for (int32_t w = 1; w <= 7; ++w) {
    const std::vector<uint8_t> bmp = BuildDisplayBitmapImage(plane, plane, plane, w, 3);
    BmpLayout layout;
    ASSERT_EQ(CheckBmpImage(bmp.data(), bmp.size(), &layout), BmpCheck::kDrawable) << w;
    EXPECT_EQ(layout.pixelOffset + layout.pixelBytes, bmp.size());
  }
}

}  // namespace
}  // namespace miravel
