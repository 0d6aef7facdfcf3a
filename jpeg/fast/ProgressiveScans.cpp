// Progressive scans in the fast form, one decoder for each kind of scan,
// chosen once per scan: the block logic that both forms share
// (JpegProgressiveFirst.h) over the buffered bit reader and lookup tables
// of ScanReader for DC scans; register-resident loops for AC first scans
// (falling back to the shared logic) and AC refinement scans (tested
// against the reference's JpegProgressiveRefine.h), where the time goes.
#include "JpegProgressiveFirst.h"
#include "JpegProgressiveRefine.h"
#include "PackedBlock.h"
#include "StoredScan.h"

namespace jpegfast {
namespace {

// The bits of one progressive scan.
class FastBits {
public:
    // combined: the AC lookups with their combined symbol-and-magnitude
    // tables.
    explicit FastBits(const StoredScanSetup& setup, bool combined = false)
        : mReader(setup.reader.stream, setup.reader.searchMarker, setup.reader.context)
    {
        const bool dc = setup.layout.ss == 0;
        mLookups.Build(setup.layout.count, dc ? setup.dc : nullptr, dc ? nullptr : setup.ac, combined);
    }

    int32_t Symbol(int32_t tableClass, int32_t i)
    {
        return mReader.DecodeSymbol(tableClass == 0 ? mLookups.Dc(i) : mLookups.Ac(i));
    }
    int32_t Bits(int32_t count) { return mReader.ReceiveBits(count); }
    const uint8_t* Position() const { return mReader.bits.Position(); }

    ScanReader& Reader() { return mReader; }
    const ScanReader& Reader() const { return mReader; }
    const ScanLookups& Lookups() const { return mLookups; }

private:
    ScanReader mReader;
    ScanLookups mLookups;
};

// DC first and DC refinement scans: the shared block logic over FastBits,
// and what an RST marker starts afresh (the DC predictors).
template <jpegscan::ScanKind kKind>
class DcDecoder {
public:
    explicit DcDecoder(const StoredScanSetup& setup) : mScan(setup.layout), mBits(setup) {}

    void Block(int32_t i, int16_t* block)
    {
        if constexpr (kKind == jpegscan::ScanKind::kDcFirst) {
            jpegscan::DecodeDcFirstBlock(mBits, mScan, i, mPred[i], block);
        } else {
            jpegscan::DecodeDcRefineBlock(mBits, mScan, block);
        }
    }

    void Restart()
    {
        if (mBits.Reader().Restart()) mPred[0] = mPred[1] = mPred[2] = 0;
    }

    StreamState State() const { return mBits.Reader().State(); }
    bool InMarkerSearch() const { return mBits.Reader().InMarkerSearch(); }

private:
    const jpegscan::ScanLayout& mScan;
    FastBits mBits;
    int32_t mPred[jpegscan::kMaxScanComponents] = {};
};

// The reader's buffer in registers; Give hands it back before anything
// else reads, Load takes it again after.
struct BufferRegisters {
    BitReader& bits;
    BitReader::Registers r;

    // At least count (1 to 32) bits in the buffer, unless a marker or
    // the end of the data comes first.
    bool TopUp(int count)
    {
        if (r.available >= count || bits.RefillWord(r)) return true;
        Give();
        bits.Fill();
        Load();
        return r.available >= count;
    }
    uint32_t Peek16() const { return static_cast<uint32_t>(r.buffer >> 48); }
    void Skip(int count)
    {
        r.buffer <<= count;
        r.available -= count;
    }
    // count bits that are in the buffer.
    uint32_t Take(int count)
    {
        const uint32_t value = static_cast<uint32_t>(r.buffer >> (64 - count));
        Skip(count);
        return value;
    }
    void Give() { bits.Give(r); }
    void Load() { r = bits.Take(); }
};

// AC first scans (T.81 G.1.2.2) with the outcome of
// jpegscan::DecodeAcFirstBlock, bit for bit: with at least 32 bits in the
// buffer (a code and its magnitude never take more), each code is decoded
// in registers, the common short codes with their magnitudes in one
// lookup. At anything else (fewer bits before a marker or the end of the
// data, no match, a run past the band) the rest of the block goes to the
// shared block logic over the careful reads, which gives the errors.
class AcFirstDecoder {
public:
    explicit AcFirstDecoder(const StoredScanSetup& setup) : mScan(setup.layout), mBits(setup, true) {}

