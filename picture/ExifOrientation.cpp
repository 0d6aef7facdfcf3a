#include "ExifOrientation.h"

#include <cstring>
#include <optional>

namespace miravel {

namespace {

constexpr uint8_t kMarkerSoi = 0xD8;
constexpr uint8_t kMarkerEoi = 0xD9;
constexpr uint8_t kMarkerSos = 0xDA;
constexpr uint8_t kMarkerApp1 = 0xE1;
constexpr uint8_t kMarkerTem = 0x01;

constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTypeShort = 3;
constexpr uint64_t kIfdEntrySize = 12;

// The bytes of one TIFF structure in its byte order. Every read names its
// offset from the structure's start and answers "no value" when any of its
// bytes would lie outside.
class TiffBytes {
 public:
  TiffBytes(const uint8_t* bytes, std::size_t size, bool bigEndian)
      : mBytes(bytes), mSize(size), mBigEndian(bigEndian) {}

  std::optional<uint32_t> U16(uint64_t at) const { return Read(at, 2); }
  std::optional<uint32_t> U32(uint64_t at) const { return Read(at, 4); }
  bool Holds(uint64_t at, uint64_t length) const { return at <= mSize && length <= mSize - at; }

 private:
  std::optional<uint32_t> Read(uint64_t at, unsigned length) const {
    if (!Holds(at, length)) return std::nullopt;
    uint32_t value = 0;
    for (unsigned i = 0; i < length; ++i) {
      const uint32_t byte = mBytes[at + (mBigEndian ? i : length - 1 - i)];
      value = value << 8 | byte;
    }
    return value;
  }

  const uint8_t* mBytes;
  std::size_t mSize;
  bool mBigEndian;
};

bool IsExifSegment(uint8_t code, const uint8_t* body, std::size_t size) {
  static const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  return code == kMarkerApp1 && size >= sizeof kExifHeader &&
         std::memcmp(body, kExifHeader, sizeof kExifHeader) == 0;
}

}  // namespace

int ReadTiffOrientation(const uint8_t* tiff, std::size_t size) {
  if (tiff == nullptr || size < 8) return kOrientationNormal;
  bool bigEndian = false;
  if (tiff[0] == 'M' && tiff[1] == 'M') {
    bigEndian = true;
  } else if (tiff[0] != 'I' || tiff[1] != 'I') {
    return kOrientationNormal;
  }
  const TiffBytes bytes(tiff, size, bigEndian);
  if (bytes.U16(2) != 42u) return kOrientationNormal;

  // IFD0 only: a count, then that many 12-byte entries, all inside.
  const std::optional<uint32_t> ifd = bytes.U32(4);
  const std::optional<uint32_t> count = ifd ? bytes.U16(*ifd) : std::nullopt;
  if (!count) return kOrientationNormal;
  const uint64_t entries = uint64_t{*ifd} + 2;
  if (!bytes.Holds(entries, kIfdEntrySize * *count)) return kOrientationNormal;

  for (uint32_t i = 0; i < *count; ++i) {
    const uint64_t entry = entries + kIfdEntrySize * i;
    if (bytes.U16(entry) != kTagOrientation) continue;
    // SHORT, count 1: the value sits in the first two bytes of the value field.
    if (bytes.U16(entry + 2) != kTypeShort || bytes.U32(entry + 4) != 1u) return kOrientationNormal;
    const uint32_t value = bytes.U16(entry + 8).value_or(0);
    return value >= kOrientationNormal && value <= kOrientationRotate270 ? static_cast<int>(value)
                                                                         : kOrientationNormal;
  }
  return kOrientationNormal;
}

int ReadExifOrientation(const uint8_t* file, std::size_t size) {
  if (file == nullptr || size < 2 || file[0] != 0xFF || file[1] != kMarkerSoi) return kOrientationNormal;
  // Marker segments from SOI to the first SOS (T.81 B.1.1.2, B.2.1): 0xFF,
  // any fill bytes 0xFF, the code; then, for all but TEM and RSTn, a 16-bit
  // length that counts itself and the segment's body. Each step moves on by
  // at least one byte, and a segment must lie inside the file.
  std::size_t at = 2;
  for (;;) {
    if (at >= size || file[at] != 0xFF) return kOrientationNormal;
    while (at < size && file[at] == 0xFF) ++at;
    if (at >= size) return kOrientationNormal;
    const uint8_t code = file[at++];
    if (code == kMarkerSos || code == kMarkerEoi) return kOrientationNormal;
    if (code == kMarkerTem || (code >= 0xD0 && code <= 0xD7)) continue;
    if (code == 0x00 || code == kMarkerSoi) return kOrientationNormal;
    if (size - at < 2) return kOrientationNormal;
    const std::size_t length = static_cast<std::size_t>(file[at]) << 8 | file[at + 1];
    if (length < 2 || length > size - at) return kOrientationNormal;
    const uint8_t* body = file + at + 2;
    const std::size_t bodySize = length - 2;
    // The first EXIF segment decides, damaged or not.
    if (IsExifSegment(code, body, bodySize)) return ReadTiffOrientation(body + 6, bodySize - 6);
    at += length;
  }
}

}  // namespace miravel
