// The shrink: every shown pixel against the mean of its area worked out here
// in doubles straight from the picture's pixels, one-pixel stripes to an even
// grey at any factor, an even tone kept exactly, the orientation applied
// after the shrink giving what the turned picture shrunk gives, and the same
// bytes whatever loops, threads or source layout produce them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "DisplayBitmap.h"
#include "PictureTestSupport.h"
#include "ShownBitmap.h"
#include "ShrinkKernels.h"

namespace miravel {
namespace {

using test::Planes;
using test::Rgb;

Planes RandomPicture(int32_t w, int32_t h, uint32_t seed) {
  Planes p(w, h);
  uint32_t state = seed;
  const auto next = [&] {
    state = state * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state >> 24);
  };
  for (std::size_t i = 0; i < p.Count(); ++i) {
    p.red[i] = next();
    p.green[i] = next();
    p.blue[i] = next();
  }
  return p;
}

// What a result pixel averages along one side: cells [low, high) of
// constant value, each the mean of some source pixels. Plain: pixel j over
// [j, j + 1). Smoothed: the mean of pixels k and k + 1 over [k + 1/2, k + 3/2)
// for k = -1 to n - 1, cut to [0, n), pixel -1 being pixel 1 and pixel n
// pixel n - 2.
struct Cell {
  double low, high;
  std::vector<int32_t> pixels;
};

std::vector<Cell> Cells(int32_t n, bool smoothed) {
  std::vector<Cell> cells;
  const auto mirror = [n](int32_t i) { return i < 0 ? -i : i >= n ? 2 * (n - 1) - i : i; };
  if (!smoothed) {
    for (int32_t j = 0; j < n; ++j) cells.push_back({double(j), j + 1.0, {j}});
  } else {
    for (int32_t k = -1; k < n; ++k) {
      cells.push_back({std::max(0.0, k + 0.5), std::min(double(n), k + 1.5), {mirror(k), mirror(k + 1)}});
    }
  }
  return cells;
}

double Overlap(const Cell& c, double low, double high) {
  return std::max(0.0, std::min(high, c.high) - std::max(low, c.low));
}

// The mean of a channel over the area that shown pixel (X, Y) of a w x h
// result covers, [X * width / w, (X + 1) * width / w) by the same down, in
// doubles from the cells.
double AreaMean(const std::vector<uint8_t>& plane, PictureSize from, const std::vector<Cell>& across,
                const std::vector<Cell>& down, int32_t X, int32_t Y, PictureSize to) {
  const double x0 = double(X) * from.width / to.width, x1 = double(X + 1) * from.width / to.width;
  const double y0 = double(Y) * from.height / to.height, y1 = double(Y + 1) * from.height / to.height;
  // Cell i lies within [i - 1, i + 1): only those near the area can overlap it.
  const auto near = [](const std::vector<Cell>& cells, double low, double high) {
    const std::size_t first = static_cast<std::size_t>(std::max(0.0, std::floor(low) - 1));
    const std::size_t last = std::min(cells.size(), static_cast<std::size_t>(std::ceil(high)) + 2);
    return std::vector<Cell>(cells.begin() + static_cast<std::ptrdiff_t>(first),
                             cells.begin() + static_cast<std::ptrdiff_t>(std::max(first, last)));
  };
  double sum = 0;
  for (const Cell& row : near(down, y0, y1)) {
    const double dy = Overlap(row, y0, y1);
    if (dy == 0) continue;
    for (const Cell& column : near(across, x0, x1)) {
      const double dx = Overlap(column, x0, x1);
      if (dx == 0) continue;
      double value = 0;
      for (int32_t y : row.pixels)
        for (int32_t x : column.pixels) value += plane[static_cast<std::size_t>(y) * from.width + x];
      sum += dx * dy * value / double(row.pixels.size() * column.pixels.size());
    }
  }
  return sum / ((x1 - x0) * (y1 - y0));
}

ShrinkOptions Options(ShrinkFilter filter, int threads = 1, bool baseline = false) {
  ShrinkOptions options;
  options.filter = filter;
  options.threads = threads;
  options.baselineKernels = baseline;
  return options;
}

// Each shown level is the expected mean rounded: within half a level of it.
TEST(Shrink, EveryPixelIsTheWeightedMeanOfItsArea) {
  const struct {
    PictureSize from, to;
  } cases[] = {
      {{37, 23}, {10, 7}},   {{100, 3}, {7, 2}},  {{64, 64}, {63, 63}}, {{5, 5}, {1, 1}},
      {{300, 200}, {97, 61}}, {{1000, 2}, {3, 1}}, {{2, 9}, {1, 4}},     {{40, 40}, {40, 13}},
      {{17, 300}, {16, 11}},
  };
  for (ShrinkFilter filter : {ShrinkFilter::kArea, ShrinkFilter::kSmoothedArea}) {
    const bool smoothed = filter == ShrinkFilter::kSmoothedArea;
    for (const auto& c : cases) {
      const Planes picture = RandomPicture(c.from.width, c.from.height, static_cast<uint32_t>(c.to.width * 31 + c.to.height));
      for (bool baseline : {false, true}) {
        const std::vector<uint8_t> bmp = BuildShownBitmap(picture.View(), 1, c.to, Options(filter, 1, baseline));
        ASSERT_EQ(test::BitmapSize(bmp), c.to);
        double worst = 0;
        // Only a side that shrinks is smoothed.
        const std::vector<Cell> across = Cells(c.from.width, smoothed && c.to.width < c.from.width);
        const std::vector<Cell> down = Cells(c.from.height, smoothed && c.to.height < c.from.height);
        for (int channel = 0; channel < 3; ++channel) {
          const std::vector<uint8_t>& plane = channel == 0 ? picture.red : channel == 1 ? picture.green : picture.blue;
          for (int32_t y = 0; y < c.to.height; ++y) {
            for (int32_t x = 0; x < c.to.width; ++x) {
              const Rgb got = test::ShownPixel(bmp, x, y);
              const uint8_t level = channel == 0 ? got.red : channel == 1 ? got.green : got.blue;
              worst = std::max(worst, std::fabs(level - AreaMean(plane, c.from, across, down, x, y, c.to)));
            }
          }
        }
        EXPECT_LE(worst, 0.5 + 1e-6) << (smoothed ? "smoothed " : "box ") << c.from.width << "x" << c.from.height
                                     << " to " << c.to.width << "x" << c.to.height << (baseline ? " baseline" : "");
      }
    }
  }
}

// Black and white one-pixel stripes (columns, rows, a checkerboard) at
// factors from just above 1 to hundreds, odd and whole ones included, where
// a plain box leaves stripes or beats: an even grey, 127 or 128.
TEST(Shrink, OnePixelStripesBecomeAnEvenGrey) {
  const int32_t width = 480, height = 360;
  Planes columns(width, height), rows(width, height), checks(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      const auto level = [](bool white) { return static_cast<uint8_t>(white ? 255 : 0); };
      columns.Set(x, y, {level(x % 2), level(x % 2), level(x % 2)});
      rows.Set(x, y, {level(y % 2), level(y % 2), level(y % 2)});
      const bool check = (x + y) % 2;
      checks.Set(x, y, {level(check), level(check), level(check)});
    }
  }
  const PictureSize sizes[] = {{479, 359}, {475, 356}, {400, 300}, {240, 180}, {160, 120},
                               {137, 103}, {96, 72},   {41, 31},   {7, 5},     {1, 1}};
  for (const Planes* picture : {&columns, &rows, &checks}) {
    for (const PictureSize size : sizes) {
      const std::vector<uint8_t> bmp = BuildShownBitmap(picture->View(), 1, size);
      ASSERT_FALSE(bmp.empty());
      int lowest = 255, highest = 0;
      for (int32_t y = 0; y < size.height; ++y) {
        for (int32_t x = 0; x < size.width; ++x) {
          const Rgb c = test::ShownPixel(bmp, x, y);
          lowest = std::min({lowest, int{c.red}, int{c.green}, int{c.blue}});
          highest = std::max({highest, int{c.red}, int{c.green}, int{c.blue}});
        }
      }
      EXPECT_GE(lowest, 127) << size.width << "x" << size.height;
      EXPECT_LE(highest, 128) << size.width << "x" << size.height;
    }
  }
}

