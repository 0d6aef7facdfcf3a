#include "HuffmanLookup.h"

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
    // Entries of one length form one run with consecutive codes (canonical
    // codes, T.81 Figure C.2).
    for (int32_t j = 0; j < table.count; ++j) {
        const int32_t length = table.sizeT[j];
        if (mNumber[length]++ == 0) {
            mFirstCode[length] = table.codeT[j];
            mFirstIndex[length] = j;
        }
        mMaxLength = length;
    }

    for (uint32_t bits = 0; bits < (1u << kLookupBits); ++bits) {
        uint16_t entry = 0;
        if (table.count == 0) {
            entry = kKnown | kFail;  // fails before reading a bit
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
        if (symbol == 0 && length > 0) {
            entry = kCombinedEnd | length;
        } else if (symbol > 0 && (symbol & 15) != 0 && length + (symbol & 15) <= kCombinedBits) {
            const int size = symbol & 15;
            const int run = symbol >> 4;
            const int32_t raw = static_cast<int32_t>((next16 >> (16 - length - size)) & ((1u << size) - 1u));
            // T.81 EXTEND.
            const int32_t value = (raw >> (size - 1)) != 0 ? raw : raw + 1 - (1 << size);
            entry = static_cast<int32_t>(static_cast<uint32_t>(value) << 16) | kCombinedValue | (run << 5) |
                    (length + size);
        }
        mCombined[bits] = entry;
    }
}

int32_t HuffmanLookup::DecodeLong(uint32_t next16, int* length) const
{
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
