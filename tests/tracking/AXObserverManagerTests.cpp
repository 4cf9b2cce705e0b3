#include <gtest/gtest.h>

#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"
#include "tracking/AXObserverManager.h"

namespace qv {
namespace {

const std::vector<std::string> kWindowNotifications = {
    "AXTitleChanged",       "AXUIElementDestroyed", "AXWindowDeminiaturized",
    "AXWindowMiniaturized", "AXWindowMoved",        "AXWindowResized",
};

class AXObserverManagerTest : public testing::WideAppDesktop<> {
  protected:
    struct Delivered {
        AXWindowEvent event;
        double at;
        bool onMain;
        std::optional<Point> position;  // read when the event arrived
    };

    SimAccessibility& simAX = sim.accessibility();
    Accessibility& ax = sim.platform().accessibility;
    uint32_t win = open(app, "Doc");
    std::shared_ptr<AXObserverManager> manager = AXObserverManager::create(rt, ax, rt.mainQueue());
    std::vector<Delivered> events;
    std::vector<int32_t> attached;

    void SetUp() override {
        manager->onEvent = [this](const AXWindowEvent& e) {
            Value position;
            std::optional<Point> at;
            if (ax.copyAttributeValue(e.element, "AXPosition", position) == kAXErrorSuccess) {
                at = position.asAXValue()->point;
            }
            events.push_back({e, rt.now(), rt.mainQueue()->isCurrent(), at});
        };
        manager->onObserverAdded = [this](int32_t pid) {
            EXPECT_TRUE(rt.mainQueue()->isCurrent());
            attached.push_back(pid);
        };
    }