    void Block(int32_t, int16_t* block)
    {
        if (mEobRun > 0) {
            --mEobRun;
            return;
        }
        BitReader& bits = mBits.Reader().bits;
        const HuffmanLookup& ac = mBits.Lookups().Ac(0);
        const int32_t se = mScan.se, al = mScan.al;
        BufferRegisters r{bits, bits.Take()};
        int32_t k = mScan.ss;
        while (k <= se && r.TopUp(32)) {
            const int32_t entry = ac.Combined(r.Peek16());
            if (entry & HuffmanLookup::kCombinedValue) {
                const int32_t run = (entry >> 5) & 15;
                if (k + run > se) break;
                r.Skip(entry & 31);
                k += run;
                block[k] = jpegmath::StoreCoefficient(jpegmath::WrappingShiftLeft(entry >> 16, al));
                ++k;
                continue;
            }
            if (entry & HuffmanLookup::kCombinedEnd) {  // EOB0: this block only
                r.Skip(entry & 31);
                r.Give();
                return;
            }
            int length;
            const int32_t symbol = ac.Decode(r.Peek16(), &length);
            if (symbol == HuffmanLookup::kNoMatch) break;
            const int32_t run = symbol >> 4;
            const int32_t size = symbol & 15;
            if (size == 0 && run < 15) {
                r.Skip(length);
                mEobRun = (1 << run) - 1 + (run != 0 ? static_cast<int32_t>(r.Take(run)) : 0);
                r.Give();
                return;
            }
            if (k + run > se) break;
            r.Skip(length);
            k += run;
            if (size != 0) {
                const int32_t value = jpegmath::Extend(static_cast<int32_t>(r.Take(size)), size);
                block[k] = jpegmath::StoreCoefficient(jpegmath::WrappingShiftLeft(value, al));
            }
            ++k;
        }
        r.Give();
        jpegscan::DecodeAcFirstFrom(mBits, mScan, mEobRun, block, k);
    }

    void Restart()
    {
        if (mBits.Reader().Restart()) mEobRun = 0;
    }

    StreamState State() const { return mBits.Reader().State(); }
    bool InMarkerSearch() const { return mBits.Reader().InMarkerSearch(); }

private:
    const jpegscan::ScanLayout& mScan;
    FastBits mBits;
    int32_t mEobRun = 0;
};

// kBitInByte.at[v][i]: the position of the (i + 1)-th set bit of v.
struct BitInByte {
    uint8_t at[256][8];
    constexpr BitInByte() : at{}
    {
        for (int v = 0; v < 256; ++v) {
            int i = 0;
            for (int b = 0; b < 8; ++b) {
                if ((v >> b) & 1) at[v][i++] = static_cast<uint8_t>(b);
            }
        }
    }
};
constexpr BitInByte kBitInByte{};

// AC refinement scans (T.81 G.1.2.3) with the outcome of
// jpegscan::DecodeAcRefineBlock, bit for bit, read faster: the block's
// coefficients that are already non-zero as a bit mask (the store keeps a
// band as a run of coefficients), the coefficient a symbol places found in
// it at once, and the reader's buffer kept in registers, so that symbols,
// signs and correction bits are taken from it directly. Near a marker or
// the end of the data, where the buffer cannot be filled, each read goes
// through the careful reads of ScanReader, which fail exactly where the
// reference's bit-by-bit reads fail.
class AcRefineDecoder {
public:
    explicit AcRefineDecoder(const StoredScanSetup& setup)
        : mScan(setup.layout),
          mReader(setup.reader.stream, setup.reader.searchMarker, setup.reader.context),
          mBit(1 << setup.layout.al),
          mBand(From(setup.layout.ss) & ~From(setup.layout.se + 1))
    {
        mLookups.Build(1, nullptr, setup.ac, false);
    }

    void Block(int32_t, int16_t* block)
    {
        BitReader& bits = mReader.bits;
        BufferRegisters r{bits, bits.Take()};
        const uint64_t present = NonZeroMask(block);
        int32_t k = mScan.ss;
        if (mEobRun == 0) {
            while (k <= mScan.se) {
                int32_t run, size, value = 0;
                if (r.TopUp(32)) {
                    int length;
                    const int32_t symbol = mLookups.Ac(0).Decode(r.Peek16(), &length);
                    if (symbol == HuffmanLookup::kNoMatch) {
                        r.Give();
                        mReader.DecodeSymbol(mLookups.Ac(0));  // throws "length over"
                    }
                    r.Skip(length);
                    run = symbol >> 4;
                    size = symbol & 15;
                    if (size == 1) {
                        value = r.Take(1) != 0 ? mBit : -mBit;
                    } else if (size == 0 && run != 15) {
                        mEobRun = (1 << run) + (run != 0 ? static_cast<int32_t>(r.Take(run)) : 0);
                        break;
                    }
                } else {
                    r.Give();
                    const int32_t symbol = mReader.DecodeSymbol(mLookups.Ac(0));
                    run = symbol >> 4;
                    size = symbol & 15;
                    if (size == 1) {
                        value = mReader.ReceiveBits(1) != 0 ? mBit : -mBit;
                    } else if (size == 0 && run != 15) {
                        mEobRun = (1 << run) + (run != 0 ? mReader.ReceiveBits(run) : 0);
                        r.Load();
                        break;
                    }
                    r.Load();
                }
                if (size > 1) {
                    r.Give();
                    throw EDataFormatError{bits.Position(), "DecodeHuffman:wrong Huffman value"};
                }
                // The (run + 1)-th coefficient from k on that is still zero.
                const uint64_t ahead = mBand & From(k);
                const int32_t target = SelectBit(ahead & ~present, run);
                if (target > 63) {
                    Correct(r, block, present & ahead);  // as the reference passes them
                    r.Give();
                    throw EDataFormatError{bits.Position(), "DecodeHuffman:wrong Run length"};
                }
                Correct(r, block, present & ahead & ~From(target));
                if (value != 0) block[target] = jpegmath::StoreCoefficient(value);
                k = target + 1;
            }
        }
        if (mEobRun > 0) {
            Correct(r, block, present & mBand & From(k));
            --mEobRun;
        }
        r.Give();
    }

