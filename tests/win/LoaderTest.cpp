// The picture loaders of the frame window: every failure shows its message
// (captured through the application's message box) and leaves the previous
// photo alone; BMP files load byte for byte; JPEG files become the display
// bitmap of the decoder's planes.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "BmpCheck.h"
#include "DisplayBitmap.h"
#include "JpegDecoder.h"
#include "MIRAVELDlg.h"
#include "TestApp.h"

namespace {

const wchar_t kFileMissing[] = L"ﾌｧｲﾙがありません。";
const wchar_t kNotDib[] = L"DIBファイルではありません";
const wchar_t kJpegFailed[] = L"JGEPﾃﾞｰﾀのﾍｯﾀﾞ解析に失敗しました。";

std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  LARGE_INTEGER size{};
  ::GetFileSizeEx(file, &size);
  bytes.resize(static_cast<std::size_t>(size.QuadPart));
  DWORD read = 0;
  if (!bytes.empty()) ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

void PutU32(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = static_cast<uint8_t>(x >> (8 * i));
}

// A well-formed 24-bit BMP of 5 x 3 pixels.
std::vector<uint8_t> GoodBmp() {
  std::vector<uint8_t> plane(15);
  for (std::size_t i = 0; i < plane.size(); ++i) plane[i] = static_cast<uint8_t>(i * 17);
  return miravel::BuildDisplayBitmapImage(plane.data(), plane.data(), plane.data(), 5, 3);
}

class Loader : public testing::Test {
 protected:
  void SetUp() override {
    TestApp().TakeMessages();
    wchar_t temp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, temp);
    dir_ = std::wstring(temp) + L"miravel-loader-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(dir_.c_str(), nullptr);
    // The photo on show before each load; a failed load must keep it.
    const uint8_t plane[4] = {1, 2, 3, 4};
    previous_ = miravel::BuildDisplayBitmapImage(plane, plane, plane, 2, 2);
    dlg_.m_pDisplayBitmap = std::make_unique<DisplayBitmapBlock>(previous_);
    previousBlock_ = dlg_.m_pDisplayBitmap.get();
  }

  void TearDown() override {
    for (const std::wstring& file : files_) ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(dir_.c_str());
    TestApp().TakeMessages();
  }

  std::wstring Write(const std::wstring& name, const std::vector<uint8_t>& bytes) {
    const std::wstring path = dir_ + L"\\" + name;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    if (!bytes.empty()) ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::CloseHandle(file);
    files_.push_back(path);
    return path;
  }

  // The load failed, said exactly this once, and the previous photo stays.
  void ExpectRefused(int result, const wchar_t* message, const std::string& what) {
    EXPECT_EQ(result, 0) << what;
    EXPECT_EQ(TestApp().TakeMessages(), std::vector<std::wstring>{message}) << what;
    EXPECT_EQ(dlg_.m_pDisplayBitmap.get(), previousBlock_) << what;
    ASSERT_NE(dlg_.m_pDisplayBitmap, nullptr) << what;
    EXPECT_EQ(*dlg_.m_pDisplayBitmap, previous_) << what;
  }

  CMIRAVELDlg dlg_;  // the object alone: loading needs no window
  std::vector<uint8_t> previous_;
  const DisplayBitmapBlock* previousBlock_ = nullptr;
  std::wstring dir_;
  std::vector<std::wstring> files_;
};

TEST_F(Loader, BmpLoaderRefusesWhatItCannotDraw) {
  const std::vector<uint8_t> jpeg = ReadBytes(SourcePath("tests/data/jpeg/tiny-420-restart2.jpg"));
  ASSERT_FALSE(jpeg.empty());
  std::vector<uint8_t> offBitsOutside = GoodBmp();
  PutU32(offBitsOutside, 10, static_cast<uint32_t>(offBitsOutside.size()));
  std::vector<uint8_t> rowsOutside = GoodBmp();
  PutU32(rowsOutside, 22, 4);  // one row more than the file holds
  std::vector<uint8_t> hugeRows = GoodBmp();
  PutU32(hugeRows, 18, 30000);
  PutU32(hugeRows, 22, 30000);
  std::vector<uint8_t> headersCut = GoodBmp();
  headersCut.resize(30);
  std::vector<uint8_t> topDown = GoodBmp();
  PutU32(topDown, 22, static_cast<uint32_t>(-3));
  std::vector<uint8_t> compressed = GoodBmp();
  PutU32(compressed, 30, 1);  // BI_RLE8

  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty file", {}},
      {"text", {'h', 'e', 'l', 'l', 'o'}},
      {"a JPEG named .bmp", jpeg},
      {"only BM", {'B', 'M'}},
      {"headers cut short", headersCut},
      {"bfOffBits at the end", offBitsOutside},
      {"more rows than the file holds", rowsOutside},
      {"30000 x 30000 in a tiny file", hugeRows},
      {"top-down rows", topDown},
      {"run-length compressed", compressed},
  };
  for (const auto& c : cases) {
    ExpectRefused(dlg_.LoadBmpFile(Write(L"photo.bmp", c.bytes)), kNotDib, c.what);
  }
  ExpectRefused(dlg_.LoadBmpFile(dir_ + L"\\missing.bmp"), kFileMissing, "missing file");
  ExpectRefused(dlg_.LoadBmpFile(dir_), kFileMissing, "a folder");
}

