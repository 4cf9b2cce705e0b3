// An update of a hosting view: its tree laid out by one pass, and what the host keeps brought in
// line with the pass's result: the display list, the memos' records, state kept alive, the focus,
// animations, appearing and disappearing nodes and the frames they report.
#include <algorithm>
#include <utility>

#include "ui/HostingView.h"
#include "ui/LayoutPass.h"

namespace qv {

namespace {

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
    ++layouts_;
    const LayoutInputs in = layoutInputs();
    Node body;
    if (root_) {
        root_->invalidate_ = invalidator();
        std::weak_ptr<HostingView> weak = weak_from_this();
        root_->invalidateIfInputsChanged_ = [weak] {
            if (auto h = weak.lock()) h->scheduleUpdate();
        };
        root_->environment_ = in.env;
        body = root_->body();
    }
    LayoutResult result = LayoutPass::run(in, body, size_, kept_->scratch);
    std::vector<std::function<void()>> calls = reconcile(result);
    // State of nodes that are gone goes with them, once their disappear and hover-exit handlers,
    // which may still write it, have run at the end of this update.
    auto gone = kept_->states->collect(layouts_);
    // The result's handlers stand in the tree's elements: the tree goes only now.
    kept_->scratch.reclaim(result);
    updating_ = false;

    for (auto& call : calls) call();
    if (std::exchange(initialFocusPending_, false)) focusFirstTextField();
    if (pointer_) updateHover();
}

std::vector<std::function<void()>> HostingView::reconcile(LayoutResult& result) {
    focusedPath_ = result.focusedPath;
    takeList(result);
    // What is kept of memos that are gone goes with them.
    std::erase_if(kept_->memos, [this](const auto& e) { return e.second->resolved != layouts_; });
    dropLostFocus();
    startAnimations(result);
    std::vector<std::function<void()>> calls;
    takeAppearances(result, calls);
    takeFrameReports(result, calls);
    std::swap(kept_->reused, result.reused);
    // The memos built in this layout keep where the host keeps their reports, for the next to reuse.
    finishMemoRecords(result);
    return calls;
}

void HostingView::takeList(LayoutResult& result) {
    std::swap(list_, result.list);
    kept_->scratch.reclaimList(result.list);
    for (auto& [path, info] : result.scrollInfo) kept_->scrollInfo[path] = info;
}

void HostingView::dropLostFocus() {
    // A focused control that is no longer there, or now disabled, loses the focus.
    if (!focusedPath_.empty() &&
        std::none_of(list_.regions.begin(), list_.regions.end(), [&](const HitRegion& r) {
            return r.focusable && r.enabled && r.path == focusedPath_;
        })) {
        focusedPath_.clear();
        focusChange_ = nullptr;
    }
}

void HostingView::startAnimations(LayoutResult& result) {
    const uint64_t layout = layouts_;
    auto& keys = kept_->animationKeys;
    // Animations whose key changed since the last evaluation.
    std::vector<AnimationRecord> started = result.scrollAnimations;
    for (auto& k : result.animationKeys) {
        const bool added = takeEntry(keys, k);
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
    std::erase_if(keys, [layout](const auto& e) { return e.second.layout != layout; });
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
}

void HostingView::takeAppearances(LayoutResult& result, std::vector<std::function<void()>>& calls) {
    const uint64_t layout = layouts_;
    auto& appeared = kept_->appeared;
    for (auto& [path, appear] : result.appears) {
        auto it = appeared.find(path);
        if (it != appeared.end()) {
            it->second = layout;
        } else {
            it = appeared.emplace(std::string(path), layout).first;
            calls.push_back(*appear.action);
        }
        appear.entry = &*it;
    }
    for (auto& [path, action] : kept_->disappearHandlers) {
        if (!result.disappears.contains(path)) calls.push_back(action);
    }
    std::erase_if(appeared, [layout](const auto& e) { return e.second != layout; });
    kept_->disappearHandlers = std::move(result.disappears);
}

void HostingView::takeFrameReports(LayoutResult& result, std::vector<std::function<void()>>& calls) {
    const uint64_t layout = layouts_;
    auto& frames = kept_->reportedFrames;
    // Frames that moved.
    for (auto& report : result.frameReports) {
        const bool added = takeEntry(frames, report);
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
    std::erase_if(frames, [layout](const auto& e) { return e.second.layout != layout; });
}

}  // namespace qv
