// The frame window in-process: the text rules of its settings and photo
// names, painting into a memory device context, the settings it restores
// and writes, its system-menu item and its ways of ending.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FrameText.h"
#include "MIRAVELDlg.h"
#include "StoredSettings.h"
#include "TestApp.h"
#include "WinTestUtil.h"

namespace {

TEST(FrameText, ExtensionIsTakenFromTheFileNameAlone) {
  const struct {
    const wchar_t* path;
    const wchar_t* extension;
  } cases[] = {
      {L"C:\\photos\\sunset.jpg", L".jpg"},
      {L"C:\\photos\\SUNSET.JPG", L".JPG"},
      {L"C:\\photos\\photo.jpeg", L".jpeg"},
      {L"C:\\photos\\archive.tar.bmp", L".bmp"},
      {L"C:\\photos.2024\\noextension", L""},
      {L"C:\\photos\\trailingdot.", L"."},
      {L"Z:/unix/style/picture.Bmp", L".Bmp"},
      {L"C:name.jpg", L".jpg"},
      {L"C:\\写真\\ﾌﾚｰﾑ.ＪＰＧ", L".ＪＰＧ"},
      {L"", L""},
  };
  for (const auto& c : cases) EXPECT_EQ(miravel::FileExtension(c.path), c.extension) << Narrow(c.path);

  EXPECT_TRUE(miravel::SameTextIgnoringCase(L".jPg", L".JPG"));
  EXPECT_FALSE(miravel::SameTextIgnoringCase(L".ＪＰＧ", L".JPG")) << "full-width letters are other letters";
  EXPECT_FALSE(miravel::SameTextIgnoringCase(L".jpeg", L".JPG"));

  // The loader a name chooses: every JPEG name and .bmp, letter case ignored.
  const struct {
    const wchar_t* path;
    const wchar_t* type;
  } types[] = {
      {L"C:\\p\\a.jpg", L"JPG"},   {L"C:\\p\\a.JPEG", L"JPG"}, {L"C:\\p\\a.Jpe", L"JPG"},
      {L"C:\\p\\a.jfif", L"JPG"},  {L"C:\\p\\a.BMP", L"BMP"},  {L"C:\\p\\a.gif", L""},
      {L"C:\\p\\ajpg", L""},       {L"C:\\p.jpg\\a", L""},     {L"C:\\p\\a.ＪＰＧ", L""},
      {L"C:\\p\\a.jpg.txt", L""},  {L"", L""},
  };
  for (const auto& c : types) EXPECT_EQ(miravel::PhotoTypeOfPath(c.path), c.type) << Narrow(c.path);
}

TEST(FrameText, StoredPlaceIsTwoCoordinates) {
  const struct {
    const wchar_t* text;
    bool valid;
    POINT place;
  } cases[] = {
      {L"100,80", true, {100, 80}},          {L"-1920,-12", true, {-1920, -12}},
      {L"0,0", true, {0, 0}},                {L"123456789,5", true, {123456789, 5}},
      {L"1234567890,5", false, {}},          {L"100", false, {}},
      {L"100,", false, {}},                  {L",80", false, {}},
      {L" 100,80", false, {}},               {L"100,80,3", false, {}},
      {L"a,b", false, {}},                   {L"", false, {}},
      {L"--1,2", false, {}},
  };
  for (const auto& c : cases) {
    POINT place{7, 7};
    EXPECT_EQ(miravel::PlaceFromSettingText(c.text, &place), c.valid) << Narrow(c.text);
    if (c.valid) {
      EXPECT_EQ(place.x, c.place.x) << Narrow(c.text);
      EXPECT_EQ(place.y, c.place.y) << Narrow(c.text);
      EXPECT_EQ(miravel::SettingTextFromPlace(place), c.text);
    }
  }
}

TEST(FrameText, StoredColourIsReadAsADecimalLong) {
  const struct {
    const wchar_t* text;
    COLORREF colour;
  } cases[] = {
      {L"255", 0x000000FF},
      {L"16777215", 0x00FFFFFF},
      {L"0", 0},
      {L"abc", 0},
      {L"", 0},
      {L"-", 0},
      {L"  \t42", 42},
      {L"+42", 42},
      {L"-1", 0xFFFFFFFF},
      {L"12abc", 12},
      {L"12 34", 12},
      {L" - 5", 0},
      {L"２５５", 0},  // full-width digits are not digits
      {L"2147483647", 0x7FFFFFFF},
      {L"99999999999999999999", 0x7FFFFFFF},
      {L"-2147483648", 0x80000000},
      {L"-99999999999999999999", 0x80000000},
  };
  for (const auto& c : cases) EXPECT_EQ(miravel::ColorFromSettingText(c.text), c.colour) << Narrow(c.text);

  EXPECT_EQ(miravel::SettingTextFromColor(0x000000FF), L"255");
  EXPECT_EQ(miravel::SettingTextFromColor(0x00FFFFFF), L"16777215");
  EXPECT_EQ(miravel::SettingTextFromColor(0xFFFFFFFF), L"-1");
}

// ---- Painting into a memory device context ----

// A 32-bit top-down DIB section of the given size, selected into a DC.
class MemoryCanvas {
 public:
  MemoryCanvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = ::CreateCompatibleDC(nullptr);
    bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    old_ = ::SelectObject(dc_, bitmap_);
    std::fill(bits_, bits_ + width * height, 0x00ABCDEFu);
  }
  ~MemoryCanvas() {
    ::SelectObject(dc_, old_);
    ::DeleteObject(bitmap_);
    ::DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  RECT rect() const { return RECT{0, 0, width_, height_}; }
  // 0x00RRGGBB
  uint32_t At(int x, int y) const {
    ::GdiFlush();
    return bits_[y * width_ + x] & 0x00FFFFFF;
  }

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
};

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return (uint32_t{r} << 16) | (uint32_t{g} << 8) | b; }

