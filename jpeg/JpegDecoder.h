// JpegDecoder: MIRAVEL's own JPEG decoder. Plain C++17.
//
// Scope. Decodes baseline sequential DCT, Huffman-coded JPEG (SOF0, ITU-T
// T.81 Annex F) with 8-bit samples, held whole in memory:
//  - one component (greyscale) or three (Y, Cb, Cr, converted to RGB);
//  - three components in one interleaved scan, any sampling factors from 1
//    to 15; a subsampled chroma component is upsampled by replication
//    (4:4:4, 4:2:2, 4:2:0, 4:4:0, 4:1:1 ...), never interpolated;
//  - one component in one non-interleaved scan: one 8x8 block per MCU,
//    whatever the frame header's sampling factors (T.81 A.2.2);
//  - restart intervals (DRI, RST0 to RST7 between intervals);
//  - JFIF and JFXX APP0 segments (fields read), comments (kept), other
//    application segments (skipped).
// Only the first scan is decoded, and it must carry every frame component.
// Refused: progressive, lossless, hierarchical and arithmetic-coded frames,
// 2 or 4 components, and frames coded as several scans.
//
// Arithmetic is double precision with truncation toward zero; the inverse
// DCT is the direct double sum of T.81 A.3.3. The stages stay separate
// member functions: they are the reference form (DecodeImageReference), and
// the fast form that DecodeImage runs (jpeg/fast) matches them sample for
// sample and error for error.
//
// Use: construct; AnalysisHeader(bytes, length); DecodeImage(); GetImage().
// The caller keeps the bytes alive until DecodeImage has returned. Results:
// 0 success; AnalysisHeader -1 out of memory, -2 bad, truncated or
// unsupported data; DecodeImage -1 out of memory or data ended too soon, -2
// bad or unsupported data. LastErrorMessage says which step failed.
//
// Sound limits beyond the frame header's own: a picture whose remaining
// bytes cannot hold its blocks (at least two bits each) is refused before
// its planes are allocated, and a plane size beyond 32 bits fails as out of
// memory; arithmetic that hostile tables push past 32 bits wraps (integers)
// or saturates (the inverse DCT), never undefined.
#pragma once

#include <cstddef>
#include <cstdint>

#include "JpegStream.h"

namespace jpegfast {
struct StreamState;
}

class JpegDecoder {
public:
  JpegDecoder();
  ~JpegDecoder();
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // Walks the markers up to and including the first scan header; the reader
  // then stands at the scan's entropy-coded data. 0, -1 (out of memory), -2.
  int32_t AnalysisHeader(const uint8_t* data, int32_t length);
  // Decodes the first scan into the three colour planes. 0, -1, -2. Runs
  // the fast form of the decode pass (jpeg/fast): lookup-table Huffman
  // decoding, vector kernels chosen for the CPU, two threads for large
  // pictures. Its planes, result codes, messages and final reader position
  // are those of the reference form, bit for bit.
  int32_t DecodeImage();
  // The same with the reference form: the straightforward stages below,
  // kept as the definition that the fast form is tested against.
  int32_t DecodeImageReference();
  // For tests and benchmarks: threads of the fast form (0 chosen by picture
  // size and cores, 1, 2) and the highest instruction set it may use (0
  // plain, 1 SSE2, 2 AVX2, 3 AVX-512; capped at what the CPU has).
  void SetFastPassOptions(int32_t threads, int32_t simdLevel) {
    mFastThreads = threads;
    mFastSimdLevel = simdLevel;
  }
  // Hands out the planes (rows top-down, width bytes apart) and the size.
  // The planes stay the decoder's, valid until it is destroyed or decodes
  // again.
  void GetImage(uint8_t** red, uint8_t** green, uint8_t** blue, int32_t* width,
                int32_t* height);
  // The message of the error that ended the last AnalysisHeader or
  // DecodeImage call ("AnalysisDHT:Tc", "GetByte", ...); "" if that call
  // succeeded or none was made.
  const char* LastErrorMessage() const { return mLastError; }

private:
  friend struct JpegDecoderTestAccess;

  struct FrameComponent {
    int8_t id;  // Ci
    int8_t h;   // Hi
    int8_t v;   // Vi
    int8_t tq;  // Tqi
  };
  struct ScanComponent {
    int8_t cs;  // Csj
    int8_t td;  // DC table selector
    int8_t ta;  // AC table selector
  };
  // One Huffman table as three parallel arrays, ordered by code length and,
  // within a length, by code (T.81 Annex C).
  struct HuffmanTable {
    int32_t count;    // entries
    int32_t* sizeT;   // code length of each entry, 1 to 16
    int32_t* codeT;   // canonical code, right-aligned in sizeT bits
    int32_t* valueT;  // symbol, 0 to 255
  };
  // Sizes of the decode pass, worked out once before anything is allocated.
  struct PassGeometry {
    int32_t hMax, vMax;           // MCU size in blocks
    int32_t h[3], v[3];           // blocks of each component in one MCU
    int32_t sh[3], sv[3];         // replication of each component
    int32_t mcusX, mcusY;         // MCUs across and down
    int32_t planeSize;            // bytes of each colour plane
  };

