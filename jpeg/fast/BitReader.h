// The bit reader of entropy-coded data, buffered 64 bits at a time, with the
// exact behaviour of the decoder's byte-by-byte reader (JpegStream::GetBits):
//  - an FF 00 pair is the data byte 0xFF;
//  - an FF followed by a non-zero byte is a marker: a read that needs a bit
//    beyond it returns the negated marker code, drops the bits it gathered,
//    and leaves the reader on the 0xFF (every later read returns the same);
//  - a read that needs a bit at or beyond the end of the data, or an 0xFF
//    that is the last byte, raises EBufferError "GetBits".
// State() gives back the reader state that the byte-by-byte reader would be
// in after the same reads, so the decoder can go on with byte-level reads
// (restart markers) or another pass exactly where that reader would.
#pragma once

#include <cstdint>
#include <cstring>

#include "JpegStream.h"

namespace jpegfast {

// The fields of JpegStream that matter to entropy-coded data.
struct StreamState {
    const uint8_t* cur = nullptr;
    const uint8_t* end = nullptr;
    int32_t bitPos = 7;
    bool stuffPending = false;
    bool hasData = true;
};

class BitReader {
public:
    void Start(const StreamState& state)
    {
        mStart = state;
        mEnd = state.end;
        mBuffer = 0;
        mAvailable = 0;
        mLoadedBits = 0;
        mStopped = false;
        mMarker = 0;
        mMarkerPos = nullptr;
        mAtMarker = false;
        mAtEnd = false;
        mFirstBits = 0;
        const uint8_t* next = state.cur;
        if (state.bitPos != 7) {
            if (state.bitPos >= 0 && state.cur < state.end) {
                // The rest of a partly read byte (its marker test was done
                // when its first bit was taken).
                mFirstBits = state.bitPos + 1;
                mBuffer = static_cast<uint64_t>(*state.cur & ((1u << mFirstBits) - 1)) << (64 - mFirstBits);
                mAvailable = mFirstBits;
                mLoadedBits = mFirstBits;
            }
            // Where the byte reader moves on to: the next byte, and past the
            // stuffed 00 of an FF 00 pair.
            if (next < mEnd) ++next;
            if (state.stuffPending && next < mEnd) ++next;
        }
        mNext = next;
        mSegmentNext = next;
    }

    // Makes at least 32 bits available unless a marker or the end comes
    // first.
    void Fill()
    {
        if (mAvailable < 32) Refill();
    }

    int Available() const { return mAvailable; }

    // The next 16 bits, first bit most significant. Past the available bits
    // come zeros, or, after a word refill, the bits of the next byte of the
    // data (those a later load puts there); either way a read that needs
    // them loads first.
    uint32_t Peek16() const { return static_cast<uint32_t>(mBuffer >> 48); }

    // The reader's working state, for a decoding loop that keeps it in
    // registers (Take) and hands it back (Give) before anything else reads.
    struct Registers {
        uint64_t buffer;
        int available;
        const uint8_t* next;
        uint64_t loadedBits;
    };
    Registers Take() const { return {mBuffer, mAvailable, mNext, mLoadedBits}; }
    void Give(const Registers& r)
    {
        mBuffer = r.buffer;
        mAvailable = r.available;
        mNext = r.next;
        mLoadedBits = r.loadedBits;
    }

