// Kernels in plain C++, for CPUs without the vector instruction sets.
#include "Kernels.h"

namespace {

struct Ops {
    using Vec = double;
    static constexpr int kLanes = 1;
    static constexpr int kRowsPerPass = 1;
    static Vec Zero() { return 0.0; }
    static Vec Set1(double x) { return x; }
    static Vec Load(const double* p) { return *p; }
    static Vec LoadInt(const int32_t* p) { return static_cast<double>(*p); }
    static Vec LoadIntPairs(const int32_t* p) { return static_cast<double>(*p); }
    static Vec Add(Vec a, Vec b) { return a + b; }
    static Vec Sub(Vec a, Vec b) { return a - b; }
    static Vec Mul(Vec a, Vec b) { return a * b; }
    static Vec Max(Vec a, Vec b) { return a > b ? a : b; }
    static Vec Min(Vec a, Vec b) { return a < b ? a : b; }
    static void StoreSamples(Vec sum, double shift, int32_t* out) { *out = jpegmath::TruncateSaturated(sum * 0.25 + shift); }
    static void StoreSums(Vec sum, double* out) { *out = sum; }
    static void StoreBytes8(const Vec* v, uint8_t* out)
    {
        for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(v[i]);
    }
};

}  // namespace

#include "KernelTemplates.inl"

namespace jpegfast {

KernelSet PlainKernels()
{
    return MakeKernelSet<Ops>(SimdLevel::kPlain);
}

}  // namespace jpegfast
