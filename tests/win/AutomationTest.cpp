// The automation server's pieces, in-process with real OLE, the real
// registry of the test prefix and real windows: the automation base object,
// the class factory (objects, server locks, registry entries, registration
// with OLE), the application lock with its end-of-program rule, and the
// automation object's link with the frame window.
#include <gtest/gtest.h>

#include <objbase.h>

#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "AboutDlg.h"
#include "DlgProxy.h"
#include "MIRAVELDlg.h"
#include "StoredSettings.h"
#include "TestApp.h"
#include "WinTestUtil.h"

namespace {

// {2C416E18-C19B-48F4-A25C-1BD3C9F1245B}: a class of these tests only.
constexpr CLSID kProbeClsid = {0x2c416e18, 0xc19b, 0x48f4, {0xa2, 0x5c, 0x1b, 0xd3, 0xc9, 0xf1, 0x24, 0x5b}};
const std::wstring kProbeClsidText = L"{2C416E18-C19B-48F4-A25C-1BD3C9F1245B}";
constexpr wchar_t kProbeProgId[] = L"MIRAVEL.TestProbe";
// {D6D6127E-E38D-463E-BC6E-BFA87B92C9B3}: the probe's dispatch interface.
constexpr IID kProbeIid = {0xd6d6127e, 0xe38d, 0x463e, {0xbc, 0x6e, 0xbf, 0xa8, 0x7b, 0x92, 0xc9, 0xb3}};

int g_probesCreated = 0;
int g_probesAlive = 0;

class CProbeTarget : public CCmdTarget {
 public:
  explicit CProbeTarget(bool automation = true) {
    ++g_probesCreated;
    ++g_probesAlive;
    if (automation) EnableAutomation();
  }
  ~CProbeTarget() override { --g_probesAlive; }
  static CCmdTarget* Create() { return new (std::nothrow) CProbeTarget; }
  static CCmdTarget* CannotCreate() { return nullptr; }

