#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dispatch/RealRuntime.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

// The platform goes while a worker waits on a hung application's answer, with more asked behind:
// the teardown ends the wait and the worker before the services its request uses go.
TEST(SimDesktopThreadTest, ThePlatformGoesAfterTheRequestsInFlight) {
    RealRuntime rt;
    auto sim = std::make_unique<SimDesktop>(rt);
    const uint64_t space = sim->addSpace(sim->addDisplay("Main", Rect{0, 0, 1440, 900}));
    const int32_t app = sim->launchApp(std::string("com.example.app"), "App");
    sim->openWindow(app, "Doc", space);
    sim->accessibility().faults(app).unresponsive = true;
    auto inside = rt.makeSemaphore(0);
    auto finished = std::make_shared<std::vector<AXError>>();  // written by the worker only
    Platform& platform = sim->platform();
    for (int i = 0; i < 3; ++i) {
        platform.appWorkers.ask(app, [ax = &platform.accessibility, app, inside, finished] {
            inside->signal();
            Value windows;
            finished->push_back(ax->copyAttributeValue(ax->createApplication(app), "AXWindows", windows));
        });
    }
    inside->wait();
    sim.reset();
    // The request under way ended as a hung application's does; those not started were dropped.
    EXPECT_EQ(*finished, std::vector<AXError>{kAXErrorCannotComplete});
}

}  // namespace
}  // namespace qv
