#pragma once

#include "sim/SimWindowing.h"
#include "support/SimDesktops.h"

namespace qv::testing {

// One desktop with our application active, and keys and modifiers pressed on it, each settled.
class KeyboardDesktop : public OneDesktop<> {
  protected:
    void SetUp() override { sim.windowing().activate(true); }
    void key(uint16_t code, uint64_t flags = 0) {
        sim.keyDown(code, "", flags);
        rt.runUntilIdle();
    }
    void flags(uint64_t held) {
        sim.flagsChanged(held);
        rt.runUntilIdle();
    }
};

}  // namespace qv::testing
