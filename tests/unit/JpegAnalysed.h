// A decoder that has analysed one byte image, held in a buffer of exactly its
// size; optionally with its n-th allocation made to fail.
#pragma once

#include <string>

#include "JpegBuilder.h"
#include "JpegTestAccess.h"

namespace jpegtest {

struct Analysed {
  explicit Analysed(const Bytes& bytes, int32_t failAllocation = -1) : buffer(bytes) {
    if (failAllocation >= 0) JpegDecoderTestAccess::FailAllocation(decoder, failAllocation);
    result = decoder.AnalysisHeader(buffer.data(), buffer.size());
  }
  std::string message() const { return decoder.LastErrorMessage(); }
  ExactBuffer buffer;
  JpegDecoder decoder;
  int32_t result;
};

}  // namespace jpegtest
