// The automation base object. A CCmdTarget that calls EnableAutomation
// answers IDispatch (and the dispatch interfaces of its class's interface
// table) with one implementation that has no members: no type information,
// no names, no calls. Its life is COM reference counting: it starts with one
// reference, held by whoever created it, and OnFinalRelease deletes it when
// the last reference goes.
//
// Classes that a class factory creates carry a CRuntimeClass with a create
// function (their default constructor).
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>

class CCmdTarget;

// A class's name and how to create an object of it; the factory's view of
// the class it serves.
struct CRuntimeClass {
  const char* m_lpszClassName;
  // Null for a class without dynamic creation. Returns null when the object
  // cannot be created (no memory); never throws.
  CCmdTarget* (*m_pfnCreateObject)();

  CCmdTarget* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
};

// The dispatch interfaces a class answers besides IDispatch and IUnknown;
// each table names its base class's table, which is searched too.
struct InterfaceMap {
  const InterfaceMap* base;
  const IID* const* entries;
  std::size_t count;
};

template <std::size_t N>
constexpr InterfaceMap MakeInterfaceMap(const InterfaceMap* base, const IID* const (&entries)[N]) {
  return InterfaceMap{base, entries, N};
}

class CCmdTarget {
 public:
  CCmdTarget();
  virtual ~CCmdTarget();
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;

  virtual const CRuntimeClass* GetRuntimeClass() const;

  // Gives the object its dispatch interface; until then it answers only
  // IUnknown.
  void EnableAutomation();
  bool IsAutomationEnabled() const { return m_bAutomation; }

  // The object's IDispatch, with one more reference when addRef is TRUE;
  // null when automation is not enabled.
  IDispatch* GetIDispatch(BOOL addRef);

  // Reference counting and interfaces, for the framework and its tests.
  // QueryInterface clears *object on failure; a null object pointer is
  // E_POINTER. Release calls OnFinalRelease at zero.
  ULONG ExternalAddRef();
  ULONG ExternalRelease();
  HRESULT ExternalQueryInterface(REFIID iid, void** object);

 protected:
  // The last reference is gone: deletes the object.
  virtual void OnFinalRelease();

  // The class's dispatch interfaces; CCmdTarget's table is empty.
  virtual const InterfaceMap* GetInterfaceMap() const;
  static const InterfaceMap interfaceMap;

 private:
  // IDispatch with no members, forwarding its life to the owner.
  class DispatchPart : public IDispatch {
   public:
    explicit DispatchPart(CCmdTarget& owner) : m_owner(owner) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT nameCount, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

   private:
    CCmdTarget& m_owner;
  };

  // The class's interface table (and its bases') names iid.
  bool InterfaceMapHas(REFIID iid) const;

  volatile LONG m_dwRef = 1;
  bool m_bAutomation = false;
  DispatchPart m_xDispatch;
};