TEST_F(Loader, JpegLoaderRefusesWhatItCannotDecode) {
  const std::vector<uint8_t> jpeg = ReadBytes(SourcePath("tests/data/jpeg/rocket-420.jpg"));
  ASSERT_GT(jpeg.size(), 1000u);
  const std::vector<uint8_t> firstHalf(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
  const std::vector<uint8_t> headersOnly(jpeg.begin(), jpeg.begin() + 200);
  std::vector<uint8_t> noise(4000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 131 + 7);
  std::vector<uint8_t> soiThenNoise = noise;
  soiThenNoise[0] = 0xFF;
  soiThenNoise[1] = 0xD8;

  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"empty file", {}},
      {"a BMP named .jpg", GoodBmp()},
      {"noise", noise},
      {"SOI then noise", soiThenNoise},
      {"first half of a JPEG", firstHalf},
      {"headers only", headersOnly},
      {"arithmetic-coded JPEG", ReadBytes(SourcePath("tests/data/jpeg/rocket-420-arithmetic.jpg"))},
      // A picture with no pixels is refused as damaged, not as too large.
      {"height 0", ReadBytes(SourcePath("tests/fuzz/corpus/jpeg_decoder/zero-height.jpg"))},
  };
  for (const auto& c : cases) {
    ExpectRefused(dlg_.LoadJpegFile(Write(L"photo.jpg", c.bytes)), kJpegFailed, c.what);
  }
  ExpectRefused(dlg_.LoadJpegFile(dir_ + L"\\missing.jpg"), kFileMissing, "missing file");
}

// A file that another program holds open without sharing cannot be opened.
TEST_F(Loader, FileOpenElsewhereWithoutSharingCannotBeOpened) {
  const std::wstring path = Write(L"held.bmp", GoodBmp());
  const HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ExpectRefused(dlg_.LoadBmpFile(path), kFileMissing, "held BMP");
  ExpectRefused(dlg_.LoadJpegFile(path), kFileMissing, "held JPEG");
  ::CloseHandle(held);
  EXPECT_EQ(dlg_.LoadBmpFile(path), 1);
}

// An error on a file that did open (here: a pipe, which has no length and
// whose writer goes away) is not "cannot open": it leaves either loader as
// the platform's file error, without a message of the loader's own and with
// the previous photo kept. Where a message handler runs the loader, the
// framework reports it (see the dialog tests).
TEST_F(Loader, ErrorsOnAnOpenFileLeaveAsFileErrors) {
  const wchar_t* name = L"\\\\.\\pipe\\miravel-loader-test";
  auto makePipe = [name] {
    return ::CreateNamedPipeW(name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_NOWAIT, 1, 4096, 4096, 0, nullptr);
  };
  for (int loader = 0; loader < 2; ++loader) {
    const char* what = loader == 0 ? "BMP loader" : "JPEG loader";
    const HANDLE server = makePipe();
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    try {
      loader == 0 ? dlg_.LoadBmpFile(name) : dlg_.LoadJpegFile(name);
      ADD_FAILURE() << what << ": no file error";
    } catch (const CFileException& e) {
      EXPECT_EQ(e.m_strFileName, name) << what;
      EXPECT_NE(e.m_lOsError, 0u) << what;
    }
    EXPECT_TRUE(TestApp().TakeMessages().empty()) << what;
    EXPECT_EQ(dlg_.m_pDisplayBitmap.get(), previousBlock_) << what;
    EXPECT_EQ(*dlg_.m_pDisplayBitmap, previous_) << what;
    ::CloseHandle(server);
  }

  // The same distinction in CFile itself.
  CFile file;
  CFileException cannotOpen(CFileException::none, 0, L"");
  EXPECT_FALSE(file.Open((dir_ + L"\\missing.bmp").c_str(), CFile::modeRead | CFile::shareExclusive, &cannotOpen));
  EXPECT_EQ(cannotOpen.m_cause, CFileException::fileNotFound);
  const HANDLE server = makePipe();
  ASSERT_TRUE(file.Open(name, CFile::modeRead | CFile::shareExclusive));
  ::DisconnectNamedPipe(server);  // the writer goes away
  uint8_t buffer[16];
  EXPECT_THROW(file.Read(buffer, sizeof buffer), CFileException);
  file.Close();
  ::CloseHandle(server);
}

