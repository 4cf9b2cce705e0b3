#include "bar/WindowAvoidanceManager.h"

#include <algorithm>
#include <map>

#include "platform/Windowing.h"

namespace qv {

std::shared_ptr<WindowAvoidanceManager> WindowAvoidanceManager::create(Platform& platform,
                                                                       std::weak_ptr<WindowStore> windowStore,
                                                                       Sources sources, double barHeight,
                                                                       AXGetWindowFunction axGetWindow) {
    return std::make_shared<WindowAvoidanceManager>(Token{}, platform, std::move(windowStore),
                                                    std::move(sources), barHeight, std::move(axGetWindow));
}

std::shared_ptr<WindowAvoidanceManager> WindowAvoidanceManager::make(
    Platform& platform, std::weak_ptr<WindowStore> windowStore,
    std::function<std::set<uint64_t>()> getPanelSpaceIDs,
    std::function<std::vector<int64_t>()> getMirrorScreenIndices, BarSize barSize) {
    Sources sources;
    sources.getPanelSpaceIDs = std::move(getPanelSpaceIDs);
    sources.getMirrorScreenIndices = std::move(getMirrorScreenIndices);
    sources.getSpaces = [&platform, spaces = std::make_shared<SpaceWindows>(platform)] {
        return spaces->getSpaces(platform.windowServer.mainConnectionID());
    };
    return create(platform, std::move(windowStore), std::move(sources), qv::barHeight(barSize),
                  lookUpAXGetWindow(platform.accessibility));
}

WindowAvoidanceManager::WindowAvoidanceManager(Token, Platform& platform,
                                               std::weak_ptr<WindowStore> windowStore, Sources sources,
                                               double barHeight, AXGetWindowFunction axGetWindow)
    : platform_(platform),
      spaceWindows_(platform),
      windowStore_(std::move(windowStore)),
      sources_(std::move(sources)),
      barHeight_(barHeight),
      axGetWindow_(std::move(axGetWindow)) {}

WindowAvoidanceManager::~WindowAvoidanceManager() {
    if (pendingWork_) pendingWork_->cancel();
}

void WindowAvoidanceManager::scheduleAdjustment(Seconds debounce) {
    if (pendingWork_) pendingWork_->cancel();
    std::weak_ptr<WindowAvoidanceManager> weak = weak_from_this();
    pendingWork_ = platform_.runtime.mainQueue()->asyncAfter(std::max(0.0, debounce), [weak] {
        if (auto self = weak.lock()) self->adjustNow();
    });
}

double WindowAvoidanceManager::barTopLimit(double primaryHeight, const Rect& screenFrame, double barHeight) {
    return primaryHeight - screenFrame.minY() - barHeight - 1;
}

Rect WindowAvoidanceManager::topLeftRect(double primaryHeight, const Rect& screenFrame) {
    return {screenFrame.minX(), primaryHeight - screenFrame.minY() - screenFrame.height(),
            screenFrame.width(), screenFrame.height()};
}

bool WindowAvoidanceManager::mustShorten(const TrackedWindow& window, const Rect& screenRect, double limit) {
    const Rect& f = window.frame;
    return !window.isMinimized && screenRect.contains(Point{f.midX(), f.midY()}) && f.maxY() > limit &&
           limit - f.minY() >= kMinimumHeight;
}

bool WindowAvoidanceManager::mustShorten(Point position, Size size, double barTop) {
    return position.y + size.height > barTop && barTop - position.y >= kMinimumHeight;
}

void WindowAvoidanceManager::addRequests(const Screen& screen, double primaryHeight,
                                         std::optional<uint64_t> spaceFilter, const WindowStore& store,
                                         std::vector<AvoidanceRequest>& requests) const {
    const double limit = barTopLimit(primaryHeight, screen.frame, barHeight_);
    const Rect screenRect = topLeftRect(primaryHeight, screen.frame);
    for (const auto& [id, window] : store.windows()) {
        if (spaceFilter && !window.spaceIDs.contains(*spaceFilter)) continue;
        if (mustShorten(window, screenRect, limit)) requests.push_back({window.windowID, window.pid, limit});
    }
}

std::vector<AvoidanceRequest> WindowAvoidanceManager::adjustNow() {
    auto store = windowStore_.lock();
    if (!store) return {};
    const bool separateSpaces = platform_.displays.screensHaveSeparateSpaces();
    const std::vector<uint64_t> activeSpaceIDs =
        spaceWindows_.getActiveSpaceIDs(platform_.windowServer.mainConnectionID());
    const std::vector<SpaceWindows::SpaceInfo> spaces =
        sources_.getSpaces ? sources_.getSpaces() : std::vector<SpaceWindows::SpaceInfo>{};
    const std::vector<Screen> screens = platform_.displays.screens();
    const double primaryHeight = screens.empty() ? 0 : screens.front().frame.height();
    const std::set<uint64_t> panelSpaces =
        sources_.getPanelSpaceIDs ? sources_.getPanelSpaceIDs() : std::set<uint64_t>{};

    std::vector<AvoidanceRequest> requests;
    for (uint64_t spaceID : activeSpaceIDs) {
        if (!panelSpaces.contains(spaceID)) continue;
        std::optional<Screen> screen;
        auto info = std::find_if(spaces.begin(), spaces.end(), [spaceID](const SpaceWindows::SpaceInfo& s) {
            return s.spaceID == spaceID;
        });
        if (info != spaces.end()) {
            screen = spaceWindows_.screen(info->displayIdentifier, screens);
            if (!screen && info->displayIndex >= 0 &&
                static_cast<size_t>(info->displayIndex) < screens.size())
                screen = screens[static_cast<size_t>(info->displayIndex)];
        }
        if (!screen) screen = platform_.windowing.mainScreen();
        if (!screen && !screens.empty()) screen = screens.front();
        if (!screen) continue;
        addRequests(*screen, primaryHeight, separateSpaces ? std::optional(spaceID) : std::nullopt, *store,
                    requests);
    }
    if (sources_.getMirrorScreenIndices) {
        for (int64_t index : sources_.getMirrorScreenIndices()) {
            if (index < 0 || static_cast<size_t>(index) >= screens.size()) continue;
            addRequests(screens[static_cast<size_t>(index)], primaryHeight, std::nullopt, *store, requests);
        }
    }
    // Each application's windows in list order, on its worker. A batch that starts after the manager
    // is gone does nothing; one that has started runs to its end.
    std::map<int32_t, std::vector<AvoidanceRequest>> byApplication;
    for (const AvoidanceRequest& r : requests) byApplication[r.pid].push_back(r);
    std::weak_ptr<WindowAvoidanceManager> weak = weak_from_this();
    for (auto& [pid, batch] : byApplication) {
        platform_.appWorkers.ask(
            pid, [weak, batch = std::move(batch), ax = &platform_.accessibility, getWindow = axGetWindow_] {
                if (weak.expired()) return;
                for (const AvoidanceRequest& r : batch) resizeWindowViaAX(*ax, getWindow, r);
            });
    }
    return requests;
}

void WindowAvoidanceManager::resizeWindowViaAX(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                               const AvoidanceRequest& request) {
    const AXElement app = ax.createApplication(request.pid);
    // Without the private lookup the window is still found by its "AXWindowNumber".
    const auto match = findAXWindow(ax, axGetWindow, app, request.windowID);
    if (!match) return;
    Value positionValue, sizeValue;
    if (ax.copyAttributeValue(*match, "AXPosition", positionValue) != kAXErrorSuccess ||
        ax.copyAttributeValue(*match, "AXSize", sizeValue) != kAXErrorSuccess)
        return;
    auto position = positionValue.asAXValue();
    auto size = sizeValue.asAXValue();
    if (!position || position->type != AXValueData::Type::Point || !size ||
        size->type != AXValueData::Type::Size)
        return;
    if (!mustShorten(position->point, size->size, request.barTop)) return;
    (void)ax.setAttributeValue(*match, "AXSize",
                               Value::axSize(Size{size->size.width, request.barTop - position->point.y}));
}

}  // namespace qv
