// Pictures coded as several scans: progressive frames and sequential frames
// whose components come in scans of their own. The strict test: the same
// coefficients carried by other scans (transcoded losslessly by
// libjpeg-turbo, as jpegtran does) decode to the same planes, byte for byte,
// in both forms of the decoder. Then what whole scans give when a file ends
// early, a height from a DNL segment, the rules a scan must keep, and
// memory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "JpegBuilder.h"
#include "JpegTestAccess.h"
#include "LibjpegHelpers.h"

using namespace jpegtest;
using libjpegtest::Scan;
using Access = JpegDecoderTestAccess;

namespace {

constexpr const char* kPhotoDir = "/usr/share/backgrounds/mate";

Bytes Fixture(const std::string& name) {
  Bytes bytes = ReadFile(std::string(MIRAVEL_JPEG_TEST_DATA) + "/" + name);
  EXPECT_FALSE(bytes.empty()) << "missing fixture " << name;
  return bytes;
}

// A crop of a real photograph, encoded as one baseline scan.
Bytes PhotoCrop(const char* photo, int x, int y, int width, int height, int h, int v, bool grey) {
  libjpegtest::Rgb rgb;
  const std::string path = std::string(kPhotoDir) + "/" + photo;
  if (!libjpegtest::Decode(ReadFile(path), &rgb, false)) {
    ADD_FAILURE() << "cannot read " << path << " (Debian package mate-backgrounds)";
    return {};
  }
  return libjpegtest::Encode(rgb, x, y, width, height, {92, h, v, grey, 0, true});
}

// The scans whose markers a byte image holds: the offset of each FF DA.
std::vector<size_t> ScanMarkers(const Bytes& jpeg) {
  std::vector<size_t> at;
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) at.push_back(i);
  }
  return at;
}

// The entropy-coded data of the scan whose marker is at `marker`: from the
// end of its header to the next marker that is not a restart marker.
std::pair<size_t, size_t> ScanData(const Bytes& jpeg, size_t marker) {
  const size_t start = marker + 2 + (jpeg[marker + 2] << 8 | jpeg[marker + 3]);
  size_t end = start;
  while (end + 1 < jpeg.size() &&
         !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 && (jpeg[end + 1] < 0xD0 || jpeg[end + 1] > 0xD7)))
    ++end;
  return {start, end};
}

struct Script {
  const char* name;
  bool progressive;          // libjpeg's default progression when scans is empty
  std::vector<Scan> scans;   // for three components; greyscale keeps those of component 0
  int restartInterval;
};

// The scripts, as jpegtran -scans would take them.
const std::vector<Script>& Scripts() {
  static const std::vector<Script> scripts = {
      {"default progression", true, {}, 0},
      {"spectral selection only",
       true,
       {{{0, 1, 2}, 0, 0, 0, 0},
        {{0}, 1, 5, 0, 0},
        {{2}, 1, 63, 0, 0},
        {{0}, 6, 20, 0, 0},
        {{1}, 1, 63, 0, 0},
        {{0}, 21, 63, 0, 0}},
       0},
      {"successive approximation to the last bit, restart every MCU",
       true,
       {{{0, 1, 2}, 0, 0, 0, 3}, {{0}, 1, 63, 0, 5}, {{1}, 1, 63, 0, 4}, {{2}, 1, 63, 0, 4},
        {{0, 1, 2}, 0, 0, 3, 2}, {{0}, 1, 63, 5, 4}, {{0}, 1, 63, 4, 3}, {{1}, 1, 63, 4, 3},
        {{2}, 1, 63, 4, 3},      {{0, 1, 2}, 0, 0, 2, 1}, {{0}, 1, 63, 3, 2}, {{1}, 1, 63, 3, 2},
        {{2}, 1, 63, 3, 2},      {{0}, 1, 63, 2, 1}, {{1}, 1, 63, 2, 1}, {{2}, 1, 63, 2, 1},
        {{0, 1, 2}, 0, 0, 1, 0}, {{2}, 1, 63, 1, 0}, {{1}, 1, 63, 1, 0}, {{0}, 1, 63, 1, 0}},
       1},
      {"bands refined apart, DC of each component alone, restart every 5 MCUs",
       true,
       {{{1}, 0, 0, 0, 1}, {{0}, 0, 0, 0, 1}, {{2}, 0, 0, 0, 1}, {{0}, 1, 9, 0, 2},
        {{0}, 10, 63, 0, 2}, {{2}, 1, 63, 0, 1}, {{1}, 1, 63, 0, 1}, {{0}, 10, 63, 2, 1},
        {{0}, 1, 9, 2, 1}, {{0, 1, 2}, 0, 0, 1, 0}, {{0}, 1, 63, 1, 0}, {{1}, 1, 63, 1, 0},
        {{2}, 1, 63, 1, 0}},
       5},
      {"sequential, one scan a component, Cr first", false,
       {{{2}, 0, 63, 0, 0}, {{0}, 0, 63, 0, 0}, {{1}, 0, 63, 0, 0}}, 0},
      {"sequential, Y with Cb, then Cr, restart every 3 MCUs", false,
       {{{0, 1}, 0, 63, 0, 0}, {{2}, 0, 63, 0, 0}}, 3},
  };
  return scripts;
}

