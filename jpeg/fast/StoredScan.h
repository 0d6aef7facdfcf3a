// What the decoders of the scans of a multi-scan picture share: the walk
// over the scan's blocks with restart intervals between them, and the
// reader handed back at the end, also after a failure. One decoder for each
// kind of scan, chosen once per scan (T.81 G.1.2): sequential
// (ScanDecoder.cpp), and the four progressive kinds (ProgressiveScans.cpp).
#pragma once

#include <cstdint>

#include "JpegScanLayout.h"
#include "ScanDecoder.h"
#include "StoreOutput.h"

namespace jpegfast {

// Runs work, which reads with the decoder, and leaves in reader where the
// reference's reader would stand after the same reads, also when work
// fails. The decoder has State() and InMarkerSearch().
template <class Decoder, class Work>
void HandingBackTheReader(ScanStream& reader, const Decoder& decoder, Work&& work)
{
    try {
        work();
    } catch (...) {
        reader.streamFromReader = !decoder.InMarkerSearch();
        if (reader.streamFromReader) reader.stream = decoder.State();
        throw;
    }
    reader.streamFromReader = true;
    reader.stream = decoder.State();
}

// A decoder has Block(i, coefficients) for one block of scan component i,
// Restart() for the marker at the end of an interval, State() and
// InMarkerSearch().
template <class Decoder>
void RunStoredScan(StoredScanSetup& setup, Decoder& decoder)
{
    HandingBackTheReader(setup.reader, decoder, [&] {
        jpegscan::WalkScan(
            setup.layout, [&](int32_t i, int16_t* coefficients) { decoder.Block(i, coefficients); },
            [&] { decoder.Restart(); },
            [&](int32_t rows) {
                if (setup.output != nullptr) setup.output->RowsFinal(setup.output->FinalRowsAfter(setup.layout, rows));
            });
    });
}

// A DC or AC, first or refinement scan.
void DecodeProgressiveScan(StoredScanSetup& setup);

}  // namespace jpegfast
