#include "Transformer.h"

#include <algorithm>
#include <new>

#include "JpegArithmetic.h"
#include "PackedBlock.h"

namespace jpegfast {

int32_t BlocksPerMcu(const OutputSetup& s)
{
    int32_t blocks = 0;
    for (int32_t c = 0; c < s.numComponents; ++c) blocks += s.h[c] * s.v[c];
    return blocks;
}

bool McusAreIndependent(const OutputSetup& s)
{
    for (int32_t c = 0; c < s.numComponents; ++c) {
        if (s.h[c] * s.sh[c] != s.hMax || s.v[c] * s.sv[c] != s.vMax) return false;
    }
    return true;
}

Transformer::Transformer(const OutputSetup& setup)
    : mSetup(setup),
      mKernels(SelectKernels(setup.simd)),
      mTables(MakeIdctTables(setup.cosine, setup.invSqrt2)),
      mRowLength(setup.hMax * 8)
{
}

bool Transformer::PrepareStrip(Strip& strip, int32_t maxMcus) const
{
    const OutputSetup& s = mSetup;
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

void Transformer::TransformSegment(const int32_t* packed, int32_t first, int32_t count, const Strip& strip,
                                   int32_t chunkMcus) const
{
    for (int32_t done = 0; done < count; done += chunkMcus)
        packed = TransformChunk(packed, first + done, std::min(chunkMcus, count - done), strip);
}

// Every block of the chunk into the strip at its component's resolution,
// then the strip converted a row of samples at a time, which gives each
// plane row one run of writes. Returns the end of the chunk's blocks.
const int32_t* Transformer::TransformChunk(const int32_t* packed, int32_t first, int32_t count,
                                           const Strip& strip) const
{
    const OutputSetup& s = mSetup;
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

void Transformer::TransformMcu(const int32_t* packed, int32_t column, int32_t row, int32_t* const units[3]) const
{
    const OutputSetup& s = mSetup;
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
                jpegmath::ReplicateBlock(pixels, sh, sv, at, mRowLength);
            }
        }
    }
    Convert(column, row, units);
}

void Transformer::Convert(int32_t column, int32_t row, const int32_t* const units[3]) const
{
    const OutputSetup& s = mSetup;
    const int32_t x0 = column * mRowLength;
    const int32_t y0 = row * s.vMax * 8;
    const int32_t n = std::min(mRowLength, s.width - x0);
    if (n <= 0) return;
    for (int32_t i = 0; i < s.vMax * 8; ++i) {
        const std::size_t index = static_cast<std::size_t>(y0 + i) * static_cast<std::size_t>(s.width) +
                                  static_cast<std::size_t>(x0);
        const int32_t* lum = units[0] + i * mRowLength;
        if (s.numComponents == 3) {
            mKernels.convertRow(lum, units[1] + i * mRowLength, units[2] + i * mRowLength, n, s.planes[0] + index,
                                s.planes[1] + index, s.planes[2] + index);
        } else {
            WriteGrey(lum, n, index);
        }
    }
}

// One component: Cb and Cr stay at their fill of 128, so every plane is the
// clamped Y.
void Transformer::WriteGrey(const int32_t* lum, int32_t n, std::size_t index) const
{
    const OutputSetup& s = mSetup;
    for (int32_t j = 0; j < n; ++j) {
        const uint8_t sample = jpegmath::ClampSampleToByte(lum[j]);
        s.planes[0][index + j] = sample;
        s.planes[1][index + j] = sample;
        s.planes[2][index + j] = sample;
    }
}

}  // namespace jpegfast
