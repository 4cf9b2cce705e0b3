#pragma once

#include <memory>

#include "bar/BarManager.h"
#include "support/SharedBarServices.h"
#include "support/SimDesktops.h"

namespace qv::testing {

// A desktop with the settings, the window store and the shared services a bar manager reaches.
template <class Desktop>
class WithBar : public Desktop {
  protected:
    using Desktop::Desktop;

    std::shared_ptr<UserSettings> settings = UserSettings::create(this->sim.platform());
    std::shared_ptr<WindowStore> store = WindowStore::create(this->sim.platform());
    SharedBarServices services{this->sim.platform(), *settings};

    // The bar as the program makes it: medium sized, with a badge service of its own.
    std::shared_ptr<BarManager> makeBar() {
        Platform& p = this->sim.platform();
        auto bar =
            BarManager::create(p, store, BarMetrics::forSize(BarSize::medium), settings,
                               std::make_shared<BadgeService>(this->rt, p.processes, p.launchServices));
        this->rt.runUntilIdle();
        return bar;
    }
};

// Two displays side by side and what a bar needs; no desktops yet.
using BarDesktop = WithBar<TwoDisplays>;

}  // namespace qv::testing