// An even tone comes out exactly, down to one pixel from 65535, with either
// filter: no rounding drifts a level.
TEST(Shrink, EvenToneStaysExact) {
  const Rgb tone = {201, 17, 255};
  const struct {
    PictureSize from, to;
  } cases[] = {{{65535, 1}, {1, 1}}, {{65535, 2}, {3, 1}}, {{3, 40000}, {2, 7}}, {{99, 98}, {97, 96}}, {{8, 8}, {3, 3}}};
  for (const auto& c : cases) {
    Planes picture(c.from.width, c.from.height);
    std::fill(picture.red.begin(), picture.red.end(), tone.red);
    std::fill(picture.green.begin(), picture.green.end(), tone.green);
    std::fill(picture.blue.begin(), picture.blue.end(), tone.blue);
    for (ShrinkFilter filter : {ShrinkFilter::kArea, ShrinkFilter::kSmoothedArea}) {
      const std::vector<uint8_t> bmp = BuildShownBitmap(picture.View(), 1, c.to, Options(filter));
      ASSERT_EQ(test::BitmapSize(bmp), c.to);
      for (int32_t y = 0; y < c.to.height; ++y)
        for (int32_t x = 0; x < c.to.width; ++x)
          EXPECT_EQ(test::ShownPixel(bmp, x, y), tone) << c.from.width << "x" << c.from.height << " at " << x << "," << y;
    }
  }
}

