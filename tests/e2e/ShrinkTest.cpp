// Today's photos on today's screens: a photo larger than the screen shrunk
// to the largest frame that fits (by area averaging: fine detail becomes an
// even tone), shown whole again when shrinking is turned off, the choice
// stored; photos turned as their EXIF orientation says; a picture wider
// than any bitmap with and without shrinking.
#include <cmath>

#include "FrameFixture.h"
#include "Miravel.h"

namespace e2e {
namespace {

constexpr const wchar_t* kTooLarge = L"ファイルが大きすぎます";
constexpr Rgb kRed = 0xFF0000;
// The frame's band and border around the photo at 96 DPI.
constexpr int kExtra = 25;

// A photo of the Debian backgrounds this machine has (2560 x 1600).
std::wstring LargePhotoPath() { return L"Z:\\usr\\share\\backgrounds\\mate\\nature\\Garden.jpg"; }

// The largest size of a w x h photo, aspect kept, whose frame fits the
// work area: the side that limits gets all the room there is, the other
// the photo's proportion of it, rounded.
SIZE LargestFit(int w, int h, const RECT& work) {
    const double roomW = Width(work) - kExtra, roomH = Height(work) - kExtra;
    if (roomW / w <= roomH / h)
        return SIZE{static_cast<LONG>(roomW), static_cast<LONG>(std::floor(h * roomW / w + 0.5))};
    return SIZE{static_cast<LONG>(std::floor(w * roomH / h + 0.5)), static_cast<LONG>(roomH)};
}

// The mean of the area of `full` each pixel of a w x h picture covers, in
// doubles: the plain area average, worked out here on its own.
std::vector<double> AreaAverage(const Photo& full, int w, int h, int channel) {
    const double sx = double(full.width) / w, sy = double(full.height) / h;
    std::vector<double> out(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const double y0 = y * sy, y1 = (y + 1) * sy;
        for (int x = 0; x < w; ++x) {
            const double x0 = x * sx, x1 = (x + 1) * sx;
            double sum = 0;
            for (int j = int(y0); j < int(std::ceil(y1)) && j < full.height; ++j) {
                const double cy = std::min(y1, j + 1.0) - std::max(y0, double(j));
                for (int i = int(x0); i < int(std::ceil(x1)) && i < full.width; ++i) {
                    const double cx = std::min(x1, i + 1.0) - std::max(x0, double(i));
                    sum += cx * cy * ((full.At(i, j) >> (8 * channel)) & 0xFF);
                }
            }
            out[static_cast<size_t>(y) * w + x] = sum / (sx * sy);
        }
    }
    return out;
}

struct Difference {
    double mean = 1e9;   // per channel
    int largest = 999;
};

// The shown photo of the frame (its top-left w x h pixels at (10, 10),
// wholly on the screen) against an area average of `full`.
Difference AgainstAreaAverage(HWND frame, const Photo& full, int w, int h) {
    std::vector<double> expected[3];
    for (int c = 0; c < 3; ++c) expected[c] = AreaAverage(full, w, h, c);
    Difference d;
    WaitUntil([&] {
        const WindowInfo info = Describe(frame);
        ScreenShot shot(RECT{info.client.left + 10, info.client.top + 10, info.client.left + 10 + w,
                             info.client.top + 10 + h});
        double sum = 0;
        int largest = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) {
                    const double off = std::abs(double((shot.At(x, y) >> (8 * c)) & 0xFF) -
                                                expected[c][static_cast<size_t>(y) * w + x]);
                    sum += off;
                    largest = std::max(largest, int(off + 0.5));
                }
        d.mean = sum / (3.0 * w * h);
        d.largest = largest;
        return d.mean < 1.5;
    }, 4000, 200);
    return d;
}

bool InsideWorkArea(HWND frame) {
    const RECT outer = Describe(frame).window, work = WorkAreaOf(frame);
    return outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
           outer.bottom <= work.bottom;
}

// The bytes of a JPEG file with an APP1 EXIF segment after its SOI whose
// IFD0 holds one entry, Orientation (0x0112, SHORT, 1) = orientation.
std::vector<std::uint8_t> WithOrientation(const std::vector<std::uint8_t>& jpeg, int orientation, bool bigEndian) {
    auto u16 = [&](std::vector<std::uint8_t>& out, unsigned v) {
        if (bigEndian) out.insert(out.end(), {std::uint8_t(v >> 8), std::uint8_t(v)});
        else out.insert(out.end(), {std::uint8_t(v), std::uint8_t(v >> 8)});
    };
    auto u32 = [&](std::vector<std::uint8_t>& out, unsigned v) {
        if (bigEndian) { u16(out, v >> 16); u16(out, v & 0xFFFF); }
        else { u16(out, v & 0xFFFF); u16(out, v >> 16); }
    };
    std::vector<std::uint8_t> tiff;
    tiff.insert(tiff.end(), bigEndian ? std::initializer_list<std::uint8_t>{'M', 'M'}
                                      : std::initializer_list<std::uint8_t>{'I', 'I'});
    u16(tiff, 42);
    u32(tiff, 8);         // IFD0
    u16(tiff, 1);         // one entry
    u16(tiff, 0x0112);
    u16(tiff, 3);         // SHORT
    u32(tiff, 1);
    u16(tiff, static_cast<unsigned>(orientation));
    u16(tiff, 0);
    u32(tiff, 0);         // no next IFD
    std::vector<std::uint8_t> segment{0xFF, 0xE1};
    const unsigned length = 2 + 6 + static_cast<unsigned>(tiff.size());
    segment.insert(segment.end(), {std::uint8_t(length >> 8), std::uint8_t(length), 'E', 'x', 'i', 'f', 0, 0});
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// The stored photo as an orientation means it to be shown: shown pixel
// (x, y) is stored pixel (sx, sy).
Photo Oriented(const Photo& stored, int orientation) {
    const int w = stored.width, h = stored.height;
    const bool swaps = orientation >= 5;
    Photo shown;
    shown.width = swaps ? h : w;
    shown.height = swaps ? w : h;
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x) {
            int sx = x, sy = y;
            switch (orientation) {
                case 2: sx = w - 1 - x; break;
                case 3: sx = w - 1 - x; sy = h - 1 - y; break;
                case 4: sy = h - 1 - y; break;
                case 5: sx = y; sy = x; break;
                case 6: sx = y; sy = h - 1 - x; break;
                case 7: sx = w - 1 - y; sy = h - 1 - x; break;
                case 8: sx = w - 1 - y; sy = x; break;
                default: break;
            }
            shown.pixels.push_back(stored.At(sx, sy));
        }
    return shown;
}

class ShrinkTest : public FrameFixture {
protected:
    Started Start() { return StartProgram(CollectMessages(&messages_)); }