// The script for a picture of one component: its scans of component 0.
std::vector<Scan> ForGreyscale(const std::vector<Scan>& scans) {
  std::vector<Scan> grey;
  for (const Scan& s : scans) {
    for (int c : s.components) {
      if (c == 0) grey.push_back({{0}, s.ss, s.se, s.ah, s.al});
    }
  }
  return grey;
}

struct Source {
  const char* name;
  Bytes jpeg;
  bool grey;
};

const std::vector<Source>& Sources() {
  static const std::vector<Source> sources = {
      {"rocket 4:4:4", Fixture("rocket-444.jpg"), false},
      {"rocket 4:2:2", Fixture("rocket-422.jpg"), false},
      {"rocket 4:2:0, 203 x 117", Fixture("rocket-420-203x117.jpg"), false},
      {"rocket greyscale", Fixture("rocket-grey.jpg"), true},
      {"GreenTraditional 4:4:4", PhotoCrop("desktop/GreenTraditional.jpg", 800, 500, 160, 96, 1, 1, false), false},
      {"Wood 4:2:2, 4:4:0-like", PhotoCrop("nature/Wood.jpg", 1200, 700, 141, 99, 1, 2, false), false},
      {"Garden 4:2:0", PhotoCrop("nature/Garden.jpg", 900, 600, 197, 131, 2, 2, false), false},
      {"TwoWings greyscale", PhotoCrop("nature/TwoWings.jpg", 1000, 700, 120, 72, 1, 1, true), true},
  };
  return sources;
}

