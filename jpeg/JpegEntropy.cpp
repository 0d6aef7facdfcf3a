// Entropy decoding of one block: Huffman symbols, the DC difference and the
// AC run/size pairs (T.81 F.2.2).
#include "JpegArithmetic.h"
#include "JpegDecoder.h"
#include "JpegTables.h"

using jpegmath::Extend;
using jpegmath::WrappingAdd;

// One Huffman symbol (T.81 F.2.2.3, Figure F.16), searched bit by bit over
// the entries of each code length in turn. Returns the symbol, or the negated
// code of a marker that the bit reader met.
int32_t JpegDecoder::Decode1HuffmanCode(int32_t tableClass, int32_t component) {
  const ScanComponent& selectors = mScanComp[component];
  const HuffmanTable& table = mHuff[tableClass][tableClass == 0 ? selectors.td : selectors.ta];
  int32_t code = 0;
  int32_t length = 0;
  int32_t j = 0;
  while (j < table.count && length < 16) {
    int32_t bit = mStream->GetBits(1);
    if (bit < 0) return bit;
    ++length;
    code = code * 2 + bit;
    while (j < table.count && table.sizeT[j] == length) {
      if (table.codeT[j] == code) return table.valueT[j];
      ++j;
    }
  }
  throw EDataFormatError{mStream->GetPos(), "Decode1HuffmanCode:length over"};
}

// The DC difference of magnitude category size >= 1 (T.81 F.2.2.1). A
// category of 32 or more never occurs in baseline data (its largest is 11):
// its bits are read in pieces and dropped, and the difference is 0, or the
// negated marker code if a marker interrupts them.
int32_t JpegDecoder::ReceiveDcDifference(int32_t size) {
  if (size < 32) return Extend(mStream->GetBits(size), size);
  for (int32_t left = size; left > 0; left -= 16) {
    int32_t bits = mStream->GetBits(left < 16 ? left : 16);
    if (bits < 0) return bits;
  }
  return 0;
}

// One block of the component into mBlock, natural order (T.81 F.2.2.1 and
// F.2.2.2, Figure F.13).
void JpegDecoder::DecodeHuffman(int32_t component) {
  int32_t size = Decode1HuffmanCode(0, component);
  if (size < 0) throw EDataFormatError{mStream->GetPos(), "DecodeHuffman:Error Marker"};
  int32_t difference = size == 0 ? 0 : ReceiveDcDifference(size);
  mDcPred[component] = WrappingAdd(mDcPred[component], difference);
  mBlock[0] = mDcPred[component];

  int32_t k = 1;
  while (k <= 63) {
    int32_t runSize = Decode1HuffmanCode(1, component);
    if (runSize == 0) {  // end of block
      for (; k <= 63; ++k) mBlock[kZigzag[k]] = 0;
      return;
    }
    if (runSize < 0) throw EDataFormatError{mStream->GetPos(), "DecodeHuffman:Error Marker"};
    int32_t run = runSize >> 4;
    int32_t acSize = runSize & 15;
    int32_t value = 0;
    if (acSize != 0) {
      value = Extend(mStream->GetBits(acSize), acSize);
    } else if (run != 15) {
      throw EDataFormatError{mStream->GetPos(), "DecodeHuffman:wrong Huffman value"};
    }
    if (k + run > 63) throw EDataFormatError{mStream->GetPos(), "DecodeHuffman:wrong Run length"};
    for (int32_t i = 0; i < run; ++i) mBlock[kZigzag[k + i]] = 0;
    mBlock[kZigzag[k + run]] = value;
    k += run + 1;
  }
}
