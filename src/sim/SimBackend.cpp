#include "platform/Backend.h"
#include "sim/SimAccessibility.h"
#include "sim/SimAppKit.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"
#include "sim/SimDock.h"
#include "sim/SimEventTaps.h"
#include "sim/SimFileSystem.h"
#include "sim/SimPreferences.h"
#include "sim/SimProcesses.h"
#include "sim/SimScreenCapture.h"
#include "sim/SimUpdater.h"
#include "sim/SimWindowing.h"
#include "sim/WorldDriver.h"

namespace qv {

namespace {

// One argument of a recorded call as a script writes it.
std::string argumentWord(const Value& v) {
    if (const std::string* text = v.asString()) return *text;
    if (auto flag = v.asBool()) return *flag ? "true" : "false";
    if (auto number = v.asNumberObject()) return number->stringValue();
    if (auto uuid = v.asUUIDString()) return *uuid;
    if (auto n = v.asInt64()) return std::to_string(*n);
    if (auto n = v.asUInt64()) return std::to_string(*n);
    if (auto n = v.asInt32()) return std::to_string(*n);
    if (auto n = v.asUInt32()) return std::to_string(*n);
    if (auto n = v.asDouble()) return NumberObject::ofDouble(*n).stringValue();
    if (auto n = v.asFloat()) return NumberObject::ofDouble(*n).stringValue();
    return v.debugDescription();
}

// The simulated world, driven as a scenario drives it.
class SimWorldDriver : public WorldDriver {
  public:
    explicit SimWorldDriver(SimDesktop& sim) : sim_(sim) {}

    std::vector<WorldDisplay> displays() override {
        std::lock_guard lock(sim_.worldMutex());
        std::vector<WorldDisplay> out;
        const SimDisplay* primary = sim_.primaryDisplay();
        for (const SimDisplay& d : sim_.displays()) {
            WorldDisplay w{d.id, d.name, d.frame, &d == primary, {}};
            for (uint64_t s : d.spaces) {
                const SimSpace* space = sim_.space(s);
                w.desktops.push_back(
                    {s, space && space->type == kSimSpaceTypeFullScreen, d.activeSpace == s});
            }
            out.push_back(std::move(w));
        }
        return out;
    }
    std::vector<WorldApplication> applications() override {
        std::lock_guard lock(sim_.worldMutex());
        std::vector<WorldApplication> out;
        for (const auto& [pid, a] : sim_.apps()) {
            if (pid == sim_.ownPID() || a.terminated) continue;
            out.push_back({pid, a.name, a.bundleID, a.policy, sim_.frontmostPID() == pid});
        }
        return out;
    }
    std::vector<WorldWindow> windows() override {
        std::lock_guard lock(sim_.worldMutex());
        std::vector<WorldWindow> out;
        for (const auto& [id, w] : sim_.windows()) {
            if (w.ownerPID == sim_.ownPID()) continue;
            out.push_back({id, w.ownerPID, w.title, w.frame, w.minimized, w.spaces, sim_.isOnScreen(w)});
        }
        return out;
    }
    int permissionPrompts(Permission permission) override {
        return permission == Permission::accessibility ? sim_.accessibility().trustPromptCount()
                                                       : sim_.screenCapture().promptCount();
    }
    std::vector<std::string> openedURLs() override { return sim_.applications().openedURLs; }
    std::vector<std::string> callNames() override {
        std::lock_guard lock(sim_.worldMutex());
        std::vector<std::string> names;
        for (const SimCall& call : sim_.callLog) names.push_back(call.name);
        return names;
    }
    void setDisplayUUIDReported(uint32_t displayID, bool reported) override {
        sim_.setDisplayUUIDReported(displayID, reported);
    }
    size_t callCount(const std::string& name) override { return sim_.callsNamed(name).size(); }
    std::vector<std::vector<std::string>> callArguments(const std::string& name) override {
        std::vector<std::vector<std::string>> out;
        for (const SimCall& call : sim_.callsNamed(name)) {
            std::vector<std::string>& words = out.emplace_back();
            if (const Value::Array* items = call.args.asArray()) {
                for (const Value& item : *items) words.push_back(argumentWord(item));
            } else if (!call.args.isNull()) {
                words.push_back(argumentWord(call.args));
            }
        }
        return out;
    }
    int32_t ourProcess() override { return sim_.ownPID(); }
    std::optional<int32_t> processNamed(const std::string& name) override {
        std::lock_guard lock(sim_.worldMutex());
        std::optional<int32_t> last;
        for (const auto& [pid, app] : sim_.apps()) {
            if (app.name == name && pid != sim_.ownPID()) last = pid;  // pids grow with each launch
        }
        return last;
    }

