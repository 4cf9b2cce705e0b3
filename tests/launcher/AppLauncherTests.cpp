#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "launcher/AppLauncher.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileEventStreams.h"
#include "sim/SimFileSystem.h"

namespace qv {
namespace {

class AppLauncherTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    std::shared_ptr<AppLauncher> launcher;

    void install(const std::string& path, const std::string& id, const std::string& name = {},
                 std::optional<std::string> displayName = std::nullopt) {
        SimInstalledApp app;
        app.path = path;
        app.bundleID = id;
        app.name =
            name.empty() ? path.substr(path.rfind('/') + 1, path.rfind('.') - path.rfind('/') - 1) : name;
        app.displayName = std::move(displayName);
        sim.applications().install(std::move(app));
    }
    void start() {
        launcher = AppLauncher::create(sim.platform());
        rt.runUntilIdle();
    }
    std::string home() { return sim.fileSystem().homeDirectory(); }
    // "name id" per app, in list order; the id is shown relative to the home folder.
    std::vector<std::string> listed() {
        std::vector<std::string> out;
        for (const AppInfo& app : *launcher->allApps) {
            std::string id = app.id;
            if (id.starts_with(home())) id = "~" + id.substr(home().size());
            out.push_back(app.name + " " + id);
        }
        return out;
    }
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const AppInfo& app : *launcher->allApps) out.push_back(app.name);
        return out;
    }
};

TEST_F(AppLauncherTest, DiscoveryFindsEachApplicationOnceInFolderOrderAndSortsByName) {
    install("/Applications/zeta.app", "com.example.zeta");
    install("~/Applications/zeta.app", "com.example.zeta");  // a copy: the first folder's wins
    install("/Applications/Utilities/Alpha.app", "com.example.alpha");
    install("/System/Applications/Utilities/Alpha.app", "com.example.alpha");
    install("/System/Applications/beta.app", "com.example.beta");
    install("/System/Volumes/Preboot/Cryptexes/App/System/Applications/Gamma.app", "com.example.gamma");
    install("~/Applications/Games/Chess.app", "com.example.chess");
    install("~/Applications/Games/Board/Go.app", "com.example.go");        // two levels down
    install("~/Applications/Games/Board/Old/Nim.app", "com.example.nim");  // three: too deep
    install("~/Applications/Outer.app", "com.example.outer");
    install("~/Applications/Outer.app/Contents/Helpers/Inner.app", "com.example.inner");  // never entered
    install("/Applications/Plain.app", "");  // no identifier: listed under its path, each copy
    install("~/Applications/Plain.app", "");
    install("/Applications/Blank.app", "com.example.blank", "Blank", "");  // empty display name wins
    install("/Applications/.Hidden.app", "com.example.hidden");
    install("/Applications/Tool.APP", "com.example.tool");
    install(AppLauncher::kFinderPath, "com.apple.finder", "Finder");
    install("/Library/Browsers/Browser.app", AppLauncher::kBrowserBundleID, "Browser");
    SimInstalledApp broken;  // a folder that does not open as a bundle: its file name and path
    broken.path = "/Applications/Broken.app";
    broken.name = "Ignored";
    broken.opens = false;
    sim.applications().install(broken);
    start();

    EXPECT_EQ(listed(), (std::vector<std::string>{
                            "Alpha com.example.alpha", "beta com.example.beta",
                            "Broken /Applications/Broken.app", "Browser com.apple.Safari",
                            "Chess com.example.chess", "Finder com.apple.finder", "Gamma com.example.gamma",
                            "Go com.example.go", "Outer com.example.outer", "Plain /Applications/Plain.app",
                            "Plain ~/Applications/Plain.app", "zeta com.example.zeta"}));
    const AppInfo& alpha = launcher->allApps->front();
    EXPECT_EQ(alpha.path, "/Applications/Utilities/Alpha.app");
    ASSERT_TRUE(alpha.icon);
    EXPECT_EQ(alpha.icon->width, 32);
    EXPECT_EQ(alpha.icon->height, 32);
    EXPECT_EQ(launcher->allApps->back().path, "/Applications/zeta.app");
}

TEST_F(AppLauncherTest, ABundleLeftOutForItsEmptyNameStillHidesLaterCopies) {
    // Kept as the rule has it: the identifier is claimed before the name is looked at.
    install("/Applications/Twin.app", "com.example.twin", "Twin", "");
    install("~/Applications/Twin.app", "com.example.twin", "Twin");
    install("/Applications/Other.app", "com.example.other");
    start();
    EXPECT_EQ(names(), (std::vector<std::string>{"Other"}));
}

