// Shrink to fit: the photo shown 1:1 when its frame fits the work area of
// the monitor the frame is on, else scaled down to the largest size whose
// whole frame fits there (while the command is on), and fitted again when
// the command, the displays, the work area or the DPI change, or a drag ends
// on another monitor.
#include "MIRAVELDlg.h"

#include "FitSize.h"
#include "PhotoSource.h"

RECT CMIRAVELDlg::WorkArea() const { return WorkAreaOf(m_hWnd, MONITOR_DEFAULTTONEAREST); }

miravel::PictureSize CMIRAVELDlg::ShownSizeFor(miravel::PictureSize full) const {
  if (!m_bShrinkPhoto || !m_hWnd) return full;
  const SIZE extra = OuterSizeForPhoto(0, 0, WindowDpi(m_hWnd));
  const RECT work = WorkArea();
  return miravel::FitToWorkArea(full, {extra.cx, extra.cy}, {work.right - work.left, work.bottom - work.top});
}

bool CMIRAVELDlg::ShowLoadedPhoto(PhotoSource&& photo) {
  const miravel::PictureSize full = photo.FullSize();
  // Without shrinking, a photo is shown at its size or not at all.
  if (!m_bShrinkPhoto && !miravel::FitsDisplayBitmap(full)) return false;
  const miravel::PictureSize shown = ShownSizeFor(full);
  if (shown == full) {
    std::unique_ptr<DisplayBitmapBlock> image = photo.TakeFullSize();
    if (!image) return false;
    m_pDisplayBitmap = std::move(image);
    m_pFullPhoto.reset();
    return true;
  }
  std::unique_ptr<DisplayBitmapBlock> image = photo.BuildShrunk(shown);
  if (!image) return false;
  m_pDisplayBitmap = std::move(image);
  m_pFullPhoto = std::make_unique<PhotoSource>(std::move(photo));
  m_bKeepInWorkArea = true;
  return true;
}

void CMIRAVELDlg::FitPhoto() {
  int width = 0;
  int height = 0;
  if (m_strPicturePath.empty() || !PhotoSize(&width, &height)) return;
  const miravel::PictureSize current{width, height};
  // The full-size photo: kept aside, or else the display bitmap itself.
  const miravel::PictureSize full = m_pFullPhoto ? m_pFullPhoto->FullSize() : current;
  // A photo larger than any bitmap of ours, loaded while shrinking was on,
  // cannot be shown at its size: it stays as it is shown.
  if (!m_bShrinkPhoto && !miravel::FitsDisplayBitmap(full)) return;
  const miravel::PictureSize shown = ShownSizeFor(full);
  if (shown == current) return;
  std::unique_ptr<DisplayBitmapBlock> image;
  if (shown == full) {
    image = m_pFullPhoto->TakeFullSize();
    if (!image) return;
    m_pFullPhoto.reset();
  } else if (m_pFullPhoto) {
    image = m_pFullPhoto->BuildShrunk(shown);
    if (!image) return;
  } else {
    image = PhotoSource::ShrinkBitmap(*m_pDisplayBitmap, shown);
    if (!image) return;
    // The display bitmap, the full-size photo, is kept aside.
    m_pFullPhoto = std::make_unique<PhotoSource>(PhotoSource::FromBitmap(std::move(m_pDisplayBitmap)));
  }
  m_pDisplayBitmap = std::move(image);
  m_bKeepInWorkArea = shown != full;
  RefreshFrame();
}

LRESULT CMIRAVELDlg::OnDisplayChange(WPARAM, LPARAM) {
  FitPhoto();
  return 0;
}

LRESULT CMIRAVELDlg::OnSettingChange(WPARAM wParam, LPARAM) {
  if (wParam == SPI_SETWORKAREA) FitPhoto();
  return 0;
}
