#include "tracking/ListedWindow.h"

namespace qv {

std::optional<ListedWindow> listedWindow(uint32_t windowID, const CGWindowInfo& info,
                                         const std::unordered_set<int32_t>& eligible, WindowListTests tests) {
    if (info.layer() != 0) return std::nullopt;
    auto pid = info.ownerPID();
    if (!pid || !eligible.contains(*pid)) return std::nullopt;
    auto bounds = info.bounds();
    if (!bounds) return std::nullopt;
    const double width = bounds->width(), height = bounds->height();
    // The two forms differ only for a width or height that is not a number.
    const bool tooSmall = tests.unmeasurableFails
                              ? !(width >= kMinimumWindowSize && height >= kMinimumWindowSize)
                              : width < kMinimumWindowSize || height < kMinimumWindowSize;
    if (tooSmall) return std::nullopt;
    if (tests.alpha) {
        if (auto alpha = info.alpha(); alpha && !(*alpha > 0)) return std::nullopt;
    }
    return ListedWindow{windowID, *pid, *bounds};
}

TrackedWindow trackedWindowOf(const ListedWindow& listed, const CGWindowInfo& info,
                              const std::optional<RunningApplication>& app, AppNameFallback fallback) {
    TrackedWindow w;
    w.windowID = listed.windowID;
    w.pid = listed.pid;
    if (auto name = info.ownerName()) {
        w.appName = std::move(*name);
    } else if (fallback == AppNameFallback::runningApplication && app && app->localizedName) {
        w.appName = *app->localizedName;
    } else {
        w.appName = "Unknown";
    }
    if (app) w.bundleIdentifier = app->bundleIdentifier;
    w.windowTitle = info.windowName().value_or("");
    w.frame = listed.bounds;
    return w;
}

std::optional<AXElement> describeFromList(TrackedWindow& window, const AXWindowList& list,
                                          ListedTitle title) {
    const auto m = list.metadataByID.find(window.windowID);
    const bool listed = m != list.metadataByID.end();
    window.isMinimized = listed && m->second.isMinimized == true;
    if (title == ListedTitle::taken && listed && m->second.title) {
        window.windowTitle = *m->second.title;
        return std::nullopt;
    }
    auto element = list.elementsByID.find(window.windowID);
    if (element == list.elementsByID.end()) return std::nullopt;
    return element->second;
}

}  // namespace qv
