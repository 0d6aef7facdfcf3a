// Entropy decoding of sequential scans in the fast form (T.81 F.2.2): one
// block at a time, the DC difference with its predictor, then the AC
// run/size pairs, with the outcome of the reference's DecodeHuffman for
// every input: the same coefficients, errors and reader position.
#pragma once

#include <cstdint>

#include "JpegArithmetic.h"
#include "JpegTables.h"
#include "PackedBlock.h"
#include "ScanReader.h"

#if defined(__GNUC__)
#define JPEGFAST_INLINE inline __attribute__((always_inline))
#else
#define JPEGFAST_INLINE inline
#endif

namespace jpegfast {

// Cache-line aligned: its reader state is written for every code, while the
// second thread reads what lies around it on the stack.
class alignas(64) SequentialDecoder {
public:
    // The scan's components in scan order, with their DC and AC tables.
    SequentialDecoder(int32_t count, const HuffmanTableView* dc, const HuffmanTableView* ac, const StreamState& start,
                      SearchMarkerFunction search, void* context)
        : mReader(start, search, context)
    {
        mLookups.Build(count, dc, ac, true);
    }

    // One block of scan component c (inlined into the MCU loops: it is the
    // heart of the pass).
    JPEGFAST_INLINE void DecodeBlock(int32_t c, PackedBlock& block)
    {
        int32_t k = DecodeBlockFast(c, block);
        if (k > 63) return;
        if (k == 0) {
            const int32_t size = mReader.DecodeSymbol(mLookups.Dc(c));
            const int32_t difference = size == 0 ? 0 : ReceiveDcDifference(size);
            block.Dc(mPred[c] = jpegmath::WrappingAdd(mPred[c], difference));
            k = 1;
        }

        const HuffmanLookup& ac = mLookups.Ac(c);
        BitReader& bits = mReader.bits;
        while (k <= 63) {
            const int32_t runSize = mReader.DecodeSymbol(ac);
            if (runSize == 0) break;  // end of block
            const int32_t run = runSize >> 4;
            const int32_t acSize = runSize & 15;
            int32_t value = 0;
            if (acSize != 0) {
                value = jpegmath::Extend(bits.GetBits(acSize), acSize);
            } else if (run != 15) {
                throw EDataFormatError{bits.Position(), "DecodeHuffman:wrong Huffman value"};
            }
            if (k + run > 63) throw EDataFormatError{bits.Position(), "DecodeHuffman:wrong Run length"};
            k += run;
            if (value != 0) block.Ac(kZigzag[k], value);
            ++k;
        }
    }

    // The marker search at the end of a restart interval; an RST marker
    // starts the predictors afresh.
    void Restart()
    {
        if (mReader.Restart()) mPred[0] = mPred[1] = mPred[2] = 0;
    }

    StreamState State() const { return mReader.State(); }
    bool InMarkerSearch() const { return mReader.InMarkerSearch(); }

private:
    int32_t ReceiveDcDifference(int32_t size)
    {
        if (size < 32) return jpegmath::Extend(mReader.bits.GetBits(size), size);
        // Never in baseline data: the bits are read in pieces and dropped.
        for (int32_t left = size; left > 0; left -= 16) {
            const int32_t bits = mReader.bits.GetBits(left < 16 ? left : 16);
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
    JPEGFAST_INLINE int32_t DecodeBlockFast(int32_t c, PackedBlock& block)
    {
        BitReader& reader = mReader.bits;
        const HuffmanLookup& ac = mLookups.Ac(c);
        BitReader::Registers r = reader.Take();
        PackedBlock::Registers out = block.Take();
        auto topUp = [&]() -> bool {
            if (reader.RefillWord(r)) return true;
            if (r.available >= 32) return true;
            reader.Give(r);
            reader.Fill();
            r = reader.Take();
            return r.available >= 32;
        };
        int32_t k = 0;
        if (!topUp()) return Leave(r, block, out, 0);
        {
            int length;
            const int32_t size = mLookups.Dc(c).Decode(static_cast<uint32_t>(r.buffer >> 48), &length);
            if (size == HuffmanLookup::kNoMatch || size > 16) return Leave(r, block, out, 0);
            r.buffer <<= length;
            int32_t difference = 0;
            if (size != 0) {
                difference = jpegmath::Extend(static_cast<int32_t>(r.buffer >> (64 - size)), size);
                r.buffer <<= size;
            }
            r.available -= length + size;
            block.Dc(mPred[c] = jpegmath::WrappingAdd(mPred[c], difference));
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
            out.Ac(kZigzag[k], jpegmath::Extend(bits, size));
            ++k;
        }
        return Leave(r, block, out, k);
    }

    int32_t Leave(const BitReader::Registers& r, PackedBlock& block, const PackedBlock::Registers& out, int32_t k)
    {
        mReader.bits.Give(r);
        block.Give(out);
        return k;
    }

    ScanReader mReader;
    ScanLookups mLookups;
    int32_t mPred[jpegscan::kMaxScanComponents] = {};
};

}  // namespace jpegfast
