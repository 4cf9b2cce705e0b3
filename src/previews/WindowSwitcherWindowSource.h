#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "previews/SwitcherEntry.h"
#include "previews/WindowRecencyTracker.h"
#include "tracking/AXWindowID.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

// Lists the windows the switcher can switch to on the display under a point: the store's windows
// of that display's current desktop, and the desktop's other windows (dialogs, floating windows)
// that pass its own checks, in order of recency and stacking. Main thread.
class WindowSwitcherWindowSource {
  public:
    static constexpr float kAXMessagingTimeout = 0.05f;
    static constexpr uint64_t kDesktopWindowsClearTags = 0x4000000000;
    static constexpr double kMinimumUntrackedSize = 40;

    static const std::set<std::string>& excludedBundleIDs();
    static const std::set<std::string>& allowedUntrackedSubroles();

    WindowSwitcherWindowSource(Platform& platform, std::shared_ptr<WindowStore> windowStore);
    WindowSwitcherWindowSource(const WindowSwitcherWindowSource&) = delete;
    WindowSwitcherWindowSource& operator=(const WindowSwitcherWindowSource&) = delete;

    WindowRecencyTracker recency;

    // None when no display lies under the point (window-server space) or its desktop is unknown.
    std::optional<SwitcherSnapshot> snapshot(Point atCGPoint);
    std::optional<uint32_t> focusedWindowID(int32_t pid);
    // The on-screen windows of the normal layer, front to back.
    std::vector<uint32_t> currentStackingOrder();
    std::optional<Screen> screen(Point containingCGPoint);

    // Recent windows first, then the rest slotted in by stacking; minimised windows after all
    // others; the focused window first.
    static std::vector<SwitcherEntry> order(std::vector<SwitcherEntry> entries,
                                            const WindowRecencyTracker& recency,
                                            const std::map<uint32_t, int>& stackIndexByID,
                                            std::optional<uint32_t> focusedWindowID);

    size_t iconCacheCount() const { return iconCache_.size(); }

  private:
    struct AXWindowInfo {
        std::optional<std::string> role;
        std::optional<std::string> subrole;
        std::optional<std::string> title;
        std::optional<bool> isMinimized;
    };
    using AXWindows = std::map<uint32_t, AXWindowInfo>;

    // An attribute of the application's element, asked with the short time-out.
    std::optional<Value> applicationAttribute(int32_t pid, const char* name);
    std::optional<uint32_t> resolveWindowID(const AXElement& element);
    std::optional<AXWindows> copyAXWindows(int32_t pid);
    std::shared_ptr<const Image> icon(const RunningApplication& app);
    // Admits one window that the store does not track; none when a check fails.
    std::optional<SwitcherEntry> admitUntracked(uint32_t id, const CGWindowInfo& facts,
                                                const RunningApplication& app,
                                                std::map<int32_t, std::optional<AXWindows>>& axCache,
                                                uint32_t connection);

    Platform& platform_;
    std::shared_ptr<WindowStore> windowStore_;
    SpaceWindows spaces_;
    AXGetWindowFunction axGetWindow_;
    // A pid may be reused by a later application, so an entry leaves when its application ends.
    std::map<int32_t, std::shared_ptr<const Image>> iconCache_;
    Subscription terminationObserver_;
};

}  // namespace qv
