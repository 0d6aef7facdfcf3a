// The frame among the other programs of a desktop: fast drags whose moves
// share a clock tick, photos that other programs hold open, a photo that
// fails while it is read at start-up, and the end of the session.
#include "FrameFixture.h"
#include "Miravel.h"

namespace e2e {
namespace {

constexpr const wchar_t* kFileMissing = L"ﾌｧｲﾙがありません。";
// Basic colours of the colour dialog (rows of 8): index 8 is pure red.
constexpr int kRedSwatch = 8;
constexpr Rgb kRed = 0xFF0000;

// A file another program holds open with the given access and sharing,
// until the object goes.
class HeldFile {
public:
    HeldFile(const std::wstring& path, DWORD access, DWORD share)
        : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~HeldFile() {
        if (Open()) CloseHandle(handle_);
    }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_;
};

using FrameDesktopTest = FrameFixture;

// A drag whose moves come in a burst, so that many of them reach the frame
// within one tick of the millisecond clock (Windows' ticks 15.6 ms apart):
// the frame ends exactly where the cursor's travel puts it, with the
// pressed spot under the cursor. The moves come as real input, which the
// system may merge, and as a backlog of queued moves, each made while the
// window had not moved yet, which the frame takes in quick succession.
TEST_F(FrameDesktopTest, BurstOfMovesEndsWithThePressedSpotUnderTheCursor) {
    StoreSettings(TestJpegPath(), L"255");
    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr);
    ExpectFramed(s.frame, jpeg_, kRed, "stored JPEG");

    const struct {
        int dx, dy, moves;
        bool queued;
    } drags[] = {{300, 0, 60, false}, {-170, 110, 45, false}, {7, -3, 30, false},
                 {300, 0, 60, true},  {-137, -107, 90, true}, {-163, 0, 40, true}};
    for (const auto& drag : drags) {
        const std::string what = std::to_string(drag.dx) + "," + std::to_string(drag.dy) +
                                 (drag.queued ? " queued" : " input");
        const RECT start = Describe(s.frame).window;
        const POINT from = BandPoint(s.frame);
        MoveMouse(from);
        ::Sleep(50);
        MouseDown();
        ::Sleep(50);
        for (int i = 1; i <= drag.moves; ++i) {
            const POINT to{from.x + drag.dx * i / drag.moves, from.y + drag.dy * i / drag.moves};
            MoveMouse(to);
            if (drag.queued) {
                // The move as it was made: in the client coordinates of the
                // window as it stood before any step.
                PostMessageW(s.frame, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(to.x - from.x + 4, to.y - from.y + 4));
            }
        }
        MouseUp();
        const bool arrived = WaitUntil([&] {
            const RECT now = Describe(s.frame).window;
            return now.left == start.left + drag.dx && now.top == start.top + drag.dy;
        }, kUiTimeoutMs);
        const RECT end = Describe(s.frame).window;
        EXPECT_TRUE(arrived) << what << ": moved by " << end.left - start.left << "," << end.top - start.top;
        const POINT cursor = CursorPos();
        EXPECT_EQ(end.left - cursor.x, start.left - from.x) << what << ": the pressed spot left the cursor";
        EXPECT_EQ(end.top - cursor.y, start.top - from.y) << what;
        EXPECT_EQ(Width(end), Width(start)) << what;
        ::Sleep(100);   // a later drag is not one burst with this one
    }
    ExpectFramed(s.frame, jpeg_, kRed, "after the drags");
}

// Started from a desktop where another program's window is open: the
// splash, then the frame, each in front as the foreground window (when the
// splash goes, the system hands the activation to the next window, which is
// the other program's).
TEST_F(FrameDesktopTest, FrameComesUpInFrontOfAnotherProgramsWindow) {
    Process other = Process::Start(TargetExe());
    HWND otherWindow = WaitFor([&] { return FindVisibleWindow(other.Id(), L""); }, kStartTimeoutMs);
    ASSERT_NE(otherWindow, nullptr);
    Activate(otherWindow);
    StoreSettings(TestJpegPath(), L"255");
    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == s.frame; }, kUiTimeoutMs))
        << "the foreground window is " << Narrow(ClassName(GetForegroundWindow())) << " of process "
        << Describe(GetForegroundWindow()).pid;
    bool otherBelow = false;
    for (HWND below = GetWindow(s.frame, GW_HWNDNEXT); below && !otherBelow; below = GetWindow(below, GW_HWNDNEXT))
        otherBelow = below == otherWindow;
    EXPECT_TRUE(otherBelow) << "the other program's window is above the frame";
    // Seen in front: painted, photo and band on the screen.
    ExpectFramed(s.frame, jpeg_, kRed, "in front");
}

