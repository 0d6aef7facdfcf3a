// Kernels of the fast decoder.
//
// Inverse DCT of one 8x8 block that gives, bit for bit, the samples of the
// direct double sum the baseline decoder defines:
//
//   sample(x, y) = trunc( sum over v, then u, of
//                         (((coef(u,v) * cos[u][x]) * cos[v][y]) * Cu) * Cv
//                         * 0.25 + shift )
//
// with Cu = 1/1.41421356 for u = 0 and 1.0 otherwise, truncation toward zero
// and saturation to 32 bits. Three facts make it fast without changing a bit:
// adding the product of a zero coefficient leaves a sum unchanged, so zero
// coefficients are skipped; a factor of exactly 1.0 changes nothing, so it is
// not multiplied; and each of the 64 sums is independent, so the outputs are
// computed side by side in vector registers, every one of them with its own
// additions in the original order. Everything is plain double arithmetic:
// no fused multiply-add, no reassociation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "JpegArithmetic.h"

namespace jpegfast {

// Instruction sets the kernels are built for; the best one the CPU has is
// chosen at run time.
enum class SimdLevel { kPlain, kSse2, kAvx2, kAvx512 };

const char* SimdLevelName(SimdLevel level);

// The best level this CPU and this build support.
SimdLevel DetectSimdLevel();

// The cosine table and normalising factor of the decoder, laid out for the
// kernels. cosine[u][x] is the decoder's cosine table entry for frequency u at
// position x.
struct alignas(64) IdctTables {
    double cosine[8][8];
    double invSqrt2;
};

IdctTables MakeIdctTables(const double cosine[8][8], double invSqrt2);

// One block. coef: 64 quantised coefficients in natural order; only the
// entries whose bit is set in nonZero (bit i for index i) are read. quant: the
// component's quantisation table, natural order; each used coefficient is
// dequantised with 32-bit wrap-around multiplication. shift: the level shift
// (128 or 2048). out: 8 rows of 8 samples, rows stride elements apart.
using IdctFunction = void (*)(const IdctTables& tables, const int32_t* coef, uint64_t nonZero,
                              const int32_t* quant, double shift, int32_t* out, ptrdiff_t stride);

// The same transform writing the 64 sums before scaling and truncation (for
// tests that compare them bit for bit with the direct sum).
using IdctSumFunction = void (*)(const IdctTables& tables, const int32_t* coef, uint64_t nonZero,
                                 const int32_t* quant, double shift, double* out, ptrdiff_t stride);

// The decoder's colour conversion of n pixels from Y, Cb, Cr samples to red,
// green and blue bytes (double precision, clamped, truncated).
using ConvertRowFunction = void (*)(const int32_t* lum, const int32_t* cb, const int32_t* cr, int n,
                                    uint8_t* red, uint8_t* green, uint8_t* blue);

// The kernels of one instruction set.
struct KernelSet {
    SimdLevel level;
    IdctFunction idct;
    IdctSumFunction idctSums;
    ConvertRowFunction convertRow;
    // The same with Cb and Cr at half the horizontal resolution: pixel j
    // takes chroma sample j / 2.
    ConvertRowFunction convertRowHalf;
};

// The kernels for a level; a level that this build or CPU lacks falls back to
// the best one below it.
KernelSet SelectKernels(SimdLevel level);

// Per instruction set (defined in their own files; null where not built).
KernelSet PlainKernels();
KernelSet Sse2Kernels();
KernelSet Avx2Kernels();
KernelSet Avx512Kernels();

}  // namespace jpegfast
