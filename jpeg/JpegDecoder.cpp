// JpegDecoder: construction, the public entry points of header analysis, and
// the marker segments up to the first scan header (T.81 B.2, B.3, B.4).
#include "JpegDecoder.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "JpegTables.h"

JpegDecoder::JpegDecoder()
    : mRgbP{nullptr, nullptr, nullptr},
      mUnit{nullptr, nullptr, nullptr},
      mDcPred{0, 0, 0},
      mBlock{},
      mPixel{},
      mStatus(0),
      mWidth(0),
      mHeight(0),
      mNumComponents(0),
      mPrecision(0),
      mComment(nullptr),
      mApp0Kind(0),
      mJfifMajor(0),
      mJfifMinor(0),
      mUnits(0),
      mXDensity(1),
      mYDensity(1),
      mXThumbnail(0),
      mYThumbnail(0),
      mJfxxCode(0),
      mScanCount(0),
      mSs(0),
      mSe(0),
      mAh(0),
      mAl(0),
      mComp{},
      mScanComp{},
      mHuff{},
      mQuant{},
      mCos{},
      mState(0),
      mStream(nullptr),
      mHMax(0),
      mVMax(0),
      mRestartInterval(0),
      mFrameMarker(0),
      mGeometry{},
      mCoefficients(nullptr),
      mPlane{},
      mScan{},
      mCoded{},
      mComponentQuant{},
      mQuantTaken{},
      mEobRun(0),
      mLastError(""),
      mLastErrorText{},
      mFailAllocation(-1),
      mAllocations(0) {
  std::memcpy(mCos, kCosTable, sizeof mCos);
}

JpegDecoder::~JpegDecoder() {
  for (auto& tables : mHuff) {
    for (HuffmanTable& table : tables) {
      ::operator delete(table.sizeT);
      ::operator delete(table.codeT);
      ::operator delete(table.valueT);
    }
  }
  ::operator delete(mComment);
  ::operator delete(mStream);  // trivially destructible
  FreeUnits();
  FreeCoefficients();
  FreeRgb();
}

int32_t JpegDecoder::AnalysisHeader(const uint8_t* data, int32_t length) {
  SetLastError("");
  ::operator delete(mStream);
  mStream = nullptr;
  void* memory = AllocateBytes(sizeof(JpegStream));
  if (memory == nullptr) {
    SetLastError("AnalysisHeader:JpegStream");
    return -1;
  }
  mStream = new (memory) JpegStream(data, length);
  try {
    mState = 0;
    while (mState == 0) {
      if (SearchMarker() == 0xD8) mState = 1;
    }
    while (mState == 1) {
      uint32_t status = AnalysisMarker();
      mStatus |= status;  // after the call: AnalysisJFIF sets its bit itself
      if ((mStatus & kStatusSOS) != 0) break;
    }
    return 0;
  } catch (const EMemoryError& e) {
    SetLastError(e.message);
    return -1;
  } catch (const EIndexError& e) {
    SetLastError(e.message);
    return -2;
  } catch (const EBufferError& e) {
    SetLastError(e.message);
    return -2;
  } catch (const EDataFormatError& e) {
    SetLastError(e.message);
    return -2;
  } catch (const ENotSupported& e) {
    SetLastErrorNotSupported(e);
    return -2;
  }
}

void JpegDecoder::GetImage(uint8_t** red, uint8_t** green, uint8_t** blue, int32_t* width,
                           int32_t* height) {
  *red = mRgbP[0];
  *green = mRgbP[1];
  *blue = mRgbP[2];
  *width = mWidth;
  *height = mHeight;
}

// Next marker code. Bytes up to a 0xFF are passed over, and so is an FF 00
// pair. Codes 3 to 0xBF are reported as 0xFF; a 0xFF after a 0xFF is the
// code 0xFF itself (fill bytes are not skipped).
int32_t JpegDecoder::SearchMarker() {
  for (;;) {
    while (mStream->GetByte() != 0xFF) {
    }
    int32_t code = mStream->GetByte();
    if (code == 0) continue;
    if (code == 1 || code == 2 || code >= 0xC0) return code;
    return 0xFF;
  }
}

namespace {

// What the frame types and segments that the decoder refuses stand for
// (T.81 Table B.1).
const char* UnsupportedProcess(int32_t code) {
  switch (code) {
    case 0xC3:
      return "lossless process";
    case 0xC5: case 0xC6: case 0xC7: case 0xDE: case 0xDF:
      return "hierarchical process";
    default:  // 0xC9 to 0xCF, DAC among them
      return "arithmetic coding";
  }
}

}  // namespace

