// The size a photo is shown at in a work area: its own when the frame fits,
// otherwise the largest with its aspect whose frame fits, within what a
// display bitmap of ours holds.
#include <gtest/gtest.h>

#include <cmath>

#include "FitSize.h"

namespace miravel {

std::ostream& operator<<(std::ostream& out, const PictureSize& s) { return out << s.width << "x" << s.height; }

namespace {

constexpr PictureSize kBand = {25, 25};
constexpr PictureSize kFullHd = {1920, 1080};

TEST(Fit, BoundariesOfTheWorkArea) {
  const struct {
    const char* name;
    PictureSize photo, extra, area, shown;
  } cases[] = {
      {"frame exactly the work area", {1895, 1055}, kBand, kFullHd, {1895, 1055}},
      {"smaller photo", {640, 480}, kBand, kFullHd, {640, 480}},
      {"one pixel too wide", {1896, 1055}, kBand, kFullHd, {1895, 1054}},  // 1055 * 1895 / 1896 = 1054.44
      {"one pixel too high", {1895, 1056}, kBand, kFullHd, {1893, 1055}},  // 1895 * 1055 / 1056 = 1893.2
      {"24 MP, a half rounds up", {6000, 4000}, kBand, kFullHd, {1583, 1055}},  // 1582.5
      {"3840 x 2400 on 1280 x 1024", {3840, 2400}, kBand, {1280, 1024}, {1255, 784}},  // 784.375
      {"turned phone photo", {3000, 4000}, kBand, kFullHd, {791, 1055}},  // 791.25
      {"wide panorama", {65535, 100}, kBand, kFullHd, {1895, 3}},        // 2.89
      {"panorama thinner than a pixel", {65535, 10}, kBand, kFullHd, {1895, 1}},
      {"a column of pixels", {1, 65535}, kBand, kFullHd, {1, 1055}},
      {"work area smaller than the band", {100, 50}, kBand, {20, 20}, {1, 1}},
      {"work area the band exactly", {3, 3}, kBand, {25, 25}, {1, 1}},
      {"work area one more than the band", {300, 200}, kBand, {26, 2000}, {1, 1}},
      {"1 x 1 photo, no room", {1, 1}, kBand, {0, 0}, {1, 1}},
      {"negative extra counts as 0", {1920, 1080}, {-5, -5}, kFullHd, {1920, 1080}},
      {"no band", {1921, 1080}, {0, 0}, kFullHd, {1920, 1079}},  // 1079.44
      {"wider than a bitmap holds, room for it", {40000, 100}, kBand, {100000, 100000}, {32767, 82}},
      {"32767 a side fits", {32767, 32767}, kBand, {40000, 40000}, {32767, 32767}},
      {"one past 32767", {32768, 10}, kBand, {40000, 40000}, {32767, 10}},
      {"65535 square on a huge area", {65535, 65535}, {0, 0}, {70000, 70000}, {32767, 32767}},
      {"no photo", {0, 10}, kBand, kFullHd, {0, 0}},
      {"negative photo", {10, -1}, kBand, kFullHd, {0, 0}},
  };
  for (const auto& c : cases) EXPECT_EQ(FitToWorkArea(c.photo, c.extra, c.area), c.shown) << c.name;
}

// Over many photos and work areas: the frame fits (or the photo is down to
// 1 x 1), nothing is enlarged, one side takes all its room (or the photo's
// own size), and the other is the photo's aspect of it to the nearest pixel.
TEST(Fit, LargestSizeWithTheAspectThatFits) {
  const int32_t sides[] = {1, 2, 3, 17, 640, 1023, 1024, 1025, 1895, 1896, 4000, 6000, 32767, 32768, 65535};
  const PictureSize areas[] = {{1920, 1080}, {1280, 1024}, {800, 600}, {26, 26}, {3840, 2160}, {1080, 1920}};
  for (int32_t width : sides) {
    for (int32_t height : sides) {
      for (const PictureSize area : areas) {
        const PictureSize shown = FitToWorkArea({width, height}, kBand, area);
        const double roomWidth = std::max(1, area.width - 25), roomHeight = std::max(1, area.height - 25);
        const std::string where = std::to_string(width) + "x" + std::to_string(height) + " in " +
                                  std::to_string(area.width) + "x" + std::to_string(area.height);
        ASSERT_GE(shown.width, 1) << where;
        ASSERT_GE(shown.height, 1) << where;
        EXPECT_LE(shown.width, std::min<double>(width, roomWidth)) << where;
        EXPECT_LE(shown.height, std::min<double>(height, roomHeight)) << where;
        if (shown == PictureSize{width, height}) continue;
        const double scale = std::min(roomWidth / width, roomHeight / height);
        if (roomWidth / width <= roomHeight / height) {
          EXPECT_EQ(shown.width, roomWidth) << where;
          EXPECT_LE(std::fabs(shown.height - std::max(1.0, height * scale)), 0.5 + 1e-9) << where;
        } else {
          EXPECT_EQ(shown.height, roomHeight) << where;
          EXPECT_LE(std::fabs(shown.width - std::max(1.0, width * scale)), 0.5 + 1e-9) << where;
        }
      }
    }
  }
}

TEST(Fit, WhatABitmapOfOursHolds) {
  const struct {
    PictureSize size;
    bool fits;
  } cases[] = {{{1, 1}, true},      {{32767, 32767}, true}, {{32767, 1}, true}, {{32768, 1}, false},
               {{1, 32768}, false}, {{65535, 10}, false},   {{0, 5}, false},    {{5, -1}, false}};
  for (const auto& c : cases) EXPECT_EQ(FitsDisplayBitmap(c.size), c.fits) << c.size;
}

}  // namespace
}  // namespace miravel
