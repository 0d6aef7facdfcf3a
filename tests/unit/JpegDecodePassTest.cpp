// The decode pass: geometry, upsampling, colour conversion, restart
// intervals, and the frames it refuses before it sizes or allocates anything.
#include <gtest/gtest.h>

#include "JpegBuilder.h"
#include "JpegTestAccess.h"

using namespace jpegtest;
using Access = JpegDecoderTestAccess;

namespace {

// Keeps the decoder (and the bytes it reads) alive for the checks.
struct DecodeRun {
  DecodeRun(const Bytes& bytes, Form form, int32_t failDecodeAllocation = -1) : buffer(bytes) {
    analysis = decoder.AnalysisHeader(buffer.data(), buffer.size());
    allocationsBefore = Access::Allocations(decoder);
    if (failDecodeAllocation >= 0) {
      Access::FailAllocation(decoder, allocationsBefore + failDecodeAllocation);
    }
    decode = analysis == 0 ? DecodeWith(decoder, form) : analysis;
    message = decoder.LastErrorMessage();
    decoder.GetImage(&planes[0], &planes[1], &planes[2], &width, &height);
  }
  uint8_t At(int plane, int x, int y) const { return planes[plane][y * width + x]; }
  bool PlanesNull() const { return !planes[0] && !planes[1] && !planes[2]; }
  int32_t DecodeAllocations() const { return Access::Allocations(decoder) - allocationsBefore; }

  ExactBuffer buffer;
  JpegDecoder decoder;
  int32_t analysis, decode;
  int32_t allocationsBefore;
  std::string message;
  uint8_t* planes[3] = {};
  int32_t width = 0, height = 0;
};

enum { kRed, kGreen, kBlue };

// A picture of flat blocks: the DC values in decode order, one component
// after another within each MCU.
Bytes FlatPicture(int width, int height, const std::vector<FrameComp>& comps,
                  const std::vector<std::pair<int, int>>& componentAndDc) {
  BitWriter w;
  BlockEncoder enc = SimpleEncoder();
  int pred[3] = {0, 0, 0};
  for (auto [c, dc] : componentAndDc) enc.Dc(w, pred[c], dc);
  JpegBuilder b = SimpleHeader(width, height, comps);
  b.Raw(w.Take()).Eoi();
  return b.bytes;
}

const std::vector<FrameComp> kGrey = {{1, 1, 1, 0}};
const std::vector<FrameComp> k444 = {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}};

// Every test of the pass runs on both forms.
class JpegDecodePass : public testing::TestWithParam<Form> {
protected:
  Form form() const { return GetParam(); }
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Forms, JpegDecodePass, testing::Values(Form::kReference, Form::kFast),
                         [](const testing::TestParamInfo<Form>& info) {
                           return std::string(info.param == Form::kReference ? "Reference" : "Fast");
                         });

// DC values chosen so the samples come out as Y, Cb, Cr below (a dequantised
// DC d gives 128 + d / 8, truncated).
TEST_P(JpegDecodePass, ColourConversion) {
  const struct {
    int y, cb, cr;  // DC values
    int red, green, blue;
  } cases[] = {
      {-223, 0, 800, 240, 28, 100},  // Y 100, Cb 128, Cr 228: 240.2, 28.61, 100
      {976, 1016, 0, 250, 206, 255},  // Y 250, Cb 255, Cr 128: blue clamped from 475.0186
  };
  for (const auto& c : cases) {
    DecodeRun r(FlatPicture(8, 8, k444, {{0, c.y}, {1, c.cb}, {2, c.cr}}), form());
    ASSERT_EQ(r.decode, 0) << r.message;
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(r.planes[kRed][i], c.red);
      EXPECT_EQ(r.planes[kGreen][i], c.green);
      EXPECT_EQ(r.planes[kBlue][i], c.blue);
    }
  }
}

