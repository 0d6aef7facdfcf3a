// Windows and modal dialogs. CWnd is a window handle with the few operations
// the program uses; CDialog runs a dialog-template resource modally, with
// its own message table, the overridable OnInitDialog, OnOK, OnCancel and
// OnCommand, and the placement and owner handling of a modal dialog.
//
// Every message the dialog receives passes through one dialog procedure,
// which looks the message up in the class's table and calls the handler.
// Nothing a handler throws leaves that procedure: it is reported in the
// application's message box and the dialog goes on.
#pragma once

#include <windows.h>

#include "Message.h"

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  BOOL ShowWindow(int command) const;
  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs) const;
  BOOL KillTimer(UINT_PTR id) const;

  // Centres the window on its owner, or on the work area of its screen when
  // it has no visible owner, keeping it inside that work area.
  void CenterWindow() const;

  // Opens the application's help file (CWinApp::m_pszHelpFilePath) with the
  // help engine, owned by the main window; when the engine cannot start,
  // says so in the application's message box (IDP_FAILED_TO_LAUNCH_HELP).
  virtual void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT);
  // The help context the application's help command asks for; none here.
  virtual DWORD_PTR GetHelpContext() const { return 0; }

  HWND m_hWnd = nullptr;

 protected:
  // The class's message table; CWnd's is empty.
  virtual const MessageMap* GetMessageMap() const;
  // Calls the table's handler for the message, searching base tables too.
  bool DispatchToTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  static const MessageMap messageMap;
};

// The work area of the monitor that MonitorFromWindow(window, flags)
// names; the primary screen's when there is none to ask.
RECT WorkAreaOf(HWND window, DWORD monitorFlags);

// Where the top-left corner of a window of size goes when it is to be at
// corner but wholly on work: moved as little as it takes, the top-left
// corner winning when the window is larger than work.
POINT PlaceOnWorkArea(const RECT& work, POINT corner, SIZE size);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;

  // Creates the dialog from its template, disables its owner, runs it until
  // EndDialog (or until its window is destroyed) and destroys it. Returns
  // the code passed to EndDialog, or -1 when the dialog could not be created
  // or its window was destroyed without EndDialog.
  virtual INT_PTR DoModal();

  // Ends the modal run with the given result once the current message has
  // been handled; the window exists until DoModal returns.
  void EndDialog(int result);

  // Resource help context: HID_BASE_RESOURCE plus the template id.
  DWORD_PTR GetHelpContext() const override { return 0x20000 + m_nIDTemplate; }

 protected:
  virtual BOOL OnInitDialog();  // returns TRUE: focus to the first control
  virtual void OnOK();          // EndDialog(IDOK)
  virtual void OnCancel();      // EndDialog(IDCANCEL)
  // Every WM_COMMAND: IDOK to OnOK, IDCANCEL to OnCancel, other ids to the
  // application's command handling. Returns TRUE when handled.
  virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

  // Runs the dialog manager's default handling of the message being handled,
  // from inside its handler (before or after the handler's own work).
  LRESULT Default();

  // Called from OnInitDialog: the dialog has been placed where it belongs
  // and is not centred when its initialisation ends.
  void KeepPlacement() { m_bCenterOnInit = false; }

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR HandleInitDialog();
  HWND FindOwner() const;
  void RunModalLoop();

  struct CurrentMessage {
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
  };
  CurrentMessage m_current;
  bool m_bStepAside = false;  // set by Default() for one re-entry of DialogProc
  bool m_bContinueModal = false;
  bool m_bCenterOnInit = false;
  INT_PTR m_nModalResult = -1;
};
