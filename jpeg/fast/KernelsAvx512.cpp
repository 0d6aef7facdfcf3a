// Kernels with AVX-512F: eight doubles a register, the whole block in one
// pass. This file alone is compiled for AVX-512F; it runs only where the CPU
// reports it.
#include <immintrin.h>

#include "Kernels.h"

namespace {

struct Ops {
    using Vec = __m512d;
    static constexpr int kLanes = 8;
    static constexpr int kRowsPerPass = 8;
    static Vec Zero() { return _mm512_setzero_pd(); }
    static Vec Set1(double x) { return _mm512_set1_pd(x); }
    static Vec Load(const double* p) { return _mm512_load_pd(p); }
    static Vec LoadInt(const int32_t* p) { return _mm512_cvtepi32_pd(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p))); }
    static Vec LoadIntPairs(const int32_t* p)
    {
        const __m256d four = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
        return _mm512_permutexvar_pd(_mm512_set_epi64(3, 3, 2, 2, 1, 1, 0, 0), _mm512_zextpd256_pd512(four));
    }
    static Vec Add(Vec a, Vec b) { return _mm512_add_pd(a, b); }
    static Vec Sub(Vec a, Vec b) { return _mm512_sub_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm512_mul_pd(a, b); }
    static Vec Max(Vec a, Vec b) { return _mm512_max_pd(a, b); }
    static Vec Min(Vec a, Vec b) { return _mm512_min_pd(a, b); }
    static void StoreSamples(Vec sum, double shift, int32_t* out)
    {
        Vec x = _mm512_add_pd(_mm512_mul_pd(sum, _mm512_set1_pd(0.25)), _mm512_set1_pd(shift));
        x = _mm512_min_pd(_mm512_max_pd(x, _mm512_set1_pd(-2147483648.0)), _mm512_set1_pd(2147483647.0));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_cvttpd_epi32(x));
    }
    static void StoreSums(Vec sum, double* out) { _mm512_storeu_pd(out, sum); }
    static void StoreBytes8(const Vec* v, uint8_t* out)
    {
        // Values are already within 0..255: narrowing keeps them.
        const __m512i wide = _mm512_castsi256_si512(_mm512_cvttpd_epi32(v[0]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm512_cvtepi32_epi8(wide));
    }
};

}  // namespace

#include "KernelTemplates.inl"

namespace jpegfast {

KernelSet Avx512Kernels()
{
    return MakeKernelSet<Ops>(SimdLevel::kAvx512);
}

}  // namespace jpegfast
