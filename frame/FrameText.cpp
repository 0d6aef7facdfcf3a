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

bool SameTextIgnoringCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

bool EndsWithIgnoringCase(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() && SameTextIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
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

}  // namespace miravel
