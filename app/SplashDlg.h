// The splash screen: the title picture, for three seconds, at every start.
#pragma once

#include "Framework.h"
#include "resource.h"

class CSplashDlg : public CDialog {
 public:
  enum { IDD = IDD_SPLASH };
  explicit CSplashDlg(CWnd* parent = nullptr) : CDialog(IDD, parent) {}

 protected:
  BOOL OnInitDialog() override;
  void OnTimer(UINT_PTR id);
  void OnDestroy();

  const MessageMap* GetMessageMap() const override;
  static const MessageEntry messageEntries[];
  static const MessageMap messageMap;

 private:
  void FitToPicture();
  HBITMAP m_hScaledPicture = nullptr;  // the picture at the DPI's scale, when not 96
  HBITMAP m_hOwnPicture = nullptr;     // the control's own, while the scaled one shows
};
