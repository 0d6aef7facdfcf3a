#include "AreaShrink.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "ShrinkKernels.h"

namespace miravel {

namespace {

// The weights of one side, from `from` source pixels to `to` result pixels:
// result pixel i takes source pixels first[i] on, with weight[start[i]] to
// weight[start[i + 1] - 1]; the weights of every result pixel add up to sum.
struct AxisWeights {
  std::vector<int32_t> first;
  std::vector<uint32_t> start;
  std::vector<uint32_t> weight;
  int32_t taps = 0;       // the most weights of any result pixel
  uint32_t sum = 0;       // see MakeAxisWeights
  uint32_t largest = 0;   // the largest weight
  bool smoothed = false;  // see MakeAxisWeights
};

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
enum class WeightsOf { kPixels, kPairs };

AxisWeights MakeAxisWeights(int32_t from, int32_t to, bool smoothed, WeightsOf of = WeightsOf::kPixels) {
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

// The same weights with taps of them for every result pixel, so that the
// loop along a row has no branch per pixel: a pixel with fewer gets zero
// weights, after its own near the start of the row and before them near its
// end, where its first source pixel moves back so that every tap lies in
// the row.
struct PaddedWeights {
  std::vector<int32_t> first;
  std::vector<uint32_t> weight;
  std::vector<double> weightAsDouble;
  int32_t taps = 0;
};

// from: the count of what the weights are of (source pixels, or pairs).
PaddedWeights PadWeights(const AxisWeights& axis, int32_t from) {
  PaddedWeights padded;
  padded.taps = axis.taps;
  const std::size_t count = axis.first.size();
  padded.first.resize(count);
  padded.weight.assign(count * static_cast<std::size_t>(axis.taps), 0);
  for (std::size_t i = 0; i < count; ++i) {
    const int32_t first = std::min(axis.first[i], from - axis.taps);
    padded.first[i] = first;
    uint32_t* weight = padded.weight.data() + i * static_cast<std::size_t>(axis.taps);
    for (uint32_t t = axis.start[i]; t < axis.start[i + 1]; ++t) {
      weight[axis.first[i] - first + static_cast<int32_t>(t - axis.start[i])] = axis.weight[t];
    }
  }
  padded.weightAsDouble.assign(padded.weight.begin(), padded.weight.end());
  return padded;
}

// A source row is read as byte runs: three planes of width bytes, or one run
// of width * pixelStep bytes holding the three channels. Channel c of pixel x
// of the summed row lies at sums[run[c] * length + offset[c] + x * step].
struct RowRuns {
  int count = 0;
  const uint8_t* base[3] = {};
  std::size_t length = 0;
  int run[3] = {};
  std::size_t offset[3] = {};
  std::ptrdiff_t step = 1;
};

RowRuns MakeRowRuns(const PixelView& view) {
  RowRuns runs;
  const uint8_t* channels[3] = {view.red, view.green, view.blue};
  if (view.pixelStep == 1) {
    runs.count = 3;
    runs.length = static_cast<std::size_t>(view.width);
    for (int c = 0; c < 3; ++c) {
      runs.base[c] = channels[c];
      runs.run[c] = c;
    }
  } else {
    const uint8_t* low = std::min({view.red, view.green, view.blue}, std::less<const uint8_t*>());
    runs.count = 1;
    runs.base[0] = low;
    runs.length = static_cast<std::size_t>(view.width) * static_cast<std::size_t>(view.pixelStep);
    runs.step = view.pixelStep;
    for (int c = 0; c < 3; ++c) runs.offset[c] = static_cast<std::size_t>(channels[c] - low);
  }
  return runs;
}

class Shrinker {
 public:
  Shrinker(const PixelView& view, PictureSize target, const BitmapPlacement& placement, uint8_t* pixels,
           const ShrinkOptions& options)
      : mView(view),
        mTarget(target),
        mPlacement(placement),
        mPixels(pixels),
        mRuns(MakeRowRuns(view)),
        mAcrossAxis(MakeAxisWeights(view.width, target.width, options.filter == ShrinkFilter::kSmoothedArea)),
        mAcross(PadWeights(mAcrossAxis, view.width)),
        mAcrossPairs(mAcrossAxis.smoothed
                         ? PadWeights(MakeAxisWeights(view.width, target.width, true, WeightsOf::kPairs), view.width - 1)
                         : PaddedWeights()),
        mDown(MakeAxisWeights(view.height, target.height, options.filter == ShrinkFilter::kSmoothedArea)),
        mKernels(ChooseKernels(options, mDown)),
        mScale(1.0 / (static_cast<double>(mAcrossAxis.sum) * static_cast<double>(mDown.sum))),
        mRowsToColumns(placement.xStep != 3 && placement.xStep != -3) {}

  // Result rows [y0, y1).
  void ShrinkRows(int32_t y0, int32_t y1) const {
    std::vector<uint32_t> sums(static_cast<std::size_t>(mRuns.count) * mRuns.length);
    // Rows that become columns are gathered in a block and copied in tiles.
    const std::size_t blockStride = 3 * static_cast<std::size_t>(mTarget.width);
    std::vector<uint8_t> block(mRowsToColumns ? kBlockRows * blockStride : 0);
    AcrossRow across;
    for (int c = 0; c < 3; ++c) across.sums[c] = sums.data() + mRuns.run[c] * mRuns.length + mRuns.offset[c];
    across.step = mRuns.step;
    across.sourceWidth = mView.width;
    across.count = mTarget.width;
    across.pixels = {mAcross.first.data(), mAcross.weight.data(), mAcross.weightAsDouble.data(), mAcross.taps};
    across.pairs = {mAcrossPairs.first.data(), mAcrossPairs.weight.data(), mAcrossPairs.weightAsDouble.data(),
                    mAcrossPairs.taps};
    across.scale = mScale;
    std::vector<int32_t> work(mKernels.needsWork ? 4 * static_cast<std::size_t>(mView.width) : 0);
    across.work = work.data();

    int32_t blockStart = y0;
    for (int32_t y = y0; y < y1; ++y) {
      SumDown(y, sums.data());
      if (!mRowsToColumns) {
        across.out = mPixels + mPlacement.origin + y * mPlacement.yStep;
        across.outStep = mPlacement.xStep;
        mKernels.sumAcross(across);
        continue;
      }
      across.out = block.data() + static_cast<std::size_t>(y - blockStart) * blockStride;
      across.outStep = 3;
      mKernels.sumAcross(across);
      if (y + 1 - blockStart == kBlockRows || y + 1 == y1) {
        const PixelView rows = BgrRowsView(block.data(), mTarget.width, y + 1 - blockStart,
                                           static_cast<std::ptrdiff_t>(blockStride));
        CopyTurned(rows, PlacementFromRow(mPlacement, blockStart), mPixels);
        blockStart = y + 1;
      }
    }
  }

 private:
  static constexpr int32_t kBlockRows = 32;

  // The AVX2 sums down the columns take weights below 2^15 (a result height
  // below 8192 when smoothed, always otherwise); beyond, the baseline ones.
  static ShrinkKernels ChooseKernels(const ShrinkOptions& options, const AxisWeights& down) {
    ShrinkKernels kernels = SelectShrinkKernels(options.baselineKernels);
    if (down.largest >= (1u << 15)) kernels.sumDown = BaselineShrinkKernels().sumDown;
    return kernels;
  }

  // The weighted sums down the columns for result row y, one a sample: at
  // most 255 times the weights' sum (4 x 65535), which 32 bits hold.
  void SumDown(int32_t y, uint32_t* sums) const {
    const uint32_t begin = mDown.start[y], end = mDown.start[y + 1];
    for (int r = 0; r < mRuns.count; ++r) {
      uint32_t* runSums = sums + static_cast<std::size_t>(r) * mRuns.length;
      for (uint32_t t = begin; t < end; t += kMaxRowsAPass) {
        const int rows = static_cast<int>(std::min<uint32_t>(kMaxRowsAPass, end - t));
        const uint8_t* row[kMaxRowsAPass];
        for (int k = 0; k < rows; ++k) {
          row[k] = mRuns.base[r] + (std::ptrdiff_t{mDown.first[y]} + (t - begin) + k) * mView.rowStep;
        }
        mKernels.sumDown(row, &mDown.weight[t], rows, t != begin, runSums, mRuns.length);
      }
    }
  }

  const PixelView mView;
  const PictureSize mTarget;
  const BitmapPlacement mPlacement;
  uint8_t* const mPixels;
  const RowRuns mRuns;
  const AxisWeights mAcrossAxis;
  const PaddedWeights mAcross;
  const PaddedWeights mAcrossPairs;  // when the width is smoothed
  const AxisWeights mDown;
  const ShrinkKernels mKernels;
  const double mScale;
  const bool mRowsToColumns;
};

int ChooseThreads(int threads, const PixelView& view, PictureSize target) {
  if (target.height < 2) return 1;
  if (threads == 1 || threads == 2) return threads;
  const uint64_t pixels = static_cast<uint64_t>(view.width) * static_cast<uint64_t>(view.height);
  return std::thread::hardware_concurrency() >= 2 && pixels >= (uint64_t{1} << 20) ? 2 : 1;
}

}  // namespace

void ShrinkByArea(const PixelView& view, PictureSize target, const BitmapPlacement& placement,
                  uint8_t* pixels, const ShrinkOptions& options) {
  const Shrinker shrinker(view, target, placement, pixels, options);
  if (ChooseThreads(options.threads, view, target) == 1) {
    shrinker.ShrinkRows(0, target.height);
    return;
  }
  // Two bands of result rows; the lower one on a second thread.
  const int32_t middle = target.height / 2;
  std::exception_ptr failure;
  std::thread worker;
  try {
    worker = std::thread([&] {
      try {
        shrinker.ShrinkRows(middle, target.height);
      } catch (...) {
        failure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    // No second thread to be had: both bands here.
    shrinker.ShrinkRows(0, target.height);
    return;
  }
  try {
    shrinker.ShrinkRows(0, middle);
  } catch (...) {
    worker.join();
    throw;
  }
  worker.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace miravel
