#include "sim/SimEventTaps.h"

#include <algorithm>

#include "sim/SimCarbon.h"
#include "sim/SimDesktop.h"
#include "sim/SimWindowing.h"

namespace qv {

class SimTap : public EventTap {
  public:
    uint64_t id = 0;
    EventTapLocation location = EventTapLocation::session;
    EventTapPlacement placement = EventTapPlacement::headInsert;
    EventTapOptions options = EventTapOptions::defaultTap;
    CGEventMask mask = 0;
    EventTapCallback callback;
    // Guarded by the taps' mutex.
    bool enabled = false;
    bool invalid = false;
    std::weak_ptr<RunLoop> runLoop;
    std::string runLoopLabel;
};

struct SimEventTaps::Flight {
    CGEvent event;
    Delivery deliver;
    std::vector<std::weak_ptr<SimTap>> taps;  // the chain as it was when the event entered
    size_t next = 0;
};

// An event handed to an active tap's run loop. A run loop that stops before it gets to the block
// drops it unrun: the event then goes on as if the tap had let it through.
struct SimTapHop {
    SimTapHop(std::weak_ptr<bool> alive, SimEventTaps* owner, std::shared_ptr<SimEventTaps::Flight> flight)
        : alive(std::move(alive)), owner(owner), flight(std::move(flight)) {}
    SimTapHop(const SimTapHop&) = delete;
    SimTapHop& operator=(const SimTapHop&) = delete;
    std::weak_ptr<bool> alive;
    SimEventTaps* owner;
    std::shared_ptr<SimEventTaps::Flight> flight;
    ~SimTapHop() {
        if (flight && !alive.expired()) owner->advance(std::move(flight));
    }
};

namespace {

// Arrow and navigation keys carry the fn and keypad flags in their own events, held or not.
CGEventFlags keyOwnFlags(uint16_t keyCode) {
    switch (keyCode) {
        case 123:
        case 124:
        case 125:
        case 126:
            return eventflags::kSecondaryFn | eventflags::kNumericPad;
        case 115:
        case 116:
        case 117:
        case 119:
        case 121:
            return eventflags::kSecondaryFn;
        default:
            return 0;
    }
}

Value eventArgs(EventTapLocation tap, const CGEvent& e) {
    return Value::array(
        {Value::number(static_cast<int>(tap)), Value::number(NumberObject::ofUnsigned(e.type)),
         Value::number(static_cast<long long>(e.keyCode)), Value::number(NumberObject::ofUnsigned(e.flags)),
         Value::number(e.location.x), Value::number(e.location.y)});
}

}  // namespace

SimEventTaps::SimEventTaps(SimDesktop& sim) : sim_(sim) {}

SimEventTaps::~SimEventTaps() {
    *alive_ = false;
    alive_.reset();
}

std::shared_ptr<SimTap> SimEventTaps::tapOf(EventTap& tap) const {
    for (const auto& t : chain_) {
        if (t.get() == &tap) return t;
    }
    return nullptr;
}

// --- Taps ---

EventTapRef SimEventTaps::tapCreate(EventTapLocation location, EventTapPlacement placement,
                                    EventTapOptions options, CGEventMask mask, EventTapCallback callback) {
    sim_.record("CGEventTapCreate", Value::array({Value::number(static_cast<int>(location)),
                                                  Value::number(static_cast<int>(placement)),
                                                  Value::number(static_cast<int>(options)),
                                                  Value::number(NumberObject::ofUnsigned(mask))}));
    std::lock_guard lock(mutex_);
    if (creationRefused_ || !callback) return nullptr;
    auto tap = std::make_shared<SimTap>();
    tap->id = nextTapID_++;
    tap->location = location;
    tap->placement = placement;
    tap->options = options;
    tap->mask = mask;
    tap->callback = std::move(callback);
    tap->enabled = true;  // a new tap is enabled, though nothing reaches it before its source runs
    if (placement == EventTapPlacement::headInsert) {
        chain_.insert(chain_.begin(), tap);
    } else {
        chain_.push_back(tap);
    }
    ++createdCount_;
    return tap;
}

void SimEventTaps::tapEnable(EventTap& tap, bool enable) {
    std::lock_guard lock(mutex_);
    if (auto t = tapOf(tap); t && !t->invalid) t->enabled = enable;
}

bool SimEventTaps::tapIsEnabled(EventTap& tap) {
    std::lock_guard lock(mutex_);
    auto t = tapOf(tap);
    return t && t->enabled;
}

void SimEventTaps::invalidate(EventTap& tap) {
    sim_.record("CFMachPortInvalidate");
    std::shared_ptr<Semaphore> stalled;
    {
        std::lock_guard lock(mutex_);
        auto t = tapOf(tap);
        if (!t) return;
        t->invalid = true;
        t->enabled = false;
        std::erase(chain_, t);
        if (stalledTap_ == t) stalled = stall_;
    }
    if (stalled) stalled->signal();
}

bool SimEventTaps::addToRunLoop(EventTap& tap, const std::shared_ptr<RunLoop>& runLoop) {
    sim_.record("CFRunLoopAddSource", Value::string(runLoop ? runLoop->label() : ""));
    std::shared_ptr<Semaphore> stall;
    Seconds stallFor = 0;
    {
        std::lock_guard lock(mutex_);
        auto t = tapOf(tap);
        if (!t || !runLoop || runLoopSourceFails_) return false;
        if (pendingStall_) {
            stallFor = *std::exchange(pendingStall_, std::nullopt);
            stall_ = stall = sim_.runtime().makeSemaphore(0);
            stalledTap_ = t;
        }
    }
    if (stall) {
        WaitingFor waiting("the event tap's set-up");
        stall->wait(stallFor);
        std::lock_guard lock(mutex_);
        stall_.reset();
        stalledTap_.reset();
    }
    std::lock_guard lock(mutex_);
    auto t = tapOf(tap);
    if (!t) return false;  // invalidated while the set-up hung
    t->runLoop = runLoop;
    t->runLoopLabel = runLoop->label();
    return true;
}

CGEventFlags SimEventTaps::eventSourceFlagsState(EventSourceStateID) {
    std::lock_guard lock(mutex_);
    return heldFlags_;
}

bool SimEventTaps::eventSourceKeyState(EventSourceStateID, uint16_t keyCode) {
    std::lock_guard lock(mutex_);
    return heldKeys_.contains(keyCode);
}

// --- Synthesised events ---

std::optional<CGEvent> SimEventTaps::create() {
    std::lock_guard lock(mutex_);
    if (eventCreationFails_) return std::nullopt;
    CGEvent e;
    e.location = flipVertically(sim_.windowing().pointerLocation(), sim_.primaryHeight());
    return e;
}

std::optional<CGEvent> SimEventTaps::createKeyboardEvent(uint16_t keyCode, bool keyDown) {
    std::lock_guard lock(mutex_);
    if (eventCreationFails_ || keyboardEventCreationFails_) return std::nullopt;
    CGEvent e;
    e.type = keyDown ? eventtype::kKeyDown : eventtype::kKeyUp;
    e.keyCode = keyCode;
    e.location = flipVertically(sim_.windowing().pointerLocation(), sim_.primaryHeight());
    return e;
}

std::optional<CGEvent> SimEventTaps::createMouseEvent(CGEventType type, Point location,
                                                      CGMouseButton button) {
    std::lock_guard lock(mutex_);
    if (eventCreationFails_) return std::nullopt;
    CGEvent e;
    e.type = type;
    e.location = location;
    e.mouseButton = static_cast<int64_t>(button);
    return e;
}

void SimEventTaps::post(EventTapLocation tap, const CGEvent& event) {
    sim_.record("CGEventPost", eventArgs(tap, event));
    CGEvent posted = event;
    posted.sourcePID = sim_.ownPID();
    route(posted, nullptr, false);
}

// --- Switches ---

void SimEventTaps::setCreationRefused(bool refused) {
    std::lock_guard lock(mutex_);
    creationRefused_ = refused;
}

void SimEventTaps::setRunLoopSourceFails(bool fails) {
    std::lock_guard lock(mutex_);
    runLoopSourceFails_ = fails;
}

void SimEventTaps::stallNextSetUp(Seconds duration) {
    std::lock_guard lock(mutex_);
    pendingStall_ = duration;
}

void SimEventTaps::setEventCreationFails(bool fails) {
    std::lock_guard lock(mutex_);
    eventCreationFails_ = fails;
}

void SimEventTaps::setKeyboardEventCreationFails(bool fails) {
    std::lock_guard lock(mutex_);
    keyboardEventCreationFails_ = fails;
}

void SimEventTaps::dropNextFlagsChange() {
    std::lock_guard lock(mutex_);
    dropNextFlags_ = true;
}

void SimEventTaps::disableTap(uint64_t tapID, bool byUserInput) {
    std::shared_ptr<SimTap> tap;
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        for (const auto& t : chain_) {
            if (t->id == tapID) tap = t;
        }
        if (!tap) return;
        tap->enabled = false;
        loop = tap->runLoop.lock();
    }
    if (!loop) return;
    CGEvent pseudo;
    pseudo.type = byUserInput ? eventtype::kTapDisabledByUserInput : eventtype::kTapDisabledByTimeout;
    loop->async([tap, pseudo] { tap->callback(pseudo.type, pseudo); });
}

