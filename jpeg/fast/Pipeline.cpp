#include "Pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "JpegStream.h"
#include "PackedBlock.h"

namespace jpegfast {
namespace {

// The decoded blocks of a segment (MCUs of one MCU row that one thread
// transforms) are held packed, in a buffer of at most kSegmentWords words;
// a segment is a whole MCU row where that fits. Whole rows let each thread
// write plane pages of its own (two threads writing one page make both of
// them wait for it, and on a fresh page both take the page fault). The
// transforms go through a segment in chunks (ChunkMcus) of about 256 blocks,
// whose samples stay in the nearest caches.
constexpr int32_t kSegmentWords = 1 << 16;

int32_t McuWords(const OutputSetup& s)
{
    return BlocksPerMcu(s) * kMaxPackedWords;
}

// Words of a segment buffer: a whole MCU row at the most, at least one MCU.
std::size_t SegmentWords(const OutputSetup& s)
{
    const int64_t row = int64_t{McuWords(s)} * s.mcusX;
    return static_cast<std::size_t>(std::max<int64_t>(McuWords(s), std::min<int64_t>(row, kSegmentWords)));
}

// Decodes the MCUs of a segment from MCU column `column` on into the buffer
// of `words` words; returns how many: up to the end of the row, as many as
// the buffer holds with room for the largest MCU.
int32_t DecodeSegment(const OutputSetup& s, McuSource& source, int32_t column, int32_t* buffer,
                      std::size_t words)
{
    return source.NextMcus(buffer, buffer + words, McuWords(s), s.mcusX - column);
}

// One thread, MCU by MCU in the decoder's MCU buffers: for pictures whose
// MCUs depend on each other.
void DecodeMcuByMcu(const OutputSetup& setup, McuSource& source, const Transformer& transformer)
{
    const std::size_t words = static_cast<std::size_t>(BlocksPerMcu(setup)) * kMaxPackedWords;
    std::unique_ptr<int32_t[]> blocks(new (std::nothrow) int32_t[words]);
    if (!blocks) throw EMemoryError{BlocksPerMcu(setup), "Disconvert unit1"};
    for (int32_t row = 0; row < setup.mcusY; ++row) {
        for (int32_t column = 0; column < setup.mcusX; ++column) {
            source.NextMcus(blocks.get(), blocks.get() + words, static_cast<int32_t>(words), 1);
            transformer.TransformMcu(blocks.get(), column, row, setup.units);
        }
    }
}

// One thread, segment by segment.
void DecodeBySegments(const OutputSetup& setup, McuSource& source, const Transformer& transformer)
{
    const std::size_t words = SegmentWords(setup);
    const int32_t chunk = ChunkMcus(setup);
    std::unique_ptr<int32_t[]> blocks(new (std::nothrow) int32_t[words]);
    Strip strip;
    if (!blocks || !transformer.PrepareStrip(strip, chunk)) {
        DecodeMcuByMcu(setup, source, transformer);
        return;
    }
    for (int32_t row = 0; row < setup.mcusY; ++row) {
        for (int32_t column = 0, count; column < setup.mcusX; column += count) {
            count = DecodeSegment(setup, source, column, blocks.get(), words);
            transformer.TransformSegment(blocks.get(), row * setup.mcusX + column, count, strip, chunk);
        }
    }
}

// Two threads: the calling thread decodes segments into a ring of slots; a
// worker transforms filled slots. When the ring is full the calling thread
// transforms a filled slot itself, so both cores stay busy whichever side is
// slower.
class Pipeline {
public:
    static constexpr int kSlots = 4;

    Pipeline(const OutputSetup& setup, McuSource& source, const Transformer& transformer)
        : mSetup(setup), mSource(source), mTransformer(transformer)
    {
    }

    ~Pipeline()
    {
        if (mWorker.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mMutex);
                mAbort = true;
                Changed();
            }
            mWorker.join();
        }
    }

    // False when memory or the thread cannot be had; nothing has been
    // decoded then.
    bool Prepare()
    {
        mSlotWords = SegmentWords(mSetup);
        mChunkMcus = ChunkMcus(mSetup);
        mBlocks.reset(new (std::nothrow) int32_t[mSlotWords * kSlots]);
        if (!mBlocks) return false;
        for (int i = 0; i < kSlots; ++i) mSlots[i].blocks = mBlocks.get() + mSlotWords * i;
        if (!mTransformer.PrepareStrip(mOwnStrip, mChunkMcus) ||
            !mTransformer.PrepareStrip(mWorkerStrip, mChunkMcus))
            return false;
        try {
            mWorker = std::thread([this] { WorkerLoop(); });
        } catch (const std::exception&) {
            return false;
        }
        return true;
    }

