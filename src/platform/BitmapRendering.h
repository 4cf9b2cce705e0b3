#pragma once

#include <optional>

#include "platform/Image.h"

namespace qv {

// NSImage.cgImage(forProposedRect:) at a size: the picture's pixels resampled to `width` x `height`
// (each target pixel the average of the source pixels it covers); none when the picture has no
// pixels to render (a named picture drawn from its name).
std::optional<Image> renderBitmap(const Image& image, int width, int height);

}  // namespace qv
