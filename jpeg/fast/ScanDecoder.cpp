#include "ScanDecoder.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "JpegTables.h"

namespace jpegfast {
namespace {

// One decoded block: the quantised coefficients in natural order, of which
// only those flagged in nonZero are meaningful (the others are not written).
struct Block {
    uint64_t nonZero;
    int32_t coef[64];
};

// T.81 EXTEND (Figure F.12) as the reference applies it: on 32-bit two's
// complement, negated marker codes included.
inline int32_t Extend(int32_t value, int32_t size)
{
    const uint32_t bits = static_cast<uint32_t>(value);
    if (((bits >> (size - 1)) & 1u) != 0) return value;
    return static_cast<int32_t>(bits + 1u - (1u << size));
}

inline int32_t WrappingAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline uint8_t ClampSample(int32_t y)
{
    return y < 0 ? 0 : (y > 255 ? 255 : static_cast<uint8_t>(y));
}

// Entropy decoding: Huffman symbols, DC differences and AC run/size pairs.
class EntropyDecoder {
public:
    explicit EntropyDecoder(ScanSetup& setup) : mSetup(setup)
    {
        for (int32_t c = 0; c < setup.numComponents; ++c) {
            mDc[c].Build(setup.dc[c]);
            mAc[c].Build(setup.ac[c]);
            mAc[c].BuildCombined();
        }
        mReader.Start(setup.stream);
    }

    // The blocks of one MCU in the reference's order, then the restart
    // marker if an interval ends with it.
    void DecodeMcu(Block* blocks)
    {
        for (int32_t c = 0; c < mSetup.numComponents; ++c) {
            const int32_t count = mSetup.h[c] * mSetup.v[c];
            for (int32_t i = 0; i < count; ++i) DecodeBlock(c, *blocks++);
        }
        if (mSetup.restartInterval != 0 && ++mRestartCount == mSetup.restartInterval) {
            mRestartCount = 0;
            StreamState state = mReader.State();
            // If the search fails, the decoder's reader holds the position.
            mInSearch = true;
            const int32_t marker = mSetup.searchMarker(mSetup.context, &state);
            mInSearch = false;
            if (marker >= 0xD0 && marker <= 0xD7) mPred[0] = mPred[1] = mPred[2] = 0;
            mReader.Start(state);
        }
    }

    StreamState State() const { return mReader.State(); }
    bool InMarkerSearch() const { return mInSearch; }

private:
    int32_t DecodeSymbol(const HuffmanLookup& table)
    {
        int length;
        const int32_t symbol = table.Decode(mReader.Peek16(), &length);
        if (length > mReader.Available()) {
            // The bit-by-bit search runs into the marker (and returns its
            // negated code) or into the end of the data.
            mReader.Exhausted();
            throw EDataFormatError{mReader.Position(), "DecodeHuffman:Error Marker"};
        }
        if (symbol == HuffmanLookup::kNoMatch) {
            mReader.Skip(length);  // the search read them all before giving up
            throw EDataFormatError{mReader.Position(), "Decode1HuffmanCode:length over"};
        }
        mReader.Skip(length);
        return symbol;
    }

    int32_t ReceiveDcDifference(int32_t size)
    {
        if (size < 32) return Extend(mReader.GetBits(size), size);
        // Never in baseline data: the bits are read in pieces and dropped.
        for (int32_t left = size; left > 0; left -= 16) {
            const int32_t bits = mReader.GetBits(left < 16 ? left : 16);
            if (bits < 0) return bits;
        }
        return 0;
    }