    std::vector<std::wstring> messages_;
};

// No stored choice: shrinking is on. The 2560 x 1600 photo on a 1280 x 1024
// screen is shown at the largest size whose frame fits, inside the work
// area, its pixels the area average of the photo's. Turned off, it is shown
// 1:1 without its file being read again; on, shrunk again; the choice is
// stored and the next start keeps it.
TEST_F(ShrinkTest, LargePhotoShrunkToFitThenWholeWhenTurnedOff) {
    auto photo = DecodeJpeg(ReadFileBytes(LargePhotoPath()));
    ASSERT_TRUE(photo) << Narrow(LargePhotoPath());
    const std::wstring copy = files_.Write(L"garden.jpg", ReadFileBytes(LargePhotoPath()));
    StoreSettings(copy, L"255");
    Started s = Start();
    ASSERT_NE(s.frame, nullptr);
    EXPECT_TRUE(messages_.empty());

    const SIZE fit = LargestFit(photo->width, photo->height, WorkAreaOf(s.frame));
    auto shownAtFit = [&] {
        const WindowInfo info = Describe(s.frame);
        return Width(info.client) == fit.cx + 19 && Height(info.client) == fit.cy + 19 && InsideWorkArea(s.frame);
    };
    EXPECT_TRUE(WaitUntil(shownAtFit, kUiTimeoutMs))
        << "shown at " << Width(Describe(s.frame).client) - 19 << " x " << Height(Describe(s.frame).client) - 19
        << ", the largest fit is " << fit.cx << " x " << fit.cy;
    Difference d = AgainstAreaAverage(s.frame, *photo, fit.cx, fit.cy);
    EXPECT_LT(d.mean, 1.5) << "mean difference from the area average";
    EXPECT_LE(d.largest, 48) << "largest difference from the area average";

    HWND popup = OpenMenu(s.frame);
    ASSERT_NE(popup, nullptr);
    ::Sleep(300);
    EXPECT_EQ(MenuItemChecked(popup, kShrinkPhoto), std::optional<bool>(true));
    PressKey(VK_ESCAPE);
    WaitUntil([] { return FindPopupMenu() == nullptr; }, kUiTimeoutMs);

    // Off: the photo whole, 1:1, even though its file is gone meanwhile.
    DeleteFileW(copy.c_str());
    ASSERT_TRUE(Choose(s.frame, kShrinkPhoto));
    EXPECT_TRUE(WaitUntil([&] { return Width(Describe(s.frame).window) == photo->width + kExtra; }, kUiTimeoutMs));
    EXPECT_EQ(Height(Describe(s.frame).window), photo->height + kExtra);
    {
        // The part of the photo that is on the screen, pixel for pixel.
        const WindowInfo info = Describe(s.frame);
        const RECT work = WorkAreaOf(s.frame);
        const int w = std::min<int>(photo->width, work.right - info.client.left - 10);
        const int h = std::min<int>(photo->height, work.bottom - info.client.top - 10);
        ASSERT_GT(w, 100);
        ASSERT_GT(h, 100);
        int wrong = -1;
        WaitUntil([&] {
            ScreenShot shot(RECT{info.client.left + 10, info.client.top + 10, info.client.left + 10 + w,
                                 info.client.top + 10 + h});
            wrong = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) wrong += shot.At(x, y) != photo->At(x, y);
            return wrong == 0;
        }, 4000, 200);
        EXPECT_EQ(wrong, 0) << "pixels of the photo shown 1:1 that differ";
    }
    // On again: shrunk to the same fit.
    ASSERT_TRUE(Choose(s.frame, kShrinkPhoto));
    EXPECT_TRUE(WaitUntil(shownAtFit, kUiTimeoutMs)) << "not shrunk again";
    // Off, and stored so at the close.
    ASSERT_TRUE(Choose(s.frame, kShrinkPhoto));
    ASSERT_TRUE(Choose(s.frame, kExit));
    EXPECT_TRUE(Ends(s.program));
    EXPECT_EQ(StoredSetting(L"SHRINKPHOTO"), L"0");

