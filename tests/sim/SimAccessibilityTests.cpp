#include <gtest/gtest.h>

#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"

namespace qv {
namespace {

struct Heard {
    std::string notification;
    AXElement element;
    void* refcon;
};
std::vector<Heard>* heardLog = nullptr;

void record(AXObserver&, const AXElement& element, const std::string& notification, void* refcon) {
    if (heardLog) heardLog->push_back({notification, element, refcon});
}

class SimAccessibilityTest : public testing::WideAppDesktop<> {
  protected:
    SimAccessibility& simAX = sim.accessibility();
    Accessibility& ax = sim.platform().accessibility;
    uint64_t full = sim.addSpace(display, kSimSpaceTypeFullScreen);
    std::shared_ptr<RunLoopThread> thread = rt.startRunLoopThread("observers");
    std::vector<Heard> heard;

    void SetUp() override { heardLog = &heard; }
    void TearDown() override { heardLog = nullptr; }

    Value read(const AXElement& e, const std::string& attribute, AXError expected = kAXErrorSuccess) {
        Value v;
        EXPECT_EQ(ax.copyAttributeValue(e, attribute, v), expected) << attribute;
        return v;
    }
    AXObserverRef observer(int32_t pid) {
        AXObserverRef obs;
        EXPECT_EQ(ax.observerCreate(pid, &record, obs), kAXErrorSuccess);
        ax.addObserverSourceToRunLoop(*obs, thread->runLoop());
        return obs;
    }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const Heard& h : heard) out.push_back(h.notification);
        return out;
    }
};

TEST_F(SimAccessibilityTest, ApplicationAndWindowElementsDescribeTheWorld) {
    uint32_t back = open("Back");
    uint32_t front = open("Front", Rect{10, 20, 300, 200});
    sim.window(back)->subrole = std::nullopt;
    AXElement appElement = ax.createApplication(app);

    EXPECT_EQ(*read(appElement, "AXRole").asString(), "AXApplication");
    auto windows = read(appElement, "AXWindows").asElementArray();
    ASSERT_TRUE(windows);
    EXPECT_EQ(*windows, (std::vector<AXElement>{simAX.windowElement(front), simAX.windowElement(back)}));
    EXPECT_EQ(read(appElement, "AXFocusedWindow").asElement(), simAX.windowElement(front));

    AXElement w = simAX.windowElement(front);
    EXPECT_EQ(*read(w, "AXTitle").asString(), "Front");
    EXPECT_EQ(*read(w, "AXRole").asString(), "AXWindow");
    EXPECT_EQ(*read(w, "AXSubrole").asString(), "AXStandardWindow");
    EXPECT_EQ(read(w, "AXModal").asBool(), false);
    EXPECT_EQ(read(w, "AXPosition").asAXValue()->point, (Point{10, 20}));
    EXPECT_EQ(read(w, "AXSize").asAXValue()->size, (Size{300, 200}));
    EXPECT_EQ(read(w, "AXWindowNumber").asNumberObject()->uint32Value(), front);
    EXPECT_EQ(read(w, "AXMain").asBool(), true);
    EXPECT_EQ(read(simAX.windowElement(back), "AXMain").asBool(), false);
    EXPECT_EQ(read(w, "AXCloseButton").asElement(), simAX.closeButtonElement(front));
    read(simAX.windowElement(back), "AXSubrole", kAXErrorNoValue);
    read(w, "AXNoSuchAttribute", kAXErrorAttributeUnsupported);

    int32_t pid = 0;
    EXPECT_EQ(ax.getPid(w, pid), kAXErrorSuccess);
    EXPECT_EQ(pid, app);
    uint32_t id = 0;
    ASSERT_TRUE(ax.hasEntryPoint("_AXUIElementGetWindow"));
    EXPECT_EQ(ax.getWindow(w, id), kAXErrorSuccess);
    EXPECT_EQ(id, front);
    EXPECT_EQ(ax.getWindow(appElement, id), kAXErrorIllegalArgument);

    // A window the application keeps out of its list, and one on a full-screen desktop.
    sim.window(back)->inAXWindowList = false;
    EXPECT_EQ(read(appElement, "AXWindows").asArray()->size(), 1u);
    sim.setWindowSpaces(front, {full});
    EXPECT_EQ(read(w, "AXFullScreen").asBool(), true);
}

