// The frame window: a modal dialog without caption or controls that shows
// one photo in a band of one colour. Its picture loaders live in picture/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Framework.h"
#include "resource.h"

class CMIRAVELDlgAutoProxy;

// A complete BMP file image in memory: file header, info header, colour
// table if any, pixel rows at the file header's bfOffBits.
using DisplayBitmapBlock = std::vector<uint8_t>;

class CMIRAVELDlg : public CDialog {
 public:
  enum { IDD = IDD_MIRAVEL_DIALOG };

  explicit CMIRAVELDlg(CWnd* parent = nullptr);
  ~CMIRAVELDlg() override;

  // Picture loaders. Each returns 1 when the display bitmap now holds the
  // photo, or 0 after showing its message, the display bitmap unchanged.
  // An error reading an open file is thrown as CFileException.
  int LoadBmpFile(const std::wstring& path);
  int LoadJpegFile(const std::wstring& path);
  // Replaces the display bitmap with one built from colour planes; false
  // (and the display bitmap unchanged) when its size does not fit.
  bool BuildDisplayBitmap(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                          int32_t width, int32_t height);

  CMIRAVELDlgAutoProxy* m_pAutoProxy = nullptr;  // linked automation object; not owned
  HICON m_hIcon = nullptr;                        // program icon, resource 128
  std::wstring m_strPicturePath;                  // current photo; empty when none
  // Frame colour until one is restored or chosen: black, the colour the
  // colour dialog opens on.
  COLORREF m_crFrameColor = RGB(0, 0, 0);
  std::unique_ptr<DisplayBitmapBlock> m_pDisplayBitmap;  // null until a photo loads
  BOOL m_bDragging = FALSE;
  int32_t m_nDragOffsetX = 0;
  int32_t m_nDragOffsetY = 0;
  DWORD m_dwLastMoveTime = 0;
  BOOL m_bAlwaysOnTop = TRUE;
  std::wstring m_strPictureType;  // "BMP" or "JPG": the loader the photo needs

 protected:
  const MessageMap* GetMessageMap() const override;
  static const MessageMap messageMap;
};
