// The vector kernels of the fast decoder against the straightforward forms:
// the inverse DCT against the direct double sum of 4096 products, the colour
// conversion against the per-pixel formula. Every instruction set that this
// CPU has is checked, the plain one included.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "JpegTables.h"
#include "Kernels.h"

namespace {

using jpegfast::KernelSet;
using jpegfast::SimdLevel;

// The direct double sum, written out as the decoder defines it.
void DirectInverseDct(const int32_t coef[64], const int32_t quant[64], double shift, int32_t out[64],
                      double sums[64])
{
    int32_t block[64];
    for (int i = 0; i < 64; ++i) block[i] = static_cast<int32_t>(static_cast<uint32_t>(coef[i]) * static_cast<uint32_t>(quant[i]));
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            double sum = 0.0;
            for (int v = 0; v < 8; ++v) {
                const double cv = v == 0 ? kInvSqrt2 : 1.0;
                for (int u = 0; u < 8; ++u) {
                    const double cu = u == 0 ? kInvSqrt2 : 1.0;
                    sum += block[8 * v + u] * kCosTable[u][x] * kCosTable[v][y] * cu * cv;
                }
            }
            sums[8 * y + x] = sum;
            const double value = sum * 0.25 + shift;
            out[8 * y + x] = value >= 2147483647.0 ? INT32_MAX
                             : value <= -2147483648.0 ? INT32_MIN
                                                      : static_cast<int32_t>(value);
        }
    }
}

std::vector<KernelSet> AvailableKernels()
{
    std::vector<KernelSet> sets;
    for (SimdLevel level : {SimdLevel::kPlain, SimdLevel::kSse2, SimdLevel::kAvx2, SimdLevel::kAvx512}) {
        const KernelSet set = jpegfast::SelectKernels(level);
        if (set.level == level) sets.push_back(set);
    }
    return sets;
}

TEST(FastKernels, PlainKernelsAlwaysExist)
{
    const std::vector<KernelSet> sets = AvailableKernels();
    ASSERT_FALSE(sets.empty());
    EXPECT_EQ(sets.front().level, SimdLevel::kPlain);
#if defined(__x86_64__)
    EXPECT_GE(sets.size(), 2u) << "SSE2 is part of every x86-64 CPU";
#endif
}

struct BlockCase {
    int32_t coef[64];
    int32_t quant[64];
    double shift;
};

uint64_t NonZeroMask(const int32_t coef[64])
{
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        if (coef[i] != 0) mask |= uint64_t{1} << i;
    return mask;
}

// Blocks of every kind: dense, sparse, one row or column, DC only, empty,
// extreme values that push sums past 32 bits, both level shifts.
std::vector<BlockCase> MakeBlocks()
{
    std::mt19937 random(20261209);
    std::vector<BlockCase> cases;
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    for (int n = 0; n < 3000; ++n) {
        BlockCase c{};
        const int kind = n % 10;
        for (int i = 0; i < 64; ++i) c.quant[i] = uniform(1, 255);
        c.shift = (n % 7 == 0) ? 2048.0 : 128.0;
        switch (kind) {
        case 0:  // dense
            for (int i = 0; i < 64; ++i) c.coef[i] = uniform(-2047, 2047);
            break;
        case 1:  // dense, small values
            for (int i = 0; i < 64; ++i) c.coef[i] = uniform(-3, 3);
            break;
        case 2:  // extreme: every coefficient +-2047 with quantisation 255
            for (int i = 0; i < 64; ++i) {
                c.coef[i] = uniform(0, 1) ? 2047 : -2047;
                c.quant[i] = 255;
            }
            break;
        case 3:  // sums beyond 32 bits: saturated
            for (int i = 0; i < 64; ++i) {
                c.coef[i] = uniform(0, 1) ? 32767 : -32767;
                c.quant[i] = 65535;
            }
            break;
        case 4:  // DC only, including the values that land a hair below an integer
            c.coef[0] = uniform(-2047, 2047);
            break;
        case 5:  // first row only
            for (int i = 0; i < 8; ++i) c.coef[i] = uniform(0, 2) ? 0 : uniform(-500, 500);
            break;
        case 6:  // first column only
            for (int i = 0; i < 64; i += 8) c.coef[i] = uniform(0, 2) ? 0 : uniform(-500, 500);
            break;
        case 7:  // empty
            break;
        default:  // sparse, anywhere
            for (int k = uniform(1, 8); k > 0; --k) c.coef[uniform(0, 63)] = uniform(-1023, 1023);
            break;
        }
        cases.push_back(c);
    }
    // The decoder's own examples: DC only, dequantised d.
    for (int d : {0, 8, 80, -8, 1024, -1024}) {
        BlockCase c{};
        for (int i = 0; i < 64; ++i) c.quant[i] = 1;
        c.coef[0] = d;
        c.shift = 128.0;
        cases.push_back(c);
    }
    return cases;
}