class JpegMultiScan : public testing::TestWithParam<Form> {
protected:
  Form form() const { return GetParam(); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Forms, JpegMultiScan, testing::Values(Form::kReference, Form::kFast),
                         [](const testing::TestParamInfo<Form>& info) {
                           return std::string(info.param == Form::kReference ? "Reference" : "Fast");
                         });

TEST_P(JpegMultiScan, TranscodesDecodeToTheSamePlanes) {
  for (const Source& source : Sources()) {
    ASSERT_FALSE(source.jpeg.empty()) << source.name;
    const Decoded expected = DecodeJpeg(source.jpeg, form());
    ASSERT_EQ(expected.decode, 0) << source.name << ": " << expected.message;
    for (const Script& script : Scripts()) {
      const std::string what = std::string(source.name) + ", " + script.name;
      const std::vector<Scan> scans = source.grey ? ForGreyscale(script.scans) : script.scans;
      const Bytes jpeg = libjpegtest::Transcode(source.jpeg, scans, script.progressive, script.restartInterval);
      ASSERT_FALSE(jpeg.empty()) << what << ": libjpeg-turbo refused the script";
      // Really several scans, as the script says.
      const size_t scanCount = ScanMarkers(jpeg).size();
      EXPECT_EQ(scanCount, scans.empty() ? scanCount : scans.size()) << what;
      EXPECT_GT(scanCount, source.grey && !script.progressive ? 0u : 1u) << what;
      const Decoded actual = DecodeJpeg(jpeg, form());
      ASSERT_EQ(actual.analysis, 0) << what << ": " << actual.message;
      ASSERT_EQ(actual.decode, 0) << what << ": " << actual.message;
      EXPECT_EQ(actual.width, expected.width) << what;
      EXPECT_EQ(actual.height, expected.height) << what;
      EXPECT_TRUE(actual.red == expected.red && actual.green == expected.green && actual.blue == expected.blue)
          << what << ": planes differ";
    }
  }
}

// Real progressive photographs against their sequential transcodes, whole.
TEST_P(JpegMultiScan, ProgressivePhotographsDecodeAsTheirSequentialTranscodes) {
  const std::vector<const char*> photos = form() == Form::kReference
                                              ? std::vector<const char*>{"nature/GreenMeadow.jpg"}
                                              : std::vector<const char*>{"nature/GreenMeadow.jpg",
                                                                         "nature/FreshFlower.jpg",
                                                                         "abstract/Elephants.jpg"};
  for (const char* photo : photos) {
    const Bytes progressive = ReadFile(std::string(kPhotoDir) + "/" + photo);
    ASSERT_FALSE(progressive.empty()) << photo << " (Debian package mate-backgrounds)";
    ASSERT_GT(ScanMarkers(progressive).size(), 1u) << photo;
    const Bytes sequential = libjpegtest::Transcode(progressive, {}, false, 0);
    ASSERT_EQ(ScanMarkers(sequential).size(), 1u) << photo;
    const Decoded expected = DecodeJpeg(sequential, form());
    const Decoded actual = DecodeJpeg(progressive, form());
    ASSERT_EQ(actual.decode, 0) << photo << ": " << actual.message;
    EXPECT_GT(actual.width, 1000) << photo;
    EXPECT_TRUE(actual.red == expected.red && actual.green == expected.green && actual.blue == expected.blue)
        << photo << ": planes differ";
  }
}

// A file that ends after whole scans, before its EOI, shows what those scans
// give: the same as the file cut there with an EOI, and within the
// tolerance of libjpeg-turbo's picture of it. A cut inside a scan fails.
TEST_P(JpegMultiScan, FileCutAfterWholeScansShowsWhatTheyGive) {
  const Script& script = Scripts()[3];
  const Bytes jpeg = libjpegtest::Transcode(Fixture("rocket-420.jpg"), script.scans, true, script.restartInterval);
  const std::vector<size_t> markers = ScanMarkers(jpeg);
  ASSERT_EQ(markers.size(), script.scans.size());
  const Decoded whole = DecodeJpeg(jpeg, form());
  ASSERT_EQ(whole.decode, 0) << whole.message;
  for (size_t s = 1; s < markers.size(); ++s) {
    const std::string what = "cut before scan " + std::to_string(s);
    const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<long>(markers[s]));
    Bytes withEoi = cut;
    withEoi.insert(withEoi.end(), {0xFF, 0xD9});
    const Decoded shown = DecodeJpeg(cut, form());
    const Decoded ended = DecodeJpeg(withEoi, form());
    ASSERT_EQ(shown.decode, 0) << what << ": " << shown.message;
    ASSERT_EQ(ended.decode, 0) << what << ": " << ended.message;
    EXPECT_TRUE(shown.red == ended.red && shown.green == ended.green && shown.blue == ended.blue) << what;
    EXPECT_FALSE(shown.green == whole.green) << what << ": the later scans changed nothing";

    // libjpeg-turbo clamps Y before the colour conversion, we clamp after:
    // coarse pictures have more samples beyond 0 to 255 where that shows,
    // so the largest difference is larger than on whole pictures.
    libjpegtest::Rgb theirs;
    ASSERT_TRUE(libjpegtest::Decode(withEoi, &theirs, true)) << what;
    int largest = 0;
    double sum = 0;
    size_t over4 = 0;
    const Bytes* planes[3] = {&shown.red, &shown.green, &shown.blue};
    for (size_t i = 0; i < shown.red.size(); ++i) {
      for (int c = 0; c < 3; ++c) {
        const int d = std::abs((*planes[c])[i] - theirs.pixels[3 * i + c]);
        largest = std::max(largest, d);
        sum += d;
        over4 += d > 4;
      }
    }
    EXPECT_LE(largest, 24) << what;
    EXPECT_LE(sum / (3.0 * shown.red.size()), 2.0) << what;
    EXPECT_LE(over4, shown.red.size() * 3 / 1000) << what;

    // Cut in the middle of the scan's data instead: a failure.
    const auto [start, end] = ScanData(jpeg, markers[s - 1]);
    const size_t inside = (start + end) / 2;
    const Decoded broken = DecodeJpeg(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(inside)), form());
    EXPECT_LT(broken.decode, 0) << what;
    EXPECT_TRUE(broken.planesNull) << what;
  }
}

