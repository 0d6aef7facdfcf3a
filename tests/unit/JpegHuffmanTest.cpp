// Huffman table segments and entropy decoding of blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "JpegAnalysed.h"
#include "JpegBuilder.h"
#include "JpegTestAccess.h"

using namespace jpegtest;
using Access = JpegDecoderTestAccess;

namespace {

struct AnalysedScan : jpegtest::Analysed {
  using jpegtest::Analysed::Analysed;
  // Decodes one block of the component; the message of the format error it
  // raised, or "".
  std::string Block(int component = 0) {
    try {
      Access::DecodeHuffman(decoder, component);
    } catch (const EDataFormatError& e) {
      return e.message;
    }
    return "";
  }
  int32_t Coefficient(int zigzagIndex) {
    static const int kNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18,
                                     11, 4,  5,  12, 19, 26, 33, 40, 48, 41, 34, 27, 20,
                                     13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43,
                                     36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45,
                                     38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    return Access::Block(decoder)[kNatural[zigzagIndex]];
  }
};

std::vector<int32_t> Entries(const int32_t* array, int32_t count) {
  return std::vector<int32_t>(array, array + count);
}

// One 8 x 8 greyscale frame and its scan, tables as given, then the
// entropy-coded bytes.
Bytes OneComponent(const HuffmanDef& dc, const HuffmanDef& ac, const Bytes& data) {
  JpegBuilder b;
  b.Soi().DqtFlat(0, 1).Sof0(8, 8, {{1, 1, 1, 0}}).Dht(0, 0, dc).Dht(1, 0, ac);
  b.Sos({{1, 0, 0}}).Raw(data);
  return b.bytes;
}

}  // namespace

