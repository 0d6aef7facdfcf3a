// A small baseline JPEG writer for the fast decoder's tests: any sampling
// factors, any Huffman tables, 8- or 16-bit quantisation tables, restart
// intervals, and coefficient blocks given value by value, so that pictures
// with random, sparse or extreme coefficients can be made, and then broken.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace fasttest {

using Bytes = std::vector<uint8_t>;

struct HuffmanDef {
    std::array<uint8_t, 16> counts{};  // counts[L - 1]: codes of length L
    std::vector<uint8_t> values;
};

// All 16 DC categories as 5-bit codes.
inline HuffmanDef DcAllCategories()
{
    HuffmanDef def;
    def.counts[4] = 16;
    for (int s = 0; s < 16; ++s) def.values.push_back(static_cast<uint8_t>(s));
    return def;
}

// Every AC run/size symbol: the common short ones (end of block, small
// sizes) with short codes, the rest with 9- and 12-bit codes; or, with
// longEndOfBlock, end of block as the first 12-bit code.
inline HuffmanDef AcAllSymbols(bool longEndOfBlock = false)
{
    HuffmanDef def;
    std::vector<uint8_t> first = {0x00, 0x01, 0x02, 0x11, 0x03, 0x21, 0x12, 0x31, 0x04, 0xF0};
    if (longEndOfBlock) first[0] = 0x05;
    def.counts[1] = 1;  // 2 bits
    def.counts[2] = 2;  // 3 bits
    def.counts[3] = 3;  // 4 bits
    def.counts[4] = 4;  // 5 bits
    std::vector<bool> used(256, false);
    for (uint8_t s : first) {
        def.values.push_back(s);
        used[s] = true;
    }
    if (longEndOfBlock) used[0] = true;  // the first of the 12-bit codes
    int nine = 0;
    for (int s = 0; s < 256; ++s) {
        if (used[s]) continue;
        if (nine == 70 && longEndOfBlock && def.counts[11] == 0) {
            def.values.push_back(0x00);
            ++def.counts[11];
        }
        def.values.push_back(static_cast<uint8_t>(s));
        if (nine < 70) ++nine; else ++def.counts[11];
    }
    def.counts[8] = static_cast<uint8_t>(nine);
    return def;
}

struct Code {
    uint32_t bits = 0;
    int length = 0;
};

// Canonical codes (T.81 Annex C) by symbol.
inline std::map<int, Code> CanonicalCodes(const HuffmanDef& def)
{
    std::map<int, Code> codes;
    uint32_t code = 0;
    size_t k = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int i = 0; i < def.counts[length - 1]; ++i) codes[def.values[k++]] = {code++, length};
        code <<= 1;
    }
    return codes;
}

class BitWriter {
public:
    void Put(uint32_t bits, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            mAcc = (mAcc << 1) | ((bits >> i) & 1u);
            if (++mCount == 8) Emit();
        }
    }
    void Pad()
    {
        while (mCount != 0) Put(1, 1);
    }
    void Marker(uint8_t code)
    {
        Pad();
        mBytes.push_back(0xFF);
        mBytes.push_back(code);
    }
    Bytes Take()
    {
        Pad();
        return mBytes;
    }

private:
    void Emit()
    {
        mBytes.push_back(static_cast<uint8_t>(mAcc));
        if (static_cast<uint8_t>(mAcc) == 0xFF) mBytes.push_back(0x00);
        mAcc = 0;
        mCount = 0;
    }
    Bytes mBytes;
    uint32_t mAcc = 0;
    int mCount = 0;
};

inline int Category(int value)
{
    unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
    int category = 0;
    for (; magnitude != 0; magnitude >>= 1) ++category;
    return category;
}

struct Component {
    int id = 1, h = 1, v = 1, tq = 0, td = 0, ta = 0;
};

struct Picture {
    int width = 16, height = 16, precision = 8;
    std::vector<Component> components;
    std::array<std::array<int, 64>, 4> quant{};  // zig-zag order
    bool quant16 = false;
    std::array<HuffmanDef, 4> dc, ac;           // by table id
    int restartInterval = 0;
};

// Coefficients of block `index` (counting all blocks in coding order) of
// component c, in zig-zag order; index 0 is the DC value itself.
using BlockSource = std::function<std::array<int, 64>(int component, long index)>;

