// A one-line digest of what the baseline decoder makes of a JPEG file: its
// two result codes, the picture size and a 64-bit FNV-1a hash of each colour
// plane. The same code runs in the native build, which writes the committed
// reference list, and in the Windows build under Wine, which must reproduce
// every line: any sample that differs changes a hash. Plain C++.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace miravel {

// "<name> <analysis> <decode> <width> <height> <red> <green> <blue>", hashes
// in hex; a failed step leaves the later fields as "-".
std::string DecoderDigestLine(const std::string& name, const std::vector<uint8_t>& jpegBytes);

// The file's bytes; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes);

// The files the digests cover: relative to the source tree, or absolute for
// real photographs that the system's wallpaper package supplies (those are
// skipped where the package is not installed).
const std::vector<std::string>& DecoderDigestFiles();

// One line of the reference list: the file's name and the whole line.
struct DecoderDigestReference {
  std::string name;
  std::string line;
};
std::vector<DecoderDigestReference> ParseDecoderDigests(const std::string& text);

}  // namespace miravel
