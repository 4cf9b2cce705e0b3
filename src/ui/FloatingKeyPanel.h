#pragma once

#include <functional>
#include <optional>

#include "ui/Panel.h"

namespace qv {

class Application;

// A window of ours that floats while it is the key window and sinks to the normal level once
// another window is key; the standard key equivalents (Command-W, -C, -V, -X, -A) work in it, and
// every close, by the user or by code, tells its owner first.
class FloatingKeyPanel : public Panel {
  public:
    FloatingKeyPanel(Windowing& windowing, Runtime& runtime, Application& application, Rect contentRect,
                     uint64_t styleMask);

    std::function<void()> onDismissHandler;

    bool canBecomeKey() const override { return true; }
    bool canBecomeMain() const override { return true; }
    void becomeKey() override;
    void resignKey() override;
    bool performKeyEquivalent(const Event& event) override;
    void close() override;

  private:
    Application& application_;
};

// Where such a window opens: the given screen, else the main screen, else the first; none without
// screens.
std::optional<Screen> floatingPanelScreen(Windowing& windowing, const std::optional<Screen>& preferred);
// A window of `size` centred on the screen's full frame; at the origin with no screen, so it still shows.
Rect centredOnFullFrame(const std::optional<Screen>& screen, Size size);
// Brings the window forward where it is, with our application activated, when it is on screen.
bool bringForwardIfVisible(Windowing& windowing, Panel* panel);

}  // namespace qv
