#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileSystem.h"
#include "sim/SimLoginItems.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(SimFileSystemTest, ATemporaryHomeGoesAwayWithTheDesktopAGivenOneStays) {
    ManualRuntime rt;
    std::string temporary;
    {
        SimDesktop sim(rt);
        temporary = sim.fileSystem().homeDirectory();
        EXPECT_TRUE(fs::is_directory(temporary));
        ASSERT_TRUE(
            sim.platform().fileSystem.createDirectory(sim.fileSystem().applicationSupportDirectory()));
    }
    EXPECT_FALSE(fs::exists(temporary));

    std::string pattern = (fs::temp_directory_path() / "qv-given-home-XXXXXX").string();
    std::string given = ::mkdtemp(pattern.data());
    {
        SimDesktop sim(rt, given);
        EXPECT_EQ(sim.fileSystem().homeDirectory(), given);
        EXPECT_EQ(sim.platform().fileSystem.applicationSupportDirectories(),
                  std::vector<std::string>{given + "/Library/Application Support"});
    }
    EXPECT_TRUE(fs::is_directory(given));
    fs::remove_all(given);
}

TEST(SimFileSystemTest, CallsAreLoggedAndRefusedCallsTouchNothing) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    FileSystem& files = sim.platform().fileSystem;
    std::string path = sim.fileSystem().homeDirectory() + "/f";
    sim.fileSystem().refuseWrites = true;
    EXPECT_FALSE(files.writeAtomically(path, "x"));
    EXPECT_FALSE(files.fileExists(path));
    sim.fileSystem().refuseWrites = false;
    EXPECT_TRUE(files.writeAtomically(path, "x"));
    sim.fileSystem().refuseReads = true;
    EXPECT_EQ(files.contentsOfFile(path), std::nullopt);
    sim.fileSystem().refuseCopies = true;
    EXPECT_FALSE(files.copyItem(path, path + ".copy"));
    EXPECT_FALSE(files.fileExists(path + ".copy"));
    sim.fileSystem().noApplicationSupportDirectory = true;
    EXPECT_TRUE(files.applicationSupportDirectories().empty());

    auto writes = sim.callsNamed("Data.write");
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[1].args, Value::string(path));
    EXPECT_EQ(sim.callsNamed("FileManager.copyItem").size(), 1u);
}

TEST(SimLoginItemsTest, RegistrationFollowsTheSwitches) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    LoginItems& items = sim.platform().loginItems;
    EXPECT_EQ(items.mainAppStatus(), LoginItemStatus::notRegistered);
    EXPECT_TRUE(items.unregisterMainApp());  // nothing to unregister
    sim.loginItems().refuseRegistration = true;
    EXPECT_TRUE(items.registerMainApp());
    EXPECT_EQ(items.mainAppStatus(), LoginItemStatus::notRegistered);
    sim.loginItems().refuseRegistration = false;
    EXPECT_EQ(items.registerMainApp(), std::nullopt);
    EXPECT_EQ(items.mainAppStatus(), LoginItemStatus::enabled);
    EXPECT_EQ(items.unregisterMainApp(), std::nullopt);
    EXPECT_EQ(items.mainAppStatus(), LoginItemStatus::notRegistered);
    EXPECT_EQ(sim.callsNamed("SMAppService.register").size(), 2u);
}

TEST(SimDesktopTerminationTest, QuittingPostsTheWillTerminateNotification) {
    ManualRuntime rt;
    SimDesktop sim(rt);
    int heard = 0;
    auto sub = sim.platform().notifications.addObserver(notifications::kApplicationWillTerminate, nullptr,
                                                        [&](const Notification&) { ++heard; });
    sim.terminateOurApplication();
    EXPECT_EQ(heard, 1);
}

}  // namespace
}  // namespace qv
