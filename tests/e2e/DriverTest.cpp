// The driver checked against its own small target program: if these fail,
// a failure of the program's end-to-end tests says nothing about the program.
#include "E2eTest.h"

namespace e2e {
namespace {

class DriverTest : public E2eTest {
protected:
    // Starts the target and waits for its window.
    HWND StartTarget(const std::wstring& arguments = L"") {
        target_ = Process::Start(TargetExe(), arguments);
        HWND hwnd = WaitFor([&] { return FindVisibleWindow(target_.Id(), L"E2eTarget"); }, kStartTimeoutMs);
        EXPECT_NE(hwnd, nullptr) << "the target's window did not appear";
        return hwnd;
    }
    bool TitleBecomes(HWND hwnd, const std::wstring& title) {
        return WaitUntil([&] { return WindowText(hwnd) == title; }, kUiTimeoutMs);
    }
    Process target_;
};

TEST_F(DriverTest, FindsWindowGeometryAndStyleOfAProcessAndEndsItById) {
    HWND hwnd = StartTarget();
    ASSERT_NE(hwnd, nullptr);
    WindowInfo info = Describe(hwnd);
    EXPECT_EQ(info.pid, target_.Id());
    EXPECT_EQ(info.title, L"ready");
    EXPECT_EQ(info.window.left, 160);
    EXPECT_EQ(info.window.top, 120);
    EXPECT_EQ(Width(info.window), 320);
    EXPECT_EQ(Height(info.window), 200);
    // WS_BORDER takes one pixel on each side.
    EXPECT_EQ(Width(info.client), 318);
    EXPECT_EQ(info.client.left, 161);
    EXPECT_TRUE(info.style & WS_POPUP);
    EXPECT_FALSE(info.style & WS_CAPTION & ~WS_BORDER);
    EXPECT_TRUE(info.exStyle & WS_EX_APPWINDOW);

    const DWORD pid = target_.Id();
    target_.Terminate();
    EXPECT_FALSE(target_.Running());
    EXPECT_EQ(ProcessesNamed(L"e2e_target.exe").count(pid), 0u);
}

TEST_F(DriverTest, ReadsTheScreenPixelsOfAWindow) {
    HWND hwnd = StartTarget();
    ASSERT_NE(hwnd, nullptr);
    RECT client = Describe(hwnd).client;
    ASSERT_TRUE(WaitUntil([&] { return ScreenShot(client).At(0, 0) == 0xC81E3C; }, kUiTimeoutMs))
        << "the target's fill never showed";
    ScreenShot shot(client);
    int wrong = 0;
    for (int y = 0; y < shot.Height(); ++y)
        for (int x = 0; x < shot.Width(); ++x) wrong += shot.At(x, y) != 0xC81E3C;
    EXPECT_EQ(wrong, 0) << "pixels of the client area that are not the fill colour";
}

TEST_F(DriverTest, PicksAPopupMenuItemWithRealInput) {
    HWND hwnd = StartTarget();
    ASSERT_NE(hwnd, nullptr);
    POINT inside = Centre(Describe(hwnd).client);
    Click(inside, /*right=*/true);
    HWND menu = WaitForPopupMenu(kUiTimeoutMs);
    ASSERT_NE(menu, nullptr) << "no popup menu appeared";
    // The menu opens at the cursor.
    RECT r;
    GetWindowRect(menu, &r);
    EXPECT_LE(std::abs(r.left - inside.x), 2);
    EXPECT_LE(std::abs(r.top - inside.y), 2);
    PickMenuItemByPosition(2);   // Gamma, past the separator
    EXPECT_TRUE(TitleBecomes(hwnd, L"command 103")) << Narrow(WindowText(hwnd));
    EXPECT_EQ(FindPopupMenu(), nullptr);
}

TEST_F(DriverTest, DragMovesTheWindowByTheCursorDistance) {
    HWND hwnd = StartTarget();
    ASSERT_NE(hwnd, nullptr);
    RECT before = Describe(hwnd).window;
    POINT from{before.left + 30, before.top + 30};
    Drag(from, {from.x + 57, from.y + 33});
    ASSERT_TRUE(TitleBecomes(hwnd, L"moved"));
    EXPECT_EQ(CursorPos().x, from.x + 57);
    EXPECT_EQ(CursorPos().y, from.y + 33);
    RECT after = Describe(hwnd).window;
    EXPECT_EQ(after.left - before.left, 57);
    EXPECT_EQ(after.top - before.top, 33);
}

TEST_F(DriverTest, TypesUnicodeTextIntoTheForegroundWindow) {
    HWND hwnd = StartTarget();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(Activate(hwnd));
    TypeText(L"Ab写真ﾌﾚｰﾑ");
    EXPECT_TRUE(TitleBecomes(hwnd, L"typed Ab写真ﾌﾚｰﾑ")) << Narrow(WindowText(hwnd));
}

TEST_F(DriverTest, TypesAPathIntoTheOpenFileDialog) {
    HWND hwnd = StartTarget(L"/open");
    ASSERT_NE(hwnd, nullptr);
    HWND dialog = WaitFor([&] { return FindDialogOtherThan(target_.Id(), hwnd); }, kStartTimeoutMs);
    ASSERT_NE(dialog, nullptr) << "no open-file dialog";
    EXPECT_EQ(Describe(dialog).owner, hwnd);
    const std::wstring path = TargetExe();   // a file that exists
    ASSERT_TRUE(TypeIntoOpenFileDialog(dialog, path));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kUiTimeoutMs));
    std::wstring title = WindowText(hwnd);
    EXPECT_EQ(CompareStringOrdinal(title.c_str(), -1, (L"open " + path).c_str(), -1, TRUE), CSTR_EQUAL)
        << Narrow(title);
}

