// Header analysis: the marker loop, every segment handler up to the scan
// header, and the result codes and messages of its failures.
#include <gtest/gtest.h>

#include "JpegAnalysed.h"
#include "JpegBuilder.h"
#include "JpegTestAccess.h"

using namespace jpegtest;
using Access = JpegDecoderTestAccess;

namespace {


const std::vector<FrameComp> kYCbCr = {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}};

// A typical JFIF file's header: APP0, COM, two DQT, SOF0, four DHT, SOS.
JpegBuilder TypicalHeader(bool jfifAndComment) {
  JpegBuilder b;
  b.Soi();
  if (jfifAndComment) b.App0Jfif().Comment("made by hand");
  b.DqtFlat(0, 2).DqtFlat(1, 3).Sof0(32, 16, kYCbCr);
  b.Dht(0, 0, LuminanceDcTable()).Dht(1, 0, AllSymbolsTable());
  b.Dht(0, 1, LuminanceDcTable()).Dht(1, 1, AllSymbolsTable());
  b.Sos({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}});
  return b;
}

}  // namespace

TEST(JpegHeader, TypicalFileSetsStatusAndStopsAtTheScanData) {
  for (bool full : {true, false}) {
    JpegBuilder b = TypicalHeader(full);
    const size_t headerSize = b.bytes.size();
    b.Raw({0x12, 0x34}).Eoi();
    Analysed a(b.bytes);
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.message(), "");
    EXPECT_EQ(Access::Status(a.decoder), full ? 0x1Fu : 0x13u);
    EXPECT_EQ(Access::Stream(a.decoder)->GetPos(), a.buffer.data() + headerSize);
    EXPECT_EQ(Access::NumComponents(a.decoder), 3);
    EXPECT_EQ(Access::ScanCount(a.decoder), 3);
  }
}

TEST(JpegHeader, BytesBeforeTheImageArePassedOver) {
  JpegBuilder b;
  b.Raw({0x00, 0x17, 0xFF, 0x00, 0xFF, 0x00, 0x42});
  b.Raw(TypicalHeader(false).bytes);
  Analysed a(b.bytes);
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(Access::Status(a.decoder), 0x13u);
}

// FF FF is the marker code 0xFF; the search for an SOI goes on from the D8.
TEST(JpegHeader, FfFfD8DoesNotStartAnImage) {
  Bytes bytes = {0xFF, 0xFF, 0xD8};
  JpegBuilder rest;
  rest.DqtFlat(0, 1).Eoi();
  bytes.insert(bytes.end(), rest.bytes.begin(), rest.bytes.end());
  Analysed a(bytes);
  EXPECT_EQ(a.result, -2);
  EXPECT_EQ(a.message(), "GetByte");
}

TEST(JpegHeader, EoiBeforeAnyScanEndsAnalysisWithSuccess) {
  JpegBuilder b;
  b.Soi().DqtFlat(0, 1).Eoi().Raw({0x55, 0x66});
  Analysed a(b.bytes);
  EXPECT_EQ(a.result, 0);
  EXPECT_EQ(Access::Status(a.decoder), 0x02u);
  EXPECT_EQ(Access::State(a.decoder), 0);
}

// Baseline, extended sequential and progressive frames of 8-bit samples are
// read; every other process is refused at its marker, with the reason.
TEST(JpegHeader, CodingProcessesReadOrRefused) {
  const struct {
    uint8_t marker;
    int precision;
    int result;
    const char* message;
  } cases[] = {
      {0xC0, 8, 0, ""},
      {0xC0, 12, 0, ""},  // a baseline frame's precision only selects the level shift
      {0xC1, 8, 0, ""},
      {0xC2, 8, 0, ""},
      {0xC1, 12, -2, "Not supported:samples other than 8-bit (marker 0xC1)"},
      {0xC2, 12, -2, "Not supported:samples other than 8-bit (marker 0xC2)"},
      {0xC3, 8, -2, "Not supported:lossless process (marker 0xC3)"},
      {0xC5, 8, -2, "Not supported:hierarchical process (marker 0xC5)"},
      {0xC7, 8, -2, "Not supported:hierarchical process (marker 0xC7)"},
      {0xC9, 8, -2, "Not supported:arithmetic coding (marker 0xC9)"},
      {0xCA, 8, -2, "Not supported:arithmetic coding (marker 0xCA)"},
      {0xCC, 8, -2, "Not supported:arithmetic coding (marker 0xCC)"},  // DAC
      {0xCF, 8, -2, "Not supported:arithmetic coding (marker 0xCF)"},
      {0xDE, 8, -2, "Not supported:hierarchical process (marker 0xDE)"},  // DHP
      {0xDF, 8, -2, "Not supported:hierarchical process (marker 0xDF)"},  // EXP
  };
  for (const auto& c : cases) {
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Sof(c.marker, 16, 16, {{1, 1, 1, 0}}, c.precision).Eoi();
    Analysed a(b.bytes);
    EXPECT_EQ(a.result, c.result) << std::hex << int(c.marker);
    EXPECT_EQ(a.message(), c.message);
  }
}

