#include "sim/SimDesktop.h"

#include <algorithm>
#include <cstdio>

#include "dispatch/ManualRuntime.h"
#include "dispatch/RealRuntime.h"
#include "sim/SimAccessibility.h"
#include "sim/SimAppKit.h"
#include "sim/SimApplications.h"
#include "sim/SimCarbon.h"
#include "sim/SimDock.h"
#include "sim/SimEventTaps.h"
#include "sim/SimFileEventStreams.h"
#include "sim/SimFileSystem.h"
#include "sim/SimLaunchServices.h"
#include "sim/SimLoginItems.h"
#include "sim/SimPreferences.h"
#include "sim/SimProcesses.h"
#include "sim/SimScreenCapture.h"
#include "sim/SimServices.h"
#include "sim/SimUpdater.h"
#include "sim/SimWindowServer.h"
#include "sim/SimWindowing.h"

namespace qv {

namespace {

std::string makeUUID(uint64_t seed, uint32_t kind) {
    uint64_t h = seed * 0x9E3779B97F4A7C15ull + kind * 0xC2B2AE3D27D4EB4Full;
    h ^= h >> 29;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-4%03X-8%03X-%012llX", static_cast<unsigned>(h >> 32),
                  static_cast<unsigned>((h >> 16) & 0xFFFF), static_cast<unsigned>(kind & 0xFFF),
                  static_cast<unsigned>(seed & 0xFFF), static_cast<unsigned long long>(seed * 7919 + kind));
    return buf;
}

}  // namespace

SimDesktop::SimDesktop(Runtime& runtime, std::string homeDirectory)
    : runtime_(runtime),
      windowServer_(std::make_unique<SimWindowServer>(*this)),
      displaysService_(std::make_unique<SimDisplays>(*this)),
      workspace_(std::make_unique<SimWorkspace>(*this)),
      system_(std::make_unique<SimSystemInfo>(*this)),
      fileSystem_(std::make_unique<SimFileSystem>(*this, std::move(homeDirectory))),
      loginItems_(std::make_unique<SimLoginItems>(*this)),
      processes_(std::make_unique<SimProcesses>(*this)),
      launchServices_(std::make_unique<SimLaunchServices>(*this)),
      windowing_(std::make_unique<SimWindowing>(*this)) {
    accessibility_ = std::make_unique<SimAccessibility>(*this);
    eventTaps_ = std::make_unique<SimEventTaps>(*this);
    carbon_ = std::make_unique<SimCarbon>(*this);
    applications_ = std::make_unique<SimApplications>(*this);
    dock_ = std::make_unique<SimDock>(*this);
    appKit_ = std::make_unique<SimAppKit>(*this);
    screenCapture_ = std::make_unique<SimScreenCapture>(*this);
    updater_ = std::make_unique<SimUpdater>(*this);
    preferences_ = std::make_unique<SimPreferences>(*this);
    fileEventStreams_ = std::make_unique<SimFileEventStreams>(*this);
    appWorkers_ = std::make_unique<AppWorkers>(runtime_);
    platform_ = std::make_unique<Platform>(Platform{
        .runtime = runtime_,
        .appWorkers = *appWorkers_,
        .windowServer = *windowServer_,
        .displays = *displaysService_,
        .workspace = *workspace_,
        .system = *system_,
        .notifications = notifications_,
        .fileSystem = *fileSystem_,
        .loginItems = *loginItems_,
        .processes = *processes_,
        .launchServices = *launchServices_,
        .windowing = *windowing_,
        .accessibility = *accessibility_,
        .dock = *dock_,
        .eventTaps = *eventTaps_,
        .events = *eventTaps_,
        .carbon = *carbon_,
        .application = *appKit_,
        .screenCapture = *screenCapture_,
        .updater = *updater_,
        .preferences = *preferences_,
        .fileEventStreams = *fileEventStreams_,
    });
    // Our own process: an accessory application without windows of its own yet.
    SimApp self;
    self.pid = nextPID_++;
    self.bundleID = "com.quillvorn.QuillVorn";
    self.name = "QuillVorn";
    self.policy = ActivationPolicy::accessory;
    ownPID_ = self.pid;
    apps_[self.pid] = self;
    installDesktopHotKeys();
}

