// The frame in use, driven like a user: the stored photo and colour at
// start, a first start through the dialogs, the right-click menu and its
// commands, the ways of ending and what they store, dragging, the click on
// the photo, the About box, and a new frame.
#include "FrameFixture.h"
#include "Miravel.h"

namespace e2e {
namespace {

constexpr const wchar_t* kFileMissing = L"ﾌｧｲﾙがありません。";
constexpr const wchar_t* kNotDib = L"DIBファイルではありません";
constexpr const wchar_t* kAboutTitle = L"MIRAVELのﾊﾞｰｼﾞｮﾝ情報";
// Basic colours of the colour dialog (rows of 8): index 8 is pure red.
constexpr int kRedSwatch = 8;
constexpr Rgb kRed = 0xFF0000;

using FrameTest = FrameFixture;

SIZE TemplateClientSize() { return DialogUnitsToPixels(kDialogFont, kDialogPoints, 175, 202); }

// A stored JPEG photo and colour: the framed photo pixel for pixel; the
// stacking flag and its check mark; the colour command repaints the band
// at once and its dialog opens on black; Exit stores both settings.
TEST_F(FrameTest, StoredPhotoAndColourThenStackingColourAndExit) {
    StoreSettings(TestJpegPath(), L"2642040");   // RGB(120, 80, 40)
    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr);
    ExpectFramed(s.frame, jpeg_, 0x785028, "stored JPEG");
    RECT before = Describe(s.frame).window;

    // Always on top: on at start, then off, then on again; the menu's check
    // mark follows each time it opens.
    EXPECT_TRUE(IsTopmost(s.frame));
    for (bool expectTopmost : {true, false, true}) {
        EXPECT_EQ(IsTopmost(s.frame), expectTopmost);
        HWND popup = OpenMenu(s.frame);
        ASSERT_NE(popup, nullptr) << "no menu on a right click";
        ::Sleep(300);   // drawn
        std::optional<bool> checked = MenuItemChecked(popup, kAlwaysOnTop);
        if (checked) {
            EXPECT_EQ(*checked, expectTopmost) << "check mark";
        } else {
            ADD_FAILURE() << "the popup menu's items cannot be read";
        }
        PickMenuItemByPosition(kAlwaysOnTop);
        ASSERT_TRUE(WaitUntil([&] { return IsTopmost(s.frame) != expectTopmost; }, kUiTimeoutMs))
            << "Always on top did not change the stacking";
        WaitUntil([] { return FindPopupMenu() == nullptr; }, kUiTimeoutMs);
        if (HWND shown = FindVisibleWindow(s.program.Id(), L"")) {
            if (shown != s.frame) ADD_FAILURE() << "unexpected window " << Narrow(ClassName(shown));
        }
    }
    EXPECT_FALSE(IsTopmost(s.frame));
    ASSERT_TRUE(Choose(s.frame, kAlwaysOnTop));
    EXPECT_TRUE(WaitUntil([&] { return IsTopmost(s.frame); }, kUiTimeoutMs));

    // Frame colour: red at once; the dialog then opens on black.
    ASSERT_TRUE(Choose(s.frame, kFrameColour));
    ASSERT_TRUE(ChooseColourInDialog(s.program.Id(), s.frame, kRedSwatch));
    ExpectFramed(s.frame, jpeg_, kRed, "after choosing red");
    ASSERT_TRUE(Choose(s.frame, kFrameColour));
    ASSERT_TRUE(ChooseColourInDialog(s.program.Id(), s.frame, -1));
    ExpectFramed(s.frame, jpeg_, 0x000000, "after OK on the colour dialog as it opened");
    RECT after = Describe(s.frame).window;
    EXPECT_EQ(after.left, before.left) << "the top-left corner stays";
    EXPECT_EQ(after.top, before.top);

    ASSERT_TRUE(Choose(s.frame, kExit));
    EXPECT_TRUE(Ends(s.program)) << "Exit did not end the program";
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), TestJpegPath());
    EXPECT_EQ(StoredSetting(L"FRAMECOLOR"), L"0");
}

