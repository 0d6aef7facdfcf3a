// The fast decode pass against the reference form, on whole byte images:
// identical result codes, messages and planes, and the same reader position
// afterwards (a second DecodeImage goes on from there and must agree too).
// Inputs: the decoder's fixtures, crops of real photographs re-encoded with
// libjpeg-turbo in several samplings, pictures with random coefficients and
// unusual layouts, and malformed data (truncations, byte flips, markers
// inside the scan, crafted Huffman tables).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "JpegDecoder.h"
#include "LibjpegHelpers.h"
#include "TestJpegWriter.h"

namespace {

using fasttest::Bytes;

enum class Form { kReference, kFastOneThread, kFastTwoThreads, kFastPlainKernels };

const char* FormName(Form form)
{
    switch (form) {
    case Form::kReference: return "reference";
    case Form::kFastOneThread: return "fast, one thread";
    case Form::kFastTwoThreads: return "fast, two threads";
    case Form::kFastPlainKernels: return "fast, plain kernels";
    }
    return "?";
}

struct Outcome {
    int32_t analysis = 0;
    int32_t decode = 0;
    std::string message;
    int32_t width = 0, height = 0;
    std::vector<uint8_t> planes;  // red, green, blue picture areas in turn
    // A second DecodeImage on the same object starts where the first pass
    // left the reader.
    int32_t decodeAgain = 0;
    std::string messageAgain;
    std::vector<uint8_t> planesAgain;
};

std::vector<uint8_t> CopyPlanes(JpegDecoder& decoder, int32_t* width, int32_t* height)
{
    uint8_t* rgb[3];
    decoder.GetImage(&rgb[0], &rgb[1], &rgb[2], width, height);
    std::vector<uint8_t> planes;
    const size_t n = static_cast<size_t>(*width) * static_cast<size_t>(*height);
    for (uint8_t* plane : rgb) {
        if (plane != nullptr) planes.insert(planes.end(), plane, plane + n);
    }
    return planes;
}

Outcome RunDecoder(const Bytes& jpeg, Form form, bool decodeTwice)
{
    JpegDecoder decoder;
    if (form == Form::kFastOneThread) decoder.SetFastPassOptions(1, 3);
    if (form == Form::kFastTwoThreads) decoder.SetFastPassOptions(2, 3);
    if (form == Form::kFastPlainKernels) decoder.SetFastPassOptions(1, 0);
    auto decode = [&] { return form == Form::kReference ? decoder.DecodeImageReference() : decoder.DecodeImage(); };
    Outcome out;
    out.analysis = decoder.AnalysisHeader(jpeg.data(), static_cast<int32_t>(jpeg.size()));
    out.message = decoder.LastErrorMessage();
    if (out.analysis != 0) return out;
    out.decode = decode();
    out.message = decoder.LastErrorMessage();
    if (out.decode == 0) out.planes = CopyPlanes(decoder, &out.width, &out.height);
    if (decodeTwice) {
        out.decodeAgain = decode();
        out.messageAgain = decoder.LastErrorMessage();
        int32_t w, h;
        if (out.decodeAgain == 0) out.planesAgain = CopyPlanes(decoder, &w, &h);
    }
    return out;
}

// Compares every fast form with the reference; returns the reference's
// outcome. A failure names the input.
Outcome ExpectSameAsReference(const Bytes& jpeg, const std::string& what, bool decodeTwice = true)
{
    const Outcome expected = RunDecoder(jpeg, Form::kReference, decodeTwice);
    for (Form form : {Form::kFastOneThread, Form::kFastTwoThreads, Form::kFastPlainKernels}) {
        const Outcome actual = RunDecoder(jpeg, form, decodeTwice);
        const bool same = actual.analysis == expected.analysis && actual.decode == expected.decode &&
                          actual.message == expected.message && actual.width == expected.width &&
                          actual.height == expected.height && actual.planes == expected.planes &&
                          actual.decodeAgain == expected.decodeAgain && actual.messageAgain == expected.messageAgain &&
                          actual.planesAgain == expected.planesAgain;
        if (!same) {
            size_t firstDifference = 0;
            while (firstDifference < std::min(actual.planes.size(), expected.planes.size()) &&
                   actual.planes[firstDifference] == expected.planes[firstDifference])
                ++firstDifference;
            ADD_FAILURE() << what << ", " << FormName(form) << ": reference " << expected.analysis << "/"
                          << expected.decode << " \"" << expected.message << "\" then " << expected.decodeAgain
                          << " \"" << expected.messageAgain << "\"; fast " << actual.analysis << "/" << actual.decode
                          << " \"" << actual.message << "\" then " << actual.decodeAgain << " \""
                          << actual.messageAgain << "\"; planes " << expected.planes.size() << " vs "
                          << actual.planes.size() << " bytes, first difference at " << firstDifference
                          << (actual.planesAgain == expected.planesAgain ? "" : "; second pass planes differ");
        }
    }
    return expected;
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// --- libjpeg-turbo: real photographs, decoded, cropped and re-encoded -------

using libjpegtest::EncodeSettings;
using libjpegtest::Rgb;

Rgb DecodeWithLibjpeg(const Bytes& bytes)
{
    Rgb rgb;
    if (!libjpegtest::Decode(bytes, &rgb, false)) return Rgb{};
    return rgb;
}

const char* const kPhotoDir = "/usr/share/backgrounds/mate/nature";

TEST(FastDecoderEquivalence, DecoderFixtures)
{
    const std::filesystem::path dir = MIRAVEL_JPEG_TEST_DATA;
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "no fixtures at " << dir;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".jpg") continue;
        ExpectSameAsReference(ReadFile(entry.path().string()), entry.path().filename().string());
        ++files;
    }
    EXPECT_GT(files, 0);
}

