// MIRAVEL's start-up, run in-process: OLE, the registry key, the command
// line, three seconds of splash, then the frame window as the main window
// until it ends; and the one failure start-up reports.
#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

#include "StoredSettings.h"
#include "TestApp.h"
#include "WinTestUtil.h"

namespace {

thread_local int g_windowsCreated = 0;

LRESULT CALLBACK CountCreatedWindows(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) ++g_windowsCreated;
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

class Startup : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = TestApp().m_lpCmdLine;
    TestApp().TakeMessages();
    TestApp().m_pszRegistryKey.clear();
    TestApp().m_bUserControl = true;
  }
  void TearDown() override {
    TestApp().m_lpCmdLine = saved_;
    TestApp().m_pszRegistryKey.clear();
    TestApp().m_bUserControl = true;
    TestApp().m_pMainWnd = nullptr;
  }
  std::wstring saved_;
};

// With both switches, "Embedding" is found and cut and "Automation" is not
// looked for. The splash comes first, on its own; the frame window follows
// as the main window; ending the frame ends start-up, which returns FALSE.
TEST_F(Startup, SplashThenFrameWindowThenTheEnd) {
  StoredSettings settings;  // no first-start dialogs
  CTestApp& app = TestApp();
  app.m_lpCmdLine = L"-Embedding /Automation";

  std::vector<std::string> seen;
  HWND splash = nullptr;
  ThreadTimer watch(100, [&] {
    const HWND frame = app.m_pMainWnd ? app.m_pMainWnd->m_hWnd : nullptr;
    for (HWND window : ThreadWindows()) {
      if (window == frame) {
        if (seen.empty() || seen.back() != "frame") seen.push_back("frame");
        EXPECT_FALSE(::IsWindow(splash));
        ::PostMessageW(frame, WM_COMMAND, IDCANCEL, 0);
      } else if (!splash) {
        splash = window;
        seen.push_back("splash");
        EXPECT_EQ(app.m_pMainWnd, nullptr);
        EXPECT_EQ(app.m_pszRegistryKey, L"Quillfern");  // set before the splash
      }
    }
  });
  EXPECT_FALSE(app.InitInstance());
  EXPECT_EQ(seen, (std::vector<std::string>{"splash", "frame"}));
  EXPECT_EQ(app.m_lpCmdLine, L" /Automation");
  EXPECT_FALSE(app.m_bUserControl);
  EXPECT_EQ(app.m_pMainWnd, nullptr);
  EXPECT_TRUE(app.TakeMessages().empty());
}

// OLE cannot be initialised on a thread that already chose the
// multithreaded apartment: one message, nothing else happens.
TEST_F(Startup, OleFailureShowsOneMessageAndEnds) {
  CTestApp& app = TestApp();
  BOOL result = TRUE;
  int windowsCreated = -1;
  std::thread thread([&] {
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    const HHOOK hook = ::SetWindowsHookExW(WH_CBT, &CountCreatedWindows, nullptr, ::GetCurrentThreadId());
    {
      // Should a window appear after all, end it rather than hang.
      ThreadTimer safety(100, [] { CancelThreadWindows(); });
      result = app.InitInstance();
    }
    ::UnhookWindowsHookEx(hook);
    windowsCreated = g_windowsCreated;
    ::CoUninitialize();
  });
  thread.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(app.TakeMessages(), std::vector<std::wstring>{
                                    L"OLE の初期化に失敗しました。 OLE ﾗｲﾌﾞﾗﾘのﾊﾞｰｼﾞｮﾝが正しいことを確認してください。"});
  EXPECT_EQ(windowsCreated, 0);
  EXPECT_EQ(app.m_pszRegistryKey, L"");
  EXPECT_EQ(app.m_pMainWnd, nullptr);
}

}  // namespace
