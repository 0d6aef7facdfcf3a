// Windows tests, run in-process under Wine: framework, resources, picture
// loaders, frame window object and start-up, with real windows on the test
// display and the real registry of the test prefix.
#include <gtest/gtest.h>

#include "TestApp.h"

namespace {
CTestApp theApp;
}

CTestApp& TestApp() { return theApp; }

int CTestApp::DoMessageBox(const wchar_t* prompt, UINT type, UINT) {
  messages.emplace_back(prompt ? prompt : L"");
  types.push_back(type);
  return IDOK;
}

std::vector<std::wstring> CTestApp::TakeMessages() {
  std::vector<std::wstring> taken;
  taken.swap(messages);
  types.clear();
  return taken;
}

std::wstring HostPath(const std::string& unixPath) {
  // Wine's drive Z: is the root of the host's file system.
  std::wstring path = L"Z:";
  for (char c : unixPath) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
  return path;
}

std::wstring SourcePath(const char* relative) {
  return HostPath(std::string(MIRAVEL_SOURCE_DIR) + "/" + relative);
}

std::string Narrow(const std::wstring& text) {
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), bytes,
                        nullptr, nullptr);
  return out;
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  AfxWinInit(::GetModuleHandleW(nullptr), L"", SW_SHOWNORMAL);
  return RUN_ALL_TESTS();
}
