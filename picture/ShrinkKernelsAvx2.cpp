// The shrink's loops with AVX2. This file alone is compiled for AVX2; it
// runs only where the CPU reports it.
//
// Down the columns: two source rows at a time, their bytes interleaved and
// widened to 16 bits, so that one multiply-add (vpmaddwd) takes both rows'
// products of eight samples: weight0 * a + weight1 * b, exact in 32 bits.
// Along a row: the three channels' column sums of each source pixel go into
// one vector of four doubles (blue, green, red, 0), so that one multiply and
// one add take a tap for all three; integers below 2^53 are exact in
// doubles, so these sums are exactly the baseline's 64-bit ones.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "ShrinkKernels.h"

namespace {

using miravel::AcrossRow;

// Rows a and b times their weights, added to acc for 16 samples at k.
inline void AddRowPair(const uint8_t* a, const uint8_t* b, __m256i weights, std::size_t k, __m256i* low,
                       __m256i* high) {
  const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
  const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
  const __m256i first = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(va, vb));    // a0 b0 ... a7 b7
  const __m256i second = _mm256_cvtepu8_epi16(_mm_unpackhi_epi8(va, vb));   // a8 b8 ... a15 b15
  *low = _mm256_add_epi32(*low, _mm256_madd_epi16(first, weights));
  *high = _mm256_add_epi32(*high, _mm256_madd_epi16(second, weights));
}

void SumDown(const uint8_t* const* rowList, const uint32_t* weightList, int rows, bool add, uint32_t* sums,
             std::size_t length) {
  // Pairs of rows; an odd last row is paired with itself at weight 0.
  const uint8_t* a[(miravel::kMaxRowsAPass + 1) / 2];
  const uint8_t* b[(miravel::kMaxRowsAPass + 1) / 2];
  __m256i weights[(miravel::kMaxRowsAPass + 1) / 2];
  const int pairs = (rows + 1) / 2;
  for (int p = 0; p < pairs; ++p) {
    const int t = 2 * p;
    const uint32_t second = t + 1 < rows ? weightList[t + 1] : 0;
    a[p] = rowList[t];
    b[p] = t + 1 < rows ? rowList[t + 1] : rowList[t];
    weights[p] = _mm256_set1_epi32(static_cast<int>(weightList[t] | second << 16));
  }
  std::size_t k = 0;
  for (; k + 16 <= length; k += 16) {
    __m256i low = _mm256_setzero_si256();
    __m256i high = _mm256_setzero_si256();
    if (add) {
      low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + k));
      high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums + k + 8));
    }
    for (int p = 0; p < pairs; ++p) AddRowPair(a[p], b[p], weights[p], k, &low, &high);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + k), low);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums + k + 8), high);
  }
  for (; k < length; ++k) {
    uint32_t sum = add ? sums[k] : 0;
    for (int t = 0; t < rows; ++t) sum += weightList[t] * rowList[t][k];
    sums[k] = sum;
  }
}

// The column sums of the row as doubles, four a source pixel: blue, green,
// red, 0.
void GatherPixels(const AcrossRow& a, double* work) {
  const uint32_t* const red = a.sums[0];
  const uint32_t* const green = a.sums[1];
  const uint32_t* const blue = a.sums[2];
  const int32_t width = a.sourceWidth;
  int32_t j = 0;
  if (a.step == 1) {
    const __m256d zero = _mm256_setzero_pd();
    for (; j + 4 <= width; j += 4) {
      const __m256d b = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(blue + j)));
      const __m256d g = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(green + j)));
      const __m256d r = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(red + j)));
      const __m256d bgLow = _mm256_unpacklo_pd(b, g);   // b0 g0 b2 g2
      const __m256d bgHigh = _mm256_unpackhi_pd(b, g);  // b1 g1 b3 g3
      const __m256d rLow = _mm256_unpacklo_pd(r, zero);   // r0 0 r2 0
      const __m256d rHigh = _mm256_unpackhi_pd(r, zero);  // r1 0 r3 0
      double* out = work + 4 * static_cast<std::ptrdiff_t>(j);
      _mm256_storeu_pd(out, _mm256_permute2f128_pd(bgLow, rLow, 0x20));
      _mm256_storeu_pd(out + 4, _mm256_permute2f128_pd(bgHigh, rHigh, 0x20));
      _mm256_storeu_pd(out + 8, _mm256_permute2f128_pd(bgLow, rLow, 0x31));
      _mm256_storeu_pd(out + 12, _mm256_permute2f128_pd(bgHigh, rHigh, 0x31));
    }
  }
  for (; j < width; ++j) {
    const std::ptrdiff_t at = a.step * j;
    double* out = work + 4 * static_cast<std::ptrdiff_t>(j);
    out[0] = blue[at];
    out[1] = green[at];
    out[2] = red[at];
    out[3] = 0;
  }
}