// Photos that other programs hold open, as a viewer (reading, letting
// others read) or an editor (reading and writing, letting others do both)
// would, load as usual, at start-up and through New photo. A file held
// with no sharing at all cannot be read, and says so.
TEST_F(FrameDesktopTest, PhotosHeldOpenByOtherProgramsLoad) {
    const Photo pattern = PatternPhoto(41, 27);
    const std::wstring bmp = files_.Write(L"edited.bmp", MakeBmp24(pattern));
    const std::wstring jpg = files_.Write(L"viewed.jpg", jpegBytes_);
    const std::wstring exclusive = files_.Write(L"exclusive.jpg", jpegBytes_);
    HeldFile editor(bmp, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    HeldFile viewer(jpg, GENERIC_READ, FILE_SHARE_READ);
    HeldFile sole(exclusive, GENERIC_READ, 0);
    ASSERT_TRUE(editor.Open() && viewer.Open() && sole.Open());
    StoreSettings(bmp, L"255");

    std::vector<std::wstring> messages;
    Started s = StartProgram(CollectMessages(&messages));
    ASSERT_NE(s.frame, nullptr);
    EXPECT_TRUE(messages.empty()) << "at start-up: " << Narrow(messages.front());
    ExpectFramed(s.frame, pattern, kRed, "a bitmap an editor holds open");

    const DWORD pid = s.program.Id();
    ASSERT_TRUE(Choose(s.frame, kNewPhoto));
    ASSERT_TRUE(ChoosePhotoInDialog(pid, s.frame, jpg));
    EXPECT_EQ(WaitForMessage(pid, s.frame, 1500), std::nullopt);
    ExpectFramed(s.frame, jpeg_, kRed, "a JPEG a viewer holds open");

    ASSERT_TRUE(Choose(s.frame, kNewPhoto));
    ASSERT_TRUE(ChoosePhotoInDialog(pid, s.frame, exclusive));
    EXPECT_EQ(WaitForMessage(pid, s.frame, kUiTimeoutMs), std::wstring(kFileMissing));
    ExpectFramed(s.frame, jpeg_, kRed, "after a file held with no sharing");

    ASSERT_TRUE(Choose(s.frame, kExit));
    EXPECT_TRUE(Ends(s.program));
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), jpg);
}

// A stored photo whose reading fails at start-up, after the file has
// opened (here a pipe that another program serves, which has no length;
// for a user, a read error or no memory for a huge photo): the error is
// reported, the stored colour is still restored, and the close writes both
// settings back as they were.
TEST_F(FrameDesktopTest, FailingPhotoAtStartKeepsTheStoredColour) {
    const std::wstring pipe = L"\\\\.\\pipe\\miravel-e2e-" + std::to_wstring(GetCurrentProcessId()) + L".jpg";
    const HANDLE server = CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1,
                                           4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    StoreSettings(pipe, L"255");

    std::vector<std::wstring> messages;
    Started s = StartProgram([&](HWND dialog) {
        const bool colourDialog = DialogItem(dialog, 0x2D0) != nullptr;
        messages.push_back(colourDialog ? L"(colour dialog)" : DialogText(dialog));
        if (colourDialog) {
            CancelAndWait(dialog);
        } else {
            ConfirmDialog(dialog);
            WaitUntil([dialog] { return !IsWindow(dialog); }, kUiTimeoutMs);
        }
    });
    ASSERT_NE(s.frame, nullptr);
    const std::wstring readError = L"ファイル " + pipe + L" の読み込み中にエラーが発生しました。";
    EXPECT_EQ(messages, std::vector<std::wstring>{readError});

    ASSERT_TRUE(Choose(s.frame, kExit));
    EXPECT_TRUE(Ends(s.program));
    EXPECT_EQ(StoredSetting(L"FRAMECOLOR"), L"255") << "the colour was lost with the photo";
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), pipe);
    CloseHandle(server);
}

// Log off or shut down: the frame gets the session's end, not WM_CLOSE, and
// writes what was chosen since the start. Wine sends the session's end to
// every window of the prefix on `wineboot --end-session`.
TEST_F(FrameDesktopTest, EndOfTheSessionWritesTheSettings) {
    if (!RunningUnderWine()) GTEST_SKIP() << "ends the session through Wine's wineboot";
    const Photo pattern = PatternPhoto(33, 21);
    const std::wstring bmp = files_.Write(L"chosen.bmp", MakeBmp24(pattern));
    StoreSettings(TestJpegPath(), L"2642040");
    Started s = StartProgram();
    ASSERT_NE(s.frame, nullptr);
    const DWORD pid = s.program.Id();
    ASSERT_TRUE(Choose(s.frame, kNewPhoto));
    ASSERT_TRUE(ChoosePhotoInDialog(pid, s.frame, bmp));
    ASSERT_TRUE(Choose(s.frame, kFrameColour));
    ASSERT_TRUE(ChooseColourInDialog(pid, s.frame, kRedSwatch));
    ExpectFramed(s.frame, pattern, kRed, "chosen since the start");
    EXPECT_EQ(StoredSetting(L"FRAMECOLOR"), L"2642040") << "written before the session ended";

    Process endSession = Process::Start(L"C:\\windows\\system32\\wineboot.exe", L"--end-session");
    EXPECT_TRUE(endSession.WaitForExit(kStartTimeoutMs).has_value()) << "wineboot did not end";
    EXPECT_TRUE(WaitUntil([] { return StoredSetting(L"FRAMECOLOR") == std::wstring(L"255"); }, kUiTimeoutMs))
        << "FRAMECOLOR: " << Narrow(StoredSetting(L"FRAMECOLOR").value_or(L"(none)"));
    EXPECT_EQ(StoredSetting(L"CURRENTFILE"), bmp);
}

}  // namespace
}  // namespace e2e
