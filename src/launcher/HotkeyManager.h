#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "dispatch/Published.h"
#include "model/KeyboardShortcut.h"
#include "model/UserSettings.h"
#include "platform/Carbon.h"
#include "platform/Platform.h"

namespace qv {

// The program's one global hot key, which opens and closes the app launcher from any application.
// It is stored in the settings as two halves and registered with the Carbon hot key service; there
// is none until the user records one. Main thread only.
class HotkeyManager : public std::enable_shared_from_this<HotkeyManager> {
  public:
    static constexpr EventHotKeyID kHotkeyID{fourCharCode("QVRN"), 1};

    // Installs the hot-key handler, then loads the stored shortcut (which registers it).
    static std::shared_ptr<HotkeyManager> create(Platform& platform, UserSettings& settings);
    // The instance the composition root installed.
    static HotkeyManager& shared();
    static void setShared(std::shared_ptr<HotkeyManager> manager);

    ~HotkeyManager();
    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // Called on the main queue each time the hot key fires.
    std::function<void()> onHotkeyPressed;

    const std::optional<KeyboardShortcut>& currentShortcut() const { return currentShortcut_.get(); }
    // Every assignment stores the shortcut, then registers it afresh (none: no hot key). A
    // registration the system refuses leaves the shortcut stored, with no hot key active.
    void setCurrentShortcut(std::optional<KeyboardShortcut> shortcut);
    [[nodiscard]] Subscription observeCurrentShortcut(
        std::function<void(const std::optional<KeyboardShortcut>&)> handler) {
        return currentShortcut_.subscribe(std::move(handler));
    }
    // A key the user pressed in the recorder; ignored unless control, option, shift or command is held.
    void recordShortcut(uint16_t keyCode, uint64_t modifierFlags);

  private:
    HotkeyManager(Platform& platform, UserSettings& settings);
    void installHandler();
    void loadShortcut();
    void saveShortcut();
    void reregisterHotkey();

    Carbon& carbon_;
    std::shared_ptr<Queue> mainQueue_;
    UserSettings& settings_;
    Published<std::optional<KeyboardShortcut>> currentShortcut_;
    EventHotKeyRef hotkeyRef_;
    EventHandlerRef eventHandler_;
};

}  // namespace qv
