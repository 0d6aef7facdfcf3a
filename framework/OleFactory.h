// Class factories of the program's automation classes. Each factory is a
// static object that stands for one class: its CLSID, the runtime class it
// creates objects of, whether each program instance serves one client only
// (the multiple-instance flag), and its ProgID. Factories enter a
// module-wide list when constructed and leave it when destroyed.
//
// A program started by OLE registers every factory as a running class
// object (RegisterAll); a program started by the user writes the classes'
// entries for that user, under HKEY_CURRENT_USER\Software\Classes
// (UpdateRegistryAll), so that OLE can start it for a client. Nothing
// machine-wide is written: that needs administrator rights.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

struct CRuntimeClass;
class CCmdTarget;

class COleObjectFactory : public IClassFactory {
 public:
  // progId may be null: the class then has no registry entries.
  COleObjectFactory(REFCLSID clsid, const CRuntimeClass* runtimeClass, BOOL multiInstance,
                    const wchar_t* progId);
  // Withdraws a registration still in place and leaves the list.
  virtual ~COleObjectFactory();
  COleObjectFactory(const COleObjectFactory&) = delete;
  COleObjectFactory& operator=(const COleObjectFactory&) = delete;

  // Every factory of the list with a CLSID that is not yet registered, as a
  // class object of a local server: single use with the multiple-instance
  // flag, multiple use without. FALSE when any registration failed.
  static BOOL RegisterAll();
  // Withdraws every factory's registration (at shutdown, before OLE ends).
  static void RevokeAll();
  // TRUE: writes every factory's entries; FALSE: removes them. FALSE when
  // any factory's entries could not be written or removed.
  static BOOL UpdateRegistryAll(BOOL bRegister = TRUE);

  BOOL Register();
  void Revoke();
  BOOL IsRegistered() const { return m_dwRegister != 0; }
  // The six entries of the class as a dispatch object, under
  // HKCU\Software\Classes, the ProgID standing for both type names:
  //   <ProgID>                           = <ProgID>     only if the key is new
  //   CLSID\<clsid>                      = <ProgID>     only if the key is new
  //   <ProgID>\CLSID                     = <clsid>
  //   CLSID\<clsid>\ProgID               = <ProgID>
  //   CLSID\<clsid>\InprocHandler32      = ole32.dll
  //   CLSID\<clsid>\LocalServer32        = <program path, short form>
  BOOL UpdateRegistry(BOOL bRegister = TRUE);

  REFCLSID GetClassID() const { return m_clsid; }
  // The text written as LocalServer32: the program's path in its short
  // (8.3) form, quoted if it still holds a space.
  static std::wstring ServerPath();

  // IClassFactory. Objects cannot be aggregated; an object that cannot be
  // created is E_OUTOFMEMORY. LockServer holds the application lock; an
  // unlock without a lock of this factory is E_UNEXPECTED.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

 protected:
  // A new object of the runtime class, with its one reference; null when it
  // cannot be created.
  virtual CCmdTarget* OnCreateObject();

 private:
  CLSID m_clsid;
  const CRuntimeClass* m_pRuntimeClass;
  BOOL m_bMultiInstance;
  std::wstring m_strProgID;
  DWORD m_dwRegister = 0;       // OLE's cookie while registered
  volatile LONG m_dwRef = 0;    // references OLE and clients hold; the object is static
  volatile LONG m_nServerLocks = 0;
  COleObjectFactory* m_pNextFactory = nullptr;
};
