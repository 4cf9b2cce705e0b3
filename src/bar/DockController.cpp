#include "bar/DockController.h"

#include <cmath>
#include <stdexcept>

namespace qv {

namespace {

std::shared_ptr<DockController>& sharedSlot() {
    static std::shared_ptr<DockController> instance;
    return instance;
}

}  // namespace

std::shared_ptr<DockController> DockController::create(Platform& platform,
                                                       std::shared_ptr<UserSettings> settings) {
    auto controller = std::make_shared<DockController>(Token{}, platform, std::move(settings));
    controller->reconcileOnStartup();
    controller->subscribe();
    return controller;
}

DockController& DockController::shared() {
    auto& instance = sharedSlot();
    if (!instance) throw std::logic_error("DockController::shared() used before setShared()");
    return *instance;
}

void DockController::setShared(std::shared_ptr<DockController> controller) {
    sharedSlot() = std::move(controller);
}

DockController::DockController(Token, Platform& platform, std::shared_ptr<UserSettings> settings)
    : platform_(platform),
      settings_(std::move(settings)),
      dockDefaults_(platform.preferences.openSuite(kDomain)),
      restartQueue_(platform.runtime.makeSerialQueue(kRestartQueueLabel, QoS::userInitiated)) {
    auto folders = platform.fileSystem.applicationSupportDirectories();
    if (folders.empty()) return;
    const std::string folder = folders.front() + "/quillVorn";
    fileURL_ = folder + "/" + kFileName;
    (void)platform.fileSystem.createDirectory(folder);  // a failure shows when the file is written
}

void DockController::subscribe() {
    std::weak_ptr<DockController> weak = weak_from_this();
    // Duplicates removed, the first (current) value dropped: reconcileOnStartup handled it.
    subscription_ =
        settings_->data.subscribe([weak, last = std::optional<bool>()](const UserSettingsData& d) mutable {
            const bool hide = d.hideDock;
            if (last == hide) return;
            const bool first = !last;
            last = hide;
            if (first) return;
            if (auto self = weak.lock()) self->handleHideDockChanged(hide);
        });
}

void DockController::handleHideDockChanged(bool hide) {
    if (!hide) {
        restore(false);
        return;
    }
    if (auto saved = prepareHiding()) applyHideSettings(*saved);
}

void DockController::reconcileOnStartup() {
    if (!settings_->data->hideDock) {
        if (hasFile()) restore(false);
        return;
    }
    // A Dock that already looks hidden is left alone; the file is still made, so that a later
    // restore finds one.
    auto saved = prepareHiding();
    if (saved && !dockLooksHidden()) applyHideSettings(*saved);
}

std::optional<InitialDockSettings> DockController::prepareHiding() {
    // The state saved before an earlier hiding wins; a file that cannot be read goes aside first.
    auto saved = savedSettings();
    const bool unreadable = !saved && hasFile();
    if (unreadable && !moveUnreadableFileAside()) return std::nullopt;
    if (!saved) return captureInitialSettings(unreadable);
    if (saved->dockShown) return resumeHiding(*saved);
    return saved;
}

std::optional<InitialDockSettings> DockController::resumeHiding(InitialDockSettings saved) {
    // The auto-hide given back is the user's now, and so is a preference that no longer holds what
    // hiding wrote; one that still does is owed its saved value. Without the domain, all stay owed.
    saved.dockShown = false;
    saved.autoHideEnabled = platform_.dock.getAutoHideEnabled();
    if (dockDomain()) {
        if (!isHiddenDelay(currentAutoHideDelay())) saved.autoHideDelay.reset();
        if (currentBounceEnabled() != false) saved.noBouncing.reset();
    }
    if (!platform_.fileSystem.writeAtomically(*fileURL_, encodeInitialDockSettings(saved)))
        return std::nullopt;
    return saved;
}

bool DockController::hasFile() {
    return fileURL_ && platform_.fileSystem.fileExists(*fileURL_);
}

std::optional<InitialDockSettings> DockController::savedSettings() {
    auto bytes = fileURL_ ? platform_.fileSystem.contentsOfFile(*fileURL_) : std::nullopt;
    return bytes ? decodeInitialDockSettings(*bytes) : std::nullopt;
}

bool DockController::moveUnreadableFileAside() {
    FileSystem& files = platform_.fileSystem;
    const std::string aside = *fileURL_ + kUnreadableSuffix;
    if (files.fileExists(aside)) (void)files.removeItem(aside);
    return files.moveItem(*fileURL_, aside);
}

bool DockController::looksHidden(bool autoHide, std::optional<double> delay,
                                 std::optional<bool> bounceEnabled) {
    return autoHide && bounceEnabled == false && isHiddenDelay(delay);
}

bool DockController::isHiddenDelay(std::optional<double> delay) {
    return delay && std::fabs(*delay - kHiddenDelay) < kHiddenDelayTolerance;
}

bool DockController::dockLooksHidden() {
    return looksHidden(platform_.dock.getAutoHideEnabled(), currentAutoHideDelay(), currentBounceEnabled());
}

std::optional<double> DockController::doubleValue(const Value& value) {
    if (auto n = value.asNumberObject()) return n->doubleValue();  // Booleans too
    if (auto d = value.asDouble()) return *d;
    if (auto f = value.asFloat()) return static_cast<double>(*f);
    if (auto i = value.asInt64()) return static_cast<double>(*i);
    if (auto i = value.asInt32()) return static_cast<double>(*i);
    if (auto u = value.asUInt64()) return static_cast<double>(*u);
    if (auto u = value.asUInt32()) return static_cast<double>(*u);
    return std::nullopt;
}

std::optional<bool> DockController::boolValue(const Value& value) {
    if (auto d = doubleValue(value)) return *d != 0;
    return std::nullopt;
}

PreferencesDomain* DockController::dockDomain() {
    // A domain that could not be opened before may open now.
    if (!dockDefaults_) dockDefaults_ = platform_.preferences.openSuite(kDomain);
    return dockDefaults_.get();
}

std::optional<double> DockController::currentAutoHideDelay() {
    PreferencesDomain* domain = dockDomain();
    auto value = domain ? domain->object(kDelayKey) : std::nullopt;
    return value ? doubleValue(*value) : std::nullopt;
}

std::optional<bool> DockController::currentBounceEnabled() {
    PreferencesDomain* domain = dockDomain();
    auto value = domain ? domain->object(kNoBouncingKey) : std::nullopt;
    auto noBouncing = value ? boolValue(*value) : std::nullopt;
    if (!noBouncing) return std::nullopt;
    return !*noBouncing;
}

std::optional<InitialDockSettings> DockController::captureInitialSettings(bool afterUnreadableFile) {
    if (!fileURL_) return std::nullopt;
    InitialDockSettings saved;
    // Without a file, a Dock that looks hidden was hidden by the user: those are their values. Only
    // beside a file we could not read may the look be our own hiding, whose values no one wants back.
    if (!afterUnreadableFile || !dockLooksHidden()) {
        saved.autoHideEnabled = platform_.dock.getAutoHideEnabled();
        if (PreferencesDomain* domain = dockDomain()) {
            saved.autoHideDelay = domain->object(kDelayKey);
            saved.noBouncing = domain->object(kNoBouncingKey);
        }
    } else {
        saved = recoveryDockSettings();
    }
    if (!platform_.fileSystem.writeAtomically(*fileURL_, encodeInitialDockSettings(saved)))
        return std::nullopt;
    return saved;
}

InitialDockSettings DockController::saveUnsavedPreferences(PreferencesDomain& domain,
                                                           const InitialDockSettings& saved) {
    InitialDockSettings completed = saved;
    // A value never saved is the user's, whatever it is; only an earlier version's hiding wrote
    // over unsaved ones, and what it wrote stays unsaved, so that restoring gives the default.
    const bool ours = saved.hidingWroteUnsaved();
    if (!completed.autoHideDelay && !(ours && isHiddenDelay(currentAutoHideDelay())))
        completed.autoHideDelay = domain.object(kDelayKey);
    if (!completed.noBouncing && !(ours && currentBounceEnabled() == false))
        completed.noBouncing = domain.object(kNoBouncingKey);
    if (completed == saved) return completed;
    return platform_.fileSystem.writeAtomically(*fileURL_, encodeInitialDockSettings(completed)) ? completed
                                                                                                 : saved;
}

void DockController::applyHideSettings(const InitialDockSettings& savedBefore) {
    platform_.dock.setAutoHideEnabled(true);
    if (PreferencesDomain* domain = dockDomain()) {
        // A value is overwritten only once it is saved, so that restoring can give it back.
        const InitialDockSettings saved = saveUnsavedPreferences(*domain, savedBefore);
        if (saved.autoHideDelay) domain->set(Value::number(kHiddenDelay), kDelayKey);
        domain->synchronize();
        if (saved.noBouncing) domain->set(Value::number(NumberObject::ofBool(true)), kNoBouncingKey);
        domain->synchronize();
    }
    restartDock();
}

void DockController::restorePreference(PreferencesDomain& domain, const char* key,
                                       const InitialDockSettings& file, const SavedDockPreference& saved,
                                       bool holdsHiddenValue, const Value& fallback) {
    // Once the Dock was shown again, a key that no longer holds what hiding wrote has the user's
    // newer choice.
    if (file.dockShown && !holdsHiddenValue) return;
    if (!saved) {
        // Never saved, so never written over, except by an earlier version's hiding.
        if (file.hidingWroteUnsaved() && holdsHiddenValue) domain.set(fallback, key);
    } else if (*saved) {
        domain.set(**saved, key);
    } else {
        domain.removeObject(key);
    }
}

bool DockController::writeBack(const InitialDockSettings& saved) {
    // The auto-hide went back when the Dock was shown; since then it is the user's.
    if (!saved.dockShown) platform_.dock.setAutoHideEnabled(saved.autoHideEnabled);
    PreferencesDomain* domain = dockDomain();
    if (!domain) return !saved.autoHideDelay && !saved.noBouncing && !saved.hidingWroteUnsaved();
    restorePreference(*domain, kDelayKey, saved, saved.autoHideDelay, isHiddenDelay(currentAutoHideDelay()),
                      Value::number(kRestoredDelay));
    bool written = domain->synchronize();
    restorePreference(*domain, kNoBouncingKey, saved, saved.noBouncing, currentBounceEnabled() == false,
                      Value::number(NumberObject::ofBool(false)));
    return domain->synchronize() && written;
}

void DockController::restore(bool synchronous) {
    if (!hasFile()) return;
    FileSystem& files = platform_.fileSystem;
    auto saved = savedSettings();
    const bool unreadable = !saved;
    if (unreadable) {
        // Left alone, a file we cannot read would keep a Dock we hid hidden for good: when the Dock
        // shows our hiding, the bytes go aside and the Dock gets the recovery state. Any other Dock,
        // and the file, stay as they are.
        if (!dockLooksHidden() || !moveUnreadableFileAside()) return;
        saved = recoveryDockSettings();
    }
    if (writeBack(*saved)) {
        if (!unreadable) (void)files.removeItem(*fileURL_);
    } else if (unreadable || !saved->dockShown) {
        // The file stays until every value is back, so the next restore finishes the work; it no
        // longer stands for our hiding.
        saved->dockShown = true;
        (void)files.writeAtomically(*fileURL_, encodeInitialDockSettings(*saved));
    }
    if (synchronous) {
        restartDockProcess();
    } else {
        restartDock();
    }
}

void DockController::restartDock() {
    // The work holds the controller until the command has ended.
    restartQueue_->async([self = shared_from_this()] { self->restartDockProcess(); });
}

void DockController::restartDockProcess() {
    // A command that cannot start, fails or hangs is let go: the Dock keeps what it shows.
    (void)platform_.processes.run(kKillallPath, {"Dock"}, kRestartTimeout);
}

}  // namespace qv
