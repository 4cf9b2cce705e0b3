#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "switcher/SwitcherEntry.h"
#include "switcher/WindowRecencyTracker.h"
#include "tracking/AXWindowID.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

// Lists the windows the switcher can switch to on the display under a point: the store's windows
// of that display's current desktop, and the desktop's other windows (dialogs, floating windows)
// that pass its own checks, in order of recency and stacking. Main thread; what it asks of other
// applications (their windows, the focused window) runs on their workers, and the snapshot is
// completed when the answers are in.
class WindowSwitcherWindowSource {
  public:
    static constexpr float kAXMessagingTimeout = 0.05f;
    static constexpr uint64_t kDesktopWindowsClearTags = 0x4000000000;
    static constexpr double kMinimumUntrackedSize = 40;

    static const std::set<std::string>& excludedBundleIDs();
    static const std::set<std::string>& allowedUntrackedSubroles();

    // What Accessibility reports of one window of an application.
    struct AXWindowInfo {
        std::optional<std::string> role;
        std::optional<std::string> subrole;
        std::optional<std::string> title;
        std::optional<bool> isMinimized;
    };
    using AXWindows = std::map<uint32_t, AXWindowInfo>;

    // What a snapshot learns without asking any application, and what it has to ask them.
    struct Draft {
        Screen screen;
        uint64_t spaceID = 0;
        std::map<uint32_t, int> stackIndexByID;
        std::set<uint32_t> knownIDs;  // every window the window server or the store knows
        // The admitted tracked windows and the untracked windows that passed every check but the
        // Accessibility ones, in candidate order.
        struct Candidate {
            SwitcherEntry tracked;  // when `untracked` is none
            struct Untracked {
                uint32_t id = 0;
                CGWindowInfo facts;
                RunningApplication app;
            };
            std::optional<Untracked> untracked;
        };
        std::vector<Candidate> candidates;
        std::set<int32_t> axWindowsOf;        // the applications asked for their windows
        std::optional<int32_t> frontmostPID;  // asked for its focused window
        bool asksApplications() const { return !axWindowsOf.empty() || frontmostPID; }
    };
    // The applications' answers to a draft.
    struct Answers {
        std::map<int32_t, std::optional<AXWindows>> axWindows;
        std::optional<uint32_t> focusedWindowID;
    };

    WindowSwitcherWindowSource(Platform& platform, std::shared_ptr<WindowStore> windowStore);
    WindowSwitcherWindowSource(const WindowSwitcherWindowSource&) = delete;
    WindowSwitcherWindowSource& operator=(const WindowSwitcherWindowSource&) = delete;

    WindowRecencyTracker recency;

    // None when no display lies under the point (window-server space) or its desktop is unknown.
    std::optional<Draft> draft(Point atCGPoint);
    // The draft's windows that need no answer, ordered with a guess at the focused window; the
    // history is left as it is.
    SwitcherSnapshot provisionalSnapshot(const Draft& draft, std::optional<uint32_t> focusGuess);
    // Asks the draft's applications; `done` gets their answers on the main queue once the last is
    // in (at once when it asks nobody).
    void ask(const Draft& draft, std::function<void(Answers)> done);
    // The snapshot from the answers: the focused window recorded, the history seeded and pruned. A
    // focused window the frontmost application did not give is the one the store knows of it.
    SwitcherSnapshot complete(const Draft& draft, const Answers& answers);
    // `done` gets the focused window of the application on the main queue.
    void focusedWindowID(int32_t pid, std::function<void(std::optional<uint32_t>)> done);
    // The on-screen windows of the normal layer, front to back.
    std::vector<uint32_t> currentStackingOrder();
    std::optional<Screen> screen(Point containingCGPoint);

    // On the application's worker, each request with the short time-out.
    static std::optional<AXWindows> copyAXWindows(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                                  int32_t pid);
    static std::optional<uint32_t> readFocusedWindowID(Accessibility& ax,
                                                       const AXGetWindowFunction& axGetWindow, int32_t pid);

    size_t iconCacheCount() const { return iconCache_.size(); }

  private:
    std::shared_ptr<const Image> icon(const RunningApplication& app);
    // Admits one window that the store does not track by its application's Accessibility windows
    // (none: the window server's facts); none when a check fails.
    std::optional<SwitcherEntry> admitUntracked(const Draft::Candidate::Untracked& untracked,
                                                const std::optional<AXWindows>& axWindows,
                                                uint32_t connection);
    // The entries of the draft's candidates, the untracked ones of applications without an answer
    // left out.
    std::vector<SwitcherEntry> admitted(const Draft& draft, const Answers* answers);
    // The store's focused window when it is the frontmost application's and among the candidates.
    std::optional<uint32_t> knownFocus(const Draft& draft) const;
    SwitcherSnapshot assemble(const Draft& draft, std::vector<SwitcherEntry> entries,
                              std::optional<uint32_t> focused, const WindowRecencyTracker& history) const;

    Platform& platform_;
    std::shared_ptr<WindowStore> windowStore_;
    SpaceWindows spaces_;
    AXGetWindowFunction axGetWindow_;
    // A pid may be reused by a later application, so an entry leaves when its application ends.
    std::map<int32_t, std::shared_ptr<const Image>> iconCache_;
    Subscription terminationObserver_;
};

}  // namespace qv
