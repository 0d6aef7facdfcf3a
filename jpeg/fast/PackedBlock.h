// Decoded blocks as they travel from the entropy decoder (or the coefficient
// store of a multi-scan picture) to the transforms: packed, which moves a
// fraction of the memory a whole block would (most coefficients are zero).
//
//   four words: the nonZero flags (low and high 32 bits), the DC
//     coefficient, and the number n of AC entries that follow;
//   n entries, (value << 8) | index, index in natural order. An AC value
//     always fits in the 24 bits: a magnitude of at most 15 bits extended,
//     at a marker a negated marker code extended (above -2^16), or a
//     16-bit stored coefficient.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "JpegTables.h"

namespace jpegfast {

// One block: the quantised coefficients in natural order, of which only
// those flagged in nonZero are meaningful (the others are not written).
struct Block {
    uint64_t nonZero;
    int32_t coef[64];
};

constexpr int32_t kMaxPackedWords = 4 + 63;

class PackedBlock {
public:
    explicit PackedBlock(int32_t* out) : mHeader(out), mNext(out + 4) {}

    void Dc(int32_t dc)
    {
        mHeader[2] = dc;
        mNonZero = dc != 0 ? 1 : 0;
    }

    // A non-zero AC coefficient.
    void Ac(int32_t index, int32_t value)
    {
        Registers r = Take();
        r.Ac(index, value);
        Give(r);
    }

    // The writing state, for a loop that keeps it in registers (an int32_t
    // written through a pointer could otherwise be any of these members, so
    // the compiler would keep them in memory).
    struct Registers {
        int32_t* next;
        uint64_t nonZero;
        int32_t entries;
        void Ac(int32_t index, int32_t value)
        {
            nonZero |= uint64_t{1} << index;
            ++entries;
            *next++ = static_cast<int32_t>((static_cast<uint32_t>(value) << 8) | static_cast<uint32_t>(index));
        }
    };
    Registers Take() const { return {mNext, mNonZero, mEntries}; }
    void Give(const Registers& r)
    {
        mNext = r.next;
        mNonZero = r.nonZero;
        mEntries = r.entries;
    }

    // Completes the header; returns the end of the block.
    int32_t* Finish()
    {
        mHeader[0] = static_cast<int32_t>(static_cast<uint32_t>(mNonZero));
        mHeader[1] = static_cast<int32_t>(static_cast<uint32_t>(mNonZero >> 32));
        mHeader[3] = mEntries;
        return mNext;
    }

private:
    int32_t* mHeader;
    int32_t* mNext;
    uint64_t mNonZero = 0;
    int32_t mEntries = 0;
};

// Reads one packed block into block; returns the end of it.
inline const int32_t* UnpackBlock(const int32_t* in, Block& block)
{
    block.nonZero = static_cast<uint64_t>(static_cast<uint32_t>(in[0])) |
                    static_cast<uint64_t>(static_cast<uint32_t>(in[1])) << 32;
    block.coef[0] = in[2];
    const int32_t entries = in[3];
    in += 4;
    for (int32_t i = 0; i < entries; ++i) {
        const int32_t entry = *in++;
        block.coef[entry & 63] = entry >> 8;
    }
    return in;
}

// Bit k set where coefficient k of a stored block is not zero.
inline uint64_t NonZeroMask(const int16_t* coef)
{
#if defined(__SSE2__)
    uint64_t zero = 0;
    for (int i = 0; i < 64; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coef + i + 8));
        const __m128i z = _mm_setzero_si128();
        const __m128i bytes = _mm_packs_epi16(_mm_cmpeq_epi16(a, z), _mm_cmpeq_epi16(b, z));
        zero |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(bytes)) & 0xFFFFu) << i;
    }
    return ~zero;
#else
    uint64_t nonZero = 0;
    for (int k = 0; k < 64; ++k) nonZero |= static_cast<uint64_t>(coef[k] != 0) << k;
    return nonZero;
#endif
}

// Packs a stored block (64 coefficients, zig-zag order); returns the end.
inline int32_t* PackStoredBlock(const int16_t* coef, int32_t* out)
{
    uint64_t nonZero = 0;
    out[2] = coef[0];
    int32_t* next = out + 4;
    const uint64_t present = NonZeroMask(coef);
    if (present & 1) nonZero = 1;
    for (uint64_t bits = present & ~uint64_t{1}; bits != 0; bits &= bits - 1) {
        const int k = __builtin_ctzll(bits);
        const int32_t i = kZigzag[k];
        nonZero |= uint64_t{1} << i;
        *next++ = static_cast<int32_t>((static_cast<uint32_t>(coef[k]) << 8) | static_cast<uint32_t>(i));
    }
    out[0] = static_cast<int32_t>(static_cast<uint32_t>(nonZero));
    out[1] = static_cast<int32_t>(static_cast<uint32_t>(nonZero >> 32));
    out[3] = static_cast<int32_t>(next - out - 4);
    return next;
}

}  // namespace jpegfast
