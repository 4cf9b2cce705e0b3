#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "model/LSAppInfo.h"
#include "platform/TextServices.h"
#include "sim/SimDesktop.h"
#include "sim/SimLaunchServices.h"
#include "sim/SimProcesses.h"

namespace qv {
namespace {

class LSAppInfoParsingTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    LSAppInfo tool{sim.platform().processes};
};

TEST_F(LSAppInfoParsingTest, ListOutputGivesOneRecordPerCompleteApplicationInOrder) {
    const char* text =
        " 1) \"Finder\" ASN:0x0-0x1d01d: \n"
        "    bundleID=\"com.apple.finder\"\n"
        "    bundle path=\"/System/Library/CoreServices/Finder.app\"\n"
        "    pid = 456 type=\"Foreground\" flavor=3 Version=\"14.0\"\n"
        "    parentASN=\"loginwindow\" ASN:0x0-0x1001: \n"
        "\n"
        " 2) \"Harbor Mail\" ASN:0x0-0x2e02e: \n"
        "    bundleID=\"com.example.harbormail\"\n"
        "    pid = 789 type=\"Foreground\"\n"
        "10) \"Helper\" ASN:0x0-0x3f03f: \n"
        "    bundleID=[ NULL ]\n"
        "    pid = 790 type=\"BackgroundOnly\"\n"
        "11) \"Ledger\" ASN:0x0-0x4004e: \n"
        "    bundleID=\"com.example.ledger\" pid=12\n";
    auto records = tool.parseListOutput(text);
    EXPECT_EQ(records, (std::vector<AppRecord>{{"0x0-0x1d01d", "com.apple.finder", 456},
                                               {"0x0-0x2e02e", "com.example.harbormail", 789},
                                               {"0x0-0x4004e", "com.example.ledger", 12}}));
}

TEST_F(LSAppInfoParsingTest, ListParsingIgnoresLinesBeforeTheFirstHeaderAndKeepsFirstValues) {
    const char* text =
        "bundleID=\"com.example.stray\" pid = 1\n"
        "\t3)\t\"Tabs\"\tASN:0x0-0x5:\t\r\n"
        "  pid   =   77  \n"
        "  bundleID=\"com.example.first\"\n"
        "  bundleID=\"com.example.second\" pid = 78\n"
        "4) \"Twice\" ASN:0x0-0x6:\n"
        "  bundleID=\"com.example.twice\" pid=9\n"
        "4) \"Twice\" ASN:0x0-0x6:\n"
        "  bundleID=\"com.example.twice\" pid=9";  // no final line break
    auto records = tool.parseListOutput(text);
    EXPECT_EQ(records, (std::vector<AppRecord>{{"0x0-0x5", "com.example.first", 77},
                                               {"0x0-0x6", "com.example.twice", 9},
                                               {"0x0-0x6", "com.example.twice", 9}}));
}

TEST_F(LSAppInfoParsingTest, ListRecordsMissingAFieldAreDroppedWithoutLosingTheirNeighbours) {
    const char* text =
        "1) \"A\" ASN:0x0-0xa: \n  bundleID=\"com.example.a\"\n  pid = 1\n"
        "2) \"NoPID\" ASN:0x0-0xb: \n  bundleID=\"com.example.nopid\"\n  spid = 2 pidx=3\n"
        "3) \"NoBundle\" ASN:0x0-0xc: \n  bundleID=\"\"\n  pid = 3\n"
        "4) \"Huge\" ASN:0x0-0xd: \n  bundleID=\"com.example.huge\"\n  pid = 99999999999999999999\n"
        "5) \"B\" ASN:0x0-0xe: \n  bundleID=\"com.example.b\" pid = 5\n";
    auto records = tool.parseListOutput(text);
    EXPECT_EQ(records,
              (std::vector<AppRecord>{{"0x0-0xa", "com.example.a", 1}, {"0x0-0xe", "com.example.b", 5}}));
    EXPECT_TRUE(tool.parseListOutput("").empty());
    EXPECT_TRUE(tool.parseListOutput("no header here\n  bundleID=\"x\" pid = 4\n").empty());
    // A header must stand alone on its line: text after the ASN makes it an ordinary line.
    EXPECT_TRUE(tool.parseListOutput("1) \"A\" ASN:0x0-0xa: trailing\n  bundleID=\"a\" pid = 1\n").empty());
}

TEST_F(LSAppInfoParsingTest, HeaderASNIsNormalised) {
    auto records = tool.parseListOutput(
        "1) \"Quoted\" ASN: 0x0-0x7-\"Quoted\" : \n  bundleID=\"com.example.q\" pid = 7\n");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].asn, "0x0-0x7");
    EXPECT_EQ(LSAppInfo::normalizedASN("  \n::0x0-0x1::\t"), "0x0-0x1");
    EXPECT_EQ(LSAppInfo::normalizedASN("0x0-0x1-\"Name\":-\"Other\""), "0x0-0x1");
    EXPECT_EQ(LSAppInfo::normalizedASN("\u00a0\u20030x0-0x2\u2028"), "0x0-0x2");
    EXPECT_EQ(LSAppInfo::normalizedASN(" :::\n"), "");
    EXPECT_EQ(LSAppInfo::normalizedASN("0x0-0x3-name"), "0x0-0x3-name");  // only minus and quote cut
}

