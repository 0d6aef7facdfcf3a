// The EXIF orientation reader over JPEG file images built here: a marker
// walk from SOI to the first scan, an APP1 "Exif\0\0" segment with a TIFF
// header in either byte order and IFD0's Orientation entry, and every way
// those bytes can be damaged or lie; and over files that exiftool wrote.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ExifOrientation.h"

namespace miravel {
namespace {

using Bytes = std::vector<uint8_t>;

struct IfdEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint32_t value;  // a SHORT in the first two bytes of the field, as EXIF stores it
};

constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;

void Put16(Bytes& b, uint16_t v, bool big) {
  if (big) {
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
  } else {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  }
}

void Put32(Bytes& b, uint32_t v, bool big) {
  Put16(b, static_cast<uint16_t>(big ? v >> 16 : v), big);
  Put16(b, static_cast<uint16_t>(big ? v : v >> 16), big);
}

// A TIFF header, IFD0 at offset 8 with the entries, the next-IFD offset.
Bytes Tiff(bool big, const std::vector<IfdEntry>& entries, uint32_t nextIfd = 0) {
  Bytes b = big ? Bytes{'M', 'M'} : Bytes{'I', 'I'};
  Put16(b, 42, big);
  Put32(b, 8, big);
  Put16(b, static_cast<uint16_t>(entries.size()), big);
  for (const IfdEntry& e : entries) {
    Put16(b, e.tag, big);
    Put16(b, e.type, big);
    Put32(b, e.count, big);
    if (e.type == kShort && e.count == 1) {
      Put16(b, static_cast<uint16_t>(e.value), big);
      Put16(b, 0, big);
    } else {
      Put32(b, e.value, big);
    }
  }
  Put32(b, nextIfd, big);
  return b;
}

// IFD0 with a few ordinary tags around the orientation, as cameras write it.
Bytes CameraTiff(bool big, uint32_t orientation) {
  return Tiff(big, {{0x010F, 2, 4, 0}, {0x0112, kShort, 1, orientation}, {0x011A, 5, 1, 0}});
}

void Append(Bytes& to, const Bytes& more) {
  for (uint8_t byte : more) to.push_back(byte);
}

Bytes Segment(uint8_t code, const Bytes& body) {
  Bytes b = {0xFF, code, static_cast<uint8_t>((body.size() + 2) >> 8), static_cast<uint8_t>(body.size() + 2)};
  Append(b, body);
  return b;
}

Bytes ExifSegment(const Bytes& tiff) {
  Bytes body = {'E', 'x', 'i', 'f', 0, 0};
  Append(body, tiff);
  return Segment(0xE1, body);
}

Bytes Jfif() { return Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}); }

// SOI, the segments, a scan header, entropy-coded data (afterScan, then a
// few bytes), EOI.
Bytes Jpeg(const std::vector<Bytes>& segments, const std::vector<Bytes>& afterScan = {}) {
  Bytes file = {0xFF, 0xD8};
  for (const Bytes& s : segments) Append(file, s);
  Append(file, Segment(0xDA, {1, 1, 0, 0, 63, 0}));
  // Bytes right after the scan header are entropy-coded data, whatever they
  // look like.
  for (const Bytes& s : afterScan) Append(file, s);
  Append(file, {0x12, 0x34, 0xFF, 0x00, 0x56});
  Append(file, {0xFF, 0xD9});
  return file;
}

int Read(const Bytes& file) { return ReadExifOrientation(file.data(), file.size()); }

TEST(ExifOrientation, EveryValueInBothByteOrders) {
  for (bool big : {false, true}) {
    for (uint32_t value = 1; value <= 8; ++value) {
      EXPECT_EQ(Read(Jpeg({Jfif(), ExifSegment(CameraTiff(big, value))})), static_cast<int>(value))
          << (big ? "MM " : "II ") << value;
    }
  }
}

// The bytes of a big-endian orientation 6, written out: the value is the
// first two bytes of the value field, not the last two nor all four.
TEST(ExifOrientation, BigEndianValueIsTheFieldsFirstShort) {
  const Bytes tiff = {'M', 'M', 0, 42, 0, 0, 0, 8,           // header, IFD0 at 8
                      0, 1,                                   // one entry
                      0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 6, 0, 9,  // orientation SHORT 1: 6 (then padding 9)
                      0, 0, 0, 0};
  EXPECT_EQ(Read(Jpeg({ExifSegment(tiff)})), 6);
}

