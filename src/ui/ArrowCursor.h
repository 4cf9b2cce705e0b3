#pragma once

#include "platform/Event.h"

namespace qv {

class Panel;

// Hands the event to the panel's own handling; around pointer events (buttons, movement, tracking,
// cursor updates, scrolling) it sets the arrow cursor before and after, so that a floating panel
// shows the arrow whatever lies beneath it. For the sendEvent overrides of such panels.
void sendEventKeepingArrowCursor(Panel& panel, const Event& event);

}  // namespace qv