    // Makes at least 56 bits available: true at once when they are, else it
    // tops the buffer up to 56 to 63 bits with the next whole bytes in one
    // go, when the next eight bytes are all in the data and none is 0xFF (no
    // stuffing, no marker). False, with nothing changed, otherwise; the
    // byte-by-byte loads deal with those. The bits it leaves below the
    // available ones are those of the next byte, which any later load puts
    // in the same place.
    bool RefillWord(Registers& r) const
    {
        if (r.available >= 56) return true;
        if (mEnd - r.next < 8 || mStopped) return false;
        uint64_t word;
        std::memcpy(&word, r.next, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        word = __builtin_bswap64(word);
#endif
        const uint64_t inverted = ~word;
        if (((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0) return false;
        const int bytes = (63 - r.available) >> 3;
        r.buffer |= word >> r.available;
        r.next += bytes;
        r.loadedBits += 8 * static_cast<uint64_t>(bytes);
        r.available |= 56;
        return true;
    }

    void Skip(int count)
    {
        mBuffer <<= count;
        mAvailable -= count;
    }

    // GetBits(count) for 1 <= count <= 31.
    int32_t GetBits(int count)
    {
        if (mAvailable < count) {
            Refill();
            if (mAvailable < count) return Exhausted();
        }
        const int32_t value = static_cast<int32_t>(mBuffer >> (64 - count));
        Skip(count);
        return value;
    }

    // A read needed more bits than the data holds before a marker or the end:
    // the negated marker code, the reader then stands on the marker; or
    // EBufferError "GetBits" at the end of the data.
    int32_t Exhausted()
    {
        if (mMarker == 0) {
            // The byte reader has stepped past the last byte it read.
            mBuffer = 0;
            mAvailable = 0;
            mAtEnd = true;
            throw EBufferError{"GetBits"};
        }
        mBuffer = 0;
        mAvailable = 0;
        mAtMarker = true;
        return -mMarker;
    }

    // True when a read that runs out of bits meets a marker rather than the
    // end of the data.
    bool StoppedAtMarker() const { return mStopped && mMarker != 0; }
    const uint8_t* Position() const { return mNext; }

    // The byte reader's state after the same reads.
    StreamState State() const
    {
        StreamState state = mStart;
        if (mAtMarker || mAtEnd) {
            state.cur = mAtMarker ? mMarkerPos : mNext;
            state.bitPos = 7;
            state.stuffPending = false;
            state.hasData = mStart.hasData && state.cur < mEnd;
            return state;
        }
        const uint64_t consumed = mLoadedBits - static_cast<uint64_t>(mAvailable);
        if (consumed == 0) return state;
        if (consumed <= static_cast<uint64_t>(mFirstBits)) {
            state.bitPos = mStart.bitPos - static_cast<int32_t>(consumed);
            return state;
        }
        const uint64_t bits = consumed - static_cast<uint64_t>(mFirstBits);
        uint64_t byteIndex = (bits - 1) / 8;
        const int taken = static_cast<int>((bits - 1) % 8) + 1;
        const uint8_t* p = mSegmentNext;
        for (; byteIndex > 0; --byteIndex) p += (*p == 0xFF) ? 2 : 1;
        state.cur = p;
        state.bitPos = 7 - taken;
        state.stuffPending = (*p == 0xFF);
        return state;
    }

private:
    // At least 56 bits, or all there are before a marker or the end: a word
    // in one go where it can, else byte by byte.
    void Refill()
    {
        Registers r = Take();
        if (RefillWord(r)) {
            Give(r);
            return;
        }
        while (mAvailable <= 56 && !mStopped) LoadOneByte();
    }

    void LoadOneByte()
    {
        if (mNext >= mEnd) {
            mStopped = true;
            return;
        }
        const uint8_t byte = *mNext;
        if (byte == 0xFF) {
            if (mEnd - mNext < 2) {
                mStopped = true;
                return;
            }
            if (mNext[1] != 0) {
                mStopped = true;
                mMarker = mNext[1];
                mMarkerPos = mNext;
                return;
            }
            mNext += 2;
        } else {
            mNext += 1;
        }
        mBuffer |= static_cast<uint64_t>(byte) << (56 - mAvailable);
        mAvailable += 8;
        mLoadedBits += 8;
    }

    uint64_t mBuffer = 0;       // available bits, first one most significant
    int mAvailable = 0;
    uint64_t mLoadedBits = 0;   // bits put into the buffer since Start
    const uint8_t* mNext = nullptr;
    const uint8_t* mEnd = nullptr;
    bool mStopped = false;      // a marker or the end stops loading
    int32_t mMarker = 0;        // the marker code, 0 at the end of the data
    const uint8_t* mMarkerPos = nullptr;
    bool mAtMarker = false;     // a read has returned the marker
    bool mAtEnd = false;        // a read has run into the end of the data
    StreamState mStart;
    int mFirstBits = 0;         // bits left of a partly read byte at Start
    const uint8_t* mSegmentNext = nullptr;  // first whole byte after Start
};

}  // namespace jpegfast