TEST_F(SimAccessibilityTest, WritesAndActionsChangeTheWorld) {
    uint32_t a = open("A");
    uint32_t b = open("B");
    AXElement w = simAX.windowElement(a);
    EXPECT_EQ(ax.setAttributeValue(w, "AXPosition", Value::axPoint({40, 50})), kAXErrorSuccess);
    EXPECT_EQ(ax.setAttributeValue(w, "AXSize", Value::axSize({640, 480})), kAXErrorSuccess);
    EXPECT_EQ(sim.window(a)->frame, (Rect{40, 50, 640, 480}));
    EXPECT_EQ(ax.setAttributeValue(w, "AXSize", Value::axPoint({1, 1})), kAXErrorIllegalArgument);
    EXPECT_EQ(ax.setAttributeValue(w, "AXTitle", Value::string("x")), kAXErrorAttributeUnsupported);

    EXPECT_EQ(ax.setAttributeValue(w, "AXMinimized", Value::boolean(true)), kAXErrorSuccess);
    EXPECT_TRUE(sim.window(a)->minimized);
    ax.setAttributeValue(w, "AXMinimized", Value::number(0));
    EXPECT_FALSE(sim.window(a)->minimized);

    EXPECT_GT(sim.window(b)->z, sim.window(a)->z);
    EXPECT_EQ(ax.performAction(w, "AXRaise"), kAXErrorSuccess);
    EXPECT_GT(sim.window(a)->z, sim.window(b)->z);
    EXPECT_EQ(ax.performAction(w, "AXPress"), kAXErrorActionUnsupported);

    AXElement appElement = ax.createApplication(app);
    EXPECT_EQ(ax.setAttributeValue(appElement, "AXFrontmost", Value::boolean(true)), kAXErrorSuccess);
    EXPECT_EQ(sim.frontmostPID(), app);
    EXPECT_EQ(ax.setAttributeValue(appElement, "AXMainWindow", Value::element(simAX.windowElement(b))),
              kAXErrorSuccess);
    EXPECT_EQ(read(appElement, "AXFocusedWindow").asElement(), simAX.windowElement(b));

    EXPECT_EQ(ax.performAction(simAX.closeButtonElement(a), "AXPress"), kAXErrorSuccess);
    EXPECT_FALSE(sim.window(a));
    // The element of a closed window is dead.
    read(w, "AXTitle", kAXErrorInvalidUIElement);
    uint32_t id = 0;
    EXPECT_EQ(ax.getWindow(w, id), kAXErrorInvalidUIElement);
}

TEST_F(SimAccessibilityTest, AHungApplicationAnswersWhatWaitsOnItOnceItAnswersAgain) {
    uint32_t a = open("A");
    AXElement w = simAX.windowElement(a);
    AXObserverRef obs = observer(app);
    for (const char* name : {"AXTitleChanged", "AXWindowMoved"})
        ax.observerAddNotification(*obs, w, name, nullptr);
    simAX.setUnresponsive(app, true);
    sim.setWindowTitle(a, "A2");
    auto worker = rt.makeSerialQueue("worker");
    std::optional<std::pair<AXError, double>> answer;
    worker->async([&] {
        // Both time out, but stay in its queue.
        (void)ax.setAttributeValue(w, "AXPosition", Value::axPoint({10, 10}));
        (void)ax.performAction(simAX.closeButtonElement(a), "AXPress");
        Value v;
        const AXError err = ax.copyAttributeValue(ax.createApplication(app), "AXTitle", v);
        answer = {err, rt.now()};
    });
    rt.advanceTo(13);
    EXPECT_FALSE(answer);  // waiting
    EXPECT_TRUE(sim.window(a) && heard.empty());
    simAX.setUnresponsive(app, false);
    rt.runUntilIdle();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->first, kAXErrorSuccess);
    EXPECT_EQ(answer->second, 13.0);
    // What it held comes first, then what it was sent, in order (closed last, so moved first).
    EXPECT_FALSE(sim.window(a));
    EXPECT_EQ(names(), (std::vector<std::string>{"AXTitleChanged", "AXWindowMoved"}));
}

