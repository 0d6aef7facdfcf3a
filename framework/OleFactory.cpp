#include "OleFactory.h"

#include <new>
#include <vector>

#include "CmdTarget.h"
#include "OleLock.h"

namespace {

// The module's factories. Both are constant-initialised, so they are ready
// before any static factory is constructed, whatever the order of files.
COleObjectFactory* g_firstFactory = nullptr;
SRWLOCK g_factoryLock = SRWLOCK_INIT;

class ListLock {
 public:
  ListLock() { ::AcquireSRWLockExclusive(&g_factoryLock); }
  ~ListLock() { ::ReleaseSRWLockExclusive(&g_factoryLock); }
  ListLock(const ListLock&) = delete;
  ListLock& operator=(const ListLock&) = delete;
};

std::wstring GuidText(REFGUID guid) {
  wchar_t text[64];
  const int length = ::StringFromGUID2(guid, text, 64);
  return length > 1 ? std::wstring(text, static_cast<std::size_t>(length - 1)) : std::wstring();
}

// The classes of the current user: Windows merges HKCU\Software\Classes
// into the classes view, and a standard user may write nowhere else (the
// machine-wide HKLM\Software\Classes refuses such a user).
constexpr wchar_t kUserClasses[] = L"Software\\Classes\\";

std::wstring UserClassesPath(const std::wstring& path) { return kUserClasses + path; }

// Writes the default value of a per-user class key, creating the key. With
// onlyIfNew, a key that exists already keeps whatever it holds.
bool WriteClassesEntry(const std::wstring& path, const std::wstring& value, bool onlyIfNew) {
  const std::wstring full = UserClassesPath(path);
  HKEY key = nullptr;
  if (onlyIfNew && ::RegOpenKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    ::RegCloseKey(key);
    return true;
  }
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, full.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
  const LONG status =
      ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool DeleteClassesTree(const std::wstring& path) {
  const std::wstring full = UserClassesPath(path);
  const LONG status = ::RegDeleteTreeW(HKEY_CURRENT_USER, full.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, full.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

std::wstring ModulePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

COleObjectFactory::COleObjectFactory(REFCLSID clsid, const CRuntimeClass* runtimeClass,
                                     BOOL multiInstance, const wchar_t* progId)
    : m_clsid(clsid), m_pRuntimeClass(runtimeClass), m_bMultiInstance(multiInstance) {
  if (progId) m_strProgID = progId;
  ListLock lock;
  m_pNextFactory = g_firstFactory;
  g_firstFactory = this;
}

COleObjectFactory::~COleObjectFactory() {
  Revoke();
  ListLock lock;
  for (COleObjectFactory** link = &g_firstFactory; *link; link = &(*link)->m_pNextFactory) {
    if (*link == this) {
      *link = m_pNextFactory;
      break;
    }
  }
}

// ---- registration with OLE ----

BOOL COleObjectFactory::Register() {
  if (IsRegistered()) return TRUE;
  if (::IsEqualCLSID(m_clsid, CLSID_NULL)) return FALSE;
  // Single use: after one client has connected, OLE starts a new instance
  // of the program for the next.
  const DWORD use = m_bMultiInstance ? REGCLS_SINGLEUSE : REGCLS_MULTIPLEUSE;
  DWORD cookie = 0;
  if (FAILED(::CoRegisterClassObject(m_clsid, static_cast<IClassFactory*>(this), CLSCTX_LOCAL_SERVER,
                                     use, &cookie))) {
    return FALSE;
  }
  m_dwRegister = cookie;
  return TRUE;
}

void COleObjectFactory::Revoke() {
  if (!IsRegistered()) return;
  ::CoRevokeClassObject(m_dwRegister);
  m_dwRegister = 0;
}

BOOL COleObjectFactory::RegisterAll() {
  ListLock lock;
  BOOL all = TRUE;
  for (COleObjectFactory* factory = g_firstFactory; factory; factory = factory->m_pNextFactory) {
    if (factory->IsRegistered() || ::IsEqualCLSID(factory->m_clsid, CLSID_NULL)) continue;
    if (!factory->Register()) all = FALSE;
  }
  return all;
}

void COleObjectFactory::RevokeAll() {
  ListLock lock;
  for (COleObjectFactory* factory = g_firstFactory; factory; factory = factory->m_pNextFactory) {
    factory->Revoke();
  }
}

// ---- registry entries ----

std::wstring COleObjectFactory::ServerPath() {
  const std::wstring path = ModulePath();
  std::wstring shortPath = path;
  const DWORD length = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (length > 0) {
    std::vector<wchar_t> buffer(length);
    const DWORD written = ::GetShortPathNameW(path.c_str(), buffer.data(), length);
    if (written > 0 && written < length) shortPath.assign(buffer.data(), written);
  }
  // A volume without short names leaves spaces in; OLE must still find the
  // program rather than a file named by the path's first word.
  if (shortPath.find(L' ') != std::wstring::npos) shortPath = L"\"" + shortPath + L"\"";
  return shortPath;
}

BOOL COleObjectFactory::UpdateRegistry(BOOL bRegister) {
  if (m_strProgID.empty()) return TRUE;  // a class without entries
  const std::wstring clsid = GuidText(m_clsid);
  if (clsid.empty()) return FALSE;
  const std::wstring& progId = m_strProgID;
  const std::wstring classKey = L"CLSID\\" + clsid;

  if (!bRegister) {
    const bool progIdGone = DeleteClassesTree(progId);
    const bool classGone = DeleteClassesTree(classKey);
    return progIdGone && classGone;
  }
  bool ok = WriteClassesEntry(progId, progId, true);
  ok = WriteClassesEntry(classKey, progId, true) && ok;
  ok = WriteClassesEntry(progId + L"\\CLSID", clsid, false) && ok;
  ok = WriteClassesEntry(classKey + L"\\ProgID", progId, false) && ok;
  ok = WriteClassesEntry(classKey + L"\\InprocHandler32", L"ole32.dll", false) && ok;
  ok = WriteClassesEntry(classKey + L"\\LocalServer32", ServerPath(), false) && ok;
  return ok ? TRUE : FALSE;
}

BOOL COleObjectFactory::UpdateRegistryAll(BOOL bRegister) {
  ListLock lock;
  BOOL all = TRUE;
  for (COleObjectFactory* factory = g_firstFactory; factory; factory = factory->m_pNextFactory) {
    if (!factory->UpdateRegistry(bRegister)) all = FALSE;
  }
  return all;
}

// ---- IClassFactory ----

HRESULT COleObjectFactory::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!::IsEqualIID(iid, IID_IUnknown) && !::IsEqualIID(iid, IID_IClassFactory)) return E_NOINTERFACE;
  *object = static_cast<IClassFactory*>(this);
  AddRef();
  return S_OK;
}

// The factory is a static object: references are counted but never free it.
ULONG COleObjectFactory::AddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_dwRef)); }

