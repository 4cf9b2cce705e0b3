#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bar_views/BarMenu.h"
#include "bar_views/ChipReorder.h"
#include "bar_views/PopupPlacement.h"
#include "bar_views/SpaceSwitcher.h"
#include "bar_views/ThumbnailPopups.h"
#include "model/BarMetrics.h"
#include "model/BarViewModel.h"
#include "model/PinStore.h"
#include "model/UserSettings.h"
#include "model/WindowMenus.h"
#include "platform/Platform.h"
#include "ui/View.h"

namespace qv {

// The root view of one bar panel: the launcher button, the scrolling row of pinned apps and of the
// desktop's window and group chips, the desktop switcher's place and the show-desktop strip, over
// the bar's background. The bar manager builds it with the models it observes, the geometry of the
// bar's size and the callbacks through which it asks the manager to act; it lives as long as its
// panel shows it. Main thread only.
class BarContentView : public View, public std::enable_shared_from_this<BarContentView> {
  public:
    using HoverTarget = qv::HoverTarget;

    explicit BarContentView(Platform& platform);
    ~BarContentView() override;
    BarContentView(const BarContentView&) = delete;
    BarContentView& operator=(const BarContentView&) = delete;

    // --- Given by the bar manager ---
    std::shared_ptr<BarViewModel> viewModel;
    std::shared_ptr<PinStore> pinStore;
    std::shared_ptr<UserSettings> settings;
    uint64_t spaceID = 0;
    std::optional<size_t> screenIndex;  // the bar's screen, for per-screen filtering
    BarMetrics metrics;
    std::function<void()> onMenuTapped;
    std::function<void(uint64_t spaceID)> onSpaceSwitchRequested;
    std::function<void(uint32_t windowID, uint64_t fromSpaceID, uint64_t toSpaceID)>
        onMoveWindowToSpaceRequested;
    std::function<void(bool overChips)> onChipsAreaHoverChanged;
    std::function<void()> onThumbnailWillShow;
    // Opens the settings window; the bar's menu item does nothing without it.
    std::function<void()> onSettingsRequested;

    // --- State ---
    // The hover and pop-up state of the bar's thumbnails.
    std::shared_ptr<ThumbnailPopups> thumbnailPopups = std::make_shared<NoThumbnailPopups>();
    bool reduceTransparency = false;  // the system's setting, followed while the view lives
    ChipFrameMap pinnedChipFrames;    // by bundle id
    ChipFrameMap pinnedDragStartFrames;
    std::optional<std::string> draggedPinnedBundleID;
    Size pinnedDragTranslation;
    std::optional<int> pinnedDragInsertionIndex;
    ChipFrameMap chipFrames;  // by chip id
    ChipFrameMap chipDragStartFrames;
    std::optional<std::string> draggedChipID;
    Size chipDragTranslation;
    std::optional<int> chipDragInsertionIndex;

    static constexpr double kDragMinimumDistance = 4;
    static constexpr double kDraggedOpacity = 0.82;
    static constexpr double kDraggedScale = 1.05;
    static constexpr Seconds kInsertionAnimation = 0.16;
    static constexpr Seconds kDraggedAnimation = 0.12;
    static constexpr double kRowPadding = 5;

    // What one evaluation of the bar is built from.
    struct Inputs {
        std::optional<size_t> screenFilter;
        std::vector<DisplayItem> items;
        std::set<std::string> bundleIDsWithWindows;  // the whole desktop, every screen
        std::vector<std::string> visiblePinnedBundleIDs;
        std::vector<std::string> visibleChipIDs;
        // What the chip of each visible pin shows.
        struct Pinned {
            std::string appName;
            std::shared_ptr<const Image> icon;
            std::optional<std::string> badge;
            bool wantsAttention = false;
            friend bool operator==(const Pinned&, const Pinned&) = default;
        };
        std::vector<Pinned> pinned;
        DesktopPosition desktop;  // the switcher's number

        bool sameAs(const Inputs& other) const;
    };
    Inputs inputs() const;
    // The items are filtered to the bar's screen only while every display shows bars.
    static std::optional<size_t> screenFilter(bool showOnAllDisplays, std::optional<size_t> screenIndex);
    // The bar's pins, in stored order, but those whose app has a chip on the desktop.
    static std::vector<std::string> visiblePinned(const std::vector<std::string>& barPins,
                                                  const std::set<std::string>& bundleIDsWithWindows);
    // What the last evaluation showed.
    const Inputs& shownInputs() const { return shown_; }

    Node body() override;
    // Whether the models now give other inputs than those of the last evaluation.
    bool inputsChanged() override;

