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

// Decoded blocks travel between the entropy decoder and the transforms
// packed, which moves a fraction of the memory a whole Block would (most
// coefficients are zero):
//   four words: the nonZero flags (low and high 32 bits), the DC
//     coefficient, and the number n of AC entries that follow;
//   n entries in the order decoded, (value << 8) | index. An AC value always
//     fits in the 24 bits: a magnitude of at most 15 bits extended, or, at a
//     marker, a negated marker code extended (above -2^16).
constexpr int32_t kMaxPackedWords = 4 + 63;

class PackedBlock {
public:
    explicit PackedBlock(int32_t* out) : mHeader(out), mNext(out + 4) {}

    void Dc(int32_t dc)
    {
        mHeader[2] = dc;
        mNonZero = dc != 0 ? 1 : 0;
    }

    // A non-zero AC coefficient.
    void Ac(int32_t index, int32_t value)
    {
        Registers r = Take();
        r.Ac(index, value);
        Give(r);
    }

    // The writing state, for a loop that keeps it in registers (an int32_t
    // written through a pointer could otherwise be any of these members, so
    // the compiler would keep them in memory).
    struct Registers {
        int32_t* next;
        uint64_t nonZero;
        int32_t entries;
        void Ac(int32_t index, int32_t value)
        {
            nonZero |= uint64_t{1} << index;
            ++entries;
            *next++ = static_cast<int32_t>((static_cast<uint32_t>(value) << 8) | static_cast<uint32_t>(index));
        }
    };
    Registers Take() const { return {mNext, mNonZero, mEntries}; }
    void Give(const Registers& r)
    {
        mNext = r.next;
        mNonZero = r.nonZero;
        mEntries = r.entries;
    }

    // Completes the header; returns the end of the block.
    int32_t* Finish()
    {
        mHeader[0] = static_cast<int32_t>(static_cast<uint32_t>(mNonZero));
        mHeader[1] = static_cast<int32_t>(static_cast<uint32_t>(mNonZero >> 32));
        mHeader[3] = mEntries;
        return mNext;
    }

private:
    int32_t* mHeader;
    int32_t* mNext;
    uint64_t mNonZero = 0;
    int32_t mEntries = 0;
};

