// The test program's application object: MIRAVEL's own, with the message
// box replaced by a recorder so that no test ever waits for a click.
#pragma once

#include <string>
#include <vector>

#include "MIRAVELApp.h"

class CTestApp : public CMIRAVELApp {
 public:
  int DoMessageBox(const wchar_t* prompt, UINT type, UINT helpId) override;
  // Shows the message box for real, as the program does.
  int RealMessageBox(const wchar_t* prompt, UINT type) { return CMIRAVELApp::DoMessageBox(prompt, type, 0); }

  // The messages shown since the last call, oldest first.
  std::vector<std::wstring> TakeMessages();

  std::vector<std::wstring> messages;
  std::vector<UINT> types;
};

CTestApp& TestApp();

// A path in the source tree, in the form Windows (Wine) opens.
std::wstring SourcePath(const char* relative);
// A Unix path from the build, in the form Windows (Wine) opens.
std::wstring HostPath(const std::string& unixPath);
std::string Narrow(const std::wstring& text);