    // --- The row while a chip is dragged ---
    double pinnedChipOffset(const std::string& id,
                            const std::vector<std::string>& visiblePinnedBundleIDs) const;
    double chipOffset(const std::string& id, const std::vector<std::string>& visibleChipIDs) const;
    // The first change of a drag fixes its chip and the frames; every change moves it.
    void pinnedDragChanged(const std::string& id, const DragValue& value);
    void pinnedDragEnded(const std::string& id, const DragValue& value);
    void chipDragChanged(const std::string& id, const DragValue& value);
    void chipDragEnded(const std::string& id, const DragValue& value);

    // --- Chip actions ---
    void handlePrimaryChipTap(uint32_t windowID, bool isFocused);
    void handleGroupedChipTap(const GroupedChipData& group);
    // A pop-up card's click.
    void activateWindowDeferred(uint32_t windowID);
    // A normal quit request to the app of a tracked window; nothing for an untracked one.
    void quitApp(uint32_t windowID);

    // --- The bar's panel moved, its display's frame having changed, or closed ---
    // What stands above the bar where the bar no longer is closes: the thumbnail pop-up, the
    // context menu, and through `barMoves` the desktop list.
    void barLeftItsPlace();
    Published<uint64_t> barMoves{0};
    static BarMoveObserver observeMoves(std::weak_ptr<BarContentView> bar);

    // --- Menus ---
    // Where a window of this bar can be sent, worked out afresh on every call.
    std::vector<MoveToDisplayGroup> moveToGroupsExcludingCurrentSpace() const;
    // The right presses that close and hold back the thumbnails, heard from when the bar shows
    // until it goes.
    void startContextMenuSuppressionMonitor();
    void stopContextMenuSuppressionMonitor();
    const ContextMenuSuppressionMonitor& contextMenuMouseMonitor() const { return *contextMenuMonitor_; }

  private:
    // --- What a chip of the row is built from (BarContentChips.cpp) ---
    // Everything a chip and the modifiers around it read, so that the bar reuses a chip whose inputs
    // equal the last evaluation's. What all chips share is one record, replaced only when it
    // changes, so that chips compare it by identity.
    struct ChipContext {
        Platform* platform = nullptr;
        std::weak_ptr<BarContentView> view;
        std::weak_ptr<ThumbnailPopups> popups;
        std::weak_ptr<BarViewModel> viewModel;
        std::shared_ptr<PinStore> pinStore;
        BarMetrics metrics;
        bool showChipTitles = true;
        bool showWindowTitles = true;
        bool usesLightBar = false;
        bool sameAs(const ChipContext& other) const;
    };
    // A chip's place in its row while one of the row's chips is dragged.
    struct ChipSlot {
        std::string id;
        bool dragged = false;
        double offset = 0;
        std::optional<int> insertionIndex;
        std::optional<std::string> draggedID;
        friend bool operator==(const ChipSlot&, const ChipSlot&) = default;
    };
    struct ItemChipInputs {
        std::shared_ptr<const ChipContext> context;
        ChipSlot slot;
        std::shared_ptr<const DisplayItem> item;  // shared with the handlers that report it
        bool operator==(const ItemChipInputs& other) const;
    };
    struct PinnedChipInputs {
        std::shared_ptr<const ChipContext> context;
        ChipSlot slot;
        std::string bundleID;
        std::string appName;
        std::shared_ptr<const Image> icon;
        std::optional<std::string> badge;
        bool wantsAttention = false;
        friend bool operator==(const PinnedChipInputs&, const PinnedChipInputs&) = default;
    };
    static Node itemChip(const ItemChipInputs& in);
    static Node pinnedChip(const PinnedChipInputs& in);
    // The modifiers every chip of a row gets: frame report, drag look, offset, animations, gesture.
    static Node wrapChip(Node chip, const ChipContext& context, const ChipSlot& slot, bool pinnedRow);
    static Binding<bool> pinBinding(const std::shared_ptr<PinStore>& store, const std::string& bundleID,
                                    PinDestination destination);

    // inputs(), written over `in`, whose storage each evaluation reuses.
    void fillInputs(Inputs& in) const;
    void startObservingIfNeeded();
    void reportFrame(bool pinnedRow, const std::string& id, const Rect& frame);
    // The context of this evaluation's chips: the last one while nothing in it changed.
    void updateChipContext();
    ChipSlot slot(const std::string& id, bool pinnedRow, const std::vector<std::string>& visible) const;
    Node chipsRow(const Inputs& in);
    std::shared_ptr<Queue> mainQueue() const;

    Platform& platform_;
    bool observing_ = false;
    std::optional<uint64_t> shownSpaceID_;
    Inputs shown_;
    Inputs next_;               // inputsChanged()'s, kept for its storage
    bool nextIsFresh_ = false;  // inputsChanged() just found them changed
    Subscription accessibilityObserver_;
    std::unique_ptr<ContextMenuSuppressionMonitor> contextMenuMonitor_;
    std::shared_ptr<const ChipContext> chipContext_;
};

}  // namespace qv