 protected:
  const InterfaceMap* GetInterfaceMap() const override { return &interfaceMap; }
  static const IID* const interfaces[];
  static const InterfaceMap interfaceMap;
};
const IID* const CProbeTarget::interfaces[] = {&kProbeIid};
const InterfaceMap CProbeTarget::interfaceMap = MakeInterfaceMap(&CCmdTarget::interfaceMap, interfaces);

const CRuntimeClass kProbeClass{"CProbeTarget", &CProbeTarget::Create};
const CRuntimeClass kNoMemoryClass{"CNoMemory", &CProbeTarget::CannotCreate};

// The class entries of the current user, where a user start writes them.
std::wstring UserClasses(const std::wstring& path) { return L"Software\\Classes\\" + path; }

std::optional<std::wstring> DefaultValue(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  wchar_t value[1024] = {};
  DWORD bytes = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  const LONG status = ::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
  return std::wstring(value);
}

std::optional<std::wstring> ClassesDefault(const std::wstring& path) {
  return DefaultValue(HKEY_CURRENT_USER, UserClasses(path));
}

bool KeyExists(HKEY root, const std::wstring& path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

void SetClassesDefault(const std::wstring& path, const std::wstring& value) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, UserClasses(path).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                              nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

void DeleteClassesTree(const std::wstring& path) {
  ::RegDeleteTreeW(HKEY_CURRENT_USER, UserClasses(path).c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, UserClasses(path).c_str());
}

bool QuitPosted() {
  MSG msg;
  return ::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

class Automation : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(AfxOleInit());
    CTestApp& app = TestApp();
    ASSERT_EQ(app.m_nObjectCount, 0) << "an earlier test left an object alive";
    app.m_bUserControl = true;
    app.m_pMainWnd = nullptr;
    g_probesCreated = g_probesAlive = 0;
  }
  void TearDown() override {
    CTestApp& app = TestApp();
    app.m_bUserControl = true;
    app.m_pMainWnd = nullptr;
    app.m_nObjectCount = 0;
    QuitPosted();
    DeleteClassesTree(kProbeProgId);
    DeleteClassesTree(L"CLSID\\" + kProbeClsidText);
  }
};

// ------------------------------------------------------ automation object --

TEST_F(Automation, ObjectAnswersItsInterfacesWithOneIdentityAndFreesItselfAtTheLastRelease) {
  auto* target = new CProbeTarget(false);
  void* out = &out;
  EXPECT_EQ(target->ExternalQueryInterface(IID_IDispatch, &out), E_NOINTERFACE) << "before EnableAutomation";
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(target->GetIDispatch(FALSE), nullptr);

  target->EnableAutomation();
  IDispatch* dispatch = target->GetIDispatch(FALSE);
  ASSERT_NE(dispatch, nullptr);
  for (const IID* iid : {&IID_IUnknown, &IID_IDispatch, &kProbeIid}) {
    out = nullptr;
    EXPECT_EQ(dispatch->QueryInterface(*iid, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(dispatch)) << "one implementation, one identity";
    if (out) static_cast<IUnknown*>(out)->Release();
  }
  for (const IID* iid : {&IID_IClassFactory, &IID_IMIRAVEL, &IID_ITypeInfo}) {
    out = &out;
    EXPECT_EQ(dispatch->QueryInterface(*iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr) << "a failed QueryInterface clears the pointer";
  }
  EXPECT_EQ(dispatch->QueryInterface(IID_IUnknown, nullptr), E_POINTER);

  // Created with one reference, which the creator holds.
  EXPECT_EQ(dispatch->AddRef(), 2u);
  EXPECT_EQ(dispatch->Release(), 1u);
  EXPECT_EQ(g_probesAlive, 1);
  EXPECT_EQ(dispatch->Release(), 0u);
  EXPECT_EQ(g_probesAlive, 0) << "OnFinalRelease deletes the object";
}

TEST_F(Automation, DispatchHasNoTypeInformationNoNamesAndNoMembers) {
  auto* target = new CProbeTarget;
  IDispatch* dispatch = target->GetIDispatch(FALSE);

  UINT count = 7;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
  ITypeInfo* info = reinterpret_cast<ITypeInfo*>(&count);
  EXPECT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), DISP_E_BADINDEX);
  EXPECT_EQ(info, nullptr);

  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Visible"), const_cast<LPOLESTR>(L"")};
  DISPID ids[] = {5, 6};
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 2, LOCALE_USER_DEFAULT, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  EXPECT_EQ(ids[1], DISPID_UNKNOWN);
  EXPECT_EQ(dispatch->GetIDsOfNames(kProbeIid, names, 1, LOCALE_USER_DEFAULT, ids), DISP_E_UNKNOWNINTERFACE);

  VARIANT argument;
  VariantInit(&argument);
  argument.vt = VT_I4;
  argument.lVal = 1;
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS put{&argument, &named, 1, 1};
  DISPPARAMS none{};
  struct Call { DISPID id; WORD flags; DISPPARAMS* params; };
  for (const Call& call : {Call{DISPID_VALUE, DISPATCH_PROPERTYGET, &none}, Call{1, DISPATCH_METHOD, &none},
                           Call{0, DISPATCH_PROPERTYPUT, &put}}) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(dispatch->Invoke(call.id, IID_NULL, LOCALE_USER_DEFAULT, call.flags, call.params, &result, nullptr,
                               nullptr),
              DISP_E_MEMBERNOTFOUND)
        << "member " << call.id;
  }
  dispatch->Release();
  EXPECT_EQ(g_probesAlive, 0);
}

// ----------------------------------------------------------- class factory --

struct CreateCase {
  const char* name;
  const CRuntimeClass* runtimeClass;
  bool aggregated;
  const IID* iid;
  HRESULT expected;
  int created;  // objects created (and, but for the one handed out, deleted again)
};

