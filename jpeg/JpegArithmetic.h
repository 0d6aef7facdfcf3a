// The arithmetic that both forms of the decoder share, written once: the
// sample values of the reference form and of the fast form come from these
// functions (or, in the vector kernels, from the same constants in the same
// order of operations). All of it is exact: integers wrap as 32-bit two's
// complement, doubles convert by truncation toward zero.
//
// The functions are static: every file gets its own copy, compiled with its
// own options. The vector kernels are compiled for instruction sets that not
// every CPU has, and a shared inline copy from one of them could otherwise
// be the one the linker keeps for every caller.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jpegmath {

// T.81 EXTEND (Figure F.12) on an s-bit value, 1 <= s <= 31, as 32-bit two's
// complement: a value whose bit s-1 is 0 becomes v + 1 - 2^s. A negated
// marker code from the bit reader goes through the same rule.
static inline int32_t Extend(int32_t value, int32_t size) {
  const uint32_t bits = static_cast<uint32_t>(value);
  if (((bits >> (size - 1)) & 1u) != 0) return value;
  return static_cast<int32_t>(bits + 1u - (1u << size));
}

// 32-bit two's-complement sum: hostile data can push a predictor anywhere.
static inline int32_t WrappingAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Dequantisation: coefficient times table entry, 32-bit two's complement.
static inline int32_t WrappingMultiply(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// a << shift for 0 <= shift <= 31, as 32-bit two's complement (the point
// transform of successive approximation, T.81 G.1.2.1).
static inline int32_t WrappingShiftLeft(int32_t a, int32_t shift) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) << shift);
}

// A coefficient as the coefficient store of multi-scan pictures keeps it:
// 16 bits, two's complement. Every coefficient of 8-bit data fits (at most
// 11 bits and a sign); what hostile data pushes beyond wraps.
static inline int16_t StoreCoefficient(int32_t value) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu));
}

// Double to 32-bit integer, truncating toward zero; values outside the
// 32-bit range (only hostile tables produce them) saturate instead of being
// undefined.
static inline int32_t TruncateSaturated(double x) {
  if (x >= 2147483647.0) return INT32_MAX;
  if (x <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(x);
}

// The level shift of the inverse DCT (T.81 A.3.1): 128 for 8-bit samples,
// 2048 for any other precision.
static inline double LevelShift(int32_t precision) { return precision == 8 ? 128.0 : 2048.0; }

// 0 below 0.0, 255 above 255.0, otherwise truncated toward zero.
static inline uint8_t ClampToByte(double x) {
  if (x < 0.0) return 0;
  if (x > 255.0) return 255;
  return static_cast<uint8_t>(x);
}

// The same for an integer sample: ClampToByte(double(y)).
static inline uint8_t ClampSampleToByte(int32_t y) {
  return y < 0 ? 0 : (y > 255 ? 255 : static_cast<uint8_t>(y));
}

// Colour conversion from Y, Cb, Cr to red, green and blue:
//   red   = clamp((Cr - 128) * 1.402 + Y)
//   green = clamp(Y - (Cb - 128) * 0.3441 - (Cr - 128) * 0.7139)
//   blue  = clamp((Cb - 128) * 1.7718 + Y)
// in double precision, operations in this order. The vector kernels use the
// same constants in the same order.
constexpr double kChromaOffset = 128.0;
constexpr double kRedFromCr = 1.402;
constexpr double kGreenFromCb = 0.3441;
constexpr double kGreenFromCr = 0.7139;
constexpr double kBlueFromCb = 1.7718;

static inline void ConvertPixel(double y, double cb, double cr, uint8_t* red, uint8_t* green,
                         uint8_t* blue) {
  const double u = cb - kChromaOffset;
  const double v = cr - kChromaOffset;
  *red = ClampToByte(v * kRedFromCr + y);
  *green = ClampToByte(y - u * kGreenFromCb - v * kGreenFromCr);
  *blue = ClampToByte(u * kBlueFromCb + y);
}

// Upsampling by replication: the 8 x 8 samples of a block spread over
// (8 sh) x (8 sv) samples at out, rows rowLength apart; sample (k, r) of the
// result is pixels[8 * (r / sv) + k / sh].
static inline void ReplicateBlock(const int32_t* pixels, int32_t sh, int32_t sv, int32_t* out,
                           std::ptrdiff_t rowLength) {
  for (int32_t r = 0; r < sv * 8; ++r) {
    const int32_t* source = pixels + 8 * (r / sv);
    int32_t* row = out + r * rowLength;
    if (sh == 1) {
      for (int32_t k = 0; k < 8; ++k) row[k] = source[k];
    } else if (sh == 2) {
      for (int32_t k = 0; k < 8; ++k) row[2 * k] = row[2 * k + 1] = source[k];
    } else {
      for (int32_t k = 0; k < sh * 8; ++k) row[k] = source[k / sh];
    }
  }
}

}  // namespace jpegmath