// A stored BMP photo and "255": pure red around the bitmap's own pixels.
// New photo through the open-file dialog: every JPEG name (.jpg, .jpeg,
// .jpe, .jfif) and .bmp load, ignoring case, and so does a progressive JPEG;
// a name no loader takes (.gif) loads nothing and says nothing; a broken
// .bmp says so and the previous photo stays at its size. Escape ends
// without storing.
TEST_F(FrameTest, StoredBitmapThenNewPhotosThenEscape) {
    const Photo pattern = PatternPhoto(37, 23);
    const std::wstring bmpPath = files_.Write(L"pattern.bmp", MakeBmp24(pattern));
    const std::vector<std::uint8_t> jpegBytes = ReadFileBytes(TestJpegPath());
    const std::wstring upperBmp = files_.Write(L"PATTERN2.BMP", MakeBmp24(pattern));
    const std::wstring broken = files_.Write(L"broken.bmp", {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
    StoreSettings(bmpPath, L"255");

    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr);
    const DWORD pid = s.program.Id();
    ExpectFramed(s.frame, pattern, kRed, "stored BMP, colour 255");

    struct Step {
        std::wstring path;
        const Photo* shown;
        std::optional<std::wstring> message;
    };
    std::vector<Step> steps;
    // Each JPEG name after a bitmap, so that each one's loading shows.
    for (const wchar_t* name : {L"sunset.jpg", L"photo.jpeg", L"SUNSET2.JPG", L"photo.JPE", L"photo.jfif"}) {
        steps.push_back({files_.Write(name, jpegBytes), &jpeg_, std::nullopt});
        steps.push_back({upperBmp, &pattern, std::nullopt});
    }
    // A progressive photo, pixel for pixel as the decoder makes it.
    const std::vector<std::uint8_t> progressiveBytes = ReadFileBytes(SourcePhoto(L"rocket-progressive.jpg"));
    const std::optional<Photo> progressive = DecodeJpeg(progressiveBytes);
    ASSERT_TRUE(progressive) << "the test's decoder refuses the progressive photo";
    steps.push_back({files_.Write(L"progressive.jpg", progressiveBytes), &*progressive, std::nullopt});
    steps.push_back({files_.Write(L"photo.gif", jpegBytes), &*progressive, std::nullopt});
    steps.push_back({broken, &*progressive, std::wstring(kNotDib)});
    for (const auto& step : steps) {
        const std::string what = Narrow(step.path);
        ASSERT_TRUE(Choose(s.frame, kNewPhoto)) << what;
        ASSERT_TRUE(ChoosePhotoInDialog(pid, s.frame, step.path)) << "no open-file dialog for " << what;
        std::optional<std::wstring> message = WaitForMessage(pid, s.frame, step.message ? kUiTimeoutMs : 1500);
        EXPECT_EQ(message, step.message) << what;
        ExpectFramed(s.frame, *step.shown, kRed, what);
    }

    Activate(s.frame);
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(Ends(s.program)) << "Escape did not end the program";
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), bmpPath) << "Escape stores nothing";
    EXPECT_EQ(StoredSetting(L"FRAMECOLOR"), L"255");
}

// First start: the open-file dialog, then the colour dialog, both before
// the frame shows; what is chosen there is framed. Enter ends without
// storing anything.
TEST_F(FrameTest, FirstStartChoosesThroughBothDialogs) {
    Process program = Process::Start(MiravelExe());
    StartWatch watch = WatchSplash(program);
    ASSERT_NE(watch.splash, nullptr);
    std::vector<std::wstring> seen;
    HWND frame = WaitForFrame(program.Id(), watch.splash, [&](HWND dialog) {
        HWND owner = GetWindow(dialog, GW_OWNER);
        EXPECT_FALSE(IsWindowVisible(owner)) << "the frame shows before its dialogs are done";
        if (DialogItem(dialog, 0x2D0)) {   // the colour dialog's basic colours
            seen.push_back(L"colour");
            EXPECT_TRUE(ClickBasicColour(dialog, kRedSwatch));
            ConfirmDialog(dialog);
        } else {
            seen.push_back(L"file");
            EXPECT_TRUE(TypeIntoOpenFileDialog(dialog, TestJpegPath()));
        }
        WaitUntil([dialog] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, kUiTimeoutMs);
    });
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"file", L"colour"}));
    ExpectFramed(frame, jpeg_, kRed, "chosen at the first start");

    Activate(frame);
    PressKey(VK_RETURN);
    EXPECT_TRUE(Ends(program)) << "Enter did not end the program";
    EXPECT_TRUE(ValueNames(HKEY_CURRENT_USER, kSettingKey).empty()) << "Enter stores nothing";
}

