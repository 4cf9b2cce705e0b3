#include "ui/Panel.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "platform/Windowing.h"

namespace qv {

namespace {

constexpr double kTitleBarHeight = 28;

// A titled window's frame holds its title bar above the content rectangle it was made with. A
// full-size content view runs under the title bar, but what its hosting view lays out keeps to the
// safe area below it, which is the content rectangle: that area is what the content view models.
bool carriesTitleBar(uint64_t styleMask) {
    return styleMask & stylemask::kTitled;
}

std::string describe(const Rect& r) {
    std::ostringstream os;
    os << r;
    return os.str();
}

}  // namespace

Panel::Panel(Windowing& windowing, Runtime& runtime, Rect contentRect, uint64_t styleMask)
    : windowing_(windowing), runtime_(runtime), frame_(contentRect), styleMask_(styleMask) {
    if (carriesTitleBar(styleMask)) {
        frame_.size.height += kTitleBarHeight;
    }
}

Panel::~Panel() {
    if (frameAnimation_) frameAnimation_->cancel();
    if (alphaAnimation_) alphaAnimation_->cancel();
}

void Panel::attach() {
    if (windowNumber_ == 0) windowNumber_ = windowing_.registerPanel(shared_from_this());
}

void Panel::setFrame(Rect frame, bool) {
    applyFrame(frame);
}
void Panel::setFrame(Rect frame, bool display, bool animate) {
    if (animate) {
        animateFrame(frame, Animation::easeInOut(0.2), display);
    } else {
        setFrame(frame, display);
    }
}

void Panel::applyFrame(Rect frame) {
    if (frame == frame_) return;
    frame_ = frame;
    if (content_) content_->setFrameSize(contentRect().size);
    if (windowNumber_) windowing_.panelDidChange(*this);
}

void Panel::setFrameOrigin(Point origin) {
    setFrame(Rect{origin, frame_.size}, true);
}

void Panel::setContentSize(Size size) {
    Rect f = frame_;
    f.size = size;
    if (carriesTitleBar(styleMask_)) {
        f.size.height += kTitleBarHeight;
    }
    setFrame(f, true);
}

Rect Panel::contentRect() const {
    if (carriesTitleBar(styleMask_)) {
        return {frame_.minX(), frame_.minY(), frame_.width(),
                std::max(0.0, frame_.height() - kTitleBarHeight)};
    }
    return frame_;
}

Point Panel::convertToScreen(Point p) const {
    Rect c = contentRect();
    return {c.minX() + p.x, c.maxY() - p.y};
}

Point Panel::convertFromScreen(Point p) const {
    Rect c = contentRect();
    return {p.x - c.minX(), c.maxY() - p.y};
}

std::optional<Screen> Panel::screen() const {
    std::optional<Screen> best;
    double bestArea = 0;
    for (const Screen& s : windowing_.screens()) {
        double a = s.frame.intersection(frame_).area();
        if (a > bestArea) {
            bestArea = a;
            best = s;
        }
    }
    return best;
}

std::optional<Rect> Panel::closeButtonFrame() const {
    if (!(styleMask_ & stylemask::kTitled) || !(styleMask_ & stylemask::kClosable)) return std::nullopt;
    return Rect{frame_.minX() + 8, frame_.maxY() - 20, 14, 14};
}

void Panel::setLevel(int level) {
    if (level == level_) return;
    level_ = level;
    if (windowNumber_) windowing_.panelDidChange(*this);
}

void Panel::setAlphaValue(double a) {
    a = std::clamp(a, 0.0, 1.0);
    if (a == alpha_) return;
    alpha_ = a;
    if (windowNumber_) windowing_.panelDidChange(*this);
}

void Panel::setTitle(std::string t) {
    title_ = std::move(t);
    if (windowNumber_) windowing_.panelDidChange(*this);
}

bool Panel::canBecomeKey() const {
    // NSPanel: a borderless window cannot become key unless it says so.
    return (styleMask_ & stylemask::kTitled) != 0;
}
bool Panel::canBecomeMain() const {
    return (styleMask_ & stylemask::kTitled) != 0;
}

void Panel::becomeKey() {
    isKey_ = true;
    // The first time a window is key it picks its first responder, so typing has a taker at once.
    if (!std::exchange(hasBeenKey_, true) && content_) content_->takeInitialFocus();
}
void Panel::resignKey() {
    isKey_ = false;
}

void Panel::makeKeyWindow() {
    if (!canBecomeKey() || closed_) return;
    windowing_.makeKeyWindow(this);
}

void Panel::orderFront() {
    if (closed_) return;
    visible_ = true;
    windowing_.orderPanel(*this, true, std::nullopt);
}

void Panel::orderFrontRegardless() {
    orderFront();
}

void Panel::makeKeyAndOrderFront() {
    orderFront();
    makeKeyWindow();
}

void Panel::orderOut() {
    if (!visible_) {
        // Hidden with its application, it must not come back when the application does.
        if (windowNumber_ && !closed_) windowing_.orderPanel(*this, false, std::nullopt);
        return;
    }
    visible_ = false;
    if (isKey_) windowing_.makeKeyWindow(nullptr);
    windowing_.orderPanel(*this, false, std::nullopt);
}

void Panel::orderBelow(uint32_t windowNumber) {
    if (closed_) return;
    visible_ = true;
    windowing_.orderPanel(*this, true, windowNumber);
}

void Panel::close() {
    if (closed_) return;
    orderOut();
    closed_ = true;
    if (frameAnimation_) frameAnimation_->cancel();
    if (alphaAnimation_) alphaAnimation_->cancel();
    windowing_.unregisterPanel(*this);
}

bool Panel::isAnimating() const {
    return std::any_of(animations_.begin(), animations_.end(),
                       [](const AnimationRecord& a) { return !a.completed; });
}

void Panel::animateFrame(Rect target, Animation animation, bool display) {
    if (frameAnimation_) frameAnimation_->cancel();
    for (auto& a : animations_) {
        if (a.target == "frame") a.completed = true;
    }
    animations_.push_back({"frame", animation, describe(frame_), describe(target), runtime_.now(), false});
    size_t index = animations_.size() - 1;
    std::weak_ptr<Panel> weak = weak_from_this();
    frameAnimation_ = runtime_.mainQueue()->asyncAfter(animation.duration, [weak, target, display, index] {
        auto p = weak.lock();
        if (!p) return;
        p->animations_[index].completed = true;
        // The animator goes through the same setter as any frame change.
        p->setFrame(target, display);
    });
}

void Panel::animateAlpha(double target, Animation animation) {
    if (alphaAnimation_) alphaAnimation_->cancel();
    for (auto& a : animations_) {
        if (a.target == "alpha") a.completed = true;
    }
    animations_.push_back(
        {"alpha", animation, std::to_string(alpha_), std::to_string(target), runtime_.now(), false});
    size_t index = animations_.size() - 1;
    std::weak_ptr<Panel> weak = weak_from_this();
    alphaAnimation_ = runtime_.mainQueue()->asyncAfter(animation.duration, [weak, target, index] {
        auto p = weak.lock();
        if (!p) return;
        p->animations_[index].completed = true;
        p->setAlphaValue(target);
    });
}

void Panel::pushAppearance() {
    if (!content_) return;
    content_->setSystemColorScheme(windowing_.systemAppearanceIsDark() ? ColorScheme::dark
                                                                       : ColorScheme::light);
    content_->setReduceTransparency(windowing_.accessibilityDisplayShouldReduceTransparency());
}

void Panel::setContentView(std::shared_ptr<HostingView> view) {
    if (content_) content_->attachToWindow({}, nullptr);
    content_ = std::move(view);
    if (!content_) return;
    content_->setFrameSize(contentRect().size);
    pushAppearance();
    std::weak_ptr<Panel> weak = weak_from_this();
    content_->attachToWindow(weak, [weak](const Menu& menu, Point contentPoint) {
        if (auto p = weak.lock())
            p->windowing_.popUpContextMenu(menu, p->convertToScreen(contentPoint), p.get());
    });
    content_->setNeedsUpdate();
}

void Panel::resetCursorRects() {
    if (!content_) return;
    content_->discardCursorRects();
    content_->resetCursorRects();
}

void Panel::sendEvent(const Event& event) {
    switch (event.type) {
        case EventType::mouseEntered:
        case EventType::mouseExited:
            if (event.trackingArea) {
                if (auto owner = event.trackingArea->owner.lock()) {
                    if (event.type == EventType::mouseEntered) {
                        owner->mouseEntered(event);
                    } else {
                        owner->mouseExited(event);
                    }
                } else if (event.trackingArea->viewOwner) {
                    event.trackingArea->viewOwner(event);
                }
                return;
            }
            break;
        case EventType::mouseMoved:
            if (acceptsMouseMovedEvents) mouseMoved(event);
            break;
        case EventType::cursorUpdate:
            cursorUpdate(event);
            return;
        default:
            break;
    }
    dispatchToContent(event);
}

void Panel::dispatchToContent(const Event& event) {
    if (!content_) return;
    pushAppearance();
    Point p = convertFromScreen(event.screenLocation);
    switch (event.type) {
        case EventType::mouseMoved:
            content_->mouseMoved(p);
            break;
        case EventType::mouseExited:
            content_->mouseExited();
            break;
        case EventType::leftMouseDown:
            content_->mouseDown(p, event.modifierFlags, std::max(1, event.clickCount));
            break;
        case EventType::leftMouseDragged:
            content_->mouseDragged(p);
            break;
        case EventType::leftMouseUp:
            content_->mouseUp(p);
            break;
        case EventType::rightMouseDown:
            content_->rightMouseDown(p);
            break;
        case EventType::scrollWheel:
            content_->scrollWheel(p, event.scrollingDeltaX, event.scrollingDeltaY);
            break;
        case EventType::keyDown:
            content_->keyDown(event.keyCode, event.characters, event.modifierFlags);
            break;
        default:
            break;
    }
}

bool Event::isMouseEvent() const {
    switch (type) {
        case EventType::keyDown:
        case EventType::keyUp:
        case EventType::flagsChanged:
            return false;
        default:
            return true;
    }
}

}  // namespace qv