TEST_F(DriverTest, CancelsACommonDialogWithEscape) {
    HWND hwnd = StartTarget(L"/open");
    ASSERT_NE(hwnd, nullptr);
    HWND dialog = WaitFor([&] { return FindDialogOtherThan(target_.Id(), hwnd); }, kStartTimeoutMs);
    ASSERT_NE(dialog, nullptr);
    CancelDialog(dialog);
    EXPECT_TRUE(TitleBecomes(hwnd, L"open cancelled")) << Narrow(WindowText(hwnd));
}

TEST_F(DriverTest, ClicksABasicColourInTheColourDialog) {
    HWND hwnd = StartTarget(L"/colour");
    ASSERT_NE(hwnd, nullptr);
    HWND dialog = WaitFor([&] { return FindDialogOtherThan(target_.Id(), hwnd); }, kStartTimeoutMs);
    ASSERT_NE(dialog, nullptr) << "no colour dialog";
    HWND grid = DialogItem(dialog, 0x2D0);
    ASSERT_NE(grid, nullptr);
    // The colour the swatch shows on the screen is the colour chosen.
    const int index = 8 * 2 + 3;
    ASSERT_TRUE(ClickBasicColour(dialog, index));
    RECT client;
    GetClientRect(grid, &client);
    POINT centre{(index % 8) * (client.right / 8) + client.right / 16,
                 (index / 8) * (client.bottom / 6) + client.bottom / 12};
    ClientToScreen(grid, &centre);
    Rgb shown = ScreenShot({centre.x, centre.y, centre.x + 1, centre.y + 1}).At(0, 0);
    ConfirmDialog(dialog);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, kUiTimeoutMs));
    std::wstring title = WindowText(hwnd);
    ASSERT_EQ(title.rfind(L"colour ", 0), 0u) << Narrow(title);
    ASSERT_NE(title, L"colour cancelled");
    const COLORREF chosen = std::stoul(title.substr(7));
    EXPECT_EQ(RgbFromColorref(chosen), shown) << Hex(RgbFromColorref(chosen)) << " vs " << Hex(shown);
}

