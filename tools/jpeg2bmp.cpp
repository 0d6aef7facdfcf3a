// jpeg2bmp IN.jpg OUT.bmp: decodes a baseline JPEG file with MIRAVEL's own
// decoder and writes the 24-bit display bitmap the frame window would paint.
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

bool WriteWholeFile(const char* path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok) std::remove(path);  // no half-written bitmap is left behind
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
  std::vector<uint8_t> bitmap = miravel::BuildDisplayBitmapImage(red, green, blue, width, height);
  if (bitmap.empty()) {
    std::fprintf(stderr, "jpeg2bmp: %s: no display bitmap for a %d x %d picture\n", inPath,
                 width, height);
    return 1;
  }
  if (!WriteWholeFile(outPath, bitmap)) {
    std::fprintf(stderr, "jpeg2bmp: cannot write %s: %s\n", outPath, std::strerror(errno));
    return 1;
  }
  return 0;
}
