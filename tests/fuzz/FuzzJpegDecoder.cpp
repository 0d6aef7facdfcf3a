// The JPEG decoder end to end over arbitrary bytes: AnalysisHeader, then
// the decode pass when the header was accepted, then the display bitmap of
// the decoded picture, as the picture loader uses them. Each input is
// decoded with the reference form (DecodeImageReference) and with the fast
// form (DecodeImage) twice: as the program runs it, and with two threads and
// a lower instruction set chosen by the input's length, so that every
// kernel and the two-thread pipeline meet hostile data.
//
// Properties: every result is 0, -1 or -2, with an empty message on success
// and a message on failure; the forms agree on the results, the messages,
// the size and every sample; nothing is read outside the input (it lies in
// a heap block of exactly its size) or outside the colour planes (every
// sample of the picture is read back); a decoded picture becomes a display
// bitmap that holds exactly its samples. Time and memory are bounded by the
// limits run-fuzz.sh passes to libFuzzer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "DisplayBitmap.h"
#include "FuzzCheck.h"
#include "JpegDecoder.h"

namespace {

// Pictures up to this many pixels are also turned into a display bitmap.
constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 22;

struct Outcome {
  int32_t analysis = 0;
  int32_t decode = 0;  // not run (0) unless analysis succeeded
  std::string analysisMessage;
  std::string decodeMessage;
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> planes[3];  // the picture's width x height samples
};

void RequireResult(int32_t result, const char* message) {
  FUZZ_REQUIRE(result == 0 || result == -1 || result == -2);
  FUZZ_REQUIRE(message != nullptr);
  if (result == 0) {
    FUZZ_REQUIRE(message[0] == '\0');
  } else {
    FUZZ_REQUIRE(message[0] != '\0');
  }
}

// How the decode pass runs: the reference form, or the fast form with the
// given threads (0: its own choice) and highest instruction set (0 plain to
// 3 AVX-512, capped at what the CPU has).
struct Form {
  bool reference;
  int32_t threads;
  int32_t simdLevel;
};

Outcome DecodeOnce(const uint8_t* bytes, int32_t length, const Form& form) {
  Outcome out;
  JpegDecoder decoder;
  out.analysis = decoder.AnalysisHeader(bytes, length);
  out.analysisMessage = decoder.LastErrorMessage();
  RequireResult(out.analysis, decoder.LastErrorMessage());
  if (out.analysis != 0) return out;

  if (form.reference) {
    out.decode = decoder.DecodeImageReference();
  } else {
    decoder.SetFastPassOptions(form.threads, form.simdLevel);
    out.decode = decoder.DecodeImage();
  }
  out.decodeMessage = decoder.LastErrorMessage();
  RequireResult(out.decode, decoder.LastErrorMessage());
  if (out.decode != 0) return out;

  uint8_t* planes[3] = {nullptr, nullptr, nullptr};
  decoder.GetImage(&planes[0], &planes[1], &planes[2], &out.width, &out.height);
  FUZZ_REQUIRE(out.width >= 0 && out.width <= 65535);
  FUZZ_REQUIRE(out.height >= 0 && out.height <= 65535);
  const std::size_t samples = static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height);
  for (int c = 0; c < 3; ++c) {
    if (samples != 0) FUZZ_REQUIRE(planes[c] != nullptr);
    // Copying reads every sample: a plane shorter than the picture is caught.
    out.planes[c].assign(planes[c], planes[c] + samples);
  }
  // The forms' samples are compared; the bitmap is built from the reference's.
  if (form.reference && samples != 0 && samples <= kMaxBitmapPixels) {
    std::vector<uint8_t> bitmap =
        miravel::BuildDisplayBitmapImage(planes[0], planes[1], planes[2], out.width, out.height);
    fuzz::RequireDisplayBitmap(bitmap, planes[0], planes[1], planes[2], out.width, out.height);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size > static_cast<std::size_t>(INT32_MAX)) return 0;
  auto bytes = fuzz::ExactCopy(data, size);
  const int32_t length = static_cast<int32_t>(size);

  const Outcome reference = DecodeOnce(bytes.get(), length, Form{true, 0, 0});
  const Form fastForms[2] = {Form{false, 0, 3},
                             Form{false, 2, static_cast<int32_t>(size % 3)}};
  for (const Form& form : fastForms) {
    const Outcome fast = DecodeOnce(bytes.get(), length, form);
    FUZZ_REQUIRE(fast.analysis == reference.analysis);
    FUZZ_REQUIRE(fast.analysisMessage == reference.analysisMessage);
    FUZZ_REQUIRE(fast.decode == reference.decode);
    FUZZ_REQUIRE(fast.decodeMessage == reference.decodeMessage);
    FUZZ_REQUIRE(fast.width == reference.width && fast.height == reference.height);
    for (int c = 0; c < 3; ++c) FUZZ_REQUIRE(fast.planes[c] == reference.planes[c]);
  }
  // The decoder never writes into the caller's bytes.
  FUZZ_REQUIRE(size == 0 || std::memcmp(bytes.get(), data, size) == 0);
  return 0;
}