TEST_P(JpegDecodePass, GreyscaleGivesThreeEqualPlanesOfClampedSamples) {
  DecodeRun r(FlatPicture(24, 8, kGrey, {{0, -1100}, {0, 80}, {0, 1024}}), form());
  ASSERT_EQ(r.decode, 0) << r.message;
  const int expected[3] = {0, 138, 255};  // -9 clamped, 138, 256 clamped
  for (int x = 0; x < 24; ++x) {
    for (int y = 0; y < 8; ++y) {
      EXPECT_EQ(r.At(kRed, x, y), expected[x / 8]);
      EXPECT_EQ(r.At(kGreen, x, y), expected[x / 8]);
      EXPECT_EQ(r.At(kBlue, x, y), expected[x / 8]);
    }
  }
}

// 4:2:0, 17 x 9: 3 x 2 blocks, 2 x 1 MCUs of 16 x 16, planes of 512 bytes.
// Red shows where each luminance block lands (Cr is neutral); blue shows
// each chroma sample covering a 2 x 2 square.
TEST_P(JpegDecodePass, SubsampledGeometryAndReplication) {
  BitWriter w;
  BlockEncoder enc = SimpleEncoder();
  int pred[3] = {0, 0, 0};
  std::array<int, 64> chroma{};
  chroma[1] = 100;  // rows of 145 142 137 131 124 118 113 110
  for (int mcu = 0; mcu < 2; ++mcu) {
    for (int dc : {0, 80, 8, -8}) enc.Dc(w, pred[0], dc + 16 * mcu);
    enc.Block(w, pred[1], chroma);
    enc.Dc(w, pred[2], 0);
  }
  JpegBuilder b = SimpleHeader(17, 9, {{1, 2, 2, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}});
  b.Raw(w.Take()).Eoi();
  DecodeRun r(b.bytes, form());
  ASSERT_EQ(r.decode, 0) << r.message;
  EXPECT_EQ(Access::McusX(r.decoder), 2);
  EXPECT_EQ(Access::McusY(r.decoder), 1);
  EXPECT_EQ(Access::PlaneSize(r.decoder), 512);

  EXPECT_EQ(r.At(kRed, 0, 0), 128);
  EXPECT_EQ(r.At(kRed, 15, 7), 138);
  EXPECT_EQ(r.At(kRed, 7, 8), 129);
  EXPECT_EQ(r.At(kRed, 8, 8), 126);
  EXPECT_EQ(r.At(kRed, 16, 0), 130);  // second MCU: only column 16 is in the picture
  EXPECT_EQ(r.At(kRed, 16, 8), 131);
  // Rows 9 to 15 of the MCU row land in the planes' spare bytes.
  EXPECT_EQ(r.planes[kRed][12 * 17 + 3], 129);

  const int chromaRow[8] = {145, 142, 137, 131, 124, 118, 113, 110};
  for (int y = 0; y < 9; ++y) {
    for (int x = 0; x < 16; ++x) {
      const int luma = r.At(kRed, x, y);
      const double cb = chromaRow[x / 2];
      const int blue = static_cast<int>((cb - 128) * 1.7718 + luma);
      EXPECT_EQ(r.At(kBlue, x, y), blue > 255 ? 255 : blue) << x << "," << y;
    }
  }
}

// One component is a non-interleaved scan: one block per MCU in raster
// order, whatever its sampling factors say (here 2 x 2).
TEST_P(JpegDecodePass, OneComponentFramesDecodeOneBlockPerMcu) {
  const int dcs[6] = {0, 80, 8, -8, 16, 24};
  const int samples[6] = {128, 138, 129, 126, 130, 131};
  std::vector<std::pair<int, int>> blocks;
  for (int dc : dcs) blocks.push_back({0, dc});
  DecodeRun r(FlatPicture(24, 16, {{1, 2, 2, 0}}, blocks), form());
  ASSERT_EQ(r.decode, 0) << r.message;
  EXPECT_EQ(Access::McusX(r.decoder), 3);
  EXPECT_EQ(Access::McusY(r.decoder), 2);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(r.At(kRed, 8 * (i % 3) + 4, 8 * (i / 3) + 4), samples[i]) << "block " << i;
  }
}

