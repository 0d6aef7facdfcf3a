// Our decoder against libjpeg-turbo (float inverse DCT, no fancy
// upsampling) on real photographs and on small fixtures made with cjpeg.
// The two differ a little by design (we truncate where libjpeg rounds, and
// our colour coefficients differ slightly), so every sample must lie within
// a small tolerance; a wrong table, a wrong upsampling or a lost restart
// shows as a large difference. Each case prints its mean and largest
// difference; a failing case writes a diff image next to the test binary.
#include <gtest/gtest.h>

#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "JpegBuilder.h"
#include "LibjpegHelpers.h"

using namespace jpegtest;

namespace {

using Picture = libjpegtest::Rgb;

bool DecodeWithLibjpeg(const Bytes& bytes, Picture* out) { return libjpegtest::Decode(bytes, out, true); }

void WriteDiffImage(const std::string& name, const Decoded& ours, const Picture& theirs) {
  std::string path = name + "-diff.ppm";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  std::fprintf(f, "P6\n%d %d\n255\n", theirs.width, theirs.height);
  const Bytes* planes[3] = {&ours.red, &ours.green, &ours.blue};
  for (size_t i = 0; i < static_cast<size_t>(theirs.width) * theirs.height; ++i) {
    for (int c = 0; c < 3; ++c) {
      int d = std::abs((*planes[c])[i] - theirs.pixels[3 * i + c]) * 16;
      std::fputc(d > 255 ? 255 : d, f);
    }
  }
  std::fclose(f);
  std::printf("diff image (16 x |difference|): %s\n", path.c_str());
}

struct Case {
  const char* path;  // under the fixture folder, or absolute
  const char* what;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.path; }

std::string FullPath(const char* path) {
  return path[0] == '/' ? path : std::string(MIRAVEL_JPEG_TEST_DATA) + "/" + path;
}

// Bounds. Measured on these pictures: means 0.47 to 1.56 (we truncate twice
// where libjpeg rounds, about one level of bias in colour), largest
// differences 1 to 8 (libjpeg clamps Y before colour conversion, we clamp
// after), and at most 0.002% of samples off by more than 4. Fancy
// (interpolating) upsampling instead of replication already gives largest
// differences of 15 to 39 and 5% of samples off by more than 4.
constexpr int kMaxDifference = 10;
constexpr double kMaxMeanDifference = 2.0;
constexpr double kMaxShareOver4 = 0.001;

class JpegConformance : public testing::TestWithParam<Case> {};

}  // namespace

TEST_P(JpegConformance, MatchesLibjpegWithinTolerance) {
  const Case& c = GetParam();
  const Bytes bytes = ReadFile(FullPath(c.path));
  ASSERT_FALSE(bytes.empty()) << FullPath(c.path)
                              << " is missing (scripts/install-deps.sh installs mate-backgrounds)";
  Picture theirs;
  ASSERT_TRUE(DecodeWithLibjpeg(bytes, &theirs));
  for (Form form : {Form::kReference, Form::kFast}) {
    Decoded ours = DecodeJpeg(bytes, form);
    ASSERT_EQ(ours.analysis, 0) << ours.message;
    ASSERT_EQ(ours.decode, 0) << ours.message;
    ASSERT_EQ(ours.width, theirs.width);
    ASSERT_EQ(ours.height, theirs.height);

    const Bytes* planes[3] = {&ours.red, &ours.green, &ours.blue};
    const size_t pixels = static_cast<size_t>(ours.width) * ours.height;
    double sum = 0;
    int largest = 0;
    size_t over4 = 0;
    for (size_t i = 0; i < pixels; ++i) {
      for (int ch = 0; ch < 3; ++ch) {
        const int d = std::abs((*planes[ch])[i] - theirs.pixels[3 * i + ch]);
        sum += d;
        over4 += d > 4;
        if (d > largest) largest = d;
      }
    }
    const double mean = sum / (3.0 * pixels);
    const double shareOver4 = static_cast<double>(over4) / (3.0 * pixels);
    std::printf("%-26s %-34s %-9s %4d x %-4d mean %.4f max %d over 4: %.4f%%\n",
                c.path[0] == '/' ? std::strrchr(c.path, '/') + 1 : c.path, c.what,
                FormName(form), ours.width, ours.height, mean, largest, 100 * shareOver4);
    EXPECT_LE(largest, kMaxDifference) << FormName(form);
    EXPECT_LE(mean, kMaxMeanDifference) << FormName(form);
    EXPECT_LE(shareOver4, kMaxShareOver4) << FormName(form);
    if (HasFailure()) {
      std::string name = FullPath(c.path);
      name = name.substr(name.find_last_of('/') + 1);
      name = name.substr(0, name.find_last_of('.')) + "-" + FormName(form);
      WriteDiffImage(name, ours, theirs);
      return;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, JpegConformance,
    testing::Values(Case{"rocket-444.jpg", "4:4:4"}, Case{"rocket-422.jpg", "4:2:2"},
                    Case{"rocket-420.jpg", "4:2:0"}, Case{"rocket-440.jpg", "4:4:0"},
                    Case{"rocket-grey.jpg", "greyscale"},
                    Case{"rocket-grey-2x2.jpg", "greyscale, sampling 2x2"},
                    Case{"rocket-420-restart5.jpg", "4:2:0, restart every 5 MCUs"},
                    Case{"rocket-444-restart-row.jpg", "4:4:4, restart every MCU row"},
                    Case{"tiny-420-restart2.jpg", "4:2:0, 48x32, restart every 2 MCUs"},
                    Case{"rocket-422-optimized.jpg", "4:2:2, optimised Huffman tables"},
                    Case{"rocket-420-203x117.jpg", "4:2:0, partial MCUs at both edges"},
                    Case{"rocket-progressive.jpg", "4:2:0, progressive"},
                    Case{"rocket-444-scans-restart2.jpg", "4:4:4, a scan a component"}),
    [](const testing::TestParamInfo<Case>& info) {
      std::string name = info.param.path;
      name = name.substr(0, name.find('.'));
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      }
      return name;
    });

INSTANTIATE_TEST_SUITE_P(
    Photographs, JpegConformance,
    testing::Values(Case{MIRAVEL_PHOTO_DIR "/nature/Garden.jpg", "photo, 4:2:0"},
                    Case{MIRAVEL_PHOTO_DIR "/desktop/GreenTraditional.jpg", "photo, 4:4:4"},
                    Case{MIRAVEL_PHOTO_DIR "/nature/GreenMeadow.jpg", "photo, 4:2:0, progressive"}),
    [](const testing::TestParamInfo<Case>& info) {
      std::string name = info.param.path;
      return name.substr(name.find_last_of('/') + 1, name.find_last_of('.') - name.find_last_of('/') - 1);
    });

// An arithmetic-coded file, which libjpeg-turbo reads, is refused at its
// frame header with the reason.
TEST(JpegConformanceRefusals, ArithmeticCodingFailsWithMinus2) {
  const Bytes bytes = ReadFile(FullPath("rocket-420-arithmetic.jpg"));
  ASSERT_FALSE(bytes.empty());
  Picture theirs;
  EXPECT_TRUE(DecodeWithLibjpeg(bytes, &theirs));
  for (Form form : {Form::kReference, Form::kFast}) {
    Decoded ours = DecodeJpeg(bytes, form);
    EXPECT_EQ(ours.analysis, -2);
    EXPECT_EQ(ours.message, "Not supported:arithmetic coding (marker 0xC9)");
  }
}
