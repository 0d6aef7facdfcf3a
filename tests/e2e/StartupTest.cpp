// MIRAVEL.exe from the outside: its resources, the splash screen at start
// and the frame window after it.
#include "E2eTest.h"
#include "Miravel.h"

namespace e2e {
namespace {

class StartupTest : public E2eTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(MiravelExe())) << Narrow(MiravelExe()) << " is missing";
    }
};

TEST_F(StartupTest, SplashBitmapAndIconResourcesHaveTheirFormats) {
    auto bitmap = ReadResource(MiravelExe(), MAKEINTRESOURCEW(2) /* RT_BITMAP */, 133);
    ASSERT_TRUE(bitmap.has_value()) << "no bitmap 133";
    auto dib = ParseDib(*bitmap);
    ASSERT_TRUE(dib.has_value()) << "bitmap 133 is shorter than its header says";
    EXPECT_EQ(dib->width, 426);
    EXPECT_EQ(dib->height, 230) << "positive: rows bottom-up";
    EXPECT_EQ(dib->bitCount, 8);
    EXPECT_EQ(dib->compression, static_cast<DWORD>(BI_RGB));
    EXPECT_EQ(dib->paletteEntries, 256);

    auto icons = IconGroup(MiravelExe(), 128);
    ASSERT_EQ(icons.size(), 2u) << "icon 128 holds a 32 x 32 and a 16 x 16 image";
    std::set<int> sizes;
    for (const IconImageInfo& image : icons) {
        sizes.insert(image.width);
        EXPECT_EQ(image.height, image.width);
        EXPECT_EQ(image.colourCount, 16) << image.width;
        EXPECT_EQ(image.bitCount, 4) << image.width;
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32}));
}

TEST_F(StartupTest, SplashShowsFirstCentredFilledByTheTitlePicture) {
    Process program = Process::Start(MiravelExe());
    HWND splash = WaitFor([&] { return FindVisibleWindow(program.Id(), L"#32770"); }, kStartTimeoutMs);
    ASSERT_NE(splash, nullptr) << "no window appeared";
    WindowInfo info = Describe(splash);
    HWND picture = BitmapChild(splash);
    ASSERT_NE(picture, nullptr) << "the first window has no bitmap picture: not the splash";
    for (HWND other : TopLevelWindows(program.Id()))
        EXPECT_TRUE(other == splash || !IsWindowVisible(other))
            << "shown together with the splash: " << Narrow(ClassName(other));

    // Pop-up with no caption, no border, no system menu: the window is all client.
    EXPECT_TRUE(info.style & WS_POPUP);
    EXPECT_EQ(info.style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CHILD), 0) << Hex(info.style);
    EXPECT_EQ(info.exStyle & (WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_WINDOWEDGE), 0) << Hex(info.exStyle);
    EXPECT_EQ(info.window.left, info.client.left);
    EXPECT_EQ(info.window.top, info.client.top);

    // The picture fills the dialog: the dialog is made the picture's size
    // (bitmap 133 at 96 DPI), whatever its template's dialog units come to
    // in the font at hand.
    auto bitmap = ReadResource(MiravelExe(), MAKEINTRESOURCEW(2), 133);
    ASSERT_TRUE(bitmap && ParseDib(*bitmap));
    EXPECT_EQ(Width(info.client), 426);
    EXPECT_EQ(Height(info.client), 230);

    // Centred on the screen's work area (no owner).
    RECT work = WorkAreaOf(splash);
    EXPECT_LE(std::abs(Centre(info.window).x - Centre(work).x), 1) << info.window.left;
    EXPECT_LE(std::abs(Centre(info.window).y - Centre(work).y), 1) << info.window.top;

    // The picture control shows bitmap 133 at its own size, pixel for pixel.
    RECT pictureRect;
    GetWindowRect(picture, &pictureRect);
    EXPECT_EQ(pictureRect.left, info.client.left);
    EXPECT_EQ(pictureRect.top, info.client.top);
    EXPECT_EQ(Width(pictureRect), 426);
    EXPECT_EQ(Height(pictureRect), 230);
    const int w = std::min(426, Width(info.client)), h = std::min(230, Height(info.client));
    RECT shown{info.client.left, info.client.top, info.client.left + w, info.client.top + h};
    int wrong = 0;
    WaitUntil([&] {
        ScreenShot shot(shown);
        wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) wrong += shot.At(x, y) != DibPixel(*bitmap, x, y);
        return wrong == 0;
    }, 2000, 100);
    EXPECT_EQ(wrong, 0) << "screen pixels of the splash that differ from bitmap 133 (of " << w * h << ")";
}