    void buildDemoDesktop() override { qv::buildDemoDesktop(sim_); }
    uint32_t addDisplay(const std::string& name, Rect frame) override { return sim_.addDisplay(name, frame); }
    uint32_t connectDisplay(const std::string& name, Rect frame, int desktops) override {
        return sim_.connectDisplay(name, frame, desktops);
    }
    void removeDisplay(uint32_t displayID) override { sim_.removeDisplay(displayID); }
    std::optional<uint32_t> reconnectDisplay(const std::string& name, std::optional<Rect> frame,
                                             int desktops) override {
        const uint32_t id = sim_.reconnectDisplay(name, frame, desktops);
        return id ? std::optional<uint32_t>(id) : std::nullopt;
    }
    void moveDisplay(uint32_t displayID, Rect frame) override { sim_.setDisplayFrame(displayID, frame); }
    void setScreensAvailable(bool available) override { sim_.setScreensAvailable(available); }
    void setScreenChangeNotices(int count) override { sim_.screenChangeNotices = count; }
    uint64_t addDesktop(uint32_t displayID, bool fullScreen) override {
        return sim_.addSpace(displayID, fullScreen ? kSimSpaceTypeFullScreen : kSimSpaceTypeOrdinary);
    }
    void removeDesktop(uint64_t desktopID) override { sim_.removeSpace(desktopID); }
    void setDesktopFullScreen(uint64_t desktopID, bool fullScreen) override {
        sim_.setSpaceType(desktopID, fullScreen ? kSimSpaceTypeFullScreen : kSimSpaceTypeOrdinary);
    }
    void switchToDesktop(uint64_t desktopID) override { sim_.switchToSpace(desktopID); }
    void setDesktopSwitchDuration(double seconds) override { sim_.desktopSwitchDuration = seconds; }
    void finishDesktopSwitches() override { sim_.finishDesktopSwitches(); }
    void wake() override { sim_.wake(); }

    int32_t launchApplication(const std::string& name, const std::optional<std::string>& bundleID,
                              ActivationPolicy policy) override {
        return sim_.launchApp(bundleID, name, policy);
    }
    void quitApplication(int32_t pid) override { sim_.terminateApp(pid); }
    void crashApplication(int32_t pid) override { sim_.crashApp(pid); }
    void activateApplication(int32_t pid) override { sim_.activateApp(pid); }
    void setApplicationUnresponsive(int32_t pid, bool unresponsive) override {
        sim_.accessibility().setUnresponsive(pid, unresponsive);
        if (!unresponsive) sim_.applications().answersAgain(pid);
    }
    void setApplicationLatency(int32_t pid, double seconds) override {
        sim_.accessibility().faults(pid).responseDelay = seconds;
    }
    void setApplicationReadyAfter(int32_t pid, double seconds) override {
        sim_.accessibility().faults(pid).readyAt = sim_.runtime().now() + seconds;
    }
    void silently(const std::function<void()>& change) override { sim_.silently(change); }
    void setBadge(int32_t pid, const std::optional<std::string>& label) override {
        std::lock_guard lock(sim_.worldMutex());
        if (SimApp* a = sim_.app(pid)) a->badgeLabel = label;
    }
    void setWantsAttention(int32_t pid, bool wants) override {
        std::lock_guard lock(sim_.worldMutex());
        if (SimApp* a = sim_.app(pid)) a->wantsAttention = wants;
    }
    uint32_t openWindow(int32_t pid, const std::string& title, Rect frame,
                        std::optional<uint64_t> desktopID) override {
        return openTweaked(pid, title, frame, desktopID, [](SimWindowSpec&) {});
    }
    void closeWindow(uint32_t windowID) override { sim_.closeWindow(windowID); }
    void setWindowFrame(uint32_t windowID, Rect frame) override { sim_.setWindowFrame(windowID, frame); }
    void setWindowMinimized(uint32_t windowID, bool minimized) override {
        sim_.setWindowMinimized(windowID, minimized);
    }
    void setWindowTitle(uint32_t windowID, const std::string& title) override {
        sim_.setWindowTitle(windowID, title);
    }
    void moveWindowToDesktop(uint32_t windowID, uint64_t desktopID) override {
        sim_.moveWindowToSpace(windowID, desktopID);
    }

