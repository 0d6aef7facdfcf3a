// Hand-built JPEG byte images for the unit tests: marker segments, a bit
// writer with byte stuffing, and a small baseline Huffman encoder, written
// apart from the decoder so that the tests do not check the decoder against
// itself.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "JpegDecoder.h"

namespace jpegtest {

using Bytes = std::vector<uint8_t>;

struct HuffmanDef {
  std::array<uint8_t, 16> bits{};  // bits[L - 1]: codes of length L
  std::vector<uint8_t> values;
};

// T.81 Table K.3: luminance DC differences.
inline HuffmanDef LuminanceDcTable() {
  return {{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}};
}

// Every symbol 0 to 255: 255 codes of 8 bits (symbols 0 to 254) and one of
// 9 bits (255). Serves as an AC table (any run/size) or a DC table.
inline HuffmanDef AllSymbolsTable() {
  HuffmanDef def;
  def.bits[7] = 255;
  def.bits[8] = 1;
  for (int s = 0; s < 256; ++s) def.values.push_back(static_cast<uint8_t>(s));
  return def;
}

// One symbol, coded as the single bit 0.
inline HuffmanDef OneSymbolTable(uint8_t symbol) {
  HuffmanDef def;
  def.bits[0] = 1;
  def.values.push_back(symbol);
  return def;
}

struct Code {
  uint32_t bits;
  int length;
};

// Canonical codes (T.81 Annex C) of a table, by symbol.
inline std::map<int, Code> CanonicalCodes(const HuffmanDef& def) {
  std::map<int, Code> codes;
  uint32_t code = 0;
  size_t k = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < def.bits[length - 1]; ++i) codes[def.values[k++]] = {code++, length};
    code <<= 1;
  }
  return codes;
}

// Entropy-coded bytes: bits most significant first, FF followed by a
// stuffed 00, the last byte padded with 1 bits.
class BitWriter {
public:
  void Put(uint32_t bits, int count) {
    for (int i = count - 1; i >= 0; --i) {
      acc_ = (acc_ << 1) | ((bits >> i) & 1u);
      if (++n_ == 8) Emit();
    }
  }
  void Pad() {
    while (n_ != 0) Put(1, 1);
  }
  // A marker between intervals (RSTn, EOI ...): padded first, not stuffed.
  void Marker(uint8_t code) {
    Pad();
    bytes_.push_back(0xFF);
    bytes_.push_back(code);
  }
  Bytes Take() {
    Pad();
    return bytes_;
  }

private:
  void Emit() {
    bytes_.push_back(static_cast<uint8_t>(acc_));
    if (static_cast<uint8_t>(acc_) == 0xFF) bytes_.push_back(0x00);
    acc_ = 0;
    n_ = 0;
  }
  Bytes bytes_;
  uint32_t acc_ = 0;
  int n_ = 0;
};

inline int MagnitudeCategory(int value) {
  int magnitude = value < 0 ? -value : value;
  int category = 0;
  while (magnitude != 0) {
    ++category;
    magnitude >>= 1;
  }
  return category;
}

// Encodes blocks given in zig-zag order (index 0 is DC) with one DC and one
// AC table, keeping the DC predictor (T.81 F.1.2).
class BlockEncoder {
public:
  BlockEncoder(const HuffmanDef& dc, const HuffmanDef& ac)
      : dc_(CanonicalCodes(dc)), ac_(CanonicalCodes(ac)) {}

  void Symbol(BitWriter& out, bool acTable, int symbol) const {
    const Code& code = (acTable ? ac_ : dc_).at(symbol);
    out.Put(code.bits, code.length);
  }
  static void Magnitude(BitWriter& out, int value, int category) {
    if (category == 0) return;
    uint32_t bits = static_cast<uint32_t>(value < 0 ? value - 1 : value);
    out.Put(bits & ((1u << category) - 1u), category);
  }
  void Block(BitWriter& out, int& predictor, const std::array<int, 64>& zigzag) const {
    int difference = zigzag[0] - predictor;
    predictor = zigzag[0];
    int category = MagnitudeCategory(difference);
    Symbol(out, false, category);
    Magnitude(out, difference, category);
    int run = 0;
    for (int k = 1; k < 64; ++k) {
      if (zigzag[k] == 0) {
        ++run;
        continue;
      }
      for (; run > 15; run -= 16) Symbol(out, true, 0xF0);
      int size = MagnitudeCategory(zigzag[k]);
      Symbol(out, true, (run << 4) | size);
      Magnitude(out, zigzag[k], size);
      run = 0;
    }
    if (run > 0) Symbol(out, true, 0x00);
  }
  // A block with only a DC value.
  void Dc(BitWriter& out, int& predictor, int dc) const {
    std::array<int, 64> block{};
    block[0] = dc;
    Block(out, predictor, block);
  }

private:
  std::map<int, Code> dc_;
  std::map<int, Code> ac_;
};

