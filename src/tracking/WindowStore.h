#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Platform.h"
#include "tracking/AXWindowEvent.h"
#include "tracking/AXWindowID.h"
#include "tracking/AXWindowMetadata.h"
#include "tracking/CGWindowInfo.h"
#include "tracking/SpaceWindows.h"
#include "tracking/TrackedWindow.h"
#include "tracking/WindowStoreRequests.h"

namespace qv {

// The live model of every window the bar shows: which windows exist, who owns them, their titles,
// frames, minimised state and Spaces, and which one is focused. Main thread only; no locks.
//
// The store never waits for another application: every Accessibility request it makes runs on the
// worker of the application asked (platform.appWorkers). What answers a notification is asked as
// the user's request; what nobody waits on (rescans, deferred passes, lifecycle polls, passes over
// the store) in the background, a rescan in small steps, so that the user's requests are taken
// between them. Answers come back on the main queue, often seconds later, into a world that moved
// on; each carries what it was asked about, and the store applies only what still holds, checked
// on the main thread at no cost:
// - the window server is read again when an answer is applied: a window it no longer lists is not
//   admitted, and frames come from its bounds as they are then;
// - a title read by a question asked before the one whose title the window last took is older
//   than the one it shows, and is dropped;
// - an answer about the focus asked before a later decision about the focus is stale;
// - an answer about a process that ended meanwhile (removeWindows) is dropped.
// A change that needs no answer applies after the answers asked of its application before it. An
// application that left reads unanswered (hung) is rescanned when it answers again, since what it
// did not announce meanwhile is lost.
//
// The model is read through the accessors below and changed only by the store's own operations;
// tests and benchmarks reach the rest through WindowStoreProbe.
class WindowStore : public std::enable_shared_from_this<WindowStore> {
    struct Token {};

  public:
    // Window id to the Spaces it is listed on.
    using WindowSpacesMap = std::unordered_map<uint32_t, std::set<uint64_t>>;

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
    // An application that left a read unanswered is rescanned this often until it answers.
    static constexpr double kUnansweredRecheckInterval = 2.0;

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
    const std::map<uint32_t, TrackedWindow>& windows() const { return windows_; }
    const std::optional<uint32_t>& focusedWindowID() const { return focusedWindowID_; }
    // The processes whose Accessibility observer is attached.
    const std::set<int32_t>& observerAttachedPIDs() const { return observerAttachedPIDs_; }
    // The launch polling of each process being polled.
    const std::map<int32_t, PIDLifecycleState>& lifecycleByPID() const { return lifecycleByPID_; }
    // The processes that own at least one tracked window.
    std::set<int32_t> trackedPIDs() const;
    // The Accessibility element last seen for a tracked window: a request can go straight to it, so
    // it reaches an application that does not answer, which handles it once it runs again.
    std::optional<AXElement> elementOf(uint32_t windowID) const;

    // The one publish hook, called synchronously after each batch of changes is applied. The owner
    // sets it; a later owner may chain onto the one it finds.
    std::function<void()> onChange;

    // --- Population ---
    // The full initial scan: replaces the windows and their reconcile states once every
    // application's answers are in, resolves the focus, publishes, and then calls `done`.
    void populate(std::function<void()> done = {});

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
    // The one window to bring forward on a Space, for a caller that cannot wait: while answers are
    // due, the choice as if the Space's windows being asked about were admitted; they are
    // admitted, or not, when the answers come.
    std::optional<uint32_t> trackSoleWindow(uint64_t spaceID);

    // --- Deferred scans and per-process lifecycle ---
    // Rescans the process at 0.3, 0.8 and 2.0 s; a series already running is left as it is.
    void scheduleDeferredScan(int32_t pid);
    // True only for a process the store knows nothing about.
    bool needsObserverBootstrap(int32_t pid) const;
    void handleObserverAttached(int32_t pid);
    // The process's observer is gone (the process ended); its windows stay until removeWindows.
    void handleObserverDetached(int32_t pid);
    // The first fill of a process whose observer has just been installed; `added` gets the number
    // of windows added.
    void addWindowsForPID(int32_t pid, std::function<void(int)> added = {});
    // Polls the process until its observer is attached and its windows have settled.
    void startLifecycleMonitoring(int32_t pid, double initialDelay);

