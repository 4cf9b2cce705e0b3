#pragma once

#include "bar/MouseDisplayTracker.h"
#include "launcher/HotkeyManager.h"

namespace qv::testing {

// The shared services a bar manager reaches when it is made, for the life of one test.
struct SharedBarServices {
    SharedBarServices(Platform& platform, UserSettings& settings) {
        MouseDisplayTracker::setShared(MouseDisplayTracker::create(platform));
        HotkeyManager::setShared(HotkeyManager::create(platform, settings));
    }
    ~SharedBarServices() {
        HotkeyManager::setShared(nullptr);
        MouseDisplayTracker::setShared(nullptr);
    }
};

}  // namespace qv::testing
