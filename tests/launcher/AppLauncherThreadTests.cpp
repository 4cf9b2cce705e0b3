#include <gtest/gtest.h>

#include "dispatch/RealRuntime.h"
#include "launcher/AppLauncher.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

TEST(AppLauncherRealRuntimeTest, ScansRunOffTheMainThreadAndApplyTheNewestListOnIt) {
    RealRuntime rt;
    SimDesktop sim(rt);
    for (int i = 0; i < 40; ++i) {
        SimInstalledApp app;
        app.bundleID = "com.example.app" + std::to_string(i);
        app.name = "Café " + std::to_string(i);
        app.path = (i % 2 ? "/Applications/App " : "~/Applications/Kit/App ") + std::to_string(i) + ".app";
        sim.applications().install(std::move(app));
    }
    auto launcher = AppLauncher::create(sim.platform());
    bool offMain = false;
    auto sub = launcher->allApps.subscribeToChanges(
        [&](const auto&) { offMain = offMain || !rt.mainQueue()->isCurrent(); });
    ASSERT_TRUE(
        rt.runMainUntil([&] { return launcher->allApps->size() == 40 && launcher->eventStream(); }, 10.0));
    for (const SimCall& call : sim.callsNamed("FileManager.contentsOfDirectory"))
        EXPECT_FALSE(call.onMainQueue);

    // Overlapping rescans, and a copy whose events come back through the stream.
    launcher->refresh();
    launcher->refresh();
    sim.applications().copyBundle("/Applications/App 1.app", "/Applications/Utilities/App 1.app");
    SimInstalledApp late;
    late.bundleID = "com.example.late";
    late.name = "Late";
    sim.applications().install(late);
    ASSERT_TRUE(rt.runMainUntil(
        [&] { return launcher->scansStarted() == 4 && launcher->allApps->size() == 41; }, 10.0));
    EXPECT_EQ(launcher->searchResults(*launcher->allApps, "late").front().name, "Late");
    EXPECT_FALSE(offMain);
}

}  // namespace
}  // namespace qv
