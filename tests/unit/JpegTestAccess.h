// Reaches the decoder's internals for the unit tests (a friend of JpegDecoder
// and JpegStream). Nothing here changes how the decoder works.
#pragma once

#include <cstdint>

#include "JpegDecoder.h"

struct JpegDecoderTestAccess {
  using HuffmanTable = JpegDecoder::HuffmanTable;

  // Reader.
  static bool HasData(const JpegStream& s) { return s.mHasData; }
  static int32_t BitPos(const JpegStream& s) { return s.mBitPos; }
  static const uint8_t* Current(const JpegStream& s) { return s.mCur; }

  // Decoder fields.
  static JpegStream* Stream(JpegDecoder& d) { return d.mStream; }
  static uint32_t Status(const JpegDecoder& d) { return d.mStatus; }
  static int32_t State(const JpegDecoder& d) { return d.mState; }
  static const char* Comment(const JpegDecoder& d) { return d.mComment; }
  static int32_t App0Kind(const JpegDecoder& d) { return d.mApp0Kind; }
  static int32_t JfxxCode(const JpegDecoder& d) { return d.mJfxxCode; }
  static int32_t XDensity(const JpegDecoder& d) { return d.mXDensity; }
  static int32_t YThumbnail(const JpegDecoder& d) { return d.mYThumbnail; }
  static int32_t RestartInterval(const JpegDecoder& d) { return d.mRestartInterval; }
  static int32_t Height(const JpegDecoder& d) { return d.mHeight; }
  static int32_t NumComponents(const JpegDecoder& d) { return d.mNumComponents; }
  static int32_t ScanCount(const JpegDecoder& d) { return d.mScanCount; }
  static int32_t Quant(const JpegDecoder& d, int32_t table, int32_t index) {
    return d.mQuant[table][index];
  }
  static const HuffmanTable& Huff(const JpegDecoder& d, int32_t tableClass, int32_t id) {
    return d.mHuff[tableClass][id];
  }
  static double Cos(const JpegDecoder& d, int32_t u, int32_t x) { return d.mCos[u][x]; }
  static int32_t* Block(JpegDecoder& d) { return d.mBlock; }
  static int32_t* Pixel(JpegDecoder& d) { return d.mPixel; }
  static int32_t* DcPred(JpegDecoder& d) { return d.mDcPred; }
  static void SetPrecision(JpegDecoder& d, int32_t p) { d.mPrecision = p; }
  static void SetQuantEntry(JpegDecoder& d, int32_t table, int32_t index, int32_t value) {
    d.mQuant[table][index] = value;
  }
  static void SetComponentTq(JpegDecoder& d, int32_t component, int8_t tq) {
    d.mComp[component].tq = tq;
  }
  static int32_t PlaneSize(const JpegDecoder& d) { return d.mGeometry.planeSize; }
  static int32_t McusX(const JpegDecoder& d) { return d.mGeometry.mcusX; }
  static int32_t McusY(const JpegDecoder& d) { return d.mGeometry.mcusY; }
  static const uint8_t* Plane(const JpegDecoder& d, int32_t c) { return d.mRgbP[c]; }
  static const int16_t* Coefficients(const JpegDecoder& d) { return d.mCoefficients; }

  // Stages.
  static int32_t Decode1HuffmanCode(JpegDecoder& d, int32_t tableClass, int32_t component) {
    return d.Decode1HuffmanCode(tableClass, component);
  }
  static void DecodeHuffman(JpegDecoder& d, int32_t component) { d.DecodeHuffman(component); }
  static void Dequantize(JpegDecoder& d, int32_t component) { d.Dequantize(component); }
  static void InverseDCT(JpegDecoder& d) { d.InverseDCT(); }
  static uint8_t ClampToByte(double x) { return JpegDecoder::ClampToByte(x); }

  // Allocation seam: the allocation numbered n (from 0, counted over the
  // decoder's life) fails.
  static void FailAllocation(JpegDecoder& d, int32_t n) { d.mFailAllocation = n; }
  static int32_t Allocations(const JpegDecoder& d) { return d.mAllocations; }
};