    // --- Batch passes over the whole store ---
    // Renews every window's Spaces from one per-Space listing.
    void refreshSpaces();
    // Re-reads every window's minimised state and finds Spaces for minimised windows without one;
    // `done` runs once the answers are applied.
    void resyncMinimizedWindows(std::function<void()> done = {});
    // Adds windows of known processes that the store lacks; `added` gets the number added.
    void discoverNewWindowsForTrackedPIDs(std::function<void(int)> added = {});

  private:
    friend struct WindowStoreProbe;  // tests and benchmarks reach the state and the scans through it

    struct ScannedWindowCandidate {
        TrackedWindow window;  // as it would be tracked
        bool isAXConfirmed = false;
        uint64_t titleAsOf = 0;  // the mark of the question its title answered
    };
    struct PIDWindowScan {
        std::map<uint32_t, ScannedWindowCandidate> candidates;
        std::set<uint32_t> layerZeroWindowIDs;
        std::set<uint32_t> axRejectedWindowIDs;
        bool ownerIsDockEligible = false;
        // False when the window list could not be read: the scan then proves nothing missing.
        bool windowListReadable = false;
    };
    // Windows whose title is read live, by process: the element to read it from.
    using TitleReads = std::map<int32_t, std::map<uint32_t, AXElement>>;
    using Titles = std::map<int32_t, std::map<uint32_t, std::optional<std::string>>>;
    using Then = std::function<void(WindowStore&)>;
    using Urgency = AppWorkers::Urgency;

    // What the store asks of applications, as their workers run it.
    WindowStoreRequests requests() const {
        return {platform_.accessibility, axGetWindow_, kAXMessagingTimeoutSeconds};
    }

    // --- Spaces ---
    WindowSpacesMap buildWindowSpacesMap(uint32_t connectionID);
    // `complete` tells whether the Spaces and every Space's listing could be read.
    WindowSpacesMap buildWindowSpacesMap(uint32_t connectionID, bool& complete);
    // Window id to its non-empty set of Spaces, asked one window at a time.
    std::map<uint32_t, std::set<uint64_t>> querySpaces(const std::vector<uint32_t>& windowIDs,
                                                       uint32_t connectionID);

    // --- Admission ---
    bool requiresAXConfirmationForLiveAdmission(int32_t pid) const;
    // Why a window missing from a readable list is not taken at start-up; none: no objection.
    std::optional<std::string> tentativeBootstrapRejection(uint32_t windowID,
                                                           const WindowSpacesMap& windowSpaces,
                                                           uint32_t connectionID);
    // The window-list entry of one window.
    std::optional<CGWindowInfo> cgWindowInfo(uint32_t windowID);

    void handleWindowCreated(const AXWindowEvent& event, Then done);
    void admitCreatedWindow(const AXWindowEvent& event, uint32_t windowID, Then done);
    // The window-list entry of a created window when it passes the window-list tests.
    std::optional<CGWindowInfo> createdWindowEntry(uint32_t windowID);
    // `asked`: the mark of the question that read the window.
    void addCreatedWindow(int32_t pid, uint32_t windowID, const CGWindowInfo& info,
                          const AXWindowMetadata& metadata, const CreatedWindowRest& rest, uint64_t asked);
    void handleWindowMoved(uint32_t windowID, const Rect& frame);
    void handleFocusedWindowChanged(const AXWindowEvent& event);
    // Asks for the application's focused window and takes it as the focus; `then` runs after,
    // whatever the answer.
    void askFocusedWindow(int32_t pid, Then then);
    void scheduleCrossScreenSpacesRefresh();
    // Removes a window and its reconcile state, and the focus when it names the window.
    void forgetWindow(uint32_t windowID);
    // Keeps the elements an application's list gave; its others of windows no longer tracked go.
    void rememberElements(int32_t pid, const AXWindowList& list);

    void ensureLifecycleMonitoringForWindowActivity(int32_t pid);
    void cancelLifecycleMonitoring(int32_t pid);
    void scheduleLifecycleTick(int32_t pid, double delay);
    void runLifecycleTick(int32_t pid);
    void finishLifecycleTick(int32_t pid);
    bool hasMissingTrackedWindows(int32_t pid) const;
    std::set<uint32_t> trackedWindowIDs(int32_t pid) const;