TEST_F(Automation, FactoryHandsOutOneReferenceAndRefusesWhatItCannotDo) {
  auto* outerTarget = new CProbeTarget;
  IUnknown* outer = outerTarget->GetIDispatch(FALSE);
  for (const CreateCase& c : {CreateCase{"object", &kProbeClass, false, &IID_IDispatch, S_OK, 1},
                              CreateCase{"aggregation", &kProbeClass, true, &IID_IUnknown, CLASS_E_NOAGGREGATION, 0},
                              CreateCase{"interface it lacks", &kProbeClass, false, &IID_IClassFactory, E_NOINTERFACE, 1},
                              CreateCase{"no memory", &kNoMemoryClass, false, &IID_IDispatch, E_OUTOFMEMORY, 0}}) {
    SCOPED_TRACE(c.name);
    COleObjectFactory factory(kProbeClsid, c.runtimeClass, TRUE, nullptr);
    g_probesCreated = 0;
    void* out = &out;
    EXPECT_EQ(factory.CreateInstance(c.aggregated ? outer : nullptr, *c.iid, &out), c.expected);
    EXPECT_EQ(g_probesCreated, c.created);
    if (c.expected == S_OK) {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(g_probesAlive, 2);
      EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 0u) << "the client holds the only reference";
    } else {
      EXPECT_EQ(out, nullptr);
    }
    EXPECT_EQ(g_probesAlive, 1) << "nothing left behind but the outer object";
  }
  COleObjectFactory factory(kProbeClsid, &kProbeClass, TRUE, nullptr);
  EXPECT_EQ(factory.CreateInstance(nullptr, IID_IDispatch, nullptr), E_POINTER);
  outer->Release();
}

TEST_F(Automation, ServerLocksHoldTheApplicationAndOnlyLocksHeldCanBeUndone) {
  CTestApp& app = TestApp();
  COleObjectFactory factory(kProbeClsid, &kProbeClass, TRUE, nullptr);
  EXPECT_EQ(factory.LockServer(TRUE), S_OK);
  EXPECT_EQ(factory.LockServer(TRUE), S_OK);
  EXPECT_EQ(app.m_nObjectCount, 2);
  EXPECT_EQ(factory.LockServer(FALSE), S_OK);
  EXPECT_EQ(factory.LockServer(FALSE), S_OK);
  EXPECT_EQ(app.m_nObjectCount, 0);
  EXPECT_EQ(factory.LockServer(FALSE), E_UNEXPECTED);
  EXPECT_EQ(app.m_nObjectCount, 0) << "an unlock without a lock must not take another's";
}

TEST_F(Automation, RegistryEntriesAreWrittenWithTheTypeNamesKeptAndRemovedAgain) {
  const std::wstring classKey = L"CLSID\\" + kProbeClsidText;
  COleObjectFactory factory(kProbeClsid, &kProbeClass, TRUE, kProbeProgId);
  COleObjectFactory withoutProgId(kProbeClsid, &kProbeClass, TRUE, nullptr);

  wchar_t self[MAX_PATH] = {}, shortSelf[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  ASSERT_GT(::GetShortPathNameW(self, shortSelf, MAX_PATH), 0u);
  const std::wstring server = COleObjectFactory::ServerPath();
  EXPECT_EQ(server, std::wstring(shortSelf).find(L' ') == std::wstring::npos
                        ? std::wstring(shortSelf) : L"\"" + std::wstring(shortSelf) + L"\"");

  EXPECT_TRUE(COleObjectFactory::UpdateRegistryAll(TRUE));
  EXPECT_EQ(ClassesDefault(kProbeProgId), kProbeProgId);
  EXPECT_EQ(ClassesDefault(classKey), kProbeProgId);
  EXPECT_EQ(ClassesDefault(std::wstring(kProbeProgId) + L"\\CLSID"), kProbeClsidText);
  EXPECT_EQ(ClassesDefault(classKey + L"\\ProgID"), kProbeProgId);
  EXPECT_EQ(ClassesDefault(classKey + L"\\InprocHandler32"), L"ole32.dll");
  EXPECT_EQ(ClassesDefault(classKey + L"\\LocalServer32"), server);
  // Per user only: nothing machine-wide, which a standard user may not write.
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + std::wstring(kProbeProgId)));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, L"Software\\Classes\\" + classKey));

  SetClassesDefault(kProbeProgId, L"named by the user");
  SetClassesDefault(classKey, L"named as well");
  SetClassesDefault(classKey + L"\\LocalServer32", L"moved");
  EXPECT_TRUE(factory.UpdateRegistry(TRUE));
  EXPECT_EQ(ClassesDefault(kProbeProgId), L"named by the user");
  EXPECT_EQ(ClassesDefault(classKey), L"named as well");
  EXPECT_EQ(ClassesDefault(classKey + L"\\LocalServer32"), server);

  EXPECT_TRUE(COleObjectFactory::UpdateRegistryAll(FALSE));
  EXPECT_FALSE(ClassesDefault(kProbeProgId).has_value());
  EXPECT_FALSE(ClassesDefault(classKey).has_value());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, UserClasses(classKey)));
}

