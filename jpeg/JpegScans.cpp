// Pictures coded as several scans, the part both forms share: which pictures
// they are, the coefficient store, the rules every scan must keep (T.81
// B.2.3, G.1.1.1), the segments between scans, and the scan loop. The
// reference form's scan decoding is here too; its progressive block decoders
// are in JpegProgressive.cpp, the fast form's scan decoders in jpeg/fast.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "JpegArithmetic.h"
#include "JpegDecoder.h"
#include "JpegTables.h"

// A progressive frame, or a sequential one whose first scan does not carry
// every component. (A sequential frame whose first scan does is decoded in
// one pass straight into the planes, and anything after that scan is not
// read.)
bool JpegDecoder::MultiScan() const {
  return mFrameMarker == 0xC2 || mScanCount != mNumComponents;
}

// A frame header whose number of lines is 0 leaves it to the DNL segment
// that ends the first scan (T.81 B.2.5). That segment is looked for ahead,
// past the entropy-coded data and its restart markers, before anything is
// sized; without one the height stays 0 and the picture is empty.
void JpegDecoder::ResolveHeightFromDnl() {
  if (mHeight != 0) return;
  const uint8_t* const marker = MarkerAfterScanData();
  if (marker != nullptr && marker[1] == 0xDC && mStream->End() - marker >= 6) {
    mHeight = marker[4] << 8 | marker[5];
  }
}

// The first marker from the reader's position on that is neither a stuffed
// byte nor a restart marker: the one that ends the entropy-coded data of
// the scan there. Null if the data ends first.
const uint8_t* JpegDecoder::MarkerAfterScanData() const {
  const uint8_t* p = mStream->GetPos();
  const uint8_t* const end = mStream->End();
  if (p == nullptr) return nullptr;
  while (end - p >= 2) {
    const void* found = std::memchr(p, 0xFF, static_cast<std::size_t>(end - p - 1));
    if (found == nullptr) return nullptr;
    p = static_cast<const uint8_t*>(found);
    const uint8_t code = p[1];
    if (code != 0x00 && (code < 0xD0 || code > 0xD7)) return p;
    p += 2;
  }
  return nullptr;
}

// A component's own blocks, ceil(Xi / 8) by ceil(Yi / 8) with
// Xi = ceil(X * Hi / Hmax) and Yi = ceil(Y * Vi / Vmax) (T.81 A.1.1): what a
// scan of the component alone walks. In a one-component frame they are the
// frame's blocks. Never more than its blocks of whole MCUs in the store.
void JpegDecoder::ComponentBlocks(int32_t c, int32_t* across, int32_t* down) const {
  const FrameComponent& comp = mComp[c];
  const int64_t hMax = mNumComponents == 1 ? comp.h : mHMax;
  const int64_t vMax = mNumComponents == 1 ? comp.v : mVMax;
  const int64_t width = (int64_t{mWidth} * comp.h + hMax - 1) / hMax;
  const int64_t height = (int64_t{mHeight} * comp.v + vMax - 1) / vMax;
  *across = static_cast<int32_t>((width + 7) / 8);
  *down = static_cast<int32_t>((height + 7) / 8);
}

// The progression starts afresh with every pass.
void JpegDecoder::StartScans() {
  std::memset(mCoded, -1, sizeof mCoded);
  for (bool& taken : mQuantTaken) taken = false;
}

