// JpegDecoder: MIRAVEL's own JPEG decoder. Plain C++17.
//
// Scope. Decodes DCT-based, Huffman-coded JPEG with 8-bit samples, held whole
// in memory (ITU-T T.81 Annexes F and G):
//  - baseline sequential (SOF0) and extended sequential (SOF1, with up to
//    four DC and four AC tables) frames, in one scan or in several scans
//    that carry any subset of the components each, every component in
//    exactly one scan, in any order;
//  - progressive frames (SOF2): DC first and refinement scans, interleaved
//    or not; AC first scans with end-of-band runs; AC refinement scans with
//    correction bits; spectral selection and successive approximation in
//    any order the progression rules allow (G.1.1.1);
//  - one component (greyscale) or three (Y, Cb, Cr, converted to RGB), any
//    sampling factors from 1 to 15; a subsampled chroma component is
//    upsampled by replication (4:4:4, 4:2:2, 4:2:0, 4:4:0, 4:1:1 ...), never
//    interpolated; a scan of one component walks that component's own
//    blocks (A.2.2), a scan of several walks whole MCUs (A.2.3);
//  - restart intervals in every kind of scan (DRI, RST0 to RST7 between
//    intervals), a DNL segment after the first scan when the frame header's
//    height is 0 (B.2.5), tables redefined between scans;
//  - JFIF and JFXX APP0 segments (fields read), comments (kept), other
//    application segments (skipped).
// Refused, with a message that names the reason: arithmetic coding (SOF9 to
// SOF15, DAC), lossless and hierarchical processes, extended sequential and
// progressive frames with samples other than 8-bit, component counts other
// than 1 and 3, and scans that break the rules of their kind.
//
// A picture in one scan is decoded MCU by MCU straight into the colour
// planes. A picture in several scans is gathered in a store of every
// block's coefficients, 16 bits each, which each scan adds to; once the
// scans are done it goes through the same dequantisation, inverse DCT,
// replication and colour conversion. A file that ends after whole scans,
// before its EOI, shows what those scans give; one that ends inside a scan
// fails.
//
// Arithmetic is double precision with truncation toward zero; the inverse
// DCT is the direct double sum of T.81 A.3.3 (JpegArithmetic.h has what both
// forms share). The stages stay separate member functions: they are the
// reference form (DecodeImageReference), and the fast form that DecodeImage
// runs (jpeg/fast) matches them sample for sample and error for error.
//
// Use: construct; AnalysisHeader(bytes, length); DecodeImage(); GetImage().
// The caller keeps the bytes alive until DecodeImage has returned. Results:
// 0 success; AnalysisHeader -1 out of memory, -2 bad, truncated or
// unsupported data; DecodeImage -1 out of memory or data ended too soon, -2
// bad or unsupported data. LastErrorMessage says which step failed.
//
// Memory. When DecodeImage returns, the decoder holds its colour planes (on
// success) and small tables, nothing else: the coefficient store and every
// working buffer are gone. Sound limits beyond the frame header's own: a
// picture whose remaining bytes cannot hold its blocks (at least two bits
// each in one scan, one bit each over several) is refused before anything is
// allocated; a plane size beyond 32 bits, or a store beyond the address
// space, fails as out of memory; arithmetic that hostile tables push past 32
// bits wraps (integers) or saturates (the inverse DCT), never undefined.
#pragma once

#include <cstddef>
#include <cstdint>

#include "JpegScanLayout.h"
#include "JpegStream.h"

namespace jpegfast {
struct StreamState;
struct OutputSetup;
struct ScanStream;
class StoreOutput;
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
  // Decodes the picture into the three colour planes. 0, -1, -2. Runs the
  // fast form of the decode pass (jpeg/fast): lookup-table Huffman
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
  void AnalysisSOF(int32_t marker);
  void AnalysisDQT(int32_t length);
  void AnalysisScan();
  void AnalysisAPP0();
  void AnalysisCOM();
  void AnalysisJFIF();
  void AnalysisJFXX();
  void FreeRgb();
  void AllocTable(int32_t** table, int32_t count, int32_t fill, const char* message);
  // Every array the decoder allocates comes from here (null on failure);
  // the zeroed ones are released with std::free.
  void* AllocateBytes(std::size_t bytes);
  void* AllocateZeroedBytes(std::size_t bytes);
  void SetLastError(const char* message);
  void SetLastErrorNotSupported(const ENotSupported& e);