// Components in scans of their own, in any order, matched by their
// identifiers: here Cr, then Y, then Cb, each a flat 8 x 8 block of the
// colour-conversion case Y 100, Cb 128, Cr 228. A component in two scans,
// or one the frame does not have, is refused.
TEST_P(JpegDecodePass, ComponentsInSeparateScans) {
  auto scans = [](const std::vector<std::pair<int, int>>& idAndDc, int frameComponents) {
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Sof0(8, 8, frameComponents == 3 ? k444 : kGrey);
    b.Dht(0, 0, LuminanceDcTable()).Dht(1, 0, AllSymbolsTable());
    for (auto [id, dc] : idAndDc) {
      BitWriter w;
      int pred = 0;
      SimpleEncoder().Dc(w, pred, dc);
      b.Sos({{id, 0, 0}}).Raw(w.Take());
    }
    return b.Eoi().bytes;
  };
  const struct {
    Bytes bytes;
    int32_t decode;
    const char* message;
  } cases[] = {
      {scans({{3, 800}, {1, -223}, {2, 0}}, 3), 0, ""},
      {scans({{1, -223}, {2, 0}, {1, 0}}, 3), -2, "AnalysisScan:component twice"},
      {scans({{1, -223}, {4, 0}}, 3), -2, "AnalysisScan:no such component"},
  };
  for (const auto& c : cases) {
    DecodeRun r(c.bytes, form());
    EXPECT_EQ(r.analysis, 0);
    EXPECT_EQ(r.decode, c.decode) << c.message;
    EXPECT_EQ(r.message, c.message);
    if (c.decode != 0) {
      EXPECT_TRUE(r.PlanesNull());
      continue;
    }
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(r.planes[kRed][i], 240);
      EXPECT_EQ(r.planes[kGreen][i], 28);
      EXPECT_EQ(r.planes[kBlue][i], 100);
    }
  }
}

// An extended sequential frame (SOF1) may select Huffman tables 0 to 3:
// here table 3 for both classes, in one scan and in scans of their own.
TEST_P(JpegDecodePass, ExtendedSequentialFramesUseTableThree) {
  for (bool separate : {false, true}) {
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Sof(0xC1, 8, 8, separate ? k444 : kGrey);
    b.Dht(0, 3, LuminanceDcTable()).Dht(1, 3, AllSymbolsTable());
    const int dcs[3] = {80, 0, 0};  // Y 138, neutral chroma
    for (int c = 0; c < (separate ? 3 : 1); ++c) {
      BitWriter w;
      int pred = 0;
      SimpleEncoder().Dc(w, pred, dcs[c]);
      b.Sos({{c + 1, 3, 3}}).Raw(w.Take());
    }
    DecodeRun r(b.Eoi().bytes, form());
    ASSERT_EQ(r.decode, 0) << r.message;
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(r.planes[kRed][i], 138);
      EXPECT_EQ(r.planes[kBlue][i], 138);
    }
  }
}

// Greyscale 24 x 8, restart interval 2: MCU 3 is coded with its predictor
// reset. A restart marker resets it whatever its number; any other marker
// there resets nothing.
TEST_P(JpegDecodePass, RestartIntervals) {
  const struct {
    uint8_t marker;
    int thirdSample;
  } cases[] = {
      {0xD0, 130},  // RST0: DC 16
      {0xD3, 130},  // RST3, out of sequence: still a restart
      {0xD9, 135},  // not a restart: the predictor runs on, DC 40 + 16
  };
  for (const auto& c : cases) {
    BitWriter w;
    BlockEncoder enc = SimpleEncoder();
    int pred = 0;
    enc.Dc(w, pred, 40);
    enc.Dc(w, pred, 40);
    w.Marker(c.marker);
    pred = 0;
    enc.Dc(w, pred, 16);
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Dri(2).Sof0(24, 8, kGrey);
    b.Dht(0, 0, LuminanceDcTable()).Dht(1, 0, AllSymbolsTable()).Sos({{1, 0, 0}});
    b.Raw(w.Take()).Eoi();
    DecodeRun r(b.bytes, form());
    ASSERT_EQ(r.decode, 0) << r.message;
    EXPECT_EQ(r.At(kRed, 0, 0), 133);
    EXPECT_EQ(r.At(kRed, 8, 0), 133);
    EXPECT_EQ(r.At(kRed, 16, 0), c.thirdSample) << std::hex << int(c.marker);
  }
}

