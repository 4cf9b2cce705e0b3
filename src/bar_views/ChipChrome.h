#pragma once

// What the window chip and the app group chip share: the title and fill rules, the rounded body
// with its focus edge and attention pulse over the bar's full height, the hover report and the
// menu entries both offer.

#include <functional>
#include <optional>
#include <string>

#include "model/BarMetrics.h"
#include "platform/Geometry.h"
#include "platform/Windowing.h"
#include "ui/Node.h"

namespace qv {

// A chip's hover report: whether the pointer is over it, the chip's frame in the bar window's
// content space (top-left origin; zero before the first layout), the frame on screen of the window
// of the event being handled (none without one) and the pointer on screen (bottom-left origin).
using ChipHoverHandler =
    std::function<void(bool isHovering, Rect chipFrame, std::optional<Rect> windowFrame, Point pointer)>;

// The frame on screen of the window of the event being handled, if any.
std::optional<Rect> currentEventWindowFrame(Windowing& windowing);

// The title a chip shows: the window's (or group's) own when preferred and not empty, else the
// app's name.
std::string chipTitle(bool showWindowTitles, const std::string& ownTitle, const std::string& appName);
// The opacity of the primary colour that fills a chip's body.
double chipFillOpacity(bool isFocused, bool usesLightBar);
// The title text of a chip: one line, cut at its tail within the bar's title width.
Node chipTitleText(const std::string& title, const BarMetrics& metrics);

// "Quit <app>", destructive.
MenuItem quitMenuItem(const std::string& appName, std::function<void()> onQuitApp);
// "Pin to" with the "Bar" and "App menu" toggles, disabled unless the app can be pinned.
MenuItem pinToMenuItem(const Binding<bool>& pinToBar, const Binding<bool>& pinToAppMenu, bool canPin);

// The body of a window or group chip around its row of icon, title and count.
struct ChipChrome {
    Windowing& windowing;
    BarMetrics metrics;
    bool isFocused = false;
    bool usesLightBar = false;
    bool pulses = false;
    ChipHoverHandler onHoverChanged;
    std::function<Menu()> contextMenu;

    Node wrap(Node row) const;
};

}  // namespace qv
