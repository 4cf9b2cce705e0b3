#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "model/BadgeService.h"
#include "sim/SimDesktop.h"
#include "sim/SimLaunchServices.h"
#include "sim/SimProcesses.h"

namespace qv {
namespace {

using Badges = std::map<std::string, std::string>;
using Names = std::set<std::string>;
using Args = std::vector<std::string>;

const std::string kMail = "com.example.harbormail";
const std::string kInk = "com.example.inkwell";
const std::string kLedger = "com.example.ledger";

class BadgeServiceTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    SimProcesses& tool = sim.processes();
    int32_t mail = sim.launchApp(kMail, "Harbor Mail");
    int32_t ink = sim.launchApp(kInk, "Inkwell");
    int32_t ledger = sim.launchApp(kLedger, "Ledger");
    std::shared_ptr<BadgeService> service = make();
    std::vector<Badges> badgeAssignments;
    std::vector<Names> attentionAssignments;
    Subscriptions subscriptions;

    std::shared_ptr<BadgeService> make() {
        return std::make_shared<BadgeService>(rt, sim.platform().processes, sim.platform().launchServices);
    }

    void SetUp() override {
        subscriptions.push_back(service->badgesByBundleID.subscribeToChanges([this](const Badges& b) {
            EXPECT_FALSE(service->queue()->isCurrent());
            badgeAssignments.push_back(b);
        }));
        subscriptions.push_back(service->attentionByBundleID.subscribeToChanges([this](const Names& n) {
            EXPECT_FALSE(service->queue()->isCurrent());
            attentionAssignments.push_back(n);
        }));
    }

    // Starts the service and runs its first poll, 0.5 s later.
    void startAndPoll() {
        service->start();
        rt.advance(BadgeService::kFirstPollDelay);
    }
    // A run that hangs holds the badge queue, not the clock: its answer comes at its time-out.
    void nextPoll(SimToolFault fault = SimToolFault::none) {
        rt.advance(BadgeService::kPollInterval);
        if (fault == SimToolFault::hang) rt.advance(LSAppInfo::kRunTimeout);
    }