ULONG COleObjectFactory::Release() { return static_cast<ULONG>(::InterlockedDecrement(&m_dwRef)); }

CCmdTarget* COleObjectFactory::OnCreateObject() {
  return m_pRuntimeClass ? m_pRuntimeClass->CreateObject() : nullptr;
}

HRESULT COleObjectFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  CCmdTarget* target = nullptr;
  try {
    target = OnCreateObject();
  } catch (...) {
    target = nullptr;  // nothing crosses into OLE
  }
  if (!target) return E_OUTOFMEMORY;
  // The object's own reference goes once the client has one: an interface
  // it does not have leaves nothing behind.
  const HRESULT result = target->ExternalQueryInterface(iid, object);
  target->ExternalRelease();
  return result;
}

HRESULT COleObjectFactory::LockServer(BOOL lock) {
  if (lock) {
    ::InterlockedIncrement(&m_nServerLocks);
    AfxOleLockApp();
    return S_OK;
  }
  // Only a lock this factory holds can be undone.
  LONG held = m_nServerLocks;
  while (held > 0) {
    const LONG seen = ::InterlockedCompareExchange(&m_nServerLocks, held - 1, held);
    if (seen == held) {
      AfxOleUnlockApp();
      return S_OK;
    }
    held = seen;
  }
  return E_UNEXPECTED;
}
