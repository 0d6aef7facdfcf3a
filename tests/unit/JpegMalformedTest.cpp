// Damaged input: every failure is a clean result code with a message, never
// a crash or a read outside the bytes given (run under AddressSanitizer, each
// input in a heap block of exactly its size).
#include <gtest/gtest.h>

#include <random>

#include "JpegBuilder.h"
#include "LibjpegHelpers.h"

using namespace jpegtest;

namespace {

Bytes Fixture(const char* name) {
  Bytes bytes = ReadFile(std::string(MIRAVEL_JPEG_TEST_DATA) + "/" + name);
  EXPECT_FALSE(bytes.empty()) << "missing fixture " << name;
  return bytes;
}

// The outcome of one damaged input, checked for the rules every input obeys,
// with both forms of the decode pass (which must also agree).
int32_t CheckedResult(const Bytes& bytes, const std::string& what) {
  int32_t results[2];
  std::string messages[2];
  for (Form form : {Form::kReference, Form::kFast}) {
    const std::string where = what + ", " + FormName(form);
    Decoded d = DecodeJpeg(bytes, form);
    const int32_t result = d.analysis < 0 ? d.analysis : d.decode;
    EXPECT_TRUE(result == 0 || result == -1 || result == -2) << where << ": " << result;
    if (result < 0) {
      EXPECT_FALSE(d.message.empty()) << where;
      EXPECT_TRUE(d.planesNull) << where;
    } else {
      EXPECT_FALSE(d.planesNull) << where;
    }
    EXPECT_TRUE(d.inputUnchanged) << where;
    results[static_cast<int>(form)] = result;
    messages[static_cast<int>(form)] = d.message;
  }
  EXPECT_EQ(results[0], results[1]) << what;
  EXPECT_EQ(messages[0], messages[1]) << what;
  return results[0];
}

}  // namespace

// Cut at every length. Only the trailing EOI may go missing without a
// failure (the entropy-coded data is then complete).
TEST(JpegMalformed, TruncatedAtEveryLength) {
  const Bytes full = Fixture("tiny-420-restart2.jpg");
  ASSERT_EQ(CheckedResult(full, "whole file"), 0);
  for (size_t n = 0; n < full.size(); ++n) {
    const int32_t result = CheckedResult(Bytes(full.begin(), full.begin() + n), "length " + std::to_string(n));
    if (n + 2 < full.size()) {
      EXPECT_LT(result, 0) << "length " << n;
    }
  }
}

// Bytes changed at random places (fixed seed): headers, tables, entropy data
// and markers all get hit.
TEST(JpegMalformed, RandomByteChanges) {
  const struct {
    const char* name;
    int variants;
  } inputs[] = {{"tiny-420-restart2.jpg", 600}, {"rocket-420-203x117.jpg", 150}, {"rocket-progressive.jpg", 150}};
  std::mt19937 random(20261210);
  int failures = 0;
  int total = 0;
  for (const auto& input : inputs) {
    const Bytes original = Fixture(input.name);
    ASSERT_FALSE(original.empty());
    for (int v = 0; v < input.variants; ++v) {
      Bytes bytes = original;
      const int changes = 1 + static_cast<int>(random() % 4);
      for (int c = 0; c < changes; ++c) {
        const size_t at = random() % bytes.size();
        bytes[at] = static_cast<uint8_t>(bytes[at] ^ (1 + random() % 255));
      }
      failures += CheckedResult(bytes, std::string(input.name) + " variant " + std::to_string(v)) < 0;
      ++total;
    }
  }
  std::printf("random byte changes: %d of %d inputs failed cleanly, the rest decoded\n", failures, total);
  EXPECT_GT(failures, 0);
}

// Around every scan boundary of a progressive picture with restarts: cut
// just before and after the marker, inside the header and at the start of
// the data, each byte of the header changed, the marker taken out. Cut at
// a later scan's marker or inside its header, the picture shows what the
// whole scans give; cut where the data should start, it fails; everything
// else is a clean result.
TEST(JpegMalformed, DamageAtEveryScanBoundary) {
  const Bytes jpeg = libjpegtest::Transcode(Fixture("tiny-420-restart2.jpg"), {}, true, 2);
  ASSERT_FALSE(jpeg.empty());
  int boundaries = 0;
  for (size_t m = 2; m + 4 < jpeg.size(); ++m) {
    if (!(jpeg[m] == 0xFF && jpeg[m + 1] == 0xDA)) continue;
    const size_t data = m + 2 + (jpeg[m + 2] << 8 | jpeg[m + 3]);
    const std::string where = "scan at " + std::to_string(m);
    ++boundaries;
    for (size_t cut : {m - 1, m, m + 1, m + 3, data - 1, data, data + 1}) {
      const int32_t result = CheckedResult(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(cut)),
                                           where + ", cut at " + std::to_string(cut));
      if (boundaries > 1 && cut >= m && cut < data) {
        EXPECT_EQ(result, 0) << where << ", cut at " << cut;
      }
      if (cut == data) {
        EXPECT_LT(result, 0) << where;
      }
    }
    for (size_t at = m + 2; at < data; ++at) {
      for (int value : {0x00, 0xFF, jpeg[at] ^ 0x11}) {
        Bytes changed = jpeg;
        changed[at] = static_cast<uint8_t>(value);
        CheckedResult(changed, where + ", byte " + std::to_string(at) + " = " + std::to_string(value));
      }
    }
    Bytes withoutMarker = jpeg;
    withoutMarker.erase(withoutMarker.begin() + static_cast<long>(m), withoutMarker.begin() + static_cast<long>(m + 2));
    CheckedResult(withoutMarker, where + ", marker taken out");
  }
  EXPECT_GT(boundaries, 5);
}

// Garbage entropy-coded data after a valid header, and headers that are all
// markers: clean failures.
TEST(JpegMalformed, GarbageAfterAValidHeader) {
  std::mt19937 random(7);
  for (int v = 0; v < 40; ++v) {
    JpegBuilder b = SimpleHeader(64, 48, {{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}});
    Bytes data(200);
    for (uint8_t& byte : data) byte = static_cast<uint8_t>(random());
    b.Raw(data);
    CheckedResult(b.bytes, "garbage " + std::to_string(v));
  }
  Bytes markers;
  for (int i = 0; i < 300; ++i) markers.insert(markers.end(), {0xFF, static_cast<uint8_t>(0xC0 + i % 64)});
  EXPECT_LT(CheckedResult(markers, "markers"), 0);
}
