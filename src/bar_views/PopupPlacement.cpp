#include "bar_views/PopupPlacement.h"

#include <cmath>

namespace qv {

std::optional<Screen> preferredScreen(Windowing& windowing, const std::optional<Rect>& sourceWindowFrame,
                                      Point fallbackPoint) {
    const std::vector<Screen> screens = windowing.screens();
    if (sourceWindowFrame) {
        const Point centre{sourceWindowFrame->midX(), sourceWindowFrame->midY()};
        for (const Screen& s : screens) {
            if (s.frame.contains(centre)) return s;
        }
    }
    for (const Screen& s : screens) {
        if (s.frame.contains(fallbackPoint)) return s;
    }
    return windowing.mainScreen();
}

double anchorXNearerPointer(const Rect& frameInWindow, const std::optional<Rect>& windowFrame,
                            Point pointer) {
    const double plain = frameInWindow.midX();
    if (!windowFrame) return plain;
    const double onScreen = windowFrame->minX() + frameInWindow.midX();
    return std::abs(onScreen - pointer.x) < std::abs(plain - pointer.x) ? onScreen : plain;
}

void fadeIn(Panel& panel, Seconds duration) {
    panel.setAlphaValue(0);
    panel.orderFrontRegardless();
    panel.animateAlpha(1, Animation::easeOut(duration));
}

}  // namespace qv
