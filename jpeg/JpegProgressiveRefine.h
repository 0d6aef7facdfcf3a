// The refinement scans of progressive coding, one block at a time (T.81
// G.1.2.1, G.1.2.3), written once for both forms of the decoder; the Source
// of bits is that of JpegProgressiveFirst.h.
#pragma once

#include <cstdint>

#include "JpegArithmetic.h"
#include "JpegScanLayout.h"
#include "JpegStream.h"

namespace jpegscan {

// DC refinement scan: one bit, the next one down.
template <class Source>
void DecodeDcRefineBlock(Source& source, const ScanLayout& scan, int16_t* block)
{
    if (source.Bits(1) != 0) block[0] = jpegmath::StoreCoefficient(block[0] | (1 << scan.al));
}

// A correction bit for a coefficient that is already non-zero: with a 1 it
// moves one step of 2^Al away from zero, unless that bit is set already.
template <class Source>
void RefineCoefficient(Source& source, const ScanLayout& scan, int16_t* coefficient)
{
    if (source.Bits(1) == 0) return;
    const int32_t bit = 1 << scan.al;
    const int32_t value = *coefficient;
    if ((value & bit) != 0) return;
    *coefficient = jpegmath::StoreCoefficient(value >= 0 ? value + bit : value - bit);
}

// AC refinement scan: each symbol places one new coefficient of magnitude
// 2^Al (size 1, its sign in the next bit) after a run of coefficients that
// are still zero, or passes sixteen of them (0xF0), or starts an end-of-band
// run of 2^n + (n more bits) blocks, this one included. The coefficients
// already non-zero that a symbol passes take a correction bit each, and so
// do those of the rest of the band in every block of an end-of-band run. A
// run past Se, and a size other than 1, are errors.
template <class Source>
void DecodeAcRefineBlock(Source& source, const ScanLayout& scan, int32_t& eobRun, int16_t* block)
{
    int32_t k = scan.ss;
    if (eobRun == 0) {
        for (; k <= scan.se; ++k) {
            const int32_t runSize = source.Symbol(1, 0);
            int32_t run = runSize >> 4;
            const int32_t size = runSize & 15;
            int32_t value = 0;
            if (size != 0) {
                if (size != 1) throw EDataFormatError{source.Position(), "DecodeHuffman:wrong Huffman value"};
                value = source.Bits(1) != 0 ? 1 << scan.al : -(1 << scan.al);
            } else if (run != 15) {
                eobRun = (1 << run) + (run != 0 ? source.Bits(run) : 0);
                break;
            }
            // On to the (run + 1)-th coefficient that is still zero.
            for (;;) {
                if (k > scan.se) throw EDataFormatError{source.Position(), "DecodeHuffman:wrong Run length"};
                int16_t* coefficient = &block[k];
                if (*coefficient != 0) {
                    RefineCoefficient(source, scan, coefficient);
                } else if (run == 0) {
                    break;
                } else {
                    --run;
                }
                ++k;
            }
            if (value != 0) block[k] = jpegmath::StoreCoefficient(value);
        }
    }
    if (eobRun > 0) {
        for (; k <= scan.se; ++k) {
            int16_t* coefficient = &block[k];
            if (*coefficient != 0) RefineCoefficient(source, scan, coefficient);
        }
        --eobRun;
    }
}

}  // namespace jpegscan
