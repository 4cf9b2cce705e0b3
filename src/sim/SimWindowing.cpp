#include "sim/SimWindowing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "sim/SimDesktop.h"
#include "sim/SimEventTaps.h"

namespace qv {

void requireMainThread(SimDesktop& sim, const char* call) {
    if (sim.runtime().mainQueue()->isCurrent()) return;
    std::fprintf(stderr, "Main thread checker: %s called on a background thread\n", call);
    std::abort();
}

namespace {

// The active Space of the display under a window-server frame.
uint64_t activeSpaceFor(const SimDesktop& sim, const Rect& wsFrame) {
    const SimDisplay* d = sim.displayContaining(wsFrame);
    return d ? d->activeSpace : 0;
}

}  // namespace

uint32_t SimWindowing::registerPanel(const std::shared_ptr<Panel>& panel) {
    requireMainThread(sim_, "NSWindow.init");
    SimWindowSpec spec;
    spec.pid = sim_.ownPID();
    spec.title = panel->title();
    spec.frame = flipVertically(panel->frame(), sim_.primaryHeight());
    spec.layer = panel->level();
    spec.alpha = static_cast<float>(panel->alpha());
    spec.space = 0;  // placed on a Space when first ordered in
    spec.role = "AXWindow";
    spec.subrole = std::nullopt;
    uint32_t id = sim_.openWindow(spec);
    if (SimWindow* w = sim_.window(id)) {
        w->orderedIn = false;
        w->inAXWindowList = false;
    }
    panels_[id] = panel;
    sim_.record("NSWindow.init", Value::number(NumberObject::ofUnsigned(id)));
    return id;
}

void SimWindowing::syncWindow(Panel& panel) {
    SimWindow* w = sim_.window(panel.windowNumber());
    if (!w) return;
    w->frame = flipVertically(panel.frame(), sim_.primaryHeight());
    w->layer = panel.level();
    w->alpha = static_cast<float>(panel.alpha());
    w->title = panel.title();
}

void SimWindowing::panelDidChange(Panel& panel) {
    requireMainThread(sim_, "NSWindow.setFrame");
    syncWindow(panel);
}

namespace {

// AppKit keeps a titled window's title bar, close button included, below the menu bar when it
// orders the window in (constrainFrameRect(_:to:)): its top comes down to the screen's visible top,
// whatever then falls off the bottom.
void constrainTitleBar(Panel& panel) {
    if (!(panel.styleMask() & stylemask::kTitled)) return;
    const std::optional<Screen> screen = panel.screen();
    if (!screen) return;
    const Rect frame = panel.frame();
    const double top = screen->visibleFrame.maxY();
    if (frame.maxY() > top) panel.setFrameOrigin({frame.minX(), top - frame.height()});
}

}  // namespace

void SimWindowing::orderPanel(Panel& panel, bool in, std::optional<uint32_t> below) {
    requireMainThread(sim_, "NSWindow.orderFront");
    if (in) constrainTitleBar(panel);
    SimWindow* w = sim_.window(panel.windowNumber());
    if (!w) return;
    syncWindow(panel);
    if (!in) {
        std::erase(hiddenOnDeactivate_, w->id);
        if (!w->orderedIn) return;  // already off screen: nothing for the window server to do
        w->orderedIn = false;
        sim_.record("NSWindow.orderOut", Value::number(NumberObject::ofUnsigned(w->id)));
        if (pointerPanel_ == w->id) pointerPanel_ = 0;
        return;
    }
    // A window goes to the active Space when first shown; one that moves to the active Space
    // follows the user on every showing; one that joins all Spaces is on every Space. A display
    // without Spaces of its own has no active one to give: a window shown there joins all Spaces,
    // so that it shows whichever is active.
    uint64_t behavior = panel.collectionBehavior;
    const bool placed = !w->spaces.empty() && !(behavior & collectionbehavior::kMoveToActiveSpace);
    const uint64_t active = activeSpaceFor(sim_, w->frame);
    if ((behavior & collectionbehavior::kCanJoinAllSpaces) || (!placed && !active)) {
        std::set<uint64_t> all;
        for (const SimDisplay& d : sim_.displays()) all.insert(d.spaces.begin(), d.spaces.end());
        w->spaces = all;
    } else if (!placed) {
        w->spaces = {active};
    }
    w->orderedIn = true;
    uint32_t id = w->id;
    if (below && sim_.window(*below)) {
        // Just below the given window: raise ours, then that window and everything that was above it.
        int64_t targetZ = sim_.window(*below)->z;
        std::vector<const SimWindow*> above;
        for (const auto& [wid, other] : sim_.windows()) {
            if (wid != id && other.z >= targetZ) above.push_back(&other);
        }
        std::sort(above.begin(), above.end(),
                  [](const SimWindow* a, const SimWindow* b) { return a->z < b->z; });
        std::vector<uint32_t> ids;
        for (const SimWindow* o : above) ids.push_back(o->id);
        sim_.raiseWindow(id);
        for (uint32_t o : ids) sim_.raiseWindow(o);
        sim_.record("NSWindow.orderBelow", Value::array({Value::number(NumberObject::ofUnsigned(id)),
                                                         Value::number(NumberObject::ofUnsigned(*below))}));
    } else {
        sim_.raiseWindow(id);
        sim_.record("NSWindow.orderFront", Value::number(NumberObject::ofUnsigned(id)));
    }
}

void SimWindowing::unregisterPanel(Panel& panel) {
    requireMainThread(sim_, "NSWindow.close");
    uint32_t id = panel.windowNumber();
    if (key_ == id) key_ = 0;
    if (pointerPanel_ == id) pointerPanel_ = 0;
    panels_.erase(id);
    sim_.closeWindow(id);
    sim_.record("NSWindow.close", Value::number(NumberObject::ofUnsigned(id)));
}

void SimWindowing::makeKeyWindow(Panel* panel) {
    requireMainThread(sim_, "NSWindow.makeKey");
    uint32_t id = panel ? panel->windowNumber() : 0;
    // A window made key on a desktop that is not showing brings its display to that desktop.
    if (const SimWindow* w = id ? sim_.window(id) : nullptr;
        w && w->spaces.size() == 1 && !sim_.isActiveSpace(*w->spaces.begin()))
        sim_.switchToSpace(*w->spaces.begin());
    if (id == key_) return;
    auto previous = this->panel(key_);
    key_ = id;
    if (previous) previous->resignKey();
    if (panel) {
        sim_.record("NSWindow.makeKey", Value::number(NumberObject::ofUnsigned(id)));
        panel->becomeKey();
    }
}

bool SimWindowing::isActive() {
    requireMainThread(sim_, "NSApp.isActive");
    return active_;
}

Point SimWindowing::mouseLocation() {
    requireMainThread(sim_, "NSEvent.mouseLocation");
    return pointerLocation();
}

bool SimWindowing::systemAppearanceIsDark() {
    requireMainThread(sim_, "NSApp.effectiveAppearance");
    return dark_;
}

bool SimWindowing::accessibilityDisplayShouldReduceTransparency() {
    requireMainThread(sim_, "NSWorkspace.accessibilityDisplayShouldReduceTransparency");
    return reduceTransparency_;
}

std::shared_ptr<Panel> SimWindowing::keyWindow() {
    requireMainThread(sim_, "NSApp.keyWindow");
    return keyPanel();
}

Point SimWindowing::pointerLocation() const {
    if (pointerMoved_) return mouse_;
    const SimDisplay* primary = sim_.primaryDisplay();
    if (!primary) return mouse_;
    const Rect& f = primary->frame;
    return flipVertically(Point{f.midX(), f.midY()}, sim_.primaryHeight());
}

std::vector<Screen> SimWindowing::screens() {
    requireMainThread(sim_, "NSScreen.screens");
    return sim_.screens();
}

std::optional<Screen> SimWindowing::mainScreen() {
    requireMainThread(sim_, "NSScreen.main");
    auto all = sim_.screens();
    if (all.empty()) return std::nullopt;
    if (auto key = keyWindow()) {
        if (auto s = key->screen()) return s;
    }
    return all.front();
}

void SimWindowing::activate(bool ignoringOtherApps) {
    requireMainThread(sim_, "NSApp.activate");
    sim_.record("NSApp.activate", Value::boolean(ignoringOtherApps));
    // Still marked active while the news of another application's activation is on its way.
    if (active_ && sim_.frontmostPID() == sim_.ownPID()) return;
    active_ = true;
    sim_.activateApp(sim_.ownPID());
    for (uint32_t id : std::exchange(hiddenOnDeactivate_, {})) {
        if (auto p = panel(id)) p->orderFront();
    }
}

void SimWindowing::deactivate() {
    // Another application's window takes the keyboard: ours, a non-activating panel too, is key no
    // more.
    if (auto key = keyPanel()) {
        key_ = 0;
        key->resignKey();
    }
    if (!active_) return;
    active_ = false;
    for (auto& p : panels()) {
        if (p->hidesOnDeactivate && p->isVisible()) {
            p->orderOut();
            hiddenOnDeactivate_.push_back(p->windowNumber());
        }
    }
}

void SimWindowing::relocatePanel(uint32_t windowNumber, Rect frame) {
    // The window server moves the window on its own thread; AppKit learns of it on the main one.
    if (!sim_.runtime().mainQueue()->isCurrent()) {
        sim_.runtime().mainQueue()->async(
            [this, windowNumber, frame] { relocatePanel(windowNumber, frame); });
        return;
    }
    if (auto p = panel(windowNumber)) p->setFrame(flipVertically(frame, sim_.primaryHeight()), true);
}

MonitorToken SimWindowing::addLocalMonitor(EventMask mask, LocalMonitorHandler handler) {
    requireMainThread(sim_, "NSEvent.addLocalMonitorForEvents");
    if (refuseMonitors_) return 0;
    monitors_.push_back({nextToken_, mask, true, std::move(handler), nullptr});
    sim_.record("NSEvent.addLocalMonitorForEvents", Value::number(NumberObject::ofUnsigned(mask)));
    return nextToken_++;
}

MonitorToken SimWindowing::addGlobalMonitor(EventMask mask, GlobalMonitorHandler handler) {
    requireMainThread(sim_, "NSEvent.addGlobalMonitorForEvents");
    if (refuseMonitors_) return 0;
    monitors_.push_back({nextToken_, mask, false, nullptr, std::move(handler)});
    sim_.record("NSEvent.addGlobalMonitorForEvents", Value::number(NumberObject::ofUnsigned(mask)));
    return nextToken_++;
}

void SimWindowing::removeMonitor(MonitorToken token) {
    requireMainThread(sim_, "NSEvent.removeMonitor");
    std::erase_if(monitors_, [&](const Monitor& m) { return m.token == token; });
    sim_.record("NSEvent.removeMonitor", Value::number(NumberObject::ofUnsigned(token)));
}

std::optional<Event> SimWindowing::currentEvent() {
    requireMainThread(sim_, "NSApp.currentEvent");
    if (eventStack_.empty()) return std::nullopt;
    return eventStack_.back();
}

void SimWindowing::setCursor(Cursor cursor) {
    requireMainThread(sim_, "NSCursor.set");
    cursor_ = cursor;
    ++cursorSets_;
}

void SimWindowing::popUpContextMenu(const Menu& menu, Point location, Panel* panel) {
    requireMainThread(sim_, "NSMenu.popUpContextMenu");
    for (auto& m : menus_) m.open = false;
    menus_.push_back({menu, location, panel ? panel->windowNumber() : 0, true, {}});
    Value::Array titles;
    for (const auto& t : menu.titles()) titles.push_back(Value::string(t));
    sim_.record("NSMenu.popUpContextMenu", Value::array(std::move(titles)));
}

void SimWindowing::cancelMenuTracking() {
    requireMainThread(sim_, "NSMenu.cancelTracking");
    if (!openMenu()) return;
    sim_.record("NSMenu.cancelTracking");
    dismissMenu();
}

const SimPresentedMenu* SimWindowing::openMenu() const {
    if (menus_.empty() || !menus_.back().open) return nullptr;
    return &menus_.back();
}

bool SimWindowing::pickMenuItem(const std::vector<std::string>& titles) {
    if (!openMenu()) return false;
    SimPresentedMenu& m = menus_.back();
    const MenuItem* item = m.menu.find(titles);
    if (!item || !item->enabled || !item->action) return false;
    auto action = item->action;
    m.open = false;  // choosing closes the menu before the action runs
    action();
    return true;
}

void SimWindowing::dismissMenu() {
    if (!menus_.empty()) menus_.back().open = false;
}

void SimWindowing::setSystemAppearanceDark(bool dark) {
    if (dark == dark_) return;
    dark_ = dark;
    for (auto& p : panels()) {
        if (p->contentView())
            p->contentView()->setSystemColorScheme(dark ? ColorScheme::dark : ColorScheme::light);
    }
}

void SimWindowing::setReduceTransparency(bool reduce) {
    if (reduce == reduceTransparency_) return;
    reduceTransparency_ = reduce;
    for (auto& p : panels()) {
        if (p->contentView()) p->contentView()->setReduceTransparency(reduce);
    }
    sim_.workspaceNotifications().post("NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification",
                                       Value());
}

uint32_t SimWindowing::windowNumberAt(Point location, uint32_t below) {
    requireMainThread(sim_, "NSWindow.windowNumberAtPoint");
    std::lock_guard lock(sim_.worldMutex());
    const Point ws = flipVertically(location, sim_.primaryHeight());
    const auto order = sim_.windowsInListOrder();
    // Below a window that is not on screen, every window counts.
    bool counting = below == 0 || std::none_of(order.begin(), order.end(), [&](const SimWindow* w) {
                        return w->id == below && sim_.isOnScreen(*w);
                    });
    for (const SimWindow* w : order) {
        if (!sim_.isOnScreen(*w)) break;
        if (!counting) {
            counting = w->id == below;
            continue;
        }
        if (w->alpha > 0 && w->frame.contains(ws)) return w->id;
    }
    return 0;
}

std::shared_ptr<Panel> SimWindowing::panel(uint32_t windowNumber) const {
    auto it = panels_.find(windowNumber);
    return it == panels_.end() ? nullptr : it->second.lock();
}

std::vector<std::shared_ptr<Panel>> SimWindowing::panels() const {
    std::vector<std::shared_ptr<Panel>> out;
    for (const auto& [id, weak] : panels_) {
        if (auto p = weak.lock()) out.push_back(p);
    }
    return out;
}

SimWindowing::Target SimWindowing::targetAt(Point p) const {
    Point ws = flipVertically(p, sim_.primaryHeight());
    for (const SimWindow* w : sim_.windowsInListOrder()) {
        if (!sim_.isOnScreen(*w)) break;
        if (!w->frame.contains(ws) || w->alpha <= 0) continue;
        if (w->ownerPID != sim_.ownPID()) return {nullptr, w->ownerPID, w->id};
        auto panel = this->panel(w->id);
        if (!panel || panel->ignoresMouseEvents) continue;
        // The title bar and its buttons are the window's own: they never let the pointer through.
        if (onTitleBar(*panel, p)) return {panel, 0, 0};
        // Transparent parts of a window let the pointer through.
        if (auto content = panel->contentView(); content && !content->hitTest(panel->convertFromScreen(p)))
            continue;
        return {panel, 0, 0};
    }
    return {};
}

std::shared_ptr<Panel> SimWindowing::panelAt(Point p) const {
    return targetAt(p).panel;
}

Event SimWindowing::makeEvent(EventType type, Point p, const std::shared_ptr<Panel>& panel) const {
    Event e;
    e.type = type;
    e.timestamp = sim_.runtime().now();
    e.screenLocation = p;
    if (panel) {
        e.window = panel;
        e.windowNumber = panel->windowNumber();
        e.locationInWindow = {p.x - panel->frame().minX(), p.y - panel->frame().minY()};
    } else {
        e.locationInWindow = p;
    }
    return e;
}

bool SimWindowing::dispatchLocal(const Event& event, const std::shared_ptr<Panel>& panel,
                                 bool keyEquivalent) {
    eventStack_.push_back(event);
    std::optional<Event> current = event;
    auto monitors = monitors_;  // a handler may add or remove monitors
    for (const Monitor& m : monitors) {
        if (!m.local || !(m.mask & eventMask(event.type))) continue;
        if (std::none_of(monitors_.begin(), monitors_.end(),
                         [&](const Monitor& x) { return x.token == m.token; })) {
            continue;
        }
        current = m.localHandler(*current);
        if (!current) break;
    }
    if (current && panel && !panel->isClosed() && !(keyEquivalent && panel->performKeyEquivalent(*current)))
        panel->sendEvent(*current);
    eventStack_.pop_back();
    return current.has_value();
}

void SimWindowing::dispatchGlobal(const Event& event) {
    auto monitors = monitors_;
    for (const Monitor& m : monitors) {
        if (m.local || !(m.mask & eventMask(event.type))) continue;
        if (std::none_of(monitors_.begin(), monitors_.end(),
                         [&](const Monitor& x) { return x.token == m.token; })) {
            continue;
        }
        m.globalHandler(event);
    }
}

void SimWindowing::updatePointerPanels(Point p) {
    auto target = targetAt(p);
    uint32_t now = target.panel ? target.panel->windowNumber() : 0;
    if (pointerPanel_ && pointerPanel_ != now) {
        if (auto old = panel(pointerPanel_)) {
            Event exit = makeEvent(EventType::mouseExited, p, old);
            eventStack_.push_back(exit);
            old->sendEvent(exit);
            eventStack_.pop_back();
        }
    }
    pointerPanel_ = now;
    // Tracking areas of every visible panel, entered and left in that order.
    for (auto& panel : panels()) {
        if (!panel->isVisible() || !panel->contentView()) continue;
        Point local = panel->convertFromScreen(p);
        for (const auto& area : panel->contentView()->trackingAreas()) {
            bool inside = panel->windowNumber() == now && area->rect.contains(local);
            bool was = insideAreas_[area.get()];
            if (inside == was) continue;
            insideAreas_[area.get()] = inside;
            Event e = makeEvent(inside ? EventType::mouseEntered : EventType::mouseExited, p, panel);
            e.trackingArea = area;
            eventStack_.push_back(e);
            panel->sendEvent(e);
            eventStack_.pop_back();
        }
    }
    // Cursor rectangles of the panel under the pointer.
    if (target.panel && target.panel->contentView()) {
        Point local = target.panel->convertFromScreen(p);
        for (const CursorRect& r : target.panel->contentView()->cursorRects()) {
            if (r.rect.contains(local)) setCursor(r.cursor);
        }
    }
}

void SimWindowing::mouseMove(Point p) {
    // The event taps see every input first; what they let through comes back here.
    if (sim_.eventTaps().routeInput(sim_.eventTaps().pointerEvent(eventtype::kMouseMoved, p, 0),
                                    [this, p](const CGEvent&) { mouseMove(p); }))
        return;
    mouse_ = p;
    pointerMoved_ = true;
    if (mouseDownPanel_) {
        mouseDrag(p);
        return;
    }
    trackOpenMenu(p);
    updatePointerPanels(p);
    auto target = targetAt(p);
    Event e = makeEvent(EventType::mouseMoved, p, target.panel);
    if (target.panel) {
        dispatchLocal(e, target.panel);
    } else {
        dispatchGlobal(e);
    }
}

void SimWindowing::mouseDown(Point p, uint64_t modifierFlags, int clickCount, bool right) {
    CGEventType tapType = right ? eventtype::kRightMouseDown : eventtype::kLeftMouseDown;
    if (sim_.eventTaps().routeInput(
            sim_.eventTaps().pointerEvent(tapType, p, modifierFlags),
            [=, this](const CGEvent& e) { mouseDown(p, e.flags, clickCount, right); }))
        return;
    mouse_ = p;
    pointerMoved_ = true;
    updatePointerPanels(p);
    auto target = targetAt(p);
    Event e = makeEvent(right ? EventType::rightMouseDown : EventType::leftMouseDown, p, target.panel);
    e.modifierFlags = modifierFlags;
    e.clickCount = clickCount;
    dismissMenu();
    if (!target.panel) {
        dispatchGlobal(e);
        if (target.otherPID) {
            // Clicking another application's window activates it, frontmost already or not, and
            // brings the window forward.
            deactivate();
            sim_.activateApp(target.otherPID);
            sim_.raiseWindow(target.otherWindow);
            if (!right) sim_.grabWindow(target.otherWindow, flipVertically(p, sim_.primaryHeight()));
        }
        return;
    }
    auto& panel = target.panel;
    bool firstMouse = !active_ && !panel->isKeyWindow();
    if (!right && onCloseButton(*panel, p)) {
        // The title bar's button takes the press; releasing over it closes the window.
        activate(false);
        panel->makeKeyWindow();
        closeButtonPress_ = panel;
        return;
    }
    if (!right && panel->isMovable && onTitleBar(*panel, p)) {
        titleBarPress_ = panel;
        titleBarGrip_ = {p.x - panel->frame().minX(), p.y - panel->frame().minY()};
    }
    if (!right) {
        bool nonactivating = panel->styleMask() & stylemask::kNonactivatingPanel;
        if (!nonactivating) activate(false);
        if (panel->canBecomeKey() && !panel->becomesKeyOnlyIfNeeded) panel->makeKeyWindow();
        mouseDownPanel_ = panel;  // the rest of the click belongs to this window, whatever follows
        // A click that only brings an inactive window forward is not delivered to the view, unless
        // it accepts the first mouse; the application's local monitors still see it.
        if (firstMouse && !nonactivating && panel->contentView() &&
            !panel->contentView()->acceptsFirstMouse(e)) {
            dispatchLocal(e, nullptr);
            return;
        }
    }
    dispatchLocal(e, panel);
}

void SimWindowing::mouseDrag(Point p) {
    if (sim_.eventTaps().routeInput(sim_.eventTaps().pointerEvent(eventtype::kLeftMouseDragged, p, 0),
                                    [this, p](const CGEvent&) { mouseDrag(p); }))
        return;
    mouse_ = p;
    pointerMoved_ = true;
    if (!mouseDownPanel_) {
        sim_.dragHeldWindow(flipVertically(p, sim_.primaryHeight()));
        mouseMove(p);
        return;
    }
    if (titleBarPress_) {
        moveByTitleBar(*titleBarPress_, p);
        return;
    }
    Event e = makeEvent(EventType::leftMouseDragged, p, mouseDownPanel_);
    dispatchLocal(e, mouseDownPanel_);
}

void SimWindowing::moveByTitleBar(Panel& panel, Point p) {
    const double height = panel.frame().height();
    Point origin{p.x - titleBarGrip_.x, p.y - titleBarGrip_.y};
    // No window goes under the menu bar: its title bar stays reachable.
    for (const Screen& screen : sim_.screens()) {
        if (screen.frame.contains(p)) origin.y = std::min(origin.y, screen.visibleFrame.maxY() - height);
    }
    panel.setFrameOrigin(origin);
    // Carried onto another display, it joins that display's active desktop.
    std::lock_guard lock(sim_.worldMutex());
    SimWindow* w = sim_.window(panel.windowNumber());
    if (!w) return;
    const Point pointer = flipVertically(p, sim_.primaryHeight());
    for (const SimDisplay& d : sim_.displays()) {
        if (!d.frame.contains(pointer) || !d.activeSpace) continue;
        if (std::none_of(w->spaces.begin(), w->spaces.end(), [&](uint64_t s) {
                return std::find(d.spaces.begin(), d.spaces.end(), s) != d.spaces.end();
            }))
            w->spaces = {d.activeSpace};
    }
}

void SimWindowing::mouseUp(Point p, bool right) {
    CGEventType tapType = right ? eventtype::kRightMouseUp : eventtype::kLeftMouseUp;
    if (sim_.eventTaps().routeInput(sim_.eventTaps().pointerEvent(tapType, p, 0),
                                    [=, this](const CGEvent&) { mouseUp(p, right); }))
        return;
    mouse_ = p;
    pointerMoved_ = true;
    if (!right) {
        sim_.releaseHeldWindow();
        titleBarPress_.reset();
    }
    if (auto pressed = std::exchange(closeButtonPress_, nullptr); pressed && !right) {
        if (onCloseButton(*pressed, p)) {
            sim_.record("NSWindow.performClose",
                        Value::number(NumberObject::ofUnsigned(pressed->windowNumber())));
            pressed->close();
        }
        return;
    }
    auto panel = right ? targetAt(p).panel : std::exchange(mouseDownPanel_, nullptr);
    Event e = makeEvent(right ? EventType::rightMouseUp : EventType::leftMouseUp, p, panel);
    if (panel) {
        dispatchLocal(e, panel);
    } else {
        dispatchGlobal(e);
    }
    updatePointerPanels(p);
}

void SimWindowing::scroll(Point p, double dx, double dy, MomentumPhase momentum, bool invertedFromDevice) {
    mouse_ = p;
    pointerMoved_ = true;
    auto target = targetAt(p);
    Event e = makeEvent(EventType::scrollWheel, p, target.panel);
    e.scrollingDeltaX = dx;
    e.scrollingDeltaY = dy;
    e.momentumPhase = momentum;
    e.isDirectionInvertedFromDevice = invertedFromDevice;
    if (target.panel) {
        dispatchLocal(e, target.panel);
    } else {
        dispatchGlobal(e);
    }
}

void SimWindowing::keyDown(uint16_t keyCode, std::string characters, uint64_t modifierFlags) {
    if (sim_.eventTaps().routeInput(sim_.eventTaps().keyEvent(eventtype::kKeyDown, keyCode, modifierFlags),
                                    [=, this](const CGEvent& e) { keyDown(keyCode, characters, e.flags); }))
        return;
    // An open menu tracks the keyboard itself: every key is the menu's, and Escape closes it.
    if (openMenu()) {
        if (keyCode == keycodes::kEscape) cancelMenuTracking();
        return;
    }
    auto key = keyPanel();
    Event e = makeEvent(EventType::keyDown, pointerLocation(), key);
    e.keyCode = keyCode;
    e.characters = std::move(characters);
    e.modifierFlags = modifierFlags;
    if (receivesKeys()) {
        // The application offers Command chords to the key window as key equivalents first.
        dispatchLocal(e, key, (modifierFlags & modifierflags::kCommand) != 0);
        return;
    }
    dispatchGlobal(e);
    if (auto front = sim_.frontmostPID()) {
        sim_.record("keyDown.deliveredTo",
                    Value::array({Value::number(*front), Value::number(int64_t(keyCode))}));
    }
}

int32_t SimWindowing::keyboardOwner() {
    if (openMenu() || receivesKeys()) return sim_.ownPID();
    return sim_.frontmostPID().value_or(0);
}

bool SimWindowing::receivesKeys() {
    if (active_) return true;
    auto key = keyPanel();
    return key && (key->styleMask() & stylemask::kNonactivatingPanel);
}

bool SimWindowing::onCloseButton(const Panel& panel, Point p) const {
    auto button = panel.closeButtonFrame();
    return button && button->contains(p);
}

bool SimWindowing::onTitleBar(const Panel& panel, Point p) const {
    if (onCloseButton(panel, p)) return true;
    // The title bar is the part of the frame above the content.
    const bool titled = panel.styleMask() & stylemask::kTitled;
    const Rect frame = panel.frame();
    return titled && frame.contains(p) && p.y > panel.contentRect().maxY();
}

// --- SimDesktop's side ---

void SimDesktop::mouseMove(Point p) {
    windowing_->mouseMove(p);
}
void SimDesktop::mouseDown(Point p, uint64_t mods, int clicks) {
    windowing_->mouseDown(p, mods, clicks, false);
}
void SimDesktop::mouseDrag(Point p) {
    windowing_->mouseDrag(p);
}
void SimDesktop::mouseUp(Point p) {
    windowing_->mouseUp(p, false);
}
void SimDesktop::click(Point p, uint64_t mods) {
    windowing_->mouseDown(p, mods, 1, false);
    windowing_->mouseUp(p, false);
}
void SimDesktop::rightClick(Point p) {
    windowing_->mouseDown(p, 0, 1, true);
    windowing_->mouseUp(p, true);
}
void SimDesktop::scroll(Point p, double dx, double dy, MomentumPhase momentum, bool invertedFromDevice) {
    windowing_->scroll(p, dx, dy, momentum, invertedFromDevice);
}
void SimDesktop::keyDown(uint16_t keyCode, std::string characters, uint64_t mods) {
    windowing_->keyDown(keyCode, std::move(characters), mods);
}
bool SimDesktop::pickMenuItem(const std::vector<std::string>& titles) {
    return windowing_->pickMenuItem(titles);
}

}  // namespace qv
