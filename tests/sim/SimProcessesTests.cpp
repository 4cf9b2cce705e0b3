#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>

#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "sim/SimLaunchServices.h"
#include "sim/SimProcesses.h"

namespace qv {
namespace {

class SimLSAppInfoTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    Processes& processes = sim.platform().processes;
    int32_t mail = sim.launchApp(std::string("com.example.harbormail"), "Harbor Mail");
    int32_t helper = sim.launchApp(std::nullopt, "helper", ActivationPolicy::prohibited);

    ProcessResult lsappinfo(std::vector<std::string> args) {
        return processes.run("/usr/bin/lsappinfo", args, 3.0);
    }
    std::string asn(int32_t pid) { return simASNText(simASN(pid)); }
};

TEST_F(SimLSAppInfoTest, ListPrintsEveryRunningApplicationInTheToolsFormat) {
    int32_t gone = sim.launchApp(std::string("com.example.gone"), "Gone");
    sim.terminateApp(gone);
    ProcessResult r = lsappinfo({"list"});
    ASSERT_TRUE(r.launched);
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.standardError, "");
    const std::string& out = r.standardOutput;
    EXPECT_NE(out.find(" 1) \"QuillVorn\" ASN:" + asn(sim.ownPID()) + ": \n"), std::string::npos);
    EXPECT_NE(
        out.find(" 2) \"Harbor Mail\" ASN:" + asn(mail) + ": \n    bundleID=\"com.example.harbormail\"\n"),
        std::string::npos);
    EXPECT_NE(out.find("    pid = " + std::to_string(mail) + " type=\"Foreground\""), std::string::npos);
    EXPECT_NE(out.find(" 3) \"helper\" ASN:" + asn(helper) + ": \n    bundleID=[ NULL ]\n"),
              std::string::npos);
    EXPECT_NE(out.find("type=\"BackgroundOnly\""), std::string::npos);
    EXPECT_EQ(out.find("Gone"), std::string::npos);
    EXPECT_NE(asn(mail), asn(helper));
}

TEST_F(SimLSAppInfoTest, FindNamesTheApplicationsThatWantAttention) {
    EXPECT_EQ(lsappinfo({"find", "kLSApplicationDesiresAttentionKey=true"}).standardOutput, "");
    sim.app(mail)->wantsAttention = true;
    ProcessResult r = lsappinfo({"find", "kLSApplicationDesiresAttentionKey=true"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.standardOutput, "ASN:" + asn(mail) + "-\"Harbor Mail\":\n");
    ProcessResult bad = lsappinfo({"find", "bundleid=x"});
    EXPECT_EQ(bad.exitStatus, 1);
    EXPECT_NE(bad.standardError.find("err=-50"), std::string::npos);
}

TEST_F(SimLSAppInfoTest, SetinfoClearsTheFlagByPIDOrBundleIdentifier) {
    sim.app(mail)->wantsAttention = true;
    ProcessResult r = lsappinfo(
        {"setinfo", "-app", "pid:" + std::to_string(mail), "kLSApplicationDesiresAttentionKey=false"});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.standardError, "");
    EXPECT_FALSE(sim.app(mail)->wantsAttention);
    lsappinfo({"setinfo", "-app", "com.example.harbormail", "kLSApplicationDesiresAttentionKey=true"});
    EXPECT_TRUE(sim.app(mail)->wantsAttention);

    ProcessResult unknown =
        lsappinfo({"setinfo", "-app", "pid:99999", "kLSApplicationDesiresAttentionKey=false"});
    EXPECT_EQ(unknown.exitStatus, 1);
    EXPECT_NE(unknown.standardError.find("err=-600"), std::string::npos);
}