TEST_F(SimAccessibilityTest, FaultsOfOneApplication) {
    uint32_t a = open("A");
    AXElement appElement = ax.createApplication(app);
    AXElement w = simAX.windowElement(a);

    // Slow: each answer takes 0.2 s on the clock; a reference that waits less gives up sooner.
    simAX.faults(app).responseDelay = 0.2;
    read(appElement, "AXWindows");
    EXPECT_NEAR(rt.now(), 0.2, 1e-9);
    ax.setMessagingTimeout(appElement, 0.05f);
    read(appElement, "AXWindows", kAXErrorCannotComplete);
    EXPECT_NEAR(rt.now(), 0.25, 1e-9);
    // The timeout is that reference's: another reference to the element, and the elements it
    // hands out, wait the default time.
    AXElement another = ax.createApplication(app);
    EXPECT_EQ(another, appElement);
    EXPECT_EQ(simAX.messagingTimeout(another), SimAccessibility::kDefaultMessagingTimeout);
    read(another, "AXWindows");
    read(w, "AXTitle");
    ax.setMessagingTimeout(appElement, 0);
    read(appElement, "AXWindows");
    simAX.faults(app).responseDelay = 0;

    simAX.faults(app).windowListUnreadable = true;
    read(appElement, "AXWindows", kAXErrorCannotComplete);
    read(w, "AXTitle");
    simAX.faults(app).windowListUnreadable = false;

    simAX.faults(app).windowNumberUnsupported = true;
    simAX.faults(app).privateWindowLookupFails = true;
    read(w, "AXWindowNumber", kAXErrorAttributeUnsupported);
    uint32_t id = 0;
    EXPECT_EQ(ax.getWindow(w, id), kAXErrorFailure);

    simAX.faults(app).unresponsive = true;
    read(w, "AXTitle", kAXErrorCannotComplete);
    simAX.faults(app).unresponsive = false;
    simAX.faults(app).untrusted = true;
    read(w, "AXTitle", kAXErrorAPIDisabled);
    simAX.faults(app).untrusted = false;

    simAX.setProcessTrusted(false);
    EXPECT_FALSE(ax.isProcessTrusted());
    read(appElement, "AXRole", kAXErrorAPIDisabled);
    simAX.setProcessTrusted(true);

    sim.missingEntryPoints.insert("_AXUIElementGetWindow");
    EXPECT_FALSE(ax.hasEntryPoint("_AXUIElementGetWindow"));

    simAX.overrides.copyAttributeValue = [](const AXElement&,
                                            const std::string& attribute) -> std::optional<SimAXAnswer> {
        if (attribute == "AXWindows") return SimAXAnswer{kAXErrorSuccess, Value::string("odd")};
        return std::nullopt;
    };
    EXPECT_EQ(read(appElement, "AXWindows"), Value::string("odd"));
    EXPECT_EQ(*read(appElement, "AXRole").asString(), "AXApplication");

    sim.terminateApp(app);
    read(appElement, "AXRole", kAXErrorCannotComplete);
}

