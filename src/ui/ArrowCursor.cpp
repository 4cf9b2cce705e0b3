#include "ui/ArrowCursor.h"

#include "platform/Windowing.h"
#include "ui/Panel.h"

namespace qv {

void sendEventKeepingArrowCursor(Panel& panel, const Event& event) {
    switch (event.type) {
        case EventType::leftMouseDown:
        case EventType::leftMouseUp:
        case EventType::leftMouseDragged:
        case EventType::rightMouseDown:
        case EventType::rightMouseUp:
        case EventType::rightMouseDragged:
        case EventType::otherMouseDown:
        case EventType::otherMouseUp:
        case EventType::otherMouseDragged:
        case EventType::mouseMoved:
        case EventType::mouseEntered:
        case EventType::mouseExited:
        case EventType::cursorUpdate:
        case EventType::scrollWheel:
            panel.windowing().setCursor(Cursor::arrow);
            panel.Panel::sendEvent(event);
            panel.windowing().setCursor(Cursor::arrow);
            return;
        default:
            panel.Panel::sendEvent(event);
    }
}

}  // namespace qv
