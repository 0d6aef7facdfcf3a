// JpegStream: byte reads for header analysis, bit reads for entropy-coded
// data (T.81 F.2.2.5, with the byte stuffing of F.1.2.3 undone).
#include "JpegStream.h"

#include <cstring>

JpegStream::JpegStream(const uint8_t* data, int32_t length)
    : mCur(data),
      mEnd(data != nullptr && length > 0 ? data + length : data),
      mBitPos(7),
      mStuffPending(false),
      mHasData(true),
      mBegin(data) {}

// Drops the unread rest of a partly consumed byte.
void JpegStream::Align() {
  if (mBitPos != 7) {
    Step();
    mBitPos = 7;
  }
}

// Moves to the next byte. The position never passes the end.
void JpegStream::Step() {
  if (mCur < mEnd) ++mCur;
  if (mCur >= mEnd) mHasData = false;
}

int32_t JpegStream::GetByte() {
  if (!mHasData) throw EBufferError{"GetByte"};
  Align();
  if (mCur >= mEnd) throw EBufferError{"GetByte"};
  int32_t value = *mCur;
  Step();
  mStuffPending = false;
  return value;
}

int32_t JpegStream::GetWord() {
  if (!mHasData) throw EBufferError{"GetWord"};
  Align();
  if (mEnd - mCur < 2) throw EBufferError{"GetWord"};
  int32_t value = mCur[0] << 8;
  Step();
  value |= mCur[0];
  Step();
  return value;
}

// A negative count copies nothing and raises, like a count past the end.
void JpegStream::CopyByte(uint8_t* destination, int32_t count) {
  Align();
  if (count < 0 || count > mEnd - mCur) throw EBufferError{"CopyByte"};
  if (count > 0) std::memcpy(destination, mCur, static_cast<std::size_t>(count));
  mCur += count;
  if (mCur >= mEnd) mHasData = false;
}

void JpegStream::SkipByte(int32_t count) {
  if (count > mEnd - mCur || count < mBegin - mCur) throw EBufferError{"SkipByte"};
  mCur += count;
  if (mCur >= mEnd) mHasData = false;
}

const uint8_t* JpegStream::GetPos() const {
  if (mBitPos == 7) return mCur;
  return mCur < mEnd ? mCur + 1 : nullptr;
}

// Returns the next count bits, first bit most significant, or the negated
// code of a marker met at a byte boundary (the reader then stays on its
// 0xFF). Needing a byte at or beyond the end, it raises EBufferError
// "GetBits": it never reads there. The decoder asks for at most 16 bits; of
// a longer read only the last 31 bits are kept, so data is never negative.
int32_t JpegStream::GetBits(int32_t count) {
  uint32_t result = 0;
  for (int32_t i = 0; i < count; ++i) {
    if (mBitPos < 0) {
      mBitPos = 7;
      Step();
      if (mStuffPending) {
        Step();
        mStuffPending = false;
      }
    }
    if (mCur >= mEnd) throw EBufferError{"GetBits"};
    if (mBitPos == 7 && *mCur == 0xFF) {
      if (mEnd - mCur < 2) throw EBufferError{"GetBits"};
      if (mCur[1] != 0) return -static_cast<int32_t>(mCur[1]);
      mStuffPending = true;
    }
    uint32_t bit = (*mCur >> mBitPos) & 1u;
    --mBitPos;
    result = ((result << 1) | bit) & 0x7FFFFFFFu;
  }
  return static_cast<int32_t>(result);
}
