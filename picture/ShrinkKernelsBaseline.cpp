// The shrink's loops in plain C++, for every CPU: the compiler vectorises
// the sums down the columns for the build's baseline instruction set.
#include "ShrinkKernels.h"

namespace {

using miravel::AcrossRow;

// The row count is a template parameter, so that the loop over the rows
// unrolls and leaves one loop over the samples to vectorise.
template <int kRows>
void SumDownFixed(const uint8_t* const* rowList, const uint32_t* weightList, bool add, uint32_t* __restrict sums,
                  std::size_t length) {
  const uint8_t* row[kRows];
  uint32_t weight[kRows];
  for (int t = 0; t < kRows; ++t) {
    row[t] = rowList[t];
    weight[t] = weightList[t];
  }
  if (add) {
    for (std::size_t k = 0; k < length; ++k) {
      uint32_t sum = sums[k];
      for (int t = 0; t < kRows; ++t) sum += weight[t] * row[t][k];
      sums[k] = sum;
    }
  } else {
    for (std::size_t k = 0; k < length; ++k) {
      uint32_t sum = 0;
      for (int t = 0; t < kRows; ++t) sum += weight[t] * row[t][k];
      sums[k] = sum;
    }
  }
}

void SumDown(const uint8_t* const* row, const uint32_t* weight, int rows, bool add, uint32_t* sums,
             std::size_t length) {
  switch (rows) {
    case 1: return SumDownFixed<1>(row, weight, add, sums, length);
    case 2: return SumDownFixed<2>(row, weight, add, sums, length);
    case 3: return SumDownFixed<3>(row, weight, add, sums, length);
    case 4: return SumDownFixed<4>(row, weight, add, sums, length);
    case 5: return SumDownFixed<5>(row, weight, add, sums, length);
    case 6: return SumDownFixed<6>(row, weight, add, sums, length);
    case 7: return SumDownFixed<7>(row, weight, add, sums, length);
    default: return SumDownFixed<8>(row, weight, add, sums, length);
  }
}

// A total (below 2^40, exact as a double) scaled to its level.
inline uint8_t Level(uint64_t total, double scale) {
  return static_cast<uint8_t>(static_cast<double>(static_cast<int64_t>(total)) * scale + 0.5);
}

// Everything the loop reads of the row is copied first: the byte stores
// through out could otherwise alias it.
template <std::ptrdiff_t kStep>
void SumAcrossWithStep(const AcrossRow& a) {
  const uint32_t* const red = a.sums[0];
  const uint32_t* const green = a.sums[1];
  const uint32_t* const blue = a.sums[2];
  const int32_t* const first = a.pixels.first;
  const uint32_t* weight = a.pixels.weight;
  const int32_t count = a.count, taps = a.pixels.taps;
  const double scale = a.scale;
  const std::ptrdiff_t outStep = a.outStep;
  uint8_t* out = a.out;
  for (int32_t x = 0; x < count; ++x, weight += taps, out += outStep) {
    const std::ptrdiff_t at = kStep * first[x];
    uint64_t r = 0, g = 0, b = 0;
    for (int32_t t = 0; t < taps; ++t) {
      const uint64_t w = weight[t];
      r += w * red[at + kStep * t];
      g += w * green[at + kStep * t];
      b += w * blue[at + kStep * t];
    }
    out[0] = Level(b, scale);
    out[1] = Level(g, scale);
    out[2] = Level(r, scale);
  }
}

void SumAcross(const AcrossRow& a) {
  if (a.step == 1) return SumAcrossWithStep<1>(a);
  if (a.step == 3) return SumAcrossWithStep<3>(a);
  SumAcrossWithStep<4>(a);
}

}  // namespace

namespace miravel {

ShrinkKernels BaselineShrinkKernels() { return {"baseline", SumDown, SumAcross, false}; }

ShrinkKernels SelectShrinkKernels(bool preferBaseline) {
#if defined(MIRAVEL_SHRINK_HAVE_AVX2)
  if (!preferBaseline && __builtin_cpu_supports("avx2")) return Avx2ShrinkKernels();
#endif
  (void)preferBaseline;
  return BaselineShrinkKernels();
}

}  // namespace miravel
