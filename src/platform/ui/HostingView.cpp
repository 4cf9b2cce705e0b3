#include "platform/ui/HostingView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Application.h"
#include "platform/ui/LayoutPass.h"

namespace qv {

// --- Display list queries ---

std::string DrawOp::joinedText() const {
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) out += "\n";
        out += lines[i];
    }
    return out;
}

bool HitRegion::contains(Point p) const {
    if (!shape.contains(frame, p)) return false;
    for (const ClipRegion& c : clips) {
        if (!c.shape.contains(c.rect, p)) return false;
    }
    return true;
}

const DrawOp* DisplayList::findText(const std::string& text) const {
    for (const DrawOp& op : ops) {
        if (op.kind == DrawOp::Kind::text && op.joinedText() == text) return &op;
    }
    return nullptr;
}

std::vector<const DrawOp*> DisplayList::texts() const {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : ops) {
        if (op.kind == DrawOp::Kind::text) out.push_back(&op);
    }
    return out;
}

std::vector<const DrawOp*> DisplayList::opsAt(const std::string& suffix) const {
    std::vector<const DrawOp*> out;
    for (const DrawOp& op : ops) {
        if (op.path.size() >= suffix.size() &&
            op.path.compare(op.path.size() - suffix.size(), suffix.size(), suffix) == 0) {
            out.push_back(&op);
        }
    }
    return out;
}

const HitRegion* DisplayList::topmost(Point p, const std::function<bool(const HitRegion&)>& want) const {
    for (auto it = regions.rbegin(); it != regions.rend(); ++it) {
        if (want(*it) && it->contains(p)) return &*it;
    }
    return nullptr;
}

// --- List navigation ---

std::optional<size_t> nextSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current) {
    size_t from = current ? *current + 1 : 0;
    for (size_t i = from; i < rows.size(); ++i) {
        if (rows[i].selectable) return i;
    }
    return std::nullopt;
}

std::optional<size_t> previousSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current) {
    size_t end = current ? *current : rows.size();
    for (size_t i = end; i-- > 0;) {
        if (rows[i].selectable) return i;
    }
    return std::nullopt;
}

size_t listInsertionIndex(const std::vector<ListRow>& rows, size_t draggedIndex, double pointerY) {
    double y = 0;
    size_t index = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        double mid = y + rows[i].height / 2;
        y += rows[i].height;
        if (i == draggedIndex) continue;
        if (mid > pointerY) return index;
        ++index;
    }
    return index;
}

// --- Hosting view ---

HostingView::HostingView(Runtime& runtime, std::shared_ptr<View> root)
    : runtime_(runtime), root_(std::move(root)) {}

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
    Environment env;
    env.colorScheme = effectiveColorScheme();
    env.reduceTransparency = reduceTransparency_;
    LayoutPass pass(*this, nullptr);
    root_->environment_ = env;
    auto tree = pass.resolve(root_->body(), "r", env);
    return tree ? pass.measure(*tree, ProposedSize{}) : Size{0, 0};
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
    for (auto& [path, record] : memos_) record->dirty = true;
    setNeedsUpdate();
}

std::any& HostingView::stateFor(const std::string& path, const std::function<std::any()>& initial) {
    auto it = state_.find(path);
    if (it == state_.end()) it = state_.emplace(path, StateEntry{initial ? initial() : std::any()}).first;
    return it->second.value;
}

std::any& HostingView::liveStateFor(const std::string& path, const std::function<std::any()>& initial) {
    return liveStateEntry(path, initial).value;
}

HostingView::StateEntry& HostingView::liveStateEntry(const std::string& path,
                                                     const std::function<std::any()>& initial) {
    auto it = state_.find(path);
    if (it == state_.end()) it = state_.emplace(path, StateEntry{initial ? initial() : std::any()}).first;
    it->second.layout = layouts_;
    return it->second;
}

std::shared_ptr<ScrollController> HostingView::scrollerFor(const std::string& path) {
    auto& s = scrollers_[path];
    if (!s) s = std::make_shared<ScrollController>();
    return s;
}

