#include "DecoderDigest.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "JpegDecoder.h"

namespace miravel {

namespace {

uint64_t Fnv1a64(const uint8_t* data, std::size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

}  // namespace

std::string DecoderDigestLine(const std::string& name, const std::vector<uint8_t>& jpegBytes) {
  JpegDecoder decoder;
  const int32_t analysis =
      decoder.AnalysisHeader(jpegBytes.data(), static_cast<int32_t>(jpegBytes.size()));
  const int32_t decode = analysis < 0 ? 0 : decoder.DecodeImage();
  char line[256];
  if (analysis < 0 || decode < 0) {
    std::snprintf(line, sizeof line, "%s %d %d - - - - -", name.c_str(), static_cast<int>(analysis),
                  static_cast<int>(decode));
    return line;
  }
  uint8_t* red = nullptr;
  uint8_t* green = nullptr;
  uint8_t* blue = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  decoder.GetImage(&red, &green, &blue, &width, &height);
  const std::size_t samples = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::snprintf(line, sizeof line, "%s %d %d %d %d %016" PRIx64 " %016" PRIx64 " %016" PRIx64,
                name.c_str(), static_cast<int>(analysis), static_cast<int>(decode),
                static_cast<int>(width), static_cast<int>(height), Fnv1a64(red, samples),
                Fnv1a64(green, samples), Fnv1a64(blue, samples));
  return line;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

const std::vector<std::string>& DecoderDigestFiles() {
  static const std::vector<std::string> files = {
      "res/sample/sample.jpg",
      "tests/data/jpeg/rocket-420-203x117.jpg",
      "tests/data/jpeg/rocket-420-restart5.jpg",
      "tests/data/jpeg/rocket-420.jpg",
      "tests/data/jpeg/rocket-422-optimized.jpg",
      "tests/data/jpeg/rocket-422.jpg",
      "tests/data/jpeg/rocket-440.jpg",
      "tests/data/jpeg/rocket-444-restart-row.jpg",
      "tests/data/jpeg/rocket-444.jpg",
      "tests/data/jpeg/rocket-444-scans-restart2.jpg",
      "tests/data/jpeg/rocket-grey-2x2.jpg",
      "tests/data/jpeg/rocket-grey.jpg",
      "tests/data/jpeg/rocket-progressive.jpg",
      "tests/data/jpeg/rocket-420-arithmetic.jpg",
      "tests/data/jpeg/tiny-420-restart2.jpg",
      "/usr/share/backgrounds/mate/nature/Aqua.jpg",               // 2560 x 1600, 4:2:0
      "/usr/share/backgrounds/mate/desktop/GreenTraditional.jpg",  // 1900 x 1200, 4:4:4
      "/usr/share/backgrounds/mate/nature/FreshFlower.jpg",        // 1600 x 1203, 4:2:0, progressive
  };
  return files;
}

std::vector<DecoderDigestReference> ParseDecoderDigests(const std::string& text) {
  std::vector<DecoderDigestReference> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    if (!line.empty()) lines.push_back({line.substr(0, line.find(' ')), line});
    at = end + 1;
  }
  return lines;
}

}  // namespace miravel
