// Modal dialogs of the framework layer with real windows on the test
// display: message tables, default handling, keyboard, exceptions caught at
// dispatch, owner and placement, the splash screen, the About box and the
// frame window's template.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "AboutDlg.h"
#include "DlgProxy.h"
#include "MIRAVELDlg.h"
#include "SplashDlg.h"
#include "StoredSettings.h"
#include "TestApp.h"
#include "WinTestUtil.h"

namespace {

// A dialog on the frame window's template that records what reaches it.
class CProbeDlg : public CDialog {
 public:
  explicit CProbeDlg(CWnd* parent = nullptr) : CDialog(IDD_MIRAVEL_DIALOG, parent) {}

  std::function<void(CProbeDlg&)> onInit;
  std::function<void(CProbeDlg&, WPARAM)> onApp;
  std::vector<std::string> log;
  UINT lastFlags = 0;
  POINT lastPoint{};

  using CDialog::EndDialog;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void OnOK() override {
    log.push_back("OnOK");
    CDialog::OnOK();
  }
  void OnCancel() override {
    log.push_back("OnCancel");
    CDialog::OnCancel();
  }
  void OnLButtonDown(UINT flags, POINT point) {
    log.push_back("OnLButtonDown");
    lastFlags = flags;
    lastPoint = point;
  }
  void OnClose() {
    log.push_back("OnClose");
    Default();  // the dialog manager's close: Cancel
  }
  LRESULT OnApp(WPARAM wParam, LPARAM) {
    if (onApp) onApp(*this, wParam);
    return 0;
  }

  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageEntry messageEntries[];
  static const MessageMap messageMap;
};

const MessageEntry CProbeDlg::messageEntries[] = {
    OnMessage<WM_LBUTTONDOWN, &CProbeDlg::OnLButtonDown>(),
    OnMessage<WM_CLOSE, &CProbeDlg::OnClose>(),
    OnMessage<WM_APP, &CProbeDlg::OnApp>(),
};
const MessageMap CProbeDlg::messageMap = MakeMessageMap(&CDialog::messageMap, messageEntries);

// A derived class with a table of its own; its base's entries still apply.
class CDerivedProbeDlg : public CProbeDlg {
 public:
  int timerTicks = 0;

 protected:
  void OnTimer(UINT_PTR id) {
    ++timerTicks;
    KillTimer(id);
    EndDialog(static_cast<int>(id));
  }
  const MessageMap* GetMessageMap() const override { return &messageMap; }
  static const MessageEntry messageEntries[];
  static const MessageMap messageMap;
};

const MessageEntry CDerivedProbeDlg::messageEntries[] = {
    OnMessage<WM_TIMER, &CDerivedProbeDlg::OnTimer>(),
};
const MessageMap CDerivedProbeDlg::messageMap = MakeMessageMap(&CProbeDlg::messageMap, messageEntries);

class Dialogs : public testing::Test {
 protected:
  void SetUp() override {
    TestApp().TakeMessages();
    TestApp().m_pMainWnd = nullptr;
  }
  void TearDown() override {
    TestApp().m_pMainWnd = nullptr;
    TestApp().TakeMessages();
  }
};

TEST_F(Dialogs, MessageTablesCrackArgumentsAndChainToTheBase) {
  CDerivedProbeDlg dlg;
  dlg.onInit = [](CProbeDlg& d) {
    // A click left of and above the client area: coordinates stay signed.
    ::PostMessageW(d.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(-5, -7));
    d.SetTimer(42, 10);
  };
  EXPECT_EQ(dlg.DoModal(), 42);
  EXPECT_EQ(dlg.timerTicks, 1);
  EXPECT_EQ(dlg.log, std::vector<std::string>{"OnLButtonDown"});
  EXPECT_EQ(dlg.lastFlags, static_cast<UINT>(MK_LBUTTON | MK_SHIFT));
  EXPECT_EQ(dlg.lastPoint.x, -5);
  EXPECT_EQ(dlg.lastPoint.y, -7);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST_F(Dialogs, DefaultHandlingOfCloseEndsThroughCancel) {
  CProbeDlg dlg;
  dlg.onInit = [](CProbeDlg& d) { ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0); };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.log, (std::vector<std::string>{"OnClose", "OnCancel"}));
}

