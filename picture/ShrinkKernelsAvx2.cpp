// The shrink's loops with AVX2. This file alone is compiled for AVX2; it
// runs only where the CPU reports it.
//
// Down the columns: two source rows at a time, their bytes interleaved and
// widened to 16 bits, so that one multiply-add (vpmaddwd) takes both rows'
// products of eight samples: weight0 * a + weight1 * b, exact in 32 bits.
// Along a row: the three channels' column sums of each source pixel are laid
// side by side (blue, green, red, 0) and each tap loads them as one vector of
// four doubles, so that one multiply and one add take the tap for all three;
// integers below 2^53 are exact in doubles, so these sums are exactly the
// baseline's 64-bit ones. A smoothed row is summed over the pairs' sums,
// one tap fewer.
#include <immintrin.h>

#include <algorithm>
#include <cstring>

#include "ShrinkKernels.h"

namespace {

using miravel::AcrossRow;
using miravel::AcrossWeights;

// Rows a and b times their weights, added for the 16 samples at k. Their
// bytes widened to 16 bits and interleaved a, b, a, b within each half of the
// register, so the two sums hold samples 0-3 and 8-11 (low) and 4-7 and
// 12-15 (high).
inline void AddRowPair(const uint8_t* a, const uint8_t* b, __m256i weights, std::size_t k, __m256i* low,
                       __m256i* high) {
  const __m256i wordsA = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k)));
  const __m256i wordsB = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k)));
  *low = _mm256_add_epi32(*low, _mm256_madd_epi16(_mm256_unpacklo_epi16(wordsA, wordsB), weights));
  *high = _mm256_add_epi32(*high, _mm256_madd_epi16(_mm256_unpackhi_epi16(wordsA, wordsB), weights));
}

// kPairs pairs of rows (the pair count a template parameter, so that the
// loop over them unrolls and their weights stay in registers).
template <int kPairs>
void SumDownPairs(const uint8_t* const* a, const uint8_t* const* b, const __m256i* weightPairs, bool add,
                  uint32_t* sums, std::size_t length) {
  const uint8_t* rowA[kPairs];
  const uint8_t* rowB[kPairs];
  __m256i weights[kPairs];
  for (int p = 0; p < kPairs; ++p) {
    rowA[p] = a[p];
    rowB[p] = b[p];
    weights[p] = weightPairs[p];
  }
  for (std::size_t k = 0; k + 16 <= length; k += 16) {
    __m256i* out = reinterpret_cast<__m256i*>(sums + k);
    __m256i low = _mm256_setzero_si256();
    __m256i high = _mm256_setzero_si256();
    if (add) {
      const __m256i first = _mm256_loadu_si256(out), second = _mm256_loadu_si256(out + 1);
      low = _mm256_permute2x128_si256(first, second, 0x20);
      high = _mm256_permute2x128_si256(first, second, 0x31);
    }
    for (int p = 0; p < kPairs; ++p) AddRowPair(rowA[p], rowB[p], weights[p], k, &low, &high);
    _mm256_storeu_si256(out, _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(low, high, 0x31));
  }
}

void SumDown(const uint8_t* const* rowList, const uint32_t* weightList, int rows, bool add, uint32_t* sums,
             std::size_t length) {
  // Pairs of rows; an odd last row is paired with itself at weight 0.
  constexpr int kMostPairs = (miravel::kMaxRowsAPass + 1) / 2;
  const uint8_t* a[kMostPairs];
  const uint8_t* b[kMostPairs];
  __m256i weights[kMostPairs];
  const int pairs = (rows + 1) / 2;
  for (int p = 0; p < pairs; ++p) {
    const int t = 2 * p;
    const uint32_t second = t + 1 < rows ? weightList[t + 1] : 0;
    a[p] = rowList[t];
    b[p] = t + 1 < rows ? rowList[t + 1] : rowList[t];
    weights[p] = _mm256_set1_epi32(static_cast<int>(weightList[t] | second << 16));
  }
  switch (pairs) {
    case 1: SumDownPairs<1>(a, b, weights, add, sums, length); break;
    case 2: SumDownPairs<2>(a, b, weights, add, sums, length); break;
    case 3: SumDownPairs<3>(a, b, weights, add, sums, length); break;
    default: SumDownPairs<4>(a, b, weights, add, sums, length); break;
  }
  // The samples after the last 16.
  for (std::size_t k = length / 16 * 16; k < length; ++k) {
    uint32_t sum = add ? sums[k] : 0;
    for (int t = 0; t < rows; ++t) sum += weightList[t] * rowList[t][k];
    sums[k] = sum;
  }
}

