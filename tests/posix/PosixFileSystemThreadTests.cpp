#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "dispatch/RealRuntime.h"
#include "posix/PosixFileSystem.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

TEST(PosixFolderWatchTest, ChangesInTheFolderAndItsDeletionArriveOnTheQueueUntilCancelled) {
    std::string pattern = (fs::temp_directory_path() / "qv-watch-XXXXXX").string();
    const std::string home = ::mkdtemp(pattern.data());
    const std::string folder = home + "/Store";
    fs::create_directories(folder);
    PosixFileSystem files(home);
    RealRuntime rt;
    auto queue = rt.makeSerialQueue("watch");
    const int32_t fd = files.openForEvents(folder);
    ASSERT_GE(fd, 0);
    std::mutex mutex;
    uint32_t heard = 0;
    auto cancelled = rt.makeSemaphore(0);
    auto arrived = rt.makeSemaphore(0);
    auto source = files.makeFileSystemObjectSource(fd, vnodeevent::kWrite | vnodeevent::kDelete, queue);
    source->setEventHandler([&](uint32_t events) {
        std::lock_guard lock(mutex);
        heard |= events;
        arrived->signal();
    });
    source->setCancelHandler([&] {
        files.closeDescriptor(fd);
        cancelled->signal();
    });
    source->resume();
    std::ofstream(folder + "/Index.plist") << "x";
    ASSERT_TRUE(arrived->wait(5));
    fs::remove_all(folder);
    auto heardNow = [&] {
        std::lock_guard lock(mutex);
        return heard;
    };
    for (int i = 0; i < 5 && !(heardNow() & vnodeevent::kDelete); ++i) arrived->wait(1);
    EXPECT_EQ(heardNow(), vnodeevent::kWrite | vnodeevent::kDelete);
    source->cancel();
    EXPECT_TRUE(cancelled->wait(5));
    EXPECT_EQ(files.openForEvents(folder), -1);
    fs::remove_all(home);
}

}  // namespace
}  // namespace qv