// A frame header with 0 lines takes its height from the DNL segment after
// the first scan (T.81 B.2.5), one-scan and multi-scan pictures alike;
// without one the picture stays empty.
TEST_P(JpegMultiScan, HeightFromTheDnlSegmentAfterTheFirstScan) {
  const Bytes baseline = Fixture("rocket-420.jpg");
  const Bytes progressive = libjpegtest::Transcode(baseline, {}, true, 0);
  const Decoded expected = DecodeJpeg(baseline, form());
  for (const Bytes* source : {&baseline, &progressive}) {
    Bytes jpeg = *source;
    size_t sof = 0;
    while (!(jpeg[sof] == 0xFF && (jpeg[sof + 1] == 0xC0 || jpeg[sof + 1] == 0xC2))) ++sof;
    const uint8_t height[2] = {jpeg[sof + 5], jpeg[sof + 6]};
    jpeg[sof + 5] = jpeg[sof + 6] = 0;
    const Bytes withoutDnl = jpeg;
    const size_t end = ScanData(jpeg, ScanMarkers(jpeg)[0]).second;
    jpeg.insert(jpeg.begin() + static_cast<long>(end), {0xFF, 0xDC, 0x00, 0x04, height[0], height[1]});
    const Decoded d = DecodeJpeg(jpeg, form());
    ASSERT_EQ(d.decode, 0) << d.message;
    EXPECT_EQ(d.height, expected.height);
    EXPECT_TRUE(d.red == expected.red && d.green == expected.green && d.blue == expected.blue);

    const Decoded empty = DecodeJpeg(withoutDnl, form());
    EXPECT_EQ(empty.decode, 0) << empty.message;
    EXPECT_EQ(empty.height, 0);
  }
}

namespace {

// A progressive greyscale 8 x 8 picture from the given scans, each with one
// byte of data; the tables give every block of every scan one bit (a DC
// difference of 0, an end of band).
Bytes ProgressiveScans(const std::vector<std::pair<std::vector<ScanComp>, std::array<int, 4>>>& scans,
                       bool threeComponents = false) {
  JpegBuilder b;
  b.Soi().DqtFlat(0, 1);
  b.Sof(0xC2, 8, 8, threeComponents ? std::vector<FrameComp>{{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}}
                                    : std::vector<FrameComp>{{1, 1, 1, 0}});
  b.Dht(0, 0, OneSymbolTable(0)).Dht(1, 0, OneSymbolTable(0));
  for (const auto& [components, band] : scans) {
    b.Sos(components, band[0], band[1], band[2], band[3]).Raw({0x00});
  }
  return b.Eoi().bytes;
}

}  // namespace

