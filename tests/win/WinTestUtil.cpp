#include "WinTestUtil.h"

#include <gtest/gtest.h>

#include <map>

namespace {
std::map<UINT_PTR, ThreadTimer*>& Timers() {
  static std::map<UINT_PTR, ThreadTimer*> timers;
  return timers;
}
}  // namespace

ThreadTimer::ThreadTimer(UINT periodMs, std::function<void()> tick, int limitTicks)
    : id_(::SetTimer(nullptr, 0, periodMs, &ThreadTimer::Fire)), tick_(std::move(tick)), limit_(limitTicks) {
  Timers()[id_] = this;
}

ThreadTimer::~ThreadTimer() {
  ::KillTimer(nullptr, id_);
  Timers().erase(id_);
}

void CALLBACK ThreadTimer::Fire(HWND, UINT, UINT_PTR id, DWORD) {
  const auto found = Timers().find(id);
  if (found == Timers().end()) return;
  ThreadTimer* timer = found->second;
  if (++timer->ticks_ > timer->limit_) {
    ADD_FAILURE() << "gave up waiting; ending the thread's dialogs";
    CancelThreadWindows();
    return;
  }
  timer->tick_();
}

namespace {
BOOL CALLBACK AddVisibleWindow(HWND window, LPARAM list) {
  if (::IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}
}  // namespace

std::vector<HWND> ThreadWindows() {
  std::vector<HWND> windows;
  ::EnumThreadWindows(::GetCurrentThreadId(), &AddVisibleWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

void CancelThreadWindows() {
  for (HWND window : ThreadWindows()) ::PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
}

RECT WorkArea() {
  RECT area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

bool CentredOn(HWND window, const RECT& area) {
  RECT r{};
  ::GetWindowRect(window, &r);
  const long dx = (r.left + r.right) - (area.left + area.right);
  const long dy = (r.top + r.bottom) - (area.top + area.bottom);
  return dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2;
}