TEST_F(Dialogs, EscapeAndEnterReachOnCancelAndOnOK) {
  const struct {
    WPARAM key;
    INT_PTR result;
    const char* handler;
  } keys[] = {{VK_ESCAPE, IDCANCEL, "OnCancel"}, {VK_RETURN, IDOK, "OnOK"}};
  for (const auto& k : keys) {
    CProbeDlg dlg;
    dlg.onInit = [&k](CProbeDlg& d) { ::PostMessageW(d.m_hWnd, WM_KEYDOWN, k.key, 0); };
    EXPECT_EQ(dlg.DoModal(), k.result) << k.handler;
    EXPECT_EQ(dlg.log, std::vector<std::string>{k.handler});
  }
}

// Whatever a handler throws is reported in the application's message box,
// and the dialog goes on with the next message.
TEST_F(Dialogs, ExceptionsFromHandlersAreReportedAndTheDialogGoesOn) {
  CProbeDlg dlg;
  dlg.onInit = [](CProbeDlg& d) {
    for (WPARAM step = 0; step < 4; ++step) ::PostMessageW(d.m_hWnd, WM_APP, step, 0);
    throw std::bad_alloc();  // from OnInitDialog itself as well
  };
  dlg.onApp = [](CProbeDlg& d, WPARAM step) {
    switch (step) {
      case 0: throw std::bad_alloc();
      case 1: throw CFileException(CFileException::hardIO, ERROR_CRC, L"C:\\写真\\photo.bmp");
      case 2: throw std::runtime_error("anything else");
      default: d.EndDialog(7);
    }
  };
  EXPECT_EQ(dlg.DoModal(), 7);
  EXPECT_EQ(TestApp().TakeMessages(), (std::vector<std::wstring>{
                                          L"メモリが不足しています。",
                                          L"メモリが不足しています。",
                                          L"ファイル C:\\写真\\photo.bmp の読み込み中にエラーが発生しました。",
                                          L"予期しないエラーが発生しました。",
                                      }));
}

TEST_F(Dialogs, MissingTemplateFailsWithMinusOne) {
  CDialog missing(4242);
  EXPECT_EQ(missing.DoModal(), -1);
}

// WM_QUIT ends the modal run and is posted again for the loop outside; a
// window destroyed under the modal run ends it too. Either way the owner is
// enabled again.
TEST_F(Dialogs, QuitOrDestroyedWindowEndTheModalRun) {
  const HWND ownerWindow = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 10, 10, 50, 50,
                                             nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(ownerWindow, nullptr);
  CWnd owner;
  owner.m_hWnd = ownerWindow;

  CProbeDlg quits(&owner);
  quits.onInit = [ownerWindow](CProbeDlg& d) {
    EXPECT_FALSE(::IsWindowEnabled(ownerWindow));
    EXPECT_EQ(::GetWindow(d.m_hWnd, GW_OWNER), ownerWindow);
    ::PostQuitMessage(3);
  };
  EXPECT_EQ(quits.DoModal(), -1);
  EXPECT_TRUE(::IsWindowEnabled(ownerWindow));
  MSG msg;
  ASSERT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 3u);

  CProbeDlg destroyed(&owner);
  destroyed.onInit = [](CProbeDlg& d) { ::PostMessageW(d.m_hWnd, WM_APP, 0, 0); };
  destroyed.onApp = [](CProbeDlg& d, WPARAM) { ::DestroyWindow(d.m_hWnd); };
  EXPECT_EQ(destroyed.DoModal(), -1);
  EXPECT_EQ(destroyed.m_hWnd, nullptr);
  EXPECT_TRUE(::IsWindowEnabled(ownerWindow));

  owner.m_hWnd = nullptr;
  ::DestroyWindow(ownerWindow);
}

// The splash screen: no owner (there is no main window yet), centred on the
// screen, the splash picture in it, and it ends itself with OK.
TEST_F(Dialogs, SplashIsCentredOnTheScreenAndEndsItself) {
  HWND seen = nullptr;
  ThreadTimer watch(100, [&seen] {
    for (HWND window : ThreadWindows()) {
      if (seen) continue;
      seen = window;
      EXPECT_EQ(::GetWindow(window, GW_OWNER), nullptr);
      EXPECT_TRUE(CentredOn(window, WorkArea()));
      const LONG style = ::GetWindowLongW(window, GWL_STYLE);
      EXPECT_EQ(style & (WS_CAPTION | WS_BORDER | WS_SYSMENU | WS_THICKFRAME), 0);
      const HWND picture = ::GetWindow(window, GW_CHILD);
      ASSERT_NE(picture, nullptr);
      const auto bitmap = reinterpret_cast<HBITMAP>(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0));
      ASSERT_NE(bitmap, nullptr);
      BITMAP info{};
      ::GetObjectW(bitmap, sizeof info, &info);
      EXPECT_EQ(info.bmWidth, 426);
      EXPECT_EQ(info.bmHeight, 230);
    }
  });
  CSplashDlg splash;
  EXPECT_EQ(splash.DoModal(), IDOK);
  EXPECT_NE(seen, nullptr);
  EXPECT_FALSE(::IsWindow(seen));
}

