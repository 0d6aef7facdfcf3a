// Reads the EXIF orientation of a JPEG file: the Orientation tag (0x0112) of
// IFD0 in the first APP1 segment that begins "Exif\0\0" among the segments
// before the first scan. Plain C++; no platform headers.
//
// The file's bytes are untrusted. Every offset and count is checked against
// the segment before it is followed; only IFD0 is read (no link to a next
// IFD is followed, so a loop of IFD offsets cannot make the reader long);
// the marker walk and the IFD scan each move forward through bytes that
// exist. Whatever is missing, damaged, truncated or lying counts as
// orientation 1:
//  - no SOI, no APP1 "Exif\0\0" before SOS or EOI, a marker walk that meets
//    something other than a marker or a segment longer than the file;
//  - a TIFF header without "II" or "MM" and 42, an IFD0 offset or an IFD
//    entry count that runs past the segment;
//  - an Orientation entry whose type is not SHORT or whose count is not 1,
//    or whose value lies outside 1 to 8.
#pragma once

#include <cstddef>
#include <cstdint>

namespace miravel {

// The EXIF orientation values: where row 0 and column 0 of the stored
// picture are meant to be shown.
enum ExifOrientation : int {
  kOrientationNormal = 1,          // row 0 at the top, column 0 at the left
  kOrientationMirrorHorizontal = 2,  // row 0 top, column 0 right
  kOrientationRotate180 = 3,       // row 0 bottom, column 0 right
  kOrientationMirrorVertical = 4,  // row 0 bottom, column 0 left
  kOrientationTranspose = 5,       // row 0 left, column 0 top
  kOrientationRotate90 = 6,        // row 0 right, column 0 top (turn 90 degrees clockwise to show)
  kOrientationTransverse = 7,      // row 0 right, column 0 bottom
  kOrientationRotate270 = 8,       // row 0 left, column 0 bottom (turn 270 degrees clockwise to show)
};

// The orientation of the JPEG file image [file, file + size): 1 to 8.
int ReadExifOrientation(const uint8_t* file, std::size_t size);

// The same for the body of an APP1 "Exif\0\0" segment after those six bytes:
// a TIFF header and what it points to, [tiff, tiff + size). Nothing outside
// these bytes is read.
int ReadTiffOrientation(const uint8_t* tiff, std::size_t size);

}  // namespace miravel
