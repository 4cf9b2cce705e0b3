#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dispatch/AppWorkers.h"
#include "dispatch/ManualRuntime.h"

namespace qv {
namespace {

class AppWorkersTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    AppWorkers workers{rt};
    std::vector<std::string> ran;
};

TEST_F(AppWorkersTest, AUserRequestGoesBeforeTheBackgroundReadsNotStartedYet) {
    auto slow = rt.makeSemaphore(0);
    workers.askInBackground(
        7,
        [&] {
            ran.push_back("read 1");
            return slow->wait(1);
        },
        [](bool) {});
    workers.askInBackground(
        7,
        [&] {
            ran.push_back("read 2");
            return 0;
        },
        [](int) {});
    rt.runUntilIdle();
    workers.ask(7, [&] { ran.push_back("click"); });
    rt.advance(1);
    EXPECT_EQ(ran, (std::vector<std::string>{"read 1", "click", "read 2"}));
}

TEST_F(AppWorkersTest, AnApplicationThatEndedGetsNoWorkerUntilItsPidIsLaunchedAgain) {
    std::vector<std::optional<int>> answers;
    auto askSeven = [&] {
        workers.ask(
            7,
            [&] {
                ran.push_back("asked");
                return std::optional<int>(1);
            },
            [&](std::optional<int> answer) { answers.push_back(answer); });
    };
    workers.ask(7, [] {});
    workers.applicationTerminated(7);
    askSeven();
    rt.runUntilIdle();
    EXPECT_FALSE(workers.hasWorker(7));
    EXPECT_TRUE(ran.empty());
    EXPECT_EQ(answers, (std::vector<std::optional<int>>{std::nullopt})) << "its answer still comes, empty";

    workers.applicationLaunched(7);
    askSeven();
    rt.runUntilIdle();
    EXPECT_TRUE(workers.hasWorker(7));
    EXPECT_EQ(ran, std::vector<std::string>{"asked"});
    EXPECT_EQ(answers.back(), 1);
}

}  // namespace
}  // namespace qv
