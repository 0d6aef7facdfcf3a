// Choosing the kernels: the best instruction set that both this build and the
// CPU it runs on support.
#include "Kernels.h"

namespace jpegfast {

const char* SimdLevelName(SimdLevel level)
{
    switch (level) {
    case SimdLevel::kPlain: return "plain";
    case SimdLevel::kSse2: return "SSE2";
    case SimdLevel::kAvx2: return "AVX2";
    case SimdLevel::kAvx512: return "AVX-512";
    }
    return "?";
}

SimdLevel DetectSimdLevel()
{
#if defined(JPEGFAST_HAVE_AVX512)
    if (__builtin_cpu_supports("avx512f")) return SimdLevel::kAvx512;
#endif
#if defined(JPEGFAST_HAVE_AVX2)
    if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
#endif
#if defined(JPEGFAST_HAVE_SSE2)
    if (__builtin_cpu_supports("sse2")) return SimdLevel::kSse2;
#endif
    return SimdLevel::kPlain;
}

IdctTables MakeIdctTables(const double cosine[8][8], double invSqrt2)
{
    IdctTables tables;
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 8; ++x) tables.cosine[u][x] = cosine[u][x];
    tables.invSqrt2 = invSqrt2;
    return tables;
}

KernelSet SelectKernels(SimdLevel level)
{
    const SimdLevel best = DetectSimdLevel();
    if (level > best) level = best;
    switch (level) {
#if defined(JPEGFAST_HAVE_AVX512)
    case SimdLevel::kAvx512: return Avx512Kernels();
#endif
#if defined(JPEGFAST_HAVE_AVX2)
    case SimdLevel::kAvx2: return Avx2Kernels();
#endif
#if defined(JPEGFAST_HAVE_SSE2)
    case SimdLevel::kSse2: return Sse2Kernels();
#endif
    default: break;
    }
    // A level not built here falls back to the next one below it.
    if (level == SimdLevel::kAvx512) return SelectKernels(SimdLevel::kAvx2);
    if (level == SimdLevel::kAvx2) return SelectKernels(SimdLevel::kSse2);
    return PlainKernels();
}

}  // namespace jpegfast
