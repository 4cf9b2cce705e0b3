#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/EventTaps.h"
#include "platform/Events.h"

namespace qv {

class SimDesktop;
class SimTap;

// An input event as the application that received it recorded it.
struct SimReceivedEvent {
    int32_t pid = 0;
    CGEventType type = eventtype::kNull;
    int64_t keyCode = 0;
    CGEventFlags flags = 0;
    bool autorepeat = false;
    Point location;  // window-server space
    int64_t sourcePID = 0;
    bool hotKey = false;  // a hot key the application holds
};

// The system's event stream. Every input of the user and every event our process posts passes the
// enabled taps in order, head taps before tail taps, each handed over on the run loop that holds
// the tap's source; an active tap may swallow the event, a listen-only one only sees it. What is
// left reaches, on the main queue, a hot key, our panels and event monitors (SimWindowing), or
// another application, which records what it receives: a key goes to the frontmost application
// only when no system shortcut, hot key, open menu or key window of ours takes it. With no tap
// interested and nothing in flight, the user's input is delivered at once, as without taps.
class SimEventTaps : public EventTaps, public Events {
  public:
    explicit SimEventTaps(SimDesktop& sim);
    ~SimEventTaps() override;

    // --- EventTaps ---
    EventTapRef tapCreate(EventTapLocation location, EventTapPlacement placement, EventTapOptions options,
                          CGEventMask mask, EventTapCallback callback) override;
    void tapEnable(EventTap& tap, bool enable) override;
    bool tapIsEnabled(EventTap& tap) override;
    void invalidate(EventTap& tap) override;
    bool addToRunLoop(EventTap& tap, const std::shared_ptr<RunLoop>& runLoop) override;
    CGEventFlags eventSourceFlagsState(EventSourceStateID state) override;
    bool eventSourceKeyState(EventSourceStateID state, uint16_t keyCode) override;

    // --- Events ---
    std::optional<CGEvent> create() override;
    std::optional<CGEvent> createKeyboardEvent(uint16_t keyCode, bool keyDown) override;
    std::optional<CGEvent> createMouseEvent(CGEventType type, Point location, CGMouseButton button) override;
    void post(EventTapLocation tap, const CGEvent& event) override;

    // --- Switches ---
    void setCreationRefused(bool refused);
    void setRunLoopSourceFails(bool fails);
    // The next tap thread's set-up hangs this long in adding the tap's source to its run loop, or
    // until its tap is invalidated.
    void stallNextSetUp(Seconds duration);
    void setEventCreationFails(bool fails);
    // Only keyboard events cannot be made; mouse events still can.
    void setKeyboardEventCreationFails(bool fails);
    // The next change of the held modifiers never reaches the taps or any application (a lost
    // release); the modifier state still follows it.
    void dropNextFlagsChange();
    // The system switches a tap off, because its callback was too slow or by user input; the tap's
    // callback then receives the matching pseudo-event.
    void disableTap(uint64_t tapID, bool byUserInput = false);

    // --- Reading ---
    struct TapInfo {
        uint64_t id = 0;
        EventTapLocation location = EventTapLocation::session;
        EventTapPlacement placement = EventTapPlacement::headInsert;
        EventTapOptions options = EventTapOptions::defaultTap;
        CGEventMask mask = 0;
        bool enabled = false;
        std::string runLoopLabel;  // the run loop holding its source; empty when none
    };
    // The taps not invalidated, in the order events pass them.
    std::vector<TapInfo> taps() const;
    size_t createdTapCount() const;
    std::vector<SimReceivedEvent> receivedEvents(int32_t pid) const;

    // --- Input, from the desktop and SimWindowing ---
    // The main-queue step that hands an event left through by the taps to its receiver.
    using Delivery = std::function<void(const CGEvent&)>;
    // Passes the user's input through the taps, then `deliver` runs with what is left. False when
    // called from inside a delivery: the event went through already and is delivered now.
    bool routeInput(CGEvent event, Delivery deliver);
    // The user's pointer (AppKit point) or key, with the modifiers held besides the given ones.
    CGEvent pointerEvent(CGEventType type, Point appKitPoint, CGEventFlags flags) const;
    CGEvent keyEvent(CGEventType type, uint16_t keyCode, CGEventFlags flags, bool autorepeat = false) const;
    void userFlagsChanged(CGEventFlags held);

    struct Flight;  // internal

  private:
    friend struct SimTapHop;
    void advance(std::shared_ptr<Flight> flight);
    void finish(Flight& flight);
    void route(CGEvent event, Delivery deliver, bool mayDeliverNow);
    // Who receives a key event: its key-down goes to a system shortcut or hot key that takes it
    // (kTakenBySystem), else to whoever holds the keyboard (SimWindowing::keyboardOwner); its
    // key-up goes where its key-down went.
    static constexpr int32_t kTakenBySystem = -1;
    int32_t keyReceiver(const CGEvent& event);
    void deliverByType(const CGEvent& event, int32_t keyReceiver);
    void recordReception(const CGEvent& event, int32_t keyReceiver);
    std::shared_ptr<SimTap> tapOf(EventTap& tap) const;
    bool anyTapWants(CGEventType type) const;  // with mutex_ held

    SimDesktop& sim_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimTap>> chain_;
    uint64_t nextTapID_ = 1;
    size_t createdCount_ = 0;
    size_t inFlight_ = 0;
    bool creationRefused_ = false;
    bool runLoopSourceFails_ = false;
    std::optional<Seconds> pendingStall_;
    std::shared_ptr<Semaphore> stall_;
    std::shared_ptr<SimTap> stalledTap_;
    bool eventCreationFails_ = false;
    bool keyboardEventCreationFails_ = false;
    bool dropNextFlags_ = false;
    CGEventFlags heldFlags_ = 0;
    std::set<uint16_t> heldKeys_;
    std::vector<SimReceivedEvent> received_;
    int32_t pressedPID_ = 0;   // the application that got the last left press
    std::map<uint16_t, int32_t> pressedBy_;  // held keys: who got the key-down (main queue only)
    bool delivering_ = false;  // main queue only
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv
