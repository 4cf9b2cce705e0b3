#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dispatch/Published.h"
#include "model/BadgeService.h"
#include "model/ChipData.h"
#include "model/DisplayItem.h"
#include "model/GroupedChipData.h"
#include "model/UserSettings.h"
#include "model/WindowRequests.h"
#include "platform/Platform.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowStore.h"

namespace qv {

// The model behind every bar: the tracked windows as chips per desktop, folded into application
// groups and put in the user's order; the focus the bar shows while an activation is in flight;
// and the chip actions (activate, minimise, close, launch, reorder). Main thread only.
class BarViewModel : public std::enable_shared_from_this<BarViewModel> {
    struct Token {};

  public:
    using SpaceInfo = SpaceWindows::SpaceInfo;
    using ChipMap = std::map<uint64_t, std::vector<ChipData>>;
    using ItemMap = std::map<uint64_t, std::vector<DisplayItem>>;

    static constexpr Seconds kActivationRetryDelay = 0.15;
    static constexpr size_t kSavedAppOrderLimit = 100;

    // Builds the model, sets the store's change hook to `refresh()`, follows the settings, badges
    // and attention requests, starts the badge service and refreshes once.
    static std::shared_ptr<BarViewModel> create(Platform& platform, std::shared_ptr<WindowStore> windowStore,
                                                std::shared_ptr<UserSettings> settings,
                                                std::shared_ptr<BadgeService> badgeService);
    BarViewModel(Token, Platform& platform, std::shared_ptr<WindowStore> windowStore,
                 std::shared_ptr<UserSettings> settings, std::shared_ptr<BadgeService> badgeService);
    ~BarViewModel();
    BarViewModel(const BarViewModel&) = delete;
    BarViewModel& operator=(const BarViewModel&) = delete;

    // --- Published: every refresh assigns all five ---
    Published<ChipMap> chipsBySpace;         // window chips per Space, ascending window id
    Published<ItemMap> displayItemsBySpace;  // bar items per Space, grouped and ordered
    Published<std::vector<SpaceInfo>> spaces;
    Published<uint64_t> activeSpaceID{0};
    Published<std::optional<uint32_t>> focusedWindowID;

    // --- State ---
    std::map<uint64_t, std::vector<std::string>> chipOrderBySpace;  // drag order per Space, in memory
    std::optional<bool> chipOrderIsGrouped;  // the grouping mode the drag orders were made in
    std::shared_ptr<WindowStore> windowStore;
    std::shared_ptr<BadgeService> badgeService;
    std::unordered_map<std::string, std::shared_ptr<const Image>> iconCache;  // never evicted
    std::map<std::string, uint32_t> preferredWindowIDByGroupKey;
    // The window the user just activated and the system has not yet reported as focused.
    std::optional<uint32_t> pendingFocusedWindowID;
    // "_AXUIElementGetWindow" when the lookup found it; empty otherwise.
    AXGetWindowFunction axGetWindow;
    uint64_t debugEventSequence = 0;
    // The one activation retry still waiting; a later activation cancels it.
    WorkItemPtr activationRetry;
    // The activation that may still retry (its answer or its retry outstanding), and its window;
    // 0 when none.
    uint64_t retryableActivation = 0;
    uint32_t activationRetryWindowID = 0;

    // --- Chips ---
    void refresh();
    // The items the bar of a Space shows on one screen; all of them without an index or with
    // fewer than two screens.
    std::vector<DisplayItem> displayItems(uint64_t spaceID, std::optional<size_t> screenIndex) const;
    // The same, written over `into`, whose storage a bar evaluating on every change reuses.
    void displayItems(uint64_t spaceID, std::optional<size_t> screenIndex,
                      std::vector<DisplayItem>& into) const;
    std::set<std::string> bundleIDsWithWindows(uint64_t spaceID) const;
    // Where a desktop stands among the desktops of its display that are not full screen, as of the
    // last refresh: its number from 1 (none for a full-screen desktop) and how many they are. None
    // for a desktop the listing does not hold. Every bar asks for its own, so it is found once per
    // refresh for all of them.
    struct DesktopOrdinal {
        std::optional<int> number;
        int ordinaryCount = 0;
    };
    std::optional<DesktopOrdinal> desktopOrdinal(uint64_t spaceID) const;
    std::shared_ptr<const Image> icon(const std::string& bundleID);
    std::optional<std::string> badge(const std::string& bundleID) const;
    std::string appName(const std::string& bundleID);

    // Which window the bar shows as focused, and what becomes of the pending focus.
    struct FocusDecision {
        std::optional<uint32_t> published;
        std::optional<uint32_t> pendingAfterwards;
        std::string reason;
    };
    static FocusDecision resolveFocus(std::optional<uint32_t> pending, std::optional<uint32_t> storeFocus,
                                      const std::map<uint32_t, TrackedWindow>& windows);

    // --- Groups ---
    // "<space id>|<app key>"
    static std::string groupKey(uint64_t spaceID, const std::string& appKey);

    // --- Orders ---
    // Drops the item `id` before `before` (at the end without one) on the Space, and remembers the
    // new order for the desktop.
    void moveChip(const std::string& id, const std::optional<std::string>& before, uint64_t spaceID);
    std::string canonicalDisplayItemID(const std::string& id, uint64_t spaceID) const;
    void saveAppOrder(const std::vector<DisplayItem>& items, uint64_t spaceID);
    // "<display identifier>#<position among the display's non-full-screen Spaces>"
    static std::optional<std::string> desktopKey(uint64_t spaceID, const std::vector<SpaceInfo>& spaceList);
    static std::vector<std::string> mergedAppOrder(std::vector<std::string> saved,
                                                   const std::vector<std::string>& visible, size_t limit);

