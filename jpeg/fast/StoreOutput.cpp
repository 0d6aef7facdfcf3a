#include "StoreOutput.h"

#include <algorithm>
#include <exception>
#include <new>

#include "JpegStream.h"
#include "PackedBlock.h"
#include "Pipeline.h"

namespace jpegfast {
namespace {

// The MCUs of a multi-scan picture in raster order, packed from the store:
// for the MCU-by-MCU form.
class StoredMcus : public McuSource {
public:
    StoredMcus(const OutputSetup& setup, const jpegscan::CoefficientPlane* store) : mSetup(setup), mStore(store) {}

    int32_t NextMcus(int32_t* packed, const int32_t* end, int32_t mcuWords, int32_t most) override
    {
        int32_t count = 0;
        for (; count < most && end - packed >= mcuWords; ++count) {
            packed = PackStoredMcu(mSetup, mStore, mRow, mColumn, packed);
            if (++mColumn == mSetup.mcusX) {
                mColumn = 0;
                ++mRow;
            }
        }
        return count;
    }

private:
    const OutputSetup& mSetup;
    const jpegscan::CoefficientPlane* mStore;
    int32_t mRow = 0, mColumn = 0;
};

}  // namespace

int32_t* PackStoredMcu(const OutputSetup& s, const jpegscan::CoefficientPlane* store, int32_t row, int32_t column,
                       int32_t* packed)
{
    for (int32_t c = 0; c < s.numComponents; ++c) {
        for (int32_t by = 0; by < s.v[c]; ++by) {
            const int16_t* block = store[c].Block(row * s.v[c] + by, column * s.h[c]);
            for (int32_t bx = 0; bx < s.h[c]; ++bx, block += 64) packed = PackStoredBlock(block, packed);
        }
    }
    return packed;
}

StoreOutput::StoreOutput(const OutputSetup& setup, const jpegscan::CoefficientPlane* store)
    : mSetup(setup), mStore(store), mTransformer(setup), mChunkMcus(ChunkMcus(setup))
{
}

StoreOutput::~StoreOutput()
{
    if (mThread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mMutex);
            mStop = true;
        }
        mChanged.notify_all();
        mThread.join();
    }
}

bool StoreOutput::Prepare(Worker& worker) const
{
    const std::size_t words = static_cast<std::size_t>(mChunkMcus) * BlocksPerMcu(mSetup) * kMaxPackedWords;
    worker.packed.reset(new (std::nothrow) int32_t[words]);
    return worker.packed && mTransformer.PrepareStrip(worker.strip, mChunkMcus);
}

bool StoreOutput::Start()
{
    if (!McusAreIndependent(mSetup) || !UseTwoThreads(mSetup) || !Prepare(mSecond)) return false;
    try {
        mThread = std::thread([this] { Work(mSecond, true); });
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

void StoreOutput::RowsFinal(int32_t rows)
{
    {
        std::lock_guard<std::mutex> lock(mMutex);
        if (rows <= mFinal) return;
        mFinal = std::min(rows, mSetup.mcusY);
    }
    mChanged.notify_all();
}

int32_t StoreOutput::FinalRowsAfter(const jpegscan::ScanLayout& scan, int32_t scanRows) const
{
    if (scanRows >= scan.mcusY) return mSetup.mcusY;
    if (scan.count > 1) return scanRows;  // the frame's MCU rows
    return scanRows / mSetup.v[scan.frameComponent[0]];
}

void StoreOutput::Finish()
{
    RowsFinal(mSetup.mcusY);
    if (McusAreIndependent(mSetup) && Prepare(mOwn)) {
        Work(mOwn, false);
    } else if (!mThread.joinable()) {
        StoredMcus mcus(mSetup, mStore);
        RunOutput(mSetup, mcus);  // MCU by MCU
        return;
    }
    if (mThread.joinable()) mThread.join();  // it ends once no row is left
}

void StoreOutput::Work(Worker& worker, bool wait)
{
    for (;;) {
        int32_t row;
        {
            std::unique_lock<std::mutex> lock(mMutex);
            if (wait) mChanged.wait(lock, [this] { return mStop || mNext >= mSetup.mcusY || mNext < mFinal; });
            if (mStop || mNext >= mSetup.mcusY || mNext >= mFinal) return;
            row = mNext++;
        }
        TransformRow(row, worker);
    }
}

void StoreOutput::TransformRow(int32_t row, Worker& worker) const
{
    for (int32_t column = 0; column < mSetup.mcusX; column += mChunkMcus) {
        const int32_t count = std::min(mChunkMcus, mSetup.mcusX - column);
        int32_t* packed = worker.packed.get();
        for (int32_t m = 0; m < count; ++m) packed = PackStoredMcu(mSetup, mStore, row, column + m, packed);
        mTransformer.TransformSegment(worker.packed.get(), row * mSetup.mcusX + column, count, worker.strip,
                                      mChunkMcus);
    }
}

}  // namespace jpegfast
