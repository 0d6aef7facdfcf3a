// Turning and mirroring as the EXIF orientation says, at full size: the shown
// pixels of every orientation against expectations made here without the
// code's own table (a literal 3 x 2 picture, and compositions of a quarter
// turn and a mirror on pictures that span several copy tiles), the bitmap of
// orientation 1 against the plain builder, and BMP rows as the source.
#include <gtest/gtest.h>

#include <vector>

#include "DisplayBitmap.h"
#include "PictureTurn.h"
#include "PictureTestSupport.h"
#include "ShownBitmap.h"

namespace miravel {
namespace {

using test::Planes;
using test::Rgb;

// The picture
//   A B C
//   D E F
// shown as each orientation says (EXIF: where row 0 and column 0 go).
TEST(Turn, ThreeByTwoPictureInEveryOrientation) {
  Planes picture(3, 2);
  const char* const stored = "ABCDEF";
  for (int i = 0; i < 6; ++i) {
    picture.Set(i % 3, i / 3, {static_cast<uint8_t>(stored[i]), static_cast<uint8_t>(stored[i] + 32), static_cast<uint8_t>(i)});
  }
  const auto colourOf = [&](char letter) {
    const int i = static_cast<int>(letter - 'A');
    return picture.Get(i % 3, i / 3);
  };
  const struct {
    int orientation;
    int width;
    const char* shown;  // rows top to bottom
  } cases[] = {
      {1, 3, "ABC" "DEF"},
      {2, 3, "CBA" "FED"},        // mirrored left to right
      {3, 3, "FED" "CBA"},        // half a turn
      {4, 3, "DEF" "ABC"},        // mirrored top to bottom
      {5, 2, "AD" "BE" "CF"},     // transposed: row 0 on the left, column 0 on top
      {6, 2, "DA" "EB" "FC"},     // a quarter turn clockwise: row 0 on the right
      {7, 2, "FC" "EB" "DA"},     // transverse: row 0 on the right, column 0 at the bottom
      {8, 2, "CF" "BE" "AD"},     // a quarter turn anticlockwise: row 0 on the left
  };
  for (const auto& c : cases) {
    const PictureSize shown = ShownSize(c.orientation, {3, 2});
    ASSERT_EQ(shown.width, c.width) << c.orientation;
    const std::vector<uint8_t> bmp = BuildShownBitmap(picture.View(), c.orientation, shown);
    ASSERT_FALSE(bmp.empty()) << c.orientation;
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(test::ShownPixel(bmp, i % c.width, i / c.width), colourOf(c.shown[i]))
          << "orientation " << c.orientation << " shown pixel " << i;
    }
  }
}

void ExpectShows(const std::vector<uint8_t>& bmp, const Planes& expected, const char* what, int orientation) {
  ASSERT_FALSE(bmp.empty()) << what << " " << orientation;
  ASSERT_EQ(test::BitmapSize(bmp), (PictureSize{expected.width, expected.height})) << what << " " << orientation;
  const Planes shown = test::ShownPlanes(bmp);
  int wrong = 0;
  for (int32_t y = 0; y < expected.height; ++y)
    for (int32_t x = 0; x < expected.width; ++x) wrong += shown.Get(x, y) != expected.Get(x, y);
  EXPECT_EQ(wrong, 0) << what << " orientation " << orientation;
}

// Sizes around the copy tiles (16 stored rows by 128 columns, written four
// pixels at a time): less than one, exact ones, and partial tiles on both
// sides with every remainder of four; widths with every row padding.
TEST(Turn, EveryOrientationAcrossCopyTiles) {
  for (const PictureSize size : {PictureSize{1, 1}, PictureSize{5, 1}, PictureSize{1, 7}, PictureSize{128, 32},
                                 PictureSize{130, 45}, PictureSize{33, 97}, PictureSize{257, 19}, PictureSize{3, 18}}) {
    const Planes picture = test::PatternPicture(size.width, size.height);
    for (int orientation = 1; orientation <= 8; ++orientation) {
      const Planes expected = test::Upright(picture, orientation);
      ExpectShows(BuildShownBitmap(picture.View(), orientation, {expected.width, expected.height}), expected,
                  "planes", orientation);
    }
  }
}

// A BMP's rows as the source: 24 bits (bottom-up, as the file stores them,
// and top-down) and 32 bits a pixel.
TEST(Turn, BitmapRowsAsTheSource) {
  const Planes picture = test::PatternPicture(37, 21);
  const std::vector<uint8_t> bmp =
      BuildDisplayBitmapImage(picture.red.data(), picture.green.data(), picture.blue.data(), 37, 21);
  const std::ptrdiff_t stride = (3 * 37 + 3) / 4 * 4;
  const uint8_t* lastRow = bmp.data() + 54 + 20 * stride;
  const PixelView bottomUp = BgrRowsView(lastRow, 37, 21, -stride);

  std::vector<uint8_t> topDown, bgrx;
  for (int32_t y = 0; y < 21; ++y) {
    for (int32_t x = 0; x < 37; ++x) {
      const Rgb c = picture.Get(x, y);
      topDown.insert(topDown.end(), {c.blue, c.green, c.red});
      bgrx.insert(bgrx.end(), {c.blue, c.green, c.red, 0xEE});
    }
  }
  PixelView fourBytes = BgrRowsView(bgrx.data(), 37, 21, 4 * 37);
  fourBytes.pixelStep = 4;

  for (int orientation = 1; orientation <= 8; ++orientation) {
    const Planes expected = test::Upright(picture, orientation);
    const PictureSize shown{expected.width, expected.height};
    ExpectShows(BuildShownBitmap(bottomUp, orientation, shown), expected, "bottom-up", orientation);
    ExpectShows(BuildShownBitmap(BgrRowsView(topDown.data(), 37, 21, 3 * 37), orientation, shown), expected,
                "top-down", orientation);
    ExpectShows(BuildShownBitmap(fourBytes, orientation, shown), expected, "32 bits", orientation);
  }
}

// Orientation 1 at full size is the plain builder's bitmap, byte for byte
// (headers and padding included); so is any value outside 1 to 8, and so are
// planes whose rows lie further apart than their width (copied row by row,
// not handed to the plain builder).
TEST(Turn, OrientationOneIsThePlainBitmap) {
  for (int32_t width = 1; width <= 9; ++width) {
    const Planes picture = test::PatternPicture(width, 3);
    const std::vector<uint8_t> plain =
        BuildDisplayBitmapImage(picture.red.data(), picture.green.data(), picture.blue.data(), width, 3);
    Planes wide(width + 5, 3);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < width; ++x) wide.Set(x, y, picture.Get(x, y));
    PixelView apart = wide.View();
    apart.width = width;
    for (int orientation : {1, 0, 9, -1}) {
      EXPECT_EQ(BuildShownBitmap(picture.View(), orientation, {width, 3}), plain)
          << "width " << width << " orientation " << orientation;
      EXPECT_EQ(BuildShownBitmap(apart, orientation, {width, 3}), plain)
          << "rows apart, width " << width << " orientation " << orientation;
    }
  }
}