template <int kTaps>
void SumAcrossFixed(const AcrossRow& a, const double* pixels) {
  const int32_t taps = kTaps > 0 ? kTaps : a.taps;
  const int32_t* const first = a.first;
  const double* weight = a.weightAsDouble;
  const int32_t count = a.count;
  const __m256d scale = _mm256_set1_pd(a.scale);
  const __m256d half = _mm256_set1_pd(0.5);
  const std::ptrdiff_t outStep = a.outStep;
  uint8_t* out = a.out;
  for (int32_t x = 0; x < count; ++x, weight += taps, out += outStep) {
    const double* pixel = pixels + 4 * static_cast<std::ptrdiff_t>(first[x]);
    // Two sums (even and odd taps), so that the additions of one pixel do
    // not wait on each other; exact integers, so the order changes nothing.
    __m256d even = _mm256_setzero_pd();
    __m256d odd = _mm256_setzero_pd();
    int32_t t = 0;
    for (; t + 2 <= taps; t += 2) {
      even = _mm256_add_pd(even, _mm256_mul_pd(_mm256_broadcast_sd(weight + t), _mm256_loadu_pd(pixel + 4 * t)));
      odd = _mm256_add_pd(odd, _mm256_mul_pd(_mm256_broadcast_sd(weight + t + 1), _mm256_loadu_pd(pixel + 4 * t + 4)));
    }
    if (t < taps) {
      even = _mm256_add_pd(even, _mm256_mul_pd(_mm256_broadcast_sd(weight + t), _mm256_loadu_pd(pixel + 4 * t)));
    }
    const __m256d total = _mm256_add_pd(even, odd);
    const __m128i levels = _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(total, scale), half));
    const __m128i words = _mm_packus_epi32(levels, levels);
    const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
    if (outStep == 3 && x + 1 < count) {
      // Blue, green, red and a 0 that the next pixel overwrites.
      std::memcpy(out, &bytes, 4);
    } else {
      out[0] = static_cast<uint8_t>(bytes);
      out[1] = static_cast<uint8_t>(bytes >> 8);
      out[2] = static_cast<uint8_t>(bytes >> 16);
    }
  }
}

void SumAcross(const AcrossRow& a) {
  GatherPixels(a, a.work);
  switch (a.taps) {
    case 1: return SumAcrossFixed<1>(a, a.work);
    case 2: return SumAcrossFixed<2>(a, a.work);
    case 3: return SumAcrossFixed<3>(a, a.work);
    case 4: return SumAcrossFixed<4>(a, a.work);
    case 5: return SumAcrossFixed<5>(a, a.work);
    case 6: return SumAcrossFixed<6>(a, a.work);
    case 7: return SumAcrossFixed<7>(a, a.work);
    case 8: return SumAcrossFixed<8>(a, a.work);
    default: return SumAcrossFixed<0>(a, a.work);
  }
}

}  // namespace

namespace miravel {

ShrinkKernels Avx2ShrinkKernels() { return {"AVX2", SumDown, SumAcross, true}; }

}  // namespace miravel
