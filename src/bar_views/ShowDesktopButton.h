#pragma once

#include "model/BarMetrics.h"
#include "platform/Dock.h"
#include "ui/Node.h"

namespace qv {

// The notification that asks the Dock to show the desktop.
inline constexpr const char* kShowDesktopNotification = "com.apple.showdesktop.awake";

// Asks the Dock to show the desktop; fire-and-forget. Without the Dock's entry point it does nothing.
void triggerShowDesktop(Dock& dock);

// The thin strip at the right end of the bar whose click shows the desktop.
struct ShowDesktopButton {
    Dock& dock;
    BarMetrics metrics;

    static constexpr double kWidth = 6;
    static double fillOpacity(bool hovered) { return hovered ? 0.15 : 0.05; }
    Node body() const;
};

}  // namespace qv
