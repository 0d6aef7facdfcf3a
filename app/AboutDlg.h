// The About box: icon, name, version and a notice, all from its template.
#pragma once

#include "Framework.h"
#include "resource.h"

class CAboutDlg : public CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };
  explicit CAboutDlg(CWnd* parent = nullptr) : CDialog(IDD, parent) {}
};