TEST_F(SimAccessibilityTest, ObserversHearTheWorldOnTheirRunLoop) {
    uint32_t a = open("A");
    AXObserverRef obs = observer(app);
    AXElement appElement = ax.createApplication(app);
    AXElement w = simAX.windowElement(a);
    int context = 0;
    EXPECT_EQ(ax.observerAddNotification(*obs, appElement, "AXWindowCreated", &context), kAXErrorSuccess);
    EXPECT_EQ(ax.observerAddNotification(*obs, appElement, "AXWindowCreated", &context),
              kAXErrorNotificationAlreadyRegistered);
    EXPECT_EQ(ax.observerAddNotification(*obs, appElement, "AXFocusedWindowChanged", &context),
              kAXErrorSuccess);
    EXPECT_EQ(ax.observerAddNotification(*obs, appElement, "AXTitleChanged", &context),
              kAXErrorNotificationUnsupported);
    for (const char* name : {"AXTitleChanged", "AXWindowMoved", "AXWindowResized", "AXWindowMiniaturized",
                             "AXWindowDeminiaturized", "AXUIElementDestroyed"}) {
        EXPECT_EQ(ax.observerAddNotification(*obs, w, name, &context), kAXErrorSuccess);
    }

    sim.setWindowTitle(a, "A2");
    sim.setWindowFrame(a, Rect{0, 0, 800, 600});  // moved only
    sim.setWindowFrame(a, Rect{0, 0, 900, 600});  // resized only
    sim.setWindowMinimized(a, true);
    sim.setWindowMinimized(a, false);
    EXPECT_TRUE(heard.empty());  // nothing until the run loop runs
    rt.runUntilIdle();
    EXPECT_EQ(names(), (std::vector<std::string>{"AXTitleChanged", "AXWindowMoved", "AXWindowResized",
                                                 "AXWindowMiniaturized", "AXWindowDeminiaturized",
                                                 // the window is the focused one again
                                                 "AXFocusedWindowChanged"}));
    EXPECT_EQ(heard[0].element, w);
    EXPECT_EQ(heard[0].refcon, &context);

    heard.clear();
    uint32_t b = open("B");  // created, and the focused window changes to it
    rt.runUntilIdle();
    EXPECT_EQ(names(), (std::vector<std::string>{"AXWindowCreated", "AXFocusedWindowChanged"}));
    EXPECT_EQ(heard[0].element, simAX.windowElement(b));

    heard.clear();
    sim.focusWindow(a);
    sim.closeWindow(a);
    rt.runUntilIdle();
    EXPECT_EQ(names(), (std::vector<std::string>{"AXFocusedWindowChanged", "AXUIElementDestroyed",
                                                 "AXFocusedWindowChanged"}));
    EXPECT_EQ(heard[1].element, w);
}

TEST_F(SimAccessibilityTest, SilentClosesAndCarryingWindowsToOtherDesktops) {
    uint32_t side = sim.addDisplay("Side", Rect{1920, 200, 1440, 900});
    uint64_t sideSpace = sim.addSpace(side);
    uint64_t s2 = sim.addSpace(display);
    uint32_t a = open("A", Rect{100, 150, 800, 600});
    uint32_t b = open("B");
    AXObserverRef obs = observer(app);
    for (uint32_t id : {a, b}) {
        for (const char* name : {"AXWindowMoved", "AXUIElementDestroyed"})
            ax.observerAddNotification(*obs, simAX.windowElement(id), name, nullptr);
    }

    // Between desktops of one display: new Spaces, same frame, nothing heard.
    sim.moveWindowToSpace(a, s2);
    EXPECT_EQ(sim.window(a)->spaces, std::set<uint64_t>{s2});
    EXPECT_EQ(sim.window(a)->frame, (Rect{100, 150, 800, 600}));
    // To the other display: at the same place relative to it, and announced as a move.
    sim.moveWindowToSpace(a, sideSpace);
    EXPECT_EQ(sim.window(a)->spaces, std::set<uint64_t>{sideSpace});
    EXPECT_EQ(sim.window(a)->frame, (Rect{2020, 350, 800, 600}));
    // A Space that does not exist changes nothing.
    sim.moveWindowToSpace(a, 999);
    EXPECT_EQ(sim.window(a)->spaces, std::set<uint64_t>{sideSpace});

    sim.closeWindowSilently(b);
    EXPECT_EQ(sim.window(b), nullptr);
    rt.runUntilIdle();
    EXPECT_EQ(names(), std::vector<std::string>{"AXWindowMoved"});
    EXPECT_EQ(heard[0].element, simAX.windowElement(a));
}

TEST_F(SimAccessibilityTest, NoCallbackOnceTheSourceIsRemovedOrTheObserverIsGone) {
    uint32_t a = open("A");
    AXObserverRef obs = observer(app);
    AXElement w = simAX.windowElement(a);
    ax.observerAddNotification(*obs, w, "AXTitleChanged", nullptr);
    EXPECT_EQ(simAX.installedObserverCount(app), 1u);
    EXPECT_EQ(simAX.registeredNotifications(w), std::vector<std::string>{"AXTitleChanged"});

    sim.setWindowTitle(a, "queued before the removal");
    ax.removeObserverSourceFromRunLoop(*obs, thread->runLoop());
    rt.runUntilIdle();
    EXPECT_TRUE(heard.empty());
    EXPECT_EQ(simAX.installedObserverCount(app), 0u);

    ax.addObserverSourceToRunLoop(*obs, thread->runLoop());
    EXPECT_EQ(ax.observerRemoveNotification(*obs, w, "AXTitleChanged"), kAXErrorSuccess);
    EXPECT_EQ(ax.observerRemoveNotification(*obs, w, "AXTitleChanged"), kAXErrorNotificationNotRegistered);
    sim.setWindowTitle(a, "not registered");
    rt.runUntilIdle();
    EXPECT_TRUE(heard.empty());

    ax.observerAddNotification(*obs, w, "AXTitleChanged", nullptr);
    sim.setWindowTitle(a, "observer released");
    obs.reset();
    rt.runUntilIdle();
    EXPECT_TRUE(heard.empty());
}