    // The next start keeps the choice: the photo 1:1, no check mark.
    StoreSettings(files_.Write(L"garden2.jpg", ReadFileBytes(LargePhotoPath())), std::nullopt);
    Started again = Start();
    ASSERT_NE(again.frame, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return Width(Describe(again.frame).window) == photo->width + kExtra; },
                          kUiTimeoutMs));
    popup = OpenMenu(again.frame);
    ASSERT_NE(popup, nullptr);
    ::Sleep(300);
    EXPECT_EQ(MenuItemChecked(popup, kShrinkPhoto), std::optional<bool>(false));
    PressKey(VK_ESCAPE);
}

// One-pixel stripes shrunk by an odd factor: an even grey, no moiré.
TEST_F(ShrinkTest, OnePixelStripesBecomeAnEvenGrey) {
    Photo stripes;
    stripes.width = 2000;
    stripes.height = 1500;
    for (int y = 0; y < stripes.height; ++y)
        for (int x = 0; x < stripes.width; ++x) stripes.pixels.push_back((x + y / 700) % 2 ? 0xFFFFFF : 0x000000);
    StoreSettings(files_.Write(L"stripes.bmp", MakeBmp24(stripes)), L"255");
    Started s = Start();
    ASSERT_NE(s.frame, nullptr);
    const SIZE fit = LargestFit(stripes.width, stripes.height, WorkAreaOf(s.frame));
    ASSERT_TRUE(WaitUntil([&] { return Width(Describe(s.frame).client) == fit.cx + 19; }, kUiTimeoutMs));
    int lightest = 0, darkest = 255;
    WaitUntil([&] {
        const WindowInfo info = Describe(s.frame);
        ScreenShot shot(RECT{info.client.left + 10, info.client.top + 10, info.client.left + 10 + fit.cx,
                             info.client.top + 10 + fit.cy});
        lightest = 0;
        darkest = 255;
        for (int y = 0; y < fit.cy; ++y)
            for (int x = 0; x < fit.cx; ++x) {
                const int grey = shot.At(x, y) & 0xFF;
                lightest = std::max(lightest, grey);
                darkest = std::min(darkest, grey);
            }
        return darkest >= 124 && lightest <= 131;
    }, 4000, 200);
    EXPECT_GE(darkest, 124) << "the stripes were not turned to an even grey";
    EXPECT_LE(lightest, 131) << "the stripes were not turned to an even grey";
}

