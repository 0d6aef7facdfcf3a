// Huffman lookup tables against the bit-by-bit search they replace, on every
// kind of table a DHT segment can define and on bit strings that end early
// (a marker or the end of the data after a few bits).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "HuffmanLookup.h"

namespace {

// A table built as the decoder builds it from the 16 counts (T.81 Figures
// C.1 and C.2).
struct Table {
    std::vector<int32_t> sizeT, codeT, valueT;
    jpegfast::HuffmanTableView View() const
    {
        jpegfast::HuffmanTableView view;
        view.count = static_cast<int32_t>(sizeT.size());
        view.sizeT = sizeT.data();
        view.codeT = codeT.data();
        view.valueT = valueT.data();
        return view;
    }
};

Table MakeTable(const int counts[16], std::mt19937& random)
{
    Table t;
    for (int length = 1; length <= 16; ++length)
        for (int n = 0; n < counts[length - 1]; ++n) t.sizeT.push_back(length);
    const int32_t count = static_cast<int32_t>(t.sizeT.size());
    t.codeT.resize(count);
    if (count > 0) {
        int32_t code = 0, k = 0, size = t.sizeT[0];
        for (;;) {
            while (k < count && t.sizeT[k] == size) t.codeT[k++] = code++;
            if (k >= count) break;
            while (size != t.sizeT[k]) {
                code *= 2;
                ++size;
            }
        }
    }
    for (int32_t i = 0; i < count; ++i) t.valueT.push_back(static_cast<int32_t>(random() & 0xFF));
    return t;
}

enum Kind { kSymbol, kLengthOver, kRanOut };
struct Outcome {
    Kind kind;
    int32_t symbol;
    int length;
    bool operator==(const Outcome& o) const
    {
        return kind == o.kind && (kind != kSymbol || (symbol == o.symbol && length == o.length));
    }
};

// The decoder's search: one bit at a time, the entries of each length in
// turn. available: bits before the data runs out.
Outcome LinearSearch(const Table& t, uint32_t bits16, int available)
{
    const int32_t count = static_cast<int32_t>(t.sizeT.size());
    int32_t code = 0, length = 0, j = 0;
    while (j < count && length < 16) {
        if (length >= available) return {kRanOut, 0, length};
        const int32_t bit = (bits16 >> (15 - length)) & 1;
        ++length;
        code = code * 2 + bit;
        while (j < count && t.sizeT[j] == length) {
            if (t.codeT[j] == code) return {kSymbol, t.valueT[j], length};
            ++j;
        }
    }
    return {kLengthOver, 0, length};
}

Outcome Lookup(const jpegfast::HuffmanLookup& lookup, uint32_t bits16, int available)
{
    // Bits past the available ones read as zeros, as the bit reader has them.
    const uint32_t masked = available >= 16 ? bits16 : (bits16 & ~(0xFFFFu >> available));
    int length = 0;
    const int32_t symbol = lookup.Decode(masked, &length);
    if (length > available) return {kRanOut, 0, length};
    if (symbol == jpegfast::HuffmanLookup::kNoMatch) return {kLengthOver, 0, length};
    return {kSymbol, symbol, length};
}

TEST(FastHuffman, LookupEqualsBitByBitSearch)
{
    std::mt19937 random(42);
    std::vector<std::vector<int>> countSets = {
        {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0},        // luminance DC, T.81 K.3
        {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125},      // luminance AC, T.81 K.5
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},        // no entries
        {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},        // one 1-bit code
        {3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},        // overfilled at length 1
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3},        // only long codes
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},        // one 16-bit code
        {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255},  // 4080 entries
        {0, 3, 2, 2, 0, 0, 7, 0, 200, 100, 0, 0, 0, 0, 0, 0},    // over 256, overfilled at 9
        {0, 0, 0, 0, 0, 0, 0, 0, 300, 0, 0, 0, 0, 0, 0, 0},      // fails after exactly 9 bits
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0},        // fails after 10 bits
    };
    for (int n = 0; n < 300; ++n) {  // random tables, sparse and crowded
        std::vector<int> counts(16);
        const int crowd = n % 3;
        for (int& c : counts) c = std::uniform_int_distribution<int>(0, crowd == 0 ? 2 : crowd == 1 ? 8 : 40)(random);
        if (n % 5 == 0)
            for (int i = 0; i < 16; ++i)
                if (random() % 3) counts[i] = 0;
        countSets.push_back(counts);
    }
    std::vector<Table> tables;
    for (const std::vector<int>& counts : countSets) tables.push_back(MakeTable(counts.data(), random));
    // Tables that a failed analysis leaves behind, half built: lengths not
    // yet filled (0), codes not yet computed (0), lengths out of order.
    Table partial = MakeTable(countSets[1].data(), random);
    std::fill(partial.sizeT.begin() + 40, partial.sizeT.end(), 0);
    tables.push_back(partial);
    Table noCodes = MakeTable(countSets[0].data(), random);
    std::fill(noCodes.codeT.begin(), noCodes.codeT.end(), 0);
    tables.push_back(noCodes);
    Table disordered = MakeTable(countSets[0].data(), random);
    std::swap(disordered.sizeT[2], disordered.sizeT[8]);
    tables.push_back(disordered);
    for (size_t s = 0; s < tables.size(); ++s) {
        const Table& table = tables[s];
        jpegfast::HuffmanLookup lookup;
        lookup.Build(table.View());
        int failures = 0;
        for (uint32_t bits = 0; bits < 65536 && failures < 3; bits += (s < 11 || s >= countSets.size() ? 1 : 7)) {
            for (int available : {0, 1, 3, 8, 9, 10, 15, 16}) {
                const Outcome expected = LinearSearch(table, bits, available);
                const Outcome actual = Lookup(lookup, bits, available);
                if (!(expected == actual)) {
                    ADD_FAILURE() << "table " << s << " bits " << std::hex << bits << std::dec << " available "
                                  << available << ": expected kind " << expected.kind << " symbol "
                                  << expected.symbol << " length " << expected.length << ", got kind "
                                  << actual.kind << " symbol " << actual.symbol << " length " << actual.length;
                    ++failures;
                }
            }
        }
    }
}

