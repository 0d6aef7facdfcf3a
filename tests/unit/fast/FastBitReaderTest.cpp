// The buffered bit reader against the decoder's byte-by-byte reader
// (JpegStream::GetBits) on random byte strings full of FF 00 pairs, markers
// and ends: the same values, the same failures, and after every read the
// same reader position.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "BitReader.h"
#include "JpegStream.h"

namespace {

jpegfast::StreamState Snapshot(const JpegStream& stream)
{
    const JpegStream::Position p = stream.SavePosition();
    jpegfast::StreamState s;
    s.cur = p.cur;
    s.end = stream.End();
    s.bitPos = p.bitPos;
    s.stuffPending = p.stuffPending;
    s.hasData = p.hasData;
    return s;
}

std::string Describe(const jpegfast::StreamState& s, const uint8_t* base)
{
    return "cur " + std::to_string(s.cur - base) + " bitPos " + std::to_string(s.bitPos) + " stuff " +
           std::to_string(s.stuffPending) + " hasData " + std::to_string(s.hasData);
}

bool SameState(const jpegfast::StreamState& a, const jpegfast::StreamState& b)
{
    return a.cur == b.cur && a.bitPos == b.bitPos && a.stuffPending == b.stuffPending && a.hasData == b.hasData;
}

TEST(FastBitReader, SameValuesAndPositionsAsByteReader)
{
    std::mt19937 random(99);
    int failures = 0;
    for (int n = 0; n < 20000 && failures < 5; ++n) {
        // Bytes: plain data, 0xFF (data or a marker's start), 0x00, markers.
        std::vector<uint8_t> bytes(random() % 24);
        for (uint8_t& b : bytes) {
            const int pick = static_cast<int>(random() % 10);
            b = pick < 3 ? 0xFF : pick < 5 ? 0x00 : pick == 5 ? static_cast<uint8_t>(0xD0 + random() % 10)
                                                              : static_cast<uint8_t>(random());
        }
        JpegStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
        // Start at a byte-level position, as a scan or a restart interval does.
        const int32_t skip = bytes.empty() ? 0 : static_cast<int32_t>(random() % (bytes.size() + 1));
        stream.SkipByte(skip);
        // Sometimes the fast reader takes over from the byte reader in the
        // middle of a byte (a second pass starts where the first stopped).
        for (int lead = static_cast<int>(random() % 3); lead > 0; --lead) {
            try {
                if (stream.GetBits(1 + static_cast<int32_t>(random() % 5)) < 0) break;
            } catch (const EBufferError&) {
                break;
            }
        }
        jpegfast::BitReader reader;
        reader.Start(Snapshot(stream));
        for (int read = 0; read < 12; ++read) {
            const int count = 1 + static_cast<int>(random() % (read % 4 == 0 ? 31 : 12));
            int32_t expected = 0, actual = 0;
            bool expectedThrew = false, actualThrew = false;
            try {
                expected = stream.GetBits(count);
            } catch (const EBufferError& e) {
                expectedThrew = true;
                EXPECT_STREQ(e.message, "GetBits");
            }
            try {
                actual = reader.GetBits(count);
            } catch (const EBufferError& e) {
                actualThrew = true;
                EXPECT_STREQ(e.message, "GetBits");
            }
            const jpegfast::StreamState want = Snapshot(stream), got = reader.State();
            if (expectedThrew != actualThrew || expected != actual || !SameState(want, got)) {
                ADD_FAILURE() << "case " << n << " read " << read << " of " << count << " bits: byte reader "
                              << (expectedThrew ? "threw" : std::to_string(expected)) << " at "
                              << Describe(want, bytes.data()) << "; fast reader "
                              << (actualThrew ? "threw" : std::to_string(actual)) << " at "
                              << Describe(got, bytes.data());
                ++failures;
                break;
            }
            if (expectedThrew) break;
        }
    }
}

TEST(FastBitReader, StuffedBytesAndMarkers)
{
    // 12 FF 00 80: 0x12, then 0xFF, then the bit after the skipped 00.
    const uint8_t stuffed[] = {0x12, 0xFF, 0x00, 0x80};
    jpegfast::BitReader reader;
    jpegfast::StreamState start;
    start.cur = stuffed;
    start.end = stuffed + sizeof stuffed;
    reader.Start(start);
    EXPECT_EQ(reader.GetBits(8), 0x12);
    EXPECT_EQ(reader.GetBits(8), 0xFF);
    EXPECT_EQ(reader.GetBits(1), 1);

    // 0F FF D0: 15, then the marker, negated, and the reader stays on it.
    const uint8_t marker[] = {0x0F, 0xFF, 0xD0};
    start.cur = marker;
    start.end = marker + sizeof marker;
    reader.Start(start);
    EXPECT_EQ(reader.GetBits(8), 15);
    EXPECT_EQ(reader.GetBits(3), -0xD0);
    EXPECT_EQ(reader.GetBits(3), -0xD0);
    EXPECT_EQ(reader.State().cur, marker + 1);
    EXPECT_EQ(reader.State().bitPos, 7);

    // The data ends: "GetBits".
    const uint8_t one[] = {0xA5};
    start.cur = one;
    start.end = one + 1;
    reader.Start(start);
    EXPECT_EQ(reader.GetBits(3), 5);
    EXPECT_THROW(reader.GetBits(8), EBufferError);
}

}  // namespace
