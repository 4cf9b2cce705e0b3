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
    : ax_(platform.accessibility),
      mainQueue_(platform.runtime.mainQueue()),
      queue_(platform.runtime.makeSerialQueue(kQueueLabel, QoS::userInteractive)) {}

// Queued work holds the worker weakly and the queue strongly, so that work queued before the
// worker went away still runs (finding no worker) and its completion still answers.
template <class Work>
void WindowTilingAX::onQueue(Work&& work) {
    queue_->async([weak = weak_from_this(), queue = queue_, work = std::forward<Work>(work)]() mutable {
        work(weak.lock());
    });
}

// --- Public operations (main thread) ---

void WindowTilingAX::checkEligibility(WindowKey key, std::function<void(Eligibility)> completion) {
    onQueue(
        [key, completion = std::move(completion), main = mainQueue_](std::shared_ptr<WindowTilingAX> self) {
            bool canTile = self && self->queueCanTile(key);
            main->async([completion, canTile] { completion(Eligibility{canTile}); });
        });
}

void WindowTilingAX::focusedWindow(int32_t pid,
                                   std::function<void(std::optional<FocusedWindow>)> completion) {
    onQueue(
        [pid, completion = std::move(completion), main = mainQueue_](std::shared_ptr<WindowTilingAX> self) {
            std::optional<FocusedWindow> focused;
            if (self) focused = self->queueFocusedWindow(pid);
            main->async([completion, focused] { completion(focused); });
        });
}

void WindowTilingAX::setFrame(Rect frame, WindowKey key,
                              std::function<void(std::optional<Rect>)> completion) {
    {
        std::lock_guard lock(lock_);
        pendingFrames_.erase(key);
    }
    onQueue([frame, key, completion = std::move(completion),
             main = mainQueue_](std::shared_ptr<WindowTilingAX> self) {
        std::optional<Rect> readBack;
        if (self) {
            self->queueApply(frame, key, false);
            if (auto element = self->element(key)) readBack = self->frame(*element);
        }
        if (completion) main->async([completion, readBack] { completion(readBack); });
    });
}

void WindowTilingAX::setFrameDuringDrag(Rect frame, WindowKey key) {
    onQueue([frame, key](std::shared_ptr<WindowTilingAX> self) {
        if (!self) return;
        if (auto element = self->element(key)) {
            self->write(*element, kSize, frame);
            self->write(*element, kPosition, frame);
        }
    });
}

void WindowTilingAX::submitLiveFrames(const std::map<WindowKey, Rect>& frames) {
    if (frames.empty()) return;
    bool wasScheduled = false;
    {
        std::lock_guard lock(lock_);
        for (const auto& [key, frame] : frames) pendingFrames_[key] = frame;
        wasScheduled = std::exchange(isDrainScheduled_, true);
    }
    if (!wasScheduled) {
        onQueue([](std::shared_ptr<WindowTilingAX> self) {
            if (self) self->drainLiveFrames();
        });
    }
}

void WindowTilingAX::reset() {
    {
        // A pass already queued finds nothing and clears the flag itself.
        std::lock_guard lock(lock_);
        pendingFrames_.clear();
    }
    onQueue([](std::shared_ptr<WindowTilingAX> self) {
        if (!self) return;
        self->elements_.clear();
        self->tileable_.clear();
    });
}

bool WindowTilingAX::isDrainScheduled() const {
    std::lock_guard lock(lock_);
    return isDrainScheduled_;
}

// --- On the queue ---

bool WindowTilingAX::hasGetWindow() {
    if (!getWindowAvailable_) getWindowAvailable_ = ax_.hasEntryPoint("_AXUIElementGetWindow");
    return *getWindowAvailable_;
}

std::optional<AXElement> WindowTilingAX::element(const WindowKey& key) {
    if (auto it = elements_.find(key); it != elements_.end()) return it->second;
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
    elements_[key] = *window;
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

void WindowTilingAX::drainLiveFrames() {
    for (;;) {
        WindowKey key;
        Rect target;
        {
            std::lock_guard lock(lock_);
            if (pendingFrames_.empty()) {
                isDrainScheduled_ = false;
                return;
            }
            auto first = pendingFrames_.begin();
            key = first->first;
            target = first->second;
            pendingFrames_.erase(first);
        }
        auto verdict = tileable_.find(key);
        if (verdict == tileable_.end()) verdict = tileable_.emplace(key, queueCanTile(key)).first;
        if (verdict->second) queueApply(target, key, true);
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
