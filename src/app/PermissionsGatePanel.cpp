#include "app/PermissionsGatePanel.h"

#include "app/PermissionsGateContent.h"
#include "platform/Application.h"
#include "platform/Windowing.h"

namespace qv {

PermissionsGatePanel::PermissionsGatePanel(Platform& platform, Rect contentRect, uint64_t styleMask)
    : FloatingKeyPanel(platform.windowing, platform.runtime, platform.application, contentRect, styleMask) {}

std::shared_ptr<PermissionsGateWindowController> PermissionsGateWindowController::create(
    Platform& platform, std::function<void()> onContinue, std::function<void()> onQuit) {
    return std::make_shared<PermissionsGateWindowController>(Token{}, platform, std::move(onContinue),
                                                             std::move(onQuit));
}

PermissionsGateWindowController::PermissionsGateWindowController(Token, Platform& platform,
                                                                 std::function<void()> onContinue,
                                                                 std::function<void()> onQuit)
    : onContinue(std::move(onContinue)), onQuit(std::move(onQuit)), platform_(platform) {}

Rect PermissionsGateWindowController::contentRect(const std::optional<Screen>& screen) {
    return centredOnFullFrame(screen, {kWidth, kHeight});
}

void PermissionsGateWindowController::show(const std::optional<Screen>& screen) {
    Windowing& windowing = platform_.windowing;
    if (bringForwardIfVisible(windowing, panel.get())) return;
    const std::optional<Screen> chosen = floatingPanelScreen(windowing, screen);

    auto gate = Panel::make<PermissionsGatePanel>(
        platform_, contentRect(chosen),
        stylemask::kTitled | stylemask::kClosable | stylemask::kFullSizeContentView);
    std::weak_ptr<PermissionsGateWindowController> weak = weak_from_this();
    gate->onDismissHandler = [weak] {
        if (auto self = weak.lock()) self->handleDismiss();
    };
    gate->setTitle(kTitle);
    gate->isFloatingPanel = false;
    gate->setLevel(windowlevel::kFloating);
    gate->collectionBehavior =
        collectionbehavior::kMoveToActiveSpace | collectionbehavior::kFullScreenAuxiliary;
    gate->isOpaque = false;
    gate->backgroundColor = Color::windowBackground();
    gate->hasShadow = true;
    gate->titlebarAppearsTransparent = false;
    gate->titleVisible = true;
    gate->becomesKeyOnlyIfNeeded = false;
    gate->hidesOnDeactivate = false;
    gate->setContentView(std::make_shared<HostingView>(
        platform_.runtime, std::make_shared<PermissionsGateContent>(platform_, onContinue, onQuit)));
    panel = gate;
    windowing.activate(true);
    std::weak_ptr<PermissionsGatePanel> weakPanel = gate;
    platform_.runtime.mainQueue()->async([weakPanel] {
        if (auto p = weakPanel.lock()) p->makeKeyAndOrderFront();
    });
}

void PermissionsGateWindowController::handleDismiss() {
    const bool suppressed = std::exchange(suppressDismissAction, false);
    panel = nullptr;
    if (!suppressed && onQuit) onQuit();
}

void PermissionsGateWindowController::close() {
    if (!panel) return;
    suppressDismissAction = true;
    auto closing = panel;
    closing->close();
    panel = nullptr;
}

}  // namespace qv
