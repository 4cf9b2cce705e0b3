#include "platform/ui/FloatingKeyPanel.h"

#include "platform/ui/StandardKeyEquivalents.h"

namespace qv {

FloatingKeyPanel::FloatingKeyPanel(Windowing& windowing, Runtime& runtime, Application& application,
                                   Rect contentRect, uint64_t styleMask)
    : Panel(windowing, runtime, contentRect, styleMask), application_(application) {}

void FloatingKeyPanel::becomeKey() {
    Panel::becomeKey();
    setLevel(windowlevel::kFloating);
}

void FloatingKeyPanel::resignKey() {
    Panel::resignKey();
    setLevel(windowlevel::kNormal);
}

bool FloatingKeyPanel::performKeyEquivalent(const Event& event) {
    if (handleStandardKeyEquivalent(event, *this, application_)) return true;
    return Panel::performKeyEquivalent(event);
}

void FloatingKeyPanel::close() {
    if (isClosed()) return;  // a second close must not report a second dismissal
    // The handler may drop the owner's last reference; the window lives to the end of its close.
    auto keepAlive = shared_from_this();
    if (onDismissHandler) onDismissHandler();
    Panel::close();
}

}  // namespace qv