TEST_F(LSAppInfoParsingTest, FindOutputGivesTheSetOfASNs) {
    EXPECT_EQ(tool.parseFindOutputASNs("ASN:0x0-0x1-\"Inkwell\":\nASN:0x0-0x2-\"Compass\":\n"),
              (std::set<std::string>{"0x0-0x1", "0x0-0x2"}));
    EXPECT_EQ(tool.parseFindOutputASNs("ASN:0x0-0x1:\nASN:0x0-0x1:\n"), (std::set<std::string>{"0x0-0x1"}));
    // The pattern excludes only colons, so a capture may run across a line break.
    EXPECT_EQ(tool.parseFindOutputASNs("ASN:0x0-0x1\n:"), (std::set<std::string>{"0x0-0x1"}));
    EXPECT_TRUE(tool.parseFindOutputASNs("").empty());
    EXPECT_TRUE(tool.parseFindOutputASNs("nothing found\n").empty());
    EXPECT_EQ(LSAppInfo::allCaptures("ASN:a: ASN:b: ASN:c", tool.asnRegex),
              (std::vector<std::string>{"a", "b"}));
}

TEST_F(LSAppInfoParsingTest, ErrorCodeFollowsErrEquals) {
    using L = LSAppInfo;
    EXPECT_EQ(L::parseLSAppInfoErrorCode("lsappinfo: setinfo failed, err=-50 (paramErr)"), -50);
    EXPECT_EQ(L::parseLSAppInfoErrorCode("err=0"), 0);
    EXPECT_EQ(L::parseLSAppInfoErrorCode("err=600\nerr=-1"), 600);
    EXPECT_EQ(L::parseLSAppInfoErrorCode("err=-9223372036854775808"), INT64_MIN);
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("err=x"));
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("no error here"));
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("ERR=-50"));
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("err=12-3"));
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("err=-"));
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("err=--5"));
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("err=99999999999999999999"));
    // Numeric characters that are not ASCII digits belong to the run and spoil it.
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("err=-5\u0663"));  // ARABIC-INDIC DIGIT THREE
    EXPECT_FALSE(L::parseLSAppInfoErrorCode("err=7\u00bd"));   // VULGAR FRACTION ONE HALF
    EXPECT_EQ(L::parseLSAppInfoErrorCode("err=-5\xff"), -5);   // a broken byte ends the run
}