    // --- Actions ---
    // The model's part of an action happens at once; its requests to the application run on that
    // application's worker, each waiting as long as it takes, and what depends on their answers is
    // applied here when they come. Each activation replaces the one before: its requests not made
    // yet are dropped.
    // The activation's token, raised once a later one replaces it; none for a window the store
    // does not hold.
    CancellationTokenPtr activateWindow(uint32_t id, bool focusBeforeActivation = false);
    void activateUntrackedWindow(uint32_t id, int32_t pid, bool isMinimized);
    // `completion` learns whether every request that counts succeeded: false at once for a window
    // the store does not hold, else when the application has answered. Not called once the model
    // is gone.
    void focusWindowWithAXOnly(uint32_t id, const std::string& context,
                               std::function<void(bool)> completion = {});
    void minimizeWindow(uint32_t id);
    void closeWindow(uint32_t id);
    void launchApp(const std::string& bundleID);

  private:
    static constexpr const char* kGroupIDPrefix = "group-";
    static constexpr const char* kSingleIDPrefix = "s-";
    static std::optional<uint32_t> windowIDOfSingleItemID(std::string_view id);
    void indexDesktops(const std::vector<SpaceInfo>& spaceList);
    std::unordered_map<uint64_t, DesktopOrdinal> desktopOrdinals_;
    std::vector<SpaceInfo> indexedSpaces_;  // the list desktopOrdinals_ was made from

    // One item of a desktop's bar before it is built: a chip, or the chips of one application
    // (`size` of them, the first at `chip`, each with `group` in `groupOf_`).
    struct ItemPlan {
        size_t group = 0;
        size_t chip = 0;
        size_t size = 1;
        int64_t rank = 0;
    };
    // A saved app order sorted by app key, each with its first position, and the order it was
    // made from.
    struct SavedOrderIndex {
        std::vector<std::string> saved;
        std::vector<std::pair<std::string, int64_t>> positions;
    };

    void start();
    // Publishes the focus and the chips and items drawn with it, over the Spaces last read.
    void publish(std::optional<uint32_t> focused);
    // The chips of every Space, each list in ascending window id, written over `chips`.
    void buildChips(ChipMap& chips, const std::vector<SpaceInfo>& spaceList, std::optional<uint32_t> focused);
    // The items of one Space, grouped and ordered, written over `items`.
    void buildItems(const std::vector<ChipData>& chips, uint64_t spaceID,
                    const std::vector<SpaceInfo>& spaceList, bool grouped, std::optional<uint32_t> focused,
                    std::vector<DisplayItem>& items);
    // One plan per chip, or per application when grouped; `groupOf` gets each chip's plan.
    void buildGroupedItems(const std::vector<ChipData>& chips, bool grouped);
    // Fills a group of the chips of `plan`; keeps `preferredWindowIDByGroupKey` current.
    void fillGroup(GroupedChipData& group, const std::vector<ChipData>& chips, const ItemPlan& plan,
                   std::optional<uint32_t> focusedID, uint64_t spaceID);
    void forgetGroupPreference(const ChipData& chip, uint64_t spaceID);
    void applySavedAppOrder(const std::vector<ChipData>& chips, uint64_t spaceID,
                            const std::vector<SpaceInfo>& spaceList);
    void applyUserChipOrder(const std::vector<ChipData>& chips, uint64_t spaceID);
    bool planHasID(const ItemPlan& plan, const std::vector<ChipData>& chips, std::string_view id) const;
    std::shared_ptr<const Image> resolveIcon(const TrackedWindow& window);
    std::shared_ptr<const Image> locatedIcon(const std::string& bundleID);
    void cancelActivationRetry();
    // A new activation: the one before is replaced, its retry cancelled. Returns its number.
    uint64_t beginActivation();
    ActivationRequest activationRequest(int32_t pid, uint32_t windowID, bool isMinimized,
                                        bool focusBeforeActivation);
    // `retries`: a tracked window's activation, retried once when its window is not found.
    void askActivation(const ActivationRequest& request, uint64_t seq, bool retries, bool ourAppActivated);
    void applyActivationAnswer(const ActivationRequest& request, uint64_t seq, bool retries,
                               ActivationAnswer answer);
    void retryActivation(const ActivationRequest& request, uint64_t seq);
    void applyRetryAnswer(const ActivationRequest& request, uint64_t seq, bool found);
    void applyAXOnlyFocus(uint32_t windowID, int32_t pid, uint64_t seq, AXOnlyFocusAnswer answer);
    void applyMinimizeAnswer(bool minimized);

    Platform& platform_;
    // The latest activation's number: its answers are applied, an earlier one's dropped.
    uint64_t latestActivation_ = 0;
    // Raised when the latest activation is replaced, or the model goes.
    CancellationTokenPtr activationReplaced_;
    SpaceWindows spaceWindows_;
    std::shared_ptr<UserSettings> settings_;
    Subscription badgeCancellable_;
    Subscription attentionCancellable_;
    Subscription settingsCancellable_;
    // What the refresh before last published, whose storage the next refresh writes over.
    ChipMap spareChips_;
    ItemMap spareItems_;
    // Scratch of the item plans of one Space.
    std::vector<ItemPlan> plans_;
    std::vector<size_t> groupOf_;
    std::vector<const ChipData*> members_;
    std::map<std::string, SavedOrderIndex, std::less<>> savedOrderIndex_;  // by desktop key
};

}  // namespace qv
