// The weights of the area-average shrink along one side (see AreaShrink.h
// for what they are), worked out once per result column or row. Plain C++;
// no platform headers.
#pragma once

#include <cstdint>
#include <vector>

namespace miravel {

// The weights of one side, from `from` source pixels to `to` result pixels:
// result pixel i takes source pixels (or pairs) first[i] on, with
// weight[start[i]] to weight[start[i + 1] - 1]; the weights of every result
// pixel add up to sum.
struct AxisWeights {
  std::vector<int32_t> first;
  std::vector<uint32_t> start;
  std::vector<uint32_t> weight;
  int32_t taps = 0;       // the most weights of any result pixel
  uint32_t sum = 0;       // see MakeAxisWeights
  uint32_t largest = 0;   // the largest weight
  bool smoothed = false;  // see MakeAxisWeights
};

// What smoothed weights are of: source pixels, or the sums of neighbouring
// pairs of them.
enum class WeightsOf { kPixels, kPairs };

AxisWeights MakeAxisWeights(int32_t from, int32_t to, bool smoothed, WeightsOf of = WeightsOf::kPixels);

// The same weights with taps of them for every result pixel, so that the
// loop along a row has no branch per pixel.
struct PaddedWeights {
  std::vector<int32_t> first;
  std::vector<uint32_t> weight;
  std::vector<double> weightAsDouble;
  int32_t taps = 0;
};

// count: how many there are of what the weights are of (source pixels, or
// pairs).
PaddedWeights PadWeights(const AxisWeights& axis, int32_t count);

}  // namespace miravel
