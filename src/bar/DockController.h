#pragma once

#include <memory>
#include <optional>
#include <string>

#include "bar/InitialDockSettings.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"

namespace qv {

// Hides the system Dock while the bar is in use and gives it back afterwards. Hiding switches the
// Dock's auto-hide on, sets its reveal delay to 1000 s, switches its bouncing off and restarts it;
// before the first hiding the Dock's own state is saved in "initialDockSettings.json" beside the
// settings file, and restoring puts exactly that back and deletes the file. The file thus exists
// while the Dock is hidden by us and survives a crash; once the Dock is shown it stays only for
// preferences that could not be written back yet. Main thread, except the restart.
class DockController : public std::enable_shared_from_this<DockController> {
    struct Token {};

  public:
    static constexpr const char* kFileName = "initialDockSettings.json";
    static constexpr const char* kUnreadableSuffix = ".unreadable";
    static constexpr const char* kDomain = "com.apple.dock";
    static constexpr const char* kDelayKey = "autohide-delay";
    static constexpr const char* kNoBouncingKey = "no-bouncing";
    static constexpr double kHiddenDelay = 1000.0;
    static constexpr double kRestoredDelay = 0.2;
    static constexpr double kHiddenDelayTolerance = 0.0001;
    static constexpr const char* kKillallPath = "/usr/bin/killall";
    // A restart command that has not ended by then counts as failed.
    static constexpr Seconds kRestartTimeout = 10;
    static constexpr const char* kRestartQueueLabel = "com.quillvorn.dock-restart";

    // Builds the controller, brings the Dock in line with the hide-Dock setting and follows it.
    static std::shared_ptr<DockController> create(Platform& platform, std::shared_ptr<UserSettings> settings);
    // The instance the composition root installed.
    static DockController& shared();
    static void setShared(std::shared_ptr<DockController> controller);

    DockController(Token, Platform& platform, std::shared_ptr<UserSettings> settings);
    DockController(const DockController&) = delete;
    DockController& operator=(const DockController&) = delete;

    // Gives the Dock back when the file exists. The file goes only once every value it holds is
    // written back and synchronised; otherwise it stays for the next restore, marked as the Dock
    // shown, so that it then writes back only what still holds hiding's values. A file that cannot be
    // read is moved aside, and the recovery state restored, only when the Dock shows our hiding.
    // Synchronous (the quit path): the restart runs on the calling thread and has ended, or timed
    // out, when this returns.
    void restore(bool synchronous);

    // None when the system gives no Application Support folder: nothing can be saved, so the Dock
    // is never hidden.
    const std::optional<std::string>& fileURL() const { return fileURL_; }

    // --- The steps ---
    void reconcileOnStartup();
    // Saves the Dock's state and returns it, none when it cannot be written. After a file that could
    // not be read, a Dock that looks hidden saves the recovery state instead (auto-hide off, both
    // preferences null), so that restoring brings it back.
    std::optional<InitialDockSettings> captureInitialSettings(bool afterUnreadableFile = false);
    // Hides the Dock, `saved` being what the file holds.
    void applyHideSettings(const InitialDockSettings& saved);
    void restartDock();
    void restartDockProcess();
    std::optional<double> currentAutoHideDelay();
    std::optional<bool> currentBounceEnabled();

    // --- The rules ---
    // Auto-hide on, bouncing present and off, a delay within 0.0001 of 1000.
    static bool looksHidden(bool autoHide, std::optional<double> delay, std::optional<bool> bounceEnabled);
    // A delay within 0.0001 of the one hiding writes.
    static bool isHiddenDelay(std::optional<double> delay);
    // A preference read as a number or as a Boolean: native numbers, number objects and Booleans.
    static std::optional<double> doubleValue(const Value& value);
    static std::optional<bool> boolValue(const Value& value);

  private:
    void subscribe();
    void handleHideDockChanged(bool hide);
    bool dockLooksHidden();
    bool hasFile();
    // What the file holds once it is ready for hiding: the earlier saved state, or the Dock's
    // current one saved now; none when it cannot be saved.
    std::optional<InitialDockSettings> prepareHiding();
    // A file kept after the Dock was shown, made to stand for hiding again; none when unwritable.
    std::optional<InitialDockSettings> resumeHiding(InitialDockSettings saved);
    // What the file saved; none when it is missing or cannot be read.
    std::optional<InitialDockSettings> savedSettings();
    // An unreadable file goes aside before a fresh capture takes its place; false when it cannot.
    bool moveUnreadableFileAside();
    // The Dock's domain, opened afresh when it could not be opened before; none while it cannot.
    PreferencesDomain* dockDomain();
    // Saves in the file the values of keys it does not hold yet (`saved`), before hiding overwrites
    // them. Returns what the file holds: a key without a saved value is not to be overwritten.
    InitialDockSettings saveUnsavedPreferences(PreferencesDomain& domain, const InitialDockSettings& saved);
    // Writes one saved preference of `file` back: its value, a removal for null; a key never saved
    // keeps its value, unless an earlier version's hiding wrote it, which gives way to the default.
    void restorePreference(PreferencesDomain& domain, const char* key, const InitialDockSettings& file,
                           const SavedDockPreference& saved, bool holdsHiddenValue, const Value& fallback);
    // Puts the saved state back; true when every preference was written and synchronised.
    bool writeBack(const InitialDockSettings& saved);

    Platform& platform_;
    std::shared_ptr<UserSettings> settings_;
    std::shared_ptr<PreferencesDomain> dockDefaults_;
    std::optional<std::string> fileURL_;
    std::shared_ptr<Queue> restartQueue_;
    Subscription subscription_;
};

}  // namespace qv