TEST(Turn, ShownSizeSwapsForFiveToEight) {
  for (int orientation = -1; orientation <= 9; ++orientation) {
    const bool swaps = orientation >= 5 && orientation <= 8;
    EXPECT_EQ(OrientationSwapsSides(orientation), swaps) << orientation;
    EXPECT_EQ(ShownSize(orientation, {40, 30}), swaps ? (PictureSize{30, 40}) : (PictureSize{40, 30})) << orientation;
  }
}

TEST(Turn, ViewsAndSizesThatCannotBeBuiltGiveNothing) {
  const Planes picture = test::PatternPicture(8, 6);
  const PixelView good = picture.View();
  EXPECT_TRUE(BuildShownBitmap(good, 1, {9, 6}).empty());   // larger than the picture
  EXPECT_TRUE(BuildShownBitmap(good, 1, {8, 7}).empty());
  EXPECT_TRUE(BuildShownBitmap(good, 6, {8, 6}).empty());   // turned it is 6 x 8
  EXPECT_TRUE(BuildShownBitmap(good, 1, {0, 6}).empty());
  EXPECT_TRUE(BuildShownBitmap(good, 1, {8, -1}).empty());
  EXPECT_FALSE(BuildShownBitmap(good, 6, {6, 8}).empty());

  const auto with = [&](void (*edit)(PixelView&)) {
    PixelView v = good;
    edit(v);
    return v;
  };
  const struct {
    const char* name;
    PixelView view;
  } bad[] = {
      {"no red", with([](PixelView& v) { v.red = nullptr; })},
      {"no blue", with([](PixelView& v) { v.blue = nullptr; })},
      {"width 0", with([](PixelView& v) { v.width = 0; })},
      {"height -1", with([](PixelView& v) { v.height = -1; })},
      {"width 65536", with([](PixelView& v) { v.width = 65536; })},
      {"pixel step 2", with([](PixelView& v) { v.pixelStep = 2; })},
      {"pixel step 0", with([](PixelView& v) { v.pixelStep = 0; })},
      {"channels apart with step 3", with([](PixelView& v) { v.pixelStep = 3; })},
      {"two channels on one byte", [&] {
         PixelView v = BgrRowsView(picture.red.data(), 2, 2, 6);
         v.green = v.blue;
         return v;
       }()},
  };
  for (const auto& c : bad) {
    EXPECT_FALSE(IsReadableView(c.view)) << c.name;
    EXPECT_TRUE(BuildShownBitmap(c.view, 1, {1, 1}).empty()) << c.name;
  }
  EXPECT_TRUE(IsReadableView(good));
  EXPECT_TRUE(IsReadableView(BgrRowsView(picture.red.data(), 2, 2, -6)));
}

}  // namespace
}  // namespace miravel
