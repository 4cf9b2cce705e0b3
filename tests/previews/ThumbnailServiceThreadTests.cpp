#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "dispatch/RealRuntime.h"
#include "previews/ThumbnailService.h"
#include "sim/SimScreenCapture.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

class ThumbnailServiceRealRuntimeTest : public testing::OneAppDesktop<RealRuntime> {
  protected:
    ThumbnailServiceRealRuntimeTest() : OneAppDesktop("com.example.a", "A") {}
};

TEST_F(ThumbnailServiceRealRuntimeTest, ConcurrentCallersFromManyThreadsEachGetOneAnswerOnTheMainQueue) {
    std::vector<uint32_t> windows;
    for (int i = 0; i < 8; ++i) windows.push_back(open("w", Rect{0, 0, 200, 100}));
    sim.screenCapture().setWindowCaptureFault(windows[7], CaptureFault::answerTwice);
    auto service = ThumbnailService::create(rt, sim.platform().screenCapture);

    std::atomic<int> answers{0};
    std::atomic<int> pictures{0};
    std::atomic<bool> offMain{false};
    auto count = [&](std::shared_ptr<const Image> image) {
        if (!rt.mainQueue()->isCurrent()) offMain = true;
        pictures += image != nullptr;
        ++answers;
    };
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&, t] {
            for (uint32_t id : windows) {
                if (t % 2) {
                    service->captureSwitcherThumbnail(id, nullptr, count);
                } else {
                    service->thumbnail(id, count);
                    service->prefetch(windows);
                }
            }
        });
    }
    for (auto& thread : callers) thread.join();
    ASSERT_TRUE(rt.runMainUntil([&] { return answers == 32; }, 10.0));
    rt.runMainFor(0.05);  // a second answer would arrive by now
    EXPECT_EQ(answers, 32);
    EXPECT_EQ(pictures, 32);
    EXPECT_FALSE(offMain);
    EXPECT_EQ(service->runningSwitcherCaptures(), 0);
    EXPECT_EQ(service->switcherCacheCount(), 8u);
    EXPECT_EQ(service->cacheCount(), 8u);
}

}  // namespace
}  // namespace qv