TEST(FastKernels, InverseDctEqualsDirectSum)
{
    const std::vector<BlockCase> cases = MakeBlocks();
    const jpegfast::IdctTables tables = jpegfast::MakeIdctTables(kCosTable, kInvSqrt2);
    for (const KernelSet& set : AvailableKernels()) {
        SCOPED_TRACE(jpegfast::SimdLevelName(set.level));
        int mismatches = 0;
        for (size_t n = 0; n < cases.size() && mismatches < 5; ++n) {
            const BlockCase& c = cases[n];
            int32_t expected[64];
            double expectedSums[64];
            DirectInverseDct(c.coef, c.quant, c.shift, expected, expectedSums);
            // Written with a row stride, as into an MCU buffer; the frame
            // around the block must stay untouched.
            std::vector<int32_t> out(8 * 24 + 16, 0x5A5A5A5A);
            // Entries not flagged as present must not be read.
            int32_t coef[64];
            const uint64_t mask = NonZeroMask(c.coef);
            for (int i = 0; i < 64; ++i) coef[i] = (mask >> i & 1) ? c.coef[i] : 0x7FFFFFFF;
            set.idct(tables, coef, mask, c.quant, c.shift, out.data() + 8, 24);
            for (int y = 0; y < 8; ++y) {
                for (int x = 0; x < 8; ++x) {
                    if (out[8 + y * 24 + x] != expected[8 * y + x]) {
                        ADD_FAILURE() << "block " << n << " sample (" << x << "," << y << "): "
                                      << out[8 + y * 24 + x] << " != " << expected[8 * y + x];
                        ++mismatches;
                    }
                }
                for (int x = 8; x < 24 && y < 7; ++x) ASSERT_EQ(out[8 + y * 24 + x], 0x5A5A5A5A);
            }
            for (int i = 0; i < 8; ++i) ASSERT_EQ(out[i], 0x5A5A5A5A);
            // The sums themselves, to the last bit: a changed order of
            // additions or factors shows here even where truncation hides it.
            double sums[64];
            set.idctSums(tables, coef, mask, c.quant, c.shift, sums, 8);
            for (int i = 0; i < 64 && mismatches < 5; ++i) {
                if (sums[i] != expectedSums[i]) {
                    ADD_FAILURE() << "block " << n << " sum " << i << ": " << sums[i] << " != " << expectedSums[i];
                    ++mismatches;
                }
            }
        }
    }
}

TEST(FastKernels, InverseDctKnownSamples)
{
    // A DC value of -8 sums to 126.99999999..., which truncates to 126; a
    // single coefficient (u 1, v 0) of 100 gives the row 145 ... 110.
    const jpegfast::IdctTables tables = jpegfast::MakeIdctTables(kCosTable, kInvSqrt2);
    int32_t quant[64];
    for (int32_t& q : quant) q = 1;
    for (const KernelSet& set : AvailableKernels()) {
        SCOPED_TRACE(jpegfast::SimdLevelName(set.level));
        int32_t coef[64] = {};
        int32_t out[64];
        coef[0] = -8;
        set.idct(tables, coef, 1, quant, 128.0, out, 8);
        EXPECT_EQ(out[0], 126);
        EXPECT_EQ(out[63], 126);
        coef[0] = 0;
        coef[1] = 100;
        set.idct(tables, coef, 2, quant, 128.0, out, 8);
        const int32_t row[8] = {145, 142, 137, 131, 124, 118, 113, 110};
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) EXPECT_EQ(out[8 * y + x], row[x]);
    }
}

uint8_t ClampToByte(double x)
{
    if (x < 0.0) return 0;
    if (x > 255.0) return 255;
    return static_cast<uint8_t>(x);
}

TEST(FastKernels, ColourConversionEqualsFormula)
{
    std::mt19937 random(7);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
    const int kPixels = 4099;  // not a multiple of any vector width: the tail too
    std::vector<int32_t> lum(kPixels), cb(kPixels), cr(kPixels);
    for (int i = 0; i < kPixels; ++i) {
        if (i % 5 == 0) {  // anything the transform can produce
            lum[i] = static_cast<int32_t>(random());
            cb[i] = static_cast<int32_t>(random());
            cr[i] = static_cast<int32_t>(random());
        } else {
            lum[i] = uniform(-300, 560);
            cb[i] = uniform(-300, 560);
            cr[i] = uniform(-300, 560);
        }
    }
    lum[1] = 100, cb[1] = 128, cr[1] = 228;  // red 240.2, green 28.61, blue 100
    lum[2] = 250, cb[2] = 255, cr[2] = 128;  // blue clamped, green 206.2993
    lum[3] = INT32_MIN, cb[3] = INT32_MIN, cr[3] = INT32_MAX;
    for (const KernelSet& set : AvailableKernels()) {
        // Full-resolution chroma, then chroma at half the width (pixel i
        // takes sample i / 2), as 4:2:0 and 4:2:2 rows give it.
        for (const bool half : {false, true}) {
            SCOPED_TRACE(std::string(jpegfast::SimdLevelName(set.level)) + (half ? ", half-width chroma" : ""));
            std::vector<uint8_t> red(kPixels + 1, 0xEE), green(kPixels + 1, 0xEE), blue(kPixels + 1, 0xEE);
            (half ? set.convertRowHalf : set.convertRow)(lum.data(), cb.data(), cr.data(), kPixels, red.data(),
                                                         green.data(), blue.data());
            int mismatches = 0;
            for (int i = 0; i < kPixels && mismatches < 5; ++i) {
                const int c = half ? i / 2 : i;
                const double y = lum[i], u = cb[c], v = cr[c];
                const uint8_t r = ClampToByte((v - 128) * 1.402 + y);
                const uint8_t g = ClampToByte(y - (u - 128) * 0.3441 - (v - 128) * 0.7139);
                const uint8_t b = ClampToByte((u - 128) * 1.7718 + y);
                if (red[i] != r || green[i] != g || blue[i] != b) {
                    ADD_FAILURE() << "pixel " << i << " Y " << lum[i] << " Cb " << cb[c] << " Cr " << cr[c];
                    ++mismatches;
                }
            }
            if (!half) {
                EXPECT_EQ(red[1], 240);
                EXPECT_EQ(green[1], 28);
                EXPECT_EQ(blue[2], 255);
                EXPECT_EQ(green[2], 206);
            }
            EXPECT_EQ(red[kPixels], 0xEE) << "wrote past the row";
            EXPECT_EQ(blue[kPixels], 0xEE) << "wrote past the row";
        }
    }
}

}  // namespace
