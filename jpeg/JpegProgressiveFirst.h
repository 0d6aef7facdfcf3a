// The first scans of progressive coding, one block at a time (T.81 G.1.2.1,
// G.1.2.2), written once for both forms of the decoder. They differ only in
// the bit source: the reference reads bit by bit (JpegProgressive.cpp), the
// fast form with a buffered reader and lookup tables (fast/ProgressiveScans).
//
// A Source has:
//   int32_t Symbol(int32_t tableClass, int32_t i): the next Huffman symbol
//     of scan component i (class 0 DC, 1 AC); it throws
//     "DecodeHuffman:Error Marker" when a marker comes first,
//     "Decode1HuffmanCode:length over" when no entry matches, and
//     EBufferError "GetBits" at the end of the data;
//   int32_t Bits(int32_t count): the next count bits (1 to 16), throwing as
//     Symbol does when a marker or the end comes first;
//   const uint8_t* Position(): where an error is recorded.
#pragma once

#include <cstdint>

#include "JpegArithmetic.h"
#include "JpegScanLayout.h"
#include "JpegStream.h"

namespace jpegscan {

// DC first scan: the DC difference as in a sequential scan, added to the
// predictor, kept shifted left by Al. Categories above 15 never occur (the
// value would not fit 16 bits) and are refused.
template <class Source>
void DecodeDcFirstBlock(Source& source, const ScanLayout& scan, int32_t i, int32_t& predictor, int16_t* block)
{
    const int32_t size = source.Symbol(0, i);
    if (size > 15) throw EDataFormatError{source.Position(), "DecodeHuffman:wrong Huffman value"};
    const int32_t difference = size == 0 ? 0 : jpegmath::Extend(source.Bits(size), size);
    predictor = jpegmath::WrappingAdd(predictor, difference);
    block[0] = jpegmath::StoreCoefficient(jpegmath::WrappingShiftLeft(predictor, scan.al));
}

// AC first scan: run/size pairs over the band Ss to Se, values shifted left
// by Al; the end-of-band symbol EOBn (run n, size 0) ends this block and
// the next 2^n - 1 + (n more bits) blocks, which eobRun counts down. The
// run rules are the sequential ones, within the band: a run past Se is an
// error, 0xF0 stands for sixteen zeros.
// The band from coefficient k on (the rest of a block that is not in an
// end-of-band run).
template <class Source>
void DecodeAcFirstFrom(Source& source, const ScanLayout& scan, int32_t& eobRun, int16_t* block, int32_t k)
{
    while (k <= scan.se) {
        const int32_t runSize = source.Symbol(1, 0);
        const int32_t run = runSize >> 4;
        const int32_t size = runSize & 15;
        if (size == 0 && run < 15) {
            eobRun = (1 << run) - 1 + (run != 0 ? source.Bits(run) : 0);
            return;
        }
        if (k + run > scan.se) throw EDataFormatError{source.Position(), "DecodeHuffman:wrong Run length"};
        k += run;
        if (size != 0) {
            const int32_t value = jpegmath::Extend(source.Bits(size), size);
            block[k] = jpegmath::StoreCoefficient(jpegmath::WrappingShiftLeft(value, scan.al));
        }
        ++k;
    }
}

template <class Source>
void DecodeAcFirstBlock(Source& source, const ScanLayout& scan, int32_t& eobRun, int16_t* block)
{
    if (eobRun > 0) {
        --eobRun;
        return;
    }
    DecodeAcFirstFrom(source, scan, eobRun, block, scan.ss);
}

}  // namespace jpegscan
