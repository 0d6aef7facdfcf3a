// The byte and bit reader: end-of-image handling, alignment, byte stuffing
// and markers in entropy-coded data.
#include <gtest/gtest.h>

#include <cstring>

#include "JpegBuilder.h"
#include "JpegStream.h"
#include "JpegTestAccess.h"

using jpegtest::Bytes;
using jpegtest::ExactBuffer;
using Access = JpegDecoderTestAccess;

namespace {

// The message of the EBufferError that f raises, or "" if none.
template <class F>
std::string BufferErrorOf(F f) {
  try {
    f();
  } catch (const EBufferError& e) {
    return e.message;
  }
  return "";
}

}  // namespace

TEST(JpegStream, EmptyImage) {
  ExactBuffer empty(Bytes{});
  JpegStream s(empty.data(), 0);
  EXPECT_EQ(BufferErrorOf([&] { s.GetByte(); }), "GetByte");
  EXPECT_EQ(BufferErrorOf([&] { s.GetWord(); }), "GetWord");
  EXPECT_EQ(BufferErrorOf([&] { s.SkipByte(0); }), "");
  EXPECT_EQ(BufferErrorOf([&] { s.CopyByte(nullptr, 0); }), "");
  EXPECT_EQ(BufferErrorOf([&] { s.GetBits(1); }), "GetBits");
  JpegStream nothing(nullptr, 0);
  EXPECT_EQ(BufferErrorOf([&] { nothing.GetByte(); }), "GetByte");
}

TEST(JpegStream, BytesAndWordsUpToTheEnd) {
  ExactBuffer b(Bytes{0x12, 0x34, 0x56});
  JpegStream s(b.data(), b.size());
  EXPECT_EQ(s.GetWord(), 0x1234);
  EXPECT_EQ(BufferErrorOf([&] { s.GetWord(); }), "GetWord");  // one byte left
  EXPECT_EQ(s.GetByte(), 0x56);
  EXPECT_FALSE(Access::HasData(s));
  EXPECT_EQ(BufferErrorOf([&] { s.GetByte(); }), "GetByte");
}

TEST(JpegStream, SkipByteBounds) {
  ExactBuffer b(Bytes{1, 2, 3, 4});
  JpegStream s(b.data(), b.size());
  s.SkipByte(4);  // exactly to the end
  EXPECT_FALSE(Access::HasData(s));
  EXPECT_EQ(BufferErrorOf([&] { s.SkipByte(1); }), "SkipByte");
  EXPECT_EQ(s.GetPos(), b.data() + 4);  // unchanged by the failed skip
  s.SkipByte(-3);                       // back; the data flag stays cleared
  EXPECT_EQ(s.GetPos(), b.data() + 1);
  EXPECT_FALSE(Access::HasData(s));
  EXPECT_EQ(BufferErrorOf([&] { s.GetByte(); }), "GetByte");
  // Never before the first byte.
  EXPECT_EQ(BufferErrorOf([&] { s.SkipByte(-2); }), "SkipByte");
  EXPECT_EQ(s.GetPos(), b.data() + 1);
}

TEST(JpegStream, CopyByteRefusesNegativeAndOverlongCounts) {
  ExactBuffer b(Bytes{'a', 'b', 'c'});
  JpegStream s(b.data(), b.size());
  uint8_t out[4] = {9, 9, 9, 9};
  EXPECT_EQ(BufferErrorOf([&] { s.CopyByte(out, -1); }), "CopyByte");
  EXPECT_EQ(BufferErrorOf([&] { s.CopyByte(out, 4); }), "CopyByte");
  EXPECT_EQ(out[0], 9);  // nothing copied
  EXPECT_EQ(s.GetPos(), b.data());
  s.CopyByte(out, 3);
  EXPECT_EQ(std::memcmp(out, "abc", 3), 0);
  EXPECT_FALSE(Access::HasData(s));
}

TEST(JpegStream, GetBitsUndoesByteStuffing) {
  ExactBuffer b(Bytes{0x12, 0xFF, 0x00, 0x80});
  JpegStream s(b.data(), b.size());
  EXPECT_EQ(s.GetBits(0), 0);
  EXPECT_EQ(s.GetBits(8), 0x12);
  EXPECT_EQ(s.GetBits(8), 0xFF);
  EXPECT_EQ(s.GetBits(1), 1);  // the 00 is skipped

  // The same right after a byte-level read.
  ExactBuffer c(Bytes{0x00, 0xFF, 0x00, 0x80});
  JpegStream t(c.data(), c.size());
  EXPECT_EQ(t.GetByte(), 0x00);
  EXPECT_EQ(t.GetBits(8), 0xFF);
  EXPECT_EQ(t.GetBits(1), 1);
}

TEST(JpegStream, GetBitsStopsAtAMarker) {
  ExactBuffer b(Bytes{0x0F, 0xFF, 0xD0});
  JpegStream s(b.data(), b.size());
  EXPECT_EQ(s.GetBits(8), 15);
  EXPECT_EQ(s.GetBits(3), -0xD0);
  EXPECT_EQ(s.GetBits(1), -0xD0);  // still on the marker
  EXPECT_EQ(s.GetByte(), 0xFF);
  EXPECT_EQ(s.GetByte(), 0xD0);
}

TEST(JpegStream, ByteReadAfterBitsDropsTheRestOfTheByte) {
  ExactBuffer b(Bytes{0xA5, 0x3C});
  JpegStream s(b.data(), b.size());
  EXPECT_EQ(s.GetBits(3), 5);  // 101
  EXPECT_EQ(s.GetPos(), b.data() + 1);
  EXPECT_EQ(s.GetByte(), 0x3C);
  // Bits taken from the last byte: the next whole byte is the end; with the
  // position moved onto the end, there is none to point at.
  JpegStream t(b.data() + 1, 1);
  t.GetBits(2);
  EXPECT_EQ(t.GetPos(), b.data() + 2);
  t.SkipByte(1);
  EXPECT_EQ(t.GetPos(), nullptr);
}

// Needing a byte at or past the end, GetBits raises "GetBits" and reads
// nothing there; a final 0xFF cannot be told from a marker and raises too.
TEST(JpegStream, GetBitsAtTheEndRaises) {
  ExactBuffer b(Bytes{0xAB, 0xCD});
  JpegStream s(b.data(), b.size());
  EXPECT_EQ(s.GetBits(16), 0xABCD);
  EXPECT_EQ(BufferErrorOf([&] { s.GetBits(1); }), "GetBits");

  ExactBuffer ff(Bytes{0x01, 0xFF});
  JpegStream t(ff.data(), ff.size());
  EXPECT_EQ(t.GetBits(8), 1);
  EXPECT_EQ(BufferErrorOf([&] { t.GetBits(1); }), "GetBits");

  ExactBuffer stuffed(Bytes{0xFF, 0x00});
  JpegStream u(stuffed.data(), stuffed.size());
  EXPECT_EQ(u.GetBits(8), 0xFF);
  EXPECT_EQ(BufferErrorOf([&] { u.GetBits(1); }), "GetBits");
}