    uint32_t open(int32_t pid, std::string title) { return sim.openWindow(pid, std::move(title), space); }
    void startObserving() {
        manager->start();
        manager->observe(app);
        rt.runUntilIdle();
        ASSERT_EQ(attached, std::vector<int32_t>{app});
        events.clear();
    }
    size_t creates() const { return sim.callsNamed("AXObserverCreate").size(); }
    // Starts the manager and asks for the application while its registrations fail with `error`.
    void observeWhileRegistrationsFail(AXError error = kAXErrorCannotComplete) {
        simAX.faults(app).addNotificationError = error;
        manager->start();
        manager->observe(app);
    }
    AXElement element(uint32_t id) const { return simAX.windowElement(id); }
};

TEST_F(AXObserverManagerTest, AttachRegistersTheNotificationsAndReportsOnce) {
    manager->start();
    manager->observe(app);
    manager->observe(app);
    rt.runUntilIdle();
    EXPECT_EQ(attached, std::vector<int32_t>{app});
    EXPECT_EQ(creates(), 1u);
    EXPECT_EQ(simAX.installedObserverCount(app), 1u);
    EXPECT_EQ(simAX.registeredNotifications(ax.createApplication(app)),
              (std::vector<std::string>{"AXFocusedWindowChanged", "AXWindowCreated"}));
    EXPECT_EQ(simAX.registeredNotifications(element(win)), kWindowNotifications);
    // Every Accessibility call of the attach happened off the main queue, on the run loop of the
    // application's own observer thread, and the manager set no messaging timeout of its own.
    EXPECT_TRUE(sim.callsNamed("AXUIElementSetMessagingTimeout").empty());
    ASSERT_EQ(sim.callsNamed("CFRunLoopAddSource").size(), 1u);
    EXPECT_EQ(sim.callsNamed("CFRunLoopAddSource")[0].args,
              Value::string("AXObserverManager " + std::to_string(app)));
}

TEST_F(AXObserverManagerTest, AnApplicationsRegistrationsHoldBackOnlyItsOwnNotifications) {
    startObserving();
    // A hung application's attach waits out the messaging timeout on each registration ...
    int32_t hung = sim.launchApp(std::string("com.example.hung"), "Hung");
    simAX.setUnresponsive(hung, true);
    manager->observe(hung);
    // ... and a slow one's refresh waits 0.04 s on each of twenty windows' seven requests.
    int32_t slow = sim.launchApp(std::string("com.example.slow"), "Slow");
    for (int i = 0; i < 20; ++i) open(slow, "Slow " + std::to_string(i));
    manager->observe(slow);
    rt.advance(1);
    simAX.faults(slow).responseDelay = 0.04;
    manager->refreshWindows({slow});
    rt.advance(1);
    const double minimizedAt = rt.now();
    sim.setWindowMinimized(win, true);
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.notification, "AXWindowMiniaturized");
    EXPECT_EQ(events[0].at, minimizedAt);
}

TEST_F(AXObserverManagerTest, RequestsBeforeStartOrAfterStopAreDropped) {
    manager->observe(app);
    manager->refreshWindows({app});
    manager->start();
    rt.runUntilIdle();
    EXPECT_TRUE(attached.empty());
    EXPECT_EQ(creates(), 0u);

    manager->stop();
    manager->observe(app);
    rt.runUntilIdle();
    EXPECT_EQ(creates(), 0u);

    // A stopped manager starts again.
    manager->start();
    manager->observe(app);
    rt.runUntilIdle();
    EXPECT_EQ(attached, std::vector<int32_t>{app});
}

TEST_F(AXObserverManagerTest, TenMovesTenthOfASecondApartGiveOneEventWithTheLastState) {
    startObserving();
    for (int i = 0; i < 10; ++i) {
        rt.advanceTo(i * 0.1);
        sim.setWindowFrame(win, Rect{100.0 + i * 10, 100, 800, 600});
    }
    // The burst never pauses for the coalescing delay: it is delivered its longest wait after its
    // start, the move at 0.1 (the first one leaves the window where it was and announces nothing).
    rt.advanceTo(1.0999);
    EXPECT_TRUE(events.empty());
    rt.advanceTo(5);
    ASSERT_EQ(events.size(), 1u);
    const Delivered& d = events[0];
    EXPECT_EQ(d.event.notification, "AXWindowMoved");
    EXPECT_EQ(d.event.pid, app);
    EXPECT_EQ(d.event.windowID, win);
    EXPECT_EQ(d.event.element, element(win));
    EXPECT_NEAR(d.at, 1.1, 1e-9);
    EXPECT_TRUE(d.onMain);
    EXPECT_EQ(d.position, (Point{190, 100}));
}

TEST_F(AXObserverManagerTest, NotificationsAndWindowsCoalesceApart) {
    uint32_t other = open(app, "Other");
    startObserving();
    manager->refreshWindows({app});  // the new window gets its registrations
    rt.runUntilIdle();
    sim.setWindowTitle(win, "Doc — edited");
    sim.setWindowFrame(win, Rect{0, 0, 800, 600});
    sim.setWindowFrame(other, Rect{5, 5, 800, 600});
    rt.advance(0.1);
    sim.setWindowTitle(win, "Doc — edited twice");
    rt.advance(1);
    ASSERT_EQ(events.size(), 3u);
    std::multiset<std::pair<std::string, uint32_t>> got;
    for (const Delivered& d : events) got.insert({d.event.notification, *d.event.windowID});
    EXPECT_EQ(got, (std::multiset<std::pair<std::string, uint32_t>>{
                       {"AXTitleChanged", win}, {"AXWindowMoved", win}, {"AXWindowMoved", other}}));
    for (const Delivered& d : events) {
        EXPECT_NEAR(d.at, d.event.notification == "AXTitleChanged" ? 0.35 : 0.25, 1e-9);
    }
}

TEST_F(AXObserverManagerTest, UndebouncedAndUnresolvedEventsAreDeliveredAtOnce) {
    startObserving();
    sim.setWindowMinimized(win, true);
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.notification, "AXWindowMiniaturized");
    EXPECT_EQ(events[0].at, 0);

    // An element whose id cannot be worked out: its title change is not coalesced.
    simAX.faults(app).privateWindowLookupFails = true;
    simAX.faults(app).windowNumberUnsupported = true;
    uint32_t anonymous = open(app, "Anonymous");
    rt.runUntilIdle();
    events.clear();
    sim.setWindowTitle(anonymous, "Renamed");
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.notification, "AXTitleChanged");
    EXPECT_FALSE(events[0].event.windowID);
    EXPECT_EQ(events[0].event.element, element(anonymous));
    EXPECT_EQ(events[0].at, 0);
}