    std::vector<Args> toolRuns() const {
        std::vector<Args> out;
        for (const SimCall& call : sim.callsNamed("/usr/bin/lsappinfo")) {
            Args args;
            for (const Value& v : *call.args.asArray()) args.push_back(*v.asString());
            out.push_back(std::move(args));
        }
        return out;
    }
    size_t runsOf(const std::string& command) const {
        size_t n = 0;
        for (const Args& a : toolRuns()) n += a.front() == command;
        return n;
    }
    std::vector<Args> setinfoRuns() const {
        std::vector<Args> out;
        for (Args& a : toolRuns()) {
            if (a.front() == "setinfo") out.push_back(std::move(a));
        }
        return out;
    }
    static Args clearByPID(int32_t pid) {
        return {"setinfo", "-app", "pid:" + std::to_string(pid), "kLSApplicationDesiresAttentionKey=false"};
    }
    static Args clearByBundle(const std::string& id) {
        return {"setinfo", "-app", id, "kLSApplicationDesiresAttentionKey=false"};
    }
    static ProcessResult finished(int32_t status, std::string err = {}) {
        ProcessResult r;
        r.launched = true;
        r.exitStatus = status;
        r.standardError = std::move(err);
        return r;
    }
};

TEST_F(BadgeServiceTest, PollsOnItsOwnQueueHalfASecondAfterStartThenEverySevenSeconds) {
    EXPECT_EQ(service->queue()->label(), "com.quillvorn.badges");
    sim.app(mail)->badgeLabel = "3";
    service->start();
    service->start();  // a second start keeps the one timer
    ASSERT_TRUE(service->timerSource());
    EXPECT_EQ(service->timerSource()->interval(), 7.0);
    EXPECT_EQ(service->timerSource()->leeway(), 2.0);

    rt.advanceTo(0.49);
    EXPECT_TRUE(toolRuns().empty());
    EXPECT_TRUE(service->badgesByBundleID->empty());
    rt.advanceTo(0.5);
    EXPECT_EQ(toolRuns(), (std::vector<Args>{{"list"}, {"find", "kLSApplicationDesiresAttentionKey=true"}}));
    EXPECT_EQ(*service->badgesByBundleID, (Badges{{kMail, "3"}}));
    rt.advanceTo(7.49);
    EXPECT_EQ(runsOf("list"), 1u);
    rt.advanceTo(7.5);
    EXPECT_EQ(runsOf("list"), 2u);
    rt.advanceTo(14.5);
    EXPECT_EQ(runsOf("list"), 3u);
    EXPECT_EQ(runsOf("find"), 3u);
    // Both private calls ask for the default session, -2.
    auto arrays = sim.callsNamed("_LSCopyRunningApplicationArray");
    ASSERT_EQ(arrays.size(), 3u);
    EXPECT_EQ(arrays[0].args, Value::array({Value::number(0xFFFFFFFEu)}));
}

TEST_F(BadgeServiceTest, BadgeAppearsChangesAndClearsPublishingOnlyOnChange) {
    startAndPoll();
    EXPECT_TRUE(badgeAssignments.empty());  // still nothing: no assignment of an equal value

    sim.app(mail)->badgeLabel = "3";
    nextPoll();
    EXPECT_EQ(badgeAssignments, (std::vector<Badges>{{{kMail, "3"}}}));
    nextPoll();
    EXPECT_EQ(badgeAssignments.size(), 1u);

    sim.app(mail)->badgeLabel = "12";
    sim.app(ledger)->badgeLabel = "!";
    nextPoll();
    EXPECT_EQ(badgeAssignments.back(), (Badges{{kMail, "12"}, {kLedger, "!"}}));

    sim.app(mail)->badgeLabel = "";  // an empty label is no badge
    sim.app(ledger)->badgeLabel.reset();
    nextPoll();
    EXPECT_EQ(badgeAssignments.back(), Badges{});
    EXPECT_EQ(badgeAssignments.size(), 3u);
    nextPoll();
    EXPECT_EQ(badgeAssignments.size(), 3u);
    EXPECT_TRUE(attentionAssignments.empty());
}

TEST_F(BadgeServiceTest, AcknowledgedRequestStaysHiddenUntilSeenEndedThenShowsAgain) {
    sim.app(ink)->wantsAttention = true;
    startAndPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{kInk});

    service->clearAttention(kInk);
    EXPECT_EQ(*service->attentionByBundleID, Names{kInk});  // the work waits for the queue
    rt.runUntilIdle();
    EXPECT_EQ(*service->attentionByBundleID, Names{});
    EXPECT_EQ(setinfoRuns(), std::vector<Args>{clearByPID(ink)});
    EXPECT_FALSE(sim.app(ink)->wantsAttention);

    // The application keeps asking: however long, no pulse.
    sim.app(ink)->wantsAttention = true;
    for (int i = 0; i < 5; ++i) nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{});
    // A poll sees the request ended; the next request shows at once.
    sim.app(ink)->wantsAttention = false;
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{});
    sim.app(ink)->wantsAttention = true;
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{kInk});
    EXPECT_EQ(attentionAssignments, (std::vector<Names>{{kInk}, {}, {kInk}}));
}

TEST_F(BadgeServiceTest, AcknowledgedApplicationThatQuitsAsksAfreshWhenItRunsAgain) {
    sim.app(ink)->wantsAttention = true;
    startAndPoll();
    service->clearAttention(kInk);
    rt.runUntilIdle();
    sim.app(ink)->wantsAttention = true;
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{});

    // It quits; the poll that sees it gone forgets the acknowledgement even when the search fails.
    sim.terminateApp(ink);
    tool.lsappinfoFaults["find"] = SimToolFault::failToLaunch;
    nextPoll();
    tool.lsappinfoFaults.clear();
    int32_t again = sim.launchApp(kInk, "Inkwell");
    sim.app(again)->wantsAttention = true;
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{kInk});
}

