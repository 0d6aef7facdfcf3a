// The fast form of the decode pass: the same checks, geometry, allocations,
// scan rules and segments between scans as the reference form, with the
// scans decoded and the picture transformed by jpeg/fast, whose planes,
// errors and final reader position are those of the reference stages, bit
// for bit.
#include <cstdint>
#include <optional>

#include "JpegArithmetic.h"
#include "JpegDecoder.h"
#include "JpegTables.h"
#include "ScanDecoder.h"
#include "StoreOutput.h"

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

template <class Table>
jpegfast::HuffmanTableView View(const Table& table) {
  return {table.count, table.sizeT, table.codeT, table.valueT};
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

// The frame as the transforms see it (quant: each component's table).
void JpegDecoder::FillOutputSetup(jpegfast::OutputSetup& out, const int32_t* const quant[3]) {
  const PassGeometry& g = mGeometry;
  out.numComponents = mNumComponents;
  out.hMax = g.hMax;
  out.vMax = g.vMax;
  for (int32_t c = 0; c < mNumComponents; ++c) {
    out.h[c] = g.h[c];
    out.v[c] = g.v[c];
    out.sh[c] = g.sh[c];
    out.sv[c] = g.sv[c];
    out.quant[c] = quant[c];
  }
  out.mcusX = g.mcusX;
  out.mcusY = g.mcusY;
  out.width = mWidth;
  out.levelShift = jpegmath::LevelShift(mPrecision);
  out.cosine = mCos;
  out.invSqrt2 = kInvSqrt2;
  for (int32_t c = 0; c < 3; ++c) {
    out.planes[c] = mRgbP[c];
    out.units[c] = mUnit[c];
  }
  out.threads = mFastThreads;
  out.simd = static_cast<jpegfast::SimdLevel>(mFastSimdLevel < 0 ? 0 : mFastSimdLevel > 3 ? 3 : mFastSimdLevel);
}

// Runs a scan decoder of jpeg/fast from the decoder's reader and hands the
// position back to it, also after a failure.
template <class Run>
void JpegDecoder::RunFastScan(jpegfast::ScanStream& reader, Run&& run) {
  reader.stream = ToFast(*mStream);
  reader.searchMarker = &JpegDecoder::SearchMarkerFrom;
  reader.context = this;
  try {
    run();
  } catch (...) {
    if (reader.streamFromReader) FromFast(*mStream, reader.stream);
    throw;
  }
  FromFast(*mStream, reader.stream);
}

void JpegDecoder::DecodeFast() {
  AllocatePlanes();
  if (MultiScan()) {
    DecodeScansFast();
    return;
  }
  AllocateUnits();
  jpegfast::BaselineScanSetup setup;
  const int32_t* quant[3] = {};
  for (int32_t c = 0; c < mNumComponents; ++c) {
    quant[c] = mQuant[mComp[c].tq];
    setup.dc[c] = View(mHuff[0][mScanComp[c].td]);
    setup.ac[c] = View(mHuff[1][mScanComp[c].ta]);
  }
  FillOutputSetup(setup.output, quant);
  setup.restartInterval = mRestartInterval;
  RunFastScan(setup.reader, [&] { jpegfast::DecodeBaselineScan(setup); });
}

// The scans as the reference decodes them, then the store into the planes.
// The picture's final scan (the marker after its data is the EOI, or there
// is none) is decoded while a second thread transforms the MCU rows it has
// finished: nothing that follows can change them. (Should another scan come
// all the same, which only damaged data can do, that thread is stopped
// before it starts, and the store is transformed once the scans are done.)
void JpegDecoder::DecodeScansFast() {
  jpegfast::OutputSetup output;
  const int32_t* quant[3] = {mComponentQuant[0], mComponentQuant[1], mComponentQuant[2]};
  FillOutputSetup(output, quant);
  std::optional<jpegfast::StoreOutput> transform;
  transform.emplace(output, mPlane);
  bool early = false;
  for (;;) {
    const uint8_t* next = MarkerAfterScanData();
    if (!early && (next == nullptr || next[1] == 0xD9)) early = transform->Start();
    DecodeScanFast(early ? &*transform : nullptr);
    if (!NextScan()) break;
    if (early) {
      transform.emplace(output, mPlane);
      early = false;
    }
    BeginScan();
  }
  // The MCU buffers come after the scans, as in the reference form (only
  // the MCU-by-MCU transform uses them, never the second thread).
  AllocateUnits();
  for (int32_t c = 0; c < 3; ++c) output.units[c] = mUnit[c];
  transform->Finish();
}

void JpegDecoder::DecodeScanFast(jpegfast::StoreOutput* output) {
  jpegfast::StoredScanSetup setup;
  setup.layout = mScan;
  setup.output = output;
  for (int32_t i = 0; i < mScan.count; ++i) {
    setup.dc[i] = View(mHuff[0][mScanComp[i].td]);
    setup.ac[i] = View(mHuff[1][mScanComp[i].ta]);
  }
  RunFastScan(setup.reader, [&] { jpegfast::DecodeStoredScan(setup); });
}
