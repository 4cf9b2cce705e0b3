#include "ui/FloatingKeyPanel.h"

#include "platform/Windowing.h"
#include "ui/StandardKeyEquivalents.h"

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

std::optional<Screen> floatingPanelScreen(Windowing& windowing, const std::optional<Screen>& preferred) {
    if (preferred) return preferred;
    if (auto main = windowing.mainScreen()) return main;
    auto all = windowing.screens();
    if (all.empty()) return std::nullopt;
    return all.front();
}

Rect centredOnFullFrame(const std::optional<Screen>& screen, Size size) {
    if (!screen) return {0, 0, size.width, size.height};
    const Rect& f = screen->frame;  // the full frame, menu bar and Dock area included
    return {f.midX() - size.width / 2, f.midY() - size.height / 2, size.width, size.height};
}

bool bringForwardIfVisible(Windowing& windowing, Panel* panel) {
    if (!panel || !panel->isVisible()) return false;
    windowing.activate(true);
    panel->makeKeyAndOrderFront();
    return true;
}

}  // namespace qv
