// Progressive scans in the reference form: the block decoders of
// JpegProgressiveFirst.h and JpegProgressiveRefine.h over the decoder's own
// bit-by-bit reads (Decode1HuffmanCode and GetBits, as the sequential blocks
// of JpegEntropy.cpp read). Component i is the scan's i-th component: its
// tables, its DC predictor. A marker met anywhere inside a progressive
// scan's data ends the decode at once with "DecodeHuffman:Error Marker".
#include "JpegDecoder.h"
#include "JpegProgressiveFirst.h"
#include "JpegProgressiveRefine.h"

struct JpegDecoder::ReferenceBits {
  JpegDecoder& decoder;

  int32_t Symbol(int32_t tableClass, int32_t i) {
    const int32_t symbol = decoder.Decode1HuffmanCode(tableClass, i);
    if (symbol < 0) throw EDataFormatError{Position(), "DecodeHuffman:Error Marker"};
    return symbol;
  }
  int32_t Bits(int32_t count) {
    const int32_t bits = decoder.mStream->GetBits(count);
    if (bits < 0) throw EDataFormatError{Position(), "DecodeHuffman:Error Marker"};
    return bits;
  }
  const uint8_t* Position() const { return decoder.mStream->GetPos(); }
};

void JpegDecoder::DecodeProgressiveBlock(int32_t i, int16_t* block) {
  ReferenceBits bits{*this};
  switch (mScan.kind) {
    case jpegscan::ScanKind::kDcFirst:
      jpegscan::DecodeDcFirstBlock(bits, mScan, i, mDcPred[i], block);
      break;
    case jpegscan::ScanKind::kDcRefine:
      jpegscan::DecodeDcRefineBlock(bits, mScan, block);
      break;
    case jpegscan::ScanKind::kAcFirst:
      jpegscan::DecodeAcFirstBlock(bits, mScan, mEobRun, block);
      break;
    case jpegscan::ScanKind::kAcRefine:
      jpegscan::DecodeAcRefineBlock(bits, mScan, mEobRun, block);
      break;
    case jpegscan::ScanKind::kSequential:
      break;
  }
}
