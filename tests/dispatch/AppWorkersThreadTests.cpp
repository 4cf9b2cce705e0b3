#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/AppWorkers.h"
#include "dispatch/RealRuntime.h"

namespace qv {
namespace {

// The application ends while its worker is inside a request and two more wait behind it: the end
// waits for neither, and every answer still comes, in order.
TEST(AppWorkersThreadTest, EndingAnApplicationWaitsForNothingAndEveryAnswerComes) {
    RealRuntime rt;
    AppWorkers workers(rt);
    auto inside = rt.makeSemaphore(0);
    auto letGo = rt.makeSemaphore(0);
    std::vector<std::string> answers;  // main thread only
    auto answer = [&](std::string a) { answers.push_back(std::move(a)); };
    workers.ask(
        7,
        [inside, letGo] {
            inside->signal();
            // Let go only once the end returned; an end that waited for this request times it out.
            return std::string(letGo->wait(20) ? "first" : "first, timed out");
        },
        answer);
    workers.ask(
        7, [] { return std::string("second"); }, answer);
    workers.askInBackground(
        7, [] { return std::string("third"); }, answer);
    inside->wait();
    workers.applicationTerminated(7);
    letGo->signal();
    ASSERT_TRUE(rt.runMainUntil([&] { return answers.size() == 3; }, 30)) << answers.size();
    EXPECT_EQ(answers, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_FALSE(workers.hasWorker(7));
}

// Several threads ask at once, each of the same fifty applications: one worker each, every request
// run once.
TEST(AppWorkersThreadTest, WorkersAreMadeForSeveralThreadsAtOnce) {
    constexpr int kAskers = 4, kApplications = 50;
    RealRuntime rt;
    AppWorkers workers(rt);
    std::atomic<int> ran{0};
    std::vector<std::thread> askers;
    for (int t = 0; t < kAskers; ++t) {
        askers.emplace_back([&] {
            for (int32_t pid = 1; pid <= kApplications; ++pid) workers.ask(pid, [&] { ++ran; });
        });
    }
    for (std::thread& asker : askers) asker.join();
    EXPECT_EQ(workers.workerCount(), size_t{kApplications});
    ASSERT_TRUE(rt.runMainUntil([&] { return ran == kAskers * kApplications; }, 30)) << ran;
}

}  // namespace
}  // namespace qv
