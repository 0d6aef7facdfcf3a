// The frame window: a modal dialog without caption or controls that shows
// one photo in a band of one colour. It is moved by dragging the band, sent
// to the bottom and minimised by a click on the photo, worked through a
// right-click menu, and remembers its photo and colour in the registry when
// it closes. Its picture loaders live in picture/.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Framework.h"
#include "PhotoSource.h"
#include "PixelView.h"
#include "resource.h"

class CMIRAVELDlgAutoProxy;

class CMIRAVELDlg : public CDialog {
 public:
  enum { IDD = IDD_MIRAVEL_DIALOG };

  explicit CMIRAVELDlg(CWnd* parent = nullptr);
  ~CMIRAVELDlg() override;

  // The band around the photo, in device pixels at any DPI: 10 left of and
  // above it, 9 right of and below it.
  static constexpr int kBand = 10;
  static constexpr int kBandFar = 9;

  // Picture loaders. Each returns 1 when the display bitmap now holds the
  // photo, or 0 after showing its message, the display bitmap unchanged.
  // An error reading an open file is thrown as CFileException.
  int LoadBmpFile(const std::wstring& path);
  int LoadJpegFile(const std::wstring& path);
  // Replaces the display bitmap with one built from colour planes as they
  // are (1:1, not turned); false (and the display bitmap unchanged) when
  // its size does not fit. The loaders show a photo through
  // ShowLoadedPhoto, which builds the same bitmap for such planes.
  bool BuildDisplayBitmap(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                          int32_t width, int32_t height);

  // Layout and painting. RefreshFrame sizes the window so that its client
  // area holds the photo with 10 pixels of band left of and above it and 9
  // right of and below it, the window's border added for its DPI (25 pixels
  // each way at 96 DPI; top-left corner kept), applies the stacking of
  // m_bAlwaysOnTop and paints band and photo; with no photo it does
  // nothing. PaintContent is the drawing alone, into any device context
  // whose area is the client rectangle given (a memory DC in tests): the
  // whole rectangle in the frame colour, the photo 1:1 at (10, 10). A
  // display bitmap that does not describe a drawable image inside its block
  // is not drawn. PaintContent returns whether a photo was drawn.
  void RefreshFrame();
  bool PaintContent(HDC dc, const RECT& client) const;
  // Width and height of the display bitmap when it holds a drawable image.
  bool PhotoSize(int* width, int* height) const;
  // Outer size of the window around a photo of width x height at dpi.
  SIZE OuterSizeForPhoto(int width, int height, UINT dpi) const;

  // Shrink to fit (ID_SHRINK_PHOTO). While m_bShrinkPhoto is set, a photo
  // whose frame would not fit the work area of the monitor the frame is on
  // is shown scaled down, its aspect kept, to the largest size whose whole
  // frame fits there; a photo that fits is shown 1:1. The full-size photo
  // is then kept aside (m_pFullPhoto) so that FitPhoto can show it at
  // another size without its file. FitPhoto fits the current photo again
  // (after the command, a change of the displays, the work area or the DPI,
  // a drag that ended on another monitor).
  void FitPhoto();
  // The size a photo of full size (as shown, turned) is shown at now.
  miravel::PictureSize ShownSizeFor(miravel::PictureSize full) const;
  // Makes a loaded photo the frame's: shown at its size for now, the
  // previous photo dropped. False, with nothing changed, when it cannot be
  // shown (too large for a bitmap of ours while shrinking is off).
  bool ShowLoadedPhoto(PhotoSource&& photo);

  // The New photo and Frame colour commands; also run at a first start.
  void ChooseNewPhoto();
  void ChooseFrameColor();
  // Takes the photo at path as New photo does with a chosen file: its
  // extension picks the loader; a failure has shown the loader's message
  // and the current photo stays. False, with nothing done, when no loader
  // takes the name; else whether the photo is now the frame's.
  bool OpenPhoto(const std::wstring& path);
  // Reads the stored photo and colour and acts on them (once, at
  // initialisation); a missing one opens its dialog. Each is restored on its
  // own: an error while the photo loads (a read error, no memory) is
  // reported and the colour is still restored.
  void RestoreSettings();
  // True when the window may end; false, after hiding it, while an
  // automation object is attached.
  BOOL CanExit();