    void scanWindows(int32_t pid, std::function<void(WindowStore&, PIDWindowScan)> then);
    // The scan from the application's answer and the window server as it is now; the windows whose
    // titles have to be read live are added to `titleReads`.
    PIDWindowScan scanFromAnswer(int32_t pid, const AXWindowList& axList,
                                 std::map<uint32_t, AXElement>& titleReads);
    void reconcileWindowsForPID(int32_t pid, std::function<void(WindowStore&, int)> then = {});
    int applyReconcile(int32_t pid, const PIDWindowScan& scan);
    int applyFirstFill(int32_t pid, const PIDWindowScan& scan);
    void discoverFrom(const std::set<int32_t>& pids, const std::map<int32_t, AXWindowList>& lists,
                      std::function<void(int)> done);

    // The one window to bring forward on a Space, given to `chosen` once the windows of the Space
    // the store lacks have been admitted (at once when none needs an application's answer).
    void trackSoleWindow(uint64_t spaceID, std::function<void(std::optional<uint32_t>)> chosen);
    // One call of trackSoleWindow, while its answers are due.
    struct SoleWindowPass;
    std::shared_ptr<SoleWindowPass> startSoleWindow(uint64_t spaceID,
                                                    std::function<void(std::optional<uint32_t>)> chosen);
    void finishSoleWindow(const std::shared_ptr<SoleWindowPass>& pass);
    std::optional<uint32_t> chooseSoleWindow(const std::vector<TrackedWindow>& collected,
                                             uint64_t spaceID) const;

    bool clearFocusOfOtherProcess(int32_t pid);
    // Reads the titles live on the workers; `then` gets them once the last is in.
    void readTitles(TitleReads reads, std::function<void(WindowStore&, Titles)> then,
                    Urgency urgency = Urgency::user);

    // --- Asking applications ---
    // Runs `request(reads)` on the application's worker; `apply(store, answer)` runs on the main
    // queue once the answer is in, unless the store has gone or the process ended meanwhile.
    template <class Request, class Apply>
    void ask(int32_t pid, Request request, Apply apply, Urgency urgency = Urgency::user);
    // The same for a read nobody waits on (rescans, polls, passes): the user's requests go first.
    template <class Request, class Apply>
    void askInBackground(int32_t pid, Request request, Apply apply) {
        ask(pid, std::move(request), std::move(apply), Urgency::background);
    }
    // The same, `reply(store, answer)` called with none when the process ended meanwhile.
    template <class Request, class Reply>
    void askOrHearNothing(int32_t pid, Request request, Reply reply, Urgency urgency);
    // Asks several applications at once; `applyAll(store, answers)` runs once the last answer is
    // in (at once when none is asked), with the answers of the processes that did not end meanwhile.
    template <class Answer, class MakeRequest>
    void askEach(const std::set<int32_t>& pids, MakeRequest makeRequest,
                 std::function<void(WindowStore&, std::map<int32_t, Answer>)> applyAll,
                 Urgency urgency = Urgency::user);
    // Applies a change that needs no answer once the answers asked of the application before it
    // are applied, so that its changes apply in the order they were asked.
    void inOrder(int32_t pid, Then apply);
    uint64_t endsOf(int32_t pid) const;
    // An answer was applied (or dropped): the changes held behind it apply, and an application
    // heard from again after it left reads unanswered is rescanned.
    void answered(int32_t pid, uint64_t asked, const Hearing& heard);
    void applyHeldChanges(int32_t pid);
    void recheckUnanswered(int32_t pid);
    // A mark later than every question asked so far, for what is read on the main thread now.
    uint64_t markNow() { return ++asked_; }
    // Whether a title known as of `asOf` is not older than the one the window shows, and if so
    // marks it taken.
    bool takesTitle(uint32_t windowID, uint64_t asOf);

    Platform& platform_;
    // "_AXUIElementGetWindow" when the lookup found it; empty otherwise. Looked up
    // before the Spaces' entry points, so declared before spaces_.
    AXGetWindowFunction axGetWindow_;
    SpaceWindows spaces_;

