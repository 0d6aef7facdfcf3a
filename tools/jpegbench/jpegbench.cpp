// jpegbench: decodes the same JPEG bytes (sequential, multi-scan or
// progressive; the sampling column says which), in one process, with our
// fast decoder (JpegDecoder::DecodeImage), our reference form
// (JpegDecoder::DecodeImageReference) and libjpeg-turbo (float IDCT and its
// default integer IDCT, no fancy upsampling, RGB out), and prints megapixels
// per second for each, the median of several runs, and the ratios; and the
// processor time of one decode (all threads) of ours and of libjpeg-turbo's
// float form, which other work on a shared machine disturbs less.
//
//   jpegbench [--runs N] [--reference-runs N] [--threads N] [--simd LEVEL]
//             [--cold] [--check] [--fast-only|--float-only] FILE...
//
// Memory: by default the C library keeps freed memory for the next decode
// (warm), so the figures are the decoders' own work. With --cold every large
// block comes fresh from the system, as in a process that decodes one photo:
// each decode then also pays for the system handing over its pages, which on
// some virtual machines costs more than the decoding. Both sides are measured
// the same way in either mode. (Left to itself, glibc switches between the
// two from one run to the next, depending on the sizes it has seen freed.)
//
// --fast-only and --float-only time the fast decoder or libjpeg-turbo's
// float form alone (for profiling).
// --reference-runs 0 skips the reference form (it is slow: seconds for a
// large photo). --threads 1 forces the single-threaded fast pass; --simd
// plain|sse2|avx2|avx512 caps its instruction set. --check compares the fast
// planes with the reference planes.
#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "JpegDecoder.h"
#include "Kernels.h"

namespace {

struct Options {
    int runs = 5;
    int referenceRuns = 1;
    int threads = 0;
    int simd = 3;
    bool check = false;
    bool cold = false;
    bool fastOnly = false;
    bool floatOnly = false;
    std::vector<std::string> files;
};

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Planes {
    std::vector<uint8_t> red, green, blue;
    int32_t width = 0, height = 0;
};

// One decode with our decoder, from the bytes to the planes. Returns the
// result code; fills planes if asked.
int32_t DecodeOurs(const std::vector<uint8_t>& bytes, bool reference, const Options& options, Planes* planes)
{
    JpegDecoder decoder;
    decoder.SetFastPassOptions(options.threads, options.simd);
    int32_t result = decoder.AnalysisHeader(bytes.data(), static_cast<int32_t>(bytes.size()));
    if (result == 0) result = reference ? decoder.DecodeImageReference() : decoder.DecodeImage();
    if (result != 0) {
        std::fprintf(stderr, "jpegbench: our decoder failed: %d %s\n", result, decoder.LastErrorMessage());
        return result;
    }
    if (planes) {
        uint8_t *r, *g, *b;
        decoder.GetImage(&r, &g, &b, &planes->width, &planes->height);
        const size_t n = static_cast<size_t>(planes->width) * planes->height;
        planes->red.assign(r, r + n);
        planes->green.assign(g, g + n);
        planes->blue.assign(b, b + n);
    }
    return 0;
}

struct LibjpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void LibjpegErrorExit(j_common_ptr info)
{
    LibjpegError* error = reinterpret_cast<LibjpegError*>(info->err);
    (*info->err->output_message)(info);
    std::longjmp(error->jump, 1);
}

// One decode with libjpeg-turbo into a newly allocated RGB buffer, as our
// decoder allocates its planes for every picture. False on failure.
bool DecodeLibjpeg(const std::vector<uint8_t>& bytes, J_DCT_METHOD method, std::string* sampling)
{
    jpeg_decompress_struct info;
    LibjpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = LibjpegErrorExit;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.dct_method = method;
    info.do_fancy_upsampling = FALSE;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (sampling) {
        const int h = info.comp_info[0].h_samp_factor, v = info.comp_info[0].v_samp_factor;
        if (info.num_components == 1) *sampling = "grey";
        else if (h == 1 && v == 1) *sampling = "4:4:4";
        else if (h == 2 && v == 1) *sampling = "4:2:2";
        else if (h == 2 && v == 2) *sampling = "4:2:0";
        else *sampling = std::to_string(h) + "x" + std::to_string(v);
        if (info.progressive_mode) *sampling += " prog";
        else if (jpeg_has_multiple_scans(&info)) *sampling += " scans";
    }
    const size_t stride = static_cast<size_t>(info.output_width) * info.output_components;
    std::unique_ptr<uint8_t[]> rgb(new uint8_t[stride * info.output_height]);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = rgb.get() + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// Processor time of the process (all its threads), in seconds.
double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

template <class F>
double MedianSeconds(int runs, F decode)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        if (!decode()) return -1.0;
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return Median(times);
}

bool ParseArguments(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--runs" || arg == "--reference-runs" || arg == "--threads" || arg == "--simd") {
            const char* v = value();
            if (v == nullptr) return false;
            if (arg == "--runs") options.runs = std::max(1, std::atoi(v));
            else if (arg == "--reference-runs") options.referenceRuns = std::max(0, std::atoi(v));
            else if (arg == "--threads") options.threads = std::atoi(v);
            else {
                const std::string level = v;
                options.simd = level == "plain" ? 0 : level == "sse2" ? 1 : level == "avx2" ? 2 : 3;
            }
        } else if (arg == "--cold") {
            options.cold = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--fast-only") {
            options.fastOnly = true;
        } else if (arg == "--float-only") {
            options.floatOnly = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return false;
        } else {
            options.files.push_back(arg);
        }
    }
    return !options.files.empty();
}

}  // namespace

