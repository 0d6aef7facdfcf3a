// The photo at full size, kept while the frame shows it smaller than it is,
// so that it can be shown at another size (fitted to another work area, or
// at full size again when shrinking is turned off) without reading its file
// again: a decoded JPEG's colour planes with its EXIF orientation, or a
// bitmap (a BMP file as read, or the display bitmap of a photo that was
// shown at full size). Part of the picture loader, for Windows: a BMP of a
// format other than 24 bits is read through GDI.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "PixelView.h"

class JpegDecoder;

// A complete BMP file image in memory: file header, info header, colour
// table if any, pixel rows at the file header's bfOffBits.
using DisplayBitmapBlock = std::vector<uint8_t>;

class PhotoSource {
 public:
  // A decoder that has decoded its picture (its planes are read from it).
  static PhotoSource FromPlanes(std::unique_ptr<JpegDecoder> decoder, int orientation);
  // A drawable BMP image (miravel::IsDrawableBmpImage).
  static PhotoSource FromBitmap(std::unique_ptr<DisplayBitmapBlock> bitmap);

  PhotoSource(PhotoSource&&) noexcept;
  PhotoSource& operator=(PhotoSource&&) noexcept;
  ~PhotoSource();

  // The photo's size as shown: turned for orientations 5 to 8.
  miravel::PictureSize FullSize() const;
  // The display bitmap of the photo shrunk to shown (smaller than FullSize
  // on a side, no larger on either); null when it cannot be made.
  std::unique_ptr<DisplayBitmapBlock> BuildShrunk(miravel::PictureSize shown) const;
  // The display bitmap of the photo at full size: a bitmap is handed out as
  // it is (the source is then empty), planes are copied turned as their
  // orientation says; null when it cannot be made.
  std::unique_ptr<DisplayBitmapBlock> TakeFullSize();

  // The same as BuildShrunk for a drawable BMP image that stays its
  // owner's.
  static std::unique_ptr<DisplayBitmapBlock> ShrinkBitmap(const DisplayBitmapBlock& bitmap,
                                                          miravel::PictureSize shown);

 private:
  PhotoSource() = default;
  std::unique_ptr<JpegDecoder> m_decoder;
  int m_orientation = 1;
  std::unique_ptr<DisplayBitmapBlock> m_bitmap;
};