// The column sums of the row, four a source pixel: blue, green, red, 0 (each
// below 2^27); or, kPairs, those of pixel j plus those of pixel j + 1, for
// j < width - 1 (below 2^28).
template <bool kPairs>
void GatherPixels(const AcrossRow& a, int32_t* work) {
  const uint32_t* const red = a.sums[0];
  const uint32_t* const green = a.sums[1];
  const uint32_t* const blue = a.sums[2];
  const int32_t width = a.sourceWidth - (kPairs ? 1 : 0);
  const auto load = [](const uint32_t* p) {
    const __m256i here = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if (!kPairs) return here;
    return _mm256_add_epi32(here, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)));
  };
  int32_t j = 0;
  if (a.step == 1) {
    const __m256i zero = _mm256_setzero_si256();
    // For pairs width is one less than the row, so the load of the next
    // pixel stays inside it.
    for (; j + 8 <= width; j += 8) {
      const __m256i b = load(blue + j);
      const __m256i g = load(green + j);
      const __m256i r = load(red + j);
      // Within each half (pixels 0-3, 4-7): a 4 x 4 transpose.
      const __m256i bgLow = _mm256_unpacklo_epi32(b, g);   // b0 g0 b1 g1
      const __m256i bgHigh = _mm256_unpackhi_epi32(b, g);  // b2 g2 b3 g3
      const __m256i rLow = _mm256_unpacklo_epi32(r, zero);   // r0 0 r1 0
      const __m256i rHigh = _mm256_unpackhi_epi32(r, zero);  // r2 0 r3 0
      const __m256i p0 = _mm256_unpacklo_epi64(bgLow, rLow);   // pixels 0 and 4
      const __m256i p1 = _mm256_unpackhi_epi64(bgLow, rLow);   // 1 and 5
      const __m256i p2 = _mm256_unpacklo_epi64(bgHigh, rHigh); // 2 and 6
      const __m256i p3 = _mm256_unpackhi_epi64(bgHigh, rHigh); // 3 and 7
      __m256i* out = reinterpret_cast<__m256i*>(work + 4 * static_cast<std::ptrdiff_t>(j));
      _mm256_storeu_si256(out, _mm256_permute2x128_si256(p0, p1, 0x20));
      _mm256_storeu_si256(out + 1, _mm256_permute2x128_si256(p2, p3, 0x20));
      _mm256_storeu_si256(out + 2, _mm256_permute2x128_si256(p0, p1, 0x31));
      _mm256_storeu_si256(out + 3, _mm256_permute2x128_si256(p2, p3, 0x31));
    }
  }
  if ((a.step == 3 || a.step == 4) && blue + 1 == green && green + 1 == red) {
    // Blue, green and red side by side already: a pixel's (and its
    // neighbour's) four values at once, the fourth cleared. Only as long as
    // those four lie inside the row.
    const std::ptrdiff_t step = a.step;
    const int32_t inside = a.step == 4 ? width : a.sourceWidth - 2 - (kPairs ? 1 : 0);
    const auto load = [](const uint32_t* p) {
      return _mm_blend_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128(), 0x8);
    };
    for (; j < width && j <= inside; ++j) {
      __m128i pixel = load(blue + step * j);
      if (kPairs) pixel = _mm_add_epi32(pixel, load(blue + step * (j + 1)));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(work + 4 * static_cast<std::ptrdiff_t>(j)), pixel);
    }
  }
  for (; j < width; ++j) {
    const std::ptrdiff_t at = a.step * j, next = kPairs ? a.step : 0;
    int32_t* out = work + 4 * static_cast<std::ptrdiff_t>(j);
    out[0] = static_cast<int32_t>(blue[at] + (kPairs ? blue[at + next] : 0));
    out[1] = static_cast<int32_t>(green[at] + (kPairs ? green[at + next] : 0));
    out[2] = static_cast<int32_t>(red[at] + (kPairs ? red[at + next] : 0));
    out[3] = 0;
  }
}

// A source pixel's four sums as doubles.
inline __m256d Load(const int32_t* pixel) {
  return _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel)));
}

