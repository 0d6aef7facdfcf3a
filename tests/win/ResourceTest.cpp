// The resources as the program loads them at run time: every string of the
// string table, the three dialog templates, the menu, the icon, the splash
// bitmap and the manifest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "TestApp.h"
#include "resource.h"

namespace {

TEST(Resources, StringTableHoldsEveryTextExactly) {
  const struct {
    UINT id;
    const wchar_t* text;
  } strings[] = {
      {100, L"OLE の初期化に失敗しました。 OLE ﾗｲﾌﾞﾗﾘのﾊﾞｰｼﾞｮﾝが正しいことを確認してください。"},
      {101, L"Orvanto のﾊﾞｰｼﾞｮﾝ情報(&A)..."},
      {102, L"Quillfern"},
      {201, L"SETTING"},
      {203, L"CURRENTFILE"},
      {204, L"FRAMECOLOR"},
      {205, L"FRAMEPOSITION"},
      {206, L"SHRINKPHOTO"},
      {104, L"写真 (*.jpg;*.jpeg;*.jpe;*.jfif;*.bmp)|*.jpg;*.jpeg;*.jpe;*.jfif;*.bmp|すべてのﾌｧｲﾙ (*.*)|*.*||"},
      {32771, L"新しい写真立てを作ります。"},
      {32772, L"新しい写真に差し替えます。"},
      {32775, L"ﾌﾚｰﾑの色を変更します。"},
      {32776, L"写真たてを常に表示します。"},
      {32777, L"写真のｻｲｽﾞを小さくします。"},
      {57664, L"ﾊﾞｰｼﾞｮﾝ情報を表示します。"},
      {57665, L"ｱﾌﾟﾘｹｰｼｮﾝを終了します。"},
      {61703, L"ﾍﾙﾌﾟの起動に失敗しました。"},
  };
  for (const auto& s : strings) {
    EXPECT_EQ(AfxLoadString(s.id), s.text) << "string " << s.id;
  }
  // No application-title string: the executable's name names the program.
  EXPECT_EQ(AfxLoadString(IDS_APP_TITLE), L"");
}

// ---- dialog templates ----

struct Item {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::wstring className;  // "#130" for an ordinal
  std::wstring title;      // "#128" for an ordinal
};

struct Template {
  DWORD style = 0;
  DWORD exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  std::wstring menu, className, title;
  WORD pointSize = 0;
  std::wstring typeface;
  std::vector<Item> items;
};

class Reader {
 public:
  Reader(const BYTE* data, DWORD size) : data_(data), size_(size) {}
  bool ok() const { return ok_; }
  WORD Word() {
    if (at_ + 2 > size_) return Fail();
    const WORD w = static_cast<WORD>(data_[at_] | (data_[at_ + 1] << 8));
    at_ += 2;
    return w;
  }
  DWORD Dword() {
    const WORD low = Word();
    return low | (static_cast<DWORD>(Word()) << 16);
  }
  BYTE Byte() {
    if (at_ + 1 > size_) return static_cast<BYTE>(Fail());
    return data_[at_++];
  }
  std::wstring String() {
    std::wstring s;
    for (WORD c; ok_ && (c = Word()) != 0;) s += static_cast<wchar_t>(c);
    return s;
  }
  std::wstring StringOrOrdinal() {
    const WORD first = Word();
    if (first == 0) return L"";
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring s(1, static_cast<wchar_t>(first));
    return s + String();
  }
  void AlignDword() { at_ = (at_ + 3) & ~DWORD{3}; }
  void Skip(DWORD n) { at_ += n; }

 private:
  WORD Fail() {
    ok_ = false;
    return 0;
  }
  const BYTE* data_;
  DWORD size_;
  DWORD at_ = 0;
  bool ok_ = true;
};

bool LoadTemplate(UINT id, Template* t) {
  const HINSTANCE instance = AfxGetResourceHandle();
  const HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5));
  if (!res) return false;
  Reader r(static_cast<const BYTE*>(::LockResource(::LoadResource(instance, res))), ::SizeofResource(instance, res));
  if (r.Word() != 1 || r.Word() != 0xFFFF) return false;  // extended templates only
  r.Dword();                                              // help id
  t->exStyle = r.Dword();
  t->style = r.Dword();
  const WORD count = r.Word();
  t->x = static_cast<short>(r.Word());
  t->y = static_cast<short>(r.Word());
  t->cx = static_cast<short>(r.Word());
  t->cy = static_cast<short>(r.Word());
  t->menu = r.StringOrOrdinal();
  t->className = r.StringOrOrdinal();
  t->title = r.String();
  if (t->style & DS_SETFONT) {
    t->pointSize = r.Word();
    r.Word();  // weight
    r.Byte();  // italic
    r.Byte();  // charset
    t->typeface = r.String();
  }
  for (WORD i = 0; i < count && r.ok(); ++i) {
    r.AlignDword();
    Item item;
    r.Dword();  // help id
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = static_cast<short>(r.Word());
    item.y = static_cast<short>(r.Word());
    item.cx = static_cast<short>(r.Word());
    item.cy = static_cast<short>(r.Word());
    item.id = static_cast<int>(r.Dword());
    item.className = r.StringOrOrdinal();
    item.title = r.StringOrOrdinal();
    r.Skip(r.Word());  // creation data
    t->items.push_back(item);
  }
  return r.ok();
}