TEST_F(StartupTest, SplashEndsByItselfAfterThreeSecondsAndTheFrameFollows) {
    Process program = Process::Start(MiravelExe());
    StartWatch watch = WatchSplash(program);
    ASSERT_NE(watch.splash, nullptr) << "no window appeared";
    EXPECT_TRUE(watch.splashWasShown);
    const double shownMs = watch.splashGoneMs - watch.splashCreatedMs;
    // The splash's timer runs 3000 ms from its creation; the window is seen
    // a little after it is created, and the machine may be busy.
    EXPECT_GE(shownMs, 2500) << "the splash ended early";
    EXPECT_LE(shownMs, 10000) << "the splash did not end by itself";
    EXPECT_TRUE(watch.shownDuringSplash.empty())
        << "shown while the splash was up: " << Narrow(watch.shownDuringSplash.front());

    HWND frame = WaitForFrame(program.Id(), watch.splash);
    ASSERT_NE(frame, nullptr) << "no frame window after the splash";
    EXPECT_FALSE(IsWindow(watch.splash)) << "the splash window is hidden but not destroyed";
    EXPECT_TRUE(program.Running());
}

TEST_F(StartupTest, FrameWindowHasTheStylesAndSizeOfItsTemplate) {
    Process program = Process::Start(MiravelExe());
    StartWatch watch = WatchSplash(program);
    ASSERT_NE(watch.splash, nullptr);
    HWND frame = WaitForFrame(program.Id(), watch.splash);
    ASSERT_NE(frame, nullptr) << "no frame window after the splash";
    WindowInfo info = Describe(frame);

    // WS_POPUP | WS_VISIBLE with no caption or system menu; DS_MODALFRAME
    // shows as the dialog-frame extended style; WS_EX_APPWINDOW kept. The
    // system adds bits of its own (WS_CLIPSIBLINGS, WS_EX_WINDOWEDGE): only
    // the ones that matter are compared.
    const LONG styleMask = WS_POPUP | WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME |
                           WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_VSCROLL | WS_HSCROLL;
    EXPECT_EQ(info.style & styleMask, WS_POPUP | WS_VISIBLE) << Hex(info.style);
    EXPECT_TRUE(info.exStyle & WS_EX_APPWINDOW) << Hex(info.exStyle);
    EXPECT_TRUE(info.exStyle & WS_EX_DLGMODALFRAME) << Hex(info.exStyle);
    EXPECT_FALSE(info.exStyle & WS_EX_TOOLWINDOW) << Hex(info.exStyle);
    EXPECT_EQ(info.owner, nullptr);
    EXPECT_EQ(info.title, L"");
    EXPECT_EQ(BitmapChild(frame), nullptr);
    EXPECT_TRUE(ChildWindows(frame).empty()) << "the frame has no controls";

    // With no photo: 175 x 202 dialog units of client area, inside the frame.
    SIZE expected = DialogUnitsToPixels(kDialogFont, kDialogPoints, 175, 202);
    EXPECT_EQ(Width(info.client), expected.cx);
    EXPECT_EQ(Height(info.client), expected.cy);
    RECT outer{0, 0, expected.cx, expected.cy};
    AdjustWindowRectEx(&outer, info.style, FALSE, info.exStyle);
    EXPECT_EQ(Width(info.window), Width(outer));
    EXPECT_EQ(Height(info.window), Height(outer));

    // Centred in the work area when its initialisation ended.
    RECT work = WorkAreaOf(frame);
    EXPECT_LE(std::abs(Centre(info.window).x - Centre(work).x), 1) << info.window.left;
    EXPECT_LE(std::abs(Centre(info.window).y - Centre(work).y), 1) << info.window.top;
}

}  // namespace
}  // namespace e2e