// The combined lookup of AC tables (symbol and magnitude bits at once) gives
// what the search followed by the magnitude read gives, wherever it answers.
TEST(FastHuffman, CombinedLookupEqualsSearchAndMagnitude)
{
    std::mt19937 random(8);
    const int k5[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125};
    const int longEnd[16] = {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0};  // some symbols, 0 among them, long
    const int crowded[16] = {0, 0, 3, 5, 9, 20, 30, 0, 60, 0, 0, 0, 0, 0, 0, 40};
    for (const int* counts : {k5, longEnd, crowded}) {
        int answered = 0;
        for (int trial = 0; trial < 20; ++trial) {
            const Table table = MakeTable(counts, random);
            jpegfast::HuffmanLookup lookup;
            lookup.Build(table.View());
            lookup.BuildCombined();
            for (uint32_t bits = 0; bits < 65536; bits += 3) {
                const int32_t entry = lookup.Combined(bits);
                if (entry == 0) continue;
                ++answered;
                const Outcome search = LinearSearch(table, bits, 16);
                ASSERT_EQ(search.kind, kSymbol) << std::hex << bits;
                if (entry & jpegfast::HuffmanLookup::kCombinedEnd) {
                    EXPECT_EQ(search.symbol, 0);
                    EXPECT_EQ(entry & 31, search.length);
                    continue;
                }
                const int size = search.symbol & 15;
                ASSERT_GT(size, 0);
                const int32_t raw = static_cast<int32_t>((bits >> (16 - search.length - size)) & ((1u << size) - 1));
                const int32_t value = (raw >> (size - 1)) ? raw : raw + 1 - (1 << size);
                EXPECT_EQ(entry >> 16, value) << std::hex << bits;
                EXPECT_EQ((entry >> 5) & 15, search.symbol >> 4);
                EXPECT_EQ(entry & 31, search.length + size);
            }
        }
        EXPECT_GT(answered, 0);
    }
}

}  // namespace
