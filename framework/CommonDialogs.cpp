#include "CommonDialogs.h"

#include <algorithm>

#include "Dialog.h"
#include "WinApp.h"

HWND AfxGetCommonDialogOwner(CWnd* parent) {
  HWND owner = parent ? parent->m_hWnd : nullptr;
  if (!owner) {
    const CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd) owner = app->m_pMainWnd->m_hWnd;
  }
  if (!owner || !::IsWindow(owner)) return nullptr;
  return ::GetLastActivePopup(::GetAncestor(owner, GA_ROOT));
}

// ---- CFileDialog ----

namespace {
// Room for a long path; the dialog reports a longer choice as a failure.
constexpr DWORD kFileBufferChars = 32768;
}  // namespace

CFileDialog::CFileDialog(BOOL open, const wchar_t* defaultExt, const wchar_t* fileName, DWORD flags,
                         const wchar_t* filter, CWnd* parent)
    : m_bOpenFileDialog(open), m_pParentWnd(parent), m_fileBuffer(kFileBufferChars, L'\0') {
  if (defaultExt) m_strDefaultExt = defaultExt;
  if (fileName) {
    const std::wstring name(fileName);
    std::copy(name.begin(), name.begin() + std::min<std::size_t>(name.size(), kFileBufferChars - 1),
              m_fileBuffer.begin());
  }
  if (filter) {
    m_strFilter = filter;
    for (wchar_t& c : m_strFilter)
      if (c == L'|') c = L'\0';
    m_strFilter.push_back(L'\0');
  }
  m_ofn.lStructSize = sizeof m_ofn;
  m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
}

INT_PTR CFileDialog::DoModal() {
  m_ofn.hwndOwner = AfxGetCommonDialogOwner(m_pParentWnd);
  m_ofn.hInstance = AfxGetResourceHandle();
  m_ofn.lpstrFile = m_fileBuffer.data();
  m_ofn.nMaxFile = static_cast<DWORD>(m_fileBuffer.size());
  m_ofn.lpstrDefExt = m_strDefaultExt.empty() ? nullptr : m_strDefaultExt.c_str();
  m_ofn.lpstrFilter = m_strFilter.empty() ? nullptr : m_strFilter.c_str();
  const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
  return chosen ? IDOK : IDCANCEL;
}

std::wstring CFileDialog::GetPathName() const { return std::wstring(m_fileBuffer.data()); }

// ---- CColorDialog ----

COLORREF CColorDialog::c_CustColors[16] = {
    RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255),
    RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255),
    RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255),
    RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255), RGB(255, 255, 255)};

CColorDialog::CColorDialog(COLORREF initialColour, DWORD flags, CWnd* parent) : m_pParentWnd(parent) {
  m_cc.lStructSize = sizeof m_cc;
  m_cc.Flags = flags;
  m_cc.rgbResult = initialColour;
  m_cc.lpCustColors = c_CustColors;
}

INT_PTR CColorDialog::DoModal() {
  m_cc.hwndOwner = AfxGetCommonDialogOwner(m_pParentWnd);
  m_cc.hInstance = nullptr;
  return ::ChooseColorW(&m_cc) ? IDOK : IDCANCEL;
}