namespace {

constexpr size_t kSpareStrings = 8192;

// The host's entry of a report or animation key, looked up by path unless a reused memo already
// knows it; whether it was added now.
template <class Map, class Item>
bool takeEntry(Map& entries, Item& item) {
    if (item.entry) return false;
    auto [it, added] = entries.try_emplace(*item.path);
    item.entry = &*it;
    return added;
}

}  // namespace

void HostingView::update() {
    if (updating_) {
        updatePending_ = true;
        return;
    }
    // Asked for by the root view's observations only, and none of its inputs changed: the tree it
    // would build is the last one, and so is everything made of it.
    if (!std::exchange(updateForced_, false) && root_ && !root_->inputsChanged()) {
        updatePending_ = false;
        return;
    }
    updating_ = true;
    updatePending_ = false;
    ++evaluations_;
    const uint64_t layout = ++layouts_;

    Environment env;
    env.colorScheme = effectiveColorScheme();
    env.reduceTransparency = reduceTransparency_;

    // The list is built in the storage of the one before the last, emptied: a layout of the same
    // size allocates none of it again.
    DisplayList list = std::move(spareList_);
    list.size = size_;
    list.ops.reserve(list_.ops.size());
    list.regions.reserve(list_.regions.size());
    LayoutPass pass(*this, &list);
    if (!scratch_) scratch_ = std::make_unique<LayoutScratch>();
    pass.frameReports_ = std::move(scratch_->frameReports);
    pass.animationKeys_ = std::move(scratch_->animationKeys);
    pass.segmentBlocks_ = std::move(scratch_->segmentBlocks);
    pass.spareStrings_ = &scratch_->spareStrings;
    std::unique_ptr<RNode> tree;
    if (root_) {
        root_->invalidate_ = invalidator();
        std::weak_ptr<HostingView> weak = weak_from_this();
        root_->invalidateIfInputsChanged_ = [weak] {
            if (auto h = weak.lock()) h->scheduleUpdate();
        };
        root_->environment_ = env;
        tree = pass.resolve(root_->body(), "r", env);
    }
    if (!pass.focusCandidate_.empty()) focusedPath_ = pass.focusCandidate_;
    if (tree) {
        Size s = pass.measure(*tree, {size_.width, size_.height});
        Rect frame{(size_.width - s.width) / 2, (size_.height - s.height) / 2, s.width, s.height};
        pass.place(*tree, frame, LayoutPass::Context{});
    }
    scratch_->segmentBlocks = std::move(pass.segmentBlocks_);
    std::swap(list_, list);
    spareList_ = std::move(list);
    // The old list's paths lend their storage to the next pass's.
    auto& spareStrings = scratch_->spareStrings;
    if (spareStrings.size() < kSpareStrings) {
        for (DrawOp& op : spareList_.ops) spareStrings.push_back(std::move(op.path));
        for (HitRegion& r : spareList_.regions) spareStrings.push_back(std::move(r.path));
    }
    spareList_.ops.clear();
    spareList_.regions.clear();
    for (auto& [path, info] : pass.scrollInfo_) scrollInfo_[path] = info;

    // What is kept of memos that are gone goes with them.
    std::erase_if(memos_, [layout](const auto& e) { return e.second->resolved != layout; });
    // State of nodes that are gone goes with them, once their disappear and hover-exit handlers,
    // which may still write it, have run at the end of this update.
    std::map<std::string, StateEntry> gone;
    for (auto it = state_.begin(); it != state_.end();) {
        if (it->second.layout == layout) {
            ++it;
        } else {
            gone.insert(state_.extract(it++));
        }
    }
    // A focused control that is no longer there, or now disabled, loses the focus.
    if (!focusedPath_.empty() &&
        std::none_of(list_.regions.begin(), list_.regions.end(), [&](const HitRegion& r) {
            return r.focusable && r.enabled && r.path == focusedPath_;
        })) {
        focusedPath_.clear();
        focusChange_ = nullptr;
    }

    // Animations whose key changed since the last evaluation.
    std::vector<AnimationRecord> started = pass.scrollAnimations_;
    for (auto& k : pass.animationKeys_) {
        const bool added = takeEntry(animationKeys_, k);
        auto& entry = k.entry->second;
        if (entry.layout != layout) {
            entry.before = std::move(entry.value);
            entry.existed = !added;
        }
        if (entry.existed && entry.before != k.key && k.animation)
            started.push_back({k.entry->first, *k.animation, entry.before, k.key});
        entry.value = k.key;
        entry.layout = layout;
    }
    std::erase_if(animationKeys_, [layout](const auto& e) { return e.second.layout != layout; });
    for (AnimationRecord& rec : started) {
        rec.startTime = runtime_.now();
        // A new animation of the same target replaces the running one.
        for (auto& a : animations_) {
            if (a.target == rec.target && !a.completed) a.completed = true;
        }
        animations_.push_back(rec);
        if (auto end = rec.endTime()) {
            std::weak_ptr<HostingView> weak = weak_from_this();
            size_t index = animations_.size() - 1;
            auto work = runtime_.mainQueue()->asyncAfter(rec.animation.duration, [weak, index] {
                if (auto h = weak.lock(); h && index < h->animations_.size())
                    h->animations_[index].completed = true;
            });
            animationWork_.push_back(work);
        }
    }

    // Appearing and disappearing nodes.
    std::vector<std::function<void()>> calls;
    for (auto& [path, appear] : pass.appears_) {
        auto it = appeared_.find(path);
        if (it != appeared_.end()) {
            it->second = layout;
        } else {
            it = appeared_.emplace(std::string(path), layout).first;
            calls.push_back(*appear.action);
        }
        if (appear.record) appear.record->appears[appear.slot] = &*it;
    }
    for (auto& [path, action] : disappearHandlers_) {
        if (!pass.disappears_.contains(path)) calls.push_back(action);
    }
    std::erase_if(appeared_, [layout](const auto& e) { return e.second != layout; });
    disappearHandlers_ = std::move(pass.disappears_);

    // Frames that moved.
    for (auto& report : pass.frameReports_) {
        const bool added = takeEntry(reportedFrames_, report);
        auto& entry = report.entry->second;
        if (entry.layout != layout) {
            entry.before = entry.value;
            entry.existed = !added;
        }
        if (!entry.existed || entry.before != report.frame)
            calls.push_back([handler = *report.handler, f = report.frame] { handler(f); });
        entry.value = report.frame;
        entry.layout = layout;
    }
    reused_ = pass.reused_;
    // The memos built in this update keep where their reports are kept, for the next to reuse.
    for (MemoRecord* rec : pass.recorded_) {
        for (size_t i = 0; i < rec->frameReports.size(); ++i)
            rec->frameReports[i].entry = pass.frameReports_[rec->reportBegin + i].entry;
        for (size_t i = 0; i < rec->animationKeys.size(); ++i)
            rec->animationKeys[i].entry = pass.animationKeys_[rec->keyBegin + i].entry;
    }
    std::erase_if(reportedFrames_, [layout](const auto& e) { return e.second.layout != layout; });
    scratch_->frameReports = std::move(pass.frameReports_);
    scratch_->frameReports.clear();
    scratch_->animationKeys = std::move(pass.animationKeys_);
    scratch_->animationKeys.clear();
    // The pass's appear and frame handlers stand in the tree's elements: the tree goes only now.
    tree.reset();
    updating_ = false;

    for (auto& call : calls) call();
    if (pointer_) updateHover();
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
    auto info = scrollInfo_.find(r->scrollPath);
    if (info == scrollInfo_.end()) return false;
    double maxOffset = std::max(0.0, info->second.contentLength - info->second.viewportLength);
    if (maxOffset <= 0) return false;
    // A plain wheel turns a horizontal-only view sideways.
    double delta = r->scrollAxis == Axis::horizontal ? (deltaX != 0 ? deltaX : deltaY) : deltaY;
    if (delta == 0) return false;
    auto scroller = scrollerFor(r->scrollPath);
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