TEST_F(LSAppInfoParsingTest, BytesThatAreNotUTF8CannotBreakParsing) {
    std::string list =
        "1) \"Caf\xe9\" ASN:0x0-0xa: \n"
        "  bundleID=\"com.example.caf\xe9\" pid = 1\n"
        "2) \"\xff\xfe\" ASN:0x0-0xb: \n"
        "  \xc3\x28 bundleID=\"com.example.b\" pid = 2 \x80\n";
    auto records = tool.parseListOutput(list);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].bundleID, "com.example.caf\xe9");  // positions map back onto the bytes
    EXPECT_EQ(records[1], (AppRecord{"0x0-0xb", "com.example.b", 2}));
    EXPECT_EQ(tool.parseFindOutputASNs("\xff"
                                       "ASN:0x0-0x1:\xfe"),
              (std::set<std::string>{"0x0-0x1"}));

    EXPECT_TRUE(LSAppInfo::isValidUTF8("plain ascii \u00e9\u20ac\U0001F600"));
    EXPECT_TRUE(LSAppInfo::isValidUTF8(std::string("nul\0inside", 10)));
    EXPECT_FALSE(LSAppInfo::isValidUTF8("\xc0\x80"));          // overlong
    EXPECT_FALSE(LSAppInfo::isValidUTF8("\xed\xa0\x80"));      // surrogate
    EXPECT_FALSE(LSAppInfo::isValidUTF8("\xf4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(LSAppInfo::isValidUTF8("ok\xe2\x82"));        // cut short
}

TEST_F(LSAppInfoParsingTest, VeryLongRunsParseWithoutExhaustingTheStack) {
    std::string noColon(1 << 20, 'x');
    EXPECT_EQ(tool.parseFindOutputASNs("ASN:" + noColon + ":"), (std::set<std::string>{noColon}));
    EXPECT_TRUE(tool.parseFindOutputASNs("ASN:" + noColon).empty());
    std::string longLine =
        "1) \"A\" ASN:0x0-0x1: \n  bundleID=\"" + std::string(1 << 20, 'q') + "\n  pid = 3\n";
    EXPECT_TRUE(tool.parseListOutput(longLine).empty());
}

TEST_F(LSAppInfoParsingTest, AListOfAnyLengthIsParsedWithOneMatcherPerPattern) {
    std::string text;
    for (int i = 1; i <= 500; ++i) {
        text += std::to_string(i) + ") \"App\" ASN:0x0-0x" + std::to_string(i) + ": \n\n    bundleID=\"a" +
                std::to_string(i) + "\"\n    pid = " + std::to_string(i) + "\n";
    }
    const uint64_t before = TextServices::RegularExpression::matchersMade();
    EXPECT_EQ(tool.parseListOutput(text).size(), 500u);
    EXPECT_LE(TextServices::RegularExpression::matchersMade() - before, 3u);
}

class LSAppInfoRunTest : public LSAppInfoParsingTest {
  protected:
    SimProcesses& processes = sim.processes();
    static ProcessResult finished(std::string out, std::string err = {}, int32_t status = 0) {
        ProcessResult r;
        r.launched = true;
        r.exitStatus = status;
        r.standardOutput = std::move(out);
        r.standardError = std::move(err);
        return r;
    }
};

TEST_F(LSAppInfoRunTest, AFinishedRunCarriesItsArgumentsStatusOutputAndErrorCode) {
    processes.lsappinfoOverride = [](const std::vector<std::string>&) {
        return finished("out\n", "lsappinfo: failed, err=-600\n", 1);
    };
    auto result = tool.runLSAppInfo({"setinfo", "-app", "pid:4", "kLSApplicationDesiresAttentionKey=false"});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->arguments, (std::vector<std::string>{"setinfo", "-app", "pid:4",
                                                           "kLSApplicationDesiresAttentionKey=false"}));
    EXPECT_EQ(result->exitStatus, 1);
    EXPECT_EQ(result->standardOutput, "out\n");
    EXPECT_EQ(result->errCode, -600);
    EXPECT_TRUE(result->standardOutputDecoded);
    auto calls = sim.callsNamed("/usr/bin/lsappinfo");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args,
              Value::array({Value::string("setinfo"), Value::string("-app"), Value::string("pid:4"),
                            Value::string("kLSApplicationDesiresAttentionKey=false")}));
}