  // Any help request opens the help file's contents.
  void WinHelp(DWORD_PTR data, UINT command = HELP_CONTEXT) override;

  CMIRAVELDlgAutoProxy* m_pAutoProxy = nullptr;  // linked automation object; not owned
  HICON m_hIcon = nullptr;                        // program icon, resource 128
  std::wstring m_strPicturePath;                  // current photo; empty when none
  // Frame colour until one is restored or chosen: black, the colour the
  // colour dialog opens on.
  COLORREF m_crFrameColor = RGB(0, 0, 0);
  std::unique_ptr<DisplayBitmapBlock> m_pDisplayBitmap;  // what is shown; null until a photo loads
  // Dragging: the window's outer top-left corner minus the cursor's screen
  // position, taken at the press; every step puts the corner at the
  // cursor's screen position plus these offsets. A move that arrives
  // within the clock tick of the last step is held back (m_ptDragCursor)
  // and placed at the next step or at the end of the drag.
  BOOL m_bDragging = FALSE;
  int32_t m_nDragOffsetX = 0;
  int32_t m_nDragOffsetY = 0;
  DWORD m_dwLastMoveTime = 0;
  BOOL m_bDragStepPending = FALSE;
  POINT m_ptDragCursor{};
  HMONITOR m_hDragMonitor = nullptr;  // the monitor the frame was on at the press
  // Set when a photo was fitted smaller than it is: the next refresh moves
  // the frame, at its new size, wholly into the work area.
  bool m_bKeepInWorkArea = false;
  BOOL m_bAlwaysOnTop = TRUE;
  std::wstring m_strPictureType;  // "BMP" or "JPG": the loader the photo needs
  // A photo named on the command line ("Open with", a double-click on a
  // photo): opened at start instead of the stored one.
  std::wstring m_strPhotoToOpen;
  BOOL m_bShrinkPhoto = TRUE;  // shrink to fit; on until the user turns it off
  // The photo at full size while it is shown smaller; null while the
  // display bitmap is the photo at full size.
  std::unique_ptr<PhotoSource> m_pFullPhoto;

 protected:
  BOOL OnInitDialog() override;
  BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
  void OnOK() override;
  void OnCancel() override;

  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnClose();
  void OnRButtonDown(UINT flags, POINT point);
  void OnLButtonDown(UINT flags, POINT point);
  void OnLButtonUp(UINT flags, POINT point);
  void OnMouseMove(UINT flags, POINT point);
  LRESULT OnQueryEndSession(WPARAM wParam, LPARAM lParam);
  LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
  LRESULT OnComeForward(WPARAM wParam, LPARAM lParam);
  LRESULT OnContextMenu(WPARAM wParam, LPARAM lParam);
  LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam);
  LRESULT OnDisplayChange(WPARAM wParam, LPARAM lParam);
  LRESULT OnSettingChange(WPARAM wParam, LPARAM lParam);

  const MessageMap* GetMessageMap() const override;
  static const MessageEntry messageEntries[];
  static const MessageMap messageMap;

 private:
  // Asks the frame, once it is shown, to take the foreground.
  static constexpr UINT WM_COME_FORWARD = WM_APP + 1;

  // The window that SetWindowPos places this one after: topmost, or at the
  // top of the ordinary windows.
  HWND StackingInsertAfter() const;
  // The loader of type ("BMP" or "JPG") on path: 1 loaded, 0 failed.
  int LoadPhoto(const std::wstring& path, const std::wstring& type);
  // Loads the current photo again with the loader of its type.
  void ReloadCurrentPhoto();
  // Menu 129 with its check marks, its top-left corner at screen.
  void ShowMenuAt(POINT screen);
  void RestorePhoto();
  void RestoreFrameColor();
  // Puts the frame at its stored place when that lies in the work area of
  // a connected monitor; true when it did.
  bool RestorePlace();
  // Puts the window's top-left corner at the cursor's screen position plus
  // the drag offsets.
  void MoveWithCursor(POINT cursor);
  // Ends a drag; a drag that brought the frame to another monitor fits the
  // photo to that monitor's work area.
  void EndDrag();
  // The work area of the monitor the frame is on.
  RECT WorkArea() const;
  void RestoreShrinkChoice();
  void StartNewFrame() const;
  void WriteSettings();
};