TEST_F(AppLauncherTest, OnlyTheNewestScanIsAppliedWhenScansOverlap) {
    install("/Applications/Old.app", "com.example.old");
    // The first scan lists "/Applications" slowly; meanwhile an app is installed and a rescan,
    // started later, finishes first.
    sim.fileSystem().slowNextListing["/Applications"] = 3;
    rt.mainQueue()->asyncAfter(1, [&] {
        install("/Applications/New.app", "com.example.new");
        launcher->refresh();
    });
    start();
    rt.advance(2);
    EXPECT_EQ(names(), (std::vector<std::string>{"New", "Old"}));
    rt.advance(1);  // the first scan finishes last, at 3 s, with the list from before the install
    EXPECT_EQ(launcher->scansStarted(), 2u);
    EXPECT_EQ(names(), (std::vector<std::string>{"New", "Old"}));
    EXPECT_NE(launcher->eventStream(), 0u) << "the folders are watched all the same";
}

TEST_F(AppLauncherTest, ABurstOfFileEventsCostsOneRescanTwoSecondsAfterTheLastDelivery) {
    install("/Applications/Old.app", "com.example.old");
    install("/System/Applications/Stock.app", "com.example.stock");
    start();
    auto streams = sim.fileEventStreams().streams();
    ASSERT_EQ(streams.size(), 1u);
    const auto& stream = streams.begin()->second;
    // The user's Applications folder does not exist: not watched.
    EXPECT_EQ(stream.paths, (std::vector<std::string>{"/Applications", "/System/Applications"}));
    EXPECT_EQ(stream.latency, 1.0);
    EXPECT_EQ(stream.flags, 17u);
    EXPECT_TRUE(stream.started);

    // A copy writes many files; the stream hands them over together after its latency.
    sim.applications().copyBundle("/System/Applications/Stock.app", "/Applications/Copy.app");
    rt.advance(0.5);
    sim.applications().copyBundle("/System/Applications/Stock.app", "/Applications/Utilities/Copy.app");
    rt.advance(0.5);
    EXPECT_EQ(sim.fileEventStreams().streams().begin()->second.deliveries, 1);
    EXPECT_TRUE(launcher->hasPendingRefresh());
    // Another change while the rescan waits restarts the wait.
    rt.advance(0.5);
    sim.applications().removeBundle("/Applications/Old.app");
    rt.advance(1.0);
    EXPECT_EQ(sim.fileEventStreams().streams().begin()->second.deliveries, 2);
    rt.advance(1.9);
    EXPECT_EQ(launcher->scansStarted(), 1u);
    rt.advance(0.1);
    EXPECT_EQ(launcher->scansStarted(), 2u);
    EXPECT_EQ(names(), (std::vector<std::string>{"Stock"})) << "the copy shares the stock app's identifier";

    // Folders outside the watched ones are not seen.
    install("/System/Volumes/Preboot/Cryptexes/App/System/Applications/Hidden.app", "com.example.hidden");
    rt.advance(10);
    EXPECT_EQ(launcher->scansStarted(), 2u);

    // Released: the stream is stopped, invalidated and released; a pending rescan is dropped.
    sim.applications().removeBundle("/Applications/Copy.app");
    rt.advance(1.0);
    EXPECT_TRUE(launcher->hasPendingRefresh());
    launcher.reset();
    streams = sim.fileEventStreams().streams();
    EXPECT_TRUE(streams.begin()->second.invalidated);
    EXPECT_TRUE(streams.begin()->second.released);
    EXPECT_EQ(sim.callsNamed("FSEventStreamStop").size(), 1u);
    rt.advance(5);
}

TEST_F(AppLauncherTest, WithoutAStreamTheListChangesOnlyByAnExplicitRefresh) {
    sim.fileEventStreams().refuseCreate = true;
    start();
    EXPECT_EQ(launcher->eventStream(), 0u);
    install("/Applications/Late.app", "com.example.late");
    rt.advance(5);
    EXPECT_TRUE(names().empty());
    launcher->refresh();
    rt.runUntilIdle();
    EXPECT_EQ(names(), (std::vector<std::string>{"Late"}));
}

}  // namespace
}  // namespace qv