    void DecodeBlock(int32_t component, Block& block)
    {
        mReader.Fill();
        const int32_t size = DecodeSymbol(mDc[component]);
        const int32_t difference = size == 0 ? 0 : ReceiveDcDifference(size);
        const int32_t dc = mPred[component] = WrappingAdd(mPred[component], difference);
        block.coef[0] = dc;
        uint64_t nonZero = dc != 0 ? 1 : 0;

        const HuffmanLookup& ac = mAc[component];
        int32_t k = 1;
        while (k <= 63) {
            mReader.Fill();
            if (mReader.Available() >= 16) {
                const int32_t entry = ac.Combined(mReader.Peek16());
                if (entry & HuffmanLookup::kCombinedValue) {
                    mReader.Skip(entry & 31);
                    const int32_t run = (entry >> 5) & 15;
                    if (k + run > 63) throw EDataFormatError{mReader.Position(), "DecodeHuffman:wrong Run length"};
                    k += run;
                    const int32_t index = kZigzag[k];
                    block.coef[index] = entry >> 16;
                    nonZero |= uint64_t{1} << index;
                    ++k;
                    continue;
                }
                if (entry & HuffmanLookup::kCombinedEnd) {
                    mReader.Skip(entry & 31);
                    break;
                }
            }
            const int32_t runSize = DecodeSymbol(ac);
            if (runSize == 0) break;  // end of block
            const int32_t run = runSize >> 4;
            const int32_t acSize = runSize & 15;
            int32_t value = 0;
            if (acSize != 0) {
                value = Extend(mReader.GetBits(acSize), acSize);
            } else if (run != 15) {
                throw EDataFormatError{mReader.Position(), "DecodeHuffman:wrong Huffman value"};
            }
            if (k + run > 63) throw EDataFormatError{mReader.Position(), "DecodeHuffman:wrong Run length"};
            k += run;
            if (value != 0) {
                const int32_t index = kZigzag[k];
                block.coef[index] = value;
                nonZero |= uint64_t{1} << index;
            }
            ++k;
        }
        block.nonZero = nonZero;
    }

    ScanSetup& mSetup;
    HuffmanLookup mDc[3], mAc[3];
    BitReader mReader;
    int32_t mPred[3] = {0, 0, 0};
    int32_t mRestartCount = 0;
    bool mInSearch = false;
};

// Inverse DCTs, upsampling and colour conversion of decoded MCUs.
class Transformer {
public:
    explicit Transformer(const ScanSetup& setup)
        : mSetup(setup),
          mKernels(SelectKernels(setup.simd)),
          mTables(MakeIdctTables(setup.cosine, setup.invSqrt2)),
          mRowLength(setup.hMax * 8)
    {
    }

    const KernelSet& Kernels() const { return mKernels; }

    // One MCU into the given MCU buffers and from there into the planes.
    void TransformMcu(const Block* blocks, int32_t column, int32_t row, int32_t* const units[3]) const
    {
        const ScanSetup& s = mSetup;
        alignas(64) int32_t pixels[64];
        for (int32_t c = 0; c < s.numComponents; ++c) {
            const int32_t sh = s.sh[c], sv = s.sv[c];
            const int32_t* quant = s.quant[c];
            int32_t* unit = units[c];
            for (int32_t by = 0; by < s.v[c]; ++by) {
                for (int32_t bx = 0; bx < s.h[c]; ++bx) {
                    const Block& block = *blocks++;
                    int32_t* at = unit + by * sv * 8 * mRowLength + bx * sh * 8;
                    if (sh == 1 && sv == 1) {
                        mKernels.idct(mTables, block.coef, block.nonZero, quant, s.levelShift, at, mRowLength);
                        continue;
                    }
                    mKernels.idct(mTables, block.coef, block.nonZero, quant, s.levelShift, pixels, 8);
                    Replicate(pixels, sh, sv, at);
                }
            }
        }
        Convert(column, row, units);
    }

private:
    void Replicate(const int32_t* pixels, int32_t sh, int32_t sv, int32_t* at) const
    {
        for (int32_t r = 0; r < sv * 8; ++r) {
            const int32_t* source = pixels + 8 * (r / sv);
            int32_t* out = at + r * mRowLength;
            if (sh == 2) {
                for (int32_t k = 0; k < 8; ++k) out[2 * k] = out[2 * k + 1] = source[k];
            } else {
                for (int32_t k = 0; k < sh * 8; ++k) out[k] = source[k / sh];
            }
        }
    }