TEST(FastDecoderEquivalence, CropsOfRealPhotographs)
{
    struct Case {
        const char* photo;
        int x, y, width, height;
        EncodeSettings settings;
    };
    const Case cases[] = {
        {"LadyBird.jpg", 1100, 600, 240, 160, {99, 1, 1, false, 0, false}},   // 4:4:4, quality 99
        {"LadyBird.jpg", 1000, 500, 256, 192, {90, 2, 2, false, 0, false}},   // 4:2:0
        {"Garden.jpg", 700, 400, 256, 160, {90, 2, 1, false, 0, false}},      // 4:2:2
        {"Garden.jpg", 300, 900, 160, 240, {85, 1, 2, false, 0, false}},      // 4:4:0
        {"Aqua.jpg", 1200, 700, 203, 117, {90, 2, 2, false, 0, false}},       // not whole MCUs
        {"Wood.jpg", 500, 500, 201, 99, {95, 2, 1, false, 3, false}},         // restarts every 3 MCUs
        {"Storm.jpg", 800, 400, 240, 136, {75, 2, 2, false, 1, true}},        // restart every MCU, optimised tables
        {"TwoWings.jpg", 900, 600, 177, 133, {92, 1, 1, true, 0, false}},     // greyscale
        {"FreshFlower.jpg", 600, 500, 250, 170, {100, 1, 1, false, 0, true}}, // quality 100: large coefficients
        {"RainDrops.jpg", 400, 300, 96, 64, {50, 4, 2, false, 0, false}},     // 4:1:0-like, wide MCUs
    };
    for (const Case& c : cases) {
        const Rgb rgb = DecodeWithLibjpeg(ReadFile(std::string(kPhotoDir) + "/" + c.photo));
        if (rgb.width == 0) {
            ADD_FAILURE() << "cannot read " << c.photo << " (Debian package mate-backgrounds)";
            continue;
        }
        const Bytes jpeg = libjpegtest::Encode(rgb, c.x, c.y, c.width, c.height, c.settings);
        ASSERT_FALSE(jpeg.empty());
        const std::string what = std::string(c.photo) + " crop " + std::to_string(c.width) + "x" +
                                 std::to_string(c.height) + " sampling " + std::to_string(c.settings.h) + "x" +
                                 std::to_string(c.settings.v);
        const Outcome outcome = ExpectSameAsReference(jpeg, what);
        EXPECT_EQ(outcome.analysis, 0) << what << ": " << outcome.message;
        EXPECT_EQ(outcome.decode, 0) << what << ": " << outcome.message;
    }
}

TEST(FastDecoderEquivalence, WholePhotograph)
{
    // The smallest baseline photograph of the set, 1680 x 1050 in 4:2:2,
    // decoded whole: both threads of the fast form at work on many batches.
    const Bytes jpeg = ReadFile(std::string(kPhotoDir) + "/Dune.jpg");
    ASSERT_FALSE(jpeg.empty()) << "Debian package mate-backgrounds";
    const Outcome expected = RunDecoder(jpeg, Form::kReference, false);
    ASSERT_EQ(expected.analysis, 0) << expected.message;
    ASSERT_EQ(expected.decode, 0) << expected.message;
    JpegDecoder decoder;  // default options: threads chosen by size
    ASSERT_EQ(decoder.AnalysisHeader(jpeg.data(), static_cast<int32_t>(jpeg.size())), 0);
    ASSERT_EQ(decoder.DecodeImage(), 0);
    int32_t width, height;
    EXPECT_TRUE(CopyPlanes(decoder, &width, &height) == expected.planes);
    EXPECT_EQ(width, 1680);
    EXPECT_EQ(height, 1050);
}

