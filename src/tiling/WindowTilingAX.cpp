#include "tiling/WindowTilingAX.h"

#include <cmath>

namespace qv {

namespace {

constexpr const char* kPosition = "AXPosition";
constexpr const char* kSize = "AXSize";
constexpr const char* kEnhancedUserInterface = "AXEnhancedUserInterface";
constexpr double kFarEdgeTolerance = 0.5;

}  // namespace

std::shared_ptr<WindowTilingAX> WindowTilingAX::create(Platform& platform) {
    return std::shared_ptr<WindowTilingAX>(new WindowTilingAX(platform));
}

WindowTilingAX::WindowTilingAX(Platform& platform)
    : ax_(platform.accessibility), workers_(platform.appWorkers) {}

// Requests hold the worker weakly, so that one asked before the worker went away still runs
// (finding no worker) and its answer still comes.
template <class Work>
void WindowTilingAX::onWorker(int32_t pid, Work&& work) {
    noteAsked(pid);
    workers_.ask(pid,
                 [weak = weak_from_this(), work = std::forward<Work>(work)]() mutable { work(weak.lock()); });
}

template <class Work, class Answer>
void WindowTilingAX::onWorker(int32_t pid, Work&& work, Answer&& answer) {
    noteAsked(pid);
    workers_.ask(
        pid,
        [weak = weak_from_this(), work = std::forward<Work>(work)]() mutable { return work(weak.lock()); },
        std::forward<Answer>(answer));
}

void WindowTilingAX::noteAsked(int32_t pid) {
    std::lock_guard lock(lock_);
    askedSinceReset_.insert(pid);
}

// --- Public operations (main thread) ---

void WindowTilingAX::checkEligibility(WindowKey key, std::function<void(Eligibility)> completion) {
    onWorker(
        key.pid,
        [key](const std::shared_ptr<WindowTilingAX>& self) { return self && self->queueCanTile(key); },
        [completion = std::move(completion)](bool canTile) { completion(Eligibility{canTile}); });
}

void WindowTilingAX::focusedWindow(int32_t pid,
                                   std::function<void(std::optional<FocusedWindow>)> completion) {
    onWorker(
        pid,
        [pid](const std::shared_ptr<WindowTilingAX>& self) {
            return self ? self->queueFocusedWindow(pid) : std::nullopt;
        },
        std::move(completion));
}

void WindowTilingAX::setFrame(Rect frame, WindowKey key,
                              std::function<void(std::optional<Rect>)> completion) {
    {
        std::lock_guard lock(lock_);
        pendingFrames_.erase(key);
    }
    auto apply = [frame, key](const std::shared_ptr<WindowTilingAX>& self) -> std::optional<Rect> {
        if (!self) return std::nullopt;
        self->queueApply(frame, key, false);
        auto element = self->element(key);
        return element ? self->frame(*element) : std::nullopt;
    };
    if (completion)
        onWorker(key.pid, std::move(apply), std::move(completion));
    else
        onWorker(key.pid,
                 [apply = std::move(apply)](const std::shared_ptr<WindowTilingAX>& self) { apply(self); });
}

void WindowTilingAX::setFrameDuringDrag(Rect frame, WindowKey key) {
    onWorker(key.pid, [frame, key](const std::shared_ptr<WindowTilingAX>& self) {
        if (!self) return;
        if (auto element = self->element(key)) {
            self->write(*element, kSize, frame);
            self->write(*element, kPosition, frame);
        }
    });
}

void WindowTilingAX::submitLiveFrames(const std::map<WindowKey, Rect>& frames) {
    if (frames.empty()) return;
    std::vector<int32_t> toDrain;
    {
        std::lock_guard lock(lock_);
        for (const auto& [key, frame] : frames) {
            pendingFrames_[key] = frame;
            if (drainScheduled_.insert(key.pid).second) toDrain.push_back(key.pid);
        }
    }
    // One pass per application, on its own worker: a hung application's frames hold no other's.
    for (int32_t pid : toDrain) {
        onWorker(pid, [pid](const std::shared_ptr<WindowTilingAX>& self) {
            if (self) self->drainLiveFrames(pid);
        });
    }
}

void WindowTilingAX::reset() {
    std::set<int32_t> asked;
    {
        // A pass already queued finds nothing and clears its flag itself.
        std::lock_guard lock(lock_);
        pendingFrames_.clear();
        asked = std::exchange(askedSinceReset_, {});
    }
    // Each application's caches are cleared after what it was already asked, on its own worker;
    // an application that ended gets no worker again, and its caches go here.
    for (int32_t pid : asked) {
        if (workers_.hasEnded(pid)) {
            forget(pid);
            continue;
        }
        workers_.ask(pid, [weak = weak_from_this(), pid] {
            if (auto self = weak.lock()) self->forget(pid);
        });
    }
}

bool WindowTilingAX::isDrainScheduled() const {
    std::lock_guard lock(lock_);
    return !drainScheduled_.empty();
}

bool WindowTilingAX::isDrainScheduled(int32_t pid) const {
    std::lock_guard lock(lock_);
    return drainScheduled_.contains(pid);
}

// --- On the application's worker (or once it ended) ---

void WindowTilingAX::forget(int32_t pid) {
    std::lock_guard lock(cacheLock_);
    std::erase_if(elements_, [pid](const auto& entry) { return entry.first.pid == pid; });
    std::erase_if(tileable_, [pid](const auto& entry) { return entry.first.pid == pid; });
}

bool WindowTilingAX::hasGetWindow() {
    std::call_once(getWindowLookup_,
                   [this] { getWindowAvailable_ = ax_.hasEntryPoint("_AXUIElementGetWindow"); });
    return getWindowAvailable_;
}

std::optional<AXElement> WindowTilingAX::element(const WindowKey& key) {
    {
        std::lock_guard lock(cacheLock_);
        if (auto it = elements_.find(key); it != elements_.end()) return it->second;
    }
    AXElement app = ax_.createApplication(key.pid);
    ax_.setMessagingTimeout(app, kMessagingTimeout);
    Value value;
    if (ax_.copyAttributeValue(app, "AXWindows", value) != kAXErrorSuccess) return std::nullopt;
    auto windows = value.asElementArray();
    if (!windows || !hasGetWindow()) return std::nullopt;
    for (const AXElement& window : *windows) {
        uint32_t id = 0;
        if (ax_.getWindow(window, id) == kAXErrorSuccess && id == key.windowID) {
            ax_.setMessagingTimeout(window, kMessagingTimeout);
            std::lock_guard lock(cacheLock_);
            elements_[key] = window;
            return window;
        }
    }
    return std::nullopt;
}

bool WindowTilingAX::queueCanTile(const WindowKey& key) {
    auto window = element(key);
    if (!window) return false;
    Value subrole;
    if (ax_.copyAttributeValue(*window, "AXSubrole", subrole) != kAXErrorSuccess) return false;
    const std::string* text = subrole.asString();
    if (!text || *text != "AXStandardWindow") return false;
    bool settable = false;
    if (ax_.isAttributeSettable(*window, kSize, settable) != kAXErrorSuccess || !settable) return false;
    return boolAttribute("AXFullScreen", *window) != true;
}

std::optional<WindowTilingAX::FocusedWindow> WindowTilingAX::queueFocusedWindow(int32_t pid) {
    AXElement app = ax_.createApplication(pid);
    ax_.setMessagingTimeout(app, kMessagingTimeout);
    Value value;
    if (ax_.copyAttributeValue(app, "AXFocusedWindow", value) != kAXErrorSuccess) return std::nullopt;
    auto window = value.asElement();
    if (!window || !hasGetWindow()) return std::nullopt;
    uint32_t id = 0;
    if (ax_.getWindow(*window, id) != kAXErrorSuccess || id == 0) return std::nullopt;
    auto windowFrame = frame(*window);
    if (!windowFrame) return std::nullopt;
    ax_.setMessagingTimeout(*window, kMessagingTimeout);
    WindowKey key{pid, id};
    {
        std::lock_guard lock(cacheLock_);
        elements_[key] = *window;
    }
    return FocusedWindow{key, *windowFrame, queueCanTile(key)};
}

void WindowTilingAX::write(const AXElement& element, const char* attribute, const Rect& frame) {
    Value value = attribute == kPosition ? Value::axPoint(frame.origin) : Value::axSize(frame.size);
    ax_.setAttributeValue(element, attribute, value);  // a refused write is absorbed
}

void WindowTilingAX::queueApply(const Rect& target, const WindowKey& key, bool keepFarEdges) {
    auto window = element(key);
    if (!window) return;
    // Applications with the enhanced interface on animate every change, which makes a burst of
    // writes land late and out of order: switch it off around them.
    AXElement app = ax_.createApplication(key.pid);
    ax_.setMessagingTimeout(app, kMessagingTimeout);  // a hung application must not stall the worker
    const bool enhanced = boolAttribute(kEnhancedUserInterface, app) == true;
    if (enhanced) ax_.setAttributeValue(app, kEnhancedUserInterface, Value::boolean(false));

    const std::optional<Rect> before = frame(*window);
    if (!keepFarEdges) {
        // Size first lets the position fit on the screen; the second size is what the first could
        // not be at the old position.
        write(*window, kSize, target);
        write(*window, kPosition, target);
        write(*window, kSize, target);
    } else if (!before) {
        write(*window, kPosition, target);
        write(*window, kSize, target);
    } else {
        // A window that does not grow shrinks first, so its far edges never overshoot.
        if (before->width() >= target.width() && before->height() >= target.height()) {
            write(*window, kSize, target);
            write(*window, kPosition, target);
        } else {
            write(*window, kPosition, target);
            write(*window, kSize, target);
        }
        // An application that keeps the window larger than asked: keep the far edge that was meant
        // to stay where it was.
        if (auto back = frame(*window)) {
            Point origin = back->origin;
            if (back->width() > target.width() + kFarEdgeTolerance &&
                std::abs(target.maxX() - before->maxX()) < kFarEdgeTolerance) {
                origin.x = target.maxX() - back->width();
            }
            if (back->height() > target.height() + kFarEdgeTolerance &&
                std::abs(target.maxY() - before->maxY()) < kFarEdgeTolerance) {
                origin.y = target.maxY() - back->height();
            }
            if (origin != back->origin) write(*window, kPosition, Rect{origin, back->size});
        }
    }
    if (enhanced) ax_.setAttributeValue(app, kEnhancedUserInterface, Value::boolean(true));
}

void WindowTilingAX::drainLiveFrames(int32_t pid) {
    for (;;) {
        WindowKey key;
        Rect target;
        {
            std::lock_guard lock(lock_);
            auto first = pendingFrames_.lower_bound(WindowKey{pid, 0});
            if (first == pendingFrames_.end() || first->first.pid != pid) {
                drainScheduled_.erase(pid);
                return;
            }
            key = first->first;
            target = first->second;
            pendingFrames_.erase(first);
        }
        std::optional<bool> verdict;
        {
            std::lock_guard lock(cacheLock_);
            if (auto it = tileable_.find(key); it != tileable_.end()) verdict = it->second;
        }
        if (!verdict) {
            verdict = queueCanTile(key);
            std::lock_guard lock(cacheLock_);
            tileable_[key] = *verdict;
        }
        if (*verdict) queueApply(target, key, true);
    }
}

std::optional<Rect> WindowTilingAX::frame(const AXElement& element) {
    Value position, size;
    if (ax_.copyAttributeValue(element, kPosition, position) != kAXErrorSuccess ||
        ax_.copyAttributeValue(element, kSize, size) != kAXErrorSuccess) {
        return std::nullopt;
    }
    auto p = position.asAXValue();
    auto s = size.asAXValue();
    if (!p || !s || p->type != AXValueData::Type::Point || s->type != AXValueData::Type::Size)
        return std::nullopt;
    return Rect{p->point, s->size};
}

std::optional<bool> WindowTilingAX::boolAttribute(const std::string& name, const AXElement& element) {
    Value value;
    if (ax_.copyAttributeValue(element, name, value) != kAXErrorSuccess) return std::nullopt;
    if (auto b = value.asBool()) return b;
    if (auto n = value.asNumberObject(); n && n->type() == NumberObject::Type::Bool) return n->boolValue();
    return std::nullopt;
}

}  // namespace qv
