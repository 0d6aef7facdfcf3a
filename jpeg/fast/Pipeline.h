// How the fast decode pass schedules its work: decoded MCUs are gathered in
// segments (up to an MCU row, at most 256 KB of packed blocks) and
// transformed a chunk of about 256 blocks at a time; on a machine with two or
// more cores the calling thread produces segments while a second thread
// transforms earlier ones, with a ring of four segments in between. Memory
// stays bounded by that ring and the samples of a chunk a thread.
#pragma once

#include <cstdint>

#include "Transformer.h"

namespace jpegfast {

// Where the MCUs come from: the entropy decoder of a sequential scan, or the
// coefficient store of a picture coded as several scans.
class McuSource {
public:
    virtual ~McuSource() = default;
    // The packed blocks of the next MCUs in raster order, written from
    // packed on: at most `most` of them, as many as fit before end with room
    // for the largest MCU (mcuWords words) before each; returns how many.
    // One call for a whole segment keeps the decoder's state in registers
    // from MCU to MCU.
    virtual int32_t NextMcus(int32_t* packed, const int32_t* end, int32_t mcuWords, int32_t most) = 0;
};

// Every MCU of the frame from the source into the planes: MCU by MCU in the
// decoder's MCU buffers where MCUs depend on each other, else by segments,
// on two threads where the picture is large and the cores are there. Throws
// what the source throws, and EMemoryError when not even one MCU's buffer
// can be had.
void RunOutput(const OutputSetup& setup, McuSource& source);

// Whether the picture is transformed on two threads: as asked (threads 1 or
// 2), or chosen by its size and the cores (0).
bool UseTwoThreads(const OutputSetup& setup);

// MCUs transformed together: about 256 blocks, whose samples stay in the
// nearest caches.
int32_t ChunkMcus(const OutputSetup& setup);

}  // namespace jpegfast
