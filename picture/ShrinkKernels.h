// The two inner loops of the area-average shrink (AreaShrink.cpp): sums down
// the columns over a few source rows, and sums along a row of those sums.
// Plain C++ loops for any CPU (ShrinkKernelsBaseline.cpp) and, on x86-64,
// AVX2 ones (ShrinkKernelsAvx2.cpp), chosen at run time. All arithmetic is
// exact integers (held in doubles where the AVX2 loop adds them up: every
// value stays below 2^53) up to one division by the area in double
// precision, so both give the same bytes. Plain C++; no platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace miravel {

// Most source rows one call of sumDown takes.
constexpr int kMaxRowsAPass = 8;

// Weights along a row, taps of them for every result pixel: result pixel x
// takes first[x] + t for t < taps, with weight[x * taps + t].
struct AcrossWeights {
  const int32_t* first = nullptr;
  const uint32_t* weight = nullptr;
  const double* weightAsDouble = nullptr;  // the same weights as doubles
  int32_t taps = 0;
};

// One result row's sums along the row. For result pixel x < count, the total
// of a channel is the sum over its taps (pixels) of the weight times the
// channel's column sum of that source pixel (sums[c][pixel * step], at most
// 2^27; the total at most 2^44); its level is total * scale + 0.5, truncated,
// scale being 1 / the area a result pixel covers. Blue, green and red go to
// out[0..2]; out then moves on by outStep bytes. When the row is smoothed,
// pairs holds the same totals as weights of the sums of neighbouring source
// pixels (pair k: pixel k + pixel k + 1, k < sourceWidth - 1), one tap fewer;
// otherwise its taps are 0.
struct AcrossRow {
  const uint32_t* sums[3] = {};  // red, green, blue
  std::ptrdiff_t step = 1;       // 1, 3 or 4
  int32_t sourceWidth = 0;
  int32_t count = 0;
  AcrossWeights pixels;
  AcrossWeights pairs;
  double scale = 0;
  // 4 * sourceWidth values of working memory for the AVX2 loop (null for
  // the baseline one).
  int32_t* work = nullptr;
  uint8_t* out = nullptr;
  std::ptrdiff_t outStep = 3;
};

struct ShrinkKernels {
  const char* name;
  // sums[k] = (add ? sums[k] : 0) + the sum over t < rows of weight[t] *
  // row[t][k], for k < length; 1 <= rows <= kMaxRowsAPass; each weight below
  // 2^15 and every sum below 2^27 (the caller's weights make sure).
  void (*sumDown)(const uint8_t* const* row, const uint32_t* weight, int rows, bool add, uint32_t* sums,
                  std::size_t length);
  void (*sumAcross)(const AcrossRow& row);
  bool needsWork;  // sumAcross uses AcrossRow::work
};

ShrinkKernels BaselineShrinkKernels();
// Declared everywhere, defined where AVX2 is built (x86-64).
ShrinkKernels Avx2ShrinkKernels();

// The AVX2 kernels where this build has them and the CPU reports AVX2,
// unless preferBaseline; otherwise the baseline ones.
ShrinkKernels SelectShrinkKernels(bool preferBaseline = false);

}  // namespace miravel