TEST(JpegHuffmanTable, LuminanceDcTableGivesTheCanonicalCodes) {
  JpegBuilder b;
  b.Soi().Dht(0, 0, LuminanceDcTable()).Eoi();
  AnalysedScan a(b.bytes);
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(Access::Status(a.decoder), 0x01u);
  const auto& t = Access::Huff(a.decoder, 0, 0);
  ASSERT_EQ(t.count, 12);
  EXPECT_EQ(Entries(t.sizeT, 12), (std::vector<int32_t>{2, 3, 3, 3, 3, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Entries(t.codeT, 12),
            (std::vector<int32_t>{0, 2, 3, 4, 5, 6, 14, 30, 62, 126, 254, 510}));
  EXPECT_EQ(Entries(t.valueT, 12), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST(JpegHuffmanTable, OneSegmentFillsSeveralSlots) {
  Bytes payload;
  const std::vector<std::pair<int, int>> filled = {{0, 0}, {1, 0}, {0, 1}, {1, 3}};
  const std::vector<std::pair<int, int>> unfilled = {{0, 2}, {0, 3}, {1, 1}, {1, 2}};
  for (auto [cls, id] : filled) {
    Bytes t = JpegBuilder::DhtPayload(cls, id, cls == 0 ? LuminanceDcTable() : AllSymbolsTable());
    payload.insert(payload.end(), t.begin(), t.end());
  }
  JpegBuilder b;
  b.Soi().Segment(0xC4, payload).Eoi();
  AnalysedScan a(b.bytes);
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(Access::Huff(a.decoder, 0, 0).count, 12);
  EXPECT_EQ(Access::Huff(a.decoder, 1, 0).count, 256);
  EXPECT_EQ(Access::Huff(a.decoder, 0, 1).count, 12);
  EXPECT_EQ(Access::Huff(a.decoder, 1, 3).count, 256);  // id 3 is accepted here
  for (auto [cls, id] : unfilled) {
    EXPECT_EQ(Access::Huff(a.decoder, cls, id).count, 0);
    EXPECT_EQ(Access::Huff(a.decoder, cls, id).sizeT, nullptr);
  }
  // The last code of 255 8-bit codes is 254; the 9-bit code follows.
  const auto& ac = Access::Huff(a.decoder, 1, 0);
  EXPECT_EQ(ac.codeT[254], 254);
  EXPECT_EQ(ac.sizeT[255], 9);
  EXPECT_EQ(ac.codeT[255], 510);
}

TEST(JpegHuffmanTable, UnusualButAcceptedTables) {
  HuffmanDef empty;
  HuffmanDef big;  // 300 entries: more than the code space, still stored
  big.bits[14] = 45;
  big.bits[15] = 255;
  big.values.assign(300, 0x11);
  HuffmanDef second = OneSymbolTable(0x42);

  JpegBuilder b;
  b.Soi().Dht(0, 2, empty).Dht(1, 1, big);
  b.Dht(1, 0, AllSymbolsTable()).Dht(1, 0, second);  // the second replaces the first
  // Length field 2 (n = 0): one whole table is read all the same.
  Bytes tail = JpegBuilder::DhtPayload(0, 3, LuminanceDcTable());
  b.Raw({0xFF, 0xC4, 0x00, 0x02}).Raw(tail).DqtFlat(0, 5).Eoi();
  AnalysedScan a(b.bytes);
  ASSERT_EQ(a.result, 0) << a.message();
  EXPECT_EQ(Access::Huff(a.decoder, 0, 2).count, 0);
  EXPECT_EQ(Access::Huff(a.decoder, 1, 1).count, 300);
  EXPECT_EQ(Access::Huff(a.decoder, 1, 1).sizeT[299], 16);
  EXPECT_EQ(Access::Huff(a.decoder, 1, 0).count, 1);
  EXPECT_EQ(Access::Huff(a.decoder, 1, 0).valueT[0], 0x42);
  EXPECT_EQ(Access::Huff(a.decoder, 0, 3).count, 12);
  EXPECT_EQ(Access::Quant(a.decoder, 0, 0), 5);  // the next segment was found
}

TEST(JpegHuffmanTable, BadClassOrIdAndFailedAllocations) {
  const struct {
    uint8_t classAndId;
    int32_t failAllocation;
    int32_t result;
    const char* message;
  } cases[] = {
      {0x20, -1, -2, "AnalysisDHT:Tc"},
      {0x14, -1, -2, "AnalysisDHT:Th"},
      // Allocation 0 is the reader; the three arrays follow.
      {0x00, 1, -1, "AnalysisDHT:Huffman Size-T"},
      {0x00, 2, -1, "AnalysisDHT:Huffman Code-T"},
      {0x00, 3, -1, "AnalysisDHT:Huffman Value-T"},
  };
  for (const auto& c : cases) {
    Bytes payload = JpegBuilder::DhtPayload(0, 0, LuminanceDcTable());
    payload[0] = c.classAndId;
    JpegBuilder b;
    b.Soi().Segment(0xC4, payload).Eoi();
    AnalysedScan a(b.bytes, c.failAllocation);
    EXPECT_EQ(a.result, c.result) << c.message;
    EXPECT_EQ(a.message(), c.message);
  }
}

TEST(JpegEntropy, DcDifferencesFollowThePredictor) {
  BitWriter w;
  w.Put(0b011, 3);  // category 2
  w.Put(0b11, 2);   // +3
  w.Put(0, 8);      // end of block
  w.Put(0b011, 3);
  w.Put(0b01, 2);  // -2
  w.Put(0, 8);
  w.Put(0b00, 2);  // category 0: the predictor unchanged
  w.Put(0, 8);
  AnalysedScan a(OneComponent(LuminanceDcTable(), AllSymbolsTable(), w.Take()));
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), 3);
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), 1);
  for (int i = 0; i < 64; ++i) Access::Block(a.decoder)[i] = 77;  // every entry is rewritten
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), 1);
  for (int k = 1; k < 64; ++k) EXPECT_EQ(a.Coefficient(k), 0) << k;
}