    void installBundle(const std::string& path, const std::optional<std::string>& bundleID,
                       const std::string& name, const std::optional<std::string>& displayName) override {
        SimInstalledApp app;
        app.path = path;
        app.bundleID = bundleID.value_or("");
        app.name = name;
        app.displayName = displayName;
        sim_.applications().install(std::move(app));
    }
    void installBundleAfterListing(const std::string& path, const std::optional<std::string>& bundleID,
                                   const std::string& name, const std::optional<std::string>& displayName) override {
        const std::string absolute = sim_.applications().absolutePath(path);
        const std::string folder = absolute.substr(0, absolute.rfind('/'));
        std::lock_guard lock(sim_.worldMutex());
        sim_.fileSystem().afterNextListing.emplace(
            folder, [this, absolute, bundleID, name, displayName] { installBundle(absolute, bundleID, name, displayName); });
    }
    bool removeBundle(const std::string& path) override { return sim_.applications().removeBundle(path); }
    bool copyBundle(const std::string& from, const std::string& to) override {
        return sim_.applications().copyBundle(from, to);
    }

    void setPermission(Permission permission, bool granted) override {
        if (permission == Permission::accessibility) {
            sim_.accessibility().setProcessTrusted(granted);
        } else {
            sim_.setScreenRecordingGranted(granted);
        }
    }

    void mouseMove(Point p) override { sim_.mouseMove(p); }
    void mouseDown(Point p, bool right) override { sim_.windowing().mouseDown(p, 0, 1, right); }
    void mouseDragged(Point p) override { sim_.mouseDrag(p); }
    void mouseUp(Point p, bool right) override { sim_.windowing().mouseUp(p, right); }
    void scroll(Point p, double deltaX, double deltaY) override { sim_.scroll(p, deltaX, deltaY); }
    void keyDown(uint16_t keyCode, const std::string& characters, uint64_t modifierFlags) override {
        sim_.keyDown(keyCode, characters, modifierFlags);
    }
    void keyUp(uint16_t keyCode, uint64_t modifierFlags) override { sim_.keyUp(keyCode, modifierFlags); }
    bool keyRepeat(uint16_t keyCode, const std::string& characters, uint64_t modifierFlags) override {
        if (!sim_.eventTaps().eventSourceKeyState(EventSourceStateID::combinedSessionState, keyCode))
            return false;
        sim_.keyRepeat(keyCode, characters, modifierFlags);
        return true;
    }
    void flagsChanged(uint64_t heldModifierFlags) override { sim_.flagsChanged(heldModifierFlags); }
    bool pickMenuItem(const std::vector<std::string>& titles) override { return sim_.pickMenuItem(titles); }
    std::optional<std::vector<std::string>> openMenuItems(const std::vector<std::string>& path) override {
        const SimPresentedMenu* open = sim_.windowing().openMenu();
        if (!open) return std::nullopt;
        const Menu* menu = &open->menu;
        if (!path.empty()) {
            const MenuItem* item = menu->find(path);
            if (!item || !item->submenu) return std::nullopt;
            menu = item->submenu.get();
        }
        std::vector<std::string> out;
        for (const MenuItem& item : menu->items) {
            if (item.isSeparator) {
                out.push_back("-");
                continue;
            }
            out.push_back(item.shownTitle());
        }
        return out;
    }

