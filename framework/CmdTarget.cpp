#include "CmdTarget.h"

namespace {
const CRuntimeClass kCmdTargetClass{"CCmdTarget", nullptr};
}  // namespace

const InterfaceMap CCmdTarget::interfaceMap{nullptr, nullptr, 0};

CCmdTarget::CCmdTarget() : m_xDispatch(*this) {}

CCmdTarget::~CCmdTarget() = default;

const CRuntimeClass* CCmdTarget::GetRuntimeClass() const { return &kCmdTargetClass; }

const InterfaceMap* CCmdTarget::GetInterfaceMap() const { return &interfaceMap; }

void CCmdTarget::EnableAutomation() { m_bAutomation = true; }

IDispatch* CCmdTarget::GetIDispatch(BOOL addRef) {
  if (!m_bAutomation) return nullptr;
  if (addRef) ExternalAddRef();
  return &m_xDispatch;
}

ULONG CCmdTarget::ExternalAddRef() { return static_cast<ULONG>(::InterlockedIncrement(&m_dwRef)); }

ULONG CCmdTarget::ExternalRelease() {
  const LONG count = ::InterlockedDecrement(&m_dwRef);
  if (count == 0) OnFinalRelease();
  return static_cast<ULONG>(count);
}

bool CCmdTarget::InterfaceMapHas(REFIID iid) const {
  for (const InterfaceMap* map = GetInterfaceMap(); map; map = map->base) {
    for (std::size_t i = 0; i < map->count; ++i) {
      if (::IsEqualGUID(*map->entries[i], iid)) return true;
    }
  }
  return false;
}

HRESULT CCmdTarget::ExternalQueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  // IUnknown is always the same pointer, whatever was asked before.
  if (::IsEqualGUID(iid, IID_IUnknown)) {
    *object = static_cast<IUnknown*>(&m_xDispatch);
  } else if (m_bAutomation && (::IsEqualGUID(iid, IID_IDispatch) || InterfaceMapHas(iid))) {
    *object = static_cast<IDispatch*>(&m_xDispatch);
  } else {
    return E_NOINTERFACE;
  }
  ExternalAddRef();
  return S_OK;
}

void CCmdTarget::OnFinalRelease() { delete this; }

// ---- the dispatch implementation: no members ----

HRESULT CCmdTarget::DispatchPart::QueryInterface(REFIID iid, void** object) {
  return m_owner.ExternalQueryInterface(iid, object);
}

ULONG CCmdTarget::DispatchPart::AddRef() { return m_owner.ExternalAddRef(); }

ULONG CCmdTarget::DispatchPart::Release() { return m_owner.ExternalRelease(); }

HRESULT CCmdTarget::DispatchPart::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;  // no type information
  return S_OK;
}

HRESULT CCmdTarget::DispatchPart::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (!info) return E_POINTER;
  *info = nullptr;
  return DISP_E_BADINDEX;
}

HRESULT CCmdTarget::DispatchPart::GetIDsOfNames(REFIID iid, LPOLESTR*, UINT nameCount, LCID,
                                               DISPID* ids) {
  if (!::IsEqualGUID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (nameCount > 0 && !ids) return E_POINTER;
  // No name is known: every id reads "unknown", as callers expect.
  for (UINT i = 0; i < nameCount; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

HRESULT CCmdTarget::DispatchPart::Invoke(DISPID, REFIID iid, LCID, WORD, DISPPARAMS*, VARIANT*,
                                        EXCEPINFO*, UINT*) {
  if (!::IsEqualGUID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return DISP_E_MEMBERNOTFOUND;
}
