// The EXIF orientation reader over arbitrary bytes, in two forms chosen by
// byte 0: 0xFF, the input is a JPEG file image as it is (so real files are
// seeds); anything else, the bytes after it are the TIFF body of an EXIF
// segment, which the target wraps in files of its own.
//
// Always: the orientation is 1 to 8, and nothing outside the bytes is read
// (each form is a heap block of exactly its size). For a TIFF body,
// moreover: the reader on the body alone, in a file that ends with its
// segment (so that a read past the segment is a read past the block), and
// in a file with other segments before and after it all agree, whatever
// the bytes around the segment hold; and an orientation other than 1 is
// there to be seen: worked out here from the bytes, IFD0's first entry of
// tag 0x0112 is a SHORT of count 1 with that value, and the whole IFD lies
// inside the body.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "ExifOrientation.h"
#include "FuzzCheck.h"

namespace {

uint32_t Read(const uint8_t* p, int bytes, bool bigEndian) {
  uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value = value << 8 | p[bigEndian ? i : bytes - 1 - i];
  return value;
}

void RequireOrientationEntry(const uint8_t* tiff, std::size_t size, int orientation) {
  FUZZ_REQUIRE(size >= 8);
  FUZZ_REQUIRE((tiff[0] == 'I' && tiff[1] == 'I') || (tiff[0] == 'M' && tiff[1] == 'M'));
  const bool big = tiff[0] == 'M';
  FUZZ_REQUIRE(Read(tiff + 2, 2, big) == 42);
  const uint64_t ifd = Read(tiff + 4, 4, big);
  FUZZ_REQUIRE(ifd + 2 <= size);
  const uint64_t count = Read(tiff + ifd, 2, big);
  FUZZ_REQUIRE(ifd + 2 + 12 * count <= size);
  for (uint64_t i = 0; i < count; ++i) {
    const uint8_t* entry = tiff + ifd + 2 + 12 * i;
    if (Read(entry, 2, big) != 0x0112) continue;
    FUZZ_REQUIRE(Read(entry + 2, 2, big) == 3 && Read(entry + 4, 4, big) == 1);
    FUZZ_REQUIRE(Read(entry + 8, 2, big) == static_cast<uint32_t>(orientation));
    return;
  }
  FUZZ_REQUIRE(!"an orientation without an orientation entry");
}

void Append(std::vector<uint8_t>& to, std::initializer_list<uint8_t> bytes) { to.insert(to.end(), bytes); }

// SOI, then before, then the APP1 "Exif\0\0" segment holding the body, then
// after.
std::vector<uint8_t> FileAround(const uint8_t* tiff, std::size_t size, const std::vector<uint8_t>& before,
                                const std::vector<uint8_t>& after) {
  std::vector<uint8_t> file = {0xFF, 0xD8};
  file.insert(file.end(), before.begin(), before.end());
  const std::size_t length = size + 8;
  Append(file, {0xFF, 0xE1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length), 'E', 'x', 'i', 'f', 0, 0});
  file.insert(file.end(), tiff, tiff + size);
  file.insert(file.end(), after.begin(), after.end());
  return file;
}

int ReadExact(const std::vector<uint8_t>& bytes) {
  auto copy = fuzz::ExactCopy(bytes.data(), bytes.size());
  return miravel::ReadExifOrientation(copy.get(), bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] == 0xFF) {
    auto file = fuzz::ExactCopy(data, size);
    const int orientation = miravel::ReadExifOrientation(file.get(), size);
    FUZZ_REQUIRE(orientation >= 1 && orientation <= 8);
    return 0;
  }

  const uint8_t* body = data + 1;
  const std::size_t bodySize = size - 1;
  auto exact = fuzz::ExactCopy(body, bodySize);

  if (bodySize > 65535 - 8) return 0;  // more than one segment holds
  const int orientation = miravel::ReadTiffOrientation(exact.get(), bodySize);
  FUZZ_REQUIRE(orientation >= 1 && orientation <= 8);
  if (orientation != 1) RequireOrientationEntry(exact.get(), bodySize, orientation);

  // The segment last in the file, and with other segments around it: a JFIF
  // APP0 and an XMP APP1 before; after it bytes that are all 0xFF, then all
  // 0x00, then a second EXIF segment that says 6.
  const std::vector<uint8_t> jfif = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  const std::vector<uint8_t> xmp = {0xFF, 0xE1, 0, 8, 'h', 't', 't', 'p', ':', 0};
  std::vector<uint8_t> before = jfif;
  before.insert(before.end(), xmp.begin(), xmp.end());
  const std::vector<uint8_t> secondExif = {0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                           1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};
  FUZZ_REQUIRE(ReadExact(FileAround(exact.get(), bodySize, {}, {})) == orientation);
  FUZZ_REQUIRE(ReadExact(FileAround(exact.get(), bodySize, before, std::vector<uint8_t>(64, 0xFF))) == orientation);
  FUZZ_REQUIRE(ReadExact(FileAround(exact.get(), bodySize, {}, std::vector<uint8_t>(64, 0x00))) == orientation);
  FUZZ_REQUIRE(ReadExact(FileAround(exact.get(), bodySize, jfif, secondExif)) == orientation);
  return 0;
}