bool IsStaticClass(const std::wstring& name) {
  return name == L"#130" || _wcsicmp(name.c_str(), L"Static") == 0;
}

TEST(Resources, FrameWindowTemplate) {
  Template t;
  ASSERT_TRUE(LoadTemplate(IDD_MIRAVEL_DIALOG, &t));
  EXPECT_EQ(t.style, 0x900000C0u);  // WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT
  EXPECT_EQ(t.exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
  EXPECT_EQ(t.x, 0);
  EXPECT_EQ(t.y, 0);
  EXPECT_EQ(t.cx, 175);
  EXPECT_EQ(t.cy, 202);
  EXPECT_EQ(t.title, L"");
  EXPECT_EQ(t.menu, L"");
  EXPECT_EQ(t.pointSize, 9);
  EXPECT_EQ(t.typeface, L"ＭＳ Ｐゴシック");
  EXPECT_TRUE(t.items.empty());
}

TEST(Resources, SplashTemplate) {
  Template t;
  ASSERT_TRUE(LoadTemplate(IDD_SPLASH, &t));
  EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | DS_SETFONT));  // no caption, border or system menu
  EXPECT_EQ(t.x, 0);
  EXPECT_EQ(t.y, 0);
  EXPECT_EQ(t.cx, 243);
  EXPECT_EQ(t.cy, 153);
  EXPECT_EQ(t.title, L"");
  EXPECT_EQ(t.pointSize, 9);
  EXPECT_EQ(t.typeface, L"ＭＳ Ｐゴシック");
  ASSERT_EQ(t.items.size(), 1u);
  const Item& picture = t.items[0];
  EXPECT_EQ(picture.id, -1);
  EXPECT_TRUE(IsStaticClass(picture.className));
  EXPECT_EQ(picture.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | SS_BITMAP));
  EXPECT_EQ(picture.title, L"#133");
  EXPECT_EQ(picture.x, 0);
  EXPECT_EQ(picture.y, 0);
  EXPECT_EQ(picture.cx, 243);
  EXPECT_EQ(picture.cy, 153);
}