// BMP files written by another program (ImageMagick, at build time) in
// every bit depth load unchanged, and GDI draws each of them.
TEST_F(Loader, BmpFilesLoadByteForByte) {
#ifndef MIRAVEL_BMP_DIR
  GTEST_SKIP() << "ImageMagick's convert was not found when the tests were built";
#else
  const struct {
    const char* file;
    int bits;
    int headerSize;
  } files[] = {
      {"1bit.bmp", 1, 40},         {"4bit.bmp", 4, 40},       {"8bit.bmp", 8, 40},
      {"16bit-565.bmp", 16, 124},  {"24bit.bmp", 24, 40},     {"24bit-v5.bmp", 24, 124},
      {"32bit.bmp", 32, 40},       {"32bit-argb.bmp", 32, 124},
  };
  const HDC screen = ::GetDC(nullptr);
  const HDC memory = ::CreateCompatibleDC(screen);
  const HBITMAP target = ::CreateCompatibleBitmap(screen, 64, 64);
  const HGDIOBJ old = ::SelectObject(memory, target);
  for (const auto& f : files) {
    const std::vector<uint8_t> original = ReadBytes(HostPath(std::string(MIRAVEL_BMP_DIR) + "/" + f.file));
    ASSERT_GT(original.size(), 54u) << f.file;
    ASSERT_EQ(original[28], f.bits) << f.file << ": not the bit depth this case is for";
    ASSERT_EQ(original[14], f.headerSize) << f.file << ": not the header this case is for";

    // A Unicode name on the way, as photos have.
    const std::wstring path = Write(L"写真ｻﾝﾌﾟﾙ.bmp", original);
    ASSERT_EQ(dlg_.LoadBmpFile(path), 1) << f.file;
    EXPECT_TRUE(TestApp().TakeMessages().empty()) << f.file;
    ASSERT_NE(dlg_.m_pDisplayBitmap, nullptr);
    EXPECT_EQ(*dlg_.m_pDisplayBitmap, original) << f.file;

    // What the painter will do with it: the info header at 14, pixels at bfOffBits.
    const uint8_t* block = dlg_.m_pDisplayBitmap->data();
    miravel::BmpLayout layout;
    ASSERT_EQ(miravel::CheckBmpImage(block, dlg_.m_pDisplayBitmap->size(), &layout), miravel::BmpCheck::kDrawable);
    const int lines = ::SetDIBitsToDevice(memory, 0, 0, static_cast<DWORD>(layout.width),
                                          static_cast<DWORD>(layout.height), 0, 0, 0,
                                          static_cast<UINT>(layout.height), block + layout.pixelOffset,
                                          reinterpret_cast<const BITMAPINFO*>(block + 14), DIB_RGB_COLORS);
    EXPECT_EQ(lines, layout.height) << f.file;
  }
  ::SelectObject(memory, old);
  ::DeleteObject(target);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);

  // Files that ImageMagick writes in forms the painter cannot draw as they
  // are; the photo loaded last stays.
  previous_ = *dlg_.m_pDisplayBitmap;
  previousBlock_ = dlg_.m_pDisplayBitmap.get();
  for (const char* refused : {"8bit-rle.bmp", "24bit-core.bmp"}) {
    const std::vector<uint8_t> bytes = ReadBytes(HostPath(std::string(MIRAVEL_BMP_DIR) + "/" + refused));
    ASSERT_FALSE(bytes.empty()) << refused;
    ExpectRefused(dlg_.LoadBmpFile(Write(L"refused.bmp", bytes)), kNotDib, refused);
  }
#endif
}

// The display bitmap of a JPEG photo is the decoder's planes laid out as a
// bottom-up 24-bit bitmap, red, green and blue in their places; a second
// photo replaces the first.
TEST_F(Loader, JpegPhotosBecomeTheDecodersPlanes) {
  for (const char* name : {"res/sample/sample.jpg", "tests/data/jpeg/rocket-420-203x117.jpg"}) {
    const std::vector<uint8_t> bytes = ReadBytes(SourcePath(name));
    ASSERT_FALSE(bytes.empty()) << name;
    JpegDecoder decoder;
    ASSERT_EQ(decoder.AnalysisHeader(bytes.data(), static_cast<int32_t>(bytes.size())), 0) << name;
    ASSERT_EQ(decoder.DecodeImage(), 0) << name;
    uint8_t *r, *g, *b;
    int32_t width, height;
    decoder.GetImage(&r, &g, &b, &width, &height);
    const std::vector<uint8_t> expected = miravel::BuildDisplayBitmapImage(r, g, b, width, height);

    ASSERT_EQ(dlg_.LoadJpegFile(SourcePath(name)), 1) << name;
    EXPECT_TRUE(TestApp().TakeMessages().empty()) << name;
    ASSERT_NE(dlg_.m_pDisplayBitmap, nullptr);
    EXPECT_TRUE(*dlg_.m_pDisplayBitmap == expected) << name;
    // The top-left sample of the photo: last row in memory, blue first.
    const std::size_t stride = (3 * static_cast<std::size_t>(width) + 3) / 4 * 4;
    const uint8_t* topLeft = dlg_.m_pDisplayBitmap->data() + 54 + (height - 1) * stride;
    EXPECT_EQ(topLeft[0], b[0]);
    EXPECT_EQ(topLeft[1], g[0]);
    EXPECT_EQ(topLeft[2], r[0]);
  }
}

}  // namespace
