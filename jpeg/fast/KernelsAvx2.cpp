// Kernels with AVX2: four doubles a register, four block rows a pass. This
// file alone is compiled for AVX2; it runs only where the CPU reports it.
#include <immintrin.h>

#include "Kernels.h"

namespace {

struct Ops {
    using Vec = __m256d;
    static constexpr int kLanes = 4;
    static constexpr int kRowsPerPass = 4;
    static Vec Zero() { return _mm256_setzero_pd(); }
    static Vec Set1(double x) { return _mm256_set1_pd(x); }
    static Vec Load(const double* p) { return _mm256_load_pd(p); }
    static Vec LoadInt(const int32_t* p) { return _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))); }
    static Vec LoadIntPairs(const int32_t* p)
    {
        const __m128d two = _mm_cvtepi32_pd(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
        return _mm256_permute4x64_pd(_mm256_castpd128_pd256(two), 0x50);  // 0, 0, 1, 1
    }
    static Vec Add(Vec a, Vec b) { return _mm256_add_pd(a, b); }
    static Vec Sub(Vec a, Vec b) { return _mm256_sub_pd(a, b); }
    static Vec Mul(Vec a, Vec b) { return _mm256_mul_pd(a, b); }
    static Vec Max(Vec a, Vec b) { return _mm256_max_pd(a, b); }
    static Vec Min(Vec a, Vec b) { return _mm256_min_pd(a, b); }
    static void StoreSamples(Vec sum, double shift, int32_t* out)
    {
        Vec x = _mm256_add_pd(_mm256_mul_pd(sum, _mm256_set1_pd(0.25)), _mm256_set1_pd(shift));
        x = _mm256_min_pd(_mm256_max_pd(x, _mm256_set1_pd(-2147483648.0)), _mm256_set1_pd(2147483647.0));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_cvttpd_epi32(x));
    }
    static void StoreSums(Vec sum, double* out) { _mm256_storeu_pd(out, sum); }
    static void StoreBytes8(const Vec* v, uint8_t* out)
    {
        const __m128i words = _mm_packs_epi32(_mm256_cvttpd_epi32(v[0]), _mm256_cvttpd_epi32(v[1]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(words, words));
    }
};

}  // namespace

#include "KernelTemplates.inl"

namespace jpegfast {

KernelSet Avx2Kernels()
{
    return MakeKernelSet<Ops>(SimdLevel::kAvx2);
}

}  // namespace jpegfast
