#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "model/BarSize.h"
#include "platform/Platform.h"
#include "tracking/AXWindowID.h"
#include "tracking/SpaceWindows.h"
#include "tracking/TrackedWindow.h"
#include "tracking/WindowStore.h"

namespace qv {

// One window to shorten: its bottom edge must not pass `barTop` (window-server space, y down).
struct AvoidanceRequest {
    uint32_t windowID = 0;
    int32_t pid = 0;
    double barTop = 0;
    friend bool operator==(const AvoidanceRequest&, const AvoidanceRequest&) = default;
};

// Shortens other applications' windows that reach under a bar so that they end one point above it.
// Only the height changes; a window is never moved and never made shorter than 100 points. A pass
// runs on the main thread, debounced; the Accessibility resizes run on each application's worker,
// so a hung application holds back only its own windows. The owner makes a new manager whenever
// the bar height changes.
class WindowAvoidanceManager : public std::enable_shared_from_this<WindowAvoidanceManager> {
    struct Token {};

  public:
    static constexpr double kMinimumHeight = 100;

    // What the owner hands in; each answers empty once the owner is gone.
    struct Sources {
        // The Spaces that carry a bar panel.
        std::function<std::set<uint64_t>()> getPanelSpaceIDs;
        // The screen indices of the mirror panels, each once.
        std::function<std::vector<int64_t>()> getMirrorScreenIndices;
        // Every display's Spaces, read at call time.
        std::function<std::vector<SpaceWindows::SpaceInfo>()> getSpaces;
    };

    static std::shared_ptr<WindowAvoidanceManager> create(Platform& platform,
                                                          std::weak_ptr<WindowStore> windowStore,
                                                          Sources sources, double barHeight,
                                                          AXGetWindowFunction axGetWindow);
    // A manager as the bar manager makes one for its current size: the Spaces read from the window
    // server and the private window-id lookup found afresh.
    static std::shared_ptr<WindowAvoidanceManager> make(
        Platform& platform, std::weak_ptr<WindowStore> windowStore,
        std::function<std::set<uint64_t>()> getPanelSpaceIDs,
        std::function<std::vector<int64_t>()> getMirrorScreenIndices, BarSize barSize);

    WindowAvoidanceManager(Token, Platform& platform, std::weak_ptr<WindowStore> windowStore, Sources sources,
                           double barHeight, AXGetWindowFunction axGetWindow);
    ~WindowAvoidanceManager();
    WindowAvoidanceManager(const WindowAvoidanceManager&) = delete;
    WindowAvoidanceManager& operator=(const WindowAvoidanceManager&) = delete;

    // Runs a pass `debounce` seconds after the last call (at once for 0 or less), on the main queue.
    void scheduleAdjustment(Seconds debounce);
    // One pass: the requests it handed to the applications' workers.
    std::vector<AvoidanceRequest> adjustNow();
    // On the application's worker: shortens one window, checked again against its present geometry.
    static void resizeWindowViaAX(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                  const AvoidanceRequest& request);

    double barHeight() const { return barHeight_; }

    // --- The rules, reachable on their own ---
    // The lowest y a window may reach on a screen (its AppKit frame): one point above the bar.
    static double barTopLimit(double primaryHeight, const Rect& screenFrame, double barHeight);
    // The screen's rectangle in the window server's space.
    static Rect topLeftRect(double primaryHeight, const Rect& screenFrame);
    // Whether a window on that screen is shortened to end at `limit`.
    static bool mustShorten(const TrackedWindow& window, const Rect& screenRect, double limit);
    // The same test at resize time, on the window's present position and height.
    static bool mustShorten(Point position, Size size, double barTop);

  private:
    void addRequests(const Screen& screen, double primaryHeight, std::optional<uint64_t> spaceFilter,
                     const WindowStore& store, std::vector<AvoidanceRequest>& requests) const;

    Platform& platform_;
    SpaceWindows spaceWindows_;
    std::weak_ptr<WindowStore> windowStore_;
    Sources sources_;
    const double barHeight_;
    WorkItemPtr pendingWork_;
    const AXGetWindowFunction axGetWindow_;
};

}  // namespace qv
