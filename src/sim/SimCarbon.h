#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Carbon.h"
#include "platform/Events.h"

namespace qv {

class SimDesktop;

// Carbon on the simulated desktop: the session's hot keys, ours and other applications', our
// event handlers, and a US ANSI keyboard layout whose keys can be given other characters.
class SimCarbon : public Carbon {
  public:
    explicit SimCarbon(SimDesktop& sim);
    ~SimCarbon() override;

    OSStatus registerEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID id, uint32_t options,
                                 EventHotKeyRef& hotKey) override;
    OSStatus unregisterEventHotKey(EventHotKey& hotKey) override;
    OSStatus installApplicationEventHandler(std::vector<EventTypeSpec> types, EventHandlerProc proc,
                                            EventHandlerRef& handler) override;
    OSStatus removeEventHandler(EventHandler& handler) override;
    OSStatus getEventHotKeyID(CarbonEvent& event, EventHotKeyID& id) override;
    InputSourceRef copyCurrentKeyboardLayoutInputSource() override;
    KeyLayoutRef unicodeKeyLayoutData(const InputSource& source) override;
    uint32_t keyboardType() override;
    OSStatus keyTranslate(const KeyLayout& layout, uint16_t keyCode, uint16_t keyAction,
                          uint32_t modifierKeyState, uint32_t keyboardType, uint32_t options,
                          uint32_t& deadKeyState, size_t maxLength, std::u16string& text) override;

    // --- Switches ---
    // Another application holds a combination (Carbon modifier bits); ours is then refused.
    void holdHotKey(int32_t pid, uint32_t keyCode, uint32_t modifiers);
    // Reading the hot-key id of a hot-key event fails.
    void setHotKeyIDUnreadable(bool unreadable);
    // No current keyboard layout at all, or one without key layout data.
    void setKeyboardLayoutAbsent(bool absent);
    void setKeyLayoutDataAbsent(bool absent);
    // What a key gives with no modifier held, instead of its US ANSI character; or a failing status.
    void setKeyCharacters(uint16_t keyCode, std::u16string characters);
    void setKeyTranslateStatus(uint16_t keyCode, OSStatus status);

    // --- Reading ---
    struct HotKey {
        uint32_t keyCode = 0;
        uint32_t modifiers = 0;
        EventHotKeyID id;
        int32_t ownerPID = 0;
    };
    std::vector<HotKey> hotKeys() const;  // every registration in the session, in order
    std::vector<HotKey> ourHotKeys() const;
    size_t installedHandlerCount() const;

    // A key down that no tap swallowed (main queue): true when a hot key takes it. Ours goes to our
    // handlers on the main queue, another application's to that application.
    bool takeHotKey(const CGEvent& event);

  private:
    struct Registration;
    struct Handler;
    void callHandlers(EventHotKeyID id);

    SimDesktop& sim_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<Registration>> registrations_;
    std::vector<std::shared_ptr<Handler>> handlers_;  // in order of installation
    bool hotKeyIDUnreadable_ = false;
    bool layoutAbsent_ = false;
    bool layoutDataAbsent_ = false;
    std::map<uint16_t, std::u16string> characters_;
    std::map<uint16_t, OSStatus> statuses_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace qv
