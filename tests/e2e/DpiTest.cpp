// The program on a display scaled to 200 % (192 DPI): the photo stays 1:1
// in device pixels with its band of 10 and 9 pixels, only the window's
// border grows; the splash picture fills its dialog. Wine has one DPI for
// every monitor, read by each program as it starts from the user's
// "LogPixels"; the programs started while the test runs see it.
#include "E2eTest.h"
#include "Frame.h"
#include "Miravel.h"

namespace e2e {
namespace {

constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";

// Programs started while the object lives see a display of `dpi`.
class ScaledDisplay {
public:
    explicit ScaledDisplay(DWORD dpi) : before_(ReadDword(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels")) {
        ok_ = WriteDword(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", dpi);
    }
    ~ScaledDisplay() {
        if (before_) WriteDword(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", *before_);
        else DeleteValue(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels");
    }
    ScaledDisplay(const ScaledDisplay&) = delete;
    ScaledDisplay& operator=(const ScaledDisplay&) = delete;
    bool Ok() const { return ok_; }

private:
    std::optional<DWORD> before_;
    bool ok_ = false;
};

class DpiTest : public E2eTest {};

TEST_F(DpiTest, At200PercentThePhotoStaysOneToOneAndTheSplashIsFilled) {
    if (!RunningUnderWine()) GTEST_SKIP() << "sets the display's scale through Wine's LogPixels";
    auto photo = DecodeJpeg(ReadFileBytes(TestJpegPath()));
    ASSERT_TRUE(photo);
    StoreSettings(TestJpegPath(), L"255");
    ScaledDisplay scaled(192);
    ASSERT_TRUE(scaled.Ok());

    Process program = Process::Start(MiravelExe());
    HWND splash = WaitFor([&] { return FindVisibleWindow(program.Id(), L"#32770"); }, kStartTimeoutMs);
    ASSERT_NE(splash, nullptr);
    const WindowInfo splashInfo = Describe(splash);
    HWND picture = BitmapChild(splash);
    ASSERT_NE(picture, nullptr);
    RECT pictureRect{};
    GetWindowRect(picture, &pictureRect);
    // Bitmap 133 (426 x 230) at twice its size, filling the dialog.
    EXPECT_EQ(Width(splashInfo.client), 852);
    EXPECT_EQ(Height(splashInfo.client), 460);
    EXPECT_TRUE(EqualRect(&pictureRect, &splashInfo.client)) << "the picture does not fill the splash";
    auto bitmap = ReadResource(MiravelExe(), MAKEINTRESOURCEW(2), 133);
    ASSERT_TRUE(bitmap && ParseDib(*bitmap));
    // Each screen pixel near its bitmap pixel (the scaling may blend
    // neighbours at the edges of the artwork): the mean difference is small.
    double difference = 0;
    WaitUntil([&] {
        ScreenShot shot(splashInfo.client);
        long long sum = 0;
        for (int y = 0; y < 460; y += 2)
            for (int x = 0; x < 852; x += 2) {
                const Rgb seen = shot.At(x, y), wanted = DibPixel(*bitmap, x / 2, y / 2);
                for (int shift : {0, 8, 16}) sum += std::abs(int((seen >> shift) & 0xFF) - int((wanted >> shift) & 0xFF));
            }
        difference = double(sum) / (426.0 * 230.0 * 3.0);
        return difference < 6;
    }, 2000, 100);
    EXPECT_LT(difference, 6) << "mean difference per channel from the scaled splash picture";

    HWND frame = WaitForFrame(program.Id(), splash);
    ASSERT_NE(frame, nullptr);
    // The photo 1:1 at (10, 10), 9 pixels of band right of and below it;
    // the border is the dialog frame's at the window's DPI (Wine draws the
    // same 3 pixels at every DPI; Windows' frame grows with it).
    EXPECT_TRUE(WaitUntil([&] {
        const WindowInfo info = Describe(frame);
        return Width(info.client) == photo->width + 19 && Height(info.client) == photo->height + 19;
    }, kUiTimeoutMs)) << "client " << Width(Describe(frame).client) << " x " << Height(Describe(frame).client);
    const WindowInfo info = Describe(frame);
    RECT outer = info.client;
    ASSERT_TRUE(OuterRectForDpi(&outer, info.style, info.exStyle, 192));
    EXPECT_EQ(Width(info.window), Width(outer));
    EXPECT_EQ(Height(info.window), Height(outer));
    int wrong = -1;
    WaitUntil([&] {
        ScreenShot shot(info.client);
        wrong = 0;
        for (int y = 0; y < shot.Height(); ++y)
            for (int x = 0; x < shot.Width(); ++x) {
                const bool inPhoto = x >= 10 && y >= 10 && x < 10 + photo->width && y < 10 + photo->height;
                wrong += shot.At(x, y) != (inPhoto ? photo->At(x - 10, y - 10) : Rgb{0xFF0000});
            }
        return wrong == 0;
    }, 4000, 100);
    EXPECT_EQ(wrong, 0) << "pixels of photo and band that differ";
}

}  // namespace
}  // namespace e2e