TEST_F(AXObserverManagerTest, CreatedWindowsAreObservedAndDestroyedOnesFoundByElement) {
    startObserving();
    uint32_t added = open(app, "New");
    rt.runUntilIdle();
    ASSERT_GE(events.size(), 1u);
    EXPECT_EQ(events[0].event.notification, "AXWindowCreated");
    EXPECT_EQ(events[0].event.windowID, added);
    EXPECT_EQ(simAX.registeredNotifications(element(added)), kWindowNotifications);

    // The private lookup fails for the dead element; the recorded element gives its id.
    AXElement dead = element(added);
    events.clear();
    sim.closeWindow(added);
    rt.runUntilIdle();
    ASSERT_GE(events.size(), 1u);
    EXPECT_EQ(events[0].event.notification, "AXUIElementDestroyed");
    EXPECT_EQ(events[0].event.windowID, added);
    // ... and it is forgotten afterwards.
    events.clear();
    simAX.postNotification(dead, "AXUIElementDestroyed");
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_FALSE(events[0].event.windowID);
}

TEST_F(AXObserverManagerTest, AnElementWhosePidCannotBeReadGivesPidZero) {
    startObserving();
    simAX.faults(app).pidUnreadable = true;
    sim.setWindowMinimized(win, true);
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.pid, 0);
    EXPECT_EQ(events[0].event.windowID, win);
}

TEST_F(AXObserverManagerTest, FailingRegistrationsRetryOnTheScheduleThenStop) {
    observeWhileRegistrationsFail();
    rt.runUntilIdle();
    EXPECT_EQ(creates(), 1u);
    EXPECT_EQ(simAX.installedObserverCount(app), 0u);
    // Each retry comes the next delay after the failure before it: 0.5, 1, 2, 4 and 8 s.
    double t = 0;
    size_t expected = 1;
    for (double delay : {0.5, 1.0, 2.0, 4.0, 8.0}) {
        t += delay;
        rt.advanceTo(t - 0.001);
        EXPECT_EQ(creates(), expected) << "before " << t;
        rt.advanceTo(t);
        EXPECT_EQ(creates(), ++expected) << "at " << t;
    }
    rt.advance(100);
    EXPECT_EQ(creates(), 6u);
    EXPECT_TRUE(attached.empty());

    // A later request starts a new series, and a retry that finds the fault gone attaches.
    double start = rt.now();
    manager->observe(app);
    rt.runUntilIdle();
    EXPECT_EQ(creates(), 7u);
    simAX.faults(app).addNotificationError.reset();
    rt.advanceTo(start + 0.5);
    EXPECT_EQ(creates(), 8u);
    EXPECT_EQ(attached, std::vector<int32_t>{app});
    rt.advance(100);
    EXPECT_EQ(creates(), 8u);
}

TEST_F(AXObserverManagerTest, RegistrationResultsThatStillCountAsAttached) {
    // Already registered counts as success; one of the two application registrations is enough.
    observeWhileRegistrationsFail(kAXErrorNotificationAlreadyRegistered);
    rt.runUntilIdle();
    EXPECT_EQ(attached, std::vector<int32_t>{app});

    int32_t second = sim.launchApp(std::string("com.example.second"), "Second");
    simAX.faults(second).addNotificationError = kAXErrorCannotComplete;
    simAX.faults(second).addNotificationErrorNames = {"AXWindowCreated"};
    manager->observe(second);
    rt.runUntilIdle();
    EXPECT_EQ(attached, (std::vector<int32_t>{app, second}));
}

TEST_F(AXObserverManagerTest, AFailingObserverCreationIsNotRetried) {
    simAX.faults(app).observerCreateError = kAXErrorFailure;
    manager->start();
    manager->observe(app);
    rt.advance(60);
    EXPECT_EQ(creates(), 1u);
    EXPECT_TRUE(attached.empty());
    simAX.faults(app).observerCreateError.reset();
    manager->refreshWindows({app});  // an unobserved process is attached by a refresh
    rt.runUntilIdle();
    EXPECT_EQ(attached, std::vector<int32_t>{app});
}

TEST_F(AXObserverManagerTest, AnUnreadableWindowListStillAttachesAndWindowsAreLearntLater) {
    simAX.faults(app).windowListUnreadable = true;
    startObserving();
    EXPECT_TRUE(simAX.registeredNotifications(element(win)).empty());
    simAX.faults(app).windowListUnreadable = false;
    manager->refreshWindows({app});
    rt.runUntilIdle();
    EXPECT_EQ(simAX.registeredNotifications(element(win)), kWindowNotifications);
    sim.setWindowMinimized(win, true);
    rt.runUntilIdle();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.windowID, win);
}