inline const int32_t* UnpackBlock(const int32_t* in, Block& block)
{
    block.nonZero = static_cast<uint64_t>(static_cast<uint32_t>(in[0])) |
                    static_cast<uint64_t>(static_cast<uint32_t>(in[1])) << 32;
    block.coef[0] = in[2];
    const int32_t entries = in[3];
    in += 4;
    for (int32_t i = 0; i < entries; ++i) {
        const int32_t entry = *in++;
        block.coef[entry & 63] = entry >> 8;
    }
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
        // Components that use the same table share one lookup (less cache).
        auto same = [](const HuffmanTableView& a, const HuffmanTableView& b) {
            return a.count == b.count && a.sizeT == b.sizeT && a.codeT == b.codeT && a.valueT == b.valueT;
        };
        for (int32_t c = 0; c < setup.numComponents; ++c) {
            mDcOf[c] = mAcOf[c] = nullptr;
            for (int32_t e = 0; e < c; ++e) {
                if (mDcOf[c] == nullptr && same(setup.dc[c], setup.dc[e])) mDcOf[c] = mDcOf[e];
                if (mAcOf[c] == nullptr && same(setup.ac[c], setup.ac[e])) mAcOf[c] = mAcOf[e];
            }
            if (mDcOf[c] == nullptr) {
                mDc[c].Build(setup.dc[c]);
                mDcOf[c] = &mDc[c];
            }
            if (mAcOf[c] == nullptr) {
                mAc[c].Build(setup.ac[c]);
                mAc[c].BuildCombined();
                mAcOf[c] = &mAc[c];
            }
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
                PackedBlock block(packed);
                DecodeBlock(c, block);
                packed = block.Finish();
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

    // The common case of one block, with the reader's state in registers and
    // at least 32 bits in the buffer before every code (a code and its
    // magnitude never take more). It stops before the first code it does
    // not decode entirely here (no match in the table, a run past the block,
    // a code not allowed in baseline data, a DC magnitude over 16 bits, too
    // few bits before a 0xFF byte or the end of the data) and leaves that
    // code to the careful path, which gives the errors. Returns where the
    // careful path goes on: 0 (the DC code), k (the AC code at k), or 64
    // when the block is done; nonZero and the coefficients so far are in
    // the block.
    int32_t DecodeBlockFast(int32_t component, PackedBlock& block)
    {
        const HuffmanLookup& ac = *mAcOf[component];
        BitReader::Registers r = mReader.Take();
        PackedBlock::Registers out = block.Take();
        auto topUp = [&]() -> bool {
            if (mReader.RefillWord(r)) return true;
            if (r.available >= 32) return true;
            mReader.Give(r);
            mReader.Fill();
            r = mReader.Take();
            return r.available >= 32;
        };
        int32_t k = 0;
        if (!topUp()) return Leave(r, block, out, 0);
        {
            int length;
            const int32_t size = mDcOf[component]->Decode(static_cast<uint32_t>(r.buffer >> 48), &length);
            if (size == HuffmanLookup::kNoMatch || size > 16) return Leave(r, block, out, 0);
            r.buffer <<= length;
            int32_t difference = 0;
            if (size != 0) {
                difference = Extend(static_cast<int32_t>(r.buffer >> (64 - size)), size);
                r.buffer <<= size;
            }
            r.available -= length + size;
            block.Dc(mPred[component] = WrappingAdd(mPred[component], difference));
            out = block.Take();
        }
        k = 1;
        while (k <= 63) {
            if (!topUp()) break;
            const int32_t entry = ac.Combined(static_cast<uint32_t>(r.buffer >> 48));
            if (entry & HuffmanLookup::kCombinedValue) {
                const int32_t run = (entry >> 5) & 15;
                if (k + run > 63) break;
                r.buffer <<= entry & 31;
                r.available -= entry & 31;
                k += run;
                out.Ac(kZigzag[k], entry >> 16);
                ++k;
                continue;
            }
            if (entry & HuffmanLookup::kCombinedEnd) {
                r.buffer <<= entry & 31;
                r.available -= entry & 31;
                k = 64;
                break;
            }
            int length;
            const int32_t symbol = ac.Decode(static_cast<uint32_t>(r.buffer >> 48), &length);
            if (symbol == HuffmanLookup::kNoMatch) break;
            const int32_t run = symbol >> 4;
            const int32_t size = symbol & 15;
            if (size == 0) {
                if (symbol == 0) {
                    r.buffer <<= length;
                    r.available -= length;
                    k = 64;
                    break;
                }
                if (run != 15 || k + 15 > 63) break;
                r.buffer <<= length;  // sixteen zeros
                r.available -= length;
                k += 16;
                continue;
            }
            if (k + run > 63) break;
            r.buffer <<= length;
            const int32_t bits = static_cast<int32_t>(r.buffer >> (64 - size));
            r.buffer <<= size;
            r.available -= length + size;
            k += run;
            out.Ac(kZigzag[k], Extend(bits, size));
            ++k;
        }
        return Leave(r, block, out, k);
    }

    int32_t Leave(const BitReader::Registers& r, PackedBlock& block, const PackedBlock::Registers& out, int32_t k)
    {
        mReader.Give(r);
        block.Give(out);
        return k;
    }

    // One block: the fast loop, then, from the code it stopped before, the
    // careful one, with the reader's checks at every code.
    void DecodeBlock(int32_t component, PackedBlock& block)
    {
        int32_t k = DecodeBlockFast(component, block);
        if (k > 63) return;
        if (k == 0) {
            mReader.Fill();
            const int32_t size = DecodeSymbol(*mDcOf[component]);
            const int32_t difference = size == 0 ? 0 : ReceiveDcDifference(size);
            block.Dc(mPred[component] = WrappingAdd(mPred[component], difference));
            k = 1;
        }

        const HuffmanLookup& ac = *mAcOf[component];
        while (k <= 63) {
            mReader.Fill();
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
            if (value != 0) block.Ac(kZigzag[k], value);
            ++k;
        }
    }

    ScanSetup& mSetup;
    HuffmanLookup mDc[3], mAc[3];
    const HuffmanLookup* mDcOf[3] = {};  // the lookup of each component
    const HuffmanLookup* mAcOf[3] = {};
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
    // planes, in chunks of at most chunkMcus MCUs (what the strip holds).
    // Needs McusAreIndependent.
    void TransformSegment(const int32_t* packed, int32_t first, int32_t count, const Strip& strip,
                          int32_t chunkMcus) const
    {
        for (int32_t done = 0; done < count; done += chunkMcus)
            packed = TransformChunk(packed, first + done, std::min(chunkMcus, count - done), strip);
    }

    // Every block of the chunk into the strip at its component's resolution,
    // then the strip converted a row of samples at a time, which gives each
    // plane row one run of writes. Returns the end of the chunk's blocks.
    const int32_t* TransformChunk(const int32_t* packed, int32_t first, int32_t count, const Strip& strip) const
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
        if (n <= 0) return packed;
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
        return packed;
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

// The decoded blocks of a segment (MCUs of one MCU row that one thread
// transforms) are held packed, in a buffer of at most kSegmentWords words;
// a segment is a whole MCU row where that fits. Whole rows let each thread
// write plane pages of its own (two threads writing one page make both of
// them wait for it, and on a fresh page both take the page fault). The
// transforms go through a segment in chunks of about kChunkBlocks blocks,
// whose samples stay in the nearest caches.
constexpr int32_t kSegmentWords = 1 << 16;
constexpr int32_t kChunkBlocks = 256;

int32_t McuWords(const ScanSetup& s)
{
    return BlocksPerMcu(s) * kMaxPackedWords;
}

int32_t ChunkMcus(const ScanSetup& s)
{
    return std::max<int32_t>(1, std::min(kChunkBlocks / BlocksPerMcu(s), s.mcusX));
}

// Words of a segment buffer: a whole MCU row at the most, at least one MCU.
std::size_t SegmentWords(const ScanSetup& s)
{
    const int64_t row = int64_t{McuWords(s)} * s.mcusX;
    return static_cast<std::size_t>(std::max<int64_t>(McuWords(s), std::min<int64_t>(row, kSegmentWords)));
}

// Decodes the MCUs of a segment from MCU column `column` on into the buffer
// of `words` words; returns how many: up to the end of the row, as many as
// the buffer holds with room for the largest MCU.
int32_t DecodeSegment(const ScanSetup& s, EntropyDecoder& entropy, int32_t column, int32_t* buffer,
                      std::size_t words)
{
    const int32_t mcuWords = McuWords(s);
    int32_t* const end = buffer + words;
    int32_t* packed = buffer;
    int32_t count = 0;
    while (column + count < s.mcusX && end - packed >= mcuWords) {
        packed = entropy.DecodeMcu(packed);
        ++count;
    }
    return count;
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
    const std::size_t words = SegmentWords(setup);
    const int32_t chunk = ChunkMcus(setup);
    std::unique_ptr<int32_t[]> blocks(new (std::nothrow) int32_t[words]);
    Strip strip;
    if (!blocks || !transformer.PrepareStrip(strip, chunk)) {
        DecodeMcuByMcu(setup, entropy, transformer);
        return;
    }
    for (int32_t row = 0; row < setup.mcusY; ++row) {
        for (int32_t column = 0, count; column < setup.mcusX; column += count) {
            count = DecodeSegment(setup, entropy, column, blocks.get(), words);
            transformer.TransformSegment(blocks.get(), row * setup.mcusX + column, count, strip, chunk);
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
        mSlotWords = SegmentWords(mSetup);
        mChunkMcus = ChunkMcus(mSetup);
        mBlocks.reset(new (std::nothrow) int32_t[mSlotWords * kSlots]);
        if (!mBlocks) return false;
        for (int i = 0; i < kSlots; ++i) mSlots[i].blocks = mBlocks.get() + mSlotWords * i;
        if (!mTransformer.PrepareStrip(mOwnStrip, mChunkMcus) ||
            !mTransformer.PrepareStrip(mWorkerStrip, mChunkMcus))
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
            for (int32_t column = 0, count; column < mSetup.mcusX; column += count) {
                Slot& slot = AcquireFreeSlot();
                slot.first = row * mSetup.mcusX + column;
                slot.count = count = DecodeSegment(mSetup, mEntropy, column, slot.blocks, mSlotWords);
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
    void Changed() { mChanged.notify_all(); }

    // Waits for a change (callers look again at the slots: a wait may also
    // end without one).
    void Wait(std::unique_lock<std::mutex>& lock) { mChanged.wait(lock); }

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
        mTransformer.TransformSegment(slot.blocks, slot.first, slot.count, strip, mChunkMcus);
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
    std::size_t mSlotWords = 0;
    int32_t mChunkMcus = 1;
    std::unique_ptr<int32_t[]> mBlocks;
    Strip mOwnStrip, mWorkerStrip;
    Slot mSlots[kSlots];
    std::mutex mMutex;
    std::condition_variable mChanged;
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
