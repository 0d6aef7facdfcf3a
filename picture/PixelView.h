// A read-only view of a picture's pixels in memory: one base pointer a
// channel (pixel (0, 0) of red, green and blue), a step between the pixels
// of a row and a step between rows, in bytes, so that one type describes
// both the decoder's three planes (rows top-down, width bytes apart, pixel
// step 1) and the rows of a 24-bit BMP (blue, green, red a pixel, pixel step
// 3, rows bottom-up: a negative row step from the top row). Plain C++; no
// platform headers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace miravel {

// Width and height of a picture, in pixels.
struct PictureSize {
  int32_t width = 0;
  int32_t height = 0;
};

inline bool operator==(const PictureSize& a, const PictureSize& b) {
  return a.width == b.width && a.height == b.height;
}
inline bool operator!=(const PictureSize& a, const PictureSize& b) { return !(a == b); }

// Largest width and height of a picture that the display-bitmap builders
// read: the largest a JPEG frame header can state.
constexpr int32_t kMaxSourceDimension = 65535;

// Sample (x, y) of a channel lies at base + x * pixelStep + y * rowStep.
// Two layouts are read: pixel step 1 (each channel a plane of its own), or
// pixel step 3 or 4 with the three channels inside one pixel's bytes (every
// byte of each pixel readable), where a row is one run of width * pixelStep
// bytes.
struct PixelView {
  const uint8_t* red = nullptr;
  const uint8_t* green = nullptr;
  const uint8_t* blue = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  std::ptrdiff_t pixelStep = 1;
  std::ptrdiff_t rowStep = 0;

  PictureSize Size() const { return {width, height}; }
};

// The decoder's planes: rows top-down, width bytes apart.
inline PixelView PlanesView(const uint8_t* red, const uint8_t* green, const uint8_t* blue,
                            int32_t width, int32_t height) {
  PixelView view;
  view.red = red;
  view.green = green;
  view.blue = blue;
  view.width = width;
  view.height = height;
  view.pixelStep = 1;
  view.rowStep = width;
  return view;
}

// Pixel rows of a 24-bit bitmap, blue, green, red a pixel: topRow is the
// first byte of the picture's top row, rowStep the bytes from a row to the
// one below it (negative when rows are stored bottom-up).
inline PixelView BgrRowsView(const uint8_t* topRow, int32_t width, int32_t height,
                             std::ptrdiff_t rowStep) {
  PixelView view;
  view.blue = topRow;
  view.green = topRow ? topRow + 1 : nullptr;
  view.red = topRow ? topRow + 2 : nullptr;
  view.width = width;
  view.height = height;
  view.pixelStep = 3;
  view.rowStep = rowStep;
  return view;
}

// True when the view is one the builders read: channels present, width and
// height from 1 to kMaxSourceDimension, and one of the two layouts above.
bool IsReadableView(const PixelView& view);

}  // namespace miravel
