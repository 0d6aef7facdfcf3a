// The fast form of the decode pass: the same checks, geometry and
// allocations as the reference form (Decode), then the scan decoded by
// jpeg/fast, whose planes, errors and final reader position are those of the
// reference stages, bit for bit.
#include <cstdint>

#include "JpegDecoder.h"
#include "JpegTables.h"
#include "ScanDecoder.h"

namespace {

jpegfast::StreamState ToFast(const JpegStream& stream) {
  const JpegStream::Position p = stream.SavePosition();
  jpegfast::StreamState state;
  state.cur = p.cur;
  state.end = stream.End();
  state.bitPos = p.bitPos;
  state.stuffPending = p.stuffPending;
  state.hasData = p.hasData;
  return state;
}

void FromFast(JpegStream& stream, const jpegfast::StreamState& state) {
  stream.RestorePosition({state.cur, state.bitPos, state.stuffPending, state.hasData});
}

}  // namespace

// The restart marker search between intervals, with the reference's own
// byte-level search on the reference's reader.
int32_t JpegDecoder::SearchMarkerFrom(void* decoder, jpegfast::StreamState* state) {
  JpegDecoder& self = *static_cast<JpegDecoder*>(decoder);
  FromFast(*self.mStream, *state);
  const int32_t marker = self.SearchMarker();
  *state = ToFast(*self.mStream);
  return marker;
}

void JpegDecoder::DecodeFast() {
  AllocatePlanes();
  const PassGeometry& g = mGeometry;

  jpegfast::ScanSetup setup;
  try {
    const int32_t unitSize = g.hMax * g.vMax * 64;
    AllocTable(&mUnit[0], unitSize, 0, "Disconvert unit1");
    AllocTable(&mUnit[1], unitSize, 128, "Disconvert unit2");
    AllocTable(&mUnit[2], unitSize, 128, "Disconvert unit3");

    setup.numComponents = mNumComponents;
    setup.hMax = g.hMax;
    setup.vMax = g.vMax;
    for (int32_t c = 0; c < mNumComponents; ++c) {
      setup.h[c] = g.h[c];
      setup.v[c] = g.v[c];
      setup.sh[c] = g.sh[c];
      setup.sv[c] = g.sv[c];
      setup.quant[c] = mQuant[mComp[c].tq];
      const HuffmanTable& dc = mHuff[0][mScanComp[c].td];
      const HuffmanTable& ac = mHuff[1][mScanComp[c].ta];
      setup.dc[c] = {dc.count, dc.sizeT, dc.codeT, dc.valueT};
      setup.ac[c] = {ac.count, ac.sizeT, ac.codeT, ac.valueT};
    }
    setup.mcusX = g.mcusX;
    setup.mcusY = g.mcusY;
    setup.width = mWidth;
    setup.restartInterval = mRestartInterval;
    setup.levelShift = mPrecision == 8 ? 128.0 : 2048.0;
    setup.cosine = mCos;
    setup.invSqrt2 = kInvSqrt2;
    for (int32_t c = 0; c < 3; ++c) {
      setup.planes[c] = mRgbP[c];
      setup.units[c] = mUnit[c];
    }
    setup.stream = ToFast(*mStream);
    setup.searchMarker = &JpegDecoder::SearchMarkerFrom;
    setup.context = this;
    setup.threads = mFastThreads;
    setup.simd = static_cast<jpegfast::SimdLevel>(mFastSimdLevel < 0 ? 0 : mFastSimdLevel > 3 ? 3 : mFastSimdLevel);

    jpegfast::DecodeScan(setup);
    FromFast(*mStream, setup.stream);
  } catch (...) {
    if (setup.streamFromReader) FromFast(*mStream, setup.stream);
    FreeUnits();
    throw;
  }
  FreeUnits();
}