TEST(FramePainting, BandInTheFrameColourAndPhotoOneToOneAtTenTen) {
  // A 7 x 5 photo whose every pixel differs.
  const int w = 7, h = 5;
  std::vector<uint8_t> red(w * h), green(w * h), blue(w * h);
  for (int i = 0; i < w * h; ++i) {
    red[i] = static_cast<uint8_t>(i * 7);
    green[i] = static_cast<uint8_t>(255 - i * 5);
    blue[i] = static_cast<uint8_t>(i * 3 + 1);
  }
  CMIRAVELDlg frame;
  ASSERT_TRUE(frame.BuildDisplayBitmap(red.data(), green.data(), blue.data(), w, h));
  frame.m_crFrameColor = RGB(0x12, 0x34, 0x56);

  // The client area of a 3-pixel dialog frame: W + 19 by H + 19.
  MemoryCanvas canvas(w + 19, h + 19);
  ASSERT_TRUE(frame.PaintContent(canvas.dc(), canvas.rect()));
  int wrongBand = 0, wrongPhoto = 0;
  for (int y = 0; y < h + 19; ++y)
    for (int x = 0; x < w + 19; ++x) {
      const bool inPhoto = x >= 10 && x < 10 + w && y >= 10 && y < 10 + h;
      if (inPhoto) {
        const int i = (y - 10) * w + (x - 10);
        wrongPhoto += canvas.At(x, y) != Rgb(red[i], green[i], blue[i]);
      } else {
        wrongBand += canvas.At(x, y) != 0x123456u;
      }
    }
  EXPECT_EQ(wrongPhoto, 0);
  EXPECT_EQ(wrongBand, 0);
}

TEST(FramePainting, NothingIsDrawnWithoutAPhotoOrFromABlockThatLies) {
  CMIRAVELDlg frame;
  frame.m_crFrameColor = RGB(255, 0, 0);
  MemoryCanvas canvas(40, 30);
  EXPECT_FALSE(frame.PaintContent(canvas.dc(), canvas.rect())) << "no photo";
  EXPECT_EQ(canvas.At(0, 0), 0xABCDEFu);

  // A display bitmap whose headers claim more rows than the block holds
  // (as a damaged block would): declined, never read past its end.
  const uint8_t pixel[3] = {1, 2, 3};
  ASSERT_TRUE(frame.BuildDisplayBitmap(pixel, pixel + 1, pixel + 2, 1, 1));
  std::vector<uint8_t>& block = *frame.m_pDisplayBitmap;
  const int32_t lyingHeight = 5000;
  std::memcpy(&block[22], &lyingHeight, 4);
  EXPECT_FALSE(frame.PaintContent(canvas.dc(), canvas.rect()));
  EXPECT_EQ(canvas.At(0, 0), 0xABCDEFu);
  int w = 0, h = 0;
  EXPECT_FALSE(frame.PhotoSize(&w, &h));
}

// ---- Settings restored at initialisation ----