// Runs up to coefficient 63 end the block without an end-of-block code;
// the next bits belong to the next block. A run past 63 is an error.
TEST(JpegEntropy, RunsUpToTheLastCoefficient) {
  const struct {
    std::vector<int> symbols;  // AC run/size symbols; size 1 is followed by the bit 1
    std::vector<int> ones;     // zig-zag indexes expected to hold 1
    const char* message;
  } cases[] = {
      {{0xF1, 0xF1, 0xE1, 0xF0}, {16, 32, 47}, ""},  // ZRL at k = 48 reaches 63
      {{0xF1, 0xF1, 0xF1, 0xD1, 0x01}, {16, 32, 48, 62, 63}, ""},
      {{0xF1, 0xF1, 0xF1, 0xF0}, {}, "DecodeHuffman:wrong Run length"},  // ZRL at k = 49
      {{0x50}, {}, "DecodeHuffman:wrong Huffman value"},
  };
  for (const auto& c : cases) {
    BitWriter w;
    BlockEncoder enc(AllSymbolsTable(), AllSymbolsTable());
    enc.Symbol(w, false, 0);
    for (int s : c.symbols) {
      enc.Symbol(w, true, s);
      if ((s & 15) == 1) w.Put(1, 1);
    }
    int predictor = 0;
    enc.Dc(w, predictor, 5);  // the next block: DC 5, end of block
    AnalysedScan a(OneComponent(AllSymbolsTable(), AllSymbolsTable(), w.Take()));
    ASSERT_EQ(a.result, 0);
    EXPECT_EQ(a.Block(), c.message);
    if (*c.message != '\0') continue;
    for (int k = 1; k < 64; ++k) {
      bool one = std::find(c.ones.begin(), c.ones.end(), k) != c.ones.end();
      EXPECT_EQ(a.Coefficient(k), one ? 1 : 0) << k;
    }
    EXPECT_EQ(a.Block(), "");
    EXPECT_EQ(a.Coefficient(0), 5);
  }
}

// Each component keeps its own predictor across blocks, and each scan
// component decodes with the tables it selects.
TEST(JpegEntropy, PredictorsAndTablesPerComponent) {
  HuffmanDef eobOnly = OneSymbolTable(0x00);
  BlockEncoder table0(LuminanceDcTable(), AllSymbolsTable());
  BlockEncoder table1(LuminanceDcTable(), eobOnly);
  BitWriter w;
  int pred[3] = {0, 0, 0};
  table0.Dc(w, pred[0], 40);
  table0.Dc(w, pred[1], -7);
  table1.Dc(w, pred[2], 9);
  table0.Dc(w, pred[0], 38);
  table1.Dc(w, pred[2], 12);
  JpegBuilder b;
  b.Soi().DqtFlat(0, 1).Sof0(8, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}});
  b.Dht(0, 0, LuminanceDcTable()).Dht(1, 0, AllSymbolsTable()).Dht(1, 1, eobOnly);
  b.Sos({{1, 0, 0}, {2, 0, 0}, {3, 0, 1}}).Raw(w.Take());
  AnalysedScan a(b.bytes);
  ASSERT_EQ(a.result, 0);
  const std::vector<std::pair<int, int>> expected = {{0, 40}, {1, -7}, {2, 9}, {0, 38}, {2, 12}};
  for (auto [component, dc] : expected) {
    EXPECT_EQ(a.Block(component), "");
    EXPECT_EQ(a.Coefficient(0), dc);
  }
}

