#include "bar_views/ShowDesktopButton.h"

#include <memory>

namespace qv {

void triggerShowDesktop(Dock& dock) {
    if (!dock.hasEntryPoint(dockentry::kSendNotification)) return;
    dock.sendNotification(kShowDesktopNotification, 0);
}

Node ShowDesktopButton::body() const {
    Dock* d = &dock;
    const double height = barHeight(metrics.barSize);
    return WithStateObject<bool>(
        [] { return std::make_shared<bool>(false); },
        [d, height](const std::shared_ptr<bool>& hovered, std::function<void()> invalidate) {
            // The fill follows the pointer at once, without an animation.
            return Button(Rectangle()
                              ->fillWith(Color::primary().opacity(fillOpacity(*hovered)))
                              ->frame(kWidth, height),
                          [d] { triggerShowDesktop(*d); })
                ->onHover([hovered, invalidate](bool on) {
                    *hovered = on;
                    invalidate();
                })
                ->help("Show Desktop");
        });
}

}  // namespace qv
