// Settings of the test program's key (software\Quillfern\miravel_win_tests
// \SETTING) for tests that run the frame window: stored before it starts,
// so that it opens no dialog, and deleted afterwards. The default path ends
// in neither BMP nor JPG, so no photo is loaded and no message shown.
#pragma once

#include <windows.h>

#include <string>

#include "TestApp.h"

class StoredSettings {
 public:
  static constexpr const wchar_t* kAppKey = L"software\\Quillfern\\miravel_win_tests";
  static constexpr const wchar_t* kSectionKey = L"software\\Quillfern\\miravel_win_tests\\SETTING";

  // A null value is not stored.
  explicit StoredSettings(const wchar_t* path = L"Z:\\no photo here", const wchar_t* colour = L"0")
      : savedKey_(TestApp().m_pszRegistryKey) {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
    TestApp().SetRegistryKey(L"Quillfern");
    if (path) Set(L"CURRENTFILE", path);
    if (colour) Set(L"FRAMECOLOR", colour);
  }
  ~StoredSettings() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey);
    TestApp().m_pszRegistryKey = savedKey_;
  }
  StoredSettings(const StoredSettings&) = delete;
  StoredSettings& operator=(const StoredSettings&) = delete;

  static void Set(const wchar_t* entry, const std::wstring& value) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kSectionKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
      return;
    ::RegSetValueExW(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }
  // The stored value, or "(none)" when there is none.
  static std::wstring Get(const wchar_t* entry) {
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof buffer - sizeof(wchar_t);
    if (::RegGetValueW(HKEY_CURRENT_USER, kSectionKey, entry, RRF_RT_REG_SZ, nullptr, buffer, &bytes) !=
        ERROR_SUCCESS)
      return L"(none)";
    return buffer;
  }

 private:
  std::wstring savedKey_;
};