// The class object as OLE sees it within this process: registered by
// RegisterAll (a null CLSID is no class), withdrawn by RevokeAll and by the
// factory's destruction.
TEST_F(Automation, ClassObjectIsRegisteredWithOleAndWithdrawn) {
  auto classObject = [] {
    IClassFactory* found = nullptr;
    const HRESULT hr = ::CoGetClassObject(kProbeClsid, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                                          reinterpret_cast<void**>(&found));
    if (found) found->Release();
    return SUCCEEDED(hr) ? found : nullptr;
  };
  COleObjectFactory noClass(CLSID_NULL, &kProbeClass, FALSE, nullptr);
  {
    COleObjectFactory factory(kProbeClsid, &kProbeClass, FALSE, nullptr);
    EXPECT_EQ(classObject(), nullptr);
    EXPECT_TRUE(COleObjectFactory::RegisterAll()) << "a null CLSID is no class to register";
    EXPECT_TRUE(factory.IsRegistered());
    EXPECT_FALSE(noClass.IsRegistered());
    EXPECT_EQ(classObject(), static_cast<IClassFactory*>(&factory));

    COleObjectFactory::RevokeAll();
    EXPECT_FALSE(factory.IsRegistered());
    EXPECT_EQ(classObject(), nullptr);
    EXPECT_TRUE(factory.Register());
    EXPECT_NE(classObject(), nullptr);
  }
  EXPECT_EQ(classObject(), nullptr) << "a destroyed factory is still registered";
}

// --------------------------------------------------------- application lock --

struct UnlockCase {
  const char* name;
  bool userControl;  // the user started the program
  int objects;       // locks taken, then released one by one
  bool ends;         // the last release destroys the main window
};

// The main window is a real modal dialog; the objects go while it runs.
TEST_F(Automation, LastObjectEndsAProgramOleStartedByDestroyingItsMainWindow) {
  CTestApp& app = TestApp();
  for (const UnlockCase& c : {UnlockCase{"user started", true, 1, false}, UnlockCase{"OLE started", false, 1, true},
                              UnlockCase{"OLE started, two objects", false, 2, true}}) {
    SCOPED_TRACE(c.name);
    app.m_bUserControl = c.userControl;
    CAboutDlg main;
    app.m_pMainWnd = &main;
    for (int i = 0; i < c.objects; ++i) AfxOleLockApp();
    std::vector<bool> aliveAfterEachRelease;
    bool released = false;
    HWND window = nullptr;
    ThreadTimer drive(50, [&] {
      if (!main.m_hWnd && !window) return;
      if (!released) {
        released = true;
        window = main.m_hWnd;
        for (int i = 0; i < c.objects; ++i) {
          AfxOleUnlockApp();
          aliveAfterEachRelease.push_back(::IsWindow(window) != FALSE);
        }
      } else if (::IsWindow(window)) {
        ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
      }
    });
    const INT_PTR result = main.DoModal();
    EXPECT_EQ(result, c.ends ? -1 : IDCANCEL) << "DoModal returns when its window is destroyed";
    std::vector<bool> expected(c.objects, true);
    if (c.ends) expected.back() = false;
    EXPECT_EQ(aliveAfterEachRelease, expected);
    EXPECT_TRUE(app.m_bUserControl);
    EXPECT_EQ(app.m_nObjectCount, 0);
    EXPECT_FALSE(QuitPosted());
  }
}

