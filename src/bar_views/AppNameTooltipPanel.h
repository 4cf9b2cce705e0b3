#pragma once

#include <string>

#include "ui/Node.h"
#include "ui/Panel.h"

namespace qv {

// The small bubble with an app's name above a pinned chip; always its ideal size, so the name is
// never cut.
struct AppNameTooltipBubble {
    std::string text;
    Node body() const;
};

// The borderless, click-through panel that shows the bubble. It never becomes the key or the main
// window, and it closes once however often it is asked to.
class AppNameTooltipPanel : public Panel {
  public:
    // A non-activating panel at `frame` (screen coordinates) above menus, showing `content`.
    AppNameTooltipPanel(Windowing& windowing, Runtime& runtime, Rect frame);
    static std::shared_ptr<AppNameTooltipPanel> make(Windowing& windowing, Runtime& runtime, Rect frame,
                                                     std::shared_ptr<HostingView> content);

    bool isDismissing = false;

    bool canBecomeKey() const override { return false; }
    bool canBecomeMain() const override { return false; }
    // Fades in over 0.12 s, brought to the front whether or not the application is active.
    void present();
    // Ordered out and closed at once, without a fade; later calls do nothing.
    void close() override;
};

}  // namespace qv
