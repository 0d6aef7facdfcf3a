#include "FrameText.h"

#include <cstdint>
#include <cstdio>

namespace miravel {

namespace {

wchar_t FoldAscii(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// White space as the C library's isspace sees it in the "C" locale.
bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

}  // namespace

std::wstring FileExtension(const std::wstring& path) {
  const std::size_t nameStart = path.find_last_of(L"\\/:");
  const std::size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (nameStart != std::wstring::npos && dot < nameStart)) return L"";
  return path.substr(dot);
}

std::wstring PhotoTypeOfPath(const std::wstring& path) {
  const std::wstring extension = FileExtension(path);
  if (SameTextIgnoringCase(extension, L".bmp")) return L"BMP";
  for (const wchar_t* jpeg : {L".jpg", L".jpeg", L".jpe", L".jfif"})
    if (SameTextIgnoringCase(extension, jpeg)) return L"JPG";
  return L"";
}

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

COLORREF ColorFromSettingText(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  // Magnitude, held at one past the largest 32-bit value once it gets there.
  const int64_t limit = int64_t{INT32_MAX} + 1;
  int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    magnitude = magnitude * 10 + (text[i] - L'0');
    if (magnitude > limit) magnitude = limit;
  }
  int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) value = INT32_MAX;
  return static_cast<COLORREF>(static_cast<uint32_t>(static_cast<int32_t>(value)));
}

std::wstring SettingTextFromColor(COLORREF colour) {
  wchar_t text[16];
  std::swprintf(text, 16, L"%d", static_cast<int>(static_cast<int32_t>(colour)));
  return text;
}

namespace {

// A signed decimal number of at most nine digits at text[*at], for a
// screen coordinate.
bool ReadCoordinate(const std::wstring& text, std::size_t* at, LONG* value) {
  std::size_t i = *at;
  const bool negative = i < text.size() && text[i] == L'-';
  if (negative) ++i;
  const std::size_t digits = i;
  LONG number = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    if (i - digits >= 9) return false;
    number = number * 10 + (text[i] - L'0');
  }
  if (i == digits) return false;
  *value = negative ? -number : number;
  *at = i;
  return true;
}

}  // namespace

bool PlaceFromSettingText(const std::wstring& text, POINT* place) {
  std::size_t at = 0;
  POINT read{};
  if (!ReadCoordinate(text, &at, &read.x) || at >= text.size() || text[at] != L',') return false;
  ++at;
  if (!ReadCoordinate(text, &at, &read.y) || at != text.size()) return false;
  *place = read;
  return true;
}

std::wstring SettingTextFromPlace(POINT place) {
  return std::to_wstring(place.x) + L"," + std::to_wstring(place.y);
}

}  // namespace miravel
