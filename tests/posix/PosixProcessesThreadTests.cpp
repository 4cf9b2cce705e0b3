#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "posix/PosixProcesses.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// Small shell scripts in a temporary folder of their own.
class PosixProcessesTest : public ::testing::Test {
  protected:
    fs::path folder;
    PosixProcesses processes;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qv-processes-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string script(const std::string& name, const std::string& body,
                       fs::perms perms = fs::perms::owner_all) {
        fs::path path = folder / name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, perms);
        return path.string();
    }
    static bool isGone(pid_t pid) {
        // Killed and reaped, or killed and waiting to be reaped by whoever adopted it.
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        if (!stat) return true;
        std::string pidField, name, state;
        stat >> pidField >> name >> state;
        return state == "Z" || state == "X";
    }
};

TEST_F(PosixProcessesTest, ReadsBothPipesPastWhatAPipeHoldsAndPassesArguments) {
    // 256 KiB to standard error first: a runner that read only standard output until its end
    // would stall here until the time-out.
    std::string path = script("talk",
                              "head -c 262144 /dev/zero | tr '\\0' e >&2\n"
                              "head -c 300000 /dev/zero | tr '\\0' o\n"
                              "for a in \"$@\"; do printf '[%s]' \"$a\"; done\n"
                              "exit 0\n");
    ProcessResult r = processes.run(path, {"list", "two words", ""}, 20.0);
    ASSERT_TRUE(r.launched);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.terminationReason, TerminationReason::exit);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.standardError, std::string(262144, 'e'));
    EXPECT_EQ(r.standardOutput, std::string(300000, 'o') + "[list][two words][]");
}

TEST_F(PosixProcessesTest, ExitStatusAndSignals) {
    ProcessResult failed = processes.run(script("fail", "echo oops >&2\nexit 3\n"), {}, 20.0);
    EXPECT_TRUE(failed.launched);
    EXPECT_EQ(failed.exitStatus, 3);
    EXPECT_EQ(failed.standardError, "oops\n");

    ProcessResult killed = processes.run(script("crash", "kill -SEGV $$\n"), {}, 20.0);
    EXPECT_TRUE(killed.launched);
    EXPECT_FALSE(killed.timedOut);
    EXPECT_EQ(killed.terminationReason, TerminationReason::uncaughtSignal);
    EXPECT_EQ(killed.exitStatus, SIGSEGV);
}

TEST_F(PosixProcessesTest, ATimeOutKillsTheChildAndWhatItStartedAndKeepsTheOutputSoFar) {
    std::string path = script("hang", "sleep 60 &\necho $!\necho started >&2\nwait\n");
    auto began = std::chrono::steady_clock::now();
    ProcessResult r = processes.run(path, {}, 0.5);
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    ASSERT_TRUE(r.launched);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.terminationReason, TerminationReason::uncaughtSignal);
    EXPECT_EQ(r.exitStatus, SIGKILL);
    EXPECT_EQ(r.standardError, "started\n");
    EXPECT_GE(took, 0.5);
    EXPECT_LT(took, 30.0);  // nowhere near the minute the child would have taken
    pid_t sleeper = std::atoi(r.standardOutput.c_str());
    ASSERT_GT(sleeper, 0);
    for (int i = 0; i < 200 && !isGone(sleeper); ++i) ::usleep(10'000);
    EXPECT_TRUE(isGone(sleeper));
}

TEST_F(PosixProcessesTest, AChildThatClosesItsPipesButRunsOnStillTimesOut) {
    std::string path = script("quiet", "echo bye\nexec >/dev/null 2>&1\nsleep 60\n");
    ProcessResult r = processes.run(path, {}, 0.5);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.standardOutput, "bye\n");
}

TEST_F(PosixProcessesTest, AChildThatWritesPastTheLimitIsKilledWithTheLimitKept) {
    ProcessResult r = processes.run(script("flood", "head -c 9437184 /dev/zero\necho done >&2\n"), {}, 20.0);
    ASSERT_TRUE(r.launched);
    EXPECT_TRUE(r.outputLimitExceeded);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.standardOutput.size(), kProcessOutputLimit);
    EXPECT_EQ(r.terminationReason, TerminationReason::uncaughtSignal);
}

TEST_F(PosixProcessesTest, MissingOrNotExecutableFilesDoNotLaunch) {
    ProcessResult missing = processes.run((folder / "absent").string(), {"list"}, 5.0);
    EXPECT_FALSE(missing.launched);
    EXPECT_EQ(missing.launchError, ENOENT);

    std::string plain = script("plain", "exit 0\n", fs::perms::owner_read | fs::perms::owner_write);
    ProcessResult refused = processes.run(plain, {}, 5.0);
    EXPECT_FALSE(refused.launched);
    EXPECT_EQ(refused.launchError, EACCES);

    // No search path: a bare name is not looked up.
    EXPECT_FALSE(processes.run("sh", {"-c", "exit 0"}, 5.0).launched);
}

}  // namespace
}  // namespace qv
