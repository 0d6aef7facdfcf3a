// The decode pass: the checks, sizes and allocations both forms start with,
// and the reference form of the pass. A one-scan picture is decoded MCU by
// MCU: blocks decoded and upsampled into one MCU of samples per component,
// converted to red, green and blue; restart markers between intervals
// (T.81 E.2.4, F.2.2.5). A picture in several scans is decoded scan by scan
// into the coefficient store (JpegScans.cpp), then transformed MCU by MCU
// the same way.
#include <cstdint>

#include "JpegArithmetic.h"
#include "JpegDecoder.h"
#include "JpegTables.h"

int32_t JpegDecoder::DecodeImage() { return RunDecodePass(false); }

int32_t JpegDecoder::DecodeImageReference() { return RunDecodePass(true); }

// Whatever the outcome, the pass ends holding nothing but the planes (and
// none of them after a failure).
int32_t JpegDecoder::RunDecodePass(bool reference) {
  SetLastError("");
  if ((mStatus & (kStatusDHT | kStatusDQT | kStatusSOS)) == 0) {
    SetLastError("DecodeImage:no tables and no scan");
    return -2;
  }
  int32_t result = 0;
  try {
    if (reference) {
      Decode();
    } else {
      DecodeFast();
    }
  } catch (const EMemoryError& e) {
    SetLastError(e.message);
    result = -1;
  } catch (const EIndexError& e) {
    SetLastError(e.message);
    result = -1;
  } catch (const EBufferError& e) {
    SetLastError(e.message);
    result = -1;
  } catch (const EDataFormatError& e) {
    SetLastError(e.message);
    result = -2;
  } catch (const ENotSupported& e) {
    SetLastErrorNotSupported(e);
    result = -2;
  }
  FreeUnits();
  FreeCoefficients();
  if (result != 0) FreeRgb();
  return result;
}

// Refuses, before anything is sized or divided, what header analysis stores
// unchecked: no frame header, no scan header, a sampling factor of 0, a
// quantisation table selector above 3.
void JpegDecoder::CheckFrame() const {
  if (mNumComponents != 1 && mNumComponents != 3) {
    throw EDataFormatError{nullptr, "Decode:no frame header"};
  }
  if ((mStatus & kStatusSOS) == 0) throw EDataFormatError{nullptr, "Decode:no scan header"};
  for (int32_t i = 0; i < mNumComponents; ++i) {
    if (mComp[i].h == 0 || mComp[i].v == 0) {
      throw EDataFormatError{nullptr, "Decode:sampling factor 0"};
    }
    if (mComp[i].tq < 0 || mComp[i].tq > 3) throw EDataFormatError{nullptr, "Decode:Tq over"};
  }
}

// MCU layout and plane size. Three components form MCUs of h x v blocks of
// each (an interleaved scan, T.81 A.2.3); a single component forms MCUs of
// one block, whatever its sampling factors (A.2.2). The plane size is worked
// out in 64 bits: a size that does not fit 32 bits fails as the first
// plane's allocation would.
void JpegDecoder::ComputeGeometry() {
  PassGeometry& g = mGeometry;
  if (mNumComponents == 1) {
    g.hMax = 1;
    g.vMax = 1;
    g.h[0] = 1;
    g.v[0] = 1;
  } else {
    g.hMax = mHMax;
    g.vMax = mVMax;
    for (int32_t i = 0; i < mNumComponents; ++i) {
      g.h[i] = mComp[i].h;
      g.v[i] = mComp[i].v;
    }
  }
  for (int32_t i = 0; i < mNumComponents; ++i) {
    g.sh[i] = g.hMax / g.h[i];
    g.sv[i] = g.vMax / g.v[i];
  }
  int32_t blocksX = (mWidth + 7) / 8;
  int32_t blocksY = (mHeight + 7) / 8;
  g.mcusX = (blocksX + g.hMax - 1) / g.hMax;
  g.mcusY = (blocksY + g.vMax - 1) / g.vMax;
  int64_t planeSize = int64_t{g.vMax} * g.hMax * g.mcusY * g.mcusX * 64;
  if (planeSize > INT32_MAX) throw EMemoryError{INT32_MAX, "Decode:mRgbP[0]"};
  g.planeSize = static_cast<int32_t>(planeSize);
}

// A picture that the rest of the byte image cannot possibly cover is refused
// before its planes are allocated, so that a tiny file claiming 30000 x 30000
// pixels costs nothing. The rule: every block takes at least two bits (one
// DC Huffman code and at least one AC code, each of 1 bit or more; T.81
// F.1.2), and the entropy-coded data holds at most 8 bits a byte. A picture
// that decodes successfully always meets it, so no real photo is refused.
void JpegDecoder::CheckDataCoversPicture() const {
  const PassGeometry& g = mGeometry;
  int64_t blocksPerMcu = 0;
  for (int32_t i = 0; i < mNumComponents; ++i) blocksPerMcu += int64_t{g.h[i]} * g.v[i];
  int64_t blocks = int64_t{g.mcusX} * g.mcusY * blocksPerMcu;
  if (2 * blocks > 8 * mStream->RemainingBytes()) {
    throw EBufferError{"Decode:data too short"};
  }
}

// The start of both forms of the pass: refuse what cannot be decoded, size
// the picture, and allocate the three planes in place of any earlier ones
// (and, for a picture in several scans, the coefficient store after them).
void JpegDecoder::AllocatePlanes() {
  CheckFrame();
  ResolveHeightFromDnl();
  ComputeGeometry();
  const bool multiScan = MultiScan();
  if (multiScan) {
    StartScans();
    BeginScan();
    CheckScansCoverPicture();
  } else {
    CheckDataCoversPicture();
  }
  FreeRgb();

  const PassGeometry& g = mGeometry;
  static const char* const kPlaneMessages[3] = {"Decode:mRgbP[0]", "Decode:mRgbP[1]",
                                                "Decode:mRgbP[2]"};
  for (int32_t c = 0; c < 3; ++c) {
    mRgbP[c] = static_cast<uint8_t*>(AllocateBytes(static_cast<std::size_t>(g.planeSize)));
    if (mRgbP[c] == nullptr) throw EMemoryError{g.planeSize, kPlaneMessages[c]};
  }
  if (multiScan) AllocateCoefficients();
}