  // Status bits of mStatus.
  static constexpr uint32_t kStatusDHT = 0x01;
  static constexpr uint32_t kStatusDQT = 0x02;
  static constexpr uint32_t kStatusJFIF = 0x04;
  static constexpr uint32_t kStatusCOM = 0x08;
  static constexpr uint32_t kStatusSOS = 0x10;

  // Header analysis (JpegDecoder.cpp).
  int32_t SearchMarker();
  uint32_t AnalysisMarker();
  void AnalysisSOF();
  void AnalysisDQT(int32_t length);
  void AnalysisScan();
  void AnalysisAPP0();
  void AnalysisCOM();
  void AnalysisJFIF();
  void AnalysisJFXX();
  void FreeRgb();
  void AllocTable(int32_t** table, int32_t count, int32_t fill, const char* message);
  // Every array the decoder allocates comes from here (null on failure).
  void* AllocateBytes(std::size_t bytes);
  void SetLastError(const char* message);
  void SetLastErrorNotSupported(int32_t marker);

  // Huffman tables (JpegHuffman.cpp).
  void AnalysisDHT(int32_t length);

  // Entropy decoding (JpegEntropy.cpp).
  int32_t Decode1HuffmanCode(int32_t tableClass, int32_t component);
  void DecodeHuffman(int32_t component);
  int32_t ReceiveDcDifference(int32_t size);

  // Dequantisation and inverse DCT (JpegIdct.cpp).
  void Dequantize(int32_t component);
  void InverseDCT();

  // Decode pass and colour conversion (JpegDecodePass.cpp).
  void CheckFrame() const;
  void ComputeGeometry();
  void CheckDataCoversPicture() const;
  void AllocatePlanes();
  void Decode();
  int32_t RunDecodePass(bool reference);
  // The fast form of Decode (JpegDecodeFast.cpp).
  void DecodeFast();
  static int32_t SearchMarkerFrom(void* decoder, jpegfast::StreamState* state);
  void DecodeMCU();
  void ConvertMCU(int32_t column, int32_t row);
  static uint8_t ClampToByte(double x);
  void FreeUnits();

  uint8_t* mRgbP[3];      // red, green, blue planes
  int32_t* mUnit[3];      // one MCU of samples per component (Y, Cb, Cr)
  int32_t mDcPred[3];     // DC predictor per component
  int32_t mBlock[64];     // coefficients, natural order
  int32_t mPixel[64];     // samples after the inverse DCT, row-major
  uint32_t mStatus;       // kStatus* bits met by header analysis
  int32_t mWidth;         // X of the frame header
  int32_t mHeight;        // Y of the frame header or of a DNL segment
  int32_t mNumComponents; // Nf
  int32_t mPrecision;     // P
  char* mComment;         // last comment, NUL-terminated; null if none
  int32_t mApp0Kind;      // 0 none, 1 JFIF, 2 JFXX
  uint8_t mJfifMajor, mJfifMinor;
  int32_t mUnits;
  int32_t mXDensity, mYDensity;
  int32_t mXThumbnail, mYThumbnail;
  int32_t mJfxxCode;
  uint8_t mScanCount;     // Ns
  uint8_t mSs, mSe, mAh, mAl;
  FrameComponent mComp[3];
  ScanComponent mScanComp[3];
  HuffmanTable mHuff[2][4];  // [class: 0 DC, 1 AC][table id]
  int32_t mQuant[4][64];     // natural order
  double mCos[8][8];         // [frequency][position]
  int32_t mState;            // 0 seeking SOI, 1 inside an image
  JpegStream* mStream;       // owned
  int8_t mHMax, mVMax;       // largest sampling factors of the frame
  int32_t mRestartInterval;  // MCUs per restart interval, 0 = none

  PassGeometry mGeometry;
  const char* mLastError;
  char mLastErrorText[40];   // room for a formatted ENotSupported message
  // Test seam: the allocation with this number (counting from 0) fails;
  // -1 lets every allocation through.
  int32_t mFailAllocation;
  int32_t mAllocations;
  int32_t mFastThreads = 0;
  int32_t mFastSimdLevel = 3;
};