inline void PutSegment(Bytes& out, uint8_t code, const Bytes& payload)
{
    const size_t length = payload.size() + 2;
    out.insert(out.end(), {0xFF, code, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    out.insert(out.end(), payload.begin(), payload.end());
}

// SOI and the marker segments up to and including the scan header.
inline Bytes EncodeHeader(const Picture& p)
{
    Bytes out = {0xFF, 0xD8};
    for (int t = 0; t < 4; ++t) {
        Bytes dqt = {static_cast<uint8_t>((p.quant16 ? 0x10 : 0) | t)};
        for (int k = 0; k < 64; ++k) {
            if (p.quant16) dqt.push_back(static_cast<uint8_t>(p.quant[t][k] >> 8));
            dqt.push_back(static_cast<uint8_t>(p.quant[t][k]));
        }
        PutSegment(out, 0xDB, dqt);
    }
    Bytes sof = {static_cast<uint8_t>(p.precision), static_cast<uint8_t>(p.height >> 8),
                 static_cast<uint8_t>(p.height), static_cast<uint8_t>(p.width >> 8),
                 static_cast<uint8_t>(p.width), static_cast<uint8_t>(p.components.size())};
    for (const Component& c : p.components)
        sof.insert(sof.end(), {static_cast<uint8_t>(c.id), static_cast<uint8_t>(c.h << 4 | c.v),
                               static_cast<uint8_t>(c.tq)});
    PutSegment(out, 0xC0, sof);
    for (int cls = 0; cls < 2; ++cls) {
        for (int id = 0; id < 4; ++id) {
            const HuffmanDef& def = cls == 0 ? p.dc[id] : p.ac[id];
            if (def.values.empty()) continue;
            Bytes dht = {static_cast<uint8_t>(cls << 4 | id)};
            dht.insert(dht.end(), def.counts.begin(), def.counts.end());
            dht.insert(dht.end(), def.values.begin(), def.values.end());
            PutSegment(out, 0xC4, dht);
        }
    }
    if (p.restartInterval > 0)
        PutSegment(out, 0xDD, {static_cast<uint8_t>(p.restartInterval >> 8), static_cast<uint8_t>(p.restartInterval)});
    Bytes sos = {static_cast<uint8_t>(p.components.size())};
    for (const Component& c : p.components)
        sos.insert(sos.end(), {static_cast<uint8_t>(c.id), static_cast<uint8_t>(c.td << 4 | c.ta)});
    sos.insert(sos.end(), {0, 63, 0});
    PutSegment(out, 0xDA, sos);
    return out;
}

// The whole byte image: header, scan data, EOI.
inline Bytes EncodePicture(const Picture& p, const BlockSource& blocks)
{
    Bytes out = EncodeHeader(p);

    // The MCU layout the decoder uses: one block per MCU for one component.
    const int n = static_cast<int>(p.components.size());
    int hMax = 1, vMax = 1;
    if (n > 1) {
        for (const Component& c : p.components) {
            hMax = std::max(hMax, c.h);
            vMax = std::max(vMax, c.v);
        }
    }
    const int mcusX = ((p.width + 7) / 8 + hMax - 1) / hMax;
    const int mcusY = ((p.height + 7) / 8 + vMax - 1) / vMax;
    std::vector<std::map<int, Code>> dcCodes, acCodes;
    for (int id = 0; id < 4; ++id) {
        dcCodes.push_back(CanonicalCodes(p.dc[id]));
        acCodes.push_back(CanonicalCodes(p.ac[id]));
    }
    BitWriter bits;
    std::vector<int> predictor(n, 0);
    std::vector<long> blockIndex(n, 0);
    const long mcus = static_cast<long>(mcusX) * mcusY;
    for (long m = 0; m < mcus; ++m) {
        if (p.restartInterval > 0 && m > 0 && m % p.restartInterval == 0) {
            bits.Marker(static_cast<uint8_t>(0xD0 + (m / p.restartInterval - 1) % 8));
            std::fill(predictor.begin(), predictor.end(), 0);
        }
        for (int c = 0; c < n; ++c) {
            const Component& comp = p.components[c];
            const int count = n == 1 ? 1 : comp.h * comp.v;
            for (int b = 0; b < count; ++b) {
                const std::array<int, 64> z = blocks(c, blockIndex[c]++);
                const std::map<int, Code>& dcTable = dcCodes[comp.td];
                const std::map<int, Code>& acTable = acCodes[comp.ta];
                auto symbol = [&](const std::map<int, Code>& table, int s) {
                    const Code& code = table.at(s);
                    bits.Put(code.bits, code.length);
                };
                auto magnitude = [&](int value, int size) {
                    if (size == 0) return;
                    const uint32_t v = static_cast<uint32_t>(value < 0 ? value - 1 : value);
                    bits.Put(v & ((1u << size) - 1u), size);
                };
                const int difference = z[0] - predictor[c];
                predictor[c] = z[0];
                const int dcSize = Category(difference);
                symbol(dcTable, dcSize);
                magnitude(difference, dcSize);
                int run = 0;
                for (int k = 1; k < 64; ++k) {
                    if (z[k] == 0) {
                        ++run;
                        continue;
                    }
                    for (; run > 15; run -= 16) symbol(acTable, 0xF0);
                    const int size = Category(z[k]);
                    symbol(acTable, run << 4 | size);
                    magnitude(z[k], size);
                    run = 0;
                }
                if (run > 0) symbol(acTable, 0x00);
            }
        }
    }
    Bytes data = bits.Take();
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

}  // namespace fasttest
