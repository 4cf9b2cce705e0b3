// SimDesktop: displays that go, change their frame or sleep, and what the system tells of it.
#include <algorithm>

#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimWindowing.h"

namespace qv {

namespace {

// Where the window server puts a window of an unplugged display: at the same place relative to
// the display that takes it, kept on that display and below its menu bar as far as it fits.
Rect placedOn(const Rect& window, const Rect& from, const Rect& to, double menuBar) {
    double x = window.minX() - from.minX() + to.minX();
    double y = window.minY() - from.minY() + to.minY();
    x = std::clamp(x, to.minX(), std::max(to.minX(), to.maxX() - window.width()));
    y = std::clamp(y, to.minY() + menuBar, std::max(to.minY() + menuBar, to.maxY() - window.height()));
    return Rect{x, y, window.width(), window.height()};
}

}  // namespace

const std::shared_ptr<Queue>& SimDesktop::serverQueue() {
    if (!serverQueue_) serverQueue_ = runtime_.makeSerialQueue("sim.window-server");
    return serverQueue_;
}

void SimDesktop::removeDisplay(uint32_t displayID) {
    std::unique_lock lock(world_);
    auto it = std::find_if(displays_.begin(), displays_.end(),
                           [&](const SimDisplay& d) { return d.id == displayID; });
    if (it == displays_.end()) return;
    std::set<uint32_t> shownThere;  // the windows that lie on the display, ours included
    for (const auto& [id, w] : windows_) {
        if (const SimDisplay* d = displayContaining(w.frame); d && d->id == displayID) shownThere.insert(id);
    }
    const SimDisplay removed = *it;
    unplugged_.push_back(removed);
    displays_.erase(it);
    dockRects.erase(displayID);
    const SimDisplay* primary = primaryDisplay();
    SimDisplay* target = primary ? &displays_[static_cast<size_t>(primary - displays_.data())] : nullptr;
    if (!target) {
        // Nowhere to go: the desktops go, and their windows are on none.
        for (uint64_t s : removed.spaces) removeSpace(s);
        lock.unlock();
        postScreenParametersChanged();
        return;
    }
    // The desktop it showed joins the one the primary display shows; its other desktops move to
    // the primary display, after that display's own.
    const uint64_t merged = target->activeSpace ? removed.activeSpace : 0;
    for (uint64_t s : removed.spaces) {
        if (s == merged) continue;
        spaces_[s].displayID = target->id;
        target->spaces.push_back(s);
    }
    if (!target->activeSpace) target->activeSpace = removed.activeSpace;
    if (merged) {
        spaces_.erase(merged);
        edgeReservations.erase(merged);
        windowsChanged();
        for (auto& [id, w] : windows_) {
            if (w.spaces.erase(merged)) w.spaces.insert(target->activeSpace);
        }
    }
    relocations_.push_back(serverQueue()->asyncAfter(
        kWindowsFollowScreenChange, [this, shownThere, from = removed.frame] { relocateWindows(shownThere, from); }));
    lock.unlock();
    // The system tells of the change first; the windows follow.
    postScreenParametersChanged();
}

uint32_t SimDesktop::reconnectDisplay(const std::string& name, std::optional<Rect> frame, int desktops) {
    std::unique_lock lock(world_);
    auto it = std::find_if(unplugged_.rbegin(), unplugged_.rend(),
                           [&](const SimDisplay& d) { return d.name == name; });
    if (it == unplugged_.rend()) return 0;
    const SimDisplay monitor = *it;
    unplugged_.erase(std::next(it).base());
    lock.unlock();
    return connectDisplay(monitor.name, frame.value_or(monitor.frame), desktops, monitor.uuid);
}

void SimDesktop::relocateWindows(const std::set<uint32_t>& windowIDs, const Rect& from) {
    std::vector<std::pair<uint32_t, Rect>> ours;
    {
        std::lock_guard lock(world_);
        const SimDisplay* target = primaryDisplay();
        if (!target) return;
        const double menuBar = visibleFrame(*target).minY() - target->frame.minY();
        for (uint32_t id : windowIDs) {
            SimWindow* w = window(id);
            // One that was put on a display meanwhile stays where it was put.
            if (!w || std::any_of(displays_.begin(), displays_.end(),
                                  [&](const SimDisplay& d) { return d.frame.intersects(w->frame); }))
                continue;
            const Rect frame = placedOn(w->frame, from, target->frame, menuBar);
            if (w->ownerPID == ownPID_) {
                ours.emplace_back(id, frame);
                continue;
            }
            const Rect previous = w->frame;
            w->frame = frame;
            // The application hears that its window moved, as from any move the system makes.
            accessibility_->windowFrameChanged(*w, previous);
        }
    }
    for (const auto& [id, frame] : ours) windowing_->relocatePanel(id, frame);
}

void SimDesktop::setDisplayFrame(uint32_t displayID, Rect frame) {
    {
        std::lock_guard lock(world_);
        auto it = std::find_if(displays_.begin(), displays_.end(),
                               [&](const SimDisplay& d) { return d.id == displayID; });
        if (it == displays_.end() || it->frame == frame) return;
        it->frame = frame;
    }
    postScreenParametersChanged();
}

void SimDesktop::setScreensAvailable(bool available) {
    if (available == screensAvailable_) return;
    screensAvailable_ = available;
    postScreenParametersChanged();
}

void SimDesktop::postScreenParametersChanged() {
    if (holdScreenChange_) return;
    for (int i = 0; i < std::max(1, screenChangeNotices); ++i)
        notifications_.post(notifications::kApplicationDidChangeScreenParameters);
}

}  // namespace qv
