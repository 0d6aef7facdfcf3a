// The second half of the fast decode pass: inverse DCTs, upsampling and
// colour conversion of decoded MCUs into the colour planes, exactly as the
// reference's Dequantize, InverseDCT, replication and ConvertMCU give them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "Kernels.h"

namespace jpegfast {

// The frame as the transforms see it.
struct OutputSetup {
    int32_t numComponents = 0;           // 1 or 3
    int32_t hMax = 0, vMax = 0;          // MCU size in blocks
    int32_t h[3] = {}, v[3] = {};        // blocks of each component in one MCU
    int32_t sh[3] = {}, sv[3] = {};      // replication of each component
    int32_t mcusX = 0, mcusY = 0;
    int32_t width = 0;                   // samples per plane row
    double levelShift = 128.0;
    const int32_t* quant[3] = {};        // natural order, per component
    const double (*cosine)[8] = nullptr; // the decoder's cosine table
    double invSqrt2 = 0.0;
    uint8_t* planes[3] = {};             // red, green, blue
    // The decoder's MCU buffers (hMax * vMax * 64 each, filled with 0, 128
    // and 128); the MCU-by-MCU form works in them as the reference does.
    int32_t* units[3] = {};
    int threads = 0;                     // 0: chosen by size and cores; 1; 2
    SimdLevel simd = SimdLevel::kAvx512; // capped at what the CPU has
};

int32_t BlocksPerMcu(const OutputSetup& s);

// Every MCU overwrites every sample of the MCU buffers of its components, so
// MCUs can be transformed in any order and on any thread. (With sampling
// factors whose ratios are not whole numbers, part of a buffer keeps what an
// earlier MCU left there; such pictures are transformed MCU by MCU.)
bool McusAreIndependent(const OutputSetup& s);

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

class Transformer {
public:
    explicit Transformer(const OutputSetup& setup);

    // Gives the strip its buffers for segments of up to maxMcus MCUs; false
    // when memory cannot be had.
    bool PrepareStrip(Strip& strip, int32_t maxMcus) const;

    // count MCUs of one MCU row, the first of them MCU number first, into the
    // planes, in chunks of at most chunkMcus MCUs (what the strip holds).
    // Needs McusAreIndependent.
    void TransformSegment(const int32_t* packed, int32_t first, int32_t count, const Strip& strip,
                          int32_t chunkMcus) const;

    // One MCU into the given MCU buffers and from there into the planes.
    void TransformMcu(const int32_t* packed, int32_t column, int32_t row, int32_t* const units[3]) const;

private:
    const int32_t* TransformChunk(const int32_t* packed, int32_t first, int32_t count, const Strip& strip) const;
    void Convert(int32_t column, int32_t row, const int32_t* const units[3]) const;
    void WriteGrey(const int32_t* lum, int32_t n, std::size_t index) const;

    const OutputSetup& mSetup;
    KernelSet mKernels;
    IdctTables mTables;
    int32_t mRowLength;
};

}  // namespace jpegfast