// When the MCU count is a multiple of the interval, a marker must follow the
// last MCU (normally EOI): without one the search runs off the end.
TEST_P(JpegDecodePass, MarkerAfterTheLastIntervalIsRequired) {
  for (bool eoi : {true, false}) {
    BitWriter w;
    BlockEncoder enc = SimpleEncoder();
    int pred = 0;
    enc.Dc(w, pred, 40);
    enc.Dc(w, pred, 48);
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Dri(2).Sof0(16, 8, kGrey);
    b.Dht(0, 0, LuminanceDcTable()).Dht(1, 0, AllSymbolsTable()).Sos({{1, 0, 0}});
    b.Raw(w.Take());
    if (eoi) b.Eoi();
    DecodeRun r(b.bytes, form());
    EXPECT_EQ(r.decode, eoi ? 0 : -1);
    EXPECT_EQ(r.message, eoi ? "" : "GetByte");
  }
}

TEST_P(JpegDecodePass, EmptyPicturesDecodeToEmptyPlanes) {
  const std::vector<std::pair<int, int>> sizes = {{0, 8}, {8, 0}, {0, 0}};
  for (auto [width, height] : sizes) {
    DecodeRun r(FlatPicture(width, height, k444, {}), form());
    EXPECT_EQ(r.decode, 0) << r.message;
    EXPECT_EQ(Access::PlaneSize(r.decoder), 0);
    EXPECT_FALSE(r.PlanesNull());
  }
}

// What header analysis stores unchecked is refused before the pass sizes or
// divides anything: -2 and a message, no planes.
TEST_P(JpegDecodePass, FramesRefusedBeforeDecoding) {
  const Bytes data(64, 0);
  JpegBuilder noFrame;
  noFrame.Soi().DqtFlat(0, 1).Dht(0, 0, LuminanceDcTable()).Sos({{1, 0, 0}}).Raw(data);
  JpegBuilder noScan;
  noScan.Soi().DqtFlat(0, 1).Sof0(8, 8, kGrey).Eoi();
  JpegBuilder commentOnly;
  commentOnly.Soi().Comment("only").Eoi();
  auto frame = [&](const std::vector<FrameComp>& comps) {
    return SimpleHeader(8, 8, comps).Raw(data).bytes;
  };
  const struct {
    Bytes bytes;
    const char* message;
  } cases[] = {
      {noFrame.bytes, "Decode:no frame header"},
      {noScan.bytes, "Decode:no scan header"},
      {commentOnly.bytes, "DecodeImage:no tables and no scan"},
      {frame({{1, 1, 1, 4}}), "Decode:Tq over"},
      {frame({{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0xFF}}), "Decode:Tq over"},
      {frame({{1, 0, 1, 0}}), "Decode:sampling factor 0"},
      {frame({{1, 1, 1, 0}, {2, 1, 0, 0}, {3, 1, 1, 0}}), "Decode:sampling factor 0"},
  };
  for (const auto& c : cases) {
    DecodeRun r(c.bytes, form());
    EXPECT_EQ(r.analysis, 0) << c.message;
    EXPECT_EQ(r.decode, -2) << c.message;
    EXPECT_EQ(r.message, c.message);
    EXPECT_TRUE(r.PlanesNull());
    EXPECT_EQ(r.DecodeAllocations(), 0);
  }
}