// --- Synthetic pictures ------------------------------------------------------

fasttest::Picture BasePicture(int width, int height, std::vector<fasttest::Component> components)
{
    fasttest::Picture p;
    p.width = width;
    p.height = height;
    p.components = std::move(components);
    for (auto& table : p.quant) table.fill(1);
    for (int id = 0; id < 2; ++id) {
        p.dc[id] = fasttest::DcAllCategories();
        p.ac[id] = fasttest::AcAllSymbols();
    }
    return p;
}

const std::vector<fasttest::Component> k444 = {{1, 1, 1, 0, 0, 0}, {2, 1, 1, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
const std::vector<fasttest::Component> k420 = {{1, 2, 2, 0, 0, 0}, {2, 1, 1, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};

// Random blocks: dense, sparse, or extreme (magnitudes up to 15 bits).
fasttest::BlockSource RandomBlocks(uint32_t seed, int kind)
{
    auto random = std::make_shared<std::mt19937>(seed);
    return [random, kind](int, long) {
        std::array<int, 64> z{};
        auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(*random); };
        switch (kind) {
        case 0:  // dense
            for (int k = 0; k < 64; ++k) z[k] = uniform(-2047, 2047);
            break;
        case 1:  // sparse
            z[0] = uniform(-300, 300);
            for (int n = uniform(0, 4); n > 0; --n) z[uniform(1, 63)] = uniform(-60, 60);
            break;
        case 2:  // extreme
            for (int k = 0; k < 64; ++k) z[k] = uniform(0, 3) == 0 ? 0 : (uniform(0, 1) ? 1 : -1) * uniform(16000, 32767);
            z[0] = uniform(-16383, 16383);
            break;
        default:  // the last coefficient set, the others mostly zero
            z[0] = uniform(-100, 100);
            z[63] = uniform(1, 3) * (uniform(0, 1) ? 1 : -1);
            if (uniform(0, 1)) z[uniform(1, 62)] = uniform(-5, 5);
            break;
        }
        return z;
    };
}

// The scripts of multi-scan transcodes: libjpeg's default progression,
// successive approximation down to the last bit with bands refined apart,
// and sequential scans of single components.
struct MultiScanScript {
    const char* name;
    bool progressive;
    std::vector<libjpegtest::Scan> scans;
};

const MultiScanScript kMultiScanScripts[] = {
    {"default progression", true, {}},
    {"deep successive approximation",
     true,
     {{{0, 1, 2}, 0, 0, 0, 2}, {{0}, 1, 5, 0, 3}, {{0}, 6, 63, 0, 3}, {{1}, 1, 63, 0, 2}, {{2}, 1, 63, 0, 2},
      {{0}, 1, 5, 3, 2}, {{0}, 6, 63, 3, 2}, {{0, 1, 2}, 0, 0, 2, 1}, {{0}, 1, 63, 2, 1}, {{1}, 1, 63, 2, 1},
      {{2}, 1, 63, 2, 1}, {{0, 1, 2}, 0, 0, 1, 0}, {{0}, 1, 63, 1, 0}, {{2}, 1, 63, 1, 0}, {{1}, 1, 63, 1, 0}}},
    {"sequential scans of single components", false, {{{1}, 0, 63, 0, 0}, {{2}, 0, 63, 0, 0}, {{0}, 0, 63, 0, 0}}},
};

TEST(FastDecoderEquivalence, RandomCoefficients)
{
    struct Case {
        const char* name;
        int width, height;
        std::vector<fasttest::Component> components;
        int quantValue;
        bool quant16;
        int precision;
        int restart;
        bool longEndOfBlock = false;
    };
    const std::vector<Case> cases = {
        {"4:4:4 quantisation 255", 40, 24, k444, 255, false, 8, 0},
        {"4:2:0 quantisation 255", 48, 40, k420, 255, false, 8, 0},
        {"4:2:0 16-bit quantisation 65535", 33, 17, k420, 65535, true, 8, 0},
        {"4:4:4 precision 12", 24, 24, k444, 3, false, 12, 0},
        {"4:2:0 restart every 2 MCUs", 64, 32, k420, 7, false, 8, 2},
        {"grey 2x2 factors, one block an MCU", 37, 29, {{1, 2, 2, 0, 0, 0}}, 9, false, 8, 5},
        {"sampling ratios not whole: Y 3x2, Cb 2x1, Cr 1x1", 61, 35,
         {{1, 3, 2, 0, 0, 0}, {2, 2, 1, 1, 1, 1}, {3, 1, 1, 1, 1, 1}}, 5, false, 8, 0},
        {"Y 1x1 with chroma 2x2", 32, 32, {{1, 1, 1, 0, 0, 0}, {2, 2, 2, 1, 1, 1}, {3, 2, 2, 1, 1, 1}}, 2, false, 8, 0},
        {"4:2:0 across many batches", 320, 256, k420, 2, false, 8, 0},
        {"4:4:4 rows wider than one segment, restart every 7 MCUs", 3208, 16, k444, 2, false, 8, 7},
        {"end of block as a 12-bit code", 48, 32, k420, 3, false, 8, 0, true},
        {"width 0: no MCUs", 0, 16, k420, 2, false, 8, 0},
        {"height 0: no MCUs", 16, 0, k444, 2, false, 8, 1},
    };
    for (const Case& c : cases) {
        for (int kind = 0; kind < 4; ++kind) {
            fasttest::Picture p = BasePicture(c.width, c.height, c.components);
            p.quant16 = c.quant16;
            p.precision = c.precision;
            p.restartInterval = c.restart;
            for (auto& table : p.quant) table.fill(c.quantValue);
            if (c.longEndOfBlock) p.ac[0] = p.ac[1] = fasttest::AcAllSymbols(true);
            const Bytes jpeg = fasttest::EncodePicture(p, RandomBlocks(1000 + kind, kind));
            const Outcome outcome = ExpectSameAsReference(jpeg, std::string(c.name) + ", kind " + std::to_string(kind));
            EXPECT_EQ(outcome.analysis, 0) << c.name << ", kind " << kind << ": " << outcome.message;
            EXPECT_EQ(outcome.decode, 0) << c.name << ", kind " << kind << ": " << outcome.message;
            // The same coefficients in several scans, where libjpeg-turbo
            // takes them (8-bit data, coefficients of 11 bits at most).
            if (kind == 2 || c.precision != 8 || c.components.size() != 3) continue;
            for (const MultiScanScript& script : kMultiScanScripts) {
                const Bytes multi = libjpegtest::Transcode(jpeg, script.scans, script.progressive, c.restart);
                if (multi.empty()) continue;
                const std::string what = std::string(c.name) + ", kind " + std::to_string(kind) + ", " + script.name;
                const Outcome scans = ExpectSameAsReference(multi, what);
                EXPECT_EQ(scans.decode, 0) << what << ": " << scans.message;
                EXPECT_EQ(scans.planes, outcome.planes) << what;
            }
        }
    }
}

// --- Malformed data ------------------------------------------------------------

Bytes SmallPicture(int restart)
{
    fasttest::Picture p = BasePicture(40, 24, k420);
    for (auto& table : p.quant) table.fill(4);
    p.restartInterval = restart;
    return fasttest::EncodePicture(p, RandomBlocks(77, 3));
}

// The same picture in the scans of a script (restart: every MCU or none).
Bytes SmallMultiScanPicture(const MultiScanScript& script, int restart)
{
    return libjpegtest::Transcode(SmallPicture(0), script.scans, script.progressive, restart);
}

// The small pictures the malformed tests break: one scan with and without
// restarts, and each multi-scan script with restarts every MCU.
std::vector<std::pair<std::string, Bytes>> SmallPictures()
{
    std::vector<std::pair<std::string, Bytes>> pictures = {{"one scan", SmallPicture(0)},
                                                           {"one scan, restart every MCU", SmallPicture(1)}};
    for (const MultiScanScript& script : kMultiScanScripts)
        pictures.push_back({std::string(script.name) + ", restart every MCU", SmallMultiScanPicture(script, 1)});
    return pictures;
}

size_t ScanStart(const Bytes& jpeg)
{
    for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + (jpeg[i + 2] << 8 | jpeg[i + 3]);
    }
    return jpeg.size();
}

TEST(FastDecoderMalformed, TruncatedAtEveryLength)
{
    for (const auto& [name, jpeg] : SmallPictures()) {
        ASSERT_FALSE(jpeg.empty()) << name;
        for (size_t length = 0; length <= jpeg.size(); ++length) {
            ExpectSameAsReference(Bytes(jpeg.begin(), jpeg.begin() + static_cast<long>(length)),
                                  name + ", truncated to " + std::to_string(length));
        }
    }
}

TEST(FastDecoderMalformed, ByteFlipsAndDeletions)
{
    std::mt19937 random(1234);
    const Bytes sources[] = {SmallPicture(0), SmallPicture(2), SmallMultiScanPicture(kMultiScanScripts[0], 0),
                             SmallMultiScanPicture(kMultiScanScripts[1], 2)};
    int failures = 0;
    for (int n = 0; n < 3000; ++n) {
        Bytes jpeg = sources[n % 4];
        const size_t scan = ScanStart(jpeg);
        const int edits = 1 + static_cast<int>(random() % 3);
        std::string what = "case " + std::to_string(n) + ":";
        for (int e = 0; e < edits; ++e) {
            // Mostly inside the scan data, sometimes in the header.
            const size_t lo = (random() % 4 == 0) ? 2 : scan;
            if (lo >= jpeg.size()) break;
            const size_t at = lo + random() % (jpeg.size() - lo);
            if (random() % 5 == 0) {
                jpeg.erase(jpeg.begin() + static_cast<long>(at));
                what += " delete " + std::to_string(at);
            } else {
                jpeg[at] = static_cast<uint8_t>(random() % 3 == 0 ? 0xFF : random());
                what += " set " + std::to_string(at) + "=" + std::to_string(jpeg[at]);
            }
        }
        const int before = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
        ExpectSameAsReference(jpeg, what);
        if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() != before &&
            ++failures >= 5)
            break;
    }
}