    void Run()
    {
        for (int32_t row = 0; row < mSetup.mcusY; ++row) {
            for (int32_t column = 0, count; column < mSetup.mcusX; column += count) {
                Slot& slot = AcquireFreeSlot();
                slot.first = row * mSetup.mcusX + column;
                slot.count = count = DecodeSegment(mSetup, mSource, column, slot.blocks, mSlotWords);
                {
                    std::lock_guard<std::mutex> lock(mMutex);
                    slot.state = kReady;
                    Changed();
                }
            }
        }
        // Help with what is left, then wait for the worker's last slot.
        std::unique_lock<std::mutex> lock(mMutex);
        mFinished = true;
        Changed();
        for (;;) {
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mOwnStrip);
                continue;
            }
            if (!AnyBusy()) break;
            Wait(lock);
        }
        lock.unlock();
        mWorker.join();
    }

private:
    enum SlotState { kFree, kFilling, kReady, kBusy };
    struct Slot {
        SlotState state = kFree;
        int32_t first = 0;
        int32_t count = 0;
        int32_t* blocks = nullptr;  // packed blocks
    };

    // Something changed: a slot filled or freed, or the end. Called with the
    // lock held.
    void Changed() { mChanged.notify_all(); }

    // Waits for a change (callers look again at the slots: a wait may also
    // end without one).
    void Wait(std::unique_lock<std::mutex>& lock) { mChanged.wait(lock); }

    Slot* OldestReady()
    {
        Slot* oldest = nullptr;
        for (Slot& slot : mSlots) {
            if (slot.state == kReady && (oldest == nullptr || slot.first < oldest->first)) oldest = &slot;
        }
        return oldest;
    }

    bool AnyBusy() const
    {
        for (const Slot& slot : mSlots) {
            if (slot.state == kBusy) return true;
        }
        return false;
    }

    // Called with the lock held; transforms without it.
    void TransformUnlocked(std::unique_lock<std::mutex>& lock, Slot& slot, const Strip& strip)
    {
        slot.state = kBusy;
        lock.unlock();
        mTransformer.TransformSegment(slot.blocks, slot.first, slot.count, strip, mChunkMcus);
        lock.lock();
        slot.state = kFree;
        Changed();
    }

    Slot& AcquireFreeSlot()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        for (;;) {
            for (Slot& slot : mSlots) {
                if (slot.state == kFree) {
                    slot.state = kFilling;
                    return slot;
                }
            }
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mOwnStrip);
                continue;
            }
            Wait(lock);
        }
    }

    void WorkerLoop()
    {
        std::unique_lock<std::mutex> lock(mMutex);
        for (;;) {
            if (mAbort) return;
            if (Slot* ready = OldestReady()) {
                TransformUnlocked(lock, *ready, mWorkerStrip);
                continue;
            }
            if (mFinished) return;
            Wait(lock);
        }
    }

    const OutputSetup& mSetup;
    McuSource& mSource;
    const Transformer& mTransformer;
    std::size_t mSlotWords = 0;
    int32_t mChunkMcus = 1;
    std::unique_ptr<int32_t[]> mBlocks;
    Strip mOwnStrip, mWorkerStrip;
    Slot mSlots[kSlots];
    std::mutex mMutex;
    std::condition_variable mChanged;
    bool mFinished = false;
    bool mAbort = false;
    std::thread mWorker;
};

}  // namespace

bool UseTwoThreads(const OutputSetup& setup)
{
    if (setup.threads == 1) return false;
    const int64_t blocks = int64_t{setup.mcusX} * setup.mcusY * BlocksPerMcu(setup);
    if (setup.threads == 0 && (std::thread::hardware_concurrency() < 2 || blocks < 4096)) return false;
    return true;
}

int32_t ChunkMcus(const OutputSetup& s)
{
    constexpr int32_t kChunkBlocks = 256;
    return std::max<int32_t>(1, std::min(kChunkBlocks / BlocksPerMcu(s), s.mcusX));
}

void RunOutput(const OutputSetup& setup, McuSource& source)
{
    const Transformer transformer(setup);
    if (!McusAreIndependent(setup)) {
        DecodeMcuByMcu(setup, source, transformer);
        return;
    }
    if (UseTwoThreads(setup)) {
        Pipeline pipeline(setup, source, transformer);
        if (pipeline.Prepare()) {
            pipeline.Run();
            return;
        }
    }
    DecodeBySegments(setup, source, transformer);
}

}  // namespace jpegfast