// Reads one marker and its segment; returns the status bits it stands for.
uint32_t JpegDecoder::AnalysisMarker() {
  int32_t code = SearchMarker();
  switch (code) {
    case 0xC0: case 0xC1: case 0xC2:
      mStream->GetWord();
      AnalysisSOF(code);
      return 0;
    case 0xC3: case 0xC5: case 0xC6: case 0xC7:
    case 0xC9: case 0xCA: case 0xCB: case 0xCC: case 0xCD: case 0xCE: case 0xCF:
    case 0xDE: case 0xDF:
      throw ENotSupported{code, mStream->GetPos(), UnsupportedProcess(code)};
    case 0xC4:
      AnalysisDHT(mStream->GetWord() - 2);
      return kStatusDHT;
    case 0xDB:
      AnalysisDQT(mStream->GetWord() - 2);
      return kStatusDQT;
    case 0xDA:
      mStream->GetWord();
      AnalysisScan();
      return kStatusSOS;
    case 0xD9:
      mState = 0;
      return 0;
    case 0xDC:
      mStream->GetWord();
      mHeight = mStream->GetWord();
      return 0;
    case 0xDD:
      mStream->GetWord();
      mRestartInterval = mStream->GetWord();
      return 0;
    case 0xE0:
      AnalysisAPP0();
      return 0;
    case 0xFE:
      AnalysisCOM();
      return kStatusCOM;
    default:
      if (code >= 0xE1 && code <= 0xEF) {
        mStream->SkipByte(mStream->GetWord() - 2);
        return 0;
      }
      throw EDataFormatError{mStream->GetPos() - 1, "Marker error"};
  }
}

// Frame header of SOF0, SOF1 or SOF2 (T.81 B.2.2). Checked here: the
// component count, and 8-bit samples in extended sequential and progressive
// frames (a baseline frame's precision only selects the level shift); the
// decode pass checks the rest before it uses them.
void JpegDecoder::AnalysisSOF(int32_t marker) {
  mFrameMarker = marker;
  mPrecision = mStream->GetByte();
  mHeight = mStream->GetWord();
  mWidth = mStream->GetWord();
  mNumComponents = mStream->GetByte();
  if (mNumComponents != 1 && mNumComponents != 3) {
    throw ENotSupported{marker, mStream->GetPos(), "component count other than 1 or 3"};
  }
  if (marker != 0xC0 && mPrecision != 8) {
    throw ENotSupported{marker, mStream->GetPos(), "samples other than 8-bit"};
  }
  mHMax = 0;
  mVMax = 0;
  for (int32_t i = 0; i < mNumComponents; ++i) {
    FrameComponent& comp = mComp[i];
    comp.id = static_cast<int8_t>(mStream->GetByte());
    int32_t sampling = mStream->GetByte();
    comp.h = static_cast<int8_t>(sampling >> 4);
    comp.v = static_cast<int8_t>(sampling & 15);
    if (comp.h > mHMax) mHMax = comp.h;
    if (comp.v > mVMax) mVMax = comp.v;
    comp.tq = static_cast<int8_t>(mStream->GetByte());
  }
}

// Quantisation tables (T.81 B.2.4.1), stored in natural order. At least one
// table is read whatever the length says.
void JpegDecoder::AnalysisDQT(int32_t length) {
  const uint8_t* start = mStream->GetPos();
  do {
    int32_t precisionAndId = mStream->GetByte();
    int32_t* table = mQuant[precisionAndId & 3];
    bool wide = (precisionAndId & 0xF0) != 0;
    for (int32_t k = 0; k < 64; ++k) {
      table[kZigzag[k]] = wide ? mStream->GetWord() : mStream->GetByte();
    }
  } while (mStream->GetPos() - start < length);
}

// Scan header (T.81 B.2.3). The scan table has three entries: a header that
// lists more components is refused. A scan may select Huffman tables 0 to 2
// in a baseline frame (or with no frame header), 0 to 3 in extended
// sequential and progressive frames. The decode pass checks the rest. The
// header is kept only once it is read and checked whole: one met between
// scans that fails ends the decode, and the decoder may be asked to decode
// again with the header it holds.
void JpegDecoder::AnalysisScan() {
  const int32_t count = mStream->GetByte();
  if (count > 3) throw EIndexError{3, count, "AnalysisScan:Ns Over"};
  const int32_t lastTable = mFrameMarker == 0xC1 || mFrameMarker == 0xC2 ? 3 : 2;
  ScanComponent comps[3] = {mScanComp[0], mScanComp[1], mScanComp[2]};
  for (int32_t i = 0; i < count; ++i) {
    ScanComponent& comp = comps[i];
    comp.cs = static_cast<int8_t>(mStream->GetByte());
    int32_t selectors = mStream->GetByte();
    comp.td = static_cast<int8_t>(selectors >> 4);
    comp.ta = static_cast<int8_t>(selectors & 15);
    if (comp.td > lastTable) throw EIndexError{lastTable, comp.td, "AnalysisScan:Td Over"};
    if (comp.ta > lastTable) throw EIndexError{lastTable, comp.ta, "AnalysisScan:Ta Over"};
  }
  const int32_t ss = mStream->GetByte();
  const int32_t se = mStream->GetByte();
  const int32_t approximation = mStream->GetByte();
  mScanCount = static_cast<uint8_t>(count);
  for (int32_t i = 0; i < 3; ++i) mScanComp[i] = comps[i];
  mSs = static_cast<uint8_t>(ss);
  mSe = static_cast<uint8_t>(se);
  mAh = static_cast<uint8_t>(approximation >> 4);
  mAl = static_cast<uint8_t>(approximation & 15);
}

