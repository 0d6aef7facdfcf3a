// The system's open-file and colour dialogs, run modally over the
// application's main window (or a given owner): CFileDialog over
// GetOpenFileNameW / GetSaveFileNameW, CColorDialog over ChooseColorW.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

class CWnd;

// The owner a common dialog gets: the given window, else the application's
// main window; in either case the modal box already open over it, if any.
HWND AfxGetCommonDialogOwner(CWnd* parent);

class CFileDialog {
 public:
  // open: an open-file dialog (else save-as). defaultExt, fileName and
  // filter may be null: no default extension, no initial name, every file
  // listed. The filter uses '|' between its parts, as resource strings do.
  CFileDialog(BOOL open, const wchar_t* defaultExt = nullptr, const wchar_t* fileName = nullptr,
              DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const wchar_t* filter = nullptr,
              CWnd* parent = nullptr);

  // IDOK with a chosen file, IDCANCEL when cancelled or on failure.
  INT_PTR DoModal();
  // The chosen file's full path.
  std::wstring GetPathName() const;

  OPENFILENAMEW m_ofn{};

 private:
  BOOL m_bOpenFileDialog;
  CWnd* m_pParentWnd;
  std::wstring m_strDefaultExt;
  std::wstring m_strFilter;   // parts separated by '\0', ending in two
  std::vector<wchar_t> m_fileBuffer;
};

class CColorDialog {
 public:
  // initialColour counts only with CC_RGBINIT in flags.
  explicit CColorDialog(COLORREF initialColour = 0, DWORD flags = 0, CWnd* parent = nullptr);

  // IDOK with a chosen colour, IDCANCEL when cancelled or on failure.
  INT_PTR DoModal();
  COLORREF GetColor() const { return m_cc.rgbResult; }

  // The custom colours: one array per process, white at the start and
  // kept between dialogs of the run.
  static COLORREF c_CustColors[16];

  CHOOSECOLORW m_cc{};

 private:
  CWnd* m_pParentWnd;
};