class FrameSettings : public testing::Test {
 protected:
  void SetUp() override { TestApp().TakeMessages(); }
  void TearDown() override { TestApp().TakeMessages(); }
};

TEST_F(FrameSettings, StoredPathsChooseTheirLoaderByTheirExtension) {
  const std::wstring jpeg = SourcePath("tests/data/jpeg/rocket-420-203x117.jpg");
  const std::wstring missingDir = SourcePath("tests/data/no-such-folder");
  const struct {
    std::wstring path;
    const wchar_t* type;
    bool photo;
    std::vector<std::wstring> messages;
  } cases[] = {
      {jpeg, L"JPG", true, {}},
      // ".Jpg" matches ignoring case: the JPEG loader, which finds no file.
      {missingDir + L"\\gone.Jpg", L"JPG", false, {L"ﾌｧｲﾙがありません。"}},
      {missingDir + L"\\gone.bMp", L"BMP", false, {L"ﾌｧｲﾙがありません。"}},
      // Every JPEG name, any case, takes the JPEG loader.
      {missingDir + L"\\photo.jpeg", L"JPG", false, {L"ﾌｧｲﾙがありません。"}},
      {missingDir + L"\\photo.JFIF", L"JPG", false, {L"ﾌｧｲﾙがありません。"}},
      {missingDir + L"\\photo.Jpe", L"JPG", false, {L"ﾌｧｲﾙがありません。"}},
      // A name no loader takes: nothing loaded, nothing said, the path kept.
      {missingDir + L"\\photo.gif", L"", false, {}},
      {missingDir + L"\\photoJPG", L"", false, {}},
      {L"Z:\\x", L"", false, {}},
  };
  for (const auto& c : cases) {
    StoredSettings settings(c.path.c_str(), L"255");
    CMIRAVELDlg frame;
    frame.RestoreSettings();
    EXPECT_EQ(frame.m_strPicturePath, c.path);
    EXPECT_EQ(frame.m_strPictureType, c.type) << Narrow(c.path);
    EXPECT_EQ(frame.m_pDisplayBitmap != nullptr, c.photo) << Narrow(c.path);
    EXPECT_EQ(TestApp().TakeMessages(), c.messages) << Narrow(c.path);
    EXPECT_EQ(frame.m_crFrameColor, static_cast<COLORREF>(0x000000FF));
  }
  // The decoded photo has the file's size.
  StoredSettings settings(jpeg.c_str(), L"abc");
  CMIRAVELDlg frame;
  frame.RestoreSettings();
  int w = 0, h = 0;
  ASSERT_TRUE(frame.PhotoSize(&w, &h));
  EXPECT_EQ(w, 203);
  EXPECT_EQ(h, 117);
  EXPECT_EQ(frame.m_crFrameColor, 0u) << "\"abc\" is black";
}

// Runs a frame window modally on stored settings; once it shows, calls
// whileShown with it.
INT_PTR RunFrame(CMIRAVELDlg& frame, const std::function<void()>& whileShown) {
  TestApp().m_pMainWnd = &frame;
  bool called = false;
  ThreadTimer watch(50, [&] {
    if (!frame.m_hWnd || !::IsWindowVisible(frame.m_hWnd) || called) return;
    called = true;
    whileShown();
  });
  const INT_PTR result = frame.DoModal();
  EXPECT_TRUE(called);
  return result;
}

// WM_CLOSE writes both settings; Escape and Enter end without writing.
TEST_F(FrameSettings, OnlyCloseWritesTheSettings) {
  const struct {
    const char* what;
    UINT message;
    WPARAM wParam;
    INT_PTR result;
    bool writes;
  } endings[] = {
      {"WM_CLOSE", WM_CLOSE, 0, IDCANCEL, true},
      {"Escape", WM_COMMAND, IDCANCEL, IDCANCEL, false},
      {"Enter", WM_COMMAND, IDOK, IDOK, false},
  };
  for (const auto& ending : endings) {
    StoredSettings settings(L"Z:\\kept\\photo.gif", L"255");
    CMIRAVELDlg frame;
    const INT_PTR result = RunFrame(frame, [&] {
      // The run's changes, which only WM_CLOSE keeps.
      frame.m_crFrameColor = RGB(0, 128, 0);
      frame.m_strPicturePath = L"Z:\\changed\\photo.gif";
      ::PostMessageW(frame.m_hWnd, ending.message, ending.wParam, 0);
    });
    EXPECT_EQ(result, ending.result) << ending.what;
    EXPECT_EQ(StoredSettings::Get(L"CURRENTFILE"), ending.writes ? L"Z:\\changed\\photo.gif" : L"Z:\\kept\\photo.gif")
        << ending.what;
    EXPECT_EQ(StoredSettings::Get(L"FRAMECOLOR"), ending.writes ? L"32768" : L"255") << ending.what;
    EXPECT_TRUE(TestApp().TakeMessages().empty()) << ending.what;
  }
}

