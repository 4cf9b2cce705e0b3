#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "tracking/AXWindowEvent.h"
#include "tracking/AXWindowMetadata.h"
#include "tracking/CGWindowInfo.h"
#include "tracking/SpaceWindows.h"
#include "tracking/TrackedWindow.h"

namespace qv {

// The live model of every window the bar shows: which windows exist, who owns them, their titles,
// frames, minimised state and Spaces, and which one is focused. Main thread only; no locks.
//
// The model's fields are public for the bar and the start-up code to read; only the store's own
// operations change them, except that the termination handling removes a process from
// `observerAttachedPIDs` itself.
class WindowStore : public std::enable_shared_from_this<WindowStore> {
    struct Token {};

  public:
    using AXWindowMetadata = qv::AXWindowMetadata;
    using CGWindowAXAdmission = qv::CGWindowAXAdmission;
    // Window id to the Spaces it is listed on.
    using WindowSpacesMap = std::unordered_map<uint32_t, std::set<uint64_t>>;
    using AXWindowMetadataMap = std::map<uint32_t, AXWindowMetadata>;

    static constexpr double kMinimumWindowSize = 40.0;
    static constexpr float kAXMessagingTimeoutSeconds = 0.05f;
    static constexpr std::array<double, 3> kDeferredScanPasses = {0.3, 0.8, 2.0};
    static constexpr double kDeferredScanSeriesEnd = 2.5;
    static constexpr double kCrossScreenRefreshDelay = 0.2;
    // Lifecycle polling, in seconds.
    static constexpr double kUnobservedBaseInterval = 0.9;
    static constexpr double kUnobservedGrowth = 1.35;
    static constexpr double kUnobservedMaxInterval = 2.5;
    static constexpr double kObservedInterval = 0.8;
    static constexpr double kObservedTimeLimit = 12.0;
    static constexpr int kObservedStableTicks = 2;
    static constexpr double kActivityTickDelay = 0.2;
    static constexpr double kBootstrapInitialDelay = 2.6;
    // A vanished window leaves after this many missed rescans, the first this long before.
    static constexpr int kMissesBeforeRemoval = 2;
    static constexpr double kMissingGracePeriod = 0.45;

    enum class PIDLifecyclePhase { launching, runningUnobserved, runningObserved };
    static const char* rawValue(PIDLifecyclePhase phase);

    // Launch polling of one process.
    struct PIDLifecycleState {
        PIDLifecyclePhase phase = PIDLifecyclePhase::launching;
        double startedAt = 0;  // absolute seconds
        bool observerAttached = false;
        double nextInterval = 0;  // seconds until the next tick
        int stableScans = 0;
        std::set<uint32_t> lastTrackedWindowIDs;
    };

    // Whether rescans still find a tracked window.
    struct ReconcileState {
        enum class Kind { active, missing };
        Kind kind = Kind::active;
        double firstMissingAt = 0;  // missing only: absolute seconds of the first miss
        int misses = 0;             // missing only: consecutive rescans that missed the window

        static ReconcileState active() { return {}; }
        static ReconcileState missing(double firstMissingAt, int misses) {
            return {Kind::missing, firstMissingAt, misses};
        }
        bool isActive() const { return kind == Kind::active; }
        friend bool operator==(const ReconcileState&, const ReconcileState&) = default;
    };

    static std::shared_ptr<WindowStore> create(Platform& platform);
    WindowStore(Token, Platform& platform);
    ~WindowStore();
    WindowStore(const WindowStore&) = delete;
    WindowStore& operator=(const WindowStore&) = delete;

    // --- The model ---
    std::map<uint32_t, TrackedWindow> windows;
    std::optional<uint32_t> focusedWindowID;
    std::set<int32_t> pendingScans;  // processes whose deferred scan series is running
    WorkItemPtr pendingCrossScreenRefresh;
    uint64_t debugEventSequence = 0;
    std::map<uint32_t, ReconcileState> reconcileStateByWindowID;
    std::map<int32_t, PIDLifecycleState> lifecycleByPID;
    std::map<int32_t, WorkItemPtr> lifecycleWorkByPID;
    std::set<int32_t> observerAttachedPIDs;
    // The one publish hook, called synchronously after each batch of changes.
    std::function<void()> onChange;
    // "_AXUIElementGetWindow" when the lookup found it; empty otherwise.
    std::function<AXError(const AXElement&, uint32_t&)> axGetWindow;
    float axMessagingTimeoutSeconds = kAXMessagingTimeoutSeconds;

    // The processes that own at least one tracked window.
    std::set<int32_t> trackedPIDs() const;

    // --- Population and Spaces ---
    // The full initial scan: replaces the windows and their reconcile states.
    void populate();
    WindowSpacesMap buildWindowSpacesMap(uint32_t connectionID);
    // Window id to its non-empty set of Spaces, asked one window at a time.
    std::map<uint32_t, std::set<uint64_t>> querySpaces(const std::vector<uint32_t>& windowIDs,
                                                       uint32_t connectionID);
    static std::vector<uint32_t> uniquePreservingOrder(const std::vector<uint32_t>& windowIDs);

