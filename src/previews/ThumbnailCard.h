#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/WindowMenus.h"
#include "platform/Image.h"
#include "platform/Menu.h"
#include "ui/Color.h"
#include "ui/Node.h"

namespace qv {

// The small round minimise or close control of a card, in the colours of the platform's window
// buttons; its symbol shows only while the pointer is over it.
struct WindowControlButton {
    Color fillColor = {};
    std::string symbolName = {};
    double symbolSize = 7;
    double symbolOffsetY = 0;
    std::function<void()> action = {};
    ColorScheme colorScheme = ColorScheme::light;

    static constexpr double kSide = 12;
    static WindowControlButton minimize(std::function<void()> action, ColorScheme scheme);
    static WindowControlButton close(std::function<void()> action, ColorScheme scheme);
    // The face for one hover state, without the hover tracking.
    Node face(bool isHovered) const;
    Node body() const;
};

// One window in the thumbnail pop-up: its title, its picture, a highlight when it is the focused
// window, minimise and close controls while the pointer is over the card, and a menu that moves,
// minimises or closes the window. A click outside the controls selects the window. Absent
// callbacks leave their control or menu item out.
struct ThumbnailCard {
    std::string title = {};
    std::shared_ptr<const Image> thumbnail = {};
    bool isLoading = false;
    bool isActive = false;
    std::function<void()> onTap = {};
    std::function<void()> onMinimize = nullptr;
    std::function<void()> onClose = nullptr;
    std::vector<MoveToDisplayGroup> moveToGroups = {};
    std::function<void(uint64_t spaceID)> onMoveToSpace = nullptr;
    ColorScheme colorScheme = ColorScheme::light;
    size_t screenCount = 1;  // decides how "Move to" lists its targets

    // The controls shown for one hover state of the card, left to right.
    std::vector<WindowControlButton> controls(bool isHovered) const;
    Menu contextMenu() const;
    // The face for one hover state, without the hover tracking.
    Node face(bool isHovered) const;
    Node body() const;
};

}  // namespace qv
