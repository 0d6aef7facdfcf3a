// Scaling a picture down by area averaging: each pixel of the result is the
// mean of the part of the picture it covers, a source pixel that it covers in
// part counting with the part it covers (a box filter over exact areas).
// Plain C++; no platform headers.
//
// A plain box lets the finest detail through at some factors: one-pixel
// stripes shrunk by 3 become stripes of 85 and 170, by 3.5 a beat between
// 109 and 146, by 1.01 nearly the stripes themselves. So by default, along
// each side that shrinks, the box is laid over the means of neighbouring
// pairs of pixels (pair k, the mean of pixels k and k + 1, covering
// [k + 1/2, k + 3/2); the picture mirrored at its edges) instead of over the
// pixels: the one-pixel alternation is gone before the box is laid, so
// one-pixel stripes shrunk by any factor give an even grey and an even tone
// stays that tone, at the cost of the slight softening of a two-pixel mean.
// ShrinkFilter::kArea keeps the plain box.
//
// Source pixel j of a side of N pixels shrunk to n covers [j * n, (j + 1) * n)
// and result pixel i covers [i * N, (i + 1) * N), in units of 1/n of a source
// pixel; their overlap, an integer, is the weight (smoothed: the overlap of a
// pair, counted for both its pixels, in units of 1/2n). Weights are worked
// out once per result column and once per result row. The picture is shrunk
// down the columns first (source rows are read in order, a few at a time,
// and the products of a row are independent, so they are vectorised), then
// along the shrunk rows; the sums are exact integers, and a result is the
// exact weighted mean rounded to the nearest level.
#pragma once

#include <cstdint>

#include "PictureTurn.h"
#include "PixelView.h"

namespace miravel {

enum class ShrinkFilter {
  kArea,          // the plain box over exact areas
  kSmoothedArea,  // the same over the means of neighbouring pixel pairs along each side that shrinks
};

struct ShrinkOptions {
  ShrinkFilter filter = ShrinkFilter::kSmoothedArea;
  // How the shrink runs; the result does not depend on the two below.
  // threads: 0 chooses (two threads for a large picture on a machine with
  // two cores or more); 1 or 2 forces.
  int threads = 0;
  // The loops compiled for the baseline instruction set even where AVX2 is
  // there (for tests and benchmarks).
  bool baselineKernels = false;
};

// Shrinks the view's picture to target (1 <= target side <= the view's side;
// the caller checks) and writes each result pixel (x, y), in the view's own
// orientation, where placement puts it in pixels, the display bitmap's pixel
// area (see PictureTurn.h). Throws std::bad_alloc without memory for its
// working rows.
void ShrinkByArea(const PixelView& view, PictureSize target, const BitmapPlacement& placement,
                  uint8_t* pixels, const ShrinkOptions& options = {});

}  // namespace miravel
