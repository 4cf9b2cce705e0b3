#include "launcher/HotkeyManager.h"

#include <stdexcept>

#include "launcher/KeyNames.h"

namespace qv {

namespace {

std::shared_ptr<HotkeyManager>& sharedSlot() {
    static std::shared_ptr<HotkeyManager> instance;
    return instance;
}

}  // namespace

std::shared_ptr<HotkeyManager> HotkeyManager::create(Platform& platform, UserSettings& settings) {
    std::shared_ptr<HotkeyManager> manager(new HotkeyManager(platform, settings));
    manager->installHandler();
    manager->loadShortcut();
    return manager;
}

HotkeyManager& HotkeyManager::shared() {
    auto& instance = sharedSlot();
    if (!instance) throw std::logic_error("HotkeyManager::shared() used before setShared()");
    return *instance;
}

void HotkeyManager::setShared(std::shared_ptr<HotkeyManager> manager) {
    sharedSlot() = std::move(manager);
}

HotkeyManager::HotkeyManager(Platform& platform, UserSettings& settings)
    : carbon_(platform.carbon), mainQueue_(platform.runtime.mainQueue()), settings_(settings) {}

HotkeyManager::~HotkeyManager() {
    if (hotkeyRef_) carbon_.unregisterEventHotKey(*hotkeyRef_);
    if (eventHandler_) carbon_.removeEventHandler(*eventHandler_);
}

void HotkeyManager::installHandler() {
    std::weak_ptr<HotkeyManager> weak = weak_from_this();
    Carbon& carbon = carbon_;
    EventHandlerProc proc = [weak, &carbon](CarbonEvent& event) -> OSStatus {
        auto self = weak.lock();
        if (!self) return kEventNotHandledErr;
        // The id starts zeroed and the status of the read is not consulted: an unreadable id is
        // simply not ours. The signature is not compared.
        EventHotKeyID id;
        carbon.getEventHotKeyID(event, id);
        if (id.id != kHotkeyID.id) return kEventNotHandledErr;
        self->mainQueue_->async([weak] {
            auto manager = weak.lock();
            if (manager && manager->onHotkeyPressed) manager->onHotkeyPressed();
        });
        return kNoErr;
    };
    EventHandlerRef handler;
    if (carbon_.installApplicationEventHandler({{kEventClassKeyboard, kEventHotKeyPressed}}, std::move(proc),
                                               handler) == kNoErr) {
        eventHandler_ = std::move(handler);
    }
}

void HotkeyManager::loadShortcut() {
    // A pair with one half missing counts as no shortcut, and so does one that the recorder would
    // refuse (a hand-edited file): the file keeps it as it is.
    const auto stored = settings_.storedLauncherShortcut();
    if (stored && holdsCommandOptionOrControl(*stored)) setCurrentShortcut(*stored);
}

void HotkeyManager::setCurrentShortcut(std::optional<KeyboardShortcut> shortcut) {
    currentShortcut_ = shortcut;
    saveShortcut();
    reregisterHotkey();
}

void HotkeyManager::recordShortcut(uint16_t keyCode, uint64_t modifierFlags) {
    uint32_t modifiers = carbonModifiers(modifierFlags);
    if (modifiers == 0) return;
    setCurrentShortcut(KeyboardShortcut{keyCode, modifiers});
}

void HotkeyManager::saveShortcut() {
    const auto& shortcut = currentShortcut_.get();
    settings_.setHotkeyKeyCode(shortcut ? std::optional<uint32_t>(shortcut->keyCode) : std::nullopt);
    settings_.setHotkeyModifiers(shortcut ? std::optional<uint32_t>(shortcut->modifiers) : std::nullopt);
}

void HotkeyManager::reregisterHotkey() {
    if (hotkeyRef_) {
        carbon_.unregisterEventHotKey(*hotkeyRef_);
        hotkeyRef_.reset();
    }
    const auto& shortcut = currentShortcut_.get();
    if (!shortcut) return;
    EventHotKeyRef ref;
    if (carbon_.registerEventHotKey(shortcut->keyCode, shortcut->modifiers, kHotkeyID, 0, ref) == kNoErr) {
        hotkeyRef_ = std::move(ref);
    }
}

}  // namespace qv
