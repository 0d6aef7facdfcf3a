// Huffman symbols by table lookup, with exactly the outcome of the decoder's
// bit-by-bit search (entries of each code length compared in turn, shortest
// length first), on every table a DHT segment can define: codes that overfill
// their length's code space and are never matched, tables with no entries,
// tables of more than 256 entries.
//
// The search over a given bit string ends at a known length T: the length of
// the first entry whose code equals the first T bits (a symbol), or the
// largest code length of the table (no entry matched: "length over"), or 0
// for a table with no entries. It reads exactly T bits. A caller with fewer
// than T bits before a marker or the end of the data gets what the bit-by-bit
// search gets there.
#pragma once

#include <cstdint>

namespace jpegfast {

// A table as the decoder holds it (T.81 Annex C order).
struct HuffmanTableView {
    int32_t count = 0;
    const int32_t* sizeT = nullptr;
    const int32_t* codeT = nullptr;
    const int32_t* valueT = nullptr;
};

class HuffmanLookup {
public:
    static constexpr int kLookupBits = 9;
    static constexpr int32_t kNoMatch = -1;

    void Build(const HuffmanTableView& table);

    // AC tables: run/size symbol and magnitude bits in one lookup of the next
    // kCombinedBits bits, where both fit (the common short codes). An entry
    // is 0 when it does not apply; else
    //   kCombinedValue | (run << 5) | bits, value in the high 16 bits: a
    //     coefficient of `run` zeros and value, taking `bits` bits in all;
    //   kCombinedEnd | bits: end of block.
    // Only valid with at least 16 bits available (no marker or end within
    // them), where it gives what the symbol search and GetBits give.
    static constexpr int kCombinedBits = 12;
    static constexpr int32_t kCombinedValue = 0x200;
    static constexpr int32_t kCombinedEnd = 0x400;
    void BuildCombined();
    int32_t Combined(uint32_t next16) const { return mCombined[next16 >> (16 - kCombinedBits)]; }

    // next16: the next 16 bits, first bit most significant (zeros where the
    // data has none). Returns the symbol, or kNoMatch; *length receives T.
    int32_t Decode(uint32_t next16, int* length) const
    {
        const uint16_t entry = mFast[next16 >> (16 - kLookupBits)];
        if (entry & kKnown) {
            *length = (entry >> 8) & 0x1F;
            return (entry & kFail) ? kNoMatch : (entry & 0xFF);
        }
        return DecodeLong(next16, length);
    }

private:
    static constexpr uint16_t kKnown = 0x8000;
    static constexpr uint16_t kFail = 0x4000;

    int32_t DecodeLong(uint32_t next16, int* length) const;

    // Per code length L: the first code, the number of entries and the index
    // of the first entry.
    int32_t mFirstCode[17] = {};
    int32_t mNumber[17] = {};
    int32_t mFirstIndex[17] = {};
    int32_t mMaxLength = 0;
    const int32_t* mValues = nullptr;
    HuffmanTableView mTable;
    bool mIrregular = false;  // not in canonical form: searched entry by entry
    // Outcome for the next kLookupBits bits: kKnown | (T << 8) | symbol, or
    // kKnown | kFail | (T << 8); 0 when the search goes on past kLookupBits.
    uint16_t mFast[1 << kLookupBits] = {};
    int32_t mCombined[1 << kCombinedBits] = {};
};

}  // namespace jpegfast