// --- Reading ---

std::vector<SimEventTaps::TapInfo> SimEventTaps::taps() const {
    std::lock_guard lock(mutex_);
    std::vector<TapInfo> out;
    for (const auto& t : chain_) {
        out.push_back({t->id, t->location, t->placement, t->options, t->mask, t->enabled,
                       t->runLoop.expired() ? std::string() : t->runLoopLabel});
    }
    return out;
}

size_t SimEventTaps::createdTapCount() const {
    std::lock_guard lock(mutex_);
    return createdCount_;
}

std::vector<SimReceivedEvent> SimEventTaps::receivedEvents(int32_t pid) const {
    std::lock_guard lock(mutex_);
    std::vector<SimReceivedEvent> out;
    for (const auto& r : received_) {
        if (r.pid == pid) out.push_back(r);
    }
    return out;
}

// --- The stream ---

CGEvent SimEventTaps::pointerEvent(CGEventType type, Point appKitPoint, CGEventFlags flags) const {
    std::lock_guard lock(mutex_);
    CGEvent e;
    e.type = type;
    e.location = flipVertically(appKitPoint, sim_.primaryHeight());
    e.flags = flags | heldFlags_;
    e.mouseButton = type == eventtype::kRightMouseDown || type == eventtype::kRightMouseUp ? 1 : 0;
    return e;
}

