#include "settings/SettingsWindowController.h"

#include <stdexcept>

#include "platform/Windowing.h"

namespace qv {

namespace {

std::shared_ptr<SettingsWindowController>& sharedInstance() {
    static std::shared_ptr<SettingsWindowController> instance;
    return instance;
}

}  // namespace

SettingsPanel::SettingsPanel(Platform& platform, Rect contentRect, std::function<void()> onDismiss)
    : FloatingKeyPanel(platform.windowing, platform.runtime, platform.application, contentRect, kStyleMask) {
    onDismissHandler = std::move(onDismiss);
    setTitle(kTitle);
    isFloatingPanel = false;
    setLevel(windowlevel::kFloating);
    collectionBehavior = kCollectionBehavior;
    isOpaque = false;
    backgroundColor = Color::windowBackground();
    hasShadow = true;
    titlebarAppearsTransparent = false;
    titleVisible = true;
    becomesKeyOnlyIfNeeded = false;
    hidesOnDeactivate = false;
}

void SettingsPanel::close() {
    if (isClosed()) return;
    auto keepAlive = shared_from_this();  // the dismiss handler drops the controller's reference
    FloatingKeyPanel::close();
    if (auto content = contentView()) {
        content->setRootView(nullptr);
        content->layoutNow();
    }
}

std::shared_ptr<SettingsWindowController> SettingsWindowController::create(
    Platform& platform, std::function<SettingsServices()> makeServices) {
    return std::make_shared<SettingsWindowController>(Token{}, platform, std::move(makeServices));
}

SettingsWindowController::SettingsWindowController(Token, Platform& platform,
                                                   std::function<SettingsServices()> makeServices)
    : platform_(platform), makeServices_(std::move(makeServices)) {}

SettingsWindowController& SettingsWindowController::shared() {
    auto& instance = sharedInstance();
    if (!instance) throw std::logic_error("SettingsWindowController::shared() used before setShared()");
    return *instance;
}

void SettingsWindowController::setShared(std::shared_ptr<SettingsWindowController> controller) {
    sharedInstance() = std::move(controller);
}

bool SettingsWindowController::hasShared() {
    return sharedInstance() != nullptr;
}

Rect SettingsWindowController::frameOn(const std::optional<Screen>& screen) {
    return centredOnFullFrame(screen, kSize);
}

void SettingsWindowController::show(const std::optional<Screen>& relativeTo) {
    Windowing& windowing = platform_.windowing;
    if (bringForwardIfVisible(windowing, panel.get())) return;
    const std::optional<Screen> screen = floatingPanelScreen(windowing, relativeTo);
    std::weak_ptr<SettingsWindowController> weak = weak_from_this();
    auto fresh = Panel::make<SettingsPanel>(platform_, frameOn(screen), [weak] {
        if (auto self = weak.lock()) self->panel = nullptr;
    });
    fresh->setContentView(std::make_shared<HostingView>(
        platform_.runtime,
        std::make_shared<SettingsPanelContent>(
            platform_, makeServices_(), std::vector<BarSize>(kAllBarSizes.begin(), kAllBarSizes.end()))));
    panel = fresh;
    windowing.activate(true);
    // Key and front on the next turn of the main queue; the queued work holds the panel till then.
    platform_.runtime.mainQueue()->async([fresh] {
        fresh->makeKeyAndOrderFront();
        fresh->orderFrontRegardless();
    });
}

}  // namespace qv