TEST_F(SimAccessibilityTest, RegistrationFaultsAndTermination) {
    uint32_t a = open("A");
    AXElement appElement = ax.createApplication(app);
    simAX.faults(app).addNotificationError = kAXErrorCannotComplete;
    simAX.faults(app).addNotificationErrorNames = {"AXWindowCreated"};
    AXObserverRef obs = observer(app);
    EXPECT_EQ(ax.observerAddNotification(*obs, appElement, "AXWindowCreated", nullptr),
              kAXErrorCannotComplete);
    EXPECT_EQ(ax.observerAddNotification(*obs, appElement, "AXFocusedWindowChanged", nullptr),
              kAXErrorSuccess);

    simAX.faults(app).observerCreateError = kAXErrorFailure;
    AXObserverRef none;
    EXPECT_EQ(ax.observerCreate(app, &record, none), kAXErrorFailure);
    EXPECT_FALSE(none);

    // Another process's element cannot be registered on this observer.
    int32_t other = sim.launchApp(std::string("com.example.other"), "Other");
    EXPECT_EQ(ax.observerAddNotification(*obs, ax.createApplication(other), "AXWindowCreated", nullptr),
              kAXErrorIllegalArgument);

    ax.observerAddNotification(*obs, simAX.windowElement(a), "AXUIElementDestroyed", nullptr);
    sim.terminateApp(app);
    rt.runUntilIdle();
    EXPECT_EQ(names(), std::vector<std::string>{"AXUIElementDestroyed"});

    // A crash announces nothing.
    heard.clear();
    AXObserverRef otherObserver = observer(other);
    uint32_t b = sim.openWindow(other, "B", space);
    ax.observerAddNotification(*otherObserver, simAX.windowElement(b), "AXUIElementDestroyed", nullptr);
    sim.crashApp(other);
    rt.runUntilIdle();
    EXPECT_TRUE(heard.empty());
    EXPECT_TRUE(sim.app(other)->terminated);
    EXPECT_FALSE(sim.window(b));
}

TEST_F(SimAccessibilityTest, TheWindowListHoldsTheShowingDesktopsAndMinimisedWindows) {
    uint32_t here = open("Here");
    uint32_t away = sim.openWindow(app, "Away", full);
    uint32_t docked =
        sim.openWindow(app, "Docked", full, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    auto listed = [&] {
        std::set<uint64_t> tokens;
        auto elements = read(ax.createApplication(app), "AXWindows").asElementArray();
        for (const AXElement& e : *elements) tokens.insert(e.token());
        return tokens;
    };
    EXPECT_EQ(listed(), (std::set<uint64_t>{here, docked}));
    sim.switchToSpace(full);
    sim.finishDesktopSwitches();
    EXPECT_EQ(listed(), (std::set<uint64_t>{away, docked}));
}

TEST_F(SimAccessibilityTest, CallsAreLogged) {
    uint32_t a = open("A");
    sim.callLog.clear();
    AXElement w = simAX.windowElement(a);
    ax.setMessagingTimeout(w, 0.05f);
    read(w, "AXTitle");
    ASSERT_EQ(sim.callLog.size(), 2u);
    EXPECT_EQ(sim.callLog[0].name, "AXUIElementSetMessagingTimeout");
    EXPECT_NEAR((*sim.callLog[0].args.asArray())[1].asNumberObject()->doubleValue(), 0.05, 1e-6);
    EXPECT_EQ(sim.callLog[1].args, Value::array({Value::element(w), Value::string("AXTitle")}));
}

}  // namespace
}  // namespace qv
