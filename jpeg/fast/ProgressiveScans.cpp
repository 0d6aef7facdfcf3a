// Progressive scans in the fast form: the block decoders that both forms
// share (JpegProgressiveFirst.h, JpegProgressiveRefine.h) over the buffered
// bit reader and lookup tables of ScanReader, one decoder for each kind of
// scan, chosen once per scan.
#include "JpegProgressiveFirst.h"
#include "JpegProgressiveRefine.h"
#include "StoredScan.h"

namespace jpegfast {
namespace {

// The bits of one progressive scan.
class FastBits {
public:
    explicit FastBits(const StoredScanSetup& setup)
        : mReader(setup.reader.stream, setup.reader.searchMarker, setup.reader.context)
    {
        const bool dc = setup.layout.ss == 0;
        mLookups.Build(setup.layout.count, dc ? setup.dc : nullptr, dc ? nullptr : setup.ac, false);
    }

    int32_t Symbol(int32_t tableClass, int32_t i)
    {
        return mReader.DecodeSymbol(tableClass == 0 ? mLookups.Dc(i) : mLookups.Ac(i));
    }
    int32_t Bits(int32_t count) { return mReader.ReceiveBits(count); }
    const uint8_t* Position() const { return mReader.bits.Position(); }

    ScanReader& Reader() { return mReader; }
    const ScanReader& Reader() const { return mReader; }

private:
    ScanReader mReader;
    ScanLookups mLookups;
};

// One scan of the given kind: the blocks, and what an RST marker starts
// afresh (the DC predictors, an end-of-band run).
template <jpegscan::ScanKind kKind>
class ProgressiveDecoder {
public:
    explicit ProgressiveDecoder(const StoredScanSetup& setup) : mScan(setup.layout), mBits(setup) {}

    void Block(int32_t i, int16_t* block)
    {
        if constexpr (kKind == jpegscan::ScanKind::kDcFirst) {
            jpegscan::DecodeDcFirstBlock(mBits, mScan, i, mPred[i], block);
        } else if constexpr (kKind == jpegscan::ScanKind::kDcRefine) {
            jpegscan::DecodeDcRefineBlock(mBits, mScan, block);
        } else if constexpr (kKind == jpegscan::ScanKind::kAcFirst) {
            jpegscan::DecodeAcFirstBlock(mBits, mScan, mEobRun, block);
        } else {
            jpegscan::DecodeAcRefineBlock(mBits, mScan, mEobRun, block);
        }
    }

    void Restart()
    {
        if (mBits.Reader().Restart()) {
            mPred[0] = mPred[1] = mPred[2] = 0;
            mEobRun = 0;
        }
    }

    StreamState State() const { return mBits.Reader().State(); }
    bool InMarkerSearch() const { return mBits.Reader().InMarkerSearch(); }

private:
    const jpegscan::ScanLayout& mScan;
    FastBits mBits;
    int32_t mPred[jpegscan::kMaxScanComponents] = {};
    int32_t mEobRun = 0;
};

template <jpegscan::ScanKind kKind>
void Run(StoredScanSetup& setup)
{
    ProgressiveDecoder<kKind> decoder(setup);
    RunStoredScan(setup, decoder);
}

}  // namespace

void DecodeProgressiveScan(StoredScanSetup& setup)
{
    switch (setup.layout.kind) {
    case jpegscan::ScanKind::kDcFirst: Run<jpegscan::ScanKind::kDcFirst>(setup); return;
    case jpegscan::ScanKind::kDcRefine: Run<jpegscan::ScanKind::kDcRefine>(setup); return;
    case jpegscan::ScanKind::kAcFirst: Run<jpegscan::ScanKind::kAcFirst>(setup); return;
    case jpegscan::ScanKind::kAcRefine: Run<jpegscan::ScanKind::kAcRefine>(setup); return;
    case jpegscan::ScanKind::kSequential: return;
    }
}

}  // namespace jpegfast