    void Convert(int32_t column, int32_t row, const int32_t* const units[3]) const
    {
        const ScanSetup& s = mSetup;
        const int32_t x0 = column * mRowLength;
        const int32_t y0 = row * s.vMax * 8;
        const int32_t n = std::min(mRowLength, s.width - x0);
        if (n <= 0) return;
        for (int32_t i = 0; i < s.vMax * 8; ++i) {
            const std::size_t index = static_cast<std::size_t>(y0 + i) * static_cast<std::size_t>(s.width) +
                                      static_cast<std::size_t>(x0);
            const int32_t* lum = units[0] + i * mRowLength;
            if (s.numComponents == 3) {
                mKernels.convertRow(lum, units[1] + i * mRowLength, units[2] + i * mRowLength, n,
                                    s.planes[0] + index, s.planes[1] + index, s.planes[2] + index);
            } else {
                // Cb and Cr stay at their fill of 128: every plane is the
                // clamped Y.
                for (int32_t j = 0; j < n; ++j) {
                    const uint8_t sample = ClampSample(lum[j]);
                    s.planes[0][index + j] = sample;
                    s.planes[1][index + j] = sample;
                    s.planes[2][index + j] = sample;
                }
            }
        }
    }

    const ScanSetup& mSetup;
    KernelSet mKernels;
    IdctTables mTables;
    int32_t mRowLength;
};

int32_t BlocksPerMcu(const ScanSetup& s)
{
    int32_t blocks = 0;
    for (int32_t c = 0; c < s.numComponents; ++c) blocks += s.h[c] * s.v[c];
    return blocks;
}

// Every MCU overwrites every sample of the MCU buffers of its components, so
// MCUs can be transformed in any order and on any thread. (With sampling
// factors whose ratios are not whole numbers, part of a buffer keeps what an
// earlier MCU left there; such pictures take the single-threaded pass.)
bool McusAreIndependent(const ScanSetup& s)
{
    for (int32_t c = 0; c < s.numComponents; ++c) {
        if (s.h[c] * s.sh[c] != s.hMax || s.v[c] * s.sv[c] != s.vMax) return false;
    }
    return true;
}

void DecodeSingleThreaded(ScanSetup& setup, EntropyDecoder& entropy, const Transformer& transformer)
{
    std::unique_ptr<Block[]> blocks(new (std::nothrow) Block[static_cast<std::size_t>(BlocksPerMcu(setup))]);
    if (!blocks) throw EMemoryError{BlocksPerMcu(setup), "Disconvert unit1"};
    for (int32_t row = 0; row < setup.mcusY; ++row) {
        for (int32_t column = 0; column < setup.mcusX; ++column) {
            entropy.DecodeMcu(blocks.get());
            transformer.TransformMcu(blocks.get(), column, row, setup.units);
        }
    }
}

// Two threads: the calling thread decodes batches of MCUs into a ring of
// slots; a worker transforms filled slots. When the ring is full the calling
// thread transforms a filled slot itself, so both cores stay busy whichever
// side is slower.
class Pipeline {
public:
    static constexpr int kSlots = 4;

    Pipeline(ScanSetup& setup, EntropyDecoder& entropy, const Transformer& transformer)
        : mSetup(setup), mEntropy(entropy), mTransformer(transformer)
    {
    }

    ~Pipeline()
    {
        if (mWorker.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mMutex);
                mAbort = true;
            }
            mChanged.notify_all();
            mWorker.join();
        }
    }

    // False when memory or the thread cannot be had; nothing has been
    // decoded then.
    bool Prepare()
    {
        const int32_t blocksPerMcu = BlocksPerMcu(mSetup);
        mBatchMcus = std::max<int32_t>(1, 256 / blocksPerMcu);
        const std::size_t blocksPerSlot = static_cast<std::size_t>(mBatchMcus) * blocksPerMcu;
        mBlocks.reset(new (std::nothrow) Block[blocksPerSlot * kSlots]);
        if (!mBlocks) return false;
        for (int i = 0; i < kSlots; ++i) mSlots[i].blocks = mBlocks.get() + blocksPerSlot * i;
        const std::size_t unitSize = static_cast<std::size_t>(mSetup.hMax) * mSetup.vMax * 64;
        mWorkerUnitMemory.reset(new (std::nothrow) int32_t[unitSize * 3]);
        if (!mWorkerUnitMemory) return false;
        for (int c = 0; c < 3; ++c) {
            mWorkerUnits[c] = mWorkerUnitMemory.get() + unitSize * c;
            std::fill(mWorkerUnits[c], mWorkerUnits[c] + unitSize, c == 0 ? 0 : 128);
        }
        try {
            mWorker = std::thread([this] { WorkerLoop(); });
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }

    void Run()
    {
        const int32_t total = mSetup.mcusX * mSetup.mcusY;
        for (int32_t first = 0; first < total; first += mBatchMcus) {
            Slot& slot = AcquireFreeSlot();
            slot.first = first;
            slot.count = std::min(mBatchMcus, total - first);
            const int32_t blocksPerMcu = BlocksPerMcu(mSetup);
            for (int32_t m = 0; m < slot.count; ++m) mEntropy.DecodeMcu(slot.blocks + m * blocksPerMcu);
            {
                std::lock_guard<std::mutex> lock(mMutex);
                slot.state = kReady;
            }
            mChanged.notify_all();
        }
        // Help with what is left, then wait for the worker's last slot.
        std::unique_lock<std::mutex> lock(mMutex);
        mFinished = true;
        mChanged.notify_all();
        for (;;) {
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mSetup.units);
                continue;
            }
            if (!AnyBusy()) break;
            mChanged.wait(lock);
        }
        lock.unlock();
        mWorker.join();
    }

