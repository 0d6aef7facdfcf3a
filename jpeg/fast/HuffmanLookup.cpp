#include "HuffmanLookup.h"

#include "JpegArithmetic.h"

namespace jpegfast {

void HuffmanLookup::Build(const HuffmanTableView& table)
{
    for (int length = 0; length <= 16; ++length) {
        mFirstCode[length] = 0;
        mNumber[length] = 0;
        mFirstIndex[length] = 0;
    }
    mMaxLength = 0;
    mValues = table.valueT;
    mTable = table;
    mIrregular = false;
    // Entries of one length form one run with consecutive codes (canonical
    // codes, T.81 Figure C.2). A table that a failed analysis left partly
    // filled (lengths of 0, codes not yet computed, arrays missing) is not
    // of that form; it is searched entry by entry as the reference does.
    if (table.count > 0 && (table.sizeT == nullptr || table.codeT == nullptr || table.valueT == nullptr)) {
        mTable.count = 0;  // nothing that can be read
    }
    for (int32_t j = 0; j < mTable.count && !mIrregular; ++j) {
        const int32_t length = table.sizeT[j];
        if (length < 1 || length > 16 || length < mMaxLength) {
            mIrregular = true;
        } else if (mNumber[length]++ == 0) {
            mFirstCode[length] = table.codeT[j];
            mFirstIndex[length] = j;
        } else if (table.codeT[j] != mFirstCode[length] + (j - mFirstIndex[length])) {
            mIrregular = true;
        }
        mMaxLength = length;
    }
    const bool empty = mTable.count == 0;

    for (uint32_t bits = 0; bits < (1u << kLookupBits); ++bits) {
        uint16_t entry = 0;
        if (empty) {
            entry = kKnown | kFail;  // fails before reading a bit
        } else if (mIrregular) {
            entry = 0;  // DecodeLong searches entry by entry
        } else {
            for (int length = 1; length <= kLookupBits && length <= mMaxLength; ++length) {
                const int32_t code = static_cast<int32_t>(bits >> (kLookupBits - length));
                const int32_t offset = code - mFirstCode[length];
                if (mNumber[length] > 0 && offset >= 0 && offset < mNumber[length]) {
                    entry = static_cast<uint16_t>(kKnown | (length << 8) |
                                                  (mValues[mFirstIndex[length] + offset] & 0xFF));
                    break;
                }
            }
            if (entry == 0 && mMaxLength <= kLookupBits) {
                entry = static_cast<uint16_t>(kKnown | kFail | (mMaxLength << 8));
            }
        }
        mFast[bits] = entry;
    }
}

void HuffmanLookup::BuildCombined()
{
    for (uint32_t bits = 0; bits < (1u << kCombinedBits); ++bits) {
        int length = 0;
        const uint32_t next16 = bits << (16 - kCombinedBits);
        const int32_t symbol = Decode(next16, &length);
        int32_t entry = 0;
        // Only codes within the looked-up bits: a longer code found with the
        // rest taken as zeros need not be the code the data holds.
        if (symbol == 0 && length > 0 && length <= kCombinedBits) {
            entry = kCombinedEnd | length;
        } else if (symbol > 0 && (symbol & 15) != 0 && length + (symbol & 15) <= kCombinedBits) {
            const int size = symbol & 15;
            const int run = symbol >> 4;
            const int32_t raw = static_cast<int32_t>((next16 >> (16 - length - size)) & ((1u << size) - 1u));
            const int32_t value = jpegmath::Extend(raw, size);
            entry = static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | kCombinedValue | (run << 5) |
                    (length + size);
        }
        mCombined[bits] = entry;
    }
}

int32_t HuffmanLookup::DecodeLong(uint32_t next16, int* length) const
{
    if (mIrregular) {
        // The reference search itself, over the next 16 bits.
        int32_t code = 0, bits = 0, j = 0;
        while (j < mTable.count && bits < 16) {
            code = code * 2 + static_cast<int32_t>((next16 >> (15 - bits)) & 1);
            ++bits;
            while (j < mTable.count && mTable.sizeT[j] == bits) {
                if (mTable.codeT[j] == code) {
                    *length = bits;
                    return mTable.valueT[j] & 0xFF;
                }
                ++j;
            }
        }
        *length = bits;
        return kNoMatch;
    }
    for (int l = kLookupBits + 1; l <= mMaxLength; ++l) {
        const int32_t code = static_cast<int32_t>(next16 >> (16 - l));
        const int32_t offset = code - mFirstCode[l];
        if (mNumber[l] > 0 && offset >= 0 && offset < mNumber[l]) {
            *length = l;
            return mValues[mFirstIndex[l] + offset] & 0xFF;
        }
    }
    *length = mMaxLength;
    return kNoMatch;
}

}  // namespace jpegfast