CGEvent SimEventTaps::keyEvent(CGEventType type, uint16_t keyCode, CGEventFlags flags,
                               bool autorepeat) const {
    std::lock_guard lock(mutex_);
    CGEvent e;
    e.type = type;
    e.keyCode = keyCode;
    e.flags = flags | heldFlags_ | keyOwnFlags(keyCode);
    e.autorepeat = autorepeat ? 1 : 0;
    e.location = flipVertically(sim_.windowing().pointerLocation(), sim_.primaryHeight());
    return e;
}

void SimEventTaps::userFlagsChanged(CGEventFlags held) {
    CGEvent e;
    {
        std::lock_guard lock(mutex_);
        heldFlags_ = held;
        if (std::exchange(dropNextFlags_, false)) return;
    }
    e.type = eventtype::kFlagsChanged;
    e.flags = held;
    e.location = flipVertically(sim_.windowing().pointerLocation(), sim_.primaryHeight());
    route(e, nullptr, true);
}

bool SimEventTaps::routeInput(CGEvent event, Delivery deliver) {
    if (delivering_) return false;
    {
        std::lock_guard lock(mutex_);
        if (event.type == eventtype::kKeyDown && !event.autorepeat) heldKeys_.insert(event.keyCode);
        if (event.type == eventtype::kKeyUp) heldKeys_.erase(event.keyCode);
    }
    route(std::move(event), std::move(deliver), true);
    return true;
}

