#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/ManualRuntime.h"
#include "model/BadgeService.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "previews/ThumbnailService.h"
#include "sim/SimDesktop.h"
#include "sim/SimEventTaps.h"
#include "sim/SimWindowing.h"
#include "switcher/WindowSwitcherController.h"
#include "tracking/WindowStore.h"

namespace qv::testing {

// Two displays, the pointer on the side one. Its desktop holds three tracked windows, a dialog, a
// window 39 points wide, an invisible one, a Dock window (all untracked) and a minimised window.
class SwitcherDesktop : public ::testing::Test {
  protected:
    static constexpr CGEventFlags kOption = eventflags::kAlternate;
    static constexpr uint16_t kTab = 48;

    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t mainDisplay = sim.addDisplay("Main", Rect{0, 0, 1920, 1080});
    uint32_t sideDisplay = sim.addDisplay("Side", Rect{1920, 0, 1440, 900});
    uint64_t mainSpace = sim.addSpace(mainDisplay);
    uint64_t side = sim.addSpace(sideDisplay);
    int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    int32_t mail = sim.launchApp(std::string("com.example.mail"), "Mail");
    int32_t dock = sim.launchApp(std::string("com.apple.dock"), "Dock", ActivationPolicy::accessory);
    uint32_t mainWindow = sim.openWindow(editor, "Elsewhere", mainSpace, Rect{100, 100, 800, 600});
    uint32_t draft = sim.openWindow(editor, "Draft", side, Rect{2000, 100, 700, 500});
    uint32_t inbox = sim.openWindow(mail, "Inbox", side, Rect{2100, 150, 700, 500});
    uint32_t notes = sim.openWindow(editor, "Notes", side, Rect{2200, 200, 600, 400});
    uint32_t dialog = sim.openWindow(mail, "Send?", side, Rect{2300, 250, 300, 150},
                                     [](SimWindowSpec& s) { s.subrole = "AXDialog"; });
    uint32_t sliver = sim.openWindow(mail, "Sliver", side, Rect{2400, 300, 39, 300});
    uint32_t ghost = sim.openWindow(mail, "Ghost", side, Rect{2400, 300, 300, 300}, [](SimWindowSpec& s) {
        s.alpha = 0;
        s.subrole = "AXFloatingWindow";
    });
    uint32_t dockWindow = sim.openWindow(dock, "Dock", side, Rect{1920, 850, 1440, 50});
    uint32_t parked = sim.openWindow(editor, "Parked", side, Rect{2000, 100, 500, 400},
                                     [](SimWindowSpec& s) { s.minimized = true; });

    std::shared_ptr<WindowStore> store;
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BarViewModel> viewModel;
    std::shared_ptr<ThumbnailService> thumbnails = ThumbnailService::create(rt, sim.platform().screenCapture);
    std::shared_ptr<WindowSwitcherController> controller;

    // The store and the bar model over the world as built; the switcher switched on.
    void startModel() {
        sim.mouseMove(Point{2500, 630});  // AppKit space: the side display
        sim.focusWindow(draft);
        store = WindowStore::create(sim.platform());
        store->populate();
        rt.runUntilIdle();
        settings = UserSettings::create(sim.platform());
        settings->setWindowSwitcherEnabled(true);
        auto badges = std::make_shared<BadgeService>(sim.platform().runtime, sim.platform().processes,
                                                     sim.platform().launchServices);
        viewModel = BarViewModel::create(sim.platform(), store, settings, badges);
        rt.runUntilIdle();
    }
    void startController() {
        startModel();
        controller = WindowSwitcherController::create(sim.platform(), store, viewModel, settings, thumbnails);
        rt.runUntilIdle();
    }
    void optionTab(CGEventFlags extra = 0) {
        sim.flagsChanged(kOption | extra);
        sim.keyDown(kTab, "\t");
        sim.keyUp(kTab);
        rt.runUntilIdle();
    }
    void releaseOption() {
        sim.flagsChanged(0);
        rt.runUntilIdle();
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> out;
        for (const SwitcherEntry& e : *controller->model().entries) out.push_back(e.title);
        return out;
    }
    std::string selectedTitle() const {
        auto e = controller->model().selectedEntry();
        return e ? e->title : "";
    }
};

}  // namespace qv::testing
