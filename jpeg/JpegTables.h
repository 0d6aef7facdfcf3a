// Constant tables of the JPEG decoder, shared by its stages.
#pragma once

#include <cstdint>

// Natural (row-major) index of the k-th coefficient in zig-zag order,
// T.81 Figure A.6.
inline constexpr int32_t kZigzag[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The other way round: the zig-zag position of each natural index.
struct ZigzagOfNatural {
  int32_t k[64];
  constexpr ZigzagOfNatural() : k{} {
    for (int32_t i = 0; i < 64; ++i) k[kZigzag[i]] = i;
  }
};
inline constexpr ZigzagOfNatural kZigzagOfNatural{};

// pi and its sixteenth as the inverse DCT takes them: pi enters as
// 3.14159265, not the exact value.
inline constexpr double kJpegPi = 3.14159265;
inline constexpr double kCosStep = kJpegPi / 16;

// 1 / sqrt(2) with sqrt(2) entering as 1.41421356: the factor of the zero
// frequency in the inverse DCT (T.81 A.3.3).
inline constexpr double kInvSqrt2 = 1.0 / 1.41421356;

// kCosTable[u][x] = cos(u * (2x + 1) * kCosStep), the product taken in double
// precision and the cosine rounded to the nearest double. Held as exact
// constants so that no platform's cos() can change a sample; a unit test
// checks them against the formula.
inline constexpr double kCosTable[8][8] = {
    {0x1p+0, 0x1p+0, 0x1p+0, 0x1p+0,
     0x1p+0, 0x1p+0, 0x1p+0, 0x1p+0},
    {0x1.f6297cffd60bdp-1, 0x1.a9b66294206b7p-1, 0x1.1c73b3a2e9b0cp-1, 0x1.8f8b83fb87806p-3,
     -0x1.8f8b83828e133p-3, -0x1.1c73b3894609bp-1, -0x1.a9b66282feba2p-1, -0x1.f6297cf9d1feep-1},
    {0x1.d906bcf4a271cp-1, 0x1.87de2a8048711p-2, -0x1.87de2a474e293p-2, -0x1.d906bce8d586dp-1,
     -0x1.d906bd006f5cbp-1, -0x1.87de2ab942b8cp-2, 0x1.87de2a0e53e18p-2, 0x1.d906bcdd089bep-1},
    {0x1.a9b66294206b7p-1, -0x1.8f8b83828e133p-3, -0x1.f6297cf9d1feep-1, -0x1.1c73b3bc8d58p-1,
     0x1.1c73b36fa2624p-1, 0x1.f6297d0bde25ap-1, 0x1.8f8b84ed7a5a4p-3, -0x1.a9b66260bb572p-1},
    {0x1.6a09e66d67383p-1, -0x1.6a09e657994aap-1, -0x1.6a09e6833525dp-1, 0x1.6a09e641cb5d1p-1,
     0x1.6a09e69903136p-1, -0x1.6a09e62bfd6fap-1, -0x1.6a09e6aed100cp-1, 0x1.6a09e6162f81ep-1},
    {0x1.1c73b3a2e9b0cp-1, -0x1.f6297cf9d1feep-1, 0x1.8f8b830994a58p-3, 0x1.a9b662b663cep-1,
     -0x1.a9b66260bb572p-1, -0x1.8f8b856673c86p-3, 0x1.f6297d17e63f7p-1, -0x1.1c73b322b76c8p-1},
    {0x1.87de2a8048711p-2, -0x1.d906bd006f5cbp-1, 0x1.d906bcdd089bep-1, -0x1.87de29d559991p-2,
     -0x1.87de2b2b37498p-2, 0x1.d906bd23d61d4p-1, -0x1.d906bcb9a1db2p-1, 0x1.87de292a6abfep-2},
    {0x1.8f8b83fb87806p-3, -0x1.1c73b3bc8d58p-1, 0x1.a9b662b663cep-1, -0x1.f6297d11e2327p-1,
     0x1.f6297ce7c5d8p-1, -0x1.a9b6623e77f4bp-1, 0x1.1c73b30913c52p-1, -0x1.8f8b80acb5867p-3}};
