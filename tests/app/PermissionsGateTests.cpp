#include <gtest/gtest.h>

#include "app/PermissionsGateContent.h"
#include "app/PermissionsGatePanel.h"
#include "sim/SimAccessibility.h"
#include "sim/SimAppKit.h"
#include "sim/SimApplications.h"
#include "sim/SimScreenCapture.h"
#include "support/SimDesktops.h"
#include "ui/StandardKeyEquivalents.h"

namespace qv {
namespace {

class PermissionsGateTest : public testing::OneDesktop<> {
  protected:
    int quits = 0, continues = 0;
    std::shared_ptr<PermissionsGateWindowController> controller = PermissionsGateWindowController::create(
        sim.platform(), [this] { ++continues; }, [this] { ++quits; });

    std::shared_ptr<PermissionsGatePanel> showGate() {
        controller->show();
        rt.runUntilIdle();
        return controller->panel;
    }
    Event key(std::string characters, uint64_t flags) {
        Event e;
        e.type = EventType::keyDown;
        e.characters = std::move(characters);
        e.modifierFlags = flags;
        return e;
    }
};

TEST_F(PermissionsGateTest, TheModelRunsOneTimerAndRequestsPromptOnlyForWhatIsMissing) {
    auto model = PermissionsGateModel::create(sim.platform());
    model->startMonitoring();
    auto first = model->refreshTimer;
    model->startMonitoring();
    EXPECT_TRUE(first->isCancelled());
    EXPECT_FALSE(model->refreshTimer->isCancelled());

    sim.setScreenRecordingGranted(false);
    rt.advance(0.99);
    EXPECT_TRUE(model->state->screenRecordingGranted);
    rt.advance(0.01);
    EXPECT_FALSE(model->state->screenRecordingGranted);

    model->requestAccessibilityAccess();  // trusted: no prompt
    EXPECT_EQ(sim.accessibility().trustPromptCount(), 0);
    sim.accessibility().setProcessTrusted(false);
    model->requestAccessibilityAccess();
    EXPECT_EQ(sim.accessibility().trustPromptCount(), 1);
    EXPECT_FALSE(model->state->accessibilityGranted);  // read afresh at once
    model->requestScreenRecordingAccess();
    EXPECT_EQ(sim.screenCapture().promptCount(), 1);
    sim.setScreenRecordingGranted(true);
    model->requestScreenRecordingAccess();
    EXPECT_EQ(sim.screenCapture().promptCount(), 1);
    EXPECT_TRUE(model->state->screenRecordingGranted);
}

TEST_F(PermissionsGateTest, OpeningSettingsFallsBackToThePrivacyPagesInOrder) {
    Workspace& workspace = sim.platform().workspace;
    auto& apps = sim.applications();
    const std::string page = LaunchPermissionCenter::kAccessibilitySettingsURL;
    const std::string privacy = LaunchPermissionCenter::fallbackPrivacySettingsURLs[0];
    const std::string root = LaunchPermissionCenter::fallbackPrivacySettingsURLs[1];

    apps.refusedURLs = {page};
    LaunchPermissionCenter::openSettings(workspace, {page});
    EXPECT_EQ(apps.openedURLs.back(), privacy);
    apps.refusedURLs = {page, privacy};
    LaunchPermissionCenter::openSettings(workspace, {page});
    EXPECT_EQ(apps.openedURLs.back(), root);
    // An address that is no URL is never handed to the workspace.
    LaunchPermissionCenter::openSettings(workspace, {"not an address"});
    EXPECT_EQ(sim.callsNamed("NSWorkspace.open").back().args, Value::string(root));
    EXPECT_FALSE(isValidURLString("x-apple:%zz"));
    EXPECT_TRUE(isValidURLString(page));
}

TEST_F(PermissionsGateTest, TheGateIsCentredOnTheGivenScreenAndAtTheOriginWithoutAny) {
    sim.addSpace(sim.addDisplay("Side", Rect{1440, 100, 1280, 800}));
    const Screen side = sim.screens().at(1);
    controller->show(side);
    EXPECT_EQ(controller->panel->contentRect(),
              (Rect{side.frame.midX() - 250, side.frame.midY() - 280, 500, 560}));
    controller->close();

    sim.setScreensAvailable(false);
    auto gate = showGate();
    ASSERT_TRUE(gate);
    EXPECT_EQ(gate->contentRect(), (Rect{0, 0, 500, 560}));
    EXPECT_TRUE(gate->isVisible());
}

TEST_F(PermissionsGateTest, AUserCloseQuitsAndACloseFromCodeDoesNot) {
    auto gate = showGate();
    EXPECT_EQ(gate->title(), "quillVorn Setup");
    EXPECT_TRUE(gate->isKeyWindow());
    EXPECT_EQ(showGate(), gate);  // a second show only brings it forward
    controller->close();
    EXPECT_EQ(quits, 0);
    EXPECT_FALSE(controller->suppressDismissAction);
    EXPECT_EQ(controller->panel, nullptr);
    controller->close();  // nothing to close

    gate = showGate();
    const Rect button = *gate->closeButtonFrame();
    sim.click({button.midX(), button.midY()});
    EXPECT_TRUE(gate->isClosed());
    EXPECT_EQ(quits, 1);

    gate = showGate();
    sim.keyDown(13, "W", modifierflags::kCommand | modifierflags::kShift);
    EXPECT_FALSE(gate->isClosed());
    sim.keyDown(13, "w", modifierflags::kCommand);
    EXPECT_TRUE(gate->isClosed());
    EXPECT_EQ(quits, 2);
}

TEST_F(PermissionsGateTest, StandardKeyEquivalentsNeedCommandAndTheExactLetter) {
    std::string text = "draft";
    auto field = std::make_shared<ClosureView>([&] {
        return TextField("Name",
                         Binding<std::string>{[&] { return text; }, [&](std::string v) { text = v; }});
    });
    auto panel =
        Panel::make<Panel>(sim.platform().windowing, rt, Rect{100, 100, 300, 60}, stylemask::kTitled);
    panel->setContentView(std::make_shared<HostingView>(rt, field));
    rt.runUntilIdle();
    Application& app = sim.platform().application;
    const uint64_t cmd = modifierflags::kCommand;

    EXPECT_FALSE(handleStandardKeyEquivalent(key("c", modifierflags::kControl), *panel, app));
    EXPECT_FALSE(handleStandardKeyEquivalent(key("q", cmd), *panel, app));
    EXPECT_FALSE(handleStandardKeyEquivalent(key("c", cmd), *panel, app));  // no text field has the focus
    panel->makeKeyAndOrderFront();
    sim.click(panel->convertToScreen({150, 30}));
    rt.runUntilIdle();
    EXPECT_TRUE(handleStandardKeyEquivalent(key("a", cmd), *panel, app));
    EXPECT_TRUE(handleStandardKeyEquivalent(key("c", cmd), *panel, app));
    EXPECT_EQ(sim.appKit().string(), "draft");
    EXPECT_TRUE(handleStandardKeyEquivalent(key("v", cmd), *panel, app));  // over the selection
    EXPECT_TRUE(handleStandardKeyEquivalent(key("v", cmd), *panel, app));
    EXPECT_EQ(text, "draftdraft");
    EXPECT_TRUE(handleStandardKeyEquivalent(key("a", cmd), *panel, app));
    EXPECT_TRUE(handleStandardKeyEquivalent(key("x", cmd), *panel, app));
    EXPECT_EQ(text, "");
    EXPECT_EQ(sim.appKit().string(), "draftdraft");
    EXPECT_FALSE(handleStandardKeyEquivalent(key("W", cmd | modifierflags::kShift), *panel, app));
    EXPECT_TRUE(handleStandardKeyEquivalent(key("w", cmd | modifierflags::kOption), *panel, app));
    EXPECT_TRUE(panel->isClosed());
}

TEST_F(PermissionsGateTest, TheStatusAndContinueFollowTheReadingWithoutAClick) {
    sim.setScreenRecordingGranted(false);
    sim.appKit().bundleIdentifier.reset();
    auto gate = showGate();
    const auto& list = [&]() -> const DisplayList& { return gate->contentView()->displayList(); };
    const DrawOp* status = list().findText("Grant both permissions to continue");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->color, Color::orange().resolve(ColorScheme::light));
    EXPECT_TRUE(list().findText("4. Accessibility entry must match bundle ID: <missing CFBundleIdentifier>"));
    EXPECT_TRUE(list().findText("REQUIRED"));

    sim.setScreenRecordingGranted(true);
    rt.advance(1.0);
    status = list().findText("All required permissions granted");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->color, Color::green().resolve(ColorScheme::light));
    EXPECT_EQ(list().findText("Required"), nullptr);
    EXPECT_EQ(continues, 0);

    auto content = std::dynamic_pointer_cast<PermissionsGateContent>(gate->contentView()->rootView());
    ASSERT_TRUE(content);
    auto timer = content->model->refreshTimer;
    std::weak_ptr<PermissionsGateModel> model = content->model;
    content.reset();
    controller->close();
    gate.reset();
    EXPECT_TRUE(timer->isCancelled());  // the content went with its panel, and its timer with it
    EXPECT_TRUE(model.expired());
}

}  // namespace
}  // namespace qv