TEST_F(DriverTest, ReadsWhatAnotherProcessWroteToTheRegistry) {
    const std::wstring key = std::wstring(FreshSettings::kKey) + L"\\e2e_target";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, FreshSettings::kKey)) << "the fixture starts from empty settings";
    HWND hwnd = StartTarget();
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(Activate(hwnd));
    TypeText(L"x");
    ASSERT_TRUE(TitleBecomes(hwnd, L"typed x"));
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(target_.WaitForExit(kUiTimeoutMs).has_value());
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, key, L"LAST").value_or(L"(none)"), L"typed x");
    EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, key), std::vector<std::wstring>{L"LAST"});

    ASSERT_TRUE(WriteString(HKEY_CURRENT_USER, key, L"OTHER", L"値"));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, key, L"OTHER").value_or(L""), L"値");
    EXPECT_FALSE(ReadDword(HKEY_CURRENT_USER, key, L"OTHER").has_value()) << "a string is not a DWORD";
    EXPECT_TRUE(DeleteKeyTree(HKEY_CURRENT_USER, FreshSettings::kKey));
}

TEST_F(DriverTest, EndsCopiesAProgramStartedItself) {
    const std::set<DWORD> before = ProcessesNamed(L"e2e_target.exe");
    HWND hwnd = StartTarget(L"/spawn");
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return ProcessesNamed(L"e2e_target.exe").size() == before.size() + 2; },
                          kStartTimeoutMs));
    EXPECT_EQ(EndProcessesStartedSince(L"e2e_target.exe", before), 2);
    EXPECT_EQ(ProcessesNamed(L"e2e_target.exe"), before);
}

TEST_F(DriverTest, DialogUnitsFollowTheDialogFont) {
    // The same template size in a larger font is larger, and 4 x 8 dialog
    // units are one average character.
    SIZE small = DialogUnitsToPixels(L"ＭＳ Ｐゴシック", 9, 240, 160);
    SIZE large = DialogUnitsToPixels(L"ＭＳ Ｐゴシック", 18, 240, 160);
    EXPECT_GT(small.cx, 0);
    EXPECT_GT(large.cx, small.cx);
    EXPECT_GT(large.cy, small.cy);
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontW(-MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                             DEFAULT_CHARSET, 0, 0, 0, 0, L"ＭＳ Ｐゴシック");
    HGDIOBJ old = SelectObject(dc, font);
    TEXTMETRICW tm;
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    EXPECT_EQ(small.cy, tm.tmHeight * 20) << "160 vertical units are 20 character heights";
}

TEST(DriverFonts, TheDialogFontDrawsJapanese) {
    // The dialogs ask for "ＭＳ Ｐゴシック"; on a machine without it (Wine) the
    // prefix maps it to a Japanese font, or every Japanese text would show
    // as empty boxes.
    HDC dc = GetDC(nullptr);
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"ＭＳ Ｐゴシック");
    HGDIOBJ old = SelectObject(dc, font);
    const std::wstring text = L"新しい写真たてﾊﾞｰｼﾞｮﾝ情報ﾌﾚｰﾑの色";
    std::vector<WORD> glyphs(text.size());
    DWORD converted = GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(),
                                       GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    DeleteObject(font);
    ReleaseDC(nullptr, dc);
    ASSERT_EQ(converted, text.size());
    for (size_t i = 0; i < text.size(); ++i)
        EXPECT_NE(glyphs[i], 0xFFFF) << "no glyph for character " << i << " of " << Narrow(text);
}

TEST(DriverAutomation, AnUnknownProgIdIsReportedNotCrashed) {
    ComApartment com;
    ASSERT_TRUE(SUCCEEDED(com.Result()));
    HRESULT hr = S_OK;
    EXPECT_EQ(CreateAutomationObject(L"NoSuch.Application.E2e", &hr), nullptr);
    EXPECT_EQ(hr, CO_E_CLASSSTRING);
}

}  // namespace
}  // namespace e2e
