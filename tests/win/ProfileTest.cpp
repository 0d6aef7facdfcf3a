// The profile functions on the real registry of the test prefix:
// HKEY_CURRENT_USER\software\Quillfern\<application name>\<section>.
#include <gtest/gtest.h>

#include <string>

#include "TestApp.h"

namespace {

const wchar_t kAppKey[] = L"software\\Quillfern\\miravel_win_tests";
const wchar_t kSectionKey[] = L"software\\Quillfern\\miravel_win_tests\\SETTING";

bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

// Reads a value with the registry's own functions, not the layer's.
bool ReadRaw(const wchar_t* entry, DWORD* type, std::wstring* text) {
  wchar_t buffer[512] = {};
  DWORD bytes = sizeof buffer - sizeof(wchar_t);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSectionKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  const LONG status = ::RegQueryValueExW(key, entry, nullptr, type, reinterpret_cast<BYTE*>(buffer), &bytes);
  ::RegCloseKey(key);
  *text = buffer;
  return status == ERROR_SUCCESS;
}

void SetRaw(const wchar_t* entry, DWORD type, const void* data, DWORD bytes) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, kSectionKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(::RegSetValueExW(key, entry, 0, type, static_cast<const BYTE*>(data), bytes), ERROR_SUCCESS);
  ::RegCloseKey(key);
}

class Profile : public testing::Test {
 protected:
  void SetUp() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
    TestApp().SetRegistryKey(L"Quillfern");
  }
  void TearDown() override {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
    TestApp().m_pszRegistryKey.clear();
  }
};

TEST_F(Profile, ApplicationNameIsTheExecutableName) {
  EXPECT_EQ(TestApp().m_pszAppName, L"miravel_win_tests");
  EXPECT_EQ(TestApp().m_pszExeName, L"miravel_win_tests");
}

TEST_F(Profile, WrittenStringsAreRegSzValuesOfTheSectionKey) {
  const std::wstring path = L"C:\\写真\\ｻﾝﾌﾟﾙ photo.jpg";
  ASSERT_TRUE(TestApp().WriteProfileString(L"SETTING", L"CURRENTFILE", path.c_str()));
  ASSERT_TRUE(TestApp().WriteProfileString(L"SETTING", L"FRAMECOLOR", L"16777215"));

  DWORD type = 0;
  std::wstring raw;
  ASSERT_TRUE(ReadRaw(L"CURRENTFILE", &type, &raw));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw, path);
  ASSERT_TRUE(ReadRaw(L"FRAMECOLOR", &type, &raw));
  EXPECT_EQ(raw, L"16777215");

  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"CURRENTFILE"), path);
  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"FRAMECOLOR", L"x"), L"16777215");

  // Writing again replaces the value.
  ASSERT_TRUE(TestApp().WriteProfileString(L"SETTING", L"FRAMECOLOR", L"-1"));
  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"FRAMECOLOR"), L"-1");
}

TEST_F(Profile, MissingValuesReadAsTheDefaultAndReadingCreatesTheKey) {
  ASSERT_FALSE(KeyExists(kSectionKey));
  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"CURRENTFILE"), L"");
  EXPECT_TRUE(KeyExists(kSectionKey));
  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"CURRENTFILE", L"fallback"), L"fallback");
}

TEST_F(Profile, ValuesOfOtherTypesReadAsTheDefault_TextWithoutTerminatorReadsWhole) {
  const DWORD number = 255;
  SetRaw(L"FRAMECOLOR", REG_DWORD, &number, sizeof number);
  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"FRAMECOLOR", L"none"), L"none");

  const wchar_t text[3] = {L'2', L'5', L'5'};  // stored without its terminating zero
  SetRaw(L"FRAMECOLOR", REG_SZ, text, sizeof text);
  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"FRAMECOLOR"), L"255");
}

TEST_F(Profile, NullValueDeletesTheEntry_NullEntryTheSection) {
  ASSERT_TRUE(TestApp().WriteProfileString(L"SETTING", L"CURRENTFILE", L"a.jpg"));
  ASSERT_TRUE(TestApp().WriteProfileString(L"SETTING", L"FRAMECOLOR", L"0"));
  ASSERT_TRUE(TestApp().WriteProfileString(L"SETTING", L"CURRENTFILE", nullptr));
  DWORD type = 0;
  std::wstring raw;
  EXPECT_FALSE(ReadRaw(L"CURRENTFILE", &type, &raw));
  EXPECT_TRUE(ReadRaw(L"FRAMECOLOR", &type, &raw));

  ASSERT_TRUE(TestApp().WriteProfileString(L"SETTING", nullptr, nullptr));
  EXPECT_FALSE(KeyExists(kSectionKey));
}

TEST_F(Profile, WithoutARegistryKeyNothingIsReadOrWritten) {
  TestApp().m_pszRegistryKey.clear();
  EXPECT_FALSE(TestApp().WriteProfileString(L"SETTING", L"FRAMECOLOR", L"1"));
  EXPECT_EQ(TestApp().GetProfileString(L"SETTING", L"FRAMECOLOR", L"d"), L"d");
  EXPECT_FALSE(KeyExists(kAppKey));
}

}  // namespace
