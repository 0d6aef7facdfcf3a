// Huffman table segments (T.81 B.2.4.2) and their canonical codes (T.81
// Annex C).
#include "JpegDecoder.h"

// Reads every table of one DHT segment; length is the segment length less 2.
// At least one table is read whatever the length says: the end is tested
// only after a table. A table id met again replaces the earlier table.
void JpegDecoder::AnalysisDHT(int32_t length) {
  const uint8_t* start = mStream->GetPos();
  if (start == nullptr) throw EDataFormatError{nullptr, "AnalysisDHT:DHT Length"};
  do {
    int32_t classAndId = mStream->GetByte();
    int32_t tableClass = classAndId >> 4;
    int32_t tableId = classAndId & 15;
    if (tableClass > 1) throw EDataFormatError{mStream->GetPos() - 1, "AnalysisDHT:Tc"};
    if (tableId > 3) throw EDataFormatError{mStream->GetPos() - 1, "AnalysisDHT:Th"};

    int32_t bits[17] = {};  // bits[L]: codes of length L
    int32_t count = 0;
    for (int32_t length1 = 1; length1 <= 16; ++length1) {
      bits[length1] = mStream->GetByte();
      count += bits[length1];
    }

    // The slot counts no entries until its arrays exist: a failed allocation
    // (which, between the scans of a picture, ends only the decode) leaves
    // it empty, never a count without arrays.
    HuffmanTable& table = mHuff[tableClass][tableId];
    table.count = 0;
    AllocTable(&table.sizeT, count, 0, "AnalysisDHT:Huffman Size-T");
    AllocTable(&table.codeT, count, 0, "AnalysisDHT:Huffman Code-T");
    AllocTable(&table.valueT, count, 0, "AnalysisDHT:Huffman Value-T");
    table.count = count;

    // Code lengths, T.81 Figure C.1.
    int32_t j = 0;
    for (int32_t size = 1; size <= 16; ++size) {
      for (int32_t n = 0; n < bits[size]; ++n) {
        if (j >= count) throw EIndexError{count, j, "AnalysisDHT:Size Table Index over"};
        table.sizeT[j++] = size;
      }
    }

    // Canonical codes, T.81 Figure C.2. Never reads sizeT past its end.
    if (count > 0) {
      int32_t code = 0;
      int32_t k = 0;
      int32_t size = table.sizeT[0];
      for (;;) {
        while (k < count && table.sizeT[k] == size) {
          table.codeT[k++] = code++;
        }
        if (k >= count) break;
        while (size != table.sizeT[k]) {
          code *= 2;
          ++size;
        }
      }
    }

    for (int32_t i = 0; i < count; ++i) table.valueT[i] = mStream->GetByte();
  } while (mStream->GetPos() - start < length);
}
