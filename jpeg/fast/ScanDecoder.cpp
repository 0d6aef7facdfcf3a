#include "ScanDecoder.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "JpegTables.h"

namespace jpegfast {
namespace {

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// One decoded block: the quantised coefficients in natural order, of which
// only those flagged in nonZero are meaningful (the others are not written).
struct Block {
    uint64_t nonZero;
    int32_t coef[64];
};

// Decoded blocks travel between the entropy decoder and the transforms
// packed: for each block two words of the nonZero flags (low, high), then
// the flagged coefficients in natural order. Most coefficients are zero, so
// this moves a fraction of the memory a whole Block would.
constexpr int32_t kMaxPackedWords = 2 + 64;

inline int32_t* PackBlock(const Block& block, int32_t* out)
{
    *out++ = static_cast<int32_t>(static_cast<uint32_t>(block.nonZero));
    *out++ = static_cast<int32_t>(static_cast<uint32_t>(block.nonZero >> 32));
    for (uint64_t bits = block.nonZero; bits != 0; bits &= bits - 1) *out++ = block.coef[__builtin_ctzll(bits)];
    return out;
}

inline const int32_t* UnpackBlock(const int32_t* in, Block& block)
{
    block.nonZero = static_cast<uint64_t>(static_cast<uint32_t>(in[0])) |
                    static_cast<uint64_t>(static_cast<uint32_t>(in[1])) << 32;
    in += 2;
    for (uint64_t bits = block.nonZero; bits != 0; bits &= bits - 1) block.coef[__builtin_ctzll(bits)] = *in++;
    return in;
}

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
    // Returns the end of what it wrote: at most BlocksPerMcu *
    // kMaxPackedWords words.
    int32_t* DecodeMcu(int32_t* packed)
    {
        for (int32_t c = 0; c < mSetup.numComponents; ++c) {
            const int32_t count = mSetup.h[c] * mSetup.v[c];
            for (int32_t i = 0; i < count; ++i) {
                DecodeBlock(c, mBlock);
                packed = PackBlock(mBlock, packed);
            }
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
        return packed;
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

    // The AC coefficients of the common case, from a copy of the bit buffer
    // in registers while it holds at least 32 bits (a code and its magnitude
    // never take more). It stops before the first code it does not decode
    // entirely here (no match in the table, a run past the block, a code
    // not allowed in baseline data, too few bits before a marker or the end
    // of the data) and leaves that code to the careful loop, which gives the
    // errors. True when the block ended here; k is where the careful loop
    // goes on otherwise.
    bool DecodeAcFast(const HuffmanLookup& ac, int32_t& k, Block& block, uint64_t& nonZero)
    {
        uint64_t buffer = mReader.Buffer();
        int available = mReader.Available();
        bool ended = false;
        while (k <= 63) {
            if (available < 32) {
                mReader.SetBuffer(buffer, available);
                mReader.Fill();
                buffer = mReader.Buffer();
                available = mReader.Available();
                if (available < 32) break;
            }
            const int32_t entry = ac.Combined(static_cast<uint32_t>(buffer >> 48));
            if (entry & HuffmanLookup::kCombinedValue) {
                const int32_t run = (entry >> 5) & 15;
                if (k + run > 63) break;
                buffer <<= entry & 31;
                available -= entry & 31;
                k += run;
                const int32_t index = kZigzag[k];
                block.coef[index] = entry >> 16;
                nonZero |= uint64_t{1} << index;
                ++k;
                continue;
            }
            if (entry & HuffmanLookup::kCombinedEnd) {
                buffer <<= entry & 31;
                available -= entry & 31;
                ended = true;
                break;
            }
            int length;
            const int32_t symbol = ac.Decode(static_cast<uint32_t>(buffer >> 48), &length);
            if (symbol == HuffmanLookup::kNoMatch) break;
            const int32_t run = symbol >> 4;
            const int32_t size = symbol & 15;
            if (size == 0) {
                if (symbol == 0) {
                    buffer <<= length;
                    available -= length;
                    ended = true;
                    break;
                }
                if (run != 15 || k + 15 > 63) break;
                buffer <<= length;  // sixteen zeros
                available -= length;
                k += 16;
                continue;
            }
            if (k + run > 63) break;
            buffer <<= length;
            const int32_t bits = static_cast<int32_t>(buffer >> (64 - size));
            buffer <<= size;
            available -= length + size;
            k += run;
            const int32_t index = kZigzag[k];
            block.coef[index] = Extend(bits, size);
            nonZero |= uint64_t{1} << index;
            ++k;
        }
        mReader.SetBuffer(buffer, available);
        return ended || k > 63;
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
        if (DecodeAcFast(ac, k, block, nonZero)) {
            block.nonZero = nonZero;
            return;
        }
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
    Block mBlock;
    BitReader mReader;
    int32_t mPred[3] = {0, 0, 0};
    int32_t mRestartCount = 0;
    bool mInSearch = false;
};

// The samples of one thread for a segment of MCUs of one MCU row: each
// component at its own resolution, rows stride samples apart, and one
// full-resolution row per component for layouts the row kernels do not take
// as they are.
struct Strip {
    std::unique_ptr<int32_t[]> memory;
    int32_t* samples[3] = {};
    int32_t stride[3] = {};
    int32_t* wide[3] = {};
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

    // Gives the strip its buffers for segments of up to maxMcus MCUs; false
    // when memory cannot be had.
    bool PrepareStrip(Strip& strip, int32_t maxMcus) const
    {
        const ScanSetup& s = mSetup;
        std::size_t total = 0;
        for (int32_t c = 0; c < s.numComponents; ++c) {
            strip.stride[c] = maxMcus * s.h[c] * 8;
            total += static_cast<std::size_t>(strip.stride[c]) * s.v[c] * 8;
        }
        const std::size_t wide = static_cast<std::size_t>(maxMcus) * mRowLength;
        strip.memory.reset(new (std::nothrow) int32_t[total + 3 * wide]);
        if (!strip.memory) return false;
        int32_t* next = strip.memory.get();
        for (int32_t c = 0; c < s.numComponents; ++c) {
            strip.samples[c] = next;
            next += static_cast<std::size_t>(strip.stride[c]) * s.v[c] * 8;
        }
        for (int32_t c = 0; c < 3; ++c) {
            strip.wide[c] = next;
            next += wide;
        }
        return true;
    }

    // count MCUs of one MCU row, the first of them MCU number first, into the
    // planes: every block into the strip at its component's resolution, then
    // the strip converted a whole row of samples at a time, which gives each
    // plane row one long run of writes. Needs McusAreIndependent.
    void TransformSegment(const int32_t* packed, int32_t first, int32_t count, const Strip& strip) const
    {
        const ScanSetup& s = mSetup;
        Block block;
        for (int32_t m = 0; m < count; ++m) {
            for (int32_t c = 0; c < s.numComponents; ++c) {
                const int32_t stride = strip.stride[c];
                for (int32_t by = 0; by < s.v[c]; ++by) {
                    int32_t* at = strip.samples[c] + by * 8 * stride + (m * s.h[c]) * 8;
                    for (int32_t bx = 0; bx < s.h[c]; ++bx, at += 8) {
                        packed = UnpackBlock(packed, block);
                        mKernels.idct(mTables, block.coef, block.nonZero, s.quant[c], s.levelShift, at, stride);
                    }
                }
            }
        }

        const int32_t x0 = (first % s.mcusX) * mRowLength;
        const int32_t y0 = (first / s.mcusX) * s.vMax * 8;
        const int32_t n = std::min(count * mRowLength, s.width - x0);
        if (n <= 0) return;
        const bool direct = s.numComponents == 3 && s.sh[0] == 1 && s.sh[1] == s.sh[2] && s.sh[1] <= 2;
        for (int32_t i = 0; i < s.vMax * 8; ++i) {
            const std::size_t index = static_cast<std::size_t>(y0 + i) * static_cast<std::size_t>(s.width) +
                                      static_cast<std::size_t>(x0);
            const int32_t* line[3];
            for (int32_t c = 0; c < s.numComponents; ++c) {
                line[c] = strip.samples[c] + (i / s.sv[c]) * strip.stride[c];
                if (!direct && s.sh[c] != 1) {
                    // Replicated to full resolution first.
                    for (int32_t k = 0; k < n; ++k) strip.wide[c][k] = line[c][k / s.sh[c]];
                    line[c] = strip.wide[c];
                }
            }
            if (s.numComponents == 3) {
                const ConvertRowFunction convert = direct && s.sh[1] == 2 ? mKernels.convertRowHalf : mKernels.convertRow;
                convert(line[0], line[1], line[2], n, s.planes[0] + index, s.planes[1] + index, s.planes[2] + index);
            } else {
                WriteGrey(line[0], n, index);
            }
        }
    }

    // One MCU into the given MCU buffers and from there into the planes.
    void TransformMcu(const int32_t* packed, int32_t column, int32_t row, int32_t* const units[3]) const
    {
        const ScanSetup& s = mSetup;
        Block block;
        alignas(64) int32_t pixels[64];
        for (int32_t c = 0; c < s.numComponents; ++c) {
            const int32_t sh = s.sh[c], sv = s.sv[c];
            const int32_t* quant = s.quant[c];
            int32_t* unit = units[c];
            for (int32_t by = 0; by < s.v[c]; ++by) {
                for (int32_t bx = 0; bx < s.h[c]; ++bx) {
                    packed = UnpackBlock(packed, block);
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
                WriteGrey(lum, n, index);
            }
        }
    }

    // One component: Cb and Cr stay at their fill of 128, so every plane is
    // the clamped Y.
    void WriteGrey(const int32_t* lum, int32_t n, std::size_t index) const
    {
        const ScanSetup& s = mSetup;
        for (int32_t j = 0; j < n; ++j) {
            const uint8_t sample = ClampSample(lum[j]);
            s.planes[0][index + j] = sample;
            s.planes[1][index + j] = sample;
            s.planes[2][index + j] = sample;
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

// MCUs decoded and transformed together: a segment of one MCU row of about
// kBatchBlocks blocks.
constexpr int32_t kBatchBlocks = 256;

int32_t BatchMcus(const ScanSetup& s)
{
    return std::max<int32_t>(1, std::min(kBatchBlocks / BlocksPerMcu(s), s.mcusX));
}

// One thread, MCU by MCU in the decoder's MCU buffers: for pictures whose
// MCUs depend on each other.
void DecodeMcuByMcu(ScanSetup& setup, EntropyDecoder& entropy, const Transformer& transformer)
{
    const std::size_t words = static_cast<std::size_t>(BlocksPerMcu(setup)) * kMaxPackedWords;
    std::unique_ptr<int32_t[]> blocks(new (std::nothrow) int32_t[words]);
    if (!blocks) throw EMemoryError{BlocksPerMcu(setup), "Disconvert unit1"};
    for (int32_t row = 0; row < setup.mcusY; ++row) {
        for (int32_t column = 0; column < setup.mcusX; ++column) {
            entropy.DecodeMcu(blocks.get());
            transformer.TransformMcu(blocks.get(), column, row, setup.units);
        }
    }
}

// One thread, segment by segment.
void DecodeBySegments(ScanSetup& setup, EntropyDecoder& entropy, const Transformer& transformer)
{
    const int32_t blocksPerMcu = BlocksPerMcu(setup);
    const int32_t batch = BatchMcus(setup);
    std::unique_ptr<int32_t[]> blocks(
        new (std::nothrow) int32_t[static_cast<std::size_t>(batch) * blocksPerMcu * kMaxPackedWords]);
    Strip strip;
    if (!blocks || !transformer.PrepareStrip(strip, batch)) {
        DecodeMcuByMcu(setup, entropy, transformer);
        return;
    }
    for (int32_t row = 0; row < setup.mcusY; ++row) {
        for (int32_t column = 0; column < setup.mcusX; column += batch) {
            const int32_t count = std::min(batch, setup.mcusX - column);
            int32_t* packed = blocks.get();
            for (int32_t m = 0; m < count; ++m) packed = entropy.DecodeMcu(packed);
            transformer.TransformSegment(blocks.get(), row * setup.mcusX + column, count, strip);
        }
    }
}

// Two threads: the calling thread decodes segments into a ring of slots; a
// worker transforms filled slots. When the ring is full the calling thread
// transforms a filled slot itself, so both cores stay busy whichever side is
// slower.
class Pipeline {
public:
    static constexpr int kSlots = 4;
    static constexpr int kSpins = 20000;

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
                Changed();
            }
            mWorker.join();
        }
    }

    // False when memory or the thread cannot be had; nothing has been
    // decoded then.
    bool Prepare()
    {
        mBlocksPerMcu = BlocksPerMcu(mSetup);
        mBatchMcus = BatchMcus(mSetup);
        const std::size_t blocksPerSlot = static_cast<std::size_t>(mBatchMcus) * mBlocksPerMcu;
        mBlocks.reset(new (std::nothrow) int32_t[blocksPerSlot * kMaxPackedWords * kSlots]);
        if (!mBlocks) return false;
        for (int i = 0; i < kSlots; ++i) mSlots[i].blocks = mBlocks.get() + blocksPerSlot * kMaxPackedWords * i;
        if (!mTransformer.PrepareStrip(mOwnStrip, mBatchMcus) ||
            !mTransformer.PrepareStrip(mWorkerStrip, mBatchMcus))
            return false;
        try {
            mWorker = std::thread([this] { WorkerLoop(); });
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }

    void Run()
    {
        for (int32_t row = 0; row < mSetup.mcusY; ++row) {
            for (int32_t column = 0; column < mSetup.mcusX; column += mBatchMcus) {
                Slot& slot = AcquireFreeSlot();
                slot.first = row * mSetup.mcusX + column;
                slot.count = std::min(mBatchMcus, mSetup.mcusX - column);
                int32_t* packed = slot.blocks;
                for (int32_t m = 0; m < slot.count; ++m) packed = mEntropy.DecodeMcu(packed);
                {
                    std::lock_guard<std::mutex> lock(mMutex);
                    slot.state = kReady;
                    Changed();
                }
            }
        }
        // Help with what is left, then wait for the worker's last slot.
        std::unique_lock<std::mutex> lock(mMutex);
        mFinished = true;
        Changed();
        for (;;) {
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mOwnStrip);
                continue;
            }
            if (!AnyBusy()) break;
            Wait(lock);
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
        int32_t* blocks = nullptr;  // packed blocks
    };

    // Something changed: a slot filled or freed, or the end. Called with the
    // lock held.
    void Changed()
    {
        mVersion.fetch_add(1, std::memory_order_release);
        mChanged.notify_all();
    }

    // Waits for a change. A segment takes some tens of microseconds, and
    // waking a sleeping thread can take as long on a virtual machine, so the
    // thread first watches for a change for a while before it sleeps.
    void Wait(std::unique_lock<std::mutex>& lock)
    {
        const uint32_t seen = mVersion.load(std::memory_order_acquire);
        lock.unlock();
        bool changed = false;
        for (int i = 0; i < kSpins && !changed; ++i) {
            CpuRelax();
            changed = mVersion.load(std::memory_order_acquire) != seen;
        }
        lock.lock();
        if (!changed && mVersion.load(std::memory_order_relaxed) == seen) {
            mChanged.wait(lock, [&] { return mVersion.load(std::memory_order_relaxed) != seen; });
        }
    }

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
    void TransformUnlocked(std::unique_lock<std::mutex>& lock, Slot& slot, const Strip& strip)
    {
        slot.state = kBusy;
        lock.unlock();
        mTransformer.TransformSegment(slot.blocks, slot.first, slot.count, strip);
        lock.lock();
        slot.state = kFree;
        Changed();
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
                TransformUnlocked(lock, *ready, mOwnStrip);
                continue;
            }
            Wait(lock);
        }
    }

    void WorkerLoop()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        for (;;) {
            if (mAbort) return;
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mWorkerStrip);
                continue;
            }
            if (mFinished) return;
            Wait(lock);
        }
    }

    ScanSetup& mSetup;
    EntropyDecoder& mEntropy;
    const Transformer& mTransformer;
    int32_t mBlocksPerMcu = 1;
    int32_t mBatchMcus = 1;
    std::unique_ptr<int32_t[]> mBlocks;
    Strip mOwnStrip, mWorkerStrip;
    Slot mSlots[kSlots];
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::atomic<uint32_t> mVersion{0};
    bool mFinished = false;
    bool mAbort = false;
    std::thread mWorker;
};

bool UseTwoThreads(const ScanSetup& setup)
{
    if (setup.threads == 1) return false;
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
        if (!McusAreIndependent(setup)) {
            DecodeMcuByMcu(setup, entropy, transformer);
            done = true;
        } else if (UseTwoThreads(setup)) {
            Pipeline pipeline(setup, entropy, transformer);
            if (pipeline.Prepare()) {
                pipeline.Run();
                done = true;
            }
        }
        if (!done) DecodeBySegments(setup, entropy, transformer);
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
