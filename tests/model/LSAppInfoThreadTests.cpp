#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "model/LSAppInfo.h"
#include "posix/PosixProcesses.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// The tool runner on real processes: a script stands in for the tool where one is needed.
class LSAppInfoRealProcessTest : public ::testing::Test {
  protected:
    fs::path folder;
    PosixProcesses processes;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qv-lsappinfo-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string tool(const std::string& body) {
        fs::path path = folder / "lsappinfo";
        std::ofstream(path) << "#!/bin/sh\n" << body;
        fs::permissions(path, fs::perms::owner_all);
        return path.string();
    }
};

TEST_F(LSAppInfoRealProcessTest, AListLargerThanAPipeHoldsIsReadWhole) {
    LSAppInfo lsappinfo(processes,
                        tool("[ \"$1\" = list ] || exit 2\n"
                             "i=1\n"
                             "while [ $i -le 1500 ]; do\n"
                             "  printf '%3d) \"App %d\" ASN:0x0-0x%x: \\n' $i $i $i\n"
                             "  printf '    bundleID=\"com.example.app%d\"\\n' $i\n"
                             "  printf '    bundle path=\"/Applications/App %d.app\"\\n' $i\n"
                             "  printf '    pid = %d type=\"Foreground\" flavor=3\\n' $((1000 + i))\n"
                             "  i=$((i + 1))\n"
                             "done\n"
                             "echo 'lsappinfo: done, err=0' >&2\n"));
    auto result = lsappinfo.runLSAppInfo({"list"});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->exitStatus, 0);
    EXPECT_GT(result->standardOutput.size(), 150'000u);
    EXPECT_EQ(result->errCode, 0);
    auto records = lsappinfo.parseListOutput(result->standardOutput);
    ASSERT_EQ(records.size(), 1500u);
    EXPECT_EQ(records.front(), (AppRecord{"0x0-0x1", "com.example.app1", 1001}));
    EXPECT_EQ(records.back(), (AppRecord{"0x0-0x5dc", "com.example.app1500", 2500}));

    auto wrong = lsappinfo.runLSAppInfo({"find", "kLSApplicationDesiresAttentionKey=true"});
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->exitStatus, 2);
}

TEST_F(LSAppInfoRealProcessTest, AToolThatHangsIsAFailedRun) {
    LSAppInfo lsappinfo(processes, tool("echo 'ASN:0x0-0x1:'\nsleep 60\n"), 0.3);
    EXPECT_FALSE(lsappinfo.runLSAppInfo({"find", "kLSApplicationDesiresAttentionKey=true"}));
}

TEST_F(LSAppInfoRealProcessTest, TheSystemToolIsMissingOnThisMachine) {
    if (fs::exists(LSAppInfo::kDefaultPath)) GTEST_SKIP() << "this machine has the tool";
    LSAppInfo lsappinfo(processes);
    EXPECT_EQ(lsappinfo.lsappinfoPath, "/usr/bin/lsappinfo");
    EXPECT_FALSE(lsappinfo.runLSAppInfo({"list"}));
}

}  // namespace
}  // namespace qv
