#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <tuple>
#include <vector>

#include "model/BarViewModel.h"
#include "model/ShortcutRecording.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "previews/ThumbnailService.h"
#include "switcher/SwitcherLayout.h"
#include "switcher/WindowSwitcherKeyTap.h"
#include "switcher/WindowSwitcherPanel.h"
#include "switcher/WindowSwitcherWindowSource.h"
#include "tracking/WindowStore.h"

namespace qv {

// Runs the keyboard window switcher: holding the trigger modifiers and pressing the trigger key
// opens a grid of the windows on the display under the pointer, further presses and the arrows move
// the selection, releasing the modifiers activates it, Escape cancels. Between sessions it keeps
// the windows' order of use. Main thread.
class WindowSwitcherController : public std::enable_shared_from_this<WindowSwitcherController> {
    struct Token {};

  public:
    enum class Phase { idle, pending, visible };

    static constexpr int kFirstSupportedMajorVersion = 27;
    static constexpr Seconds kShowDelay = 0.15;
    static constexpr Seconds kWatchdogInterval = 0.1;
    static constexpr Seconds kTapRetryDelay = 5.0;
    static constexpr Seconds kFadeInDuration = 0.08;
    static constexpr double kPointerMoveThreshold = 3.0;
    static constexpr Seconds kThumbnailMaxAge = 4.0;
    static constexpr Seconds kLeaveCaptureDelay = 0.35;
    static constexpr Seconds kLeaveCaptureMaxAge = 1.0;
    static constexpr Seconds kActivationRecordDelay = 0.05;
    static constexpr const char* kShortcutRecordingNotification = qv::kShortcutRecordingNotification;

    // The switcher exists from major version 27 on.
    static bool isSupported(SystemInfo& system);

    static std::shared_ptr<WindowSwitcherController> create(Platform& platform,
                                                            std::shared_ptr<WindowStore> windowStore,
                                                            std::shared_ptr<BarViewModel> viewModel,
                                                            std::shared_ptr<UserSettings> settings,
                                                            std::shared_ptr<ThumbnailService> thumbnails);
    WindowSwitcherController(Token, Platform& platform, std::shared_ptr<WindowStore> windowStore,
                             std::shared_ptr<BarViewModel> viewModel, std::shared_ptr<UserSettings> settings,
                             std::shared_ptr<ThumbnailService> thumbnails);
    ~WindowSwitcherController();
    WindowSwitcherController(const WindowSwitcherController&) = delete;
    WindowSwitcherController& operator=(const WindowSwitcherController&) = delete;

    // After every change of the window store: follows its focused window.
    void storeDidChange();

    // --- What a caller may inspect ---
    Phase phase() const { return phase_; }
    const WindowSwitcherModel& model() const { return *model_; }
    const std::shared_ptr<WindowSwitcherPanel>& panel() const { return panel_; }
    WindowSwitcherKeyTap& keyTap() { return *keyTap_; }
    WindowSwitcherWindowSource& source() { return *source_; }

  private:
    using SettingsTriple = std::tuple<bool, std::optional<uint32_t>, std::optional<uint32_t>>;

    void start();
    void handle(const WindowSwitcherKeyTap::Event& event);
    void beginSession(bool backwards);
    // False, and no session, when the snapshot has no window and no answer is to come.
    bool openSession(SwitcherSnapshot snap, bool backwards, bool answersToCome);
    void completeSession(uint64_t serial, const WindowSwitcherWindowSource::Draft& draft,
                         const WindowSwitcherWindowSource::Answers& answers, bool backwards);
    // Asks the application for its focused window and records it in the history when it answers.
    void recordFocusedWindow(int32_t pid);
    void moveSelection(int delta, bool wrap);
    void showPanel();
    // The cached pictures of the cards that have none yet, of any age.
    void addCachedThumbnails();
    void refreshThumbnails();
    void cancelCaptures();
    void commit();
    void endSession();
    void startWatchdog();
    void handleHover(int index);
    void handleClick(int index);
    void handleAppActivated(int32_t pid);
    void scheduleLeaveCapture(uint32_t windowID);
    void applyEnabledState();
    void handleRecording(bool recording);
    bool isEnabled() const;
    Point pointerLocation();

    Platform& platform_;
    std::shared_ptr<WindowStore> windowStore_;
    std::shared_ptr<BarViewModel> viewModel_;
    std::shared_ptr<UserSettings> settings_;
    std::shared_ptr<ThumbnailService> thumbnails_;  // none: the cards keep their placeholders
    const bool isSupported_;
    std::unique_ptr<WindowSwitcherWindowSource> source_;
    std::shared_ptr<WindowSwitcherKeyTap> keyTap_;
    std::shared_ptr<WindowSwitcherModel> model_;
    std::shared_ptr<WindowSwitcherPanel> panel_;
    Phase phase_ = Phase::idle;
    std::optional<SwitcherSnapshot> snapshot_;
    uint64_t sessionSerial_ = 0;   // counts sessions, so that late answers find theirs over
    bool selectionMoved_ = false;  // the user moved the selection in this session
    bool showDue_ = false;         // the show delay passed while there was nothing to show
    WorkItemPtr showWork_;
    std::shared_ptr<RepeatingTimer> watchdog_;
    CancellationTokenPtr captureTask_;  // the shown session's captures
    std::optional<Point> mouseLocationAtShow_;
    std::optional<uint32_t> lastStoreFocusedWindowID_;
    WorkItemPtr leaveCaptureWork_;
    Subscription settingsCancellable_;
    Subscriptions workspaceObservers_;
    WorkItemPtr tapRetryWork_;
    Subscription recordingObserver_;
    std::optional<SettingsTriple> lastSettingsTriple_;
};

}  // namespace qv