// Averaging areas commutes with turning and mirroring, so the bitmap of a
// shrunk, turned picture is, byte for byte, that of the turned picture
// shrunk; the rows turned into columns span several blocks of 32.
TEST(Shrink, TurnedAfterTheShrinkAsIfTurnedBefore) {
  const Planes picture = RandomPicture(150, 90, 7);
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const Planes upright = test::Upright(picture, orientation);
    const PictureSize shown = OrientationSwapsSides(orientation) ? PictureSize{37, 71} : PictureSize{71, 37};
    const std::vector<uint8_t> turned = BuildShownBitmap(picture.View(), orientation, shown);
    ASSERT_FALSE(turned.empty()) << orientation;
    EXPECT_EQ(turned, BuildShownBitmap(upright.View(), 1, shown)) << orientation;
  }
}

// The same bytes from the baseline and the AVX2 loops, from one thread and
// two, and from planes and from BMP rows (bottom-up 24 bits, and 32 bits
// with the fourth byte set): with fewer
// and more than eight taps, widths off the vectors' multiples, and a result
// height whose smoothed weights pass 2^15.
TEST(Shrink, SameBytesWhateverRunsIt) {
  std::printf("shrink loops on this machine: %s\n", SelectShrinkKernels().name);
  const struct {
    PictureSize from, to;
  } cases[] = {{{333, 251}, {101, 97}}, {{531, 77}, {17, 5}}, {{35, 1100}, {18, 1000}}, {{2, 9000}, {1, 8500}}};
  for (const auto& c : cases) {
    const Planes picture = RandomPicture(c.from.width, c.from.height, 3);
    const std::vector<uint8_t> source =
        BuildDisplayBitmapImage(picture.red.data(), picture.green.data(), picture.blue.data(), c.from.width, c.from.height);
    std::size_t stride = 0;
    ASSERT_TRUE(DisplayBitmapStride(c.from.width, &stride));
    const PixelView rows = BgrRowsView(source.data() + 54 + (c.from.height - 1) * stride, c.from.width, c.from.height,
                                       -static_cast<std::ptrdiff_t>(stride));
    std::vector<uint8_t> bgrx;  // 32 bits a pixel, top-down, exactly the pixels' bytes
    for (std::size_t i = 0; i < picture.Count(); ++i) {
      bgrx.insert(bgrx.end(), {picture.blue[i], picture.green[i], picture.red[i], 0x5A});
    }
    PixelView fourBytes = BgrRowsView(bgrx.data(), c.from.width, c.from.height, 4 * c.from.width);
    fourBytes.pixelStep = 4;
    for (ShrinkFilter filter : {ShrinkFilter::kArea, ShrinkFilter::kSmoothedArea}) {
      const std::vector<uint8_t> reference = BuildShownBitmap(picture.View(), 1, c.to, Options(filter, 1, true));
      ASSERT_EQ(test::BitmapSize(reference), c.to);
      for (int threads : {1, 2}) {
        for (bool baseline : {false, true}) {
          EXPECT_EQ(BuildShownBitmap(picture.View(), 1, c.to, Options(filter, threads, baseline)), reference)
              << "planes " << c.to.width << "x" << c.to.height << " threads " << threads << " baseline " << baseline;
          EXPECT_EQ(BuildShownBitmap(rows, 1, c.to, Options(filter, threads, baseline)), reference)
              << "rows " << c.to.width << "x" << c.to.height << " threads " << threads << " baseline " << baseline;
          EXPECT_EQ(BuildShownBitmap(fourBytes, 1, c.to, Options(filter, threads, baseline)), reference)
              << "32 bits " << c.to.width << "x" << c.to.height << " threads " << threads << " baseline " << baseline;
        }
      }
    }
  }
}

}  // namespace
}  // namespace miravel