// A plane size beyond 32 bits never leads to a short allocation.
TEST_P(JpegDecodePass, PlaneSizeBeyond32BitsIsOutOfMemory) {
  for (const auto& comps : {kGrey, k444}) {
    DecodeRun r(FlatPicture(65535, 65535, comps, {}), form());
    EXPECT_EQ(r.decode, -1);
    EXPECT_EQ(r.message, "Decode:mRgbP[0]");
    EXPECT_EQ(r.DecodeAllocations(), 0);
  }
}

// Every block takes at least two bits. A picture the rest of the data cannot
// cover is refused before anything is allocated; one it just covers decodes.
TEST_P(JpegDecodePass, PictureLargerThanItsDataCanCover) {
  DecodeRun huge(FlatPicture(30000, 30000, k444, {{0, 8}, {1, 0}, {2, 0}}), form());
  EXPECT_EQ(huge.decode, -1);
  EXPECT_EQ(huge.message, "Decode:data too short");
  EXPECT_EQ(huge.DecodeAllocations(), 0);

  // One-symbol tables: a block of DC difference 0 and end of block is the
  // two bits 00. Two bytes cover 8 blocks exactly, not 9.
  for (int blocks : {8, 9}) {
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Sof0(8 * blocks, 8, kGrey);
    b.Dht(0, 0, OneSymbolTable(0)).Dht(1, 0, OneSymbolTable(0)).Sos({{1, 0, 0}});
    b.Raw({0x00, 0x00});
    DecodeRun r(b.bytes, form());
    EXPECT_EQ(r.decode, blocks == 8 ? 0 : -1) << blocks;
    if (blocks == 8) {
      EXPECT_EQ(r.At(kGreen, 63, 7), 128);
    } else {
      EXPECT_EQ(r.message, "Decode:data too short");
    }
  }
}

// The pass allocates the three planes, then the three MCU buffers; each
// failure is out of memory with its own message and leaves no plane behind.
TEST_P(JpegDecodePass, FailedAllocations) {
  const char* messages[6] = {"Decode:mRgbP[0]",  "Decode:mRgbP[1]",  "Decode:mRgbP[2]",
                             "Disconvert unit1", "Disconvert unit2", "Disconvert unit3"};
  const Bytes bytes = FlatPicture(8, 8, k444, {{0, 8}, {1, 0}, {2, 0}});
  for (int i = 0; i < 6; ++i) {
    DecodeRun r(bytes, form(), i);
    EXPECT_EQ(r.decode, -1) << messages[i];
    EXPECT_EQ(r.message, messages[i]);
    EXPECT_TRUE(r.PlanesNull());
  }
  DecodeRun ok(bytes, form());
  EXPECT_EQ(ok.decode, 0);
  EXPECT_EQ(ok.DecodeAllocations(), 6);
}

// Sampling ratios that are not whole numbers truncate: Cb at 2 of 3 is
// replicated once, and the buffer's last 8 columns keep their fill of 128.
TEST_P(JpegDecodePass, NonIntegerSamplingRatiosStayInsideTheMcu) {
  DecodeRun r(FlatPicture(24, 8, {{1, 3, 1, 0}, {2, 2, 1, 0}, {3, 1, 1, 0}},
                    {{0, 0}, {0, 0}, {0, 0}, {1, 80}, {1, 80}, {2, 0}}), form());
  ASSERT_EQ(r.decode, 0) << r.message;
  EXPECT_EQ(r.At(kBlue, 0, 0), 145);  // Cb 138: 10 * 1.7718 + 128
  EXPECT_EQ(r.At(kBlue, 15, 7), 145);
  EXPECT_EQ(r.At(kBlue, 16, 0), 128);
  EXPECT_EQ(r.At(kBlue, 23, 7), 128);
}
