// Helpers for tests that run real modal windows: a timer that fires inside
// whatever modal loop runs on the test thread, and window queries.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

// Calls tick every period milliseconds from the thread's message loop (any
// modal loop included) until destroyed. After limitTicks calls it gives up:
// it records a test failure and ends every dialog of the thread with
// IDCANCEL, so that a broken test ends instead of hanging.
class ThreadTimer {
 public:
  ThreadTimer(UINT periodMs, std::function<void()> tick, int limitTicks = 200);
  ~ThreadTimer();
  ThreadTimer(const ThreadTimer&) = delete;
  ThreadTimer& operator=(const ThreadTimer&) = delete;

 private:
  static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD);
  UINT_PTR id_;
  std::function<void()> tick_;
  int ticks_ = 0;
  int limit_;
};

// Visible top-level windows of this thread.
std::vector<HWND> ThreadWindows();
// Posts WM_COMMAND IDCANCEL to every visible window of this thread.
void CancelThreadWindows();
// Work area of the primary screen.
RECT WorkArea();
// Whether window's rectangle is centred on area (within a pixel).
bool CentredOn(HWND window, const RECT& area);