// First start with both dialogs cancelled: the plain window of the
// template's size, centred; Exit then stores the colour only.
TEST_F(FrameTest, FirstStartWithBothDialogsCancelled) {
    int dialogs = 0;
    Started s = StartProgram([&](HWND dialog) {
        ++dialogs;
        CancelAndWait(dialog);
    });
    ASSERT_NE(s.frame, nullptr);
    EXPECT_EQ(dialogs, 2);
    WindowInfo info = Describe(s.frame);
    const SIZE size = TemplateClientSize();
    EXPECT_EQ(Width(info.client), size.cx);
    EXPECT_EQ(Height(info.client), size.cy);
    RECT work = WorkAreaOf(s.frame);
    EXPECT_LE(std::abs(Centre(info.window).x - Centre(work).x), 1);
    EXPECT_LE(std::abs(Centre(info.window).y - Centre(work).y), 1);

    ASSERT_TRUE(Choose(s.frame, kExit));
    EXPECT_TRUE(Ends(s.program));
    std::vector<std::wstring> stored = ValueNames(HKEY_CURRENT_USER, kSettingKey);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (std::vector<std::wstring>{L"FRAMECOLOR", L"FRAMEPOSITION", L"SHRINKPHOTO"}))
        << "no photo is stored";
    EXPECT_EQ(StoredSetting(L"FRAMECOLOR"), L"0") << "the frame colour before any is chosen is black";
}

// A stored path whose file is gone: the file-missing message before the
// frame, a plain window, and the same path stored back at close. "abc" as
// the colour is black.
TEST_F(FrameTest, StoredPhotoThatIsGone) {
    const std::wstring gone = files_.Path() + L"\\gone.jpg";
    StoreSettings(gone, L"abc");
    std::vector<std::wstring> messages;
    Started s = StartProgram(CollectMessages(&messages));
    ASSERT_NE(s.frame, nullptr);
    EXPECT_EQ(messages, std::vector<std::wstring>{kFileMissing});
    const SIZE size = TemplateClientSize();
    EXPECT_EQ(Width(Describe(s.frame).client), size.cx);
    EXPECT_EQ(Height(Describe(s.frame).client), size.cy);


    ASSERT_TRUE(Choose(s.frame, kExit));
    EXPECT_TRUE(Ends(s.program));
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), gone);
    EXPECT_EQ(StoredSetting(L"FRAMECOLOR"), L"0");
}

// Dragging by the band moves the window by exactly the cursor's distance;
// Shift or Ctrl during a drag ends it. While the About box is open (from
// the menu or the system-menu item) the frame ignores the mouse. A click
// on the photo minimises the frame and clears always on top; restored, it
// is an ordinary window framed as before.
TEST_F(FrameTest, DraggingAboutBoxAndClickOnThePhoto) {
    StoreSettings(TestJpegPath(), L"16777215");
    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr);
    const DWORD pid = s.program.Id();
    ExpectFramed(s.frame, jpeg_, 0xFFFFFF, "stored JPEG, white");

    RECT start = Describe(s.frame).window;
    POINT from = BandPoint(s.frame);
    Drag(from, {from.x + 30, from.y + 20});
    RECT moved = Describe(s.frame).window;
    EXPECT_EQ(moved.left - start.left, 30);
    EXPECT_EQ(moved.top - start.top, 20);
    EXPECT_EQ(Width(moved), Width(start));

    for (WORD modifier : {VK_SHIFT, VK_CONTROL}) {
        RECT r0 = Describe(s.frame).window;
        POINT p = BandPoint(s.frame);
        MoveMouse(p);
        MouseDown();
        ::Sleep(30);
        MoveMouse({p.x + 12, p.y + 8});
        ::Sleep(30);
        KeyDown(modifier);
        MoveMouse({p.x + 24, p.y + 16});
        ::Sleep(30);
        KeyUp(modifier);
        MoveMouse({p.x + 40, p.y + 30});
        ::Sleep(30);
        MouseUp();
        ::Sleep(100);
        RECT r1 = Describe(s.frame).window;
        EXPECT_EQ(r1.left - r0.left, 12) << "modifier " << modifier;
        EXPECT_EQ(r1.top - r0.top, 8) << "modifier " << modifier;
    }

    // The About box, from the menu and from the system-menu command (Wine
    // gives this captionless window no system menu to pick it from, so the
    // command is sent as the system menu would send it).
    for (int way = 0; way < 2; ++way) {
        if (way == 0) ASSERT_TRUE(Choose(s.frame, kVersion));
        else PostMessageW(s.frame, WM_SYSCOMMAND, 16, 0);
        HWND about = WaitForOwnedDialog(pid, s.frame, kUiTimeoutMs);
        ASSERT_NE(about, nullptr) << "no About box, way " << way;
        EXPECT_EQ(WindowText(about), kAboutTitle);
        RECT r0 = Describe(s.frame).window;
        POINT p = BandPoint(s.frame);
        Drag(p, {p.x + 25, p.y + 25});
        Click(BandPoint(s.frame), true);
        EXPECT_EQ(WaitForPopupMenu(500), nullptr) << "the frame opened its menu under the About box";
        if (FindPopupMenu()) PressKey(VK_ESCAPE);
        RECT r1 = Describe(s.frame).window;
        EXPECT_EQ(r1.left, r0.left) << "the frame moved under the About box";
        EXPECT_EQ(r1.top, r0.top);
        ConfirmDialog(about);
        ASSERT_TRUE(WaitUntil([about] { return !IsWindow(about); }, kUiTimeoutMs));
    }

    // A click on the photo: minimised, no longer topmost.
    EXPECT_TRUE(IsTopmost(s.frame));
    Click(ClientCentre(s.frame));
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(s.frame) != FALSE; }, kUiTimeoutMs)) << "not minimised";
    EXPECT_FALSE(IsTopmost(s.frame));
    // Restored as the taskbar button does it.
    PostMessageW(s.frame, WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsIconic(s.frame); }, kUiTimeoutMs));
    ExpectFramed(s.frame, jpeg_, 0xFFFFFF, "restored");
    EXPECT_FALSE(IsTopmost(s.frame)) << "restored as an ordinary window";
    HWND popup = OpenMenu(s.frame);
    ASSERT_NE(popup, nullptr);
    ::Sleep(300);   // drawn
    std::optional<bool> checked = MenuItemChecked(popup, kAlwaysOnTop);
    if (checked) {
        EXPECT_FALSE(*checked);
    }
    PressKey(VK_ESCAPE);
    WaitUntil([] { return FindPopupMenu() == nullptr; }, kUiTimeoutMs);
}