    std::optional<WorldMenuMark> openMenuItemMark(const std::vector<std::string>& titles) override {
        const SimPresentedMenu* open = sim_.windowing().openMenu();
        const MenuItem* item = open ? open->menu.find(titles) : nullptr;
        if (!item) return std::nullopt;
        switch (item->state) {
            case MenuItemState::on:
                return WorldMenuMark::check;
            case MenuItemState::mixed:
                return WorldMenuMark::mixed;
            case MenuItemState::off:
                break;
        }
        return WorldMenuMark::none;
    }

    std::optional<WorldWindow> ourWindow(uint32_t windowNumber) override {
        std::lock_guard lock(sim_.worldMutex());
        const SimWindow* w = sim_.window(windowNumber);
        if (!w || w->ownerPID != sim_.ownPID()) return std::nullopt;
        return WorldWindow{w->id,        w->ownerPID, w->title,           w->frame,
                           w->minimized, w->spaces,   sim_.isOnScreen(*w)};
    }
    std::map<uint32_t, Rect> dockRects() override {
        std::lock_guard lock(sim_.worldMutex());
        return sim_.dockRects;
    }
    std::map<uint64_t, double> edgeReservations() override {
        std::lock_guard lock(sim_.worldMutex());
        return sim_.edgeReservations;
    }
    void setDockRectRefused(bool refused) override {
        std::lock_guard lock(sim_.worldMutex());
        sim_.overrides.dockRectError =
            refused ? std::optional<int32_t>(1000) : std::nullopt;  // kCGErrorFailure
    }
    void setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) override {
        sim_.setEnvironmentVariable(name, value);
    }
    void setReduceTransparency(bool on) override { sim_.windowing().setReduceTransparency(on); }
    void setDeclinesTermination(int32_t pid, bool declines) override {
        if (declines) {
            sim_.applications().declineTermination.insert(pid);
        } else {
            sim_.applications().declineTermination.erase(pid);
        }
    }
    void restartComputer() override {
        sim_.renumberSpaces();
        sim_.appKit().relaunch();
    }
    void setWallpaper(uint32_t displayID, uint32_t fromRGB, uint32_t toRGB) override {
        sim_.setWallpaper(displayID, SimWallpaper{fromRGB, toRGB});
    }
    WorldDock dock() override {
        std::lock_guard lock(sim_.worldMutex());
        return {sim_.dock().getAutoHideEnabled(), sim_.dock().isShowing(), sim_.dock().restartCount()};
    }
    void setDockAutoHide(bool on) override { sim_.dock().setUserAutoHide(on); }
    void setDockPosition(const std::string& side) override {
        if (auto named = SimDock::sideNamed(side)) sim_.dock().setUserSide(*named);
    }
    void setDockRestartFault(CommandFault fault) override {
        static constexpr SimToolFault kFaults[] = {SimToolFault::none, SimToolFault::hang,
                                                   SimToolFault::failToLaunch, SimToolFault::exitNonZero};
        sim_.processes().killallFault = kFaults[static_cast<int>(fault)];
    }
    void setUpdaterState(UpdaterState state) override {
        sim_.updater().startError =
            state == UpdaterState::failsToStart ? "The update feed is not configured" : "";
        sim_.updater().setCheckingBlocked(state == UpdaterState::cannotCheck);
    }
    std::optional<Value> preference(const std::string& domain, const std::string& key) override {
        return sim_.preferences().value(domain, key);
    }
    void setPreference(const std::string& domain, const std::string& key,
                       std::optional<Value> value) override {
        sim_.preferences().setValue(domain, key, std::move(value));
    }
    void setPreferencesDomainAvailable(const std::string& domain, bool available) override {
        if (available) {
            sim_.preferences().unavailableSuites.erase(domain);
        } else {
            sim_.preferences().unavailableSuites.insert(domain);
        }
    }
    std::string homeFolder() override { return sim_.fileSystem().homeDirectory(); }
    void folderEvent(const std::string& path, uint32_t events) override {
        sim_.fileSystem().raiseFolderEvents(path, events);
    }
    void deleteFolder(const std::string& path) override { sim_.fileSystem().deleteFolder(path); }
    void createFolder(const std::string& path) override { sim_.fileSystem().createFolder(path); }
    bool writeFile(const std::string& path, const std::string& text) override {
        return sim_.fileSystem().writeFile(path, text);
    }
    void setFolderWatchRefused(const std::string& path, bool refused) override {
        if (refused) {
            sim_.fileSystem().refuseOpenForEvents.insert(path);
        } else {
            sim_.fileSystem().refuseOpenForEvents.erase(path);
        }
    }
    void setCaptureFault(CaptureFault fault) override { sim_.screenCapture().setCaptureFault(fault); }
    void releaseHeldCaptures() override { sim_.screenCapture().releaseHeldCaptures(); }
    void setWindowCaptureFault(uint32_t windowID, CaptureFault fault) override {
        sim_.screenCapture().setWindowCaptureFault(windowID, fault);
    }
    void setCaptureListingFault(CaptureFault fault) override { sim_.screenCapture().setListingFault(fault); }
    void releaseHeldCapturesOf(uint32_t windowID) override {
        sim_.screenCapture().releaseHeldCaptures(windowID);
    }
    std::vector<WorldCapture> captures() override { return sim_.screenCapture().captures(); }