struct FrameComp {
  int id, h, v, tq;
};
struct ScanComp {
  int cs, td, ta;
};

// Marker segments, appended in the order called.
class JpegBuilder {
public:
  JpegBuilder& Raw(const Bytes& b) {
    bytes.insert(bytes.end(), b.begin(), b.end());
    return *this;
  }
  JpegBuilder& Marker(uint8_t code) { return Raw({0xFF, code}); }
  JpegBuilder& Soi() { return Marker(0xD8); }
  JpegBuilder& Eoi() { return Marker(0xD9); }
  // FF code, a length of payload + 2, the payload.
  JpegBuilder& Segment(uint8_t code, const Bytes& payload) {
    size_t length = payload.size() + 2;
    Raw({0xFF, code, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    return Raw(payload);
  }
  JpegBuilder& App0Jfif(int thumbW = 0, int thumbH = 0) {
    Bytes p = {'J', 'F', 'I', 'F', 0, 1, 2, 1, 0, 72, 0, 96,
               static_cast<uint8_t>(thumbW), static_cast<uint8_t>(thumbH)};
    p.resize(p.size() + 3 * thumbW * thumbH, 0x55);
    return Segment(0xE0, p);
  }
  JpegBuilder& Comment(const std::string& text) {
    return Segment(0xFE, Bytes(text.begin(), text.end()));
  }
  // A table of one value, 8-bit entries.
  JpegBuilder& DqtFlat(int id, int value) {
    Bytes p = {static_cast<uint8_t>(id)};
    p.resize(65, static_cast<uint8_t>(value));
    return Segment(0xDB, p);
  }
  JpegBuilder& Sof0(int width, int height, const std::vector<FrameComp>& comps, int precision = 8) {
    return Sof(0xC0, width, height, comps, precision);
  }
  // A frame header of any kind: 0xC0 baseline, 0xC1 extended, 0xC2
  // progressive ...
  JpegBuilder& Sof(uint8_t marker, int width, int height, const std::vector<FrameComp>& comps,
                   int precision = 8) {
    Bytes p = {static_cast<uint8_t>(precision), static_cast<uint8_t>(height >> 8),
               static_cast<uint8_t>(height), static_cast<uint8_t>(width >> 8),
               static_cast<uint8_t>(width), static_cast<uint8_t>(comps.size())};
    for (const FrameComp& c : comps) {
      p.push_back(static_cast<uint8_t>(c.id));
      p.push_back(static_cast<uint8_t>((c.h << 4) | c.v));
      p.push_back(static_cast<uint8_t>(c.tq));
    }
    return Segment(marker, p);
  }
  static Bytes DhtPayload(int tableClass, int id, const HuffmanDef& def) {
    Bytes p = {static_cast<uint8_t>((tableClass << 4) | id)};
    p.insert(p.end(), def.bits.begin(), def.bits.end());
    p.insert(p.end(), def.values.begin(), def.values.end());
    return p;
  }
  JpegBuilder& Dht(int tableClass, int id, const HuffmanDef& def) {
    return Segment(0xC4, DhtPayload(tableClass, id, def));
  }
  // A scan header; the band and point transform of a progressive scan.
  JpegBuilder& Sos(const std::vector<ScanComp>& comps, int ss = 0, int se = 63, int ah = 0,
                   int al = 0) {
    Bytes p = {static_cast<uint8_t>(comps.size())};
    for (const ScanComp& c : comps) {
      p.push_back(static_cast<uint8_t>(c.cs));
      p.push_back(static_cast<uint8_t>((c.td << 4) | c.ta));
    }
    p.insert(p.end(), {static_cast<uint8_t>(ss), static_cast<uint8_t>(se),
                       static_cast<uint8_t>((ah << 4) | al)});
    return Segment(0xDA, p);
  }
  JpegBuilder& Dri(int interval) {
    return Segment(0xDD, {static_cast<uint8_t>(interval >> 8), static_cast<uint8_t>(interval)});
  }

  Bytes bytes;
};

// The header of a small picture whose tables suit BlockEncoder(LuminanceDc,
// AllSymbols): every quantisation entry 1, DC table 0 = K.3, AC table 0 = all
// symbols; every component uses tables 0.
inline JpegBuilder SimpleHeader(int width, int height, const std::vector<FrameComp>& comps) {
  JpegBuilder b;
  b.Soi().DqtFlat(0, 1).Sof0(width, height, comps);
  b.Dht(0, 0, LuminanceDcTable()).Dht(1, 0, AllSymbolsTable());
  std::vector<ScanComp> scan;
  for (const FrameComp& c : comps) scan.push_back({c.id, 0, 0});
  b.Sos(scan);
  return b;
}

inline BlockEncoder SimpleEncoder() { return BlockEncoder(LuminanceDcTable(), AllSymbolsTable()); }

// A copy of the bytes in a heap block of exactly their size, so that
// AddressSanitizer reports any read past the end.
class ExactBuffer {
public:
  explicit ExactBuffer(const Bytes& b) : size_(b.size()), data_(new uint8_t[b.size()]) {
    if (!b.empty()) std::memcpy(data_.get(), b.data(), b.size());
  }
  const uint8_t* data() const { return data_.get(); }
  int32_t size() const { return static_cast<int32_t>(size_); }

private:
  size_t size_;
  std::unique_ptr<uint8_t[]> data_;
};

struct Decoded {
  int32_t analysis = 0;
  int32_t decode = 0;  // not run when analysis failed
  std::string message;
  int32_t width = 0, height = 0;
  Bytes red, green, blue;  // width x height samples each
  bool planesNull = true;
  bool inputUnchanged = true;  // the decoder left the caller's bytes alone
};

inline Bytes ReadFile(const std::string& path) {
  Bytes bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  uint8_t chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  std::fclose(file);
  return bytes;
}

// The two forms of the decode pass: the reference stages
// (DecodeImageReference) and the fast form that DecodeImage runs. Both must
// pass every test of the pass.
enum class Form { kReference, kFast };

inline const char* FormName(Form form) { return form == Form::kReference ? "reference" : "fast"; }

inline void PrintTo(Form form, std::ostream* out) { *out << FormName(form); }

inline int32_t DecodeWith(JpegDecoder& decoder, Form form) {
  return form == Form::kReference ? decoder.DecodeImageReference() : decoder.DecodeImage();
}

// Analyses and decodes the bytes (from an exactly sized heap copy).
inline Decoded DecodeJpeg(const Bytes& bytes, Form form = Form::kReference) {
  ExactBuffer buffer(bytes);
  JpegDecoder decoder;
  Decoded out;
  out.analysis = decoder.AnalysisHeader(buffer.data(), buffer.size());
  out.message = decoder.LastErrorMessage();
  if (out.analysis == 0) out.decode = DecodeWith(decoder, form);
  out.inputUnchanged = bytes.empty() || std::memcmp(buffer.data(), bytes.data(), bytes.size()) == 0;
  if (out.analysis < 0) return out;
  out.message = decoder.LastErrorMessage();
  uint8_t *r, *g, *b;
  decoder.GetImage(&r, &g, &b, &out.width, &out.height);
  out.planesNull = r == nullptr && g == nullptr && b == nullptr;
  if (out.decode == 0 && r != nullptr) {
    size_t n = static_cast<size_t>(out.width) * static_cast<size_t>(out.height);
    out.red.assign(r, r + n);
    out.green.assign(g, g + n);
    out.blue.assign(b, b + n);
  }
  return out;
}

}  // namespace jpegtest