SimDesktop::~SimDesktop() {
    // The applications' workers end while the services their requests use exist: what waits on an
    // application's answer ends at once (parked blocks under the virtual clock, timed waits under
    // the real one), so a hung application cannot hold the teardown; requests not started are
    // dropped. Under the real clock, queues released before us (a worker of an application that
    // ended, a scan) finish what is due too.
    if (auto* manual = dynamic_cast<ManualRuntime*>(&runtime_)) manual->releaseParkedWork();
    appWorkers_->close();
    if (auto* real = dynamic_cast<RealRuntime*>(&runtime_)) {
        real->releasingWaits([this, real] {
            appWorkers_->waitForRequestsUnderWay();
            real->finishReleasedQueues();
        });
    } else {
        appWorkers_->waitForRequestsUnderWay();
    }
    for (auto& [display, pending] : switches_) pending.work->cancel();
    for (const WorkItemPtr& work : relocations_) work->cancel();
}

uint32_t SimDesktop::addDisplay(std::string name, Rect frame, uint32_t id, std::string uuid) {
    SimDisplay d;
    d.id = id ? id : nextDisplayID_;
    nextDisplayID_ = std::max(nextDisplayID_, d.id) + 1;
    d.uuid = uuid.empty() ? makeUUID(d.id, 0xD15) : std::move(uuid);
    d.name = std::move(name);
    d.frame = frame;
    d.screenInstance = 0x5C0000 + d.id;
    giveWallpaper(d);
    displays_.push_back(d);
    postScreenParametersChanged();
    return d.id;
}

uint64_t SimDesktop::addSpace(uint32_t displayID, int64_t type) {
    auto it = std::find_if(displays_.begin(), displays_.end(),
                           [&](const SimDisplay& d) { return d.id == displayID; });
    if (it == displays_.end()) return 0;
    SimSpace s;
    s.id = nextSpaceID_++;
    s.type = type;
    s.uuid = type == kSimSpaceTypeFullScreen ? makeUUID(s.id, 0xF5) : makeUUID(s.id, 0x5A);
    s.displayID = displayID;
    spaces_[s.id] = s;
    it->spaces.push_back(s.id);
    if (it->activeSpace == 0) it->activeSpace = s.id;
    return s.id;
}

void SimDesktop::removeSpace(uint64_t spaceID) {
    bool switched = false;
    {
        std::lock_guard lock(world_);
        auto sit = spaces_.find(spaceID);
        if (sit == spaces_.end()) return;
        // As Mission Control does: the desktop's windows go to its neighbour on the display (the one
        // before it, else the one after), which the display shows when the removed one was active.
        uint64_t neighbour = 0;
        for (SimDisplay& d : displays_) {
            auto at = std::find(d.spaces.begin(), d.spaces.end(), spaceID);
            if (at == d.spaces.end()) continue;
            neighbour = removalNeighbour(d.spaces, at);
            d.spaces.erase(at);
            if (d.activeSpace == spaceID) {
                d.activeSpace = neighbour ? neighbour : (d.spaces.empty() ? 0 : d.spaces.front());
                switched = d.activeSpace != 0;
            }
        }
        windowsChanged();
        for (auto& [id, w] : windows_) {
            if (!w.spaces.erase(spaceID)) continue;
            if (neighbour && w.spaces.empty()) w.spaces.insert(neighbour);
        }
        edgeReservations.erase(spaceID);  // a desktop takes its reservation with it
        spaces_.erase(sit);
    }
    if (switched) postWorkspace(notifications::kWorkspaceActiveSpaceDidChange, 0);
}