    // --- The model ---
    std::map<uint32_t, TrackedWindow> windows_;
    std::optional<uint32_t> focusedWindowID_;
    std::map<uint32_t, ReconcileState> reconcileStateByWindowID_;
    std::set<int32_t> observerAttachedPIDs_;
    std::map<int32_t, PIDLifecycleState> lifecycleByPID_;
    std::map<int32_t, WorkItemPtr> lifecycleWorkByPID_;
    std::set<int32_t> pendingScans_;  // processes whose deferred scan series is running
    WorkItemPtr pendingCrossScreenRefresh_;
    // Counts the focus events and the questions about the focus.
    uint64_t debugEventSequence_ = 0;
    // The running deferred-scan series of each pending process, so that a series' passes and
    // its end act only for the series that scheduled them.
    std::map<int32_t, uint64_t> deferredScanSeriesByPID_;
    uint64_t nextDeferredScanSeries_ = 0;
    // How often each process was removed: an answer asked before the last removal is dropped.
    std::map<int32_t, uint64_t> endsByPID_;
    // Counts the questions asked of applications (and the window server's reads on the main
    // thread): of two answers, the one asked later has the larger mark.
    uint64_t asked_ = 0;
    // A change without an answer, held until the answers asked before it (up to `after`) are in.
    struct HeldChange {
        uint64_t after = 0;
        uint64_t ends = 0;
        Then apply;
    };
    struct PendingAnswers {
        std::set<uint64_t> asked;  // the marks of the questions whose answers are not applied yet
        std::deque<HeldChange> held;
    };
    std::map<int32_t, PendingAnswers> pendingByPID_;
    // The mark of the question whose title each window last took: a title asked before it is
    // older than the one the window shows.
    std::map<uint32_t, uint64_t> titleAsOf_;
    std::map<uint32_t, AXElement> elementsByWindowID_;
    // Applications that left a read unanswered (hung, or too busy): the first answer after that
    // has them rescanned, since what they did not announce meanwhile is lost.
    std::set<int32_t> unansweredPIDs_;
    // Counts the decisions about the focus; an answer about the focus asked before a later
    // decision is stale.
    uint64_t focusDecisions_ = 0;
};

// The largest window, a titled one winning a tie with an untitled one, else the earliest.
std::optional<TrackedWindow> bestActivationCandidate(const std::vector<TrackedWindow>& windows);
// The ids with every repeat after the first left out.
std::vector<uint32_t> uniquePreservingOrder(const std::vector<uint32_t>& windowIDs);

template <class Request, class Reply>
void WindowStore::askOrHearNothing(int32_t pid, Request request, Reply reply, Urgency urgency) {
    using Answer = std::invoke_result_t<Request&, const WindowStoreRequests&>;
    const uint64_t asked = ++asked_;
    pendingByPID_[pid].asked.insert(asked);
    auto run = [reads = requests(), request = std::move(request)]() mutable {
        Hearing heard;
        WindowStoreRequests counted = reads;
        counted.heard = &heard;
        Answer answer = request(std::as_const(counted));
        return std::pair<Answer, Hearing>{std::move(answer), heard};
    };
    platform_.appWorkers.ask(
        pid, std::move(run),
        [weak = weak_from_this(), pid, asked, ends = endsOf(pid),
         reply = std::move(reply)](std::pair<Answer, Hearing> answer) mutable {
            auto self = weak.lock();
            if (!self) return;
            const bool current = self->endsOf(pid) == ends;
            reply(*self, current ? std::optional<Answer>(std::move(answer.first)) : std::nullopt);
            self->answered(pid, asked, current ? answer.second : Hearing{});
        },
        urgency);
}

template <class Request, class Apply>
void WindowStore::ask(int32_t pid, Request request, Apply apply, Urgency urgency) {
    using Answer = std::invoke_result_t<Request&, const WindowStoreRequests&>;
    askOrHearNothing(
        pid, std::move(request),
        [apply = std::move(apply)](WindowStore& self, std::optional<Answer> answer) mutable {
            if (answer) apply(self, std::move(*answer));
        },
        urgency);
}

template <class Answer, class MakeRequest>
void WindowStore::askEach(const std::set<int32_t>& pids, MakeRequest makeRequest,
                          std::function<void(WindowStore&, std::map<int32_t, Answer>)> applyAll,
                          Urgency urgency) {
    struct Join {
        std::map<int32_t, Answer> answers;
        size_t waiting = 0;
        std::function<void(WindowStore&, std::map<int32_t, Answer>)> applyAll;
    };
    if (pids.empty()) {
        applyAll(*this, {});
        return;
    }
    auto join = std::make_shared<Join>();
    join->waiting = pids.size();
    join->applyAll = std::move(applyAll);
    for (int32_t pid : pids) {
        askOrHearNothing(
            pid, makeRequest(pid),
            [join, pid](WindowStore& self, std::optional<Answer> answer) {
                if (answer) join->answers.emplace(pid, std::move(*answer));
                if (--join->waiting == 0) join->applyAll(self, std::move(join->answers));
            },
            urgency);
    }
}

}  // namespace qv
