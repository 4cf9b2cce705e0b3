#pragma once

#include <optional>
#include <string>

#include "platform/Geometry.h"
#include "platform/Image.h"

namespace qv {

// How a bitmap drawn in a frame is embedded in a picture: only the pixels that show, at no more
// pixels than the picture's display gives them.
namespace embeddedbitmap {

// Whole source pixels of a bitmap and the part of the drawing frame they cover.
struct PlacedBitmap {
    int sourceX = 0, sourceY = 0, sourceWidth = 0, sourceHeight = 0;
    Rect frame;                 // where those pixels land, inside the drawing frame
    int width = 0, height = 0;  // the pixel size to embed them at
};

// The pixels of an `imageWidth` x `imageHeight` bitmap stretched over `frame` that fall within
// `visible`, to be embedded at `pixelScale` pixels per point or at their own count when that is
// smaller; none when nothing of the frame shows.
std::optional<PlacedBitmap> place(const Rect& frame, const Rect& visible, int imageWidth, int imageHeight,
                                  double pixelScale);
// The source pixels of a placement, scaled to its size by averaging the pixels each one covers.
Image resample(const Image& image, const PlacedBitmap& placed);
// A compressed PNG of the bitmap (8-bit RGBA).
std::string png(const Image& image);

}  // namespace embeddedbitmap
}  // namespace qv