TEST_F(BadgeServiceTest, ClearingAnIdentifierNotShownAssignsNothingButStillSuppressesIt) {
    startAndPoll();
    service->clearAttention(kLedger);
    service->clearAttention("com.example.not-running");
    rt.runUntilIdle();
    EXPECT_TRUE(attentionAssignments.empty());
    // Only the running one gets a setinfo; the other stops at the list.
    EXPECT_EQ(setinfoRuns(), std::vector<Args>{clearByPID(ledger)});
    EXPECT_EQ(runsOf("list"), 3u);

    sim.app(ledger)->wantsAttention = true;
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{});
}

TEST_F(BadgeServiceTest, ARemovalIsNotUndoneByThePollThatRanBeforeIt) {
    sim.app(ink)->wantsAttention = true;
    startAndPoll();
    attentionAssignments.clear();
    // Land the acknowledgement between a poll and the publication of its result.
    rt.mainQueue()->asyncAfter(7.0, [&] { service->clearAttention(kInk); });
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{});
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{});
    EXPECT_EQ(attentionAssignments, (std::vector<Names>{{}}));
}

TEST_F(BadgeServiceTest, SetinfoByPIDThatFailsFallsBackToTheBundleIdentifier) {
    struct Case {
        const char* name;
        std::optional<ProcessResult> byPID;
        bool fallback;
    };
    ProcessResult notLaunched;
    ProcessResult timedOut = finished(9);
    timedOut.timedOut = true;
    const std::vector<Case> cases = {
        {"non-zero exit", finished(1), true},
        {"error code with exit 0", finished(0, "lsappinfo: err=-50\n"), true},
        {"error code zero", finished(0, "err=0"), false},
        {"success", std::nullopt, false},  // the simulated tool itself answers
        {"not launched", notLaunched, false},
        {"timed out", timedOut, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim.callLog.clear();
        sim.app(ink)->wantsAttention = true;
        tool.lsappinfoOverride = [&](const Args& args) -> std::optional<ProcessResult> {
            if (args.front() == "setinfo" && args[2].starts_with("pid:")) return c.byPID;
            return std::nullopt;
        };
        service->clearAttention(kInk);
        rt.runUntilIdle();
        std::vector<Args> expected{clearByPID(ink)};
        if (c.fallback) expected.push_back(clearByBundle(kInk));
        EXPECT_EQ(setinfoRuns(), expected);
        EXPECT_EQ(sim.app(ink)->wantsAttention, !c.fallback && c.byPID.has_value());
    }
}

TEST_F(BadgeServiceTest, TwoInstancesOfOneApplication) {
    int32_t first = sim.launchApp(std::string("com.example.twin"), "Twin");
    int32_t second = sim.launchApp(std::string("com.example.twin"), "Twin");
    sim.app(first)->badgeLabel = "1";
    sim.app(second)->badgeLabel = "2";
    sim.app(second)->wantsAttention = true;
    startAndPoll();
    EXPECT_EQ(service->badgesByBundleID->at("com.example.twin"), "2");  // the later one
    EXPECT_EQ(*service->attentionByBundleID, Names{"com.example.twin"});

    sim.app(second)->badgeLabel = "";
    nextPoll();
    EXPECT_EQ(service->badgesByBundleID->at("com.example.twin"), "1");  // an empty label does not replace

    service->clearAttention("com.example.twin");
    rt.runUntilIdle();
    EXPECT_EQ(setinfoRuns(), std::vector<Args>{clearByPID(first)});  // the one listed first
}

TEST_F(BadgeServiceTest, BadgesSkipAnythingLaunchServicesDoesNotFullyAnswer) {
    auto& ls = sim.launchServices();
    sim.app(mail)->badgeLabel = "3";
    sim.app(ledger)->badgeLabel = "5";
    EXPECT_EQ(service->fetchBadgesViaPrivateAPI(), (Badges{{kMail, "3"}, {kLedger, "5"}}));

    ls.runningApplicationArrayOverride = [&]() -> std::optional<LSASNArray> {
        return LSASNArray{std::nullopt, simASN(mail),   LSASN{7, 7},
                          simASN(ink),  simASN(ledger), simASN(ledger)};
    };
    int answered = 0;
    ls.applicationInformationOverride = [&](const LSASN& asn) -> std::optional<Value> {
        ++answered;
        if (asn == simASN(mail)) return Value::string("not a dictionary");
        if (asn == simASN(ink))
            return Value::dictionary(
                {{"CFBundleIdentifier", Value::string(kInk)}, {"StatusLabel", Value::string("9")}});
        if (asn == simASN(ledger) && answered == 5) {
            return Value::dictionary({{"CFBundleIdentifier", Value::string(kLedger)},
                                      {"StatusLabel", Value::dictionary({{"label", Value::number(5)}})}});
        }
        if (asn == simASN(ledger)) {
            return Value::dictionary({{"CFBundleIdentifier", Value::string(kLedger)},
                                      {"StatusLabel", Value::dictionary({{"label", Value::string("6")}})}});
        }
        return std::nullopt;
    };
    EXPECT_EQ(service->fetchBadgesViaPrivateAPI(), (Badges{{kLedger, "6"}}));
    EXPECT_EQ(answered, 5);  // the missing element is skipped without a call

    ls.runningApplicationArrayOverride = [] { return std::optional<LSASNArray>(); };
    EXPECT_EQ(service->fetchBadgesViaPrivateAPI(), Badges{});
    ls.runningApplicationArrayOverride = [] { return std::optional<LSASNArray>(LSASNArray{}); };
    EXPECT_EQ(service->fetchBadgesViaPrivateAPI(), Badges{});
}

std::string faultName(const ::testing::TestParamInfo<SimToolFault>& info) {
    switch (info.param) {
        case SimToolFault::hang:
            return "Hang";
        case SimToolFault::failToLaunch:
            return "FailToLaunch";
        case SimToolFault::exitNonZero:
            return "ExitNonZero";
        case SimToolFault::garbage:
            return "Garbage";
        case SimToolFault::none:
            break;
    }
    return "None";
}

class BadgeServiceListFailureTest : public BadgeServiceTest,
                                    public ::testing::WithParamInterface<SimToolFault> {};

TEST_P(BadgeServiceListFailureTest, AFailedListRunKeepsTheRequestsButBadgesMoveOn) {
    sim.app(mail)->badgeLabel = "3";
    sim.app(ink)->wantsAttention = true;
    sim.app(ledger)->wantsAttention = true;
    startAndPoll();
    service->clearAttention(kInk);
    rt.runUntilIdle();
    sim.app(ink)->wantsAttention = true;  // still asking after the acknowledgement
    EXPECT_EQ(*service->attentionByBundleID, Names{kLedger});
    const size_t badgesBefore = badgeAssignments.size(), attentionBefore = attentionAssignments.size();

    sim.app(mail)->badgeLabel = "4";
    sim.app(ledger)->wantsAttention = false;
    tool.lsappinfoFaults["list"] = GetParam();
    nextPoll(GetParam());
    // Badges come from LaunchServices, not from the tool.
    EXPECT_EQ(*service->badgesByBundleID, (Badges{{kMail, "4"}}));
    EXPECT_EQ(badgeAssignments.size(), badgesBefore + 1);
    EXPECT_EQ(*service->attentionByBundleID, Names{kLedger});
    EXPECT_EQ(attentionAssignments.size(), attentionBefore);
    EXPECT_EQ(rt.takeLongestMainHold().duration, 0.0);  // the hung run held only its own queue

    tool.lsappinfoFaults.clear();
    rt.advanceTo(14.5);             // the schedule is unchanged by the long run
    EXPECT_EQ(runsOf("list"), 4u);  // two polls and the acknowledgement before, this one now
    // Inkwell's acknowledgement survived: it keeps asking and stays hidden.
    EXPECT_EQ(*service->attentionByBundleID, Names{});
}

INSTANTIATE_TEST_SUITE_P(Faults, BadgeServiceListFailureTest,
                         ::testing::Values(SimToolFault::hang, SimToolFault::failToLaunch,
                                           SimToolFault::garbage),
                         faultName);

class BadgeServiceFindFailureTest : public BadgeServiceTest,
                                    public ::testing::WithParamInterface<SimToolFault> {};

TEST_P(BadgeServiceFindFailureTest, AFailedSearchKeepsTheRequestsButBadgesMoveOn) {
    sim.app(ink)->wantsAttention = true;
    sim.app(ledger)->wantsAttention = true;
    startAndPoll();
    service->clearAttention(kInk);
    rt.runUntilIdle();
    sim.app(ink)->wantsAttention = true;
    const size_t attentionBefore = attentionAssignments.size();

    tool.lsappinfoFaults["find"] = GetParam();
    sim.app(mail)->badgeLabel = "7";
    nextPoll(GetParam());
    EXPECT_EQ(*service->badgesByBundleID, (Badges{{kMail, "7"}}));
    EXPECT_EQ(*service->attentionByBundleID, Names{kLedger});
    EXPECT_EQ(attentionAssignments.size(), attentionBefore);

    // Had the failure read as "nobody asks", Inkwell would now count as seen ended and pulse.
    tool.lsappinfoFaults.clear();
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{kLedger});
}