// APP0: JFIF and JFXX fields are read; any other APP0 is skipped. Every
// branch ends at the segment's end: a JFIF segment shorter than its fields
// is read past and the negative skip comes back.
void JpegDecoder::AnalysisAPP0() {
  int32_t length = mStream->GetWord() - 2;
  if (length < 5) {
    mStream->SkipByte(length);
    return;
  }
  uint8_t identifier[5];
  mStream->CopyByte(identifier, 5);
  if (std::memcmp(identifier, "JFIF", 4) == 0) {
    AnalysisJFIF();
    mStream->SkipByte(length - 14);  // the thumbnail
  } else if (std::memcmp(identifier, "JFXX", 4) == 0) {
    AnalysisJFXX();
    mStream->SkipByte(length - 6);
  } else {
    mStream->SkipByte(length - 5);
  }
}

void JpegDecoder::AnalysisJFIF() {
  mJfifMajor = static_cast<uint8_t>(mStream->GetByte());
  mJfifMinor = static_cast<uint8_t>(mStream->GetByte());
  mUnits = mStream->GetByte();
  mXDensity = mStream->GetWord();
  mYDensity = mStream->GetWord();
  mXThumbnail = mStream->GetByte();
  mYThumbnail = mStream->GetByte();
  mApp0Kind = 1;
  mStatus |= kStatusJFIF;
}

void JpegDecoder::AnalysisJFXX() {
  mApp0Kind = 2;
  mJfxxCode = mStream->GetByte();
}

// Comment: kept as a NUL-terminated text, replacing an earlier one. A length
// below 2 (shorter than its own length field) is malformed.
void JpegDecoder::AnalysisCOM() {
  int32_t length = mStream->GetWord();
  if (length < 2) throw EDataFormatError{mStream->GetPos(), "AnalysisCOM:Length"};
  ::operator delete(mComment);
  mComment = nullptr;
  char* text = static_cast<char*>(AllocateBytes(static_cast<std::size_t>(length - 1)));
  if (text == nullptr) throw EMemoryError{length - 1, "AnalysisCOM:Comment"};
  std::memset(text, 0, static_cast<std::size_t>(length - 1));  // terminated even if the copy fails
  mComment = text;
  mStream->CopyByte(reinterpret_cast<uint8_t*>(text), length - 2);
}

void JpegDecoder::FreeRgb() {
  for (uint8_t*& plane : mRgbP) {
    ::operator delete(plane);
    plane = nullptr;
  }
}

// (Re)allocates *table with count elements set to fill.
void JpegDecoder::AllocTable(int32_t** table, int32_t count, int32_t fill, const char* message) {
  ::operator delete(*table);
  *table = nullptr;
  if (count < 0) throw EMemoryError{count, message};
  auto* elements = static_cast<int32_t*>(AllocateBytes(static_cast<std::size_t>(count) * sizeof(int32_t)));
  if (elements == nullptr) throw EMemoryError{count, message};
  for (int32_t i = 0; i < count; ++i) elements[i] = fill;
  *table = elements;
}

void* JpegDecoder::AllocateBytes(std::size_t bytes) {
  int32_t number = mAllocations++;
  if (number == mFailAllocation) return nullptr;
  return ::operator new(bytes, std::nothrow);
}

// Fresh pages from the system are zero already: calloc does not write them
// again.
void* JpegDecoder::AllocateZeroedBytes(std::size_t bytes) {
  int32_t number = mAllocations++;
  if (number == mFailAllocation) return nullptr;
  return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void JpegDecoder::SetLastError(const char* message) { mLastError = message; }

// The message names the reason and the marker code.
void JpegDecoder::SetLastErrorNotSupported(const ENotSupported& e) {
  const unsigned marker = static_cast<unsigned>(e.marker) & 0xFFu;
  if (e.reason != nullptr) {
    std::snprintf(mLastErrorText, sizeof mLastErrorText, "Not supported:%s (marker 0x%02X)",
                  e.reason, marker);
  } else {
    std::snprintf(mLastErrorText, sizeof mLastErrorText, "Not supported:marker 0x%02X", marker);
  }
  mLastError = mLastErrorText;
}