// The MCU buffers, one MCU of samples for each of Y, Cb and Cr.
void JpegDecoder::AllocateUnits() {
  const PassGeometry& g = mGeometry;
  const int32_t unitSize = g.hMax * g.vMax * 64;
  AllocTable(&mUnit[0], unitSize, 0, "Disconvert unit1");
  AllocTable(&mUnit[1], unitSize, 128, "Disconvert unit2");
  AllocTable(&mUnit[2], unitSize, 128, "Disconvert unit3");
}

void JpegDecoder::Decode() {
  AllocatePlanes();
  if (MultiScan()) {
    DecodeScansReference();
    TransformStore();
    return;
  }
  const PassGeometry& g = mGeometry;
  AllocateUnits();
  mDcPred[0] = mDcPred[1] = mDcPred[2] = 0;
  int32_t restartCount = 0;
  for (int32_t row = 0; row < g.mcusY; ++row) {
    for (int32_t column = 0; column < g.mcusX; ++column) {
      DecodeMCU();
      ConvertMCU(column, row);
      if (mRestartInterval != 0 && ++restartCount == mRestartInterval) {
        restartCount = 0;
        // Drops the rest of the byte and reads on to the next marker. Its
        // number is not checked against the expected sequence.
        int32_t marker = SearchMarker();
        if (marker >= 0xD0 && marker <= 0xD7) mDcPred[0] = mDcPred[1] = mDcPred[2] = 0;
      }
    }
  }
}

// Decodes every block of one MCU and spreads it, replicated sh x sv times,
// over the component's full-resolution MCU buffer.
void JpegDecoder::DecodeMCU() {
  const PassGeometry& g = mGeometry;
  for (int32_t comp = 0; comp < mNumComponents; ++comp) {
    for (int32_t by = 0; by < g.v[comp]; ++by) {
      for (int32_t bx = 0; bx < g.h[comp]; ++bx) {
        DecodeHuffman(comp);
        TransformBlock(comp, by, bx, mQuant[mComp[comp].tq]);
      }
    }
  }
}

// The block in mBlock, of block row by and column bx of the component's part
// of the MCU: dequantised, transformed and replicated into its MCU buffer.
void JpegDecoder::TransformBlock(int32_t comp, int32_t by, int32_t bx, const int32_t* quant) {
  const PassGeometry& g = mGeometry;
  const int32_t rowLength = g.hMax * 8;
  const int32_t sh = g.sh[comp];
  const int32_t sv = g.sv[comp];
  DequantizeWith(quant);
  InverseDCT();
  jpegmath::ReplicateBlock(mPixel, sh, sv, mUnit[comp] + by * sv * 8 * rowLength + bx * sh * 8,
                           rowLength);
}

// The store of a multi-scan picture into the planes, MCU by MCU.
void JpegDecoder::TransformStore() {
  const PassGeometry& g = mGeometry;
  AllocateUnits();
  for (int32_t row = 0; row < g.mcusY; ++row) {
    for (int32_t column = 0; column < g.mcusX; ++column) {
      TransformStoredMCU(column, row);
      ConvertMCU(column, row);
    }
  }
}

void JpegDecoder::TransformStoredMCU(int32_t column, int32_t row) {
  const PassGeometry& g = mGeometry;
  for (int32_t comp = 0; comp < mNumComponents; ++comp) {
    for (int32_t by = 0; by < g.v[comp]; ++by) {
      for (int32_t bx = 0; bx < g.h[comp]; ++bx) {
        const int16_t* block = mPlane[comp].Block(row * g.v[comp] + by, column * g.h[comp] + bx);
        for (int32_t k = 0; k < 64; ++k) mBlock[kZigzag[k]] = block[k];
        TransformBlock(comp, by, bx, mComponentQuant[comp]);
      }
    }
  }
}

// Converts the MCU in mUnit from Y, Cb, Cr to red, green and blue into the
// planes. Columns right of the picture are skipped; rows below it land in
// the planes' spare rows.
void JpegDecoder::ConvertMCU(int32_t column, int32_t row) {
  const PassGeometry& g = mGeometry;
  const int32_t rowLength = g.hMax * 8;
  const int32_t x0 = column * g.hMax * 8;
  const int32_t y0 = row * g.vMax * 8;
  for (int32_t i = 0; i < g.vMax * 8; ++i) {
    for (int32_t j = 0; j < rowLength; ++j) {
      if (x0 + j >= mWidth) break;
      const double y = mUnit[0][i * rowLength + j];
      const double cb = mUnit[1][i * rowLength + j];
      const double cr = mUnit[2][i * rowLength + j];
      const std::size_t index =
          static_cast<std::size_t>(y0 + i) * static_cast<std::size_t>(mWidth) +
          static_cast<std::size_t>(x0 + j);
      jpegmath::ConvertPixel(y, cb, cr, &mRgbP[0][index], &mRgbP[1][index], &mRgbP[2][index]);
    }
  }
}

uint8_t JpegDecoder::ClampToByte(double x) { return jpegmath::ClampToByte(x); }

void JpegDecoder::FreeUnits() {
  for (int32_t*& unit : mUnit) {
    ::operator delete(unit);
    unit = nullptr;
  }
}