TEST_F(Automation, LastObjectOfAProgramOleStartedWithoutMainWindowPostsQuit) {
  CTestApp& app = TestApp();
  app.m_bUserControl = false;
  AfxOleLockApp();
  AfxOleUnlockApp();
  EXPECT_TRUE(QuitPosted());
  EXPECT_TRUE(app.m_bUserControl);
  // Once only: the program is the user's now.
  AfxOleLockApp();
  AfxOleUnlockApp();
  EXPECT_FALSE(QuitPosted());
  AfxOleUnlockApp();
  EXPECT_EQ(app.m_nObjectCount, 0) << "an unlock too many";
}

// The About box disables the main window: the last object's release leaves
// the program running under the user's control, and the user ends it.
TEST_F(Automation, LastObjectGoingWhileTheAboutBoxIsOpenLeavesTheProgramToTheUser) {
  CTestApp& app = TestApp();
  StoredSettings settings;  // no first-start dialogs
  app.m_bUserControl = false;
  CMIRAVELDlg frame;
  app.m_pMainWnd = &frame;
  CCmdTarget* proxy = CMIRAVELDlgAutoProxy::CreateObject();
  ASSERT_NE(proxy, nullptr);
  EXPECT_EQ(frame.m_pAutoProxy, proxy);

  enum { kStart, kAboutOpen, kReleased, kAboutClosed, kDone } step = kStart;
  HWND frameWindow = nullptr, about = nullptr;
  bool frameStayed = false;
  ThreadTimer drive(50, [&] {
    switch (step) {
      case kStart:
        if (!frame.m_hWnd) return;
        frameWindow = frame.m_hWnd;
        step = kAboutOpen;
        {
          CAboutDlg box;  // runs its own modal loop, in which the next ticks come
          box.DoModal();
        }
        step = kAboutClosed;
        return;
      case kAboutOpen:
        about = ::GetLastActivePopup(frameWindow);
        if (about == frameWindow) return;
        EXPECT_FALSE(::IsWindowEnabled(frameWindow));
        proxy->ExternalRelease();  // the client lets go
        step = kReleased;
        return;
      case kReleased:
        frameStayed = ::IsWindow(frameWindow) != FALSE;
        ::PostMessageW(about, WM_COMMAND, IDOK, 0);
        return;
      case kAboutClosed:
        ::PostMessageW(frameWindow, WM_COMMAND, IDCANCEL, 0);  // the user ends it
        step = kDone;
        return;
      case kDone:
        return;
    }
  });
  EXPECT_EQ(frame.DoModal(), IDCANCEL) << "the user, not the release, ended the frame";
  EXPECT_TRUE(frameStayed);
  EXPECT_EQ(step, kDone);
  EXPECT_TRUE(app.m_bUserControl);
  EXPECT_EQ(frame.m_pAutoProxy, nullptr);
  EXPECT_EQ(app.m_nObjectCount, 0);
}

// ------------------------------------------------- proxy and frame window --

CMIRAVELDlgAutoProxy* NewProxy() {
  return static_cast<CMIRAVELDlgAutoProxy*>(CMIRAVELDlgAutoProxy::CreateObject());
}