TEST_F(LSAppInfoRunTest, OutputThatIsNotUTF8ReadsAsEmpty) {
    processes.lsappinfoOverride = [](const std::vector<std::string>&) {
        return finished("1) \"A\" ASN:0x0-0x1: \xff\n", "bad \xfe err=-5");
    };
    auto result = tool.runLSAppInfo({"list"});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->standardOutput, "");
    EXPECT_FALSE(result->standardOutputDecoded);
    EXPECT_EQ(result->standardError, "");
    EXPECT_FALSE(result->errCode);
}

TEST_F(LSAppInfoRunTest, NoResultWhenTheToolWritesMoreThanARunKeeps) {
    processes.lsappinfoOverride = [](const std::vector<std::string>&) {
        ProcessResult flood;
        flood.launched = true;
        flood.standardOutput.assign(kProcessOutputLimit + 1, '\n');
        return std::optional<ProcessResult>(flood);
    };
    EXPECT_FALSE(tool.runLSAppInfo({"list"}));
}

TEST_F(LSAppInfoRunTest, NoResultWhenTheToolCannotLaunchOrOutlastsItsTimeOut) {
    processes.lsappinfoFaults["list"] = SimToolFault::failToLaunch;
    EXPECT_FALSE(tool.runLSAppInfo({"list"}));
    EXPECT_EQ(rt.now(), 0.0);

    processes.lsappinfoFaults["list"] = SimToolFault::hang;
    bool mainRan = false, otherRan = false;
    rt.mainQueue()->asyncAfter(1.0, [&] { mainRan = true; });
    auto other = rt.makeSerialQueue("other");
    other->asyncAfter(1.0, [&] { otherRan = true; });
    EXPECT_FALSE(tool.runLSAppInfo({"list"}));
    EXPECT_NEAR(rt.now(), LSAppInfo::kRunTimeout, 1e-9);  // the whole time-out went by
    EXPECT_TRUE(otherRan);  // other queues ran meanwhile; the main one waited with its thread
    EXPECT_FALSE(mainRan);
    rt.runUntilIdle();
    EXPECT_TRUE(mainRan);

    LSAppInfo elsewhere(sim.platform().processes, "/usr/local/bin/lsappinfo");
    EXPECT_FALSE(elsewhere.runLSAppInfo({"list"}));
    EXPECT_EQ(sim.callsNamed("/usr/local/bin/lsappinfo").size(), 1u);
}

TEST_F(LSAppInfoRunTest, TheSimulatedToolRoundTripsThroughTheParsers) {
    int32_t mail = sim.launchApp(std::string("com.example.harbormail"), "Harbor Mail");
    int32_t ink = sim.launchApp(std::string("com.example.inkwell"), "Ink: Well");
    sim.launchApp(std::nullopt, "No Bundle");
    int32_t gone = sim.launchApp(std::string("com.example.gone"), "Gone");
    sim.terminateApp(gone);
    sim.app(ink)->wantsAttention = true;

    auto list = tool.runLSAppInfo({"list"});
    ASSERT_TRUE(list);
    EXPECT_EQ(list->exitStatus, 0);
    auto records = tool.parseListOutput(list->standardOutput);
    ASSERT_EQ(records.size(), 3u);  // ourselves, the mail and ink apps; no bundle id, no record
    EXPECT_EQ(records[0].bundleID, "com.quillvorn.QuillVorn");
    EXPECT_EQ(records[1], (AppRecord{simASNText(simASN(mail)), "com.example.harbormail", mail}));
    EXPECT_EQ(records[2].bundleID, "com.example.inkwell");

    auto found = tool.runLSAppInfo({"find", "kLSApplicationDesiresAttentionKey=true"});
    ASSERT_TRUE(found);
    EXPECT_EQ(tool.parseFindOutputASNs(found->standardOutput), (std::set<std::string>{records[2].asn}));
}

}  // namespace
}  // namespace qv