TEST_F(AXObserverManagerTest, StoppingDetachesAndDropsPendingEvents) {
    startObserving();
    sim.setWindowFrame(win, Rect{1, 1, 800, 600});
    rt.advance(0.1);
    manager->stop();
    rt.advance(5);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(simAX.installedObserverCount(app), 0u);
    EXPECT_TRUE(simAX.registeredNotifications(element(win)).empty());
    EXPECT_TRUE(simAX.registeredNotifications(ax.createApplication(app)).empty());
    sim.setWindowTitle(win, "After the stop");
    rt.advance(5);
    EXPECT_TRUE(events.empty());
}

TEST_F(AXObserverManagerTest, StopObservingDropsTheProcesssPendingEventsButNotOthers) {
    int32_t second = sim.launchApp(std::string("com.example.second"), "Second");
    uint32_t secondWin = open(second, "Second doc");
    startObserving();
    manager->observe(second);
    rt.runUntilIdle();
    sim.setWindowFrame(win, Rect{1, 1, 800, 600});
    sim.setWindowFrame(secondWin, Rect{2, 2, 800, 600});
    rt.advance(0.1);
    manager->stopObserving(app);
    rt.advance(5);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].event.windowID, secondWin);
    EXPECT_EQ(simAX.installedObserverCount(app), 0u);
    EXPECT_TRUE(simAX.registeredNotifications(element(win)).empty());

    // Observing it again later gives a fresh attach.
    manager->observe(app);
    rt.runUntilIdle();
    EXPECT_EQ(attached, (std::vector<int32_t>{app, second, app}));
}

TEST_F(AXObserverManagerTest, StopObservingCancelsAScheduledRetry) {
    observeWhileRegistrationsFail();
    rt.advanceTo(0.2);
    manager->stopObserving(app);
    simAX.faults(app).addNotificationError.reset();  // a retry would now succeed
    rt.advance(30);
    EXPECT_EQ(creates(), 1u);
    EXPECT_TRUE(attached.empty());
}

TEST_F(AXObserverManagerTest, ASecondFailureSupersedesTheRetryOfTheFirst) {
    observeWhileRegistrationsFail();  // a retry 0.5 s later
    rt.advanceTo(0.2);
    manager->observe(app);  // fails again: its retry, 1 s later, is the one that counts
    rt.advanceTo(1.0);
    EXPECT_EQ(creates(), 2u);
    rt.advanceTo(1.2);
    EXPECT_EQ(creates(), 3u);
}

TEST_F(AXObserverManagerTest, RetriesOfAProcessThatNeverAttachedEndWithTheThread) {
    observeWhileRegistrationsFail();
    rt.runUntilIdle();
    manager->stop();
    manager->start();  // a run loop again, which a retry of the old series would find
    simAX.faults(app).addNotificationError.reset();
    rt.advance(30);
    EXPECT_EQ(creates(), 1u);
    EXPECT_TRUE(attached.empty());
}

TEST_F(AXObserverManagerTest, StopObservingDropsPendingEventsWhileTheObserverThreadIsBusy) {
    int32_t slow = sim.launchApp(std::string("com.example.slow"), "Slow");
    open(slow, "Slow doc");
    startObserving();
    simAX.faults(slow).responseDelay = 1.0;  // its observer thread waits out each of its answers
    sim.setWindowFrame(win, Rect{1, 1, 800, 600});
    manager->observe(slow);
    // The process ends while the slow one's thread is still busy, before its move is delivered.
    rt.mainQueue()->asyncAfter(0.1, [&] { manager->stopObserving(app); });
    rt.advance(1);
    EXPECT_EQ(rt.parkedCount(), 1u) << "the slow application's thread is busy";
    rt.advance(30);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(simAX.installedObserverCount(app), 0u);
}

TEST_F(AXObserverManagerTest, ReleasingTheManagerDetachesAndDeliversNothing) {
    startObserving();
    sim.setWindowFrame(win, Rect{1, 1, 800, 600});
    rt.runUntilIdle();
    manager.reset();
    rt.advance(5);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(simAX.installedObserverCount(app), 0u);
}

}  // namespace
}  // namespace qv
