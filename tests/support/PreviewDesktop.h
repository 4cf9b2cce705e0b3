#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "model/BadgeService.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "previews/ThumbnailService.h"
#include "sim/SimScreenCapture.h"
#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"
#include "tracking/WindowStore.h"

namespace qv::testing {

// One display with one desktop, an editor and a mail application, and the thumbnail service. The
// editor's three windows and the bar model over them come with `openDocs` and `startModel`.
class PreviewDesktop : public OneDesktop<> {
  protected:
    const uint64_t desk = space;
    int32_t editor = sim.launchApp(std::string("com.example.editor"), "Editor");
    int32_t mail = sim.launchApp(std::string("com.example.mail"), "Mail");
    SimWindowing& windowing = sim.windowing();
    std::shared_ptr<ThumbnailService> service = ThumbnailService::create(rt, sim.platform().screenCapture);
    std::vector<uint32_t> docs;
    std::shared_ptr<WindowStore> store;
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BadgeService> badges;
    std::shared_ptr<BarViewModel> model;

    // "Doc 0" to "Doc 2", each `step` points right of the last.
    void openDocs(double step) {
        for (int i = 0; i < 3; ++i) {
            docs.push_back(sim.openWindow(editor, "Doc " + std::to_string(i), desk,
                                          Rect{100.0 + step * i, 100, 800, 600}));
        }
    }
    // The store over the windows open now, and the bar model on it.
    void startModel() {
        store = WindowStore::create(sim.platform());
        store->populate();
        rt.runUntilIdle();
        settings = UserSettings::create(sim.platform());
        badges = std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
        model = BarViewModel::create(sim.platform(), store, settings, badges);
    }
};

}  // namespace qv::testing