uint64_t SimDesktop::removalNeighbour(const std::vector<uint64_t>& spaces,
                                      std::vector<uint64_t>::const_iterator removed) const {
    auto regular = [&](uint64_t id) {
        const SimSpace* s = space(id);
        return s && s->type != kSimSpaceTypeFullScreen;
    };
    for (auto it = removed; it != spaces.begin();) {
        if (regular(*--it)) return *it;
    }
    for (auto it = std::next(removed); it != spaces.end(); ++it) {
        if (regular(*it)) return *it;
    }
    return 0;
}

void SimDesktop::renumberSpaces() {
    std::lock_guard lock(world_);
    std::map<uint64_t, uint64_t> renamed;
    std::map<uint64_t, SimSpace> spaces;
    for (auto& [id, space] : spaces_) {
        space.id = nextSpaceID_++;
        renamed[id] = space.id;
        spaces[space.id] = space;
    }
    spaces_ = std::move(spaces);
    for (SimDisplay& d : displays_) {
        for (uint64_t& s : d.spaces) s = renamed[s];
        if (d.activeSpace) d.activeSpace = renamed[d.activeSpace];
    }
    windowsChanged();
    for (auto& [id, w] : windows_) {
        std::set<uint64_t> moved;
        for (uint64_t s : w.spaces) {
            if (auto it = renamed.find(s); it != renamed.end()) moved.insert(it->second);
        }
        w.spaces = std::move(moved);
    }
    edgeReservations.clear();
}

int32_t SimDesktop::launchApp(SimAppSpec spec) {
    std::unique_lock lock(world_);
    SimApp a;
    a.pid = spec.pid ? spec.pid : nextPID_;
    nextPID_ = std::max(nextPID_, a.pid) + 1;
    a.bundleID = std::move(spec.bundleID);
    a.name = std::move(spec.name);
    a.bundlePath = std::move(spec.bundlePath);
    if (!a.bundlePath) a.bundlePath = "/Applications/" + a.name + ".app";
    a.policy = spec.policy;
    apps_[a.pid] = a;
    lock.unlock();
    postWorkspace(notifications::kWorkspaceDidLaunchApplication, a.pid);
    return a.pid;
}

void SimDesktop::terminateApp(int32_t pid) {
    endApp(pid, true);
}

void SimDesktop::crashApp(int32_t pid) {
    endApp(pid, false);
}

void SimDesktop::endApp(int32_t pid, bool announced) {
    std::unique_lock lock(world_);
    SimApp* a = app(pid);
    if (!a || a->terminated) return;
    a->terminated = true;
    a->listed = false;
    std::vector<uint32_t> closed;
    for (const auto& [id, w] : windows_) {
        if (w.ownerPID == pid) closed.push_back(id);
    }
    windowsChanged();
    std::erase_if(windows_, [&](const auto& kv) { return kv.second.ownerPID == pid; });
    if (frontmost_ == pid) frontmost_.reset();
    accessibility_->appTerminated(pid, announced ? closed : std::vector<uint32_t>{});
    lock.unlock();
    postWorkspace(notifications::kWorkspaceDidTerminateApplication, pid);
}

void SimDesktop::activateApp(int32_t pid) {
    std::unique_lock lock(world_);
    SimApp* a = app(pid);
    if (!a || a->terminated || frontmost_ == pid) return;
    std::optional<int32_t> previous = frontmost_;
    frontmost_ = pid;
    a->hidden = false;
    accessibility_->appActivated(pid, previous);
    lock.unlock();
    // One application is active at a time: ours stops being it, whoever brought the other forward.
    // Asked from another thread, our application learns it on its main thread, as AppKit tells it.
    if (pid != ownPID_) {
        if (runtime_.mainQueue()->isCurrent()) {
            windowing_->deactivate();
        } else {
            runtime_.mainQueue()->async([this] {
                std::unique_lock world(world_);
                const bool stillBehind = frontmost_ != ownPID_;
                world.unlock();
                if (stillBehind) windowing_->deactivate();
            });
        }
    }
    postWorkspace(notifications::kWorkspaceDidActivateApplication, pid);
}