    std::optional<WorldHotKey> symbolicHotKey(int32_t id) override {
        std::lock_guard lock(sim_.worldMutex());
        auto it = sim_.symbolicHotKeys.find(id);
        if (it == sim_.symbolicHotKeys.end()) return std::nullopt;
        const SimSymbolicHotKey& k = it->second;
        return WorldHotKey{k.keyCode, k.modifiers, k.enabled, k.refuseEnabling};
    }
    void setSymbolicHotKey(int32_t id, const std::optional<WorldHotKey>& key) override {
        std::lock_guard lock(sim_.worldMutex());
        if (!key) {
            sim_.symbolicHotKeys.erase(id);
            return;
        }
        sim_.symbolicHotKeys[id] = SimSymbolicHotKey{key->keyCode, static_cast<uint32_t>(key->modifiers),
                                                     key->enabled, key->refuseEnabling};
    }
    void setDesktopShortcutsEnabled(bool enabled) override { sim_.setDesktopHotKeysEnabled(enabled); }
    void naturalScroll(Point p, double deltaX, double deltaY) override {
        sim_.scroll(p, deltaX, deltaY, MomentumPhase::none, true);
    }
    void momentumScroll(Point p, double deltaX, double deltaY) override {
        sim_.scroll(p, deltaX, deltaY, MomentumPhase::changed);
    }
    bool ourApplicationFrontmost() override { return sim_.frontmostPID() == sim_.ownPID(); }
    std::vector<WorldPostedEvent> postedEvents() override {
        std::vector<WorldPostedEvent> out;
        for (const SimCall& call : sim_.callsNamed("CGEventPost")) {
            // Recorded as the tap, type, key code, flags, x and y.
            const auto* args = call.args.asArray();
            if (!args || args->size() < 6) continue;
            auto number = [&](size_t i) {
                return (*args)[i].asNumberObject().value_or(NumberObject::ofSigned(0));
            };
            out.push_back({number(1).uint32Value(), static_cast<uint16_t>(number(2).uint32Value()),
                           number(3).uint64Value(), Point{number(4).doubleValue(), number(5).doubleValue()}});
        }
        return out;
    }
    std::vector<std::string> activationYields() override {
        std::lock_guard lock(sim_.worldMutex());
        std::vector<std::string> out;
        for (const SimApplications::Yield& y : sim_.applications().yields) {
            std::optional<std::string> name;
            for (const auto& [pid, app] : sim_.apps()) {
                if (app.terminated) continue;
                if ((y.bundleID && app.bundleID == y.bundleID) || (!y.bundleID && pid == y.pid))
                    name = app.name;
            }
            out.push_back(name ? *name : y.bundleID.value_or(std::to_string(y.pid)));
        }
        return out;
    }
    void setEntryPointAvailable(const std::string& name, bool available) override {
        std::lock_guard lock(sim_.worldMutex());
        if (available) {
            sim_.missingEntryPoints.erase(name);
        } else {
            sim_.missingEntryPoints.insert(name);
        }
    }

