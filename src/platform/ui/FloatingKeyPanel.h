#pragma once

#include <functional>

#include "platform/ui/Panel.h"

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

}  // namespace qv