uint32_t SimDesktop::openWindow(SimWindowSpec spec) {
    std::lock_guard lock(world_);
    SimWindow w;
    w.id = spec.id ? spec.id : nextWindowID_;
    nextWindowID_ = std::max(nextWindowID_, w.id) + 1;
    w.ownerPID = spec.pid;
    w.title = std::move(spec.title);
    w.frame = spec.frame;
    w.layer = spec.layer;
    w.alpha = spec.alpha;
    w.minimized = spec.minimized;
    w.parent = spec.parent;
    w.role = std::move(spec.role);
    w.subrole = std::move(spec.subrole);
    w.modal = spec.modal;
    w.inAXWindowList = spec.inAXWindowList;
    if (spec.space) {
        if (*spec.space != 0) w.spaces.insert(*spec.space);
    } else if (const SimDisplay* d = displayContaining(w.frame); d && d->activeSpace) {
        w.spaces.insert(d->activeSpace);
    }
    w.z = nextZ_++;
    windowsChanged();
    windows_[w.id] = w;
    accessibility_->windowOpened(windows_[w.id]);
    return w.id;
}

uint32_t SimDesktop::openWindow(int32_t pid, std::string title, uint64_t space, Rect frame,
                                const std::function<void(SimWindowSpec&)>& tweak) {
    SimWindowSpec spec;
    spec.pid = pid;
    spec.title = std::move(title);
    spec.space = space;
    spec.frame = frame;
    if (tweak) tweak(spec);
    return openWindow(std::move(spec));
}

void SimDesktop::closeWindow(uint32_t windowID) {
    std::lock_guard lock(world_);
    windowsChanged();
    auto it = windows_.find(windowID);
    if (it == windows_.end()) return;
    int32_t pid = it->second.ownerPID;
    windows_.erase(it);
    accessibility_->windowClosed(windowID, pid);
}

void SimDesktop::setWindowFrame(uint32_t windowID, Rect frame) {
    std::lock_guard lock(world_);
    if (SimWindow* w = window(windowID)) {
        Rect previous = w->frame;
        w->frame = frame;
        accessibility_->windowFrameChanged(*w, previous);
    }
}

void SimDesktop::setWindowTitle(uint32_t windowID, std::string title) {
    std::lock_guard lock(world_);
    if (SimWindow* w = window(windowID); w && w->title != title) {
        w->title = std::move(title);
        accessibility_->windowTitleChanged(*w);
    }
}

void SimDesktop::setWindowMinimized(uint32_t windowID, bool minimized) {
    std::lock_guard lock(world_);
    if (SimWindow* w = window(windowID); w && w->minimized != minimized) {
        w->minimized = minimized;
        accessibility_->windowMinimizedChanged(*w);
    }
}

void SimDesktop::raiseWindow(uint32_t windowID) {
    std::lock_guard lock(world_);
    if (SimWindow* w = window(windowID)) {
        w->z = nextZ_++;
        accessibility_->windowRaised(*w);
    }
}

void SimDesktop::setWindowSpaces(uint32_t windowID, std::set<uint64_t> spaces) {
    std::lock_guard lock(world_);
    if (SimWindow* w = window(windowID)) w->spaces = std::move(spaces);
}

void SimDesktop::focusWindow(uint32_t windowID) {
    int32_t owner = 0;
    {
        std::lock_guard lock(world_);
        const SimWindow* w = window(windowID);
        if (!w) return;
        owner = w->ownerPID;
        raiseWindow(windowID);
    }
    activateApp(owner);
}

void SimDesktop::silently(const std::function<void()>& change) {
    std::lock_guard lock(world_);
    const bool announcing = std::exchange(accessibility_->announcing, false);
    change();
    accessibility_->announcing = announcing;
}