    // --- Window tiling ---
    void setOperatingSystemMajorVersion(int version) override {
        sim_.setOperatingSystemMajorVersion(version);
    }
    void setDisplaysHaveSeparateSpaces(bool separate) override {
        sim_.setDisplaysHaveSeparateSpaces(separate);
    }
    void setEventTapsRefused(bool refused) override { sim_.eventTaps().setCreationRefused(refused); }
    void setWindowDrift(int32_t pid, std::optional<double> seconds) override {
        std::lock_guard lock(sim_.worldMutex());
        sim_.accessibility().faults(pid).driftBackAfter = seconds;
    }
    void setWindowSizeLimits(int32_t pid, std::optional<Size> minimum, std::optional<Size> maximum) override {
        std::lock_guard lock(sim_.worldMutex());
        SimAXAppFaults& f = sim_.accessibility().faults(pid);
        f.minimumWindowSize = minimum;
        f.maximumWindowSize = maximum;
    }
    std::vector<uint32_t> windowOrder() override {
        std::lock_guard lock(sim_.worldMutex());
        std::vector<uint32_t> out;
        for (const SimWindow* w : sim_.windowsInListOrder()) {
            if (sim_.isOnScreen(*w)) out.push_back(w->id);
        }
        return out;
    }

    std::vector<std::string> eventTaps() override {
        std::vector<std::string> out;
        for (const SimEventTaps::TapInfo& tap : sim_.eventTaps().taps()) out.push_back(tap.runLoopLabel);
        return out;
    }
    void timeOutEventTaps() override {
        for (const SimEventTaps::TapInfo& tap : sim_.eventTaps().taps()) sim_.eventTaps().disableTap(tap.id);
    }
    void loseNextModifierChange() override { sim_.eventTaps().dropNextFlagsChange(); }
    std::vector<WorldPostedEvent> receivedKeys(int32_t pid) override {
        std::vector<WorldPostedEvent> out;
        for (const SimReceivedEvent& e : sim_.eventTaps().receivedEvents(pid)) {
            if (e.type == eventtype::kKeyDown || e.type == eventtype::kKeyUp)
                out.push_back({e.type, static_cast<uint16_t>(e.keyCode), e.flags, e.location});
        }
        return out;
    }
    uint32_t openDialog(int32_t pid, const std::string& title, Rect frame,
                        std::optional<uint64_t> desktopID) override {
        return openTweaked(pid, title, frame, desktopID, [](SimWindowSpec& s) { s.subrole = "AXDialog"; });
    }
    uint32_t openTransparentWindow(int32_t pid, const std::string& title, Rect frame,
                                   std::optional<uint64_t> desktopID) override {
        return openTweaked(pid, title, frame, desktopID, [](SimWindowSpec& s) {
            s.alpha = 0;
            s.subrole = "AXFloatingWindow";
        });
    }

  private:
    uint32_t openTweaked(int32_t pid, const std::string& title, Rect frame, std::optional<uint64_t> desktopID,
                         const std::function<void(SimWindowSpec&)>& tweak) {
        const SimApp* app = sim_.app(pid);
        if (!app || app->terminated) return 0;
        SimWindowSpec spec;
        spec.pid = pid;
        spec.title = title;
        spec.frame = frame;
        spec.space = desktopID;
        tweak(spec);
        return sim_.openWindow(spec);
    }

    SimDesktop& sim_;
};

class SimBackend : public Backend {
  public:
    explicit SimBackend(Runtime& runtime) : sim_(runtime), world_(sim_) {}
    Platform& platform() override { return sim_.platform(); }
    std::string screenshotSvg() override { return sim_.renderSvg(); }
    WorldDriver* world() override { return &world_; }

  private:
    SimDesktop sim_;
    SimWorldDriver world_;
};

}  // namespace

std::unique_ptr<Backend> makeBackend(Runtime& runtime) {
    return std::make_unique<SimBackend>(runtime);
}

}  // namespace qv