bool SimEventTaps::anyTapWants(CGEventType type) const {
    return std::any_of(chain_.begin(), chain_.end(), [&](const auto& t) {
        return t->enabled && (t->mask & eventMaskBit(type)) && !t->runLoop.expired();
    });
}

void SimEventTaps::route(CGEvent event, Delivery deliver, bool mayDeliverNow) {
    auto flight = std::make_shared<Flight>();
    flight->event = std::move(event);
    flight->deliver = std::move(deliver);
    bool deliverNow = false;
    {
        // Events in flight keep their order: a later one never overtakes them.
        std::lock_guard lock(mutex_);
        deliverNow = mayDeliverNow && inFlight_ == 0 && !anyTapWants(flight->event.type);
        if (!deliverNow) {
            ++inFlight_;
            flight->taps.assign(chain_.begin(), chain_.end());
        }
    }
    if (deliverNow) {
        finish(*flight);
    } else {
        advance(std::move(flight));
    }
}

void SimEventTaps::advance(std::shared_ptr<Flight> flight) {
    const CGEventType type = flight->event.type;
    while (flight->next < flight->taps.size()) {
        auto tap = flight->taps[flight->next++].lock();
        std::shared_ptr<RunLoop> loop;
        {
            std::lock_guard lock(mutex_);
            if (!tap || tap->invalid || !tap->enabled || !(tap->mask & eventMaskBit(type))) continue;
            loop = tap->runLoop.lock();
        }
        if (!loop) continue;
        if (tap->options == EventTapOptions::listenOnly) {
            loop->async([tap, event = flight->event] { tap->callback(event.type, event); });
            continue;
        }
        auto hop = std::make_shared<SimTapHop>(alive_, this, std::move(flight));
        loop->async([hop, tap] {
            auto f = std::exchange(hop->flight, nullptr);
            if (!f || hop->alive.expired()) return;
            std::optional<CGEvent> passed = tap->callback(f->event.type, f->event);
            if (!passed) {
                std::lock_guard lock(hop->owner->mutex_);
                --hop->owner->inFlight_;
                return;
            }
            f->event = *passed;
            hop->owner->advance(std::move(f));
        });
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    sim_.runtime().mainQueue()->async([this, alive, flight] {
        if (alive.expired()) return;
        {
            std::lock_guard lock(mutex_);
            --inFlight_;
        }
        finish(*flight);
    });
}

void SimEventTaps::finish(Flight& flight) {
    const CGEvent& e = flight.event;
    bool wasDelivering = std::exchange(delivering_, true);
    const bool key = e.type == eventtype::kKeyDown || e.type == eventtype::kKeyUp;
    const int32_t receiver = key ? keyReceiver(e) : 0;
    if (key && receiver == kTakenBySystem) {
        delivering_ = wasDelivering;
        return;
    }
    if (flight.deliver) {
        flight.deliver(e);
    } else {
        deliverByType(e, receiver);
    }
    recordReception(e, receiver);
    delivering_ = wasDelivering;
}

int32_t SimEventTaps::keyReceiver(const CGEvent& e) {
    const auto code = static_cast<uint16_t>(e.keyCode);
    if (e.type == eventtype::kKeyUp) {
        if (auto it = pressedBy_.find(code); it != pressedBy_.end()) return pressedBy_.extract(it).mapped();
        return sim_.windowing().keyboardOwner();
    }
    // The system's own shortcuts come first, then the hot keys applications hold.
    const int32_t receiver = sim_.takeSymbolicHotKey(e) || sim_.carbon().takeHotKey(e)
                                 ? kTakenBySystem
                                 : sim_.windowing().keyboardOwner();
    if (!e.autorepeat) pressedBy_[code] = receiver;
    return receiver;
}

void SimEventTaps::deliverByType(const CGEvent& e, int32_t keyReceiver) {
    SimWindowing& w = sim_.windowing();
    Point p = flipVertically(e.location, sim_.primaryHeight());
    switch (e.type) {
        case eventtype::kLeftMouseDown:
        case eventtype::kRightMouseDown:
            w.mouseDown(p, e.flags, 1, e.type == eventtype::kRightMouseDown);
            break;
        case eventtype::kLeftMouseDragged:
            w.mouseDrag(p);
            break;
        case eventtype::kLeftMouseUp:
        case eventtype::kRightMouseUp:
            w.mouseUp(p, e.type == eventtype::kRightMouseUp);
            break;
        case eventtype::kMouseMoved:
            w.mouseMove(p);
            break;
        case eventtype::kKeyDown:
            w.keyDown(static_cast<uint16_t>(e.keyCode), {}, e.flags);
            break;
        case eventtype::kKeyUp:
        case eventtype::kFlagsChanged: {
            // Our key window and local monitors while we are active (a key-up: when its key-down
            // was ours), the global monitors otherwise.
            auto key = w.keyPanel();
            Event event = w.makeEvent(
                e.type == eventtype::kKeyUp ? EventType::keyUp : EventType::flagsChanged, w.pointerLocation(), key);
            event.keyCode = static_cast<uint16_t>(e.keyCode);
            event.modifierFlags = e.flags;
            if (e.type == eventtype::kKeyUp ? keyReceiver == sim_.ownPID() : w.receivesKeys()) {
                w.dispatchLocal(event, key);
            } else {
                w.dispatchGlobal(event);
            }
            break;
        }
        default:
            break;
    }
}

void SimEventTaps::recordReception(const CGEvent& e, int32_t keyReceiver) {
    int32_t pid = 0;
    if (e.type == eventtype::kKeyDown || e.type == eventtype::kKeyUp) {
        pid = keyReceiver;
    } else if (e.type == eventtype::kFlagsChanged) {
        pid = sim_.frontmostPID().value_or(0);
    } else if (e.type == eventtype::kLeftMouseDown || e.type == eventtype::kRightMouseDown) {
        std::lock_guard world(sim_.worldMutex());
        for (const SimWindow* w : sim_.windowsInListOrder()) {
            if (!sim_.isOnScreen(*w)) break;
            if (w->alpha > 0 && w->frame.contains(e.location)) {
                pid = w->ownerPID;
                break;
            }
        }
        if (e.type == eventtype::kLeftMouseDown) pressedPID_ = pid;
    } else if (e.type == eventtype::kLeftMouseDragged || e.type == eventtype::kLeftMouseUp) {
        pid = pressedPID_;
    }
    if (pid == 0 || pid == sim_.ownPID()) return;
    std::lock_guard lock(mutex_);
    received_.push_back({pid, e.type, e.keyCode, e.flags, e.autorepeat != 0, e.location, e.sourcePID, false});
}

// --- SimDesktop's side ---

void SimDesktop::keyUp(uint16_t keyCode, uint64_t modifierFlags) {
    eventTaps_->routeInput(eventTaps_->keyEvent(eventtype::kKeyUp, keyCode, modifierFlags), nullptr);
}

void SimDesktop::keyRepeat(uint16_t keyCode, std::string characters, uint64_t modifierFlags) {
    CGEvent e = eventTaps_->keyEvent(eventtype::kKeyDown, keyCode, modifierFlags, true);
    eventTaps_->routeInput(e, [this, keyCode, characters](const CGEvent& passed) {
        windowing_->keyDown(keyCode, characters, passed.flags);
    });
}

void SimDesktop::flagsChanged(uint64_t heldModifierFlags) {
    eventTaps_->userFlagsChanged(heldModifierFlags);
}

}  // namespace qv