// The machine's load, printed with the figures: other work on the cores
// changes them.
static std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return in ? one + " " + five + " " + fifteen : "unknown";
}

int main(int argc, char** argv)
{
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: jpegbench [--runs N] [--reference-runs N] [--threads N] "
                     "[--simd plain|sse2|avx2|avx512] [--cold] [--check] [--fast-only|--float-only] FILE...\n");
        return 2;
    }
#if defined(__GLIBC__)
    // Fixed thresholds: glibc stops adapting them to what it sees freed.
    if (options.cold) {
        mallopt(M_MMAP_THRESHOLD, 1 << 20);  // every large block mapped afresh, returned when freed
    } else {
        mallopt(M_MMAP_THRESHOLD, 1 << 30);  // large blocks from the heap...
        mallopt(M_TRIM_THRESHOLD, 1 << 30);  // ...which keeps what is freed
    }
#endif
    const jpegfast::SimdLevel level = jpegfast::SelectKernels(static_cast<jpegfast::SimdLevel>(options.simd)).level;
    std::printf("load average %s, %u cores\n", LoadAverage().c_str(), std::thread::hardware_concurrency());
    std::printf("fast decoder: %s kernels, %s; median of %d runs (reference: %d); memory %s\n",
                jpegfast::SimdLevelName(level),
                options.threads == 1 ? "one thread" : "two threads when the picture is large", options.runs,
                options.referenceRuns, options.cold ? "fresh for every decode (--cold)" : "reused (warm)");
    std::printf("%-36s %11s %-11s %9s %9s %9s %9s %10s %10s %9s %9s %9s\n", "photo", "size", "sampling", "fast",
                "turbo-flt", "turbo-int", "reference", "fast/flt", "fast/int", "fast/ref", "fast", "turbo-flt");
    std::printf("%-36s %11s %-11s %9s %9s %9s %9s %10s %10s %9s %9s %9s\n", "", "", "", "MP/s", "MP/s", "MP/s", "MP/s",
                "", "", "", "cpu ms", "cpu ms");
    int status = 0;
    for (const std::string& file : options.files) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "jpegbench: cannot read %s\n", file.c_str());
            status = 1;
            continue;
        }
        std::string sampling;
        if (!DecodeLibjpeg(bytes, JDCT_FLOAT, &sampling)) {
            std::fprintf(stderr, "jpegbench: libjpeg-turbo cannot decode %s\n", file.c_str());
            status = 1;
            continue;
        }
        Planes fastPlanes;
        if (DecodeOurs(bytes, false, options, &fastPlanes) != 0) {
            status = 1;
            continue;
        }
        const double megapixels = static_cast<double>(fastPlanes.width) * fastPlanes.height / 1e6;

        // Interleaved, so neither side profits from a warm cache alone.
        std::vector<double> fast, turboFloat, turboInt, fastCpu, floatCpu;
        for (int i = 0; i < options.runs; ++i) {
            double cpu = CpuSeconds();
            if (!options.floatOnly)
                fast.push_back(MedianSeconds(1, [&] { return DecodeOurs(bytes, false, options, nullptr) == 0; }));
            fastCpu.push_back(CpuSeconds() - cpu);
            if (options.fastOnly) continue;
            cpu = CpuSeconds();
            turboFloat.push_back(MedianSeconds(1, [&] { return DecodeLibjpeg(bytes, JDCT_FLOAT, nullptr); }));
            floatCpu.push_back(CpuSeconds() - cpu);
            if (options.floatOnly) continue;
            turboInt.push_back(MedianSeconds(1, [&] { return DecodeLibjpeg(bytes, JDCT_ISLOW, nullptr); }));
        }
        if (options.floatOnly) {
            std::printf("%-36s %11s %-11s %9s %9.1f\n", file.substr(file.find_last_of('/') + 1).c_str(),
                        (std::to_string(fastPlanes.width) + "x" + std::to_string(fastPlanes.height)).c_str(),
                        sampling.c_str(), "-", megapixels / Median(turboFloat));
            continue;
        }
        if (options.fastOnly) {
            std::printf("%-36s %11s %-11s %9.1f\n", file.substr(file.find_last_of('/') + 1).c_str(),
                        (std::to_string(fastPlanes.width) + "x" + std::to_string(fastPlanes.height)).c_str(),
                        sampling.c_str(), megapixels / Median(fast));
            continue;
        }
        const double fastS = Median(fast), floatS = Median(turboFloat), intS = Median(turboInt);
        double referenceS = -1.0;
        if (options.referenceRuns > 0) {
            referenceS = MedianSeconds(options.referenceRuns,
                                       [&] { return DecodeOurs(bytes, true, options, nullptr) == 0; });
        }
        if (options.check) {
            Planes referencePlanes;
            DecodeOurs(bytes, true, options, &referencePlanes);
            const bool same = referencePlanes.red == fastPlanes.red && referencePlanes.green == fastPlanes.green &&
                              referencePlanes.blue == fastPlanes.blue;
            std::printf("  check %s: fast and reference planes %s\n", file.c_str(), same ? "identical" : "DIFFER");
            if (!same) status = 1;
        }
        std::string name = file.substr(file.find_last_of('/') + 1);
        const std::string size = std::to_string(fastPlanes.width) + "x" + std::to_string(fastPlanes.height);
        char reference[32] = "-", referenceRatio[32] = "-";
        if (referenceS > 0) {
            std::snprintf(reference, sizeof reference, "%.2f", megapixels / referenceS);
            std::snprintf(referenceRatio, sizeof referenceRatio, "%.1f", referenceS / fastS);
        }
        std::printf("%-36s %11s %-11s %9.1f %9.1f %9.1f %9s %10.2f %10.2f %9s %9.0f %9.0f\n", name.c_str(),
                    size.c_str(), sampling.c_str(), megapixels / fastS, megapixels / floatS, megapixels / intS,
                    reference, floatS / fastS, intS / fastS, referenceRatio, 1000 * Median(fastCpu),
                    1000 * Median(floatCpu));
        std::fflush(stdout);
    }
    std::printf("load average %s\n", LoadAverage().c_str());
    return status;
}