TEST(JpegHeader, FramesOfTwoOrFourComponentsAreRefused) {
  for (uint8_t marker : {0xC0, 0xC2}) {
    for (int n : {0, 2, 4}) {
      std::vector<FrameComp> comps(static_cast<size_t>(n), FrameComp{1, 1, 1, 0});
      JpegBuilder b;
      b.Soi().Sof(marker, 8, 8, comps).Eoi();
      Analysed a(b.bytes);
      EXPECT_EQ(a.result, -2) << n;
      EXPECT_EQ(a.message(), std::string("Not supported:component count other than 1 or 3 (marker 0x") +
                                 (marker == 0xC0 ? "C0)" : "C2)"));
    }
  }
}

TEST(JpegHeader, ApplicationSegmentsAreReadOrSkippedToTheirEnd) {
  JpegBuilder b;
  b.Soi();
  b.Segment(0xE0, {'J', 'F', 'I', 'F'});  // n = 4: skipped without a look
  b.App0Jfif(3, 3);                       // fields read, 27 thumbnail bytes skipped
  b.Segment(0xE1, Bytes(100, 0xFF));      // APP1 of any content
  b.Segment(0xEF, {});                    // APP15, empty
  b.Segment(0xE0, {'J', 'F', 'X', 'X', 0, 0x13, 0xFF, 0xD9});  // JFXX, code 0x13
  b.Segment(0xE0, {'A', 'B', 'C', 'D', 0, 0xFF, 0xD9});        // other APP0
  b.DqtFlat(0, 7).Eoi();
  Analysed a(b.bytes);
  EXPECT_EQ(a.result, 0) << a.message();
  EXPECT_EQ(Access::Status(a.decoder), 0x06u);
  EXPECT_EQ(Access::App0Kind(a.decoder), 2);  // the last one met
  EXPECT_EQ(Access::JfxxCode(a.decoder), 0x13);
  EXPECT_EQ(Access::YThumbnail(a.decoder), 3);
  EXPECT_EQ(Access::XDensity(a.decoder), 72);
  EXPECT_EQ(Access::Quant(a.decoder, 0, 63), 7);
}

// A JFIF segment shorter than its fields: they are read past its end and
// the negative skip brings the reader back to the next segment.
TEST(JpegHeader, ShortJfifSegmentEndsWhereItsLengthSays) {
  JpegBuilder b;
  b.Soi().Segment(0xE0, {'J', 'F', 'I', 'F', 0}).DqtFlat(1, 9).Eoi();
  Analysed a(b.bytes);
  EXPECT_EQ(a.result, 0) << a.message();
  EXPECT_EQ(Access::Status(a.decoder), 0x06u);
  EXPECT_EQ(Access::Quant(a.decoder, 1, 0), 9);
}

TEST(JpegHeader, CommentsAreKeptTheLastOneWins) {
  JpegBuilder b;
  b.Soi().Comment("first").Eoi();
  Analysed first(b.bytes);
  EXPECT_EQ(first.result, 0);
  EXPECT_STREQ(Access::Comment(first.decoder), "first");
  EXPECT_EQ(Access::Status(first.decoder), 0x08u);

  JpegBuilder c;
  c.Soi().Comment("first").Comment("").Eoi();
  Analysed second(c.bytes);
  EXPECT_EQ(second.result, 0);
  ASSERT_NE(Access::Comment(second.decoder), nullptr);
  EXPECT_STREQ(Access::Comment(second.decoder), "");
}

// A comment length below 2 is malformed (-2); a comment that cannot be
// allocated fails as out of memory (-1). Allocation 0 is the reader,
// allocation 1 the comment.
TEST(JpegHeader, BadCommentsFailCleanly) {
  for (uint8_t length : {0, 1}) {
    Analysed a({0xFF, 0xD8, 0xFF, 0xFE, 0x00, length, 'x', 'y', 0xFF, 0xD9});
    EXPECT_EQ(a.result, -2);
    EXPECT_EQ(a.message(), "AnalysisCOM:Length");
    EXPECT_EQ(Access::Comment(a.decoder), nullptr);
  }
  JpegBuilder b;
  b.Soi().Comment("no room").Eoi();
  Analysed a(b.bytes, 1);
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.message(), "AnalysisCOM:Comment");
  EXPECT_EQ(Access::Comment(a.decoder), nullptr);
}

