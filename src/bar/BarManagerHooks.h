#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "bar/BarPanel.h"
#include "platform/Accessibility.h"
#include "platform/dispatch/Runtime.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

// What the bar manager asks of its window-avoidance pass: one pass, `debounce` seconds after the
// last request.
class WindowAvoidance {
  public:
    virtual ~WindowAvoidance() = default;
    virtual void scheduleAdjustment(Seconds debounce) = 0;
};

// What a window-avoidance pass is built from, for the bar height of the moment.
struct AvoidanceInputs {
    std::weak_ptr<WindowStore> windowStore;
    std::function<std::map<uint64_t, std::shared_ptr<BarPanel>>()> getPanels;  // empty once the bars are gone
    std::function<std::vector<size_t>()> getMirrorScreenIndices;               // each once
    std::function<std::vector<SpaceWindows::SpaceInfo>()> getSpaces;           // read at call time
    double barHeight = 0;
    std::shared_ptr<Queue> resizeQueue;  // "com.quillvorn.windowAvoidance"
    // "_AXUIElementGetWindow"; empty when the lookup finds nothing.
    std::function<AXError(const AXElement&, uint32_t&)> axGetWindow;
};

// Services that other parts of the program plug into the bar manager. Each may stay empty, and
// its feature is then left out.
struct BarManagerHooks {
    // The wallpaper's light or dark verdict for a display; every bar is dark without it.
    BarPanelEnvironment::LightVerdict isLight;
    // The tracker of the display under the pointer: started with the bar manager, stopped when
    // it goes.
    std::function<void()> startMouseDisplayTracker;
    std::function<void()> stopMouseDisplayTracker;
    // Builds the window-avoidance pass; made again whenever the bar size changes.
    std::function<std::shared_ptr<WindowAvoidance>(AvoidanceInputs)> makeAvoidanceManager;
    // The launcher: opens it anchored at a bar (or closes the open one), and asks an open one to
    // go before a thumbnail shows.
    std::function<void(const std::shared_ptr<BarPanel>& anchor)> showAppLauncher;
    std::function<void()> dismissLauncherForThumbnail;
    // The settings window, shown from the bar's own menu.
    std::function<void()> openSettings;
};

}  // namespace qv
