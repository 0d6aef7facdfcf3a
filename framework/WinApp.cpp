#include "WinApp.h"

#include <shellapi.h>

#include <cwchar>
#include <new>
#include <vector>

#include "Dialog.h"
#include "File.h"
#include "FrameworkIds.h"
#include "Ole.h"

namespace {

CWinApp* g_app = nullptr;

std::wstring ModuleFileName(HMODULE module) {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

// File name without folder and extension.
std::wstring BaseName(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/:");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

// The path with its extension (from the last dot of the file name) replaced
// by ".HLP"; ".HLP" added when the file name has no dot.
std::wstring HelpFilePath(const std::wstring& path) {
  if (path.empty()) return path;
  const std::size_t slash = path.find_last_of(L"\\/:");
  const std::size_t dot = path.rfind(L'.');
  const bool hasDot = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash);
  return (hasDot ? path.substr(0, dot) : path) + L".HLP";
}

}  // namespace

CWinApp::CWinApp(const wchar_t* appName) {
  if (appName) m_pszAppName = appName;
  // One application object per program; a second one is not the app.
  if (!g_app) g_app = this;
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

void CWinApp::SetUp(HINSTANCE instance, const wchar_t* commandLine, int showCommand) {
  m_hInstance = instance;
  m_lpCmdLine = commandLine ? commandLine : L"";
  m_nCmdShow = showCommand;
  const std::wstring modulePath = ModuleFileName(instance);
  m_pszExeName = BaseName(modulePath);
  m_pszHelpFilePath = HelpFilePath(modulePath);
  if (m_pszAppName.empty()) m_pszAppName = AfxLoadString(IDS_APP_TITLE);
  if (m_pszAppName.empty()) m_pszAppName = m_pszExeName;
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() {
  MSG msg;
  BOOL got;
  while ((got = ::GetMessageW(&msg, nullptr, 0, 0)) != 0 && got != -1) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ExitInstance();
  return got == 0 ? static_cast<int>(msg.wParam) : -1;
}

int CWinApp::ExitInstance() { return 0; }

int CWinApp::DoMessageBox(const wchar_t* prompt, UINT type, UINT) {
  if ((type & MB_ICONMASK) == 0) type |= MB_ICONEXCLAMATION;
  HWND owner = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
  if (owner && ::IsWindow(owner)) {
    owner = ::GetLastActivePopup(owner);
  } else {
    owner = nullptr;
    type |= MB_TASKMODAL;
  }
  return ::MessageBoxW(owner, prompt, m_pszAppName.c_str(), type);
}

BOOL CWinApp::OnCommand(UINT id) {
  if (id == ID_APP_EXIT) {
    // The main window decides how to close (and what to save) in WM_CLOSE.
    if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->SendMessage(WM_CLOSE);
    return TRUE;
  }
  if (id == ID_HELP) {
    OnHelp();
    return TRUE;
  }
  return FALSE;
}

void CWinApp::OnHelp() {
  if (m_pMainWnd && m_pMainWnd->m_hWnd) m_pMainWnd->WinHelp(m_pMainWnd->GetHelpContext(), HELP_CONTEXT);
}

bool CutCommandLineSwitch(std::wstring& line, const wchar_t* word) {
  const std::wstring wanted(word);
  for (std::size_t i = 0; i < line.size(); ++i) {
    if ((line[i] == L'-' || line[i] == L'/') && line.compare(i + 1, wanted.size(), wanted) == 0) {
      line.erase(i, wanted.size() + 1);
      return true;
    }
  }
  return false;
}

std::vector<std::wstring> CommandLineArguments(const std::wstring& line) {
  std::vector<std::wstring> arguments;
  // The system's own splitting; the program's name in front, which it
  // reads by rules of its own, is not part of the line.
  const std::wstring full = L"program " + line;
  int count = 0;
  LPWSTR* parts = ::CommandLineToArgvW(full.c_str(), &count);
  if (!parts) return arguments;
  for (int i = 1; i < count; ++i) arguments.emplace_back(parts[i]);
  ::LocalFree(parts);
  return arguments;
}

BOOL CWinApp::CutSwitch(const wchar_t* word) {
  if (!CutCommandLineSwitch(m_lpCmdLine, word)) return FALSE;
  m_bUserControl = false;  // OLE started the program
  return TRUE;
}

BOOL CWinApp::RunEmbedded() { return CutSwitch(L"Embedding"); }

BOOL CWinApp::RunAutomated() { return CutSwitch(L"Automation"); }

void CWinApp::SetRegistryKey(const wchar_t* key) { m_pszRegistryKey = key ? key : L""; }

void CWinApp::SetRegistryKey(UINT keyStringId) { SetRegistryKey(AfxLoadString(keyStringId).c_str()); }

HKEY CWinApp::OpenSectionKey(const wchar_t* section) {
  if (m_pszRegistryKey.empty() || !section) return nullptr;
  const std::wstring path =
      L"software\\" + m_pszRegistryKey + L"\\" + m_pszAppName + L"\\" + section;
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

std::wstring CWinApp::GetProfileString(const wchar_t* section, const wchar_t* entry,
                                       const wchar_t* defaultValue) {
  const std::wstring fallback = defaultValue ? defaultValue : L"";
  const HKEY key = OpenSectionKey(section);
  if (!key) return fallback;
  std::wstring value = fallback;
  DWORD type = 0;
  DWORD bytes = 0;
  if (::RegQueryValueExW(key, entry, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      type == REG_SZ) {
    // One spare character: a stored value need not end with its terminator.
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, entry, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                           &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
      text[bytes / sizeof(wchar_t)] = L'\0';
      value.assign(text.data());
    }
  }
  ::RegCloseKey(key);
  return value;
}

BOOL CWinApp::WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value) {
  if (m_pszRegistryKey.empty() || !section) return FALSE;
  if (!entry) {
    const std::wstring path = L"software\\" + m_pszRegistryKey + L"\\" + m_pszAppName;
    HKEY app = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_WRITE, &app) != ERROR_SUCCESS) return FALSE;
    const LONG deleted = ::RegDeleteTreeW(app, section);
    ::RegDeleteKeyW(app, section);
    ::RegCloseKey(app);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
  }
  const HKEY key = OpenSectionKey(section);
  if (!key) return FALSE;
  LONG status;
  if (value) {
    const DWORD bytes = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    status = ::RegSetValueExW(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
  } else {
    status = ::RegDeleteValueW(key, entry);
    if (status == ERROR_FILE_NOT_FOUND) status = ERROR_SUCCESS;
  }
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetResourceHandle() {
  return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleW(nullptr);
}

std::wstring AfxLoadString(UINT id) {
  wchar_t buffer[1024];
  const int length = ::LoadStringW(AfxGetResourceHandle(), id, buffer, 1024);
  return length > 0 ? std::wstring(buffer, static_cast<std::size_t>(length)) : std::wstring();
}

int AfxMessageBox(const wchar_t* text, UINT type, UINT helpId) {
  if (g_app) return g_app->DoMessageBox(text, type, helpId);
  return ::MessageBoxW(nullptr, text, nullptr, type | MB_ICONEXCLAMATION | MB_TASKMODAL);
}

int AfxMessageBox(UINT textId, UINT type, UINT helpId) {
  if (helpId == static_cast<UINT>(-1)) helpId = textId;
  return AfxMessageBox(AfxLoadString(textId).c_str(), type, helpId);
}

void AfxReportException() noexcept {
  try {
    std::wstring text;
    try {
      throw;
    } catch (const CFileException& e) {
      text = AfxLoadString(IDS_FW_FILE_ERROR);
      const std::size_t at = text.find(L"%1");
      if (at != std::wstring::npos) text.replace(at, 2, e.m_strFileName);
    } catch (const std::bad_alloc&) {
      text = AfxLoadString(IDS_FW_NO_MEMORY);
    } catch (...) {
      text = AfxLoadString(IDS_FW_UNEXPECTED);
    }
    if (text.empty()) text = L"Error";
    AfxMessageBox(text.c_str(), MB_OK);
  } catch (...) {
    // Reporting failed as well (no memory for the text): nothing more to do.
  }
}

BOOL AfxWinInit(HINSTANCE instance, const wchar_t* commandLine, int showCommand) {
  if (!g_app) return FALSE;
  g_app->SetUp(instance, commandLine, showCommand);
  return TRUE;
}

int AfxWinMain(HINSTANCE instance, const wchar_t* commandLine, int showCommand) {
  if (!AfxWinInit(instance, commandLine, showCommand)) return -1;
  int code = 0;
  try {
    code = g_app->InitInstance() ? g_app->Run() : g_app->ExitInstance();
  } catch (...) {
    AfxReportException();
    code = -1;
  }
  AfxOleTerm();
  return code;
}
