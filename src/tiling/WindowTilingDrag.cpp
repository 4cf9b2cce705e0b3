// The mouse side of tiling: from a left press on a window to its release. A session is classified
// at the first frame change of a grabbed window as a move (flyout, edge snaps, natural size back),
// an edge resize that neighbours follow, or nothing.
#include <cmath>

#include "tiling/WindowTilingController.h"

namespace qv {

namespace {

using Controller = WindowTilingController;

bool sizeChanged(const Rect& a, const Rect& b) {
    return std::abs(b.width() - a.width()) >= 1 || std::abs(b.height() - a.height()) >= 1;
}

double edgeValue(const Rect& r, AdjacentResizePlan::Edge e) {
    switch (e) {
        case AdjacentResizePlan::Edge::left:
            return r.minX();
        case AdjacentResizePlan::Edge::right:
            return r.maxX();
        case AdjacentResizePlan::Edge::top:
            return r.minY();
        case AdjacentResizePlan::Edge::bottom:
            return r.maxY();
    }
    return 0;
}

Rect unitRect(Controller::EdgeSnapKind kind) {
    switch (kind) {
        case Controller::EdgeSnapKind::fill:
            return {0, 0, 1, 1};
        case Controller::EdgeSnapKind::leftHalf:
            return {0, 0, 0.5, 1};
        case Controller::EdgeSnapKind::rightHalf:
            return {0.5, 0, 0.5, 1};
    }
    return {0, 0, 1, 1};
}

// The smallest rectangle on whole points that holds the frame.
Rect integral(const Rect& r) {
    const double x = std::floor(r.minX()), y = std::floor(r.minY());
    return {x, y, std::ceil(r.maxX()) - x, std::ceil(r.maxY()) - y};
}

WindowTilingAX::WindowKey keyOf(const Controller::WindowSnapshot& w) {
    return {w.pid, w.id};
}

}  // namespace

// --- Rules ---

std::vector<Controller::WindowSnapshot> Controller::windowsGrabbed(Point point,
                                                                   const std::vector<WindowSnapshot>& windows,
                                                                   std::optional<uint32_t> hitWindowID) {
    const bool hitIsNormal =
        hitWindowID && std::any_of(windows.begin(), windows.end(), [&](const WindowSnapshot& w) {
            return w.id == *hitWindowID && w.layer == 0;
        });
    std::vector<WindowSnapshot> grabbed;
    for (const WindowSnapshot& w : windows) {
        if (w.layer != 0) {
            // A panel or overlay over the point takes the press, unless the window server says the
            // press went to an ordinary window.
            if (hitIsNormal) continue;
            if (w.frame.contains(point)) break;
            continue;
        }
        if (!w.frame.insetBy(-kGrabMargin, -kGrabMargin).contains(point)) continue;
        if (w.pid > 0) grabbed.push_back(w);
        if (w.frame.contains(point)) break;
    }
    return grabbed;
}

std::vector<Controller::Edge> Controller::movedEdges(const Rect& from, const Rect& to) {
    std::vector<Edge> edges;
    for (Edge e : {Edge::left, Edge::right, Edge::top, Edge::bottom}) {
        if (std::abs(edgeValue(to, e) - edgeValue(from, e)) >= 1) edges.push_back(e);
    }
    return edges;
}

Controller::DragClass Controller::classifyDrag(const Rect& old, const Rect& now, Point press) {
    using Kind = DragClass::Kind;
    if (!sizeChanged(old, now)) {
        if (now.origin == old.origin) return {Kind::pending, {}};
        return {Kind::move, old.size};
    }
    const bool widthChanged = std::abs(now.width() - old.width()) >= 1;
    const bool heightChanged = std::abs(now.height() - old.height()) >= 1;
    const auto edges = movedEdges(old, now);
    auto has = [&](Edge e) { return std::find(edges.begin(), edges.end(), e) != edges.end(); };
    // A size change that moves both opposite edges (or neither) is a jump, not a dragged edge.
    const bool ambiguousX = widthChanged && has(Edge::left) == has(Edge::right);
    const bool ambiguousY = heightChanged && has(Edge::top) == has(Edge::bottom);
    const double t = kEdgeGrabTolerance;
    for (Edge e : edges) {
        bool near = false;
        if (e == Edge::left || e == Edge::right) {
            near = press.y >= old.minY() - t && press.y <= old.maxY() + t &&
                   std::abs(press.x - edgeValue(old, e)) <= t;
        } else {
            near = press.x >= old.minX() - t && press.x <= old.maxX() + t &&
                   std::abs(press.y - edgeValue(old, e)) <= t;
        }
        if (!near) continue;
        if (!ambiguousX && !ambiguousY) return {Kind::resize, {}};
        break;
    }
    if (now.origin == old.origin) return {Kind::ignored, {}};
    return {Kind::move, now.size};
}

AdjacentResizePlan Controller::makeResizePlan(const Session& session, const Rect& bounds) {
    std::vector<AdjacentResizePlan::Window> candidates;
    std::vector<Rect> occluders;
    for (const WindowSnapshot& w : session.windows) {
        if (w.layer != 0) continue;
        const Rect& f = w.frame;
        if (w.pid > 0 && w.id != session.target.id && f.width() >= 60 && f.height() >= 40 &&
            bounds.contains(Point{f.midX(), f.midY()}) && !AdjacentResizePlan::isHidden(f, occluders))
            candidates.push_back({w.id, w.pid, f});
        // Whether it qualifies or not, it hides what lies behind it.
        occluders.push_back(f);
    }
    const WindowSnapshot& t = session.target;
    return AdjacentResizePlan({t.id, t.pid, t.frame}, std::move(candidates));
}

Rect Controller::naturalSizeFrame(const Rect& snapshot, Point press, Point pointer, Size natural) {
    const double fx = snapshot.width() > 0 ? (press.x - snapshot.minX()) / snapshot.width() : 0.5;
    const double dy = press.y - snapshot.minY();
    double offset = 0;
    if (dy > 0 && natural.height - kGrabOffsetBelowBottom > 0)
        offset = std::min(dy, natural.height - kGrabOffsetBelowBottom);
    return {std::round(pointer.x - fx * natural.width), std::round(pointer.y - offset), natural.width,
            natural.height};
}

// --- Session ---

void Controller::beginSession(Point point, const std::vector<WindowSnapshot>& windows,
                              std::optional<uint32_t> hit) {
    auto grabbed = windowsGrabbed(point, windows, hit);
    if (!isAnyFeatureEnabled() || grabbed.empty()) return;
    session_ = Session{grabbed.front(), std::move(grabbed), point, windows, Pending{}};
}

Controller::Phase Controller::classify(const Session& session, const Rect& frame) {
    const DragClass c = classifyDrag(session.target.frame, frame, session.pressPoint);
    switch (c.kind) {
        case DragClass::Kind::pending:
            return Pending{};
        case DragClass::Kind::ignored:
            return Ignored{};
        case DragClass::Kind::move:
            if (!settings().snapLayoutsEnabled) return Ignored{};
            return MoveState{std::nullopt, c.naturalSize, std::nullopt, std::nullopt, false};
        case DragClass::Kind::resize: {
            if (!settings().resizeAdjacentWindowsEnabled) return Ignored{};
            const Rect& old = session.target.frame;
            auto display = displayAt({old.midX(), old.midY()});
            if (!display || !tilingAllowed(*display)) return Ignored{};
            auto g = geometry(*display);
            return makeResizePlan(session, g ? g->screen : old);
        }
    }
    return Ignored{};
}

void Controller::update(Point pointer) {
    if (!session_) return;
    if (std::holds_alternative<MoveState>(session_->phase)) {
        updateMove(pointer);
    } else if (std::holds_alternative<AdjacentResizePlan>(session_->phase)) {
        if (auto frame = currentFrame(session_->target.id)) updateResize(*frame);
    } else if (std::holds_alternative<Pending>(session_->phase)) {
        const Point press = session_->pressPoint;
        if (std::hypot(pointer.x - press.x, pointer.y - press.y) > kAbandonDistance) {
            session_->phase = Ignored{};
            return;
        }
        std::optional<Rect> frame;
        for (const WindowSnapshot& w : session_->grabbed) {
            auto bounds = currentFrame(w.id);
            if (!bounds || *bounds == w.frame) continue;
            // The first grabbed window whose frame changed is the one being dragged.
            session_->target = w;
            frame = bounds;
            break;
        }
        if (!frame) return;
        session_->phase = classify(*session_, *frame);
        if (std::holds_alternative<MoveState>(session_->phase)) {
            startMove(pointer, *frame);
            updateMove(pointer);
        } else if (std::holds_alternative<AdjacentResizePlan>(session_->phase)) {
            updateResize(*frame);
        }
    }
}

void Controller::finishSession(Point) {
    if (!session_) return;
    if (auto* move = std::get_if<MoveState>(&session_->phase)) {
        std::optional<Rect> frame;
        if (move->flyout && move->flyout->hoveredZone) {
            const FlyoutState& f = *move->flyout;
            const ZoneID z = *f.hoveredZone;
            frame = SnapLayout::frame(f.metrics.layouts[z.layout].zones[z.zone], f.usableFrame, f.margin);
        } else if (move->edgeSnap) {
            frame = move->edgeSnap->frame;
        }
        if (frame) snap(session_->target, *frame, move->naturalSize);
    } else if (auto* plan = std::get_if<AdjacentResizePlan>(&session_->phase)) {
        const AdjacentResizePlan finished = *plan;
        // The release's frames go after the worker's reset, which forgets the pending ones.
        dropSession();
        if (auto current = currentFrame(finished.target().id))
            submitFollowerFrames(finished.frames(*current), finished);
        // Applications settle their frames a little later: follow once more, twice.
        for (Seconds delay : kFollowerResendDelays) resendFollowers(delay, finished);
    }
    if (session_) dropSession();
}

// --- Moves ---

void Controller::startMove(Point pointer, const Rect& frame) {
    const WindowSnapshot target = session_->target;
    auto& move = std::get<MoveState>(session_->phase);
    auto record = snapRecords_.take(target.id);
    const Rect& snapshot = target.frame;
    if (record && frame.size == snapshot.size &&
        std::abs(snapshot.width() - record->snappedFrame.width()) < kNaturalSizeTolerance &&
        std::abs(snapshot.height() - record->snappedFrame.height()) < kNaturalSizeTolerance) {
        // Still at its snapped size: it gets its own size back under the pointer at once.
        ax_->setFrameDuringDrag(
            naturalSizeFrame(snapshot, session_->pressPoint, pointer, record->naturalSize), keyOf(target));
        move.naturalSize = record->naturalSize;
    }
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    const uint32_t id = target.id;
    ax_->checkEligibility(keyOf(target), [weak, id](WindowTilingAX::Eligibility verdict) {
        auto self = weak.lock();
        if (!self || !self->session_ || self->session_->target.id != id) return;
        auto* m = std::get_if<MoveState>(&self->session_->phase);
        if (!m) return;
        m->canTile = verdict.canTile;
        // Where the pointer is now, not where it was when the question was asked.
        if (auto event = self->platform_.events.create()) self->updateMove(event->location);
    });
}

void Controller::clearMove(MoveState& move) {
    move.flyout.reset();
    move.edgeSnap.reset();
    hideFlyout();
}

void Controller::updateMove(Point p) {
    auto& move = std::get<MoveState>(session_->phase);
    if (move.canTile != true || move.dismissedByEscape) return clearMove(move);
    const auto display = displayAt(p);
    if (!display || !tilingAllowed(*display)) return clearMove(move);
    const auto g = geometry(*display);
    if (!g) return clearMove(move);
    const Rect& screen = g->screen;
    const double bandBottom = std::max(g->visible.minY(), screen.minY() + kMenuBarBand);
    const bool inBand = p.y <= bandBottom + 1;
    auto reachOver = [&](const SnapFlyoutMetrics& metrics) {
        const double reach = std::min(metrics.size.width * 0.5 + kFlyoutReachExtra, screen.width() * 0.5);
        return p.x >= screen.midX() - reach && p.x <= screen.midX() + reach;
    };

    if (move.flyout && (move.flyout->displayID != *display || move.flyout->screenFrame != screen ||
                        move.flyout->visibleFrame != g->visible)) {
        // The pointer went on to another display, or its display changed shape: the flyout of what
        // was there goes, with the zones it would have snapped to.
        move.flyout.reset();
        hideFlyout();
    }
    if (move.flyout) {
        FlyoutState& f = *move.flyout;
        const bool over = inBand && reachOver(f.metrics);
        const Rect keepAlive = f.frame.insetBy(-kFlyoutKeepAlive, -kFlyoutKeepAlive);
        if (over || (!inBand && keepAlive.contains(p))) {
            auto zone = f.metrics.zone({p.x - f.frame.minX(), p.y - f.frame.minY()});
            if (zone != f.hoveredZone) {
                f.hoveredZone = zone;
                showHover(f, session_->target.id);
            }
            return;  // no edge snaps while the flyout stays
        }
        move.flyout.reset();
        hideFlyout();
    } else if (inBand) {
        const Rect& usable = g->usable;
        const double aspect = usable.width() / std::max(1.0, usable.height());
        SnapFlyoutMetrics metrics(SnapLayout::presets(aspect, usable.width()), aspect);
        if (reachOver(metrics)) {
            move.edgeSnap.reset();
            if (previewPanel()->isVisible()) previewPanel_->orderOut();
            const Rect frame{std::round(screen.midX() - metrics.size.width * 0.5),
                             std::round(std::max(g->visible.minY(), screen.minY()) + kFlyoutBelowMenuBar),
                             metrics.size.width, metrics.size.height};
            auto& panel = flyoutPanel();
            panel->layoutView()->setMetrics(metrics);
            panel->layoutView()->setHighlightedZone(std::nullopt);
            panel->show(toScreenCoordinates(frame));
            startEscapeWatch();
            move.flyout = FlyoutState{*display,           screen,       g->visible, usable,
                                      std::move(metrics), tileMargin(), frame,      std::nullopt};
            return;
        }
    }

    const auto kind = edgeSnapKind(p, inBand, screen);
    if (!kind) {
        if (move.edgeSnap) {
            move.edgeSnap.reset();
            hideFlyout();
        }
        return;
    }
    if (move.edgeSnap && move.edgeSnap->kind == *kind && move.edgeSnap->displayID == *display) return;
    const Rect frame = SnapLayout::frame(unitRect(*kind), g->usable, tileMargin());
    move.edgeSnap = EdgeSnap{*display, *kind, frame};
    previewPanel()->show(toScreenCoordinates(frame), session_->target.id);
    startEscapeWatch();
}

std::optional<Controller::EdgeSnapKind> Controller::edgeSnapKind(Point p, bool inMenuBar,
                                                                 const Rect& screen) const {
    if (inMenuBar) return EdgeSnapKind::fill;
    // Only the desktop's outer edges snap; an edge shared with another display does not.
    if (p.x <= screen.minX() + 3 && !displayAt({screen.minX() - 1, p.y})) return EdgeSnapKind::leftHalf;
    if (p.x >= screen.maxX() - 4) {
        if (!displayAt({screen.maxX(), p.y})) return EdgeSnapKind::rightHalf;
        return std::nullopt;
    }
    return std::nullopt;
}

void Controller::showHover(const FlyoutState& flyout, uint32_t below) {
    flyoutPanel()->layoutView()->setHighlightedZone(flyout.hoveredZone);
    if (!flyout.hoveredZone) {
        if (previewPanel()->isVisible()) previewPanel_->orderOut();
        return;
    }
    const ZoneID z = *flyout.hoveredZone;
    const Rect frame =
        SnapLayout::frame(flyout.metrics.layouts[z.layout].zones[z.zone], flyout.usableFrame, flyout.margin);
    previewPanel()->show(toScreenCoordinates(frame), below);
}

void Controller::startEscapeWatch() {
    if (escapeWatch_) return;
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    EventTaps* taps = &platform_.eventTaps;
    escapeWatch_ = platform_.runtime.mainQueue()->scheduleTimer(
        kEscapePollInterval, kEscapePollInterval, 0, [weak, taps] {
            if (!taps->eventSourceKeyState(EventSourceStateID::combinedSessionState, kEscapeKeyCode)) return;
            if (auto self = weak.lock()) self->handleEscapeWhileFlyoutShown();
        });
}

void Controller::handleEscapeWhileFlyoutShown() {
    if (!session_) return;
    auto* move = std::get_if<MoveState>(&session_->phase);
    if (!move) return;
    // The rest of the drag is a plain move: no flyout, no preview, no snap on release.
    move->dismissedByEscape = true;
    clearMove(*move);
}

// --- Edge resizes ---

void Controller::updateResize(const Rect& frame) {
    auto& plan = std::get<AdjacentResizePlan>(session_->phase);
    plan.addDividers(movedEdges(session_->target.frame, frame));
    submitFollowerFrames(plan.frames(frame), plan);
}

void Controller::submitFollowerFrames(const std::unordered_map<uint32_t, Rect>& frames,
                                      const AdjacentResizePlan& plan) {
    if (frames.empty()) return;
    std::map<uint32_t, int32_t> pids;
    for (const auto& w : plan.followers()) pids[w.id] = w.pid;
    std::map<WindowTilingAX::WindowKey, Rect> live;
    for (const auto& [id, frame] : frames) {
        auto pid = pids.find(id);
        if (pid == pids.end() || frame.width() < 1 || frame.height() < 1) continue;
        live[{pid->second, id}] = integral(frame);
    }
    ax_->submitLiveFrames(live);
}

void Controller::resendFollowers(Seconds delay, AdjacentResizePlan plan) {
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(delay, [weak, plan = std::move(plan)] {
        auto self = weak.lock();
        if (!self) return;
        if (auto current = self->currentFrame(plan.target().id))
            self->submitFollowerFrames(plan.frames(*current), plan);
    });
}

// --- Snapping ---

std::function<void(std::optional<Rect>)> Controller::recordingCompletion(uint32_t windowID, Rect requested,
                                                                         Size naturalSize) {
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    return [weak, windowID, requested, naturalSize](std::optional<Rect> reported) {
        // What the application accepted, or what was asked when nothing could be read back.
        if (auto self = weak.lock())
            self->snapRecords_.store(windowID, {naturalSize, reported.value_or(requested)});
    };
}

void Controller::snap(const WindowSnapshot& window, const Rect& frame, Size naturalSize) {
    const auto key = keyOf(window);
    ax_->setFrame(frame, key, recordingCompletion(window.id, frame, naturalSize));
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    for (Seconds delay : kSnapRecheckDelays) {
        platform_.runtime.mainQueue()->asyncAfter(delay, [weak, key, frame, naturalSize] {
            auto self = weak.lock();
            if (!self) return;
            if (self->session_ && self->session_->target.id == key.windowID) return;  // dragged again
            auto current = self->currentFrame(key.windowID);
            if (!current || *current == frame) return;
            // A frame the application chose itself is in its record: leave it alone.
            auto record = self->snapRecords_.find(key.windowID);
            if (record && record->snappedFrame == *current) return;
            self->applySnap(frame, key, naturalSize);
        });
    }
}

void Controller::applySnap(const Rect& frame, WindowTilingAX::WindowKey key, Size naturalSize) {
    ax_->setFrame(frame, key, recordingCompletion(key.windowID, frame, naturalSize));
}

}  // namespace qv
