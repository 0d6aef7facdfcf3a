// The entry points of the fast form: a one-scan picture straight into the
// planes; a scan of a multi-scan picture into the store (sequential scans
// here, the progressive kinds in ProgressiveScans.cpp).
#include "ScanDecoder.h"

#include "JpegArithmetic.h"
#include "PackedBlock.h"
#include "Pipeline.h"
#include "SequentialDecoder.h"
#include "StoredScan.h"

namespace jpegfast {
namespace {

// The MCUs of a one-scan picture: every block of every frame component, in
// the reference's order, then the restart marker if an interval ends with
// the MCU (after the last MCU too: the reference looks for it there).
class BaselineMcus : public McuSource {
public:
    BaselineMcus(const BaselineScanSetup& setup, SequentialDecoder& decoder) : mSetup(setup), mDecoder(decoder) {}

    int32_t NextMcus(int32_t* packed, const int32_t* end, int32_t mcuWords, int32_t most) override
    {
        const OutputSetup& s = mSetup.output;
        int32_t count = 0;
        for (; count < most && end - packed >= mcuWords; ++count) {
            for (int32_t c = 0; c < s.numComponents; ++c) {
                const int32_t blocks = s.h[c] * s.v[c];
                for (int32_t i = 0; i < blocks; ++i) {
                    PackedBlock block(packed);
                    mDecoder.DecodeBlock(c, block);
                    packed = block.Finish();
                }
            }
            if (mSetup.restartInterval != 0 && ++mSinceRestart == mSetup.restartInterval) {
                mSinceRestart = 0;
                mDecoder.Restart();
            }
        }
        return count;
    }

private:
    const BaselineScanSetup& mSetup;
    SequentialDecoder& mDecoder;
    int32_t mSinceRestart = 0;
};

// Sequential scans of a multi-scan picture: the blocks as a one-scan picture
// decodes them, kept in the store.
class SequentialToStore {
public:
    explicit SequentialToStore(const StoredScanSetup& setup)
        : mDecoder(setup.layout.count, setup.dc, setup.ac, setup.reader.stream, setup.reader.searchMarker,
                   setup.reader.context)
    {
    }

    void Block(int32_t i, int16_t* coefficients)
    {
        PackedBlock packed(mPacked);
        mDecoder.DecodeBlock(i, packed);
        packed.Finish();
        // The store holds zeros where nothing is written: every block is
        // decoded once (a component is in one sequential scan only).
        coefficients[0] = jpegmath::StoreCoefficient(mPacked[2]);
        for (int32_t n = 0; n < mPacked[3]; ++n) {
            const int32_t entry = mPacked[4 + n];
            coefficients[kZigzagOfNatural.k[entry & 63]] = jpegmath::StoreCoefficient(entry >> 8);
        }
    }

    void Restart() { mDecoder.Restart(); }
    StreamState State() const { return mDecoder.State(); }
    bool InMarkerSearch() const { return mDecoder.InMarkerSearch(); }

private:
    SequentialDecoder mDecoder;
    int32_t mPacked[kMaxPackedWords];
};

}  // namespace

void DecodeBaselineScan(BaselineScanSetup& setup)
{
    SequentialDecoder decoder(setup.output.numComponents, setup.dc, setup.ac, setup.reader.stream,
                              setup.reader.searchMarker, setup.reader.context);
    BaselineMcus mcus(setup, decoder);
    HandingBackTheReader(setup.reader, decoder, [&] { RunOutput(setup.output, mcus); });
}

void DecodeStoredScan(StoredScanSetup& setup)
{
    switch (setup.layout.kind) {
    case jpegscan::ScanKind::kSequential: {
        SequentialToStore decoder(setup);
        RunStoredScan(setup, decoder);
        return;
    }
    default: DecodeProgressiveScan(setup); return;
    }
}

}  // namespace jpegfast
