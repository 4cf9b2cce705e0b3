#include "tiling/WindowTilingMouseTap.h"

#include "tracking/CGWindowInfo.h"

namespace qv {

std::shared_ptr<WindowTilingMouseTap> WindowTilingMouseTap::create(Platform& platform) {
    return std::shared_ptr<WindowTilingMouseTap>(new WindowTilingMouseTap(platform));
}

WindowTilingMouseTap::WindowTilingMouseTap(Platform& platform)
    : platform_(platform),
      mainQueue_(platform.runtime.mainQueue()),
      tapThread_(platform.eventTaps, platform.runtime),
      ownPID_(platform.system.currentProcessID()) {}

WindowTilingMouseTap::~WindowTilingMouseTap() {
    stop();
}

bool WindowTilingMouseTap::start() {
    EventTapThread::Spec spec{kThreadName, EventTapLocation::session, EventTapPlacement::tailAppend,
                              EventTapOptions::listenOnly, kEventMask};
    std::weak_ptr<WindowTilingMouseTap> weak = weak_from_this();
    return tapThread_.start(spec, [weak](CGEventType type, const CGEvent& event) -> std::optional<CGEvent> {
        auto self = weak.lock();
        if (!self) return event;
        return self->handle(type, event);
    });
}

void WindowTilingMouseTap::stop() {
    tapThread_.stop();
    std::lock_guard lock(lock_);
    pendingDrag_.reset();
    isButtonDown_ = false;
}

std::optional<CGEvent> WindowTilingMouseTap::handle(CGEventType type, const CGEvent& event) {
    switch (type) {
        case eventtype::kTapDisabledByTimeout:
        case eventtype::kTapDisabledByUserInput:
            tapThread_.enableAgain();
            break;
        case eventtype::kLeftMouseDown: {
            using namespace windowlist;
            auto windows = snapshots(
                platform_.windowServer.copyWindowList(kOptionOnScreenOnly | kOptionExcludeDesktopElements, 0),
                ownPID_);
            auto hit = hitWindow(event.location);
            {
                std::lock_guard lock(lock_);
                pendingDrag_.reset();
                isButtonDown_ = true;
            }
            deliver(Down{event.location, std::move(windows), hit});
            break;
        }
        case eventtype::kLeftMouseUp: {
            std::lock_guard lock(lock_);
            isButtonDown_ = false;
        }
            deliver(Up{event.location});
            break;
        case eventtype::kLeftMouseDragged: {
            bool wasEmpty = false;
            {
                std::lock_guard lock(lock_);
                if (!isButtonDown_) break;
                wasEmpty = !pendingDrag_.has_value();
                pendingDrag_ = event.location;
            }
            // One delivery waits on the main queue at a time; it carries the newest point.
            if (wasEmpty) {
                mainQueue_->async([weak = weak_from_this()] {
                    auto self = weak.lock();
                    if (!self) return;
                    std::optional<Point> point;
                    {
                        std::lock_guard lock(self->lock_);
                        point = std::exchange(self->pendingDrag_, std::nullopt);
                    }
                    if (point && self->onEvent) self->onEvent(Dragged{*point});
                });
            }
            break;
        }
        default:
            break;
    }
    return event;  // a listen-only tap passes everything on
}

std::vector<WindowTilingMouseTap::WindowSnapshot> WindowTilingMouseTap::snapshots(
    const std::optional<Value>& windowList, int32_t ownPID) {
    std::vector<WindowSnapshot> out;
    auto entries = windowInfoList(windowList);
    if (!entries) return out;
    for (const CGWindowInfo& info : *entries) {
        auto id = info.windowID();
        auto pid = info.ownerPID();
        auto layer = info.layer();
        auto bounds = info.bounds();
        if (!id || !pid || !layer || !bounds) continue;
        if (auto alpha = info.alpha(); alpha && *alpha <= 0.01) continue;
        out.push_back({*id, *pid == ownPID ? -1 : *pid, *layer, *bounds});
    }
    return out;
}

std::optional<uint32_t> WindowTilingMouseTap::hitWindow(Point location) {
    std::call_once(findWindowLookup_, [this] {
        hasFindWindow_ = platform_.windowServer.hasEntryPoint("SLSFindWindowAndOwner");
    });
    if (!hasFindWindow_) return std::nullopt;
    WindowServer& ws = platform_.windowServer;
    Point windowPoint;
    uint32_t windowID = 0, ownerConnection = 0;
    int32_t status = ws.findWindowAndOwner(ws.mainConnectionID(), 0, 1, 0, location, windowPoint, windowID,
                                           ownerConnection);
    if (status != 0 || windowID == 0) return std::nullopt;
    return windowID;
}

void WindowTilingMouseTap::deliver(Event event) {
    mainQueue_->async([weak = weak_from_this(), event = std::move(event)] {
        auto self = weak.lock();
        if (self && self->onEvent) self->onEvent(event);
    });
}

}  // namespace qv
