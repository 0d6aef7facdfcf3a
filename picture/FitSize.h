// The size a photo is shown at: its own when its frame fits the work area of
// the monitor, otherwise the largest size with its aspect whose frame fits.
// Plain C++; no platform headers.
#pragma once

#include <cstdint>

#include "BmpCheck.h"
#include "PixelView.h"

namespace miravel {

// Largest width and height of a display bitmap of ours.
constexpr int32_t kMaxShownDimension = kMaxBmpDimension;

// True when a display bitmap of this size can be made: each side from 1 to
// kMaxShownDimension and its total within DisplayBitmapSize's limits. The
// loader asks it when it would show a picture at full size.
bool FitsDisplayBitmap(PictureSize size);

// The size to show a photo of size photo (after orientation) at, given the
// frame's extra size around the photo (band and window border together; 25 x
// 25 at 96 DPI) and the work area's size:
//  - photo itself when photo + extra fits the work area on both sides and
//    FitsDisplayBitmap(photo);
//  - otherwise the largest size, the aspect kept, that is no larger than
//    photo, whose frame fits the work area and which FitsDisplayBitmap holds.
//    The side that limits gets exactly the room there is, the other side
//    photo's aspect of it rounded to the nearest pixel (a half up), which
//    never takes it past its own room; each side at least 1, also when the
//    work area is smaller than the frame's extra size.
// A photo side below 1 gives {0, 0}; a negative extra counts as 0.
PictureSize FitToWorkArea(PictureSize photo, PictureSize extra, PictureSize workArea);

}  // namespace miravel