// The total of one result pixel: the sums of its taps times their weights,
// in two halves (even and odd taps) so that the additions do not all wait on
// each other; exact integers, so the order changes nothing.
template <int kTaps>
inline __m256d Total(const int32_t* pixel, const double* weight, int32_t taps) {
  if (kTaps > 0) taps = kTaps;
  __m256d even = _mm256_setzero_pd();
  __m256d odd = _mm256_setzero_pd();
  int32_t t = 0;
  for (; t + 2 <= taps; t += 2) {
    even = _mm256_add_pd(even, _mm256_mul_pd(_mm256_broadcast_sd(weight + t), Load(pixel + 4 * t)));
    odd = _mm256_add_pd(odd, _mm256_mul_pd(_mm256_broadcast_sd(weight + t + 1), Load(pixel + 4 * t + 4)));
  }
  if (t < taps) even = _mm256_add_pd(even, _mm256_mul_pd(_mm256_broadcast_sd(weight + t), Load(pixel + 4 * t)));
  return _mm256_add_pd(even, odd);
}

// Levels of a total: total * scale + 0.5, truncated (four 32-bit lanes).
inline __m128i Levels(__m256d total, __m256d scale, __m256d half) {
  return _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_mul_pd(total, scale), half));
}

template <int kTaps>
void SumAcrossFixed(const AcrossRow& a, const AcrossWeights& weights, const int32_t* pixels) {
  const int32_t taps = kTaps > 0 ? kTaps : weights.taps;
  const int32_t* const first = weights.first;
  const double* weight = weights.weightAsDouble;
  const int32_t count = a.count;
  const __m256d scale = _mm256_set1_pd(a.scale);
  const __m256d half = _mm256_set1_pd(0.5);
  const std::ptrdiff_t outStep = a.outStep;
  uint8_t* out = a.out;
  const auto pixelOf = [&](int32_t x) { return pixels + 4 * static_cast<std::ptrdiff_t>(first[x]); };
  int32_t x = 0;
  if (outStep == 3 || outStep == -3) {
    // Four result pixels at a time, their twelve bytes in one shuffle: in
    // order, or in reverse pixel order when the row is mirrored (out moves
    // back, so the four end at out + 2).
    const __m128i forward = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i backward = _mm_setr_epi8(12, 13, 14, 8, 9, 10, 4, 5, 6, 0, 1, 2, -1, -1, -1, -1);
    const __m128i order = outStep == 3 ? forward : backward;
    for (; x + 4 <= count; x += 4, weight += 4 * taps, out += 4 * outStep) {
      const __m128i l0 = Levels(Total<kTaps>(pixelOf(x), weight, taps), scale, half);
      const __m128i l1 = Levels(Total<kTaps>(pixelOf(x + 1), weight + taps, taps), scale, half);
      const __m128i l2 = Levels(Total<kTaps>(pixelOf(x + 2), weight + 2 * taps, taps), scale, half);
      const __m128i l3 = Levels(Total<kTaps>(pixelOf(x + 3), weight + 3 * taps, taps), scale, half);
      const __m128i bytes = _mm_shuffle_epi8(
          _mm_packus_epi16(_mm_packus_epi32(l0, l1), _mm_packus_epi32(l2, l3)), order);
      uint8_t* at = outStep == 3 ? out : out - 9;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(at), bytes);
      const uint32_t last = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
      std::memcpy(at + 8, &last, 4);
    }
  }
  for (; x < count; ++x, weight += taps, out += outStep) {
    const __m128i levels = Levels(Total<kTaps>(pixelOf(x), weight, taps), scale, half);
    const __m128i words = _mm_packus_epi32(levels, levels);
    const uint32_t bytes = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, words)));
    out[0] = static_cast<uint8_t>(bytes);
    out[1] = static_cast<uint8_t>(bytes >> 8);
    out[2] = static_cast<uint8_t>(bytes >> 16);
  }
}

void SumAcross(const AcrossRow& a) {
  const bool pairs = a.pairs.taps > 0;
  if (pairs) {
    GatherPixels<true>(a, a.work);
  } else {
    GatherPixels<false>(a, a.work);
  }
  const AcrossWeights& w = pairs ? a.pairs : a.pixels;
  switch (w.taps) {
    case 1: return SumAcrossFixed<1>(a, w, a.work);
    case 2: return SumAcrossFixed<2>(a, w, a.work);
    case 3: return SumAcrossFixed<3>(a, w, a.work);
    case 4: return SumAcrossFixed<4>(a, w, a.work);
    case 5: return SumAcrossFixed<5>(a, w, a.work);
    case 6: return SumAcrossFixed<6>(a, w, a.work);
    case 7: return SumAcrossFixed<7>(a, w, a.work);
    case 8: return SumAcrossFixed<8>(a, w, a.work);
    default: return SumAcrossFixed<0>(a, w, a.work);
  }
}

}  // namespace

namespace miravel {

ShrinkKernels Avx2ShrinkKernels() { return {"AVX2", SumDown, SumAcross, true}; }

}  // namespace miravel