// The eight EXIF orientations, in both byte orders, on a photo that fits:
// shown turned and mirrored, pixel for pixel, the window sized to the
// turned photo.
TEST_F(ShrinkTest, EightOrientationsPixelExact) {
    const std::vector<std::uint8_t> jpeg = ReadFileBytes(TestJpegPath());
    auto stored = DecodeJpeg(jpeg);
    ASSERT_TRUE(stored);
    StoreSettings(files_.Write(L"first.jpg", WithOrientation(jpeg, 1, true)), L"255");
    Started s = Start();
    ASSERT_NE(s.frame, nullptr);
    ExpectFramed(s.frame, *stored, kRed, "orientation 1");
    for (int orientation = 2; orientation <= 8; ++orientation) {
        const std::wstring name = L"turned-" + std::to_wstring(orientation) + L".jpg";
        const std::wstring path = files_.Write(name, WithOrientation(jpeg, orientation, orientation % 2 == 0));
        ASSERT_TRUE(DropFiles(s.frame, {path}, POINT{20, 20}));
        ExpectFramed(s.frame, Oriented(*stored, orientation), kRed, "orientation " + std::to_string(orientation));
    }
    EXPECT_TRUE(messages_.empty());
}

// A JPEG 33000 pixels wide: shrunk to fit while shrinking is on; too large
// while it is off, the previous photo kept, path included.
TEST_F(ShrinkTest, PictureWiderThanAnyBitmap) {
    const std::wstring wide = BesideDriver(L"e2e-wide-33000x400.jpg");
    ASSERT_TRUE(FileExists(wide));
    auto photo = DecodeJpeg(ReadFileBytes(wide));
    ASSERT_TRUE(photo);
    const Photo pattern = PatternPhoto(41, 27);
    const std::wstring bmp = files_.Write(L"pattern.bmp", MakeBmp24(pattern));

    StoreSettings(bmp, L"255");
    Started s = Start();
    ASSERT_NE(s.frame, nullptr);
    ASSERT_TRUE(DropFiles(s.frame, {wide}, POINT{20, 20}));
    const SIZE fit = LargestFit(photo->width, photo->height, WorkAreaOf(s.frame));
    EXPECT_TRUE(WaitUntil([&] { return Width(Describe(s.frame).client) == fit.cx + 19; }, kUiTimeoutMs));
    EXPECT_EQ(Height(Describe(s.frame).client), fit.cy + 19);
    EXPECT_TRUE(InsideWorkArea(s.frame));
    const Difference d = AgainstAreaAverage(s.frame, *photo, fit.cx, fit.cy);
    EXPECT_LT(d.mean, 1.5);
    EXPECT_TRUE(messages_.empty());
    ASSERT_TRUE(Choose(s.frame, kExit));
    EXPECT_TRUE(Ends(s.program));
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), wide);

    WriteString(HKEY_CURRENT_USER, kSettingKey, L"SHRINKPHOTO", L"0");
    StoreSettings(bmp, std::nullopt);
    Started off = Start();
    ASSERT_NE(off.frame, nullptr);
    ExpectFramed(off.frame, pattern, kRed, "stored, not shrinking");
    ASSERT_TRUE(DropFiles(off.frame, {wide}, POINT{20, 20}));
    EXPECT_EQ(WaitForMessage(off.program.Id(), off.frame, kUiTimeoutMs), std::wstring(kTooLarge));
    ExpectFramed(off.frame, pattern, kRed, "the previous photo after one too large");
    ASSERT_TRUE(Choose(off.frame, kExit));
    EXPECT_TRUE(Ends(off.program));
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), bmp);
}

}  // namespace
}  // namespace e2e