    // --- Admission ---
    // The owner's Accessibility window list by window id, and whether a list was read at all.
    std::pair<AXWindowMetadataMap, bool> copyAXWindowMetadataByID(int32_t pid);
    static CGWindowAXAdmission cgWindowAXAdmission(uint32_t windowID, const AXWindowMetadataMap& metadataByID,
                                                   bool hasAXWindowList);
    static bool isDockEligibleAXWindow(const AXWindowMetadata& metadata);
    static std::string axIneligibilityReason(const AXWindowMetadata& metadata);
    bool requiresAXConfirmationForLiveAdmission(int32_t pid) const;
    // Why a window missing from a readable list is not taken at start-up; none: no objection.
    std::optional<std::string> tentativeBootstrapRejection(uint32_t windowID,
                                                           const WindowSpacesMap& windowSpaces,
                                                           uint32_t connectionID);
    // The lenient test for a window that has just been created.
    static bool isClearlyIneligibleAXWindow(const AXWindowMetadata& metadata);
    // The window-list entry of one window.
    std::optional<CGWindowInfo> cgWindowInfo(uint32_t windowID);

    // --- Accessibility events ---
    // Applies one event of the observer manager.
    void handleAXEvent(const AXWindowEvent& event);
    // Drops every window of a process that ended, with its polling and its pending-scan mark.
    void removeWindows(int32_t pid);

    // --- Focus ---
    // Takes the application's focused window as the focused window.
    void handleAppActivated(int32_t pid);
    // The tracked windows on one Space, by ascending window id.
    std::vector<TrackedWindow> windowsOn(uint64_t spaceID) const;
    // The one window to bring forward on a Space; admits the Space's windows the store lacks first.
    std::optional<uint32_t> trackSoleWindow(uint64_t spaceID);
    // The largest window, a titled one winning a tie with an untitled one, else the earliest.
    static std::optional<TrackedWindow> bestActivationCandidate(const std::vector<TrackedWindow>& windows);

    // --- Deferred scans and per-process lifecycle ---
    // Rescans the process at 0.3, 0.8 and 2.0 s; a series already running is left as it is.
    void scheduleDeferredScan(int32_t pid);
    // True only for a process the store knows nothing about.
    bool needsObserverBootstrap(int32_t pid) const;
    void handleObserverAttached(int32_t pid);
    // The first fill of a process whose observer has just been installed; the windows added.
    int addWindowsForPID(int32_t pid);
    // Polls the process until its observer is attached and its windows have settled.
    void startLifecycleMonitoring(int32_t pid, double initialDelay);

    // --- Batch passes over the whole store ---
    // Renews every window's Spaces from one per-Space listing.
    void refreshSpaces();
    // Re-reads every window's minimised state and finds Spaces for minimised windows without one.
    void resyncMinimizedWindows();
    // Adds windows of known processes that the store lacks; the windows added.
    int discoverNewWindowsForTrackedPIDs();

  private:
    friend struct WindowStoreProbe;  // tests and benchmarks reach the per-process scans through it

    struct ScannedWindowCandidate {
        std::string appName;
        std::optional<std::string> bundleID;
        std::string title;
        Rect frame;
        std::set<uint64_t> spaces;
        bool isAXConfirmed = false;
        bool isMinimized = false;
    };
    struct PIDWindowScan {
        std::map<uint32_t, ScannedWindowCandidate> candidates;
        std::set<uint32_t> layerZeroWindowIDs;
        std::set<uint32_t> axRejectedWindowIDs;
        bool ownerIsDockEligible = false;
        // False when the window list could not be read: the scan then proves nothing missing.
        bool windowListReadable = false;
    };
    // One read of an application's Accessibility window list: what each window says about itself
    // and the element it was read from, by window id.
    struct AXWindowList {
        AXWindowMetadataMap metadataByID;
        std::map<uint32_t, AXElement> elementsByID;
        bool hasList = false;
    };

    void handleWindowCreated(const AXWindowEvent& event);
    void handleWindowMoved(uint32_t windowID, const Rect& frame);
    void handleFocusedWindowChanged(const AXWindowEvent& event);
    void scheduleCrossScreenSpacesRefresh();
    // Removes a window and its reconcile state, and the focus when it names the window.
    void forgetWindow(uint32_t windowID);
    // `complete` tells whether the Spaces and every Space's listing could be read.
    WindowSpacesMap buildWindowSpacesMap(uint32_t connectionID, bool& complete);

    void ensureLifecycleMonitoringForWindowActivity(int32_t pid);
    void cancelLifecycleMonitoring(int32_t pid);
    void scheduleLifecycleTick(int32_t pid, double delay);
    void runLifecycleTick(int32_t pid);
    bool hasMissingTrackedWindows(int32_t pid) const;
    std::set<uint32_t> trackedWindowIDs(int32_t pid) const;

    PIDWindowScan scanWindows(int32_t pid);
    int reconcileWindowsForPID(int32_t pid);

    bool clearFocusOfOtherProcess(int32_t pid);
    std::optional<uint32_t> resolveWindowID(const AXElement& element);
    AXWindowList readAXWindowList(int32_t pid);
    // The window's title, read live from its element in `list`; none when the list lacks it.
    std::optional<std::string> readTitle(const AXWindowList& list, uint32_t windowID);
    std::optional<std::string> readTitle(const AXElement& element);
    // `unanswered` is set when the read got no answer, as opposed to finding no value.
    std::optional<std::string> readStringAttribute(const AXElement& element, const std::string& attribute,
                                                   bool* unanswered = nullptr);
    std::optional<bool> readBoolAttribute(const AXElement& element, const std::string& attribute,
                                          bool* unanswered = nullptr);
    // Sets the store's messaging timeout on the element and reads the attribute.
    AXError readAttribute(const AXElement& element, const std::string& attribute, Value& value);
    std::optional<Rect> readFrame(const AXElement& element);

    Platform& platform_;
    SpaceWindows spaces_;
    // The running deferred-scan series of each pending process, so that a series' passes and
    // its end act only for the series that scheduled them.
    std::map<int32_t, uint64_t> deferredScanSeriesByPID_;
    uint64_t nextDeferredScanSeries_ = 0;
};

}  // namespace qv
