#include "ShrinkWeights.h"

#include <algorithm>

namespace miravel {

// Area weights: source pixel j covers [j * to, (j + 1) * to) and result
// pixel i [i * from, (i + 1) * from), in units of 1/to of a source pixel;
// their overlap is the weight (at most to; a result pixel's add up to from).
//
// Smoothed, the box is laid over the pairs' means instead: the mean of
// pixels k and k + 1 covers [k + 1/2, k + 3/2), for k from -1 to from - 1,
// pixel -1 being pixel 1 and pixel from pixel from - 2 (the picture
// mirrored at its edges). In units of 1/(2 to), pair k covers
// [(2k + 1) to, (2k + 3) to) and result pixel i [2 i from, 2 (i + 1) from).
// Their overlap goes to both pixels of the pair (kPixels), so a result
// pixel's weights add up to 4 * from and each is at most 4 * to; or to the
// pair itself (kPairs: weights of the pairs' sums, pixel k + pixel k + 1 for
// k from 0 to from - 2, pair -1 being pair 0 and pair from - 1 pair from - 2),
// adding up to 2 * from, which gives the same totals with one tap fewer. A
// side that keeps its size is never smoothed: each result pixel is its
// source pixel.
AxisWeights MakeAxisWeights(int32_t from, int32_t to, bool smoothed, WeightsOf of) {
  smoothed = smoothed && from != to && from >= 2;
  const bool pairs = smoothed && of == WeightsOf::kPairs;
  AxisWeights axis;
  axis.smoothed = smoothed;
  axis.sum = static_cast<uint32_t>(from) * (pairs ? 2 : smoothed ? 4 : 1);
  axis.first.reserve(static_cast<std::size_t>(to));
  axis.start.reserve(static_cast<std::size_t>(to) + 1);
  axis.weight.reserve(static_cast<std::size_t>(from) + static_cast<std::size_t>(to) * (smoothed ? 2 : 1));
  const auto mirrored = [from](int64_t pixel) {
    return pixel < 0 ? -pixel : pixel >= from ? 2 * (from - 1) - pixel : pixel;
  };
  const auto foldedPair = [from](int64_t pair) { return std::clamp<int64_t>(pair, 0, from - 2); };
  for (int64_t i = 0; i < to; ++i) {
    axis.start.push_back(static_cast<uint32_t>(axis.weight.size()));
    if (!smoothed) {
      const int64_t begin = i * from, end = begin + from;
      axis.first.push_back(static_cast<int32_t>(begin / to));
      for (int64_t j = begin / to; j * to < end; ++j) {
        axis.weight.push_back(static_cast<uint32_t>(std::min(end, (j + 1) * to) - std::max(begin, j * to)));
      }
    } else {
      const int64_t begin = 2 * i * from, end = begin + 2 * from;
      const int64_t firstPair = begin >= to ? (begin - to) / (2 * to) : -1;
      int64_t lastPair = firstPair;
      while ((2 * (lastPair + 1) + 1) * to < end) ++lastPair;
      const int64_t low = pairs ? foldedPair(firstPair) : std::max<int64_t>(0, firstPair);
      const int64_t high = pairs ? foldedPair(lastPair) : std::min<int64_t>(from - 1, lastPair + 1);
      axis.first.push_back(static_cast<int32_t>(low));
      const std::size_t base = axis.weight.size();
      axis.weight.resize(base + static_cast<std::size_t>(high - low + 1), 0);
      for (int64_t k = firstPair; k <= lastPair; ++k) {
        const uint32_t overlap =
            static_cast<uint32_t>(std::min(end, (2 * k + 3) * to) - std::max(begin, (2 * k + 1) * to));
        if (pairs) {
          axis.weight[base + static_cast<std::size_t>(foldedPair(k) - low)] += overlap;
        } else {
          axis.weight[base + static_cast<std::size_t>(mirrored(k) - low)] += overlap;
          axis.weight[base + static_cast<std::size_t>(mirrored(k + 1) - low)] += overlap;
        }
      }
    }
    axis.taps = std::max(axis.taps, static_cast<int32_t>(axis.weight.size() - axis.start.back()));
  }
  axis.start.push_back(static_cast<uint32_t>(axis.weight.size()));
  for (uint32_t w : axis.weight) axis.largest = std::max(axis.largest, w);
  return axis;
}

// A result pixel with fewer taps gets zero weights, after its own near the
// start of the row and before them near its end, where its first moves back
// so that every tap lies in the row.
PaddedWeights PadWeights(const AxisWeights& axis, int32_t count) {
  PaddedWeights padded;
  padded.taps = axis.taps;
  const std::size_t results = axis.first.size();
  padded.first.resize(results);
  padded.weight.assign(results * static_cast<std::size_t>(axis.taps), 0);
  for (std::size_t i = 0; i < results; ++i) {
    const int32_t first = std::min(axis.first[i], count - axis.taps);
    padded.first[i] = first;
    uint32_t* weight = padded.weight.data() + i * static_cast<std::size_t>(axis.taps);
    for (uint32_t t = axis.start[i]; t < axis.start[i + 1]; ++t) {
      weight[axis.first[i] - first + static_cast<int32_t>(t - axis.start[i])] = axis.weight[t];
    }
  }
  padded.weightAsDouble.assign(padded.weight.begin(), padded.weight.end());
  return padded;
}

}  // namespace miravel
