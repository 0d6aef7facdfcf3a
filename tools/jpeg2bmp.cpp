// jpeg2bmp IN.jpg OUT.bmp: decodes a JPEG file, sequential or progressive,
// with MIRAVEL's own decoder and writes the 24-bit display bitmap the frame
// window would paint.
// On failure it says which step failed, with the result code and the
// decoder's message, writes nothing and exits with status 1 (2 for usage).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "DisplayBitmap.h"
#include "JpegDecoder.h"

namespace {

bool ReadWholeFile(const char* path, std::vector<uint8_t>* bytes) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  uint8_t buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes->insert(bytes->end(), buffer, buffer + got);
  }
  bool ok = std::ferror(file) == 0;
  std::fclose(file);
  return ok;
}

// Streams the display bitmap of the planes to path, one row at a time, so
// the picture is never held twice. No half-written bitmap is left behind.
bool WriteDisplayBitmap(const char* path, const uint8_t* red, const uint8_t* green,
                        const uint8_t* blue, int32_t width, int32_t height, std::size_t stride,
                        std::size_t total) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  uint8_t header[miravel::kDisplayBitmapHeaderSize];
  miravel::WriteDisplayBitmapHeaders(header, width, height, total);
  bool ok = std::fwrite(header, 1, sizeof header, file) == sizeof header;
  std::vector<uint8_t> row(stride);
  for (int32_t y = height - 1; ok && y >= 0; --y) {  // bottom row first
    miravel::ConvertDisplayBitmapRow(red, green, blue, width, y, row.data(), stride);
    ok = std::fwrite(row.data(), 1, stride, file) == stride;
  }
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::remove(path);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: jpeg2bmp IN.jpg OUT.bmp\n");
    return 2;
  }
  const char* inPath = argv[1];
  const char* outPath = argv[2];

  std::vector<uint8_t> jpeg;
  if (!ReadWholeFile(inPath, &jpeg)) {
    std::fprintf(stderr, "jpeg2bmp: cannot read %s: %s\n", inPath, std::strerror(errno));
    return 1;
  }
  if (jpeg.size() > static_cast<std::size_t>(INT32_MAX)) {
    std::fprintf(stderr, "jpeg2bmp: %s is too large (%zu bytes)\n", inPath, jpeg.size());
    return 1;
  }

  JpegDecoder decoder;
  int32_t result = decoder.AnalysisHeader(jpeg.data(), static_cast<int32_t>(jpeg.size()));
  if (result < 0) {
    std::fprintf(stderr, "jpeg2bmp: %s: AnalysisHeader failed: %d (%s)\n", inPath, result,
                 decoder.LastErrorMessage());
    return 1;
  }
  result = decoder.DecodeImage();
  if (result < 0) {
    std::fprintf(stderr, "jpeg2bmp: %s: DecodeImage failed: %d (%s)\n", inPath, result,
                 decoder.LastErrorMessage());
    return 1;
  }

  uint8_t* red = nullptr;
  uint8_t* green = nullptr;
  uint8_t* blue = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  decoder.GetImage(&red, &green, &blue, &width, &height);
  std::size_t stride = 0;
  std::size_t total = 0;
  if (!miravel::DisplayBitmapStride(width, &stride) ||
      !miravel::DisplayBitmapSize(width, height, &total)) {
    std::fprintf(stderr, "jpeg2bmp: %s: no display bitmap for a %d x %d picture\n", inPath,
                 width, height);
    return 1;
  }
  if (!WriteDisplayBitmap(outPath, red, green, blue, width, height, stride, total)) {
    std::fprintf(stderr, "jpeg2bmp: cannot write %s: %s\n", outPath, std::strerror(errno));
    return 1;
  }
  return 0;
}