void SimDesktop::moveWindowToSpace(uint32_t windowID, uint64_t spaceID) {
    std::lock_guard lock(world_);
    SimWindow* w = window(windowID);
    const SimDisplay* to = displayOfSpace(spaceID);
    if (!w || !to) return;
    const SimDisplay* from = displayContaining(w->frame);
    w->spaces = {spaceID};
    if (from && from->id != to->id) {
        Rect frame =
            w->frame.offsetBy(to->frame.minX() - from->frame.minX(), to->frame.minY() - from->frame.minY());
        setWindowFrame(windowID, frame);
    }
}

void SimDesktop::setEnvironmentVariable(const std::string& name, std::optional<std::string> value) {
    if (value) {
        environment_[name] = *value;
    } else {
        environment_.erase(name);
    }
}

std::optional<std::string> SimDesktop::environmentVariable(const std::string& name) const {
    auto it = environment_.find(name);
    if (it == environment_.end()) return std::nullopt;
    return it->second;
}

const SimDisplay* SimDesktop::display(uint32_t id) const {
    for (const SimDisplay& d : displays_) {
        if (d.id == id) return &d;
    }
    return nullptr;
}

const SimDisplay* SimDesktop::primaryDisplay() const {
    for (const SimDisplay& d : displays_) {
        if (d.frame.origin == Point{0, 0}) return &d;
    }
    return displays_.empty() ? nullptr : &displays_.front();
}

const SimDisplay* SimDesktop::displayOfSpace(uint64_t spaceID) const {
    const SimSpace* s = space(spaceID);
    return s ? display(s->displayID) : nullptr;
}

const SimDisplay* SimDesktop::displayContaining(const Rect& frame) const {
    const SimDisplay* best = nullptr;
    double bestArea = 0;
    for (const SimDisplay& d : displays_) {
        double a = d.frame.intersection(frame).area();
        if (a > bestArea) {
            best = &d;
            bestArea = a;
        }
    }
    return best ? best : primaryDisplay();
}

const SimSpace* SimDesktop::space(uint64_t id) const {
    auto it = spaces_.find(id);
    return it == spaces_.end() ? nullptr : &it->second;
}

SimWindow* SimDesktop::window(uint32_t id) {
    windowsChanged();
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : &it->second;
}
const SimWindow* SimDesktop::window(uint32_t id) const {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : &it->second;
}
SimApp* SimDesktop::app(int32_t pid) {
    auto it = apps_.find(pid);
    return it == apps_.end() ? nullptr : &it->second;
}
const SimApp* SimDesktop::app(int32_t pid) const {
    auto it = apps_.find(pid);
    return it == apps_.end() ? nullptr : &it->second;
}

bool SimDesktop::isActiveSpace(uint64_t spaceID) const {
    for (const SimDisplay& d : displays_) {
        if (d.activeSpace == spaceID) return true;
    }
    return false;
}

bool SimDesktop::isOnScreen(const SimWindow& w) const {
    if (w.minimized || !w.orderedIn) return false;
    if (const SimApp* a = app(w.ownerPID); a && a->hidden) return false;
    for (uint64_t s : w.spaces) {
        if (isActiveSpace(s)) return true;
    }
    return false;
}

std::vector<const SimWindow*> SimDesktop::windowsInListOrder() const {
    // Whether a window is on screen is found once per window, not at every comparison.
    std::vector<std::pair<bool, const SimWindow*>> keyed;
    keyed.reserve(windows_.size());
    for (const auto& [id, w] : windows_) keyed.emplace_back(isOnScreen(w), &w);
    return inListOrder(std::move(keyed));
}