// Scans that break the rules of their kind are refused with -2 and a
// message that names the rule.
TEST_P(JpegMultiScan, ScansThatBreakTheRulesAreRefused) {
  const std::vector<ScanComp> y = {{1, 0, 0}};
  const std::vector<ScanComp> all = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
  const std::array<int, 4> dcFirst = {0, 0, 0, 0};
  const std::array<int, 4> acFirst = {1, 63, 0, 0};
  const struct {
    Bytes bytes;
    const char* message;
  } cases[] = {
      {ProgressiveScans({{y, dcFirst}, {y, acFirst}}), ""},
      {ProgressiveScans({{y, {0, 0, 0, 1}}, {y, {0, 0, 1, 0}}, {y, {1, 9, 0, 2}}, {y, {1, 9, 2, 1}},
                         {y, {1, 9, 1, 0}}, {y, {10, 63, 0, 0}}}),
       ""},
      {ProgressiveScans({{all, dcFirst}, {{{3, 0, 0}}, acFirst}}, true), ""},
      {ProgressiveScans({{y, acFirst}}), "AnalysisScan:AC before DC"},
      {ProgressiveScans({{y, {0, 5, 0, 0}}}), "AnalysisScan:Ss Se out of range"},
      {ProgressiveScans({{y, dcFirst}, {y, {5, 4, 0, 0}}}), "AnalysisScan:Ss Se out of range"},
      {ProgressiveScans({{y, dcFirst}, {y, {1, 64, 0, 0}}}), "AnalysisScan:Ss Se out of range"},
      {ProgressiveScans({{y, {0, 0, 0, 14}}}), "AnalysisScan:Ah Al out of range"},
      {ProgressiveScans({{y, {0, 0, 0, 2}}, {y, {0, 0, 2, 0}}}), "AnalysisScan:Ah Al out of range"},
      {ProgressiveScans({{y, dcFirst}, {y, {0, 0, 1, 0}}}), "AnalysisScan:Ah not the last Al"},
      {ProgressiveScans({{y, dcFirst}, {y, {1, 63, 1, 0}}}), "AnalysisScan:refinement without first scan"},
      {ProgressiveScans({{y, dcFirst}, {y, {1, 5, 0, 1}}, {y, {5, 9, 0, 0}}}),
       "AnalysisScan:coefficients coded twice"},
      {ProgressiveScans({{y, dcFirst}, {y, dcFirst}}), "AnalysisScan:coefficients coded twice"},
      {ProgressiveScans({{all, dcFirst}, {{{1, 0, 0}, {2, 0, 0}}, acFirst}}, true),
       "AnalysisScan:AC scan of several components"},
      {ProgressiveScans({{{{1, 0, 0}, {1, 0, 0}}, dcFirst}}, true), "AnalysisScan:component twice"},
      {ProgressiveScans({{{{4, 0, 0}}, dcFirst}}, true), "AnalysisScan:no such component"},
      {ProgressiveScans({{{}, dcFirst}}), "AnalysisScan:no components"},
  };
  for (const auto& c : cases) {
    const Decoded d = DecodeJpeg(c.bytes, form());
    EXPECT_EQ(d.analysis, 0) << c.message;
    EXPECT_EQ(d.decode, c.message[0] == 0 ? 0 : -2) << c.message << " / " << d.message;
    EXPECT_EQ(d.message, c.message);
    EXPECT_EQ(d.planesNull, c.message[0] != 0) << c.message;
  }
}

// The store of every coefficient is refused before anything is allocated
// when the data cannot cover one bit a block; it fails as out of memory
// when it cannot be had; and after DecodeImage, successful or not, the
// decoder holds no store.
TEST_P(JpegMultiScan, MemoryOfTheCoefficientStore) {
  // 30000 x 30000 greyscale claims 14 million blocks.
  JpegBuilder huge;
  huge.Soi().DqtFlat(0, 1).Sof(0xC2, 30000, 30000, {{1, 1, 1, 0}});
  huge.Dht(0, 0, OneSymbolTable(0)).Sos({{1, 0, 0}}, 0, 0, 0, 0).Raw(Bytes(4096, 0)).Eoi();
  {
    ExactBuffer buffer(huge.bytes);
    JpegDecoder decoder;
    ASSERT_EQ(decoder.AnalysisHeader(buffer.data(), buffer.size()), 0);
    const int32_t before = Access::Allocations(decoder);
    EXPECT_EQ(DecodeWith(decoder, form()), -1);
    EXPECT_STREQ(decoder.LastErrorMessage(), "Decode:data too short");
    EXPECT_EQ(Access::Allocations(decoder), before);
  }

  // Allocations of the pass: the three planes, then the store.
  const Bytes jpeg = Fixture("rocket-progressive.jpg");
  for (int failing : {-1, 3}) {
    ExactBuffer buffer(jpeg);
    JpegDecoder decoder;
    ASSERT_EQ(decoder.AnalysisHeader(buffer.data(), buffer.size()), 0);
    if (failing >= 0) Access::FailAllocation(decoder, Access::Allocations(decoder) + failing);
    const int32_t result = DecodeWith(decoder, form());
    EXPECT_EQ(result, failing < 0 ? 0 : -1);
    EXPECT_STREQ(decoder.LastErrorMessage(), failing < 0 ? "" : "Decode:coefficients");
    EXPECT_EQ(Access::Plane(decoder, 0) == nullptr, failing >= 0);
    EXPECT_EQ(Access::Coefficients(decoder), nullptr);
  }
}

