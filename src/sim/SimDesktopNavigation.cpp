// The system's shortcuts for switching desktops, and windows carried by their title bar: what the
// simulated window server does with the keys and drags that reach it.
#include <algorithm>

#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimWindowServer.h"

namespace qv {

namespace {

constexpr int32_t kCGErrorFailure = 1000;
// The modifiers a shortcut is told apart by; the device-dependent and fn bits do not count.
constexpr CGEventFlags kChordFlags =
    eventflags::kShift | eventflags::kControl | eventflags::kAlternate | eventflags::kCommand;

}  // namespace

void SimDesktop::installDesktopHotKeys() {
    // Key codes of the digits 1 to 9 and 0 on a US keyboard.
    constexpr uint16_t kDigits[] = {18, 19, 20, 21, 23, 22, 26, 28, 25, 29};
    for (int32_t id = kFirstDesktopHotKey; id <= kLastDesktopHotKey; ++id) {
        const int n = id - kFirstDesktopHotKey;  // desktop n + 1
        SimSymbolicHotKey key;
        key.keyCode = kDigits[n % 10];
        key.modifiers = static_cast<uint32_t>(n < 10 ? eventflags::kControl
                                                     : eventflags::kControl | eventflags::kAlternate);
        key.enabled = false;
        symbolicHotKeys[id] = key;
    }
}

void SimDesktop::setDesktopHotKeysEnabled(bool enabled) {
    std::lock_guard lock(world_);
    for (int32_t id = kFirstDesktopHotKey; id <= kLastDesktopHotKey; ++id) {
        if (auto it = symbolicHotKeys.find(id); it != symbolicHotKeys.end()) it->second.enabled = enabled;
    }
}

std::optional<uint64_t> SimDesktop::numberedDesktop(int n) const {
    std::lock_guard lock(world_);
    int count = 0;
    for (const SimDisplay& d : displays_) {
        for (uint64_t id : d.spaces) {
            const SimSpace* s = space(id);
            if (s && s->type != kSimSpaceTypeFullScreen && ++count == n) return id;
        }
    }
    return std::nullopt;
}

void SimDesktop::switchToSpace(uint64_t spaceID) {
    std::unique_lock lock(world_);
    const SimSpace* s = space(spaceID);
    const SimDisplay* d = s ? display(s->displayID) : nullptr;
    if (!d) return;
    const uint32_t displayID = d->id;
    auto pending = switches_.find(displayID);
    if (pending == switches_.end() && d->activeSpace == spaceID) return;
    // A switch that takes another's place is announced even when it comes back to the desktop shown.
    const bool tookOver = pending != switches_.end();
    if (tookOver) pending->second.work->cancel();
    if (desktopSwitchDuration <= 0) {
        switches_.erase(displayID);
        lock.unlock();
        landSwitch(displayID, spaceID, tookOver);
        return;
    }
    switches_[displayID] = DesktopSwitch{
        spaceID, serverQueue()->asyncAfter(desktopSwitchDuration, [this, displayID, spaceID, tookOver] {
            {
                std::lock_guard worldLock(world_);
                switches_.erase(displayID);
            }
            landSwitch(displayID, spaceID, tookOver);
        })};
}

void SimDesktop::finishDesktopSwitches() {
    std::map<uint32_t, DesktopSwitch> pending;
    {
        std::lock_guard lock(world_);
        pending.swap(switches_);
    }
    for (auto& [displayID, s] : pending) {
        s.work->cancel();
        landSwitch(displayID, s.target);
    }
}

void SimDesktop::landSwitch(uint32_t displayID, uint64_t spaceID, bool announceUnchanged) {
    {
        std::lock_guard lock(world_);
        auto d = std::find_if(displays_.begin(), displays_.end(),
                              [&](const SimDisplay& x) { return x.id == displayID; });
        // The desktop or its display may have gone meanwhile.
        if (d == displays_.end() || (d->activeSpace == spaceID && !announceUnchanged) ||
            std::find(d->spaces.begin(), d->spaces.end(), spaceID) == d->spaces.end())
            return;
        if (d->activeSpace != spaceID) {
            d->activeSpace = spaceID;
            carryHeldWindow(displayID, spaceID);
        }
    }
    postWorkspace(notifications::kWorkspaceActiveSpaceDidChange, 0);
}

bool SimDesktop::takeSymbolicHotKey(const CGEvent& keyDown) {
    std::optional<int32_t> matched;
    {
        std::lock_guard lock(world_);
        for (int32_t id = kFirstDesktopHotKey; id <= kLastDesktopHotKey && !matched; ++id) {
            auto it = symbolicHotKeys.find(id);
            if (it == symbolicHotKeys.end() || !it->second.enabled) continue;
            if (it->second.keyCode == keyDown.keyCode &&
                (it->second.modifiers & kChordFlags) == (keyDown.flags & kChordFlags))
                matched = id;
        }
    }
    if (!matched) return false;
    // A shortcut of a desktop that does not exist is still the system's: it is used up.
    if (auto target = numberedDesktop(*matched - kFirstDesktopHotKey + 1)) switchToSpace(*target);
    return true;
}

bool SimDesktop::grabWindow(uint32_t windowID, Point pointer) {
    std::lock_guard lock(world_);
    const SimWindow* w = window(windowID);
    if (!w || w->ownerPID == ownPID_ || w->layer != 0 || !w->frame.contains(pointer)) return false;
    const Rect& f = w->frame;
    WindowGrab grab;
    grab.windowID = windowID;
    grab.offset = {pointer.x - f.minX(), pointer.y - f.minY()};
    grab.left = pointer.x - f.minX() < kResizeEdgeGrip;
    grab.right = f.maxX() - pointer.x <= kResizeEdgeGrip;
    grab.top = pointer.y - f.minY() < kResizeEdgeGrip;
    grab.bottom = f.maxY() - pointer.y <= kResizeEdgeGrip;
    grab.startFrame = f;
    grab.start = pointer;
    if (!grab.resizes() && pointer.y - f.minY() >= kTitleBarHeight) return false;
    grab_ = grab;
    return true;
}

bool SimDesktop::dragHeldWindow(Point pointer) {
    std::lock_guard lock(world_);
    if (!grab_) return false;
    SimWindow* w = window(grab_->windowID);
    if (!w) {
        grab_.reset();
        return false;
    }
    if (grab_->resizes()) {
        resizeHeldWindow(*w, *grab_, pointer);
        return true;
    }
    auto under = std::find_if(displays_.begin(), displays_.end(),
                              [&](const SimDisplay& d) { return d.frame.contains(pointer); });
    const double scale = w->frame.width() / grab_->startFrame.width();
    Point origin{pointer.x - grab_->offset.x * scale, pointer.y - grab_->offset.y};
    // No window goes under the menu bar: its title bar stays reachable.
    if (under != displays_.end()) origin.y = std::max(origin.y, visibleFrame(*under).minY());
    setWindowFrame(w->id, Rect{origin, w->frame.size});
    if (under == displays_.end() || !under->activeSpace) return true;
    const bool onThatDisplay = std::any_of(w->spaces.begin(), w->spaces.end(), [&](uint64_t s) {
        return std::find(under->spaces.begin(), under->spaces.end(), s) != under->spaces.end();
    });
    if (!onThatDisplay) {
        windowsChanged();  // the window was looked up before the move
        w->spaces = {under->activeSpace};
    }
    return true;
}

void SimDesktop::resizeHeldWindow(SimWindow& w, const WindowGrab& grab, Point pointer) {
    const Rect& f = grab.startFrame;
    const double dx = pointer.x - grab.start.x, dy = pointer.y - grab.start.y;
    double minX = f.minX(), maxX = f.maxX(), minY = f.minY(), maxY = f.maxY();
    if (grab.left) minX += dx;
    if (grab.right) maxX += dx;
    if (grab.top) minY += dy;
    if (grab.bottom) maxY += dy;
    // The application keeps the window within its limits; the edge opposite the dragged one stays.
    const Size size =
        accessibility_->constrainedSize(w.ownerPID, {std::max(1.0, maxX - minX), std::max(1.0, maxY - minY)});
    const double x = grab.left ? f.maxX() - size.width : f.minX();
    const double y = grab.top ? f.maxY() - size.height : f.minY();
    setWindowFrame(w.id, Rect{x, y, size.width, size.height});
}

std::optional<uint32_t> SimDesktop::heldWindow() const {
    std::lock_guard lock(world_);
    return grab_ ? std::optional<uint32_t>(grab_->windowID) : std::nullopt;
}

void SimDesktop::carryHeldWindow(uint32_t displayID, uint64_t toSpace) {
    if (!grab_) return;
    SimWindow* w = window(grab_->windowID);
    const SimDisplay* d = display(displayID);
    if (!w || !d) return;
    const bool onThatDisplay = std::any_of(w->spaces.begin(), w->spaces.end(), [&](uint64_t s) {
        return std::find(d->spaces.begin(), d->spaces.end(), s) != d->spaces.end();
    });
    if (onThatDisplay) w->spaces = {toSpace};
}

// --- The window server's side ---

int32_t SimWindowServer::getSymbolicHotKeyValue(int32_t hotKey, uint16_t* keyEquivalent, uint16_t* keyCode,
                                                uint32_t* modifiers) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGSGetSymbolicHotKeyValue", Value::number(hotKey));
    auto it = sim_.symbolicHotKeys.find(hotKey);
    if (it == sim_.symbolicHotKeys.end()) return kCGErrorFailure;
    if (keyEquivalent) *keyEquivalent = 0xFFFF;  // no character of its own
    if (keyCode) *keyCode = it->second.keyCode;
    if (modifiers) *modifiers = it->second.modifiers;
    return 0;
}

bool SimWindowServer::isSymbolicHotKeyEnabled(int32_t hotKey) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGSIsSymbolicHotKeyEnabled", Value::number(hotKey));
    auto it = sim_.symbolicHotKeys.find(hotKey);
    return it != sim_.symbolicHotKeys.end() && it->second.enabled;
}

int32_t SimWindowServer::setSymbolicHotKeyEnabled(int32_t hotKey, bool enabled) {
    std::lock_guard lock(sim_.worldMutex());
    sim_.record("CGSSetSymbolicHotKeyEnabled",
                Value::array({Value::number(hotKey), Value::boolean(enabled)}));
    auto it = sim_.symbolicHotKeys.find(hotKey);
    if (it == sim_.symbolicHotKeys.end() || (enabled && it->second.refuseEnabling)) return kCGErrorFailure;
    it->second.enabled = enabled;
    return 0;
}

}  // namespace qv