    void Restart()
    {
        if (mReader.Restart()) mEobRun = 0;
    }

    StreamState State() const { return mReader.State(); }
    bool InMarkerSearch() const { return mReader.InMarkerSearch(); }

private:
    // Bits k to 63.
    static uint64_t From(int32_t k) { return k >= 64 ? 0 : ~uint64_t{0} << k; }

    // The position of the (n + 1)-th lowest set bit of x, 0 <= n <= 63;
    // 64 when x has no more than n. Without a loop: the bits of each byte
    // counted side by side and summed up byte after byte, which finds the
    // byte; a table finds the bit in it.
    static int32_t SelectBit(uint64_t x, int32_t n)
    {
        if (n == 0) return x == 0 ? 64 : __builtin_ctzll(x);
        constexpr uint64_t kOnes = 0x0101010101010101ull;
        constexpr uint64_t kHigh = 0x8080808080808080ull;
        uint64_t counts = x - ((x >> 1) & 0x5555555555555555ull);
        counts = (counts & 0x3333333333333333ull) + ((counts >> 2) & 0x3333333333333333ull);
        counts = (counts + (counts >> 4)) & 0x0F0F0F0F0F0F0F0Full;
        const uint64_t upTo = counts * kOnes;  // byte b: the set bits of bytes 0 to b
        // High bit of byte b where upTo(b) > n (every count is at most 64).
        const uint64_t beyond = ((upTo | kHigh) - (static_cast<uint64_t>(n + 1) * kOnes)) & kHigh;
        if (beyond == 0) return 64;
        const int32_t byte = __builtin_ctzll(beyond) >> 3;
        const int32_t before = byte == 0 ? 0 : static_cast<int32_t>((upTo >> (8 * byte - 8)) & 0xFF);
        return 8 * byte + kBitInByte.at[(x >> (8 * byte)) & 0xFF][n - before];
    }

    // A correction bit for each coefficient in mask, in order.
    void Correct(BufferRegisters& r, int16_t* block, uint64_t mask)
    {
        while (mask != 0) {
            if (!r.TopUp(1)) {
                r.Give();
                mReader.ReceiveBits(1);  // throws: a marker or the end of the data
            }
            int available = r.r.available;
            uint64_t buffer = r.r.buffer;
            const int32_t bit = mBit;
            for (; mask != 0 && available > 0; --available) {
                const int k = __builtin_ctzll(mask);
                mask &= mask - 1;
                // Without a branch: the correction bits are as good as random.
                const int32_t one = static_cast<int32_t>(buffer >> 63);
                buffer <<= 1;
                const int32_t value = block[k];
                const int32_t apply = one & static_cast<int32_t>((value & bit) == 0);
                const int32_t step = value >= 0 ? bit : -bit;
                block[k] = jpegmath::StoreCoefficient(value + (step & -apply));
            }
            r.r.buffer = buffer;
            r.r.available = available;
        }
    }

    const jpegscan::ScanLayout& mScan;
    ScanReader mReader;
    ScanLookups mLookups;
    const int32_t mBit;
    const uint64_t mBand;
    int32_t mEobRun = 0;
};

template <jpegscan::ScanKind kKind>
void Run(StoredScanSetup& setup)
{
    DcDecoder<kKind> decoder(setup);
    RunStoredScan(setup, decoder);
}

}  // namespace

void DecodeProgressiveScan(StoredScanSetup& setup)
{
    switch (setup.layout.kind) {
    case jpegscan::ScanKind::kDcFirst: Run<jpegscan::ScanKind::kDcFirst>(setup); return;
    case jpegscan::ScanKind::kDcRefine: Run<jpegscan::ScanKind::kDcRefine>(setup); return;
    case jpegscan::ScanKind::kAcFirst: {
        AcFirstDecoder decoder(setup);
        RunStoredScan(setup, decoder);
        return;
    }
    case jpegscan::ScanKind::kAcRefine: {
        AcRefineDecoder decoder(setup);
        RunStoredScan(setup, decoder);
        return;
    }
    case jpegscan::ScanKind::kSequential: return;
    }
}

}  // namespace jpegfast