TEST(FastDecoderMalformed, MarkersInsideTheScan)
{
    // A marker at every byte position from the first scan on: met inside
    // Huffman codes, inside magnitude or correction bits, where a restart
    // interval ends, or between scans.
    for (const auto& [name, jpeg] : SmallPictures()) {
        const size_t scan = ScanStart(jpeg);
        for (size_t at = scan; at + 2 < jpeg.size(); ++at) {
            for (uint8_t code : {0xD1, 0xD9, 0x01}) {
                Bytes broken = jpeg;
                broken.insert(broken.begin() + static_cast<long>(at), {0xFF, code});
                ExpectSameAsReference(broken, name + ", marker " + std::to_string(code) + " at " + std::to_string(at));
            }
        }
    }
}

TEST(FastDecoderMalformed, CraftedHuffmanTables)
{
    // The picture is coded with ordinary tables; its AC table is then swapped
    // for tables the decoder must take as they are.
    std::vector<fasttest::HuffmanDef> tables;
    auto table = [&](std::array<uint8_t, 16> counts) {
        fasttest::HuffmanDef def;
        def.counts = counts;
        int total = 0;
        for (uint8_t c : counts) total += c;
        for (int i = 0; i < total; ++i) def.values.push_back(static_cast<uint8_t>((i * 37 + 1) & 0xFF));
        tables.push_back(def);
    };
    table({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});            // no entries
    table({3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});            // overfilled: codes beyond their length
    table({1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});            // one code of each length
    table({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2});            // only 16-bit codes
    table({0, 0, 0, 0, 0, 0, 0, 200, 200, 0, 0, 0, 0, 0, 0, 0});        // 400 entries, overfilled at 9
    table({0, 1, 2, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});            // complete space, no long codes
    table({0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 125});          // T.81 K.5 counts
    for (size_t t = 0; t < tables.size(); ++t) {
        for (int which = 0; which < 2; ++which) {  // the AC table, or the DC table
            fasttest::Picture p = BasePicture(24, 16, k444);
            const Bytes ordinary = fasttest::EncodePicture(p, RandomBlocks(5, 1));
            // Re-emit the header with the crafted table, keep the scan data.
            fasttest::Picture crafted = p;
            (which == 0 ? crafted.ac[0] : crafted.dc[0]) = tables[t];
            Bytes jpeg = fasttest::EncodeHeader(crafted);
            jpeg.insert(jpeg.end(), ordinary.begin() + static_cast<long>(ScanStart(ordinary)), ordinary.end());
            ExpectSameAsReference(jpeg, std::string(which == 0 ? "AC" : "DC") + " table " + std::to_string(t));
        }
    }
}

}  // namespace