TEST(JpegEntropy, CodesThatMatchNoEntry) {
  // Nine 1 bits match no code of the K.3 table (its longest is 111111110).
  AnalysedScan ones(OneComponent(LuminanceDcTable(), AllSymbolsTable(), {0xFF, 0x00, 0xFF, 0x00}));
  EXPECT_EQ(ones.Block(), "Decode1HuffmanCode:length over");
  // No code at all: a table slot that no segment filled.
  AnalysedScan empty(OneComponent(HuffmanDef{}, AllSymbolsTable(), Bytes(4, 0x00)));
  EXPECT_EQ(empty.Block(), "Decode1HuffmanCode:length over");
  // Codes of 17 bits or more are never matched.
  HuffmanDef deep;
  deep.bits[15] = 1;  // one 16-bit code, all zeros
  deep.values = {0};
  AnalysedScan sixteen(OneComponent(deep, AllSymbolsTable(), Bytes{0x00, 0x00, 0x00}));
  EXPECT_EQ(sixteen.Block(), "");
  AnalysedScan seventeen(OneComponent(deep, AllSymbolsTable(), Bytes{0x00, 0x01, 0x00}));
  EXPECT_EQ(seventeen.Block(), "Decode1HuffmanCode:length over");
}

// A marker met while a Huffman code is read ends the block. One met while
// magnitude bits are read goes into the value, extended like data, and the
// next code read meets it.
TEST(JpegEntropy, MarkersInsideTheScan) {
  AnalysedScan atDc(OneComponent(AllSymbolsTable(), AllSymbolsTable(), {0xFF, 0xD3}));
  EXPECT_EQ(atDc.Block(), "DecodeHuffman:Error Marker");

  AnalysedScan atAc(OneComponent(AllSymbolsTable(), AllSymbolsTable(), {0x00, 0xFF, 0xD3}));
  EXPECT_EQ(atAc.Block(), "DecodeHuffman:Error Marker");
  EXPECT_EQ(atAc.Coefficient(0), 0);

  // DC symbol 3, then the magnitude bits meet FF D0: -0xD0 extended over
  // 3 bits is -208 + 1 - 8.
  AnalysedScan inBits(OneComponent(AllSymbolsTable(), AllSymbolsTable(), {0x03, 0xFF, 0xD0}));
  EXPECT_EQ(inBits.Block(), "DecodeHuffman:Error Marker");
  EXPECT_EQ(Access::DcPred(inBits.decoder)[0], -215);
}

// Categories beyond baseline's 11: up to 31 the bits are extended as usual;
// from 32 on the bits are consumed and the difference is 0.
TEST(JpegEntropy, LargeDcCategories) {
  BitWriter w;
  BlockEncoder enc(AllSymbolsTable(), AllSymbolsTable());
  enc.Symbol(w, false, 20);
  w.Put(1, 20);  // top bit 0: 1 + 1 - 2^20
  enc.Symbol(w, true, 0);
  enc.Symbol(w, false, 40);
  w.Put(0xFFFFFFFF, 32);
  w.Put(0xFF, 8);
  enc.Symbol(w, true, 0);
  enc.Symbol(w, false, 2);
  w.Put(0b11, 2);  // +3, read right after the 40 bits
  enc.Symbol(w, true, 0);
  AnalysedScan a(OneComponent(AllSymbolsTable(), AllSymbolsTable(), w.Take()));
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), 2 - (1 << 20));
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), 2 - (1 << 20));
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), 5 - (1 << 20));
}

// Hostile differences push the predictor past 32 bits: it wraps as a 32-bit
// two's-complement value (checked for undefined behaviour under UBSan).
TEST(JpegEntropy, PredictorWrapsAt32Bits) {
  BitWriter w;
  BlockEncoder enc(AllSymbolsTable(), AllSymbolsTable());
  for (int i = 0; i < 2; ++i) {
    enc.Symbol(w, false, 31);
    w.Put(0x7FFFFFFF, 31);  // 2^31 - 1
    enc.Symbol(w, true, 0);
  }
  AnalysedScan a(OneComponent(AllSymbolsTable(), AllSymbolsTable(), w.Take()));
  ASSERT_EQ(a.result, 0);
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), INT32_MAX);
  EXPECT_EQ(a.Block(), "");
  EXPECT_EQ(a.Coefficient(0), -2);
}
