// Kernels with SSE2: two doubles a register, two block rows a pass.
#include <emmintrin.h>

#include "Kernels.h"

namespace {

struct Ops {
    using Vec = __m128d;
    static constexpr int kLanes = 2;
    static constexpr int kRowsPerPass = 2;
    static Vec Zero() { return _mm_setzero_pd(); }
    static Vec Set1(double x) { return _mm_set1_pd(x); }
    static Vec Load(const double* p) { return _mm_load_pd(p); }
    static Vec LoadInt(const int32_t* p) { return _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))); }
    static Vec LoadIntPairs(const int32_t* p) { return _mm_set1_pd(static_cast<double>(*p)); }
    static Vec Add(Vec a, Vec b) { return _mm_add_pd(a, b); }
    static Vec Sub(Vec a, Vec b) { return _mm_sub_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm_mul_pd(a, b); }
    static Vec Max(Vec a, Vec b) { return _mm_max_pd(a, b); }
    static Vec Min(Vec a, Vec b) { return _mm_min_pd(a, b); }
    static void StoreSamples(Vec sum, double shift, int32_t* out)
    {
        Vec x = _mm_add_pd(_mm_mul_pd(sum, _mm_set1_pd(0.25)), _mm_set1_pd(shift));
        x = _mm_min_pd(_mm_max_pd(x, _mm_set1_pd(-2147483648.0)), _mm_set1_pd(2147483647.0));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_cvttpd_epi32(x));
    }
    static void StoreSums(Vec sum, double* out) { _mm_storeu_pd(out, sum); }
    static void StoreBytes8(const Vec* v, uint8_t* out)
    {
        const __m128i ab = _mm_unpacklo_epi64(_mm_cvttpd_epi32(v[0]), _mm_cvttpd_epi32(v[1]));
        const __m128i cd = _mm_unpacklo_epi64(_mm_cvttpd_epi32(v[2]), _mm_cvttpd_epi32(v[3]));
        const __m128i words = _mm_packs_epi32(ab, cd);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
    }
};

}  // namespace

#include "KernelTemplates.inl"

namespace jpegfast {

KernelSet Sse2Kernels()
{
    return MakeKernelSet<Ops>(SimdLevel::kSse2);
}

}  // namespace jpegfast
