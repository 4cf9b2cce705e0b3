#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bar_views/PopupPlacement.h"
#include "bar_views/SpaceListPanel.h"
#include "model/BarMetrics.h"
#include "model/BarViewModel.h"
#include "platform/Platform.h"
#include "ui/Node.h"

namespace qv {

// The bar's desktop number among the ordinary desktops of its display, and their count; 1 of 1
// while the bar's desktop is not (yet) in the model.
struct DesktopPosition {
    int number = 1;
    int total = 1;
    friend bool operator==(const DesktopPosition&, const DesktopPosition&) = default;
};
DesktopPosition desktopPosition(const BarViewModel& model, uint64_t spaceID);

struct SpaceSwitcher;

// What the switcher keeps while it is on the bar: the open list, the button's measured frames and
// what the last click saw. A list exists only while open; each opening makes a new one.
class SpaceSwitcherState : public std::enable_shared_from_this<SpaceSwitcherState> {
  public:
    explicit SpaceSwitcherState(Platform& platform) : platform_(platform) {}
    ~SpaceSwitcherState();

    bool isHovered = false;
    std::shared_ptr<SpaceListPanel> spaceListPanel;
    Rect buttonFrame;  // the button in the bar window's content space; zero until measured
    Rect hitFrame;     // the whole area that takes the button's clicks, same space
    std::optional<Rect> triggerWindowFrame;
    std::optional<Point> triggerPoint;
    std::weak_ptr<Panel> triggerWindow;  // the bar window the click came through
    Subscription barMoveSubscription;    // while a list is open

    void captureTriggerContext();
    void toggleSpaceListPanel(const SpaceSwitcher& switcher);
    void showSpaceListPanel(const SpaceSwitcher& switcher);
    // The switcher left the bar: an open list closes.
    void closeSpaceListPanel();
    // Whether a press at a screen point lies on the button, in the bar window the last click came
    // through; the list's press monitors leave such a left press to the button's own action.
    bool isOnButton(Point screenLocation) const;

  private:
    Platform& platform_;
};

// The button near the right end of the bar with the number of the bar's desktop; a click opens or
// closes the list of its display's desktops above the bar. What it shows is its position alone;
// the model's desktops are read when the list opens.
struct SpaceSwitcher {
    Platform& platform;
    std::shared_ptr<BarViewModel> viewModel;
    BarMetrics metrics;
    uint64_t spaceID = 0;
    DesktopPosition position;
    std::function<void(uint64_t spaceID)> onSwitchToSpace;
    BarMoveObserver observeBarMoves = nullptr;  // an open list closes when its bar moves

    static constexpr double kExtraWidth = 11;  // 5 before the button, 6 after it

    // "Desktop 2 of 3"
    std::string helpText() const;
    Node body() const;
};

}  // namespace qv