  // Huffman tables (JpegHuffman.cpp).
  void AnalysisDHT(int32_t length);

  // Entropy decoding (JpegEntropy.cpp).
  int32_t Decode1HuffmanCode(int32_t tableClass, int32_t component);
  void DecodeHuffman(int32_t component);
  int32_t ReceiveDcDifference(int32_t size);

  // A block of a progressive scan of the kind mScan says
  // (JpegProgressive.cpp), read bit by bit through ReferenceBits.
  struct ReferenceBits;
  void DecodeProgressiveBlock(int32_t component, int16_t* block);

  // Dequantisation and inverse DCT (JpegIdct.cpp).
  void Dequantize(int32_t component);
  void DequantizeWith(const int32_t* table);
  void InverseDCT();

  // Decode pass and colour conversion (JpegDecodePass.cpp).
  void CheckFrame() const;
  void ComputeGeometry();
  void CheckDataCoversPicture() const;
  void AllocatePlanes();
  void Decode();
  int32_t RunDecodePass(bool reference);
  void DecodeMCU();
  void TransformStoredMCU(int32_t column, int32_t row);
  void TransformBlock(int32_t component, int32_t by, int32_t bx, const int32_t* quant);
  void TransformStore();
  void AllocateUnits();
  void ConvertMCU(int32_t column, int32_t row);
  static uint8_t ClampToByte(double x);
  void FreeUnits();
  // The fast form of the pass (JpegDecodeFast.cpp).
  void DecodeFast();
  void DecodeScansFast();
  void DecodeScanFast(jpegfast::StoreOutput* output);
  void FillOutputSetup(jpegfast::OutputSetup& out, const int32_t* const quant[3]);
  template <class Run>
  void RunFastScan(jpegfast::ScanStream& reader, Run&& run);
  static int32_t SearchMarkerFrom(void* decoder, jpegfast::StreamState* state);

  // Pictures coded as several scans (JpegScans.cpp).
  bool MultiScan() const;
  void ResolveHeightFromDnl();
  const uint8_t* MarkerAfterScanData() const;
  void ComponentBlocks(int32_t c, int32_t* across, int32_t* down) const;
  void StartScans();
  void BeginScan();
  void CheckScansCoverPicture() const;
  void AllocateCoefficients();
  void FreeCoefficients();
  void DecodeScansReference();
  void DecodeScanReference();
  void DecodeSequentialBlock(int32_t component, int16_t* block);
  bool NextScan();

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
  int32_t mFrameMarker;      // 0xC0, 0xC1 or 0xC2 of the frame header; 0 before one

  PassGeometry mGeometry;

  // Pictures coded as several scans: the store (owned during a pass only),
  // each frame component's part of it, the scan being decoded, and what the
  // scans so far have coded.
  int16_t* mCoefficients;
  jpegscan::CoefficientPlane mPlane[3];
  jpegscan::ScanLayout mScan;
  // Per frame component and zig-zag position k: the Al of the last scan
  // that coded the coefficient, -1 before any (T.81 G.1.1.1).
  int8_t mCoded[3][64];
  // Each component's quantisation table as it stood at its first scan.
  int32_t mComponentQuant[3][64];
  bool mQuantTaken[3];
  int32_t mEobRun;           // blocks left of an end-of-band run (G.1.2.2)

  const char* mLastError;
  char mLastErrorText[96];   // room for a formatted ENotSupported message
  // Test seam: the allocation with this number (counting from 0) fails;
  // -1 lets every allocation through.
  int32_t mFailAllocation;
  int32_t mAllocations;
  int32_t mFastThreads = 0;
  int32_t mFastSimdLevel = 3;
};
