// The byte and bit reader of the JPEG decoder, and the five error records
// that every failure inside the decoder is thrown as. Plain C++17.
#pragma once

#include <cstdint>

// --- Decoder errors -------------------------------------------------------
// Plain records, thrown by value and caught by reference. They have no common
// base and no virtual operations; JpegDecoder::AnalysisHeader and
// JpegDecoder::DecodeImage turn them into result codes. Each message is a
// fixed literal: the failing step's name, a colon and the detail.

// A read or skip past the end of the byte image.
struct EBufferError {
  const char* message;
};

// Malformed data: an unexpected marker, a bad table class or id, a bad
// Huffman code or run length.
struct EDataFormatError {
  const uint8_t* position;  // may be null
  const char* message;
};

// A coding process or frame layout that the decoder does not handle: the
// marker code (the byte after 0xFF) says where, the reason what.
struct ENotSupported {
  int32_t marker;
  const uint8_t* position;
  const char* reason = nullptr;  // a fixed literal, or null
};

// A table selector or index out of range.
struct EIndexError {
  int32_t limit;  // the largest allowed value, or a table's size
  int32_t value;  // the offending value or index
  const char* message;
};

// An allocation that failed.
struct EMemoryError {
  int32_t count;  // elements requested (bytes for a colour plane)
  const char* message;
};

// --- JpegStream -----------------------------------------------------------
// Reads a JPEG byte image that the caller keeps alive; it never copies or
// owns the bytes, and it never reads at or beyond the end it was given.
// Byte-level reads (header analysis) and bit-level reads (entropy-coded data,
// with stuffed zero bytes removed and markers detected) share one position.
class JpegStream {
public:
  JpegStream(const uint8_t* data, int32_t length);

  int32_t GetByte();
  int32_t GetWord();  // big-endian
  void CopyByte(uint8_t* destination, int32_t count);
  void SkipByte(int32_t count);  // a negative count moves back
  const uint8_t* GetPos() const;
  int32_t GetBits(int32_t count);

  // Whole bytes from the current position to the end: what is left for
  // entropy-coded data when the reader stands at a byte boundary.
  int64_t RemainingBytes() const { return mEnd - mCur; }

  // The reader's whole position. The fast decode pass reads entropy-coded
  // data with a buffered reader of its own and hands back the position this
  // reader would have reached, so that later reads go on exactly there.
  struct Position {
    const uint8_t* cur;
    int32_t bitPos;
    bool stuffPending;
    bool hasData;
  };
  Position SavePosition() const { return {mCur, mBitPos, mStuffPending, mHasData}; }
  void RestorePosition(const Position& p) {
    mCur = p.cur;
    mBitPos = p.bitPos;
    mStuffPending = p.stuffPending;
    mHasData = p.hasData;
  }
  const uint8_t* End() const { return mEnd; }

private:
  friend struct JpegDecoderTestAccess;

  void Align();
  void Step();

  const uint8_t* mCur;  // the current byte
  const uint8_t* mEnd;  // one past the last byte
  // Bit of the current byte taken next: 7 (most significant, also "nothing
  // of this byte consumed") down to 0; -1 when all eight bits are consumed.
  int32_t mBitPos;
  // The current byte is the 0xFF of an FF 00 pair in entropy-coded data: the
  // 00 is skipped when the bit reader moves on.
  bool mStuffPending;
  // True until the position first reaches the end; never set again.
  bool mHasData;
  // First byte of the image: a backward skip never goes before it.
  const uint8_t* mBegin;
};
