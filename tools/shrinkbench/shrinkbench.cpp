// shrinkbench: the time from a JPEG file's bytes to the display bitmap, in
// one process, three ways, runs interleaved: decode alone; decode and the
// full-size bitmap (BuildDisplayBitmapImage, what the loader makes for a
// photo that fits); decode, EXIF orientation, fit to a work area and the
// area-average shrink (BuildShownBitmap). Then the shrink alone from planes
// already decoded: two threads, one thread, and turned (orientation 6, the
// small result copied in tiles). Medians in milliseconds, and the ratios
// that matter: shrink against decode alone, and decode and shrink against
// decode and full-size bitmap. Also the processor time (all threads) of the
// decode and of the shrink, and their ratio, which other work on a shared
// machine disturbs less than the elapsed times.
//
//   shrinkbench [--runs N] [--work-area WxH] [--extra E] [--cold] FILE...
//
// The work area defaults to 1920 x 1080 and the frame's extra size to 25
// pixels each way. Memory is reused between runs (warm) unless --cold, as in
// jpegbench.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "DisplayBitmap.h"
#include "ExifOrientation.h"
#include "FitSize.h"
#include "JpegDecoder.h"
#include "PictureTurn.h"
#include "ShownBitmap.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int runs = 7;
  miravel::PictureSize workArea{1920, 1080};
  int extra = 25;
  bool cold = false;
  std::vector<std::string> files;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Elapsed milliseconds of work(); its processor milliseconds to *cpu.
template <class F>
double Milliseconds(F work, std::vector<double>* cpu = nullptr) {
  const std::clock_t cpuStart = std::clock();
  const Clock::time_point start = Clock::now();
  work();
  const double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (cpu) cpu->push_back(1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
  return elapsed;
}

// What the loader does with a JPEG file's bytes, up to the display bitmap.
// shrink false: full size, as today; true: fitted to the work area.
std::size_t FileToBitmap(const std::vector<uint8_t>& bytes, const Options& options, bool shrink,
                         bool buildBitmap = true) {
  JpegDecoder decoder;
  if (decoder.AnalysisHeader(bytes.data(), static_cast<int32_t>(bytes.size())) != 0 || decoder.DecodeImage() != 0) {
    std::fprintf(stderr, "shrinkbench: decoder failed: %s\n", decoder.LastErrorMessage());
    std::exit(1);
  }
  if (!buildBitmap) return 1;
  uint8_t *red, *green, *blue;
  int32_t width, height;
  decoder.GetImage(&red, &green, &blue, &width, &height);
  if (!shrink) return miravel::BuildDisplayBitmapImage(red, green, blue, width, height).size();
  const int orientation = miravel::ReadExifOrientation(bytes.data(), bytes.size());
  const miravel::PictureSize shown = miravel::FitToWorkArea(
      miravel::ShownSize(orientation, {width, height}), {options.extra, options.extra}, options.workArea);
  return miravel::BuildShownBitmap(miravel::PlanesView(red, green, blue, width, height), orientation, shown).size();
}

bool ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--runs" && value) {
      options.runs = std::max(1, std::atoi(value));
      ++i;
    } else if (arg == "--work-area" && value) {
      if (std::sscanf(value, "%dx%d", &options.workArea.width, &options.workArea.height) != 2) return false;
      ++i;
    } else if (arg == "--extra" && value) {
      options.extra = std::atoi(value);
      ++i;
    } else if (arg == "--cold") {
      options.cold = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return false;
    } else {
      options.files.push_back(arg);
    }
  }
  return !options.files.empty();
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one, five, fifteen;
  in >> one >> five >> fifteen;
  return in ? one + " " + five + " " + fifteen : "unknown";
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseArguments(argc, argv, options)) {
    std::fprintf(stderr, "usage: shrinkbench [--runs N] [--work-area WxH] [--extra E] [--cold] FILE...\n");
    return 2;
  }
#if defined(__GLIBC__)
  if (options.cold) {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
  } else {
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  }
#endif
  std::printf("load average %s, %u cores; work area %dx%d, frame extra %d; median of %d runs; memory %s\n",
              LoadAverage().c_str(), std::thread::hardware_concurrency(), options.workArea.width,
              options.workArea.height, options.extra, options.runs, options.cold ? "fresh (--cold)" : "reused (warm)");
  std::printf("%-26s %11s %10s | %7s %7s %7s | %7s %8s %7s | %7s %7s | %8s %8s %10s\n", "photo", "size", "shown",
              "decode", "+full", "+shrink", "shrink", "1 thread", "turned", "dec cpu", "shr cpu", "shr/dec",
              "(cpu)", "+shr/+full");
  int status = 0;
  for (const std::string& file : options.files) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    JpegDecoder decoder;
    if (bytes.empty() || decoder.AnalysisHeader(bytes.data(), static_cast<int32_t>(bytes.size())) != 0 ||
        decoder.DecodeImage() != 0) {
      std::fprintf(stderr, "shrinkbench: cannot decode %s\n", file.c_str());
      status = 1;
      continue;
    }
    uint8_t *red, *green, *blue;
    int32_t width, height;
    decoder.GetImage(&red, &green, &blue, &width, &height);
    const miravel::PixelView planes = miravel::PlanesView(red, green, blue, width, height);
    const miravel::PictureSize shown =
        miravel::FitToWorkArea({width, height}, {options.extra, options.extra}, options.workArea);
    const miravel::PictureSize turned =
        miravel::FitToWorkArea({height, width}, {options.extra, options.extra}, options.workArea);

    miravel::ShrinkOptions oneThread;
    oneThread.threads = 1;
    std::vector<double> decode, full, shrunk, shrink, shrinkOne, shrinkTurned, decodeCpu, shrinkCpu;
    std::size_t sink = 0;
    for (int i = 0; i < options.runs; ++i) {
      decode.push_back(Milliseconds([&] { sink += FileToBitmap(bytes, options, false, false); }, &decodeCpu));
      full.push_back(Milliseconds([&] { sink += FileToBitmap(bytes, options, false); }));
      shrunk.push_back(Milliseconds([&] { sink += FileToBitmap(bytes, options, true); }));
      shrink.push_back(Milliseconds([&] { sink += miravel::BuildShownBitmap(planes, 1, shown).size(); }, &shrinkCpu));
      shrinkOne.push_back(Milliseconds([&] { sink += miravel::BuildShownBitmap(planes, 1, shown, oneThread).size(); }));
      shrinkTurned.push_back(Milliseconds([&] { sink += miravel::BuildShownBitmap(planes, 6, turned).size(); }));
    }
    if (sink == 0) status = 1;
    const std::string name = file.substr(file.find_last_of('/') + 1);
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string shownSize = std::to_string(shown.width) + "x" + std::to_string(shown.height);
    std::printf("%-26s %11s %10s | %7.1f %7.1f %7.1f | %7.1f %8.1f %7.1f | %7.1f %7.1f | %8.2f %8.2f %10.2f\n",
                name.c_str(), size.c_str(), shownSize.c_str(), Median(decode), Median(full), Median(shrunk),
                Median(shrink), Median(shrinkOne), Median(shrinkTurned), Median(decodeCpu), Median(shrinkCpu),
                Median(shrink) / Median(decode), Median(shrinkCpu) / Median(decodeCpu), Median(shrunk) / Median(full));
    std::fflush(stdout);
  }
  std::printf("load average %s\n", LoadAverage().c_str());
  return status;
}
