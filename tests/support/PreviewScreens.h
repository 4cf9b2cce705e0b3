#pragma once

#include "platform/Displays.h"

namespace qv::testing {

// A screen of the given frame whose visible part is `visible`, or all of it.
inline Screen screenOf(Rect frame, Rect visible) {
    Screen s;
    s.frame = frame;
    s.visibleFrame = visible;
    return s;
}
inline Screen screenOf(Rect frame) {
    return screenOf(frame, frame);
}

}  // namespace qv::testing
