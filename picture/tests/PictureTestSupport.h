// Helpers of the picture tests: a small picture held as three planes, and
// the pixels of a display bitmap read back by their shown position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "PixelView.h"

namespace miravel {
namespace test {

struct Rgb {
  uint8_t red = 0, green = 0, blue = 0;
  bool operator==(const Rgb& o) const { return red == o.red && green == o.green && blue == o.blue; }
  bool operator!=(const Rgb& o) const { return !(*this == o); }
};

// A picture in three planes, rows top-down.
struct Planes {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> red, green, blue;

  Planes(int32_t w, int32_t h)
      : width(w), height(h), red(Count()), green(Count()), blue(Count()) {}

  std::size_t Count() const { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height); }
  std::size_t At(int32_t x, int32_t y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
  }
  Rgb Get(int32_t x, int32_t y) const { return {red[At(x, y)], green[At(x, y)], blue[At(x, y)]}; }
  void Set(int32_t x, int32_t y, Rgb c) {
    red[At(x, y)] = c.red;
    green[At(x, y)] = c.green;
    blue[At(x, y)] = c.blue;
  }
  PixelView View() const { return PlanesView(red.data(), green.data(), blue.data(), width, height); }
};

// A picture whose pixels all differ and whose channels differ from each other.
inline Planes PatternPicture(int32_t w, int32_t h) {
  Planes p(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      p.Set(x, y, {static_cast<uint8_t>(x * 7 + y * 13), static_cast<uint8_t>(x * 31 + y * 5 + 1),
                   static_cast<uint8_t>(x * 3 + y * 101 + 2)});
    }
  }
  return p;
}

inline Planes MirrorLeftRight(const Planes& p) {
  Planes out(p.width, p.height);
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) out.Set(p.width - 1 - x, y, p.Get(x, y));
  return out;
}

// A quarter turn clockwise: the left column becomes the top row.
inline Planes QuarterTurn(const Planes& p) {
  Planes out(p.height, p.width);
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) out.Set(p.height - 1 - y, x, p.Get(x, y));
  return out;
}

// The EXIF orientations as turns and mirrors (worked out here without the
// code's table): what the picture looks like once it has been set upright.
inline Planes Upright(const Planes& p, int orientation) {
  switch (orientation) {
    case 2: return MirrorLeftRight(p);
    case 3: return QuarterTurn(QuarterTurn(p));
    case 4: return QuarterTurn(QuarterTurn(MirrorLeftRight(p)));
    case 5: return QuarterTurn(QuarterTurn(QuarterTurn(MirrorLeftRight(p))));
    case 6: return QuarterTurn(p);
    case 7: return QuarterTurn(MirrorLeftRight(p));
    case 8: return QuarterTurn(QuarterTurn(QuarterTurn(p)));
    default: return p;
  }
}

inline uint32_t U32At(const std::vector<uint8_t>& v, std::size_t at) {
  return v[at] | (v[at + 1] << 8) | (v[at + 2] << 16) | (static_cast<uint32_t>(v[at + 3]) << 24);
}

// The width and height a display bitmap's header states.
inline PictureSize BitmapSize(const std::vector<uint8_t>& bmp) {
  return {static_cast<int32_t>(U32At(bmp, 18)), static_cast<int32_t>(U32At(bmp, 22))};
}

// The pixel shown at (x, y), y = 0 the top row, of a 24-bit bottom-up bitmap.
inline Rgb ShownPixel(const std::vector<uint8_t>& bmp, int32_t x, int32_t y) {
  const PictureSize size = BitmapSize(bmp);
  const std::size_t stride = (3 * static_cast<std::size_t>(size.width) + 3) / 4 * 4;
  const std::size_t at = 54 + static_cast<std::size_t>(size.height - 1 - y) * stride + 3 * static_cast<std::size_t>(x);
  return {bmp[at + 2], bmp[at + 1], bmp[at]};
}

// The shown picture of a bitmap as planes.
inline Planes ShownPlanes(const std::vector<uint8_t>& bmp) {
  const PictureSize size = BitmapSize(bmp);
  Planes p(size.width, size.height);
  for (int32_t y = 0; y < size.height; ++y) {
    for (int32_t x = 0; x < size.width; ++x) p.Set(x, y, ShownPixel(bmp, x, y));
  }
  return p;
}

}  // namespace test
}  // namespace miravel
