// Dequantisation and the inverse DCT of one block (T.81 A.3.3, F.2.1.5).
#include <cstdint>

#include "JpegArithmetic.h"
#include "JpegDecoder.h"
#include "JpegTables.h"

// mBlock[i] *= mQuant[tq][i], as 32-bit two's-complement integers. The frame
// check of the decode pass has made sure that tq is 0 to 3.
void JpegDecoder::Dequantize(int32_t component) { DequantizeWith(mQuant[mComp[component].tq]); }

// The same with a given table, natural order (a multi-scan picture keeps
// each component's table as it stood at the component's first scan).
void JpegDecoder::DequantizeWith(const int32_t* table) {
  for (int32_t i = 0; i < 64; ++i) {
    mBlock[i] = jpegmath::WrappingMultiply(mBlock[i], table[i]);
  }
}

// The direct double sum of T.81 A.3.3: for every sample, all 64 products
// block * cos(u, x) * cos(v, y) * Cu * Cv, multiplied in this order and added
// in this order (v outer, u inner), then * 0.25 plus the level shift,
// truncated toward zero. Not clamped. The exact sample values depend on this
// form; a faster transform must add the same products in the same order.
void JpegDecoder::InverseDCT() {
  const double levelShift = jpegmath::LevelShift(mPrecision);
  for (int32_t y = 0; y < 8; ++y) {
    for (int32_t x = 0; x < 8; ++x) {
      double sum = 0.0;
      for (int32_t v = 0; v < 8; ++v) {
        const double cv = v == 0 ? kInvSqrt2 : 1.0;
        for (int32_t u = 0; u < 8; ++u) {
          const double cu = u == 0 ? kInvSqrt2 : 1.0;
          sum += mBlock[8 * v + u] * mCos[u][x] * mCos[v][y] * cu * cv;
        }
      }
      mPixel[8 * y + x] = jpegmath::TruncateSaturated(sum * 0.25 + levelShift);
    }
  }
}
