// The application object and the global helpers around it. One CWinApp
// (derived) object exists per program, as a static object; AfxWinMain sets
// it up and calls InitInstance, which for a dialog program is its whole life.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CWnd;

class CWinApp {
 public:
  // The application's name, when given, is used as is; otherwise the
  // string IDS_APP_TITLE names it, and without that string the executable's
  // file name without folder and extension does.
  explicit CWinApp(const wchar_t* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance();
  // The message loop for programs whose InitInstance returns TRUE; returns
  // ExitInstance's code.
  virtual int Run();
  virtual int ExitInstance();

  // Every AfxMessageBox ends here: the text in a message box owned by the
  // main window, the application name as caption, the exclamation icon
  // unless the type names an icon. Tests override it to capture messages.
  virtual int DoMessageBox(const wchar_t* prompt, UINT type, UINT helpId);

  // Commands no window handled: ID_APP_EXIT closes the main window, ID_HELP
  // opens help (OnHelp). Returns TRUE when the command was handled.
  virtual BOOL OnCommand(UINT id);
  // The main window's help at its own help context.
  void OnHelp();

  // Command-line switches that OLE passes to a server it starts. Each looks
  // for its word right after a "-" or "/", anywhere in m_lpCmdLine, letter
  // case exact; when found, cuts out the word and its "-" or "/", marks the
  // application as not under the user's control and returns TRUE.
  BOOL RunEmbedded();
  BOOL RunAutomated();

  // Asks for three-dimensional dialog controls; controls are drawn that way
  // on every system this program runs on, so there is nothing to do.
  void Enable3dControlsStatic() {}

  // From this call on, the profile functions work on the registry:
  // HKEY_CURRENT_USER\software\<key>\<application name>\<section>.
  void SetRegistryKey(const wchar_t* key);
  void SetRegistryKey(UINT keyStringId);
  // Reads a string value; the default (empty when null) when the value is
  // missing or not text. The section's key is created on first access,
  // reading included. Without a registry key nothing is read.
  std::wstring GetProfileString(const wchar_t* section, const wchar_t* entry,
                                const wchar_t* defaultValue = nullptr);
  // Writes a string value (REG_SZ); a null value deletes the entry, a null
  // entry the whole section. FALSE on failure or without a registry key.
  BOOL WriteProfileString(const wchar_t* section, const wchar_t* entry, const wchar_t* value);

  HINSTANCE m_hInstance = nullptr;
  std::wstring m_lpCmdLine;       // the command line after the program name
  int m_nCmdShow = SW_SHOWNORMAL;
  std::wstring m_pszAppName;
  std::wstring m_pszExeName;      // executable file name without folder and extension
  std::wstring m_pszRegistryKey;  // empty until SetRegistryKey
  std::wstring m_pszHelpFilePath;  // the executable's path with ".HLP" for its extension
  CWnd* m_pMainWnd = nullptr;

  // Automation: objects alive for clients, and whether the user (rather
  // than OLE) started and so controls the program.
  volatile LONG m_nObjectCount = 0;
  bool m_bUserControl = true;

  // Called by AfxWinInit: instance, command line and names.
  void SetUp(HINSTANCE instance, const wchar_t* commandLine, int showCommand);

 private:
  BOOL CutSwitch(const wchar_t* word);
  HKEY OpenSectionKey(const wchar_t* section);
};

// Searches line for word right after a "-" or "/" (letter case exact, a
// longer word counts) and cuts out the first such occurrence: the "-" or "/"
// and the word's own letters. Returns whether it was found.
bool CutCommandLineSwitch(std::wstring& line, const wchar_t* word);

// The arguments of a command line after the program's name, split as
// programs' command lines are: blanks between arguments, double quotes
// around blanks, backslashes before a quote escaping it.
std::vector<std::wstring> CommandLineArguments(const std::wstring& line);

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
std::wstring AfxLoadString(UINT id);

// Shows text in the application's message box (CWinApp::DoMessageBox).
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT textId, UINT type = MB_OK, UINT helpId = static_cast<UINT>(-1));

// Inside a catch block: tells the user, in the application's message box,
// what went wrong (no memory, a file error, anything else). Never throws.
void AfxReportException() noexcept;

// Sets up the application object; TRUE on success. AfxWinMain calls it;
// test programs with their own main call it themselves.
BOOL AfxWinInit(HINSTANCE instance, const wchar_t* commandLine, int showCommand);

// The program's life: set up, InitInstance, Run or ExitInstance, OLE
// shutdown. Returns the process exit code.
int AfxWinMain(HINSTANCE instance, const wchar_t* commandLine, int showCommand);

// Hosting of OLE controls in dialogs; the program's dialogs contain none.
inline void AfxEnableControlContainer() {}
