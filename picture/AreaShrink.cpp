#include "AreaShrink.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <vector>

#include "ShrinkKernels.h"
#include "ShrinkWeights.h"

namespace miravel {

namespace {

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
