#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "dispatch/RealRuntime.h"
#include "model/BadgeService.h"
#include "posix/PosixProcesses.h"
#include "sim/SimDesktop.h"

namespace qv {
namespace {

TEST(BadgeServiceRealRuntimeTest, PollsOnItsThreadAndPublishesOnTheMainThread) {
    RealRuntime rt;
    SimDesktop sim(rt);
    int32_t mail = sim.launchApp(std::string("com.example.harbormail"), "Harbor Mail");
    int32_t ink = sim.launchApp(std::string("com.example.inkwell"), "Inkwell");
    sim.app(mail)->badgeLabel = "3";
    sim.app(ink)->wantsAttention = true;
    auto service =
        std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
    bool offMain = false;
    auto sub = service->attentionByBundleID.subscribeToChanges([&](const auto&) {
        offMain = offMain || !rt.mainQueue()->isCurrent() || service->queue()->isCurrent();
    });

    service->start();
    ASSERT_TRUE(rt.runMainUntil([&] { return !service->attentionByBundleID->empty(); }, 10.0));
    EXPECT_EQ(*service->badgesByBundleID,
              (std::map<std::string, std::string>{{"com.example.harbormail", "3"}}));
    EXPECT_EQ(*service->attentionByBundleID, std::set<std::string>{"com.example.inkwell"});

    std::thread([&] { service->clearAttention("com.example.inkwell"); }).join();  // from any thread
    ASSERT_TRUE(rt.runMainUntil([&] { return service->attentionByBundleID->empty(); }, 10.0));
    EXPECT_FALSE(sim.app(ink)->wantsAttention);
    EXPECT_FALSE(offMain);
}

// Counts the runs it passes on.
class CountingProcesses : public Processes {
  public:
    explicit CountingProcesses(Processes& inner) : inner_(inner) {}
    ProcessResult run(const std::string& path, const std::vector<std::string>& args,
                      Seconds timeout) override {
        ProcessResult r = inner_.run(path, args, timeout);
        launched += r.launched;
        ++runs;
        return r;
    }
    std::atomic<int> runs{0};
    std::atomic<int> launched{0};

  private:
    Processes& inner_;
};

TEST(BadgeServiceRealRuntimeTest, WithoutTheToolOnThisMachineBadgesStillShow) {
    if (std::filesystem::exists(LSAppInfo::kDefaultPath)) GTEST_SKIP() << "this machine has the tool";
    RealRuntime rt;
    SimDesktop sim(rt);
    int32_t mail = sim.launchApp(std::string("com.example.harbormail"), "Harbor Mail");
    sim.app(mail)->badgeLabel = "3";
    PosixProcesses real;
    CountingProcesses counting(real);
    auto service = std::make_shared<BadgeService>(rt, counting, sim.platform().launchServices);
    int assignments = 0;
    auto sub = service->badgesByBundleID.subscribeToChanges([&](const auto&) { ++assignments; });

    service->start();
    ASSERT_TRUE(rt.runMainUntil([&] { return assignments >= 1; }, 10.0));
    rt.runMainFor(0.2);
    EXPECT_EQ(counting.runs, 2);  // the list and the search, neither of which could launch
    EXPECT_EQ(counting.launched, 0);
    EXPECT_EQ(assignments, 1);
    EXPECT_EQ(*service->badgesByBundleID,
              (std::map<std::string, std::string>{{"com.example.harbormail", "3"}}));
    EXPECT_TRUE(service->attentionByBundleID->empty());
}

}  // namespace
}  // namespace qv