TEST(Resources, AboutBoxTemplate) {
  Template t;
  ASSERT_TRUE(LoadTemplate(IDD_ABOUTBOX, &t));
  EXPECT_EQ(t.style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(t.x, 0);
  EXPECT_EQ(t.y, 0);
  EXPECT_EQ(t.cx, 235);
  EXPECT_EQ(t.cy, 55);
  EXPECT_EQ(t.title, L"MIRAVELのﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_EQ(t.pointSize, 9);
  EXPECT_EQ(t.typeface, L"ＭＳ Ｐゴシック");
  ASSERT_EQ(t.items.size(), 4u);

  const Item& icon = t.items[0];
  EXPECT_TRUE(IsStaticClass(icon.className));
  EXPECT_EQ(icon.id, -1);
  EXPECT_EQ(icon.title, L"#128");
  EXPECT_EQ(icon.style & SS_TYPEMASK, static_cast<DWORD>(SS_ICON));
  EXPECT_EQ((icon.x << 16) | icon.y, (11 << 16) | 17);
  EXPECT_EQ((icon.cx << 16) | icon.cy, (20 << 16) | 20);

  const Item& name = t.items[1];
  EXPECT_TRUE(IsStaticClass(name.className));
  EXPECT_EQ(name.id, -1);
  EXPECT_EQ(name.title, L"Orvanto Version 1.0");
  EXPECT_EQ(name.style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
  EXPECT_TRUE(name.style & SS_NOPREFIX);
  EXPECT_TRUE(name.style & WS_GROUP);
  EXPECT_EQ((name.x << 16) | name.y, (40 << 16) | 10);
  EXPECT_EQ((name.cx << 16) | name.cy, (119 << 16) | 8);

  const Item& notice = t.items[2];
  EXPECT_TRUE(IsStaticClass(notice.className));
  EXPECT_EQ(notice.id, -1);
  EXPECT_FALSE(notice.title.empty());
  EXPECT_EQ(notice.style & SS_TYPEMASK, static_cast<DWORD>(SS_LEFT));
  EXPECT_TRUE(notice.style & WS_GROUP);
  EXPECT_EQ((notice.x << 16) | notice.y, (40 << 16) | 25);
  EXPECT_EQ((notice.cx << 16) | notice.cy, (119 << 16) | 8);

  const Item& ok = t.items[3];
  EXPECT_TRUE(ok.className == L"#128" || _wcsicmp(ok.className.c_str(), L"Button") == 0);
  EXPECT_EQ(ok.id, IDOK);
  EXPECT_EQ(ok.title, L"OK");
  EXPECT_EQ(ok.style & 0xF, static_cast<DWORD>(BS_DEFPUSHBUTTON));
  EXPECT_TRUE(ok.style & WS_TABSTOP);
  EXPECT_TRUE(ok.style & WS_GROUP);
  EXPECT_EQ((ok.x << 16) | ok.y, (178 << 16) | 7);
  EXPECT_EQ((ok.cx << 16) | ok.cy, (50 << 16) | 14);
}

TEST(Resources, PopupMenuItemsInOrder) {
  const HMENU menu = ::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_POPUP_MENU));
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(::GetMenuItemCount(menu), 1);
  const HMENU popup = ::GetSubMenu(menu, 0);
  ASSERT_NE(popup, nullptr);
  const struct {
    UINT id;  // 0: separator
    const wchar_t* text;
  } items[] = {
      {32771, L"新しい写真たて(&N)"}, {32772, L"新しい写真(&P)"}, {0, nullptr},
      {32775, L"ﾌﾚｰﾑの色を変える(&C)"}, {32776, L"常に表示する(&T)"}, {32777, L"写真を画面に合わせて縮小する(&S)"},
      {0, nullptr},
      {57664, L"ﾊﾞｰｼﾞｮﾝ情報(&V)"}, {0, nullptr}, {57665, L"ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)"},
  };
  ASSERT_EQ(::GetMenuItemCount(popup), static_cast<int>(std::size(items)));
  for (UINT i = 0; i < std::size(items); ++i) {
    wchar_t text[128] = {};
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
    info.dwTypeData = text;
    info.cch = 127;
    ASSERT_TRUE(::GetMenuItemInfoW(popup, i, TRUE, &info));
    if (!items[i].text) {
      EXPECT_TRUE(info.fType & MFT_SEPARATOR) << "item " << i;
      continue;
    }
    EXPECT_EQ(info.wID, items[i].id) << "item " << i;
    EXPECT_EQ(std::wstring(text), items[i].text) << "item " << i;
    EXPECT_EQ(info.fState & (MFS_CHECKED | MFS_GRAYED), 0u) << "item " << i;
  }
  ::DestroyMenu(menu);
}

TEST(Resources, IconHas32And16PixelImagesOf16Colours) {
  const HINSTANCE instance = AfxGetResourceHandle();
  const HRSRC group = ::FindResourceW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14));
  ASSERT_NE(group, nullptr);
  const BYTE* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(instance, group)));
  ASSERT_GE(::SizeofResource(instance, group), 6u + 2 * 14u);
  ASSERT_EQ(dir[4] | (dir[5] << 8), 2);  // two images
  std::vector<int> sizes;
  for (int i = 0; i < 2; ++i) {
    const BYTE* entry = dir + 6 + 14 * i;  // width, height, colours, reserved, planes, bit count, ...
    EXPECT_EQ(entry[0], entry[1]);
    sizes.push_back(entry[0]);
    EXPECT_EQ(entry[2] == 16 || (entry[6] | (entry[7] << 8)) == 4, true) << "image " << i;
  }
  std::sort(sizes.begin(), sizes.end());
  EXPECT_EQ(sizes, (std::vector<int>{16, 32}));
  EXPECT_NE(::LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME)), nullptr);
}

TEST(Resources, SplashBitmapIs426x230With256ColourPalette) {
  const HINSTANCE instance = AfxGetResourceHandle();
  const HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(IDB_SPLASH), MAKEINTRESOURCEW(2));
  ASSERT_NE(res, nullptr);
  ASSERT_GE(::SizeofResource(instance, res), sizeof(BITMAPINFOHEADER));
  BITMAPINFOHEADER header;
  std::memcpy(&header, ::LockResource(::LoadResource(instance, res)), sizeof header);
  EXPECT_EQ(header.biSize, 40u);
  EXPECT_EQ(header.biWidth, 426);
  EXPECT_EQ(header.biHeight, 230);  // positive: bottom-up
  EXPECT_EQ(header.biBitCount, 8);
  EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_TRUE(header.biClrUsed == 0 || header.biClrUsed == 256);
  EXPECT_EQ(::SizeofResource(instance, res), 40u + 256 * 4 + 428u * 230);
}

TEST(Resources, ManifestAsksForCommonControls6AndPerMonitorDpi) {
  const HINSTANCE instance = AfxGetResourceHandle();
  const HRSRC res = ::FindResourceW(instance, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(res, nullptr);
  const std::string manifest(static_cast<const char*>(::LockResource(::LoadResource(instance, res))),
                             ::SizeofResource(instance, res));
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(manifest.find("true/pm"), std::string::npos);
}

}  // namespace
