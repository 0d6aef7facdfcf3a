#include "PhotoSource.h"

#include <windows.h>

#include "BmpCheck.h"
#include "DisplayBitmap.h"
#include "ExifOrientation.h"
#include "JpegDecoder.h"
#include "PictureTurn.h"
#include "ShownBitmap.h"

namespace {

std::unique_ptr<DisplayBitmapBlock> Boxed(std::vector<uint8_t> image) {
  if (image.empty()) return nullptr;
  return std::make_unique<DisplayBitmapBlock>(std::move(image));
}

// A BMP image's pixels as 24-bit rows, bottom-up: its own rows when it has
// that format, else drawn by GDI into a 24-bit section that `converted`
// keeps. False when the image is not drawable.
bool BgrView(const DisplayBitmapBlock& bitmap, std::vector<uint8_t>* converted, miravel::PixelView* view) {
  miravel::BmpLayout layout;
  if (miravel::CheckBmpImage(bitmap.data(), bitmap.size(), &layout) != miravel::BmpCheck::kDrawable) return false;
  const uint32_t compression = bitmap[30] | (bitmap[31] << 8) | (bitmap[32] << 16) | (uint32_t{bitmap[33]} << 24);
  const auto stride = static_cast<std::ptrdiff_t>(layout.stride);
  if (layout.bitCount == 24 && compression == BI_RGB) {
    const uint8_t* top = bitmap.data() + layout.pixelOffset + (layout.height - 1) * layout.stride;
    *view = miravel::BgrRowsView(top, layout.width, layout.height, -stride);
    return true;
  }
  // Any other drawable format, as the painter would show it.
  std::size_t rowBytes = 0;
  if (!miravel::DisplayBitmapStride(layout.width, &rowBytes)) return false;
  BITMAPINFO target{};
  target.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  target.bmiHeader.biWidth = layout.width;
  target.bmiHeader.biHeight = layout.height;
  target.bmiHeader.biPlanes = 1;
  target.bmiHeader.biBitCount = 24;
  target.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  const HDC screen = ::GetDC(nullptr);
  const HBITMAP section = ::CreateDIBSection(screen, &target, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HDC memory = ::CreateCompatibleDC(screen);
  ::ReleaseDC(nullptr, screen);
  bool drawn = false;
  if (section && memory && bits) {
    const HGDIOBJ old = ::SelectObject(memory, section);
    drawn = ::SetDIBitsToDevice(memory, 0, 0, static_cast<DWORD>(layout.width), static_cast<DWORD>(layout.height), 0,
                                0, 0, static_cast<UINT>(layout.height), bitmap.data() + layout.pixelOffset,
                                reinterpret_cast<const BITMAPINFO*>(bitmap.data() + sizeof(BITMAPFILEHEADER)),
                                DIB_RGB_COLORS) != 0;
    ::GdiFlush();
    if (drawn) {
      const auto* rows = static_cast<const uint8_t*>(bits);
      converted->assign(rows, rows + rowBytes * static_cast<std::size_t>(layout.height));
    }
    ::SelectObject(memory, old);
  }
  if (memory) ::DeleteDC(memory);
  if (section) ::DeleteObject(section);
  if (!drawn) return false;
  const uint8_t* top = converted->data() + (layout.height - 1) * rowBytes;
  *view = miravel::BgrRowsView(top, layout.width, layout.height, -static_cast<std::ptrdiff_t>(rowBytes));
  return true;
}

miravel::PixelView PlanesOf(JpegDecoder& decoder) {
  uint8_t* red = nullptr;
  uint8_t* green = nullptr;
  uint8_t* blue = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  decoder.GetImage(&red, &green, &blue, &width, &height);
  return miravel::PlanesView(red, green, blue, width, height);
}

}  // namespace

PhotoSource PhotoSource::FromPlanes(std::unique_ptr<JpegDecoder> decoder, int orientation) {
  PhotoSource source;
  source.m_decoder = std::move(decoder);
  source.m_orientation = orientation;
  return source;
}

PhotoSource PhotoSource::FromBitmap(std::unique_ptr<DisplayBitmapBlock> bitmap) {
  PhotoSource source;
  source.m_bitmap = std::move(bitmap);
  return source;
}

PhotoSource::PhotoSource(PhotoSource&&) noexcept = default;
PhotoSource& PhotoSource::operator=(PhotoSource&&) noexcept = default;
PhotoSource::~PhotoSource() = default;

miravel::PictureSize PhotoSource::FullSize() const {
  if (m_decoder) return miravel::ShownSize(m_orientation, PlanesOf(*m_decoder).Size());
  miravel::BmpLayout layout;
  if (m_bitmap && miravel::CheckBmpImage(m_bitmap->data(), m_bitmap->size(), &layout) == miravel::BmpCheck::kDrawable)
    return miravel::PictureSize{layout.width, layout.height};
  return {};
}

std::unique_ptr<DisplayBitmapBlock> PhotoSource::BuildShrunk(miravel::PictureSize shown) const {
  if (m_decoder) return Boxed(miravel::BuildShownBitmap(PlanesOf(*m_decoder), m_orientation, shown));
  return m_bitmap ? ShrinkBitmap(*m_bitmap, shown) : nullptr;
}

std::unique_ptr<DisplayBitmapBlock> PhotoSource::TakeFullSize() {
  if (m_decoder) return Boxed(miravel::BuildShownBitmap(PlanesOf(*m_decoder), m_orientation, FullSize()));
  return std::move(m_bitmap);
}

std::unique_ptr<DisplayBitmapBlock> PhotoSource::ShrinkBitmap(const DisplayBitmapBlock& bitmap,
                                                              miravel::PictureSize shown) {
  std::vector<uint8_t> converted;
  miravel::PixelView view;
  if (!BgrView(bitmap, &converted, &view)) return nullptr;
  return Boxed(miravel::BuildShownBitmap(view, miravel::kOrientationNormal, shown));
}
