// The baseline decoder built for Windows, run under Wine, against the
// committed digests of the native build's colour planes: every sample of
// every listed photo must be the same.
#include <gtest/gtest.h>

#include <string>

#include "DecoderDigest.h"
#include "TestApp.h"

namespace {

std::string WinePathOf(const std::string& name) {
  return Narrow(name.front() == '/' ? HostPath(name) : SourcePath(name.c_str()));
}

TEST(Decoder, PlanesEqualTheNativeBuildsSampleForSample) {
  std::vector<uint8_t> text;
  ASSERT_TRUE(miravel::ReadWholeFile(WinePathOf("tests/win/digest/decoder-digests.txt"), &text));
  const auto references = miravel::ParseDecoderDigests(std::string(text.begin(), text.end()));
  ASSERT_FALSE(references.empty());
  int compared = 0;
  for (const auto& reference : references) {
    std::vector<uint8_t> jpeg;
    if (!miravel::ReadWholeFile(WinePathOf(reference.name), &jpeg)) {
      // The real photographs come from the system's wallpaper package.
      EXPECT_EQ(reference.name.front(), '/') << "cannot read " << reference.name;
      std::printf("skipped (not installed): %s\n", reference.name.c_str());
      continue;
    }
    EXPECT_EQ(miravel::DecoderDigestLine(reference.name, jpeg), reference.line);
    ++compared;
  }
  EXPECT_GE(compared, 13);  // the files of the repository at least
}

}  // namespace