TEST(JpegHeader, ReaderThatCannotBeCreatedGivesOutOfMemory) {
  Analysed a(TypicalHeader(false).bytes, 0);
  EXPECT_EQ(a.result, -1);
  EXPECT_EQ(a.message(), "AnalysisHeader:JpegStream");
}

TEST(JpegHeader, QuantisationTablesInNaturalOrder) {
  Bytes payload = {0x10};  // 16-bit entries, table 0
  for (int k = 0; k < 64; ++k) payload.insert(payload.end(), {static_cast<uint8_t>(k), 0x01});
  payload.push_back(0x05);  // table id byte 5: table 1, 8-bit entries
  for (int k = 0; k < 64; ++k) payload.push_back(static_cast<uint8_t>(100 + k));
  JpegBuilder b;
  b.Soi().Segment(0xDB, payload).Eoi();
  Analysed a(b.bytes);
  ASSERT_EQ(a.result, 0);
  // Zig-zag entry k lands at its natural index: k = 2 is row 1, column 0.
  EXPECT_EQ(Access::Quant(a.decoder, 0, 0), 0x0001);
  EXPECT_EQ(Access::Quant(a.decoder, 0, 8), 0x0201);
  EXPECT_EQ(Access::Quant(a.decoder, 0, 63), 0x3F01);
  EXPECT_EQ(Access::Quant(a.decoder, 1, 1), 101);
  EXPECT_EQ(Access::Quant(a.decoder, 1, 8), 102);
  EXPECT_EQ(Access::Quant(a.decoder, 1, 63), 163);
}

TEST(JpegHeader, RestartIntervalAndLinesFromTheirSegments) {
  JpegBuilder b;
  b.Soi().Dri(5).Segment(0xDC, {0x01, 0x23}).DqtFlat(0, 1).Eoi();
  Analysed a(b.bytes);
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(Access::RestartInterval(a.decoder), 5);
  EXPECT_EQ(Access::Height(a.decoder), 0x123);

  JpegBuilder z;
  z.Soi().Dri(0).DqtFlat(0, 1).Eoi();
  Analysed zero(z.bytes);
  EXPECT_EQ(Access::RestartInterval(zero.decoder), 0);
}

// A scan may select Huffman tables 0 to 2 in a baseline frame, 0 to 3 in
// extended sequential and progressive ones, and list at most three
// components; Td is checked before Ta.
TEST(JpegHeader, ScanHeaderSelectorsAndCountAreChecked) {
  const struct {
    uint8_t frame;
    std::vector<ScanComp> scan;
    const char* message;
  } cases[] = {
      {0xC0, {{1, 3, 0}}, "AnalysisScan:Td Over"},
      {0xC0, {{1, 0, 3}}, "AnalysisScan:Ta Over"},
      {0xC0, {{1, 3, 3}}, "AnalysisScan:Td Over"},
      {0xC0, {{1, 2, 2}}, ""},
      {0xC1, {{1, 3, 3}}, ""},
      {0xC2, {{1, 3, 3}}, ""},
      {0xC1, {{1, 4, 0}}, "AnalysisScan:Td Over"},
      {0xC2, {{1, 0, 4}}, "AnalysisScan:Ta Over"},
      {0xC0, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}, "AnalysisScan:Ns Over"},
  };
  for (const auto& c : cases) {
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Sof(c.frame, 8, 8, kYCbCr).Sos(c.scan).Raw(Bytes(16, 0));
    Analysed a(b.bytes);
    EXPECT_EQ(a.result, c.message[0] == 0 ? 0 : -2) << c.message;
    EXPECT_EQ(a.message(), c.message);
  }
}

TEST(JpegHeader, MarkersOutOfPlaceAreFormatErrors) {
  for (uint8_t code : {0xD0, 0xD7, 0xD8, 0xFF, 0x01, 0xC8, 0xF0}) {
    JpegBuilder b;
    b.Soi().DqtFlat(0, 1).Marker(code).Raw({0x00, 0x04, 0, 0}).Eoi();
    Analysed a(b.bytes);
    EXPECT_EQ(a.result, -2) << std::hex << int(code);
    EXPECT_EQ(a.message(), "Marker error");
  }
}