TEST_F(SimLSAppInfoTest, FaultsPerCommand) {
    sim.app(mail)->wantsAttention = true;
    auto& faults = sim.processes().lsappinfoFaults;
    const std::vector<std::string> clear{"setinfo", "-app", "com.example.harbormail",
                                         "kLSApplicationDesiresAttentionKey=false"};

    faults["setinfo"] = SimToolFault::exitNonZero;
    ProcessResult refused = lsappinfo(clear);
    EXPECT_EQ(refused.exitStatus, 1);
    EXPECT_NE(refused.standardError.find("err="), std::string::npos);
    EXPECT_TRUE(sim.app(mail)->wantsAttention);  // a failed setinfo changes nothing

    faults["list"] = SimToolFault::failToLaunch;
    ProcessResult missing = lsappinfo({"list"});
    EXPECT_FALSE(missing.launched);
    EXPECT_EQ(missing.launchError, ENOENT);

    faults["list"] = SimToolFault::garbage;
    ProcessResult garbled = lsappinfo({"list"});
    EXPECT_EQ(garbled.exitStatus, 0);
    EXPECT_NE(garbled.standardOutput.find("\"Harbor Mail\""), std::string::npos);
    EXPECT_EQ(static_cast<unsigned char>(garbled.standardOutput[0]), 0xFFu);

    faults["list"] = SimToolFault::hang;
    ProcessResult hung = processes.run("/usr/bin/lsappinfo", {"list"}, 2.5);
    EXPECT_TRUE(hung.launched);
    EXPECT_TRUE(hung.timedOut);
    EXPECT_EQ(hung.terminationReason, TerminationReason::uncaughtSignal);
    EXPECT_EQ(hung.exitStatus, SIGKILL);
    EXPECT_NEAR(rt.now(), 2.5, 1e-9);

    // The other commands are unaffected.
    EXPECT_FALSE(lsappinfo({"find", "kLSApplicationDesiresAttentionKey=true"}).standardOutput.empty());
}

TEST_F(SimLSAppInfoTest, OtherProgramsDoNotExistAndEveryRunIsRecorded) {
    ProcessResult r = processes.run("/usr/bin/osascript", {"-e"}, 3.0);
    EXPECT_FALSE(r.launched);
    EXPECT_EQ(r.launchError, ENOENT);
    lsappinfo({"list"});
    ASSERT_EQ(sim.callLog.size(), 2u);
    EXPECT_EQ(sim.callLog[0].name, "/usr/bin/osascript");
    EXPECT_EQ(sim.callLog[0].args, Value::array({Value::string("-e")}));
    EXPECT_EQ(sim.callLog[1].name, "/usr/bin/lsappinfo");
    EXPECT_EQ(sim.callLog[1].args, Value::array({Value::string("list")}));
}

TEST_F(SimLSAppInfoTest, LaunchServicesAnswersFromTheRunningApplications) {
    LaunchServices& ls = sim.platform().launchServices;
    sim.app(mail)->badgeLabel = "3";
    auto apps = ls.copyRunningApplicationArray(kSimLSDefaultSessionID);
    ASSERT_TRUE(apps);
    EXPECT_EQ(*apps, (LSASNArray{simASN(sim.ownPID()), simASN(mail), simASN(helper)}));
    EXPECT_FALSE(ls.copyRunningApplicationArray(0));  // another session knows nothing

    auto info = ls.copyApplicationInformation(kSimLSDefaultSessionID, simASN(mail), std::nullopt);
    ASSERT_TRUE(info);
    EXPECT_EQ((*info)["CFBundleIdentifier"], Value::string("com.example.harbormail"));
    EXPECT_EQ((*info)["StatusLabel"]["label"], Value::string("3"));
    auto noBadge = ls.copyApplicationInformation(kSimLSDefaultSessionID, simASN(helper), std::nullopt);
    EXPECT_FALSE(noBadge->has("StatusLabel"));
    EXPECT_FALSE(noBadge->has("CFBundleIdentifier"));
    auto some = ls.copyApplicationInformation(kSimLSDefaultSessionID, simASN(mail),
                                              Value::array({Value::string("pid")}));
    EXPECT_EQ(*some, Value::dictionary({{"pid", Value::number(mail)}}));

    sim.terminateApp(mail);
    EXPECT_FALSE(ls.copyApplicationInformation(kSimLSDefaultSessionID, simASN(mail), std::nullopt));
}

}  // namespace
}  // namespace qv