INSTANTIATE_TEST_SUITE_P(Faults, BadgeServiceFindFailureTest,
                         ::testing::Values(SimToolFault::hang, SimToolFault::failToLaunch,
                                           SimToolFault::garbage),
                         faultName);

TEST_F(BadgeServiceTest, ANonZeroExitOfEitherCommandIsStillRead) {
    sim.app(ink)->wantsAttention = true;
    tool.lsappinfoFaults["list"] = SimToolFault::exitNonZero;
    tool.lsappinfoFaults["find"] = SimToolFault::exitNonZero;
    startAndPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{kInk});
    sim.app(ink)->wantsAttention = false;
    nextPoll();
    EXPECT_EQ(*service->attentionByBundleID, Names{});
}

TEST_F(BadgeServiceTest, NothingHappensOnceTheServiceIsGone) {
    service->start();
    service->clearAttention(kInk);
    subscriptions.clear();
    service.reset();
    rt.advance(30);
    EXPECT_TRUE(toolRuns().empty());
    EXPECT_EQ(rt.pendingCount(), 0u);
}

TEST(AttentionAcknowledgementsTest, OnePollStepsRunInOrder) {
    AttentionAcknowledgements acks;
    acks.acknowledge("a", 1.0);
    acks.acknowledge("b", 2.0);
    acks.acknowledge("c", 3.0);
    acks.seenFalseAfterAck = {"a"};
    acks.acknowledge("c", 4.0);  // a newer acknowledgement replaces the time

    // a: seen ended before and asks again -> shown, no longer acknowledged.
    // b: asks, still acknowledged -> hidden. c: quiet and still listed -> seen ended.
    // d: never acknowledged -> shown.
    auto shown = acks.apply({"a", "b", "d"}, {"a", "b", "c", "d"});
    EXPECT_EQ(shown, (Names{"a", "d"}));
    EXPECT_EQ(acks.acknowledgedBundleIDs, (std::map<std::string, Seconds>{{"b", 2.0}, {"c", 4.0}}));
    EXPECT_EQ(acks.seenFalseAfterAck, Names{"c"});

    // c leaves the list in the same poll that would move it to seen ended: it is forgotten.
    acks.acknowledge("a", 5.0);
    shown = acks.apply({"b"}, {"a", "b"});
    EXPECT_EQ(shown, Names{});
    EXPECT_EQ(acks.acknowledgedBundleIDs, (std::map<std::string, Seconds>{{"a", 5.0}, {"b", 2.0}}));
    EXPECT_EQ(acks.seenFalseAfterAck, Names{"a"});

    // Acknowledging again starts over: the request must be seen ended once more.
    acks.acknowledge("a", 6.0);
    EXPECT_EQ(acks.apply({"a"}, {"a", "b"}), Names{});
}

TEST(AttentionAcknowledgementsTest, RawRequestsMatchSerialNumbersExactly) {
    std::vector<AppRecord> records{{"0x0-0x1", "one", 1}, {"0x0-0x2", "twin", 2}, {"0x0-0x3", "twin", 3}};
    EXPECT_EQ(rawAttention(records, {"0x0-0x3"}), Names{"twin"});
    EXPECT_EQ(rawAttention(records, {"0X0-0X1", "0x0-0x10"}), Names{});
    EXPECT_EQ(rawAttention(records, {}), Names{});
}

}  // namespace
}  // namespace qv