// The About box, run from the frame window: owned by it, the frame disabled
// while it is open, centred on the frame, closed with OK; and again.
TEST_F(Dialogs, AboutBoxIsModalOverTheMainWindowAndCentredOnIt) {
  CProbeDlg frame;
  TestApp().m_pMainWnd = &frame;
  int runs = 0;
  frame.onInit = [](CProbeDlg& d) { ::PostMessageW(d.m_hWnd, WM_APP, 0, 0); };
  frame.onApp = [&runs](CProbeDlg& d, WPARAM) {
    for (int i = 0; i < 2; ++i) {
      bool checked = false;
      ThreadTimer watch(50, [&] {
        const HWND about = ::GetLastActivePopup(d.m_hWnd);
        if (about == d.m_hWnd || checked) return;
        checked = true;
        wchar_t title[64] = {};
        ::GetWindowTextW(about, title, 64);
        EXPECT_EQ(std::wstring(title), L"MIRAVELのﾊﾞｰｼﾞｮﾝ情報");
        EXPECT_EQ(::GetWindow(about, GW_OWNER), d.m_hWnd);
        EXPECT_FALSE(::IsWindowEnabled(d.m_hWnd));
        RECT frameRect{};
        ::GetWindowRect(d.m_hWnd, &frameRect);
        EXPECT_TRUE(CentredOn(about, frameRect));
        ::PostMessageW(about, WM_COMMAND, IDOK, 0);
      });
      CAboutDlg about;
      EXPECT_EQ(about.DoModal(), IDOK);
      EXPECT_TRUE(checked);
      EXPECT_TRUE(::IsWindowEnabled(d.m_hWnd));
      ++runs;
    }
    d.EndDialog(IDOK);
  };
  EXPECT_EQ(frame.DoModal(), IDOK);
  EXPECT_EQ(runs, 2);
  // The framework forgets the main window when it is destroyed.
  EXPECT_EQ(TestApp().m_pMainWnd, nullptr);
}

// The frame window: template 102's styles, centred on the screen, the
// program icon loaded.
TEST_F(Dialogs, FrameWindowOpensWithItsTemplateStylesCentred) {
  StoredSettings settings;  // no first-start dialogs
  CMIRAVELDlg frame;
  EXPECT_NE(frame.m_hIcon, nullptr);
  TestApp().m_pMainWnd = &frame;
  bool checked = false;
  ThreadTimer watch(50, [&] {
    if (!frame.m_hWnd || !::IsWindowVisible(frame.m_hWnd) || checked) return;
    checked = true;
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(frame.m_hWnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongW(frame.m_hWnd, GWL_EXSTYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE | DS_MODALFRAME), static_cast<DWORD>(WS_POPUP | WS_VISIBLE | DS_MODALFRAME));
    EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU), 0u);
    EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
    EXPECT_EQ(::GetWindow(frame.m_hWnd, GW_OWNER), nullptr);
    EXPECT_TRUE(CentredOn(frame.m_hWnd, WorkArea()));
    ::PostMessageW(frame.m_hWnd, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(frame.DoModal(), IDCANCEL);
  EXPECT_TRUE(checked);
  EXPECT_EQ(TestApp().m_pMainWnd, nullptr);
}

TEST_F(Dialogs, FrameWindowUnlinksItsAutomationObjectWhenDestroyed) {
  CMIRAVELDlgAutoProxy proxy;
  auto frame = std::make_unique<CMIRAVELDlg>();
  proxy.m_pDialog = frame.get();
  frame->m_pAutoProxy = &proxy;
  frame.reset();
  EXPECT_EQ(proxy.m_pDialog, nullptr);
}

// The real message box: the application's name as caption, an OK button.
TEST_F(Dialogs, MessageBoxCarriesTheApplicationName) {
  bool checked = false;
  ThreadTimer watch(50, [&] {
    for (HWND box : ThreadWindows()) {
      wchar_t caption[64] = {};
      ::GetWindowTextW(box, caption, 64);
      if (checked || std::wstring(caption) != TestApp().m_pszAppName) continue;
      checked = true;
      EXPECT_NE(::GetDlgItem(box, IDOK), nullptr);
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  });
  EXPECT_EQ(TestApp().RealMessageBox(L"ﾌｧｲﾙがありません。", MB_OK), IDOK);
  EXPECT_TRUE(checked);
}

}  // namespace