// The scan header just read (mScanCount, mScanComp, mSs to mAl) checked
// against the frame and the scans before it, and laid out over the store.
// Its components are matched by their identifiers; each may come once in a
// scan. A sequential frame codes each component in one scan (its Ss, Se,
// Ah and Al are not used, as in a one-scan picture). A progressive scan
// codes the DC coefficients of its components (Ss = Se = 0) or a band of
// one component's AC coefficients (1 <= Ss <= Se <= 63), first at the point
// transform Al (Ah = 0), or one bit further (Al = Ah - 1) where the scans
// before it have coded exactly to Ah; a component's AC coefficients come
// after its DC coefficients.
void JpegDecoder::BeginScan() {
  jpegscan::ScanLayout& scan = mScan;
  scan = jpegscan::ScanLayout{};
  if (mScanCount == 0) throw EDataFormatError{nullptr, "AnalysisScan:no components"};
  scan.count = mScanCount;
  for (int32_t i = 0; i < mScanCount; ++i) {
    int32_t frame = -1;
    for (int32_t c = 0; c < mNumComponents; ++c) {
      if (mComp[c].id == mScanComp[i].cs) frame = c;
    }
    if (frame < 0) throw EDataFormatError{nullptr, "AnalysisScan:no such component"};
    for (int32_t j = 0; j < i; ++j) {
      if (scan.frameComponent[j] == frame) {
        throw EDataFormatError{nullptr, "AnalysisScan:component twice"};
      }
    }
    scan.frameComponent[i] = frame;
  }

  if (mFrameMarker != 0xC2) {
    scan.kind = jpegscan::ScanKind::kSequential;
    for (int32_t i = 0; i < scan.count; ++i) {
      if (mCoded[scan.frameComponent[i]][0] >= 0) {
        throw EDataFormatError{nullptr, "AnalysisScan:component twice"};
      }
    }
  } else {
    scan.ss = mSs;
    scan.se = mSe;
    scan.ah = mAh;
    scan.al = mAl;
    const bool dc = scan.ss == 0;
    if (dc ? scan.se != 0 : scan.se < scan.ss || scan.se > 63) {
      throw EDataFormatError{nullptr, "AnalysisScan:Ss Se out of range"};
    }
    if (!dc && scan.count != 1) {
      throw EDataFormatError{nullptr, "AnalysisScan:AC scan of several components"};
    }
    if (scan.ah > 13 || scan.al > 13 || (scan.ah != 0 && scan.al != scan.ah - 1)) {
      throw EDataFormatError{nullptr, "AnalysisScan:Ah Al out of range"};
    }
    for (int32_t i = 0; i < scan.count; ++i) {
      const int8_t* coded = mCoded[scan.frameComponent[i]];
      if (!dc && coded[0] < 0) throw EDataFormatError{nullptr, "AnalysisScan:AC before DC"};
      for (int32_t k = scan.ss; k <= scan.se; ++k) {
        if (scan.ah == 0 && coded[k] >= 0) {
          throw EDataFormatError{nullptr, "AnalysisScan:coefficients coded twice"};
        }
        if (scan.ah != 0 && coded[k] < 0) {
          throw EDataFormatError{nullptr, "AnalysisScan:refinement without first scan"};
        }
        if (scan.ah != 0 && coded[k] != scan.ah) {
          throw EDataFormatError{nullptr, "AnalysisScan:Ah not the last Al"};
        }
      }
    }
    scan.kind = dc ? (scan.ah == 0 ? jpegscan::ScanKind::kDcFirst : jpegscan::ScanKind::kDcRefine)
                   : (scan.ah == 0 ? jpegscan::ScanKind::kAcFirst : jpegscan::ScanKind::kAcRefine);
  }

  // MCUs: a scan of one component walks the component's own blocks (T.81
  // A.2.2), a scan of several the frame's MCUs (A.2.3).
  const PassGeometry& g = mGeometry;
  if (scan.count == 1) {
    ComponentBlocks(scan.frameComponent[0], &scan.mcusX, &scan.mcusY);
    scan.h[0] = scan.v[0] = 1;
  } else {
    scan.mcusX = g.mcusX;
    scan.mcusY = g.mcusY;
    for (int32_t i = 0; i < scan.count; ++i) {
      scan.h[i] = g.h[scan.frameComponent[i]];
      scan.v[i] = g.v[scan.frameComponent[i]];
    }
  }
  scan.restartInterval = mRestartInterval;
  for (int32_t i = 0; i < scan.count; ++i) scan.plane[i] = mPlane[scan.frameComponent[i]];

  // What the scan codes, and the tables its components keep.
  for (int32_t i = 0; i < scan.count; ++i) {
    const int32_t c = scan.frameComponent[i];
    const bool sequential = scan.kind == jpegscan::ScanKind::kSequential;
    for (int32_t k = sequential ? 0 : scan.ss; k <= (sequential ? 63 : scan.se); ++k) {
      mCoded[c][k] = static_cast<int8_t>(scan.al);
    }
    if (!mQuantTaken[c]) {
      std::memcpy(mComponentQuant[c], mQuant[mComp[c].tq], sizeof mComponentQuant[c]);
      mQuantTaken[c] = true;
    }
  }
  mDcPred[0] = mDcPred[1] = mDcPred[2] = 0;
  mEobRun = 0;
}

// The bound of CheckDataCoversPicture for a picture in several scans, before
// the store and the planes are allocated: every block of every component is
// coded by some scan with at least one bit (a DC code of a progressive DC
// scan; a sequential scan takes two), so the data holds at least one bit for
// each of the components' own blocks. A whole file always meets it.
void JpegDecoder::CheckScansCoverPicture() const {
  int64_t blocks = 0;
  for (int32_t c = 0; c < mNumComponents; ++c) {
    int32_t across, down;
    ComponentBlocks(c, &across, &down);
    blocks += int64_t{across} * down;
  }
  if (blocks > 8 * mStream->RemainingBytes()) throw EBufferError{"Decode:data too short"};
}

