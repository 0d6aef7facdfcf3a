// Dragging the frame by its band, and the click on the photo that puts
// the frame away.
#include "MIRAVELDlg.h"

#include <mmsystem.h>

namespace {

// The cursor's screen position when the message being handled was made.
// A queued mouse move that is handled after the window has moved still
// says where the cursor was, which its client coordinates would not.
POINT MessageCursor() {
  const DWORD position = ::GetMessagePos();
  return POINT{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
}

}  // namespace

void CMIRAVELDlg::OnLButtonDown(UINT, POINT point) {
  RECT photoArea{};
  ::GetClientRect(m_hWnd, &photoArea);
  ::InflateRect(&photoArea, -kBand, -kBand);
  if (::PtInRect(&photoArea, point)) {
    // A click on the photo puts the frame away, at the bottom of the
    // ordinary windows: a topmost frame stops being topmost (which the
    // bottom place means by itself on Windows; Wine needs it said).
    if (::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST) {
      ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
    ShowWindow(SW_MINIMIZE);
    m_bAlwaysOnTop = FALSE;
    return;
  }
  m_bDragging = TRUE;
  m_bDragStepPending = FALSE;
  m_hDragMonitor = ::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST);
  RECT outer{};
  ::GetWindowRect(m_hWnd, &outer);
  const POINT cursor = MessageCursor();
  m_nDragOffsetX = outer.left - cursor.x;
  m_nDragOffsetY = outer.top - cursor.y;
  ::SetCapture(m_hWnd);
  Default();
}

void CMIRAVELDlg::MoveWithCursor(POINT cursor) {
  ::SetWindowPos(m_hWnd, StackingInsertAfter(), cursor.x + m_nDragOffsetX, cursor.y + m_nDragOffsetY, 0, 0,
                 SWP_NOSIZE | SWP_DRAWFRAME);
  m_bDragStepPending = FALSE;
}

// The window is placed from the cursor's screen position and the offsets of
// the press, so the pressed spot stays under the cursor however the moves
// arrive: a step never depends on where an earlier one put the window.
// At most one step a tick of the millisecond clock; a move within the tick
// is held back and placed at the next step or when the drag ends.
void CMIRAVELDlg::OnMouseMove(UINT flags, POINT) {
  if (m_bDragging) {
    if (flags == MK_LBUTTON) {
      const POINT cursor = MessageCursor();
      const DWORD now = ::timeGetTime();
      if (now != m_dwLastMoveTime) {
        MoveWithCursor(cursor);
        m_dwLastMoveTime = ::timeGetTime();
      } else {
        m_ptDragCursor = cursor;
        m_bDragStepPending = TRUE;
      }
    } else {
      // Another button, Shift or Ctrl: the drag ends here, where the last
      // move with the left button alone put it.
      if (m_bDragStepPending) MoveWithCursor(m_ptDragCursor);
      EndDrag();
    }
  }
  Default();
}

void CMIRAVELDlg::OnLButtonUp(UINT, POINT) {
  // The release ends the drag where the cursor is.
  if (m_bDragging) {
    MoveWithCursor(MessageCursor());
    EndDrag();
  } else {
    ::ReleaseCapture();
  }
  Default();
}

void CMIRAVELDlg::EndDrag() {
  m_bDragging = FALSE;
  ::ReleaseCapture();
  // Fitted once the drag is over, not at every step.
  if (::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST) != m_hDragMonitor) FitPhoto();
}