// Moved to a monitor of another DPI: the window goes where the system
// suggests, sized so that the photo stays 1:1 in device pixels (only the
// border grows); without a photo it takes the suggested size. At 96 DPI the
// outer size is the photo plus 25 each way.
TEST_F(FrameSettings, DpiChangeKeepsThePhotoOneToOne) {
  for (const bool withPhoto : {true, false}) {
    StoredSettings settings(withPhoto ? SourcePath("tests/data/jpeg/rocket-420-203x117.jpg").c_str()
                                      : L"Z:\\no\\photo.jpeg",
                            L"255");
    CMIRAVELDlg frame;
    RunFrame(frame, [&] {
      if (withPhoto) {
        const SIZE at96 = frame.OuterSizeForPhoto(203, 117, 96);
        EXPECT_EQ(at96.cx, 203 + 25);
        EXPECT_EQ(at96.cy, 117 + 25);
      }
      RECT suggested{140, 90, 140 + 500, 90 + 400};
      ::SendMessageW(frame.m_hWnd, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
      RECT now{};
      ::GetWindowRect(frame.m_hWnd, &now);
      EXPECT_EQ(now.left, 140);
      EXPECT_EQ(now.top, 90);
      const SIZE expected = withPhoto ? frame.OuterSizeForPhoto(203, 117, 192) : SIZE{500, 400};
      EXPECT_EQ(now.right - now.left, expected.cx) << (withPhoto ? "photo" : "no photo");
      EXPECT_EQ(now.bottom - now.top, expected.cy) << (withPhoto ? "photo" : "no photo");
      if (withPhoto) {
        // The band is 10 + 9 device pixels at any DPI; the border grows with it.
        RECT client{0, 0, 203 + 19, 117 + 19};
        AdjustWindowRectForDpi(&client, static_cast<DWORD>(::GetWindowLongW(frame.m_hWnd, GWL_STYLE)),
                               static_cast<DWORD>(::GetWindowLongW(frame.m_hWnd, GWL_EXSTYLE)), 192);
        EXPECT_EQ(expected.cx, client.right - client.left);
        EXPECT_GE(expected.cx, 203 + 25);
      }
      ::PostMessageW(frame.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    });
  }
}

// Initialisation: both icons, and the About item below a separator at the
// end of the system menu.
TEST_F(FrameSettings, IconsAndTheSystemMenuItem) {
  StoredSettings settings;
  CMIRAVELDlg frame;
  bool noSystemMenu = false;
  RunFrame(frame, [&] {
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(frame.m_hWnd, WM_GETICON, ICON_BIG, 0)), frame.m_hIcon);
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(frame.m_hWnd, WM_GETICON, ICON_SMALL, 0)), frame.m_hIcon);
    const HMENU systemMenu = ::GetSystemMenu(frame.m_hWnd, FALSE);
    noSystemMenu = systemMenu == nullptr;
    if (systemMenu) {
      const int count = ::GetMenuItemCount(systemMenu);
      EXPECT_GE(count, 2);
      EXPECT_EQ(::GetMenuItemID(systemMenu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
      wchar_t text[128] = {};
      ::GetMenuStringW(systemMenu, count - 1, text, 128, MF_BYPOSITION);
      EXPECT_EQ(std::wstring(text), L"Orvanto のﾊﾞｰｼﾞｮﾝ情報(&A)...");
      EXPECT_TRUE(::GetMenuState(systemMenu, count - 2, MF_BYPOSITION) & MF_SEPARATOR);
    }
    ::PostMessageW(frame.m_hWnd, WM_COMMAND, IDCANCEL, 0);
  });
  if (noSystemMenu) {
    // Wine gives a window without WS_SYSMENU no system menu at all, so the
    // frame finds none to extend; its About item is then reached only as
    // the command (WM_SYSCOMMAND 16), which the end-to-end tests send.
    const bool wine = ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    ASSERT_TRUE(wine) << "no system menu on Windows";
    GTEST_SKIP() << "Wine has no system menu for a window without WS_SYSMENU";
  }
}

}  // namespace
