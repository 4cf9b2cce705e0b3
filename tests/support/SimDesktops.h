#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"

namespace qv::testing {

// Runs `work` on the main queue, where AppKit is called, and returns once it ran. The virtual clock's
// main thread is the test's own; the real clock's main queue is current only while its loop runs.
inline void onMainQueue(ManualRuntime&, const std::function<void()>& work) {
    work();
}
template <class Runtime>
void onMainQueue(Runtime& rt, const std::function<void()>& work) {
    bool ran = false;  // main thread only
    rt.mainQueue()->async([&] {
        work();
        ran = true;
    });
    ASSERT_TRUE(rt.runMainUntil([&] { return ran; }, 10.0));
}

// The simulated desktops most tests start from. Each takes its clock as a parameter: the virtual
// one by default, the real one for the tests that run threads.

// One display (1440 x 900 unless a test says otherwise) with one desktop.
template <class Runtime = ManualRuntime>
class OneDesktop : public ::testing::Test {
  protected:
    explicit OneDesktop(Rect screen = {0, 0, 1440, 900})
        : display(sim.addDisplay("Main", screen)), space(sim.addSpace(display)) {}

    Runtime rt;
    SimDesktop sim{rt};
    uint32_t display;
    uint64_t space;
};

// The same with one running application.
template <class Runtime = ManualRuntime>
class OneAppDesktop : public OneDesktop<Runtime> {
  protected:
    explicit OneAppDesktop(const char* bundleID = "com.example.app", const char* name = "App",
                           Rect screen = {0, 0, 1440, 900})
        : OneDesktop<Runtime>(screen), app(this->sim.launchApp(std::string(bundleID), name)) {}

    int32_t app;

    uint32_t open(std::string title, Rect frame = {100, 100, 800, 600}) {
        return this->sim.openWindow(app, std::move(title), this->space, frame);
    }
};

// One application on a display of 1920 x 1080.
template <class Runtime = ManualRuntime>
class WideAppDesktop : public OneAppDesktop<Runtime> {
  protected:
    WideAppDesktop() : OneAppDesktop<Runtime>("com.example.app", "App", {0, 0, 1920, 1080}) {}
};

// A main display of 1440 x 900 and a second one to its right, by default 1280 x 800 (its bottom
// edge 100 points above the main one's), without desktops.
class TwoDisplays : public ::testing::Test {
  protected:
    explicit TwoDisplays(Rect sideScreen = {1440, 0, 1280, 800}, const char* mainName = "Main")
        : main(sim.addDisplay(mainName, {0, 0, 1440, 900})), side(sim.addDisplay("Side", sideScreen)) {}

    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t main;
    uint32_t side;
};

// One display of 1920 x 1080 with two desktops.
class TwoDesktops : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1920, 1080});
    uint64_t s1 = sim.addSpace(display);
    uint64_t s2 = sim.addSpace(display);

    int32_t launch(const char* bundleID, const char* name,
                   ActivationPolicy policy = ActivationPolicy::regular) {
        return sim.launchApp(std::string(bundleID), name, policy);
    }
    uint32_t open(int32_t pid, std::string title, uint64_t space, Rect frame = {100, 100, 800, 600},
                  const std::function<void(SimWindowSpec&)>& tweak = {}) {
        return sim.openWindow(pid, std::move(title), space, frame, tweak);
    }
};

}  // namespace qv::testing
