// Message tables: one static array per window class pairing a window message
// with the member function that handles it. Arguments are cracked from
// wParam and lParam by the handler's signature, so a table entry reads
//
//     OnMessage<WM_LBUTTONDOWN, &CMyDlg::OnLButtonDown>()
//
// and the compiler checks that the handler exists and has a known shape.
// Each class returns its table from GetMessageMap(); a table names its base
// class's table, which is searched when the class's own has no entry.
#pragma once

#include <windows.h>
#include <windowsx.h>

#include <cstddef>

class CWnd;

struct MessageEntry {
  UINT message;
  LRESULT (*handler)(CWnd& window, WPARAM wParam, LPARAM lParam);
};

struct MessageMap {
  const MessageMap* base;
  const MessageEntry* entries;
  std::size_t count;
};

template <std::size_t N>
constexpr MessageMap MakeMessageMap(const MessageMap* base, const MessageEntry (&entries)[N]) {
  return MessageMap{base, entries, N};
}

namespace message_detail {

// Handler shapes, each with the way its arguments come out of the message.
template <class Handler>
struct Cracker;

// void OnPaint(), void OnClose()
template <class C>
struct Cracker<void (C::*)()> {
  using Class = C;
  template <auto H>
  static LRESULT Call(C& c, WPARAM, LPARAM) {
    (c.*H)();
    return 0;
  }
};

// void OnLButtonDown(UINT flags, POINT point), mouse messages: the point is
// signed, so positions left of or above the client area survive.
template <class C>
struct Cracker<void (C::*)(UINT, POINT)> {
  using Class = C;
  template <auto H>
  static LRESULT Call(C& c, WPARAM wParam, LPARAM lParam) {
    (c.*H)(static_cast<UINT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    return 0;
  }
};

// void OnTimer(UINT_PTR id)
template <class C>
struct Cracker<void (C::*)(UINT_PTR)> {
  using Class = C;
  template <auto H>
  static LRESULT Call(C& c, WPARAM wParam, LPARAM) {
    (c.*H)(static_cast<UINT_PTR>(wParam));
    return 0;
  }
};

// void OnSysCommand(UINT id, LPARAM lParam)
template <class C>
struct Cracker<void (C::*)(UINT, LPARAM)> {
  using Class = C;
  template <auto H>
  static LRESULT Call(C& c, WPARAM wParam, LPARAM lParam) {
    (c.*H)(static_cast<UINT>(wParam), lParam);
    return 0;
  }
};

// HCURSOR OnQueryDragIcon()
template <class C>
struct Cracker<HCURSOR (C::*)()> {
  using Class = C;
  template <auto H>
  static LRESULT Call(C& c, WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>((c.*H)());
  }
};

// LRESULT OnSomething(WPARAM, LPARAM): the message uncracked.
template <class C>
struct Cracker<LRESULT (C::*)(WPARAM, LPARAM)> {
  using Class = C;
  template <auto H>
  static LRESULT Call(C& c, WPARAM wParam, LPARAM lParam) {
    return (c.*H)(wParam, lParam);
  }
};

template <auto H>
LRESULT Thunk(CWnd& window, WPARAM wParam, LPARAM lParam) {
  using Shape = Cracker<decltype(H)>;
  // The table that holds this entry belongs to Shape::Class, so the window
  // being dispatched is one.
  return Shape::template Call<H>(static_cast<typename Shape::Class&>(window), wParam, lParam);
}

}  // namespace message_detail

template <UINT Message, auto Handler>
constexpr MessageEntry OnMessage() {
  return MessageEntry{Message, &message_detail::Thunk<Handler>};
}