namespace {

struct FailedAllocation {
  int32_t result;
  std::string message;
};

// Each allocation of the pass failing in turn: its outcome.
std::vector<FailedAllocation> EveryFailedAllocation(const Bytes& jpeg, Form form) {
  int32_t allocations = 0;
  {
    ExactBuffer buffer(jpeg);
    JpegDecoder decoder;
    EXPECT_EQ(decoder.AnalysisHeader(buffer.data(), buffer.size()), 0);
    const int32_t before = Access::Allocations(decoder);
    EXPECT_EQ(DecodeWith(decoder, form), 0);
    allocations = Access::Allocations(decoder) - before;
  }
  std::vector<FailedAllocation> outcomes;
  for (int32_t failing = 0; failing < allocations; ++failing) {
    ExactBuffer buffer(jpeg);
    JpegDecoder decoder;
    EXPECT_EQ(decoder.AnalysisHeader(buffer.data(), buffer.size()), 0);
    Access::FailAllocation(decoder, Access::Allocations(decoder) + failing);
    const int32_t result = DecodeWith(decoder, form);
    outcomes.push_back({result, decoder.LastErrorMessage()});
    EXPECT_EQ(result, -1) << failing;
    EXPECT_EQ(Access::Plane(decoder, 0), nullptr) << failing;
    EXPECT_EQ(Access::Coefficients(decoder), nullptr) << failing;
    const int32_t again = DecodeWith(decoder, form);
    EXPECT_TRUE(again == 0 || again == -1 || again == -2) << failing;
  }
  return outcomes;
}

}  // namespace

// Every allocation of a multi-scan pass failing in turn (the planes, the
// store, the Huffman tables defined between scans, the MCU buffers): out of
// memory with no planes left, the same failure in both forms, and a second
// decode of the same object fails or succeeds cleanly, whatever the first
// one left in its tables.
TEST(JpegMultiScanMemory, EveryFailedAllocationOfThePass) {
  // A DC table redefined between two scans, the first of which uses it.
  JpegBuilder redefined;
  redefined.Soi().DqtFlat(0, 1).Sof(0xC2, 8, 8, {{1, 1, 1, 0}});
  redefined.Dht(0, 0, OneSymbolTable(0)).Dht(1, 0, OneSymbolTable(0));
  redefined.Sos({{1, 0, 0}}, 0, 0, 0, 0).Raw({0x00}).Dht(0, 0, LuminanceDcTable());
  redefined.Sos({{1, 0, 0}}, 1, 63, 0, 0).Raw({0x00}).Eoi();
  for (const Bytes& jpeg : {Fixture("rocket-progressive.jpg"), redefined.bytes}) {
    const std::vector<FailedAllocation> reference = EveryFailedAllocation(jpeg, Form::kReference);
    const std::vector<FailedAllocation> fast = EveryFailedAllocation(jpeg, Form::kFast);
    EXPECT_GT(reference.size(), 7u);  // 3 planes, the store, tables between scans, 3 MCU buffers
    ASSERT_EQ(fast.size(), reference.size());
    for (size_t i = 0; i < fast.size(); ++i) {
      EXPECT_EQ(fast[i].result, reference[i].result) << i;
      EXPECT_EQ(fast[i].message, reference[i].message) << i;
    }
  }
}