// New frame: a second, independent copy starts with the stored settings;
// the first goes on. F1 asks for help.
TEST_F(FrameTest, NewFrameStartsASecondProgram) {
    StoreSettings(TestJpegPath(), L"255");
    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr);
    const std::set<DWORD> before = ProcessesNamed(L"MIRAVEL.exe");
    ASSERT_TRUE(Choose(s.frame, kNewFrame));
    DWORD second = 0;
    ASSERT_TRUE(WaitUntil([&] {
        for (DWORD pid : ProcessesNamed(L"MIRAVEL.exe"))
            if (!before.count(pid)) second = pid;
        return second != 0;
    }, kStartTimeoutMs)) << "no second program";
    Process copy = Process::Attach(second);
    StartWatch watch = WatchSplash(copy);
    ASSERT_NE(watch.splash, nullptr);
    HWND frame2 = WaitForFrame(second, watch.splash);
    ASSERT_NE(frame2, nullptr) << "the second program shows no frame";
    ExpectFramed(frame2, jpeg_, kRed, "second frame");
    EXPECT_TRUE(s.program.Running());
    EXPECT_TRUE(IsWindowVisible(s.frame));

    // F1 on the second frame asks for help (last: the help engine may keep
    // the program waiting for it): the help engine starts on MIRAVEL.HLP,
    // or, when it cannot start, the program says so. (No help file is shipped; Wine's
    // engine may or may not be found in time, so either outcome counts, but
    // one of them must come.)
    const std::set<DWORD> helpBefore = ProcessesNamed(L"winhlp32.exe");
    Activate(frame2);
    PressKey(VK_F1);
    std::optional<std::wstring> helpMessage;
    bool helpStarted = false;
    WaitUntil([&] {
        for (DWORD pid : ProcessesNamed(L"winhlp32.exe")) helpStarted |= helpBefore.count(pid) == 0;
        HWND box = FindDialogOtherThan(second, frame2);
        if (box && WindowText(box) == L"MIRAVEL") helpMessage = WaitForMessage(second, frame2, kUiTimeoutMs);
        return helpStarted || helpMessage.has_value();
    }, kStartTimeoutMs, 100);
    if (helpMessage) {
        EXPECT_EQ(*helpMessage, L"ﾍﾙﾌﾟの起動に失敗しました。");
    }
    EXPECT_TRUE(helpStarted || helpMessage) << "F1 brought neither the help engine nor a message";
    EndProcessesStartedSince(L"winhlp32.exe", helpBefore);
}

}  // namespace
}  // namespace e2e
