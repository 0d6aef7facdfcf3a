// The automation object that stands for the frame window. For now it only
// carries the link back to the window; the automation server gives it its
// dispatch interface and lifetime rules.
#pragma once

class CMIRAVELDlg;

class CMIRAVELDlgAutoProxy {
 public:
  // The frame window this object stands for; not owned. The window clears
  // it when it is destroyed first.
  CMIRAVELDlg* m_pDialog = nullptr;
};