TEST_F(Automation, ProxyIsTheClassOfMIRAVELApplicationWithItsDispatchInterface) {
  CMIRAVELDlg frame;
  TestApp().m_pMainWnd = &frame;
  COleObjectFactory factory(CLSID_MIRAVELApplication, &CMIRAVELDlgAutoProxy::classCMIRAVELDlgAutoProxy, TRUE,
                            kMIRAVELProgID);
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(factory.CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)), S_OK);
  ASSERT_NE(frame.m_pAutoProxy, nullptr);
  EXPECT_STREQ(frame.m_pAutoProxy->GetRuntimeClass()->m_lpszClassName, "CMIRAVELDlgAutoProxy");
  EXPECT_EQ(frame.m_pAutoProxy->m_pDialog, &frame);
  EXPECT_EQ(TestApp().m_nObjectCount, 1);
  IUnknown* own = nullptr;
  EXPECT_EQ(dispatch->QueryInterface(IID_IMIRAVEL, reinterpret_cast<void**>(&own)), S_OK);
  EXPECT_EQ(own, dispatch);
  if (own) own->Release();
  EXPECT_FALSE(::IsEqualGUID(CLSID_MIRAVELApplication, IID_IMIRAVEL));
  dispatch->Release();
  EXPECT_EQ(frame.m_pAutoProxy, nullptr);
  EXPECT_EQ(TestApp().m_nObjectCount, 0);
}

// OLE's request can come during the splash screen, before the frame exists.
TEST_F(Automation, ProxyCreatedBeforeTheFrameWindowIsLinkedOnceItIsTheMainWindow) {
  CMIRAVELDlgAutoProxy* early = NewProxy();
  EXPECT_EQ(early->m_pDialog, nullptr);
  EXPECT_EQ(TestApp().m_nObjectCount, 1);

  CMIRAVELDlg frame;
  TestApp().m_pMainWnd = &frame;
  CMIRAVELDlgAutoProxy::LinkWaitingProxy(&frame);
  EXPECT_EQ(frame.m_pAutoProxy, early);
  EXPECT_EQ(early->m_pDialog, &frame);
  early->ExternalRelease();
  EXPECT_EQ(frame.m_pAutoProxy, nullptr);
  EXPECT_EQ(TestApp().m_nObjectCount, 0);
}

// Several objects: the oldest is linked; the link passes on, so the window
// stays linked (and hides instead of closing) while any object lives.
TEST_F(Automation, LinkPassesToTheOldestWaitingProxyWhileAnyLives) {
  CMIRAVELDlg frame;
  TestApp().m_pMainWnd = &frame;
  CMIRAVELDlgAutoProxy* a = NewProxy();
  CMIRAVELDlgAutoProxy* b = NewProxy();
  CMIRAVELDlgAutoProxy* c = NewProxy();
  EXPECT_EQ(frame.m_pAutoProxy, a);
  EXPECT_EQ(b->m_pDialog, nullptr);
  EXPECT_EQ(c->m_pDialog, nullptr);

  a->ExternalRelease();
  EXPECT_EQ(frame.m_pAutoProxy, b);
  EXPECT_EQ(b->m_pDialog, &frame);
  c->ExternalRelease();  // a waiting one goes: nothing changes
  EXPECT_EQ(frame.m_pAutoProxy, b);
  b->ExternalRelease();
  EXPECT_EQ(frame.m_pAutoProxy, nullptr);
  EXPECT_EQ(TestApp().m_nObjectCount, 0);
}

// The frame window object goes first (its modal run ended): no object keeps
// a pointer to it, and none is linked to it afterwards.
TEST_F(Automation, NoProxyKeepsAPointerToAFrameWindowThatIsGone) {
  auto frame = std::make_unique<CMIRAVELDlg>();
  TestApp().m_pMainWnd = frame.get();
  CMIRAVELDlgAutoProxy* linked = NewProxy();
  CMIRAVELDlgAutoProxy* waiting = NewProxy();
  ASSERT_EQ(frame->m_pAutoProxy, linked);

  TestApp().m_pMainWnd = nullptr;  // as the end of the modal run leaves it
  frame.reset();
  EXPECT_EQ(linked->m_pDialog, nullptr);
  EXPECT_EQ(waiting->m_pDialog, nullptr);
  linked->ExternalRelease();
  EXPECT_EQ(waiting->m_pDialog, nullptr) << "linked to a window that is gone";
  CMIRAVELDlgAutoProxy* late = NewProxy();
  EXPECT_EQ(late->m_pDialog, nullptr);
  waiting->ExternalRelease();
  late->ExternalRelease();
  EXPECT_EQ(TestApp().m_nObjectCount, 0);
}

}  // namespace
