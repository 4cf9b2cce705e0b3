#pragma once

#include "bar/MouseDisplayTracker.h"
#include "launcher/HotkeyManager.h"
#include "model/UserSettings.h"

namespace qv::testing {

// The shared services a bar manager reaches when it is made, installed for one test and removed
// after it.
struct SharedBarServices {
    SharedBarServices(Platform& platform, UserSettings& settings) {
        MouseDisplayTracker::setShared(MouseDisplayTracker::create(platform));
        HotkeyManager::setShared(HotkeyManager::create(platform, settings));
    }
    ~SharedBarServices() {
        HotkeyManager::setShared(nullptr);
        MouseDisplayTracker::setShared(nullptr);
    }
    SharedBarServices(const SharedBarServices&) = delete;
    SharedBarServices& operator=(const SharedBarServices&) = delete;
};

}  // namespace qv::testing
