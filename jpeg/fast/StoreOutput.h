// The output stage of a multi-scan picture in the fast form: the coefficient
// store into the planes, MCU row by MCU row, on the calling thread and a
// second one that claim the rows in turn. The second thread may start while
// the picture's final scan is being decoded: then it transforms the rows
// that scan has finished, every other coefficient being final already.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "JpegScanLayout.h"
#include "Transformer.h"

namespace jpegfast {

class StoreOutput {
public:
    StoreOutput(const OutputSetup& setup, const jpegscan::CoefficientPlane* store);
    // Stops the second thread and waits for it (after a failure, what it has
    // written is not used).
    ~StoreOutput();
    StoreOutput(const StoreOutput&) = delete;
    StoreOutput& operator=(const StoreOutput&) = delete;

    // Starts the second thread; false where the picture takes one thread
    // (small, one core, threads set to 1, MCUs that depend on each other)
    // or memory or the thread cannot be had.
    bool Start();
    // The MCU rows above rows are final.
    void RowsFinal(int32_t rows);
    // The MCU rows final once the given scan has done scanRows rows of its
    // MCUs (the scan's own rows, for a scan of one component).
    int32_t FinalRowsAfter(const jpegscan::ScanLayout& scan, int32_t scanRows) const;
    // Every row final: transforms what is left, with the second thread, and
    // waits for it. Throws EMemoryError when not even one MCU's buffer can
    // be had.
    void Finish();

private:
    struct Worker {
        Strip strip;
        std::unique_ptr<int32_t[]> packed;  // a chunk of packed MCUs
    };
    bool Prepare(Worker& worker) const;
    // Claims rows and transforms them until none is left; with wait, waits
    // for rows to become final.
    void Work(Worker& worker, bool wait);
    void TransformRow(int32_t row, Worker& worker) const;

    const OutputSetup& mSetup;
    const jpegscan::CoefficientPlane* mStore;
    const Transformer mTransformer;
    const int32_t mChunkMcus;
    Worker mOwn, mSecond;
    std::mutex mMutex;
    std::condition_variable mChanged;
    int32_t mFinal = 0;  // rows final
    int32_t mNext = 0;   // the next row to claim
    bool mStop = false;
    std::thread mThread;
};

// The packed blocks of MCU (row, column) of the store; returns the end.
int32_t* PackStoredMcu(const OutputSetup& s, const jpegscan::CoefficientPlane* store, int32_t row, int32_t column,
                       int32_t* packed);

}  // namespace jpegfast
