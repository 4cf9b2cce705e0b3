#pragma once

// What every floating panel opened from a bar shares: the screen it opens on, the x it centres on,
// and its fade-in.

#include <functional>
#include <optional>

#include "dispatch/Published.h"
#include "dispatch/Runtime.h"
#include "platform/Displays.h"
#include "platform/Geometry.h"
#include "platform/Windowing.h"
#include "ui/Panel.h"

namespace qv {

// Lets a panel opened from a bar hear when that bar moves, its display's frame having changed: the
// handler runs at each move while the subscription lives. Empty where no bar gives one.
using BarMoveObserver = std::function<Subscription(std::function<void()>)>;

// The screen a pop-up opens on: the first whose frame holds the centre of the window the click or
// hover came through, else the first holding the fallback point, else the main screen; none when
// there is not even that.
std::optional<Screen> preferredScreen(Windowing& windowing, const std::optional<Rect>& sourceWindowFrame,
                                      Point fallbackPoint);

// The x a pop-up centres on, from a frame measured in its bar window's content space: the frame's
// own centre or, with the window's frame known, that centre taken from the window's left edge,
// whichever lies strictly nearer the pointer (a mirror bar on another display needs the second).
double anchorXNearerPointer(const Rect& frameInWindow, const std::optional<Rect>& windowFrame, Point pointer);

// Fades the window in from transparent with the ease-out curve, in front whether or not our
// application is active.
void fadeIn(Panel& panel, Seconds duration);

}  // namespace qv
