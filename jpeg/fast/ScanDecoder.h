// The fast decode pass over the first scan. It produces exactly the colour
// planes, the errors and the final reader position of the decoder's
// reference pass (JpegDecoder's DecodeMCU, ConvertMCU and their stages), and
// differs only in how: Huffman symbols by table lookup, a buffered bit
// reader, the inverse DCT over the non-zero coefficients in vector registers
// (the best instruction set of the CPU), colour conversion in vector
// registers, and on a machine with two or more cores the entropy decoding on
// the calling thread while a second thread does inverse DCTs, upsampling and
// colour conversion of earlier MCU rows, with a ring of four packed segments
// (up to an MCU row each, at most 256 KB) in between. Memory stays bounded by
// that ring and the samples of a chunk of about 256 blocks a thread.
#pragma once

#include <cstdint>

#include "BitReader.h"
#include "HuffmanLookup.h"
#include "Kernels.h"

namespace jpegfast {

struct ScanSetup {
    int32_t numComponents = 0;           // 1 or 3
    int32_t hMax = 0, vMax = 0;          // MCU size in blocks
    int32_t h[3] = {}, v[3] = {};        // blocks of each component in one MCU
    int32_t sh[3] = {}, sv[3] = {};      // replication of each component
    int32_t mcusX = 0, mcusY = 0;
    int32_t width = 0;                   // samples per plane row
    int32_t restartInterval = 0;         // MCUs, 0 = none
    double levelShift = 128.0;
    const int32_t* quant[3] = {};        // natural order, per component
    HuffmanTableView dc[3], ac[3];       // per component
    const double (*cosine)[8] = nullptr; // the decoder's cosine table
    double invSqrt2 = 0.0;
    uint8_t* planes[3] = {};             // red, green, blue
    // The decoder's MCU buffers (hMax * vMax * 64 each, filled with 0, 128
    // and 128); the pass works in them as the reference pass does.
    int32_t* units[3] = {};
    StreamState stream;                  // in: start of the data; out: after
    // Out: stream holds the position after the pass, also after a failure
    // (false when the failure came from searchMarker, which has left the
    // position in the decoder's reader itself).
    bool streamFromReader = false;
    // Reads the next marker between restart intervals with the decoder's own
    // byte-level search, from and back into *state; returns its code.
    int32_t (*searchMarker)(void* context, StreamState* state) = nullptr;
    void* context = nullptr;
    int threads = 0;                     // 0: chosen by size and cores; 1; 2
    SimdLevel simd = SimdLevel::kAvx512; // capped at what the CPU has
};

// Runs the pass. Throws the decoder's error records: EDataFormatError,
// EBufferError, and whatever searchMarker throws.
void DecodeScan(ScanSetup& setup);

}  // namespace jpegfast
