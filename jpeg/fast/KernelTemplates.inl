// The block transform and the colour conversion, written once over a small
// set of vector operations. Each instruction-set file defines `Ops` in an
// anonymous namespace and includes this file after it, so every file gets its
// own copies compiled for its own instruction set, and nothing here is shared
// between files (no inline function of one instruction set can be picked by
// the linker for another).
//
// Ops provides:
//   Vec, kLanes (doubles per Vec), kRowsPerPass (rows of the block kept in
//   registers at once; kRowsPerPass * 8 / kLanes accumulators)
//   Zero(), Set1(double), Load(const double*), Add, Sub, Mul
//   StoreSamples(Vec sum, double shift, int32_t* out): sum * 0.25 + shift,
//     truncated toward zero and saturated to 32 bits, kLanes values
//   StoreSums(Vec sum, double* out): kLanes sums as they are
//   LoadInt(const int32_t*): kLanes 32-bit integers as doubles
//   LoadIntPairs(const int32_t*): kLanes / 2 integers (one when kLanes is 1)
//     as doubles, each twice in a row
//   StoreBytes8(const Vec*, uint8_t* out): 8 values (8 / kLanes vectors)
//     already clamped to 0..255, truncated, as bytes
//   Max, Min

namespace {

// What the transform writes: samples (the decoder's output), or the 64 sums
// themselves before scaling, for tests that compare them bit for bit.
template <class Ops>
struct SampleOutput {
    using Type = int32_t;
    static void Store(typename Ops::Vec sum, double shift, int32_t* out) { Ops::StoreSamples(sum, shift, out); }
    static int32_t Scalar(double sum, double shift) { return jpegmath::TruncateSaturated(sum * 0.25 + shift); }
};
template <class Ops>
struct SumOutput {
    using Type = double;
    static void Store(typename Ops::Vec sum, double, double* out) { Ops::StoreSums(sum, out); }
    static double Scalar(double sum, double) { return sum; }
};

template <class Ops, class Output = SampleOutput<Ops>>
void IdctBlockKernel(const jpegfast::IdctTables& tables, const int32_t* coef, uint64_t nonZero,
                     const int32_t* quant, double shift, typename Output::Type* out, ptrdiff_t stride)
{
    using Vec = typename Ops::Vec;
    constexpr int kLanes = Ops::kLanes;
    constexpr int kVecs = 8 / kLanes;
    constexpr int kRows = Ops::kRowsPerPass;
    const double k = tables.invSqrt2;

    // Dequantised values of the coefficients that are present.
    double value[64];
    for (uint64_t bits = nonZero; bits != 0; bits &= bits - 1) {
        const int i = __builtin_ctzll(bits);
        value[i] = static_cast<double>(jpegmath::WrappingMultiply(coef[i], quant[i]));
    }

    if ((nonZero & ~uint64_t{1}) == 0) {
        // Nothing but the DC term (or nothing at all): one value everywhere.
        double sum = 0.0;
        if (nonZero & 1) sum = (value[0] * k) * k;  // (((c * 1.0) * 1.0) * k) * k
        const typename Output::Type sample = Output::Scalar(sum, shift);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) out[y * stride + x] = sample;
        return;
    }

    // Frequencies with v = 0 add the same terms to every row, in the same
    // order: their partial sums are one row of values.
    Vec row0[kVecs];
    {
        const uint64_t bits0 = nonZero & 0xFF;
        const Vec dc = (bits0 & 1) ? Ops::Set1((value[0] * k) * k) : Ops::Zero();
        for (int i = 0; i < kVecs; ++i) row0[i] = dc;
        const Vec kv = Ops::Set1(k);
        for (uint64_t bits = bits0 & ~uint64_t{1}; bits != 0; bits &= bits - 1) {
            const int u = __builtin_ctzll(bits);
            const Vec c = Ops::Set1(value[u]);
            for (int i = 0; i < kVecs; ++i)  // ((c * cos[u][x]) * 1.0) * 1.0 * k
                row0[i] = Ops::Add(row0[i], Ops::Mul(Ops::Mul(c, Ops::Load(&tables.cosine[u][i * kLanes])), kv));
        }
    }

