// The fast form of the decode pass, as the decoder calls it. It produces
// exactly the colour planes, the errors and the final reader position of the
// reference form (JpegDecoder's DecodeImageReference and its stages), and
// differs only in how: Huffman symbols by table lookup, a buffered bit
// reader, the inverse DCT over the non-zero coefficients in vector registers
// (the best instruction set of the CPU), colour conversion in vector
// registers, and two threads (Pipeline.h, StoreOutput.h).
//
// The entry points:
//  - DecodeBaselineScan: a picture in one sequential scan, decoded MCU by
//    MCU straight into the planes;
//  - DecodeStoredScan: one scan of a picture coded as several scans, into
//    the coefficient store (sequential scans, and the four kinds of
//    progressive scan);
//  - StoreOutput (StoreOutput.h): the store into the planes, which may
//    start during the picture's final scan.
#pragma once

#include <cstdint>

#include "BitReader.h"
#include "HuffmanLookup.h"
#include "JpegScanLayout.h"
#include "ScanReader.h"
#include "Transformer.h"

namespace jpegfast {

// Where a scan decoder hands the reader back. stream: in, the start of the
// scan's data; out, the position after the scan, also after a failure
// (streamFromReader is false when the failure came from searchMarker, which
// has left the position in the decoder's reader itself).
struct ScanStream {
    StreamState stream;
    bool streamFromReader = false;
    SearchMarkerFunction searchMarker = nullptr;
    void* context = nullptr;
};

struct BaselineScanSetup {
    OutputSetup output;
    // Tables of each frame component: scan entry i serves frame component i.
    HuffmanTableView dc[3], ac[3];
    int32_t restartInterval = 0;  // MCUs, 0 = none
    ScanStream reader;
};

// Runs the pass of a one-scan picture. Throws the decoder's error records:
// EDataFormatError, EBufferError, EMemoryError, and whatever searchMarker
// throws.
void DecodeBaselineScan(BaselineScanSetup& setup);

class StoreOutput;

struct StoredScanSetup {
    jpegscan::ScanLayout layout;
    HuffmanTableView dc[jpegscan::kMaxScanComponents];  // of each scan component
    HuffmanTableView ac[jpegscan::kMaxScanComponents];
    ScanStream reader;
    // The picture's final scan: the output told of every row it finishes.
    StoreOutput* output = nullptr;
};

// Decodes one scan into the store. Throws as DecodeBaselineScan does.
void DecodeStoredScan(StoredScanSetup& setup);

}  // namespace jpegfast