TEST(ExifOrientation, FoundWhereverItStandsBeforeTheScan) {
  const Bytes exif = ExifSegment(CameraTiff(false, 8));
  const Bytes xmp = Segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0});
  const Bytes quantisation = Segment(0xDB, Bytes(65, 1));
  Bytes withFill = {0xFF, 0xFF};  // fill bytes before the marker
  Append(withFill, exif);
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"first segment", Jpeg({exif})},
      {"after JFIF and a table", Jpeg({Jfif(), quantisation, exif})},
      {"after an XMP APP1", Jpeg({xmp, exif})},
      {"after fill bytes", Jpeg({Jfif(), withFill})},
      {"no scan after it", [&] { Bytes f = {0xFF, 0xD8}; Append(f, exif); return f; }()},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.file), 8) << c.name;
}

// The first EXIF segment decides, even when it is damaged.
TEST(ExifOrientation, FirstExifSegmentDecides) {
  EXPECT_EQ(Read(Jpeg({ExifSegment(CameraTiff(true, 3)), ExifSegment(CameraTiff(false, 6))})), 3);
  Bytes damaged = CameraTiff(false, 3);
  damaged[2] = 43;
  EXPECT_EQ(Read(Jpeg({ExifSegment(damaged), ExifSegment(CameraTiff(false, 6))})), 1);
}

// One defect at a time in a file that reads 6 without it: each gives 1.
TEST(ExifOrientation, DamagedOrLyingExifCountsAsNormal) {
  const auto tiffWith = [](bool big, const std::vector<IfdEntry>& entries, uint32_t next = 0) {
    return Jpeg({ExifSegment(Tiff(big, entries, next))});
  };
  const auto edited = [](bool big, void (*edit)(Bytes&)) {
    Bytes tiff = CameraTiff(big, 6);
    edit(tiff);
    return Jpeg({ExifSegment(tiff)});
  };
  const IfdEntry six = {0x0112, kShort, 1, 6};
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"value 0", tiffWith(false, {{0x0112, kShort, 1, 0}})},
      {"value 9", tiffWith(true, {{0x0112, kShort, 1, 9}})},
      {"value 0xFFFF", tiffWith(false, {{0x0112, kShort, 1, 0xFFFF}})},
      {"type LONG", tiffWith(false, {{0x0112, kLong, 1, 6}})},
      {"type BYTE", tiffWith(true, {{0x0112, 1, 1, 6}})},
      {"count 2", tiffWith(false, {{0x0112, kShort, 2, 6}})},
      {"count 0", tiffWith(true, {{0x0112, kShort, 0, 6}})},
      {"no orientation tag", tiffWith(false, {{0x0110, kShort, 1, 6}, {0x0113, kShort, 1, 6}})},
      {"empty IFD0", tiffWith(true, {})},
      {"byte order IM", edited(false, [](Bytes& t) { t[1] = 'M'; })},
      {"byte order mm", edited(true, [](Bytes& t) { t[0] = t[1] = 'm'; })},
      {"43 for 42", edited(false, [](Bytes& t) { t[2] = 43; })},
      {"42 in the other byte order", edited(true, [](Bytes& t) { t[2] = 42; t[3] = 0; })},
      {"IFD0 offset at the end", edited(false, [](Bytes& t) { t[4] = static_cast<uint8_t>(t.size()); })},
      {"IFD0 offset one short of its count", edited(false, [](Bytes& t) { t[4] = static_cast<uint8_t>(t.size() - 1); })},
      {"IFD0 offset 2^32 - 1", edited(true, [](Bytes& t) { t[4] = t[5] = t[6] = t[7] = 0xFF; })},
      {"IFD0 offset 2^32 - 2 (wraps past 2^32 with the count)", edited(false, [](Bytes& t) { t[4] = 0xFE; t[5] = t[6] = t[7] = 0xFF; })},
      {"IFD0 at the header (count 0x4949)", edited(false, [](Bytes& t) { t[4] = 0; })},
      {"entry count one past the end", edited(false, [](Bytes& t) { t[8] = 4; })},
      {"entry count 65535", edited(true, [](Bytes& t) { t[8] = t[9] = 0xFF; })},
      {"segment cut inside the entries", [] {
         Bytes tiff = CameraTiff(false, 6);
         tiff.resize(8 + 2 + 12 + 6);  // the orientation entry, then half of the next one
         return Jpeg({ExifSegment(tiff)});
       }()},
      {"TIFF header cut", Jpeg({ExifSegment({'I', 'I', 42, 0, 8, 0, 0})})},
      {"Exif header without TIFF", Jpeg({ExifSegment({})})},
      {"Exif header cut", Jpeg({Segment(0xE1, {'E', 'x', 'i', 'f', 0})})},
      {"Exif in APP2, not APP1", [&] {
         Bytes s = ExifSegment(CameraTiff(false, 6));
         s[1] = 0xE2;
         return Jpeg({s});
       }()},
      {"segment longer than the file", [&] {
         Bytes file = Jpeg({ExifSegment(CameraTiff(false, 6))});
         file.resize(40);
         return file;
       }()},
      {"segment length 1", [&] {
         Bytes file = Jpeg({Segment(0xE0, {}), ExifSegment(CameraTiff(false, 6))});
         file[5] = 1;
         return file;
       }()},
      {"a byte that is no marker before it", Jpeg({Bytes{0x00}, ExifSegment(CameraTiff(false, 6))})},
      {"EXIF after the scan", Jpeg({Jfif()}, {ExifSegment(CameraTiff(false, 6))})},
      {"EXIF after EOI", [] {
         // Two bytes that a walk taking EOI for a segment would read as its length.
         Bytes file = {0xFF, 0xD8, 0xFF, 0xD9, 0x00, 0x02};
         Append(file, ExifSegment(CameraTiff(false, 6)));
         return file;
       }()},
      {"no SOI", [] {
         Bytes file = Jpeg({ExifSegment(CameraTiff(false, 6))});
         file.erase(file.begin(), file.begin() + 2);
         return file;
       }()},
      {"a second SOI", Jpeg({Bytes{0xFF, 0xD8}, ExifSegment(CameraTiff(false, 6))})},
      {"no EXIF at all", Jpeg({Jfif()})},
      {"SOI only", Bytes{0xFF, 0xD8}},
      {"empty", Bytes{}},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.file), 1) << c.name;

  // The same files without the defect read 6.
  EXPECT_EQ(Read(tiffWith(false, {six})), 6);
  EXPECT_EQ(Read(tiffWith(true, {six})), 6);
  EXPECT_EQ(ReadExifOrientation(nullptr, 0), 1);
}