    for (int y0 = 0; y0 < 8; y0 += kRows) {
        Vec acc[kRows][kVecs];
        for (int r = 0; r < kRows; ++r)
            for (int i = 0; i < kVecs; ++i) acc[r][i] = row0[i];

        for (int v = 1; v < 8; ++v) {
            uint64_t bits = (nonZero >> (8 * v)) & 0xFF;
            if (bits == 0) continue;
            const double* cosV = tables.cosine[v];
            if (bits & 1) {
                // u = 0: ((c * 1.0) * cos[v][y]) * k * 1.0, one value per row.
                const double c = value[8 * v];
                for (int r = 0; r < kRows; ++r) {
                    const Vec term = Ops::Set1((c * cosV[y0 + r]) * k);
                    for (int i = 0; i < kVecs; ++i) acc[r][i] = Ops::Add(acc[r][i], term);
                }
                bits &= ~uint64_t{1};
            }
            Vec cosY[kRows];
            for (int r = 0; r < kRows; ++r) cosY[r] = Ops::Set1(cosV[y0 + r]);
            for (; bits != 0; bits &= bits - 1) {
                // u, v > 0: (c * cos[u][x]) * cos[v][y], both factors C are 1.0.
                const int u = __builtin_ctzll(bits);
                const Vec c = Ops::Set1(value[8 * v + u]);
                Vec a[kVecs];
                for (int i = 0; i < kVecs; ++i) a[i] = Ops::Mul(c, Ops::Load(&tables.cosine[u][i * kLanes]));
                for (int r = 0; r < kRows; ++r)
                    for (int i = 0; i < kVecs; ++i) acc[r][i] = Ops::Add(acc[r][i], Ops::Mul(a[i], cosY[r]));
            }
        }

        for (int r = 0; r < kRows; ++r)
            for (int i = 0; i < kVecs; ++i) Output::Store(acc[r][i], shift, out + (y0 + r) * stride + i * kLanes);
    }
}

// The decoder's colour conversion of n pixels (jpegmath::ConvertPixel),
// eight at a time in vector registers with the same constants and the same
// order of operations, the rest one by one. With kHalfChroma, Cb and Cr hold one sample for every two pixels (pixel j
// takes sample j / 2): the same values a replicated row would give.
template <class Ops, bool kHalfChroma>
void ConvertRowKernel(const int32_t* lum, const int32_t* cb, const int32_t* cr, int n, uint8_t* red,
                      uint8_t* green, uint8_t* blue)
{
    using Vec = typename Ops::Vec;
    constexpr int kVecs = 8 / Ops::kLanes;
    const Vec half = Ops::Set1(jpegmath::kChromaOffset);
    const Vec kR = Ops::Set1(jpegmath::kRedFromCr), kGb = Ops::Set1(jpegmath::kGreenFromCb),
              kGr = Ops::Set1(jpegmath::kGreenFromCr), kB = Ops::Set1(jpegmath::kBlueFromCb);
    const Vec lo = Ops::Set1(0.0), hi = Ops::Set1(255.0);
    int j = 0;
    for (; j + 8 <= n; j += 8) {
        Vec r[kVecs], g[kVecs], b[kVecs];
        for (int q = 0; q < kVecs; ++q) {
            const int at = j + q * Ops::kLanes;
            const Vec y = Ops::LoadInt(lum + at);
            const Vec u = Ops::Sub(kHalfChroma ? Ops::LoadIntPairs(cb + at / 2) : Ops::LoadInt(cb + at), half);
            const Vec v = Ops::Sub(kHalfChroma ? Ops::LoadIntPairs(cr + at / 2) : Ops::LoadInt(cr + at), half);
            r[q] = Ops::Min(Ops::Max(Ops::Add(Ops::Mul(v, kR), y), lo), hi);
            g[q] = Ops::Min(Ops::Max(Ops::Sub(Ops::Sub(y, Ops::Mul(u, kGb)), Ops::Mul(v, kGr)), lo), hi);
            b[q] = Ops::Min(Ops::Max(Ops::Add(Ops::Mul(u, kB), y), lo), hi);
        }
        Ops::StoreBytes8(r, red + j);
        Ops::StoreBytes8(g, green + j);
        Ops::StoreBytes8(b, blue + j);
    }
    for (; j < n; ++j) {
        const int c = kHalfChroma ? j / 2 : j;
        jpegmath::ConvertPixel(lum[j], cb[c], cr[c], red + j, green + j, blue + j);
    }
}

// The kernels of one instruction set.
template <class Ops>
jpegfast::KernelSet MakeKernelSet(jpegfast::SimdLevel level)
{
    return {level, &IdctBlockKernel<Ops>, &IdctBlockKernel<Ops, SumOutput<Ops>>, &ConvertRowKernel<Ops, false>,
            &ConvertRowKernel<Ops, true>};
}

}  // namespace
