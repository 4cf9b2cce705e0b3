#include "ui/HostingView.h"

#include <algorithm>
#include <cmath>

#include "platform/Application.h"
#include "ui/LayoutPass.h"

namespace qv {

HostingView::HostingView(Runtime& runtime, std::shared_ptr<View> root)
    : runtime_(runtime), root_(std::move(root)), kept_(std::make_unique<Kept>()) {}

HostingView::~HostingView() {
    for (auto& w : animationWork_) w->cancel();
    if (root_) {
        root_->invalidate_ = nullptr;
        root_->invalidateIfInputsChanged_ = nullptr;
    }
}

void HostingView::setRootView(std::shared_ptr<View> root) {
    root_ = std::move(root);
    setNeedsUpdate();
}

void HostingView::setFrameSize(Size size) {
    if (size == size_) return;
    size_ = size;
    // Areas made to follow the visible rectangle cover the new bounds.
    for (auto& area : trackingAreas_) {
        if (area->options & TrackingArea::kInVisibleRect) area->rect = bounds();
    }
    setNeedsUpdate();
}

Size HostingView::fittingSize() {
    if (!root_) return {0, 0};
    const LayoutInputs in = layoutInputs();
    root_->environment_ = in.env;
    return LayoutPass::idealSize(in, root_->body());
}

void HostingView::setAppearance(std::optional<Appearance> a) {
    if (a == appearance_) return;
    appearance_ = a;
    setNeedsUpdate();
}

void HostingView::setSystemColorScheme(ColorScheme scheme) {
    if (scheme == systemScheme_) return;
    systemScheme_ = scheme;
    setNeedsUpdate();
}

void HostingView::setReduceTransparency(bool reduce) {
    if (reduce == reduceTransparency_) return;
    reduceTransparency_ = reduce;
    setNeedsUpdate();
}

ColorScheme HostingView::effectiveColorScheme() const {
    if (appearance_) return *appearance_ == Appearance::darkAqua ? ColorScheme::dark : ColorScheme::light;
    return systemScheme_;
}

LayoutInputs HostingView::layoutInputs() {
    Environment env;
    env.colorScheme = effectiveColorScheme();
    env.reduceTransparency = reduceTransparency_;
    return {.host = weak_from_this(),
            .attachView =
                [this](View& view, const Environment& e) {
                    view.invalidate_ = invalidator();
                    view.environment_ = e;
                },
            .env = env,
            .layout = layouts_,
            .states = kept_->states,
            .scrollers = kept_->scrollers,
            .memos = reusesSubtrees_ ? &kept_->memos : nullptr,
            .lastList = &list_,
            .focusedPath = focusedPath_};
}

std::function<void()> HostingView::invalidator() {
    std::weak_ptr<HostingView> weak = weak_from_this();
    return [weak] {
        if (auto h = weak.lock()) h->setNeedsUpdate();
    };
}

void HostingView::setNeedsUpdate() {
    updateForced_ = true;
    scheduleUpdate();
}

void HostingView::scheduleUpdate() {
    if (updatePending_) return;
    updatePending_ = true;
    std::weak_ptr<HostingView> weak = weak_from_this();
    if (weak.expired()) return;  // not owned by a shared_ptr yet: layoutNow() does it
    runtime_.mainQueue()->async([weak] {
        if (auto h = weak.lock(); h && h->updatePending_) h->update();
    });
}

void HostingView::layoutNow() {
    updateForced_ = true;
    update();
}

void HostingView::setNeedsFullUpdate() {
    for (auto& [path, record] : kept_->memos) record->dirty = true;
    setNeedsUpdate();
}

size_t HostingView::reusedSubtreeCount() const {
    return kept_->reused.size();
}

std::vector<std::string> HostingView::reusedSubtreePaths() const {
    std::vector<std::string> out;
    for (const MemoRecord* rec : kept_->reused) out.push_back(*rec->path);
    return out;
}

std::vector<AnimationRecord> HostingView::activeAnimations() const {
    std::vector<AnimationRecord> out;
    for (const auto& a : animations_) {
        if (!a.completed) out.push_back(a);
    }
    return out;
}

// --- Events ---

std::set<std::string> HostingView::hoveredPaths() const {
    std::set<std::string> out;
    for (const auto& [path, h] : hovered_) out.insert(path);
    return out;
}

void HostingView::updateHover() {
    std::map<std::string, std::function<void(bool)>> now;
    if (pointer_) {
        for (const HitRegion& r : list_.regions) {
            if (r.onHover && r.contains(*pointer_)) now.emplace(r.path, r.onHover);
        }
    }
    std::vector<std::pair<std::string, std::function<void(bool)>>> exits, enters;
    for (auto& [path, handler] : hovered_) {
        if (!now.contains(path)) exits.emplace_back(path, handler);
    }
    for (auto& [path, handler] : now) {
        if (!hovered_.contains(path)) enters.emplace_back(path, handler);
    }
    // Leave the inner views first, enter the outer ones first.
    std::stable_sort(exits.begin(), exits.end(),
                     [](auto& a, auto& b) { return a.first.size() > b.first.size(); });
    std::stable_sort(enters.begin(), enters.end(),
                     [](auto& a, auto& b) { return a.first.size() < b.first.size(); });
    hovered_ = now;
    for (auto& [path, handler] : exits) handler(false);
    for (auto& [path, handler] : enters) handler(true);
}

void HostingView::mouseMoved(Point p) {
    if (buttonDown_) {
        mouseDragged(p);
        return;
    }
    pointer_ = p;
    updateHover();
}

void HostingView::mouseExited() {
    pointer_.reset();
    updateHover();
}

void HostingView::focus(const std::string& path) {
    if (path == focusedPath_) return;
    textSelected_ = false;
    auto previous = std::exchange(focusChange_, nullptr);
    focusedPath_ = path;
    if (previous) previous(false);
    for (const HitRegion& r : list_.regions) {
        if (r.focusable && r.path == path) {
            focusChange_ = r.onFocusChange;
            if (focusChange_) focusChange_(true);
            break;
        }
    }
    setNeedsUpdate();
}

void HostingView::takeInitialFocus() {
    if (layouts_ == 0) {
        initialFocusPending_ = true;
        return;
    }
    focusFirstTextField();
}

void HostingView::focusFirstTextField() {
    if (!focusedPath_.empty()) return;
    for (const HitRegion& r : list_.regions) {
        if (r.focusable && r.enabled && r.text) {
            focus(r.path);
            return;
        }
    }
}

void HostingView::mouseDown(Point p, uint64_t modifierFlags, int clickCount) {
    if (modifierFlags & modifierflags::kControl) {
        rightMouseDown(p);
        return;
    }
    pointer_ = p;
    buttonDown_ = true;
    downPoint_ = p;
    dragStarted_ = false;
    pendingTap_.reset();
    pendingDrag_.reset();
    if (const HitRegion* r = list_.topmost(p, [](const HitRegion& r) { return r.enabled && r.drag; })) {
        pendingDrag_ = *r;
    }
    if (const HitRegion* r = list_.topmost(p, [clickCount](const HitRegion& r) {
            return r.enabled && r.onTap && (r.tapCount == 1 || r.tapCount == clickCount);
        })) {
        pendingTap_ = *r;
    }
    if (const HitRegion* r = list_.topmost(p, [](const HitRegion& r) { return r.enabled && r.focusable; })) {
        focus(r->path);
    }
}

void HostingView::mouseDragged(Point p) {
    pointer_ = p;
    if (!buttonDown_ || !pendingDrag_) return;
    double dx = p.x - downPoint_.x, dy = p.y - downPoint_.y;
    if (!dragStarted_ && std::hypot(dx, dy) < pendingDrag_->drag->minimumDistance) return;
    if (!dragStarted_) {
        dragStarted_ = true;
        pendingTap_.reset();  // a drag is no click
    }
    if (pendingDrag_->drag->onChanged) pendingDrag_->drag->onChanged({downPoint_, p, {dx, dy}});
}

void HostingView::mouseUp(Point p) {
    if (!buttonDown_) return;
    buttonDown_ = false;
    pointer_ = p;
    if (dragStarted_ && pendingDrag_) {
        auto drag = pendingDrag_->drag;
        pendingDrag_.reset();
        dragStarted_ = false;
        if (drag->onEnded) drag->onEnded({downPoint_, p, {p.x - downPoint_.x, p.y - downPoint_.y}});
    } else if (pendingTap_ && pendingTap_->contains(p)) {
        auto action = pendingTap_->onTap;
        pendingTap_.reset();
        if (action) action();
    }
    pendingTap_.reset();
    pendingDrag_.reset();
    updateHover();
}

void HostingView::rightMouseDown(Point p) {
    pointer_ = p;
    std::vector<std::function<void()>> handlers;
    for (const HitRegion& r : list_.regions) {
        if (r.enabled && r.onRightClick && r.contains(p)) handlers.push_back(r.onRightClick);
    }
    const HitRegion* menuRegion =
        list_.topmost(p, [](const HitRegion& r) { return r.enabled && r.contextMenu; });
    auto builder = menuRegion ? menuRegion->contextMenu : nullptr;
    for (auto& h : handlers) h();
    if (!builder) return;
    Menu menu = builder();
    if (menu.items.empty()) return;  // an empty context menu does not open
    lastMenu_ = menu;
    if (menuPresenter_) menuPresenter_(menu, p);
}

bool HostingView::scrollWheel(Point p, double deltaX, double deltaY) {
    const HitRegion* r = list_.topmost(p, [](const HitRegion& r) { return !r.scrollPath.empty(); });
    if (!r || !r->enabled) return false;
    auto info = kept_->scrollInfo.find(r->scrollPath);
    if (info == kept_->scrollInfo.end()) return false;
    double maxOffset = std::max(0.0, info->second.contentLength - info->second.viewportLength);
    if (maxOffset <= 0) return false;
    // A plain wheel turns a horizontal-only view sideways.
    double delta = r->scrollAxis == Axis::horizontal ? (deltaX != 0 ? deltaX : deltaY) : deltaY;
    if (delta == 0) return false;
    auto scroller = scrollerFor(kept_->scrollers, r->scrollPath);
    Point off = scroller->offset();
    double cur = r->scrollAxis == Axis::horizontal ? off.x : off.y;
    double next = std::clamp(cur - delta, 0.0, maxOffset);
    scroller->setOffset(r->scrollAxis == Axis::horizontal ? Point{next, 0} : Point{0, next});
    setNeedsUpdate();
    return true;
}

bool HostingView::keyDown(uint16_t keyCode, const std::string& characters, uint64_t modifierFlags) {
    if (focusedPath_.empty()) return false;
    for (auto it = list_.regions.rbegin(); it != list_.regions.rend(); ++it) {
        if (it->focusable && it->enabled && it->path == focusedPath_ && it->keyHandler) {
            auto handler = it->keyHandler;
            // Typing over a selected text replaces it.
            const bool edits = !(modifierFlags & (modifierflags::kCommand | modifierflags::kControl)) &&
                               (keyCode == keycodes::kDelete ||
                                (!characters.empty() && static_cast<unsigned char>(characters[0]) >= 0x20));
            if (std::exchange(textSelected_, false) && edits && it->text) it->text.set("");
            return handler(keyCode, characters, modifierFlags);
        }
    }
    return false;
}

bool HostingView::performEditAction(const std::string& action, Pasteboard& pasteboard) {
    const HitRegion* field = nullptr;
    for (const HitRegion& r : list_.regions) {
        if (r.focusable && r.enabled && r.path == focusedPath_ && r.text) field = &r;
    }
    if (focusedPath_.empty() || !field) return false;
    Binding<std::string> text = field->text;
    if (action == "selectAll:") {
        textSelected_ = true;
        return true;
    }
    if (action == "copy:" || action == "cut:") {
        if (!textSelected_) return true;  // nothing selected: nothing to copy
        pasteboard.setString(text.get());
        if (action == "cut:") {
            text.set("");
            textSelected_ = false;
        }
        return true;
    }
    if (action == "paste:") {
        if (auto pasted = pasteboard.string()) {
            text.set((std::exchange(textSelected_, false) ? std::string() : text.get()) + *pasted);
        }
        return true;
    }
    return false;
}

std::string HostingView::helpText(Point p) const {
    const HitRegion* r = list_.topmost(p, [](const HitRegion& r) { return !r.help.empty(); });
    return r ? r->help : std::string();
}

bool HostingView::hitTest(Point p) const {
    if (!bounds().contains(p)) return false;
    for (const HitRegion& r : list_.regions) {
        if (r.contains(p)) return true;
    }
    for (const DrawOp& op : list_.ops) {
        if (op.kind == DrawOp::Kind::shadow || op.opacity <= 0) continue;
        if (op.kind == DrawOp::Kind::shape && op.fill && !op.fill->isGradient && op.fill->color.a <= 0 &&
            !op.stroke) {
            continue;
        }
        if (op.shape.contains(op.frame, p)) return true;
    }
    return false;
}

void HostingView::addTrackingArea(std::shared_ptr<TrackingArea> area) {
    if (area) trackingAreas_.push_back(std::move(area));
}

void HostingView::removeTrackingArea(const std::shared_ptr<TrackingArea>& area) {
    std::erase(trackingAreas_, area);
}

void HostingView::attachToWindow(std::weak_ptr<Panel> window,
                                 std::function<void(const Menu&, Point)> presenter) {
    window_ = std::move(window);
    menuPresenter_ = std::move(presenter);
    viewDidMoveToWindow();
}

}  // namespace qv