std::vector<const SimWindow*> SimDesktop::windowsOnSpaceInListOrder(uint64_t spaceID) const {
    std::lock_guard lock(world_);
    if (indexedVersion_ != windowsVersion_) {
        windowsBySpace_.clear();
        for (const auto& [id, w] : windows_) {
            for (uint64_t s : w.spaces) windowsBySpace_[s].push_back(&w);
        }
        indexedVersion_ = windowsVersion_;
    }
    std::vector<std::pair<bool, const SimWindow*>> keyed;
    if (auto it = windowsBySpace_.find(spaceID); it != windowsBySpace_.end()) {
        keyed.reserve(it->second.size());
        for (const SimWindow* w : it->second) keyed.emplace_back(isOnScreen(*w), w);
    }
    return inListOrder(std::move(keyed));
}

std::vector<const SimWindow*> SimDesktop::inListOrder(std::vector<std::pair<bool, const SimWindow*>> keyed) {
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) return a.first;
        if (a.second->layer != b.second->layer) return a.second->layer > b.second->layer;
        return a.second->z > b.second->z;
    });
    std::vector<const SimWindow*> out;
    out.reserve(keyed.size());
    for (const auto& [onScreen, w] : keyed) out.push_back(w);
    return out;
}

double SimDesktop::primaryHeight() const {
    const SimDisplay* p = primaryDisplay();
    return p ? p->frame.maxY() : 0;
}

std::vector<Screen> SimDesktop::screens() const {
    std::vector<Screen> out;
    if (!screensAvailable_) return out;
    const SimDisplay* primary = primaryDisplay();
    auto add = [&](const SimDisplay& d) {
        Screen s;
        s.instance = d.screenInstance;
        s.frame = flipVertically(d.frame, primaryHeight());
        s.visibleFrame = flipVertically(visibleFrame(d), primaryHeight());
        s.deviceDescription =
            d.reportsScreenNumber
                ? Value::dictionary({{"NSScreenNumber", Value::number(NumberObject::ofUnsigned(d.id))}})
                : Value::dictionary({});
        s.localizedName = d.name;
        s.backingScaleFactor = d.backingScaleFactor;
        out.push_back(std::move(s));
    };
    if (primary) add(*primary);
    for (const SimDisplay& d : displays_) {
        if (&d != primary) add(d);
    }
    return out;
}

bool SimDesktop::showsMenuBar(const SimDisplay& d) const {
    return separateSpaces_ || &d == primaryDisplay();
}

Rect SimDesktop::visibleFrame(const SimDisplay& d) const {
    Rect visible = d.frame;
    const double menuBar = showsMenuBar(d) ? kMenuBarHeight : 0;
    visible.origin.y += menuBar;
    visible.size.height -= menuBar;
    if (&d != primaryDisplay() || !dock_->isShowing()) return visible;
    // The Dock stands on the primary display, on the side its preferences name.
    const double thickness = SimDock::kThickness;
    switch (dock_->look().side) {
        case SimDockSide::bottom:
            visible.size.height -= thickness;
            break;
        case SimDockSide::left:
            visible.origin.x += thickness;
            visible.size.width -= thickness;
            break;
        case SimDockSide::right:
            visible.size.width -= thickness;
            break;
    }
    return visible;
}

void SimDesktop::record(std::string name, Value args) {
    if (!recordCalls) return;
    bool onMain = runtime_.mainQueue()->isCurrent();
    std::lock_guard lock(world_);
    if (recordCalls) callLog.push_back(SimCall{std::move(name), std::move(args), onMain});
}

std::vector<SimCall> SimDesktop::callsNamed(const std::string& name) const {
    std::lock_guard lock(world_);
    std::vector<SimCall> out;
    for (const SimCall& c : callLog) {
        if (c.name == name) out.push_back(c);
    }
    return out;
}

void SimDesktop::terminateOurApplication() {
    notifications_.post(notifications::kApplicationWillTerminate);
}

void SimDesktop::wake() {
    postWorkspace(notifications::kWorkspaceDidWake, 0);
}

void SimDesktop::postWorkspace(const char* name, int32_t pid) {
    Value info =
        pid ? Value::dictionary({{notifications::kWorkspaceApplicationKey, Value::number(pid)}}) : Value();
    workspaceNotifications_.post(name, info);
}

}  // namespace qv
