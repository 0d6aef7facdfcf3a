#include "Ole.h"

#include <ole2.h>

namespace {
// OLE is initialised per thread.
thread_local bool g_oleInitialised = false;
}

BOOL AfxOleInit() {
  if (g_oleInitialised) return TRUE;
  const HRESULT result = ::OleInitialize(nullptr);
  if (FAILED(result)) return FALSE;
  g_oleInitialised = true;
  return TRUE;
}

void AfxOleTerm() {
  if (!g_oleInitialised) return;
  g_oleInitialised = false;
  COleObjectFactory::RevokeAll();
  ::OleUninitialize();
}