private:
    enum SlotState { kFree, kFilling, kReady, kBusy };
    struct Slot {
        SlotState state = kFree;
        int32_t first = 0;
        int32_t count = 0;
        Block* blocks = nullptr;
    };

    Slot* OldestReady()
    {
        Slot* oldest = nullptr;
        for (Slot& slot : mSlots) {
            if (slot.state == kReady && (oldest == nullptr || slot.first < oldest->first)) oldest = &slot;
        }
        return oldest;
    }

    bool AnyBusy() const
    {
        for (const Slot& slot : mSlots) {
            if (slot.state == kBusy) return true;
        }
        return false;
    }

    // Called with the lock held; transforms without it.
    void TransformUnlocked(std::unique_lock<std::mutex>& lock, Slot& slot, int32_t* const units[3])
    {
        slot.state = kBusy;
        lock.unlock();
        const int32_t blocksPerMcu = BlocksPerMcu(mSetup);
        for (int32_t m = 0; m < slot.count; ++m) {
            const int32_t index = slot.first + m;
            mTransformer.TransformMcu(slot.blocks + m * blocksPerMcu, index % mSetup.mcusX, index / mSetup.mcusX,
                                      units);
        }
        lock.lock();
        slot.state = kFree;
        mChanged.notify_all();
    }

    Slot& AcquireFreeSlot()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        for (;;) {
            for (Slot& slot : mSlots) {
                if (slot.state == kFree) {
                    slot.state = kFilling;
                    return slot;
                }
            }
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mSetup.units);
                continue;
            }
            mChanged.wait(lock);
        }
    }

    void WorkerLoop()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        for (;;) {
            if (mAbort) return;
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mWorkerUnits);
                continue;
            }
            if (mFinished) return;
            mChanged.wait(lock);
        }
    }

    ScanSetup& mSetup;
    EntropyDecoder& mEntropy;
    const Transformer& mTransformer;
    int32_t mBatchMcus = 1;
    std::unique_ptr<Block[]> mBlocks;
    std::unique_ptr<int32_t[]> mWorkerUnitMemory;
    int32_t* mWorkerUnits[3] = {};
    Slot mSlots[kSlots];
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mFinished = false;
    bool mAbort = false;
    std::thread mWorker;
};

bool UseTwoThreads(const ScanSetup& setup)
{
    if (setup.threads == 1 || !McusAreIndependent(setup)) return false;
    const int64_t blocks = int64_t{setup.mcusX} * setup.mcusY * BlocksPerMcu(setup);
    if (setup.threads == 0 && (std::thread::hardware_concurrency() < 2 || blocks < 4096)) return false;
    return true;
}

}  // namespace

void DecodeScan(ScanSetup& setup)
{
    EntropyDecoder entropy(setup);
    const Transformer transformer(setup);
    bool done = false;
    try {
        if (UseTwoThreads(setup)) {
            Pipeline pipeline(setup, entropy, transformer);
            if (pipeline.Prepare()) {
                pipeline.Run();
                done = true;
            }
        }
        if (!done) DecodeSingleThreaded(setup, entropy, transformer);
    } catch (...) {
        // Where the reference's reader would stand after the same failure.
        setup.streamFromReader = !entropy.InMarkerSearch();
        if (setup.streamFromReader) setup.stream = entropy.State();
        throw;
    }
    setup.streamFromReader = true;
    setup.stream = entropy.State();
}

}  // namespace jpegfast