// Only IFD0 is read: next-IFD offsets that loop back to IFD0 or to
// themselves are never followed, with or without an orientation in IFD0.
TEST(ExifOrientation, IfdOffsetLoopsAreNeverFollowed) {
  for (bool big : {false, true}) {
    EXPECT_EQ(Read(Jpeg({ExifSegment(Tiff(big, {{0x0112, kShort, 1, 5}}, 8))})), 5);
    EXPECT_EQ(Read(Jpeg({ExifSegment(Tiff(big, {{0x0110, 2, 4, 0}}, 8))})), 1);
    EXPECT_EQ(Read(Jpeg({ExifSegment(Tiff(big, {{0x0110, 2, 4, 0}}, 10 + 12))})), 1);
  }
}

// Every prefix of a good file, each a block of its own size: no read beyond
// it (the sanitizer build sees one), and a value only once the entry is whole.
TEST(ExifOrientation, EveryTruncationReadsInsideTheBytes) {
  const Bytes file = Jpeg({Jfif(), ExifSegment(CameraTiff(true, 7))});
  const std::size_t segmentEnd = 2 + Jfif().size() + ExifSegment(CameraTiff(true, 7)).size();
  for (std::size_t n = 0; n <= file.size(); ++n) {
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(Read(cut), n >= segmentEnd ? 7 : 1) << n;
  }
}

// The TIFF reader on its own bytes: nothing outside them.
TEST(ExifOrientation, TiffReaderAlone) {
  const Bytes tiff = CameraTiff(false, 4);
  EXPECT_EQ(ReadTiffOrientation(tiff.data(), tiff.size()), 4);
  EXPECT_EQ(ReadTiffOrientation(tiff.data(), tiff.size() - 4), 4);  // without the next-IFD offset
  // The whole IFD must be inside, not only the orientation entry.
  EXPECT_EQ(ReadTiffOrientation(tiff.data(), 8 + 2 + 3 * 12), 4);
  EXPECT_EQ(ReadTiffOrientation(tiff.data(), 8 + 2 + 3 * 12 - 1), 1);
  EXPECT_EQ(ReadTiffOrientation(nullptr, 0), 1);
}

// The fuzz seeds that exiftool wrote (tests/fuzz/make-exif-corpus.sh): each
// orientation in both byte orders, and one with a camera's tags and XMP.
TEST(ExifOrientation, FilesWrittenByExiftool) {
  std::vector<std::pair<std::string, int>> files = {{"exiftool-camera-mm-8.jpg", 8}};
  for (const char* order : {"ii", "mm"}) {
    for (int value = 1; value <= 8; ++value) {
      files.push_back({std::string("exiftool-") + order + "-" + std::to_string(value) + ".jpg", value});
    }
  }
  for (const auto& [name, value] : files) {
    std::ifstream in(std::string(MIRAVEL_EXIF_SEEDS) + "/" + name, std::ios::binary);
    ASSERT_TRUE(in) << name;
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Read(file), value) << name;
  }
}

}  // namespace
}  // namespace miravel