// Every block of every whole MCU of each component, zeros to begin with,
// 128 bytes a block. A size beyond what the address space can hold (the
// 32-bit build has 2 GB) fails as out of memory without being tried.
void JpegDecoder::AllocateCoefficients() {
  FreeCoefficients();
  const PassGeometry& g = mGeometry;
  uint64_t blocks = 0;
  for (int32_t c = 0; c < mNumComponents; ++c) {
    blocks += uint64_t{static_cast<uint32_t>(g.mcusX)} * static_cast<uint32_t>(g.h[c]) *
              static_cast<uint32_t>(g.mcusY) * static_cast<uint32_t>(g.v[c]);
  }
  const uint64_t bytes = blocks * 64 * sizeof(int16_t);
  const int32_t count = bytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
  if (bytes > static_cast<uint64_t>(PTRDIFF_MAX)) throw EMemoryError{count, "Decode:coefficients"};
  void* memory = AllocateZeroedBytes(static_cast<std::size_t>(bytes));
  if (memory == nullptr) throw EMemoryError{count, "Decode:coefficients"};
  mCoefficients = static_cast<int16_t*>(memory);
  int16_t* next = mCoefficients;
  for (int32_t c = 0; c < mNumComponents; ++c) {
    mPlane[c].blocks = next;
    mPlane[c].blocksX = g.mcusX * g.h[c];
    mPlane[c].blocksY = g.mcusY * g.v[c];
    next += static_cast<std::size_t>(mPlane[c].blocksX) * static_cast<std::size_t>(mPlane[c].blocksY) * 64;
  }
  for (int32_t i = 0; i < mScan.count; ++i) mScan.plane[i] = mPlane[mScan.frameComponent[i]];
}

void JpegDecoder::FreeCoefficients() {
  std::free(mCoefficients);
  mCoefficients = nullptr;
  for (jpegscan::CoefficientPlane& plane : mPlane) plane = jpegscan::CoefficientPlane{};
  for (jpegscan::CoefficientPlane& plane : mScan.plane) plane = jpegscan::CoefficientPlane{};
}

// The scans from the first (begun by AllocatePlanes) to the end of the
// image, in the reference form (the fast form's loop is DecodeScansFast).
void JpegDecoder::DecodeScansReference() {
  for (;;) {
    DecodeScanReference();
    if (!NextScan()) return;
    BeginScan();
  }
}

// The segments after a scan, up to the next scan header (true) or the end of
// the image (false): an EOI, or the end of the data anywhere in them, for a
// file cut short after whole scans shows what those scans give. Tables and
// the restart interval may change between scans; a DNL segment (its height
// was taken before sizing) and restart markers left over are passed over;
// any other marker is an error.
bool JpegDecoder::NextScan() {
  try {
    for (;;) {
      const int32_t code = SearchMarker();
      switch (code) {
        case 0xC4:
          AnalysisDHT(mStream->GetWord() - 2);
          break;
        case 0xDB:
          AnalysisDQT(mStream->GetWord() - 2);
          break;
        case 0xDD:
          mStream->GetWord();
          mRestartInterval = mStream->GetWord();
          break;
        case 0xDC:
          mStream->GetWord();
          mStream->GetWord();
          break;
        case 0xE0:
          AnalysisAPP0();
          break;
        case 0xFE:
          AnalysisCOM();
          break;
        case 0xDA:
          mStream->GetWord();
          AnalysisScan();
          return true;
        case 0xD9:
          return false;
        default:
          if (code >= 0xE1 && code <= 0xEF) {
            mStream->SkipByte(mStream->GetWord() - 2);
            break;
          }
          if (code == 0x01 || (code >= 0xD0 && code <= 0xD7)) break;
          throw EDataFormatError{mStream->GetPos() - 1, "Marker error"};
      }
    }
  } catch (const EBufferError&) {
    return false;
  }
}

// --- The reference form of a scan ------------------------------------------

void JpegDecoder::DecodeScanReference() {
  jpegscan::WalkScan(
      mScan,
      [this](int32_t i, int16_t* block) {
        if (mScan.kind == jpegscan::ScanKind::kSequential) {
          DecodeSequentialBlock(i, block);
        } else {
          DecodeProgressiveBlock(i, block);
        }
      },
      [this] {
        // As in a one-scan picture: any marker ends the interval, an RST
        // marker starts the predictions afresh (and ends an end-of-band run).
        const int32_t marker = SearchMarker();
        if (marker >= 0xD0 && marker <= 0xD7) {
          mDcPred[0] = mDcPred[1] = mDcPred[2] = 0;
          mEobRun = 0;
        }
      },
      [](int32_t) {});
}

// A block of a sequential scan, decoded as in a one-scan picture (scan
// entry i selects the tables and the predictor) and kept in the store.
void JpegDecoder::DecodeSequentialBlock(int32_t component, int16_t* block) {
  DecodeHuffman(component);
  for (int32_t k = 0; k < 64; ++k) block[k] = jpegmath::StoreCoefficient(mBlock[kZigzag[k]]);
}
