// Native side of the decoder check under Wine. With --write it writes the
// digest of every listed JPEG file to the reference list; with --check it
// compares the native decoder's digests with that list and fails on any
// difference, so the reference never drifts from the native decoder.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "DecoderDigest.h"

namespace {

std::string PathOf(const std::string& name, const std::string& sourceDir) {
  return name.front() == '/' ? name : sourceDir + "/" + name;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 4 ? argv[1] : "";
  if (mode != "--write" && mode != "--check") {
    std::fprintf(stderr, "usage: %s --write|--check REFERENCE SOURCE_DIR\n", argv[0]);
    return 2;
  }
  const std::string reference = argv[2];
  const std::string sourceDir = argv[3];

  if (mode == "--write") {
    std::ofstream out(reference, std::ios::binary);
    for (const std::string& name : miravel::DecoderDigestFiles()) {
      std::vector<uint8_t> bytes;
      if (!miravel::ReadWholeFile(PathOf(name, sourceDir), &bytes)) {
        std::fprintf(stderr, "cannot read %s\n", name.c_str());
        return 1;
      }
      out << miravel::DecoderDigestLine(name, bytes) << "\n";
    }
    return out ? 0 : 1;
  }

  std::ifstream in(reference, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto lines = miravel::ParseDecoderDigests(text);
  if (lines.empty()) {
    std::fprintf(stderr, "no digests in %s\n", reference.c_str());
    return 1;
  }
  int failures = 0;
  for (const auto& expected : lines) {
    std::vector<uint8_t> bytes;
    if (!miravel::ReadWholeFile(PathOf(expected.name, sourceDir), &bytes)) {
      if (expected.name.front() == '/') {
        std::printf("skipped (not installed): %s\n", expected.name.c_str());
        continue;
      }
      std::fprintf(stderr, "cannot read %s\n", expected.name.c_str());
      ++failures;
      continue;
    }
    const std::string actual = miravel::DecoderDigestLine(expected.name, bytes);
    if (actual != expected.line) {
      std::fprintf(stderr, "differs:\n  reference %s\n  native    %s\n", expected.line.c_str(),
                   actual.c_str());
      ++failures;
    }
  }
  if (failures) {
    std::fprintf(stderr, "If the decoder's output changed on purpose, rewrite %s with --write.\n",
                 reference.c_str());
  }
  return failures ? 1 : 0;
}
