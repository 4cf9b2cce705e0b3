#include <gtest/gtest.h>

#include "support/StoreDesktop.h"
#include "tracking/WindowAdmission.h"

namespace qv {
namespace {

// A store made afresh over the world each test builds, rather than the fixture's own.
class WindowStoreTest : public testing::StoreDesktop {
  protected:
    WindowStore& makeStore() {
        store = StoreDesktop::makeStore();
        return *store;
    }
};

// A desktop with one of each kind of application and window the first population has to sort out.
class PopulateTest : public WindowStoreTest {
  protected:
    int32_t editor = launch("com.example.editor", "Editor");
    int32_t mail = launch("com.example.mail", "Mail");
    int32_t ledger = launch("com.example.ledger", "Ledger");  // its window list cannot be read
    int32_t canvas = launch("com.example.canvas", "Canvas");  // keeps windows out of its list
    int32_t tempo = launch("com.example.tempo", "Tempo", ActivationPolicy::accessory);
    int32_t dock = launch("com.apple.dock", "Dock");
    int32_t plain = sim.launchApp(std::nullopt, "Plain");

    uint32_t notes = open(editor, "Notes", s1);
    uint32_t draft = open(editor, "Draft", s2);
    uint32_t everywhere = open(editor, "Everywhere", s1);
    uint32_t minimised =
        open(editor, "Minimised", s1, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    uint32_t smallest = open(editor, "Palette", s1, {10, 10, 40, 40});
    uint32_t narrow = open(editor, "Ruler", s1, {10, 10, 39.9, 500});
    uint32_t overlay = open(editor, "Overlay", s1, {10, 10, 400, 400}, [](auto& s) { s.layer = 3; });

    uint32_t inbox = open(mail, "Inbox", s1);
    uint32_t compose =
        open(mail, "Compose", s1, {200, 200, 600, 400}, [](auto& s) { s.subrole = "AXDialog"; });
    uint32_t alert = open(mail, "Alert", s1, {300, 300, 400, 200}, [](auto& s) { s.modal = true; });

    uint32_t budget = open(ledger, "Budget", s2);
    uint32_t sheet = open(ledger, "Sheet", s2, {150, 100, 500, 300}, [this](auto& s) { s.parent = budget; });
    uint32_t archived =
        open(ledger, "Archive", s2, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });

    uint32_t board = open(canvas, "Board", s1);
    uint32_t floating =
        open(canvas, "Floating", s1, {900, 100, 300, 300}, [](auto& s) { s.inAXWindowList = false; });
    uint32_t inspector = open(canvas, "Inspector", s1, {950, 150, 300, 300}, [this](auto& s) {
        s.inAXWindowList = false;
        s.parent = board;
    });

    uint32_t popover = open(tempo, "Tempo", s1, {1500, 30, 300, 360});
    uint32_t strip = open(dock, "Dock", s1, {0, 1010, 1920, 70});
    uint32_t bare = open(plain, "Bare", s2);

    // The draft and the bare window are on the desktop that is not showing.
    std::set<int32_t> rescannedAtStart() const { return {editor, canvas, plain}; }

    void SetUp() override {
        sim.setWindowSpaces(everywhere, {s1, s2});
        simAX.faults(ledger).windowListUnreadable = true;
        answer(simAX.windowElement(notes), "AXTitle", SimAXAnswer{kAXErrorSuccess, Value::string("")});
        sim.focusWindow(everywhere);
    }
};

TEST_F(PopulateTest, TracksExactlyTheEligibleWindowsWithTitlesSpacesAndFocus) {
    WindowStoreProbe::reconcileStateByWindowID(makeStore())[9999] = Reconcile::missing(1, 1);
    store->populate();
    rt.runUntilIdle();

    EXPECT_EQ(trackedIDs(), (std::set<uint32_t>{notes, draft, everywhere, minimised, smallest, inbox, budget,
                                                archived, board, floating, bare}));

    // An empty title read live stands; without a readable list, or outside it, the window name.
    EXPECT_EQ(tracked(notes).windowTitle, "");
    EXPECT_EQ(tracked(draft).windowTitle, "Draft");
    EXPECT_EQ(tracked(budget).windowTitle, "Budget");
    EXPECT_EQ(tracked(floating).windowTitle, "Floating");

    EXPECT_EQ(tracked(notes).spaceIDs, std::set<uint64_t>{s1});
    EXPECT_EQ(tracked(draft).spaceIDs, std::set<uint64_t>{s2});
    EXPECT_EQ(tracked(everywhere).spaceIDs, (std::set<uint64_t>{s1, s2}));
    // Minimised windows are missing from the per-Space listing and asked for one by one.
    EXPECT_TRUE(tracked(minimised).isMinimized);
    EXPECT_EQ(tracked(minimised).spaceIDs, std::set<uint64_t>{s1});
    // Without metadata a window counts as not minimised, and so keeps no Space.
    EXPECT_FALSE(tracked(archived).isMinimized);
    EXPECT_TRUE(tracked(archived).spaceIDs.empty());

    const TrackedWindow& n = tracked(notes);
    EXPECT_EQ(n.pid, editor);
    EXPECT_EQ(n.appName, "Editor");
    EXPECT_EQ(n.bundleIdentifier, "com.example.editor");
    EXPECT_EQ(n.frame, (Rect{100, 100, 800, 600}));
    EXPECT_EQ(tracked(bare).bundleIdentifier, std::nullopt);
    EXPECT_EQ(tracked(bare).appName, "Plain");

    EXPECT_EQ(store->focusedWindowID(), everywhere);
    EXPECT_EQ(changes, 2);  // once for the focus, once for the population
    ASSERT_EQ(WindowStoreProbe::reconcileStateByWindowID(*store).size(), store->windows().size());
    for (const auto& [id, state] : WindowStoreProbe::reconcileStateByWindowID(*store)) {
        EXPECT_TRUE(store->windows().contains(id));
        EXPECT_TRUE(state.isActive());
    }

    // Only the processes with windows missing from a readable list are rescanned: one that keeps
    // windows out of its list, and those with windows on a desktop that is not showing, which their
    // applications do not list.
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), rescannedAtStart());
    EXPECT_EQ(store->trackedPIDs(), (std::set<int32_t>{editor, mail, ledger, canvas, plain}));
    // Applications none of whose windows passed the window-list tests were never asked.
    for (const SimCall& call : sim.callsNamed("AXUIElementCreateApplication")) {
        int32_t pid = call.args.asNumberObject()->int32Value();
        EXPECT_TRUE(pid != tempo && pid != dock) << pid;
    }
}

TEST_F(PopulateTest, BelowOperatingSystem27ChildWindowsAreTracked) {
    sim.setOperatingSystemMajorVersion(26);
    makeStore().populate();
    rt.runUntilIdle();
    EXPECT_TRUE(store->windows().contains(sheet));
    EXPECT_TRUE(store->windows().contains(inspector));
    EXPECT_TRUE(store->windows().contains(floating));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), rescannedAtStart());
}

TEST_F(PopulateTest, AProcessThatNeedsConfirmationKeepsItsMissingWindowsOut) {
    WindowStoreProbe::observerAttachedPIDs(makeStore()).insert(canvas);
    store->populate();
    rt.runUntilIdle();
    EXPECT_TRUE(store->windows().contains(board));
    EXPECT_FALSE(store->windows().contains(floating));
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), rescannedAtStart());
}

TEST_F(PopulateTest, ASlowApplicationIsAdmittedOnWindowListFacts) {
    simAX.faults(mail).responseDelay = 0.2;  // longer than the store waits
    makeStore().populate();
    rt.advance(WindowStore::kAXMessagingTimeoutSeconds);  // its list times out on its worker
    EXPECT_TRUE(store->windows().contains(compose));
    EXPECT_TRUE(store->windows().contains(alert));
    EXPECT_EQ(tracked(inbox).windowTitle, "Inbox");
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), rescannedAtStart());
}

TEST_F(PopulateTest, AnEmptyAccessibilityListMakesEveryWindowMissing) {
    // Readable but empty: at start-up the windows are taken tentatively and the process queued once.
    for (uint32_t id : {notes, draft, everywhere, minimised, smallest})
        sim.window(id)->inAXWindowList = false;
    simAX.overrides.copyAttributeValue = {};
    makeStore().populate();
    rt.runUntilIdle();
    EXPECT_TRUE(store->windows().contains(notes));
    EXPECT_TRUE(store->windows().contains(everywhere));
    // The per-window query finds its Space, but with no metadata it is taken as not minimised.
    ASSERT_TRUE(store->windows().contains(minimised));
    EXPECT_FALSE(tracked(minimised).isMinimized);
    EXPECT_TRUE(tracked(minimised).spaceIDs.empty());
    EXPECT_EQ(WindowStoreProbe::pendingScans(*store), rescannedAtStart());
}

TEST_F(PopulateTest, AnUnreadableWindowListEmptiesTheStoreButStillResolvesFocus) {
    WindowStoreProbe::windows(makeStore())[1] = TrackedWindow{1, editor, "Editor", {}, "Old", {}, false, {}};
    WindowStoreProbe::reconcileStateByWindowID(*store)[1] = Reconcile::active();
    sim.overrides.windowList = [](uint32_t) { return std::optional<Value>(Value::string("broken")); };
    store->populate();
    rt.runUntilIdle();
    EXPECT_TRUE(store->windows().empty());
    EXPECT_TRUE(WindowStoreProbe::reconcileStateByWindowID(*store).empty());
    EXPECT_EQ(store->focusedWindowID(), everywhere);
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(*store).empty());
}

TEST_F(PopulateTest, WithoutAFrontmostApplicationTheFocusStays) {
    sim.terminateApp(editor);
    WindowStoreProbe::focusedWindowID(makeStore()) = 4242;
    store->populate();
    rt.runUntilIdle();
    EXPECT_EQ(store->focusedWindowID(), 4242u);
    EXPECT_EQ(changes, 1);
}

TEST_F(WindowStoreTest, ReadsTheMetadataWithTheTimeoutSetBeforeEveryRead) {
    int32_t app = launch("com.example.app", "App");
    uint32_t w = open(app, "Doc", s1);
    makeStore();
    sim.callLog.clear();
    auto [byID, hasList] = WindowStoreProbe::requests(*store).copyAXWindowMetadataByID(app);
    ASSERT_TRUE(hasList);
    ASSERT_TRUE(byID.contains(w));
    const AXWindowMetadata& m = byID.at(w);
    EXPECT_EQ(m.title, "Doc");
    EXPECT_EQ(m.role, "AXWindow");
    EXPECT_EQ(m.subrole, "AXStandardWindow");
    EXPECT_EQ(m.isModal, false);
    EXPECT_EQ(m.isMinimized, false);

    std::vector<std::string> calls;
    for (const SimCall& c : sim.callLog) {
        std::string name = c.name;
        if (name == "AXUIElementCopyAttributeValue") name += " " + *(*c.args.asArray())[1].asString();
        calls.push_back(name);
    }
    const std::string set = "AXUIElementSetMessagingTimeout", copy = "AXUIElementCopyAttributeValue ";
    EXPECT_EQ(calls, (std::vector<std::string>{"AXUIElementCreateApplication", set, copy + "AXWindows",
                                               "_AXUIElementGetWindow", set, copy + "AXTitle", set,
                                               copy + "AXRole", set, copy + "AXSubrole", set,
                                               copy + "AXModal", set, copy + "AXMinimized"}));
    for (const SimCall& c : sim.callsNamed(set)) {
        EXPECT_NEAR((*c.args.asArray())[1].asNumberObject()->doubleValue(), 0.05, 1e-6);
    }
}

TEST_F(WindowStoreTest, MetadataOfOddAnswers) {
    int32_t app = launch("com.example.app", "App");
    uint32_t w = open(app, "Doc", s1);
    AXElement element = simAX.windowElement(w);
    simAX.overrides.copyAttributeValue =
        [element](const AXElement& e, const std::string& attribute) -> std::optional<SimAXAnswer> {
        if (e != element) return std::nullopt;
        if (attribute == "AXModal") return SimAXAnswer{kAXErrorSuccess, Value::number(1)};
        if (attribute == "AXTitle") return SimAXAnswer{kAXErrorSuccess, Value::number(7)};
        if (attribute == "AXMinimized") return SimAXAnswer{kAXErrorCannotComplete, {}};
        return std::nullopt;
    };
    auto [byID, hasList] = WindowStoreProbe::requests(makeStore()).copyAXWindowMetadataByID(app);
    ASSERT_TRUE(byID.contains(w));
    EXPECT_EQ(byID.at(w).isModal, true);
    EXPECT_EQ(byID.at(w).title, std::nullopt);
    EXPECT_EQ(byID.at(w).isMinimized, std::nullopt);

    // Without the private lookup the id comes from "AXWindowNumber".
    sim.missingEntryPoints.insert("_AXUIElementGetWindow");
    sim.callLog.clear();
    EXPECT_TRUE(WindowStoreProbe::requests(*WindowStore::create(sim.platform()))
                    .copyAXWindowMetadataByID(app)
                    .first.contains(w));
    EXPECT_TRUE(sim.callsNamed("_AXUIElementGetWindow").empty());

    // An element without any id is left out: its window counts as missing.
    simAX.faults(app).windowNumberUnsupported = true;
    auto withoutID = WindowStoreProbe::requests(*store).copyAXWindowMetadataByID(app);
    EXPECT_TRUE(withoutID.second);
    EXPECT_TRUE(withoutID.first.empty());
    EXPECT_EQ(cgWindowAXAdmission(w, withoutID.first, withoutID.second).kind,
              CGWindowAXAdmission::Case::missing);

    simAX.overrides.copyAttributeValue = [](const AXElement& e,
                                            const std::string& attribute) -> std::optional<SimAXAnswer> {
        if (e.isApplication() && attribute == "AXWindows") {
            return SimAXAnswer{kAXErrorSuccess, Value::array({Value::string("not an element")})};
        }
        return std::nullopt;
    };
    EXPECT_FALSE(WindowStoreProbe::requests(*store).copyAXWindowMetadataByID(app).second);
    simAX.faults(app).unresponsive = true;
    EXPECT_FALSE(WindowStoreProbe::requests(*store).copyAXWindowMetadataByID(app).second);
}

TEST_F(WindowStoreTest, StartUpRuleForWindowsMissingFromTheList) {
    int32_t app = launch("com.example.app", "App");
    uint32_t parent = open(app, "Parent", s1);
    uint32_t child = open(app, "Child", s1, {120, 120, 400, 300}, [&](auto& s) { s.parent = parent; });
    uint32_t nowhere = open(app, "Nowhere", 0);
    uint32_t hidden = open(app, "Hidden", s2, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    uint32_t cid = sim.connectionID();

    {
        sim.setOperatingSystemMajorVersion(26);
        auto below = WindowStore::create(sim.platform());
        EXPECT_EQ(WindowStoreProbe::tentativeBootstrapRejection(*below, child, {}, cid), std::nullopt);
        EXPECT_EQ(WindowStoreProbe::tentativeBootstrapRejection(*below, nowhere, {}, cid), std::nullopt);
        sim.setOperatingSystemMajorVersion(27);
    }
    WindowStore& s = makeStore();
    // The parent is looked at before any Space.
    EXPECT_TRUE(WindowStoreProbe::tentativeBootstrapRejection(s, child, {{child, {s1}}}, cid));
    EXPECT_EQ(WindowStoreProbe::tentativeBootstrapRejection(s, parent, {{parent, {s1}}}, cid), std::nullopt);
    EXPECT_EQ(WindowStoreProbe::tentativeBootstrapRejection(s, hidden, {}, cid),
              std::nullopt);  // the per-window query finds it
    EXPECT_TRUE(WindowStoreProbe::tentativeBootstrapRejection(s, nowhere, {{nowhere, {}}}, cid));
    sim.setWindowSpaces(nowhere, {s2});
    EXPECT_EQ(WindowStoreProbe::tentativeBootstrapRejection(s, nowhere, {}, cid), std::nullopt);
}

TEST_F(WindowStoreTest, SpacesFromTheWindowServer) {
    int32_t app = launch("com.example.app", "App");
    uint32_t a = open(app, "A", s1);
    uint32_t both = open(app, "Both", s1);
    uint32_t hidden = open(app, "Hidden", s2, {100, 100, 800, 600}, [](auto& s) { s.minimized = true; });
    uint32_t nowhere = open(app, "Nowhere", 0);
    sim.setWindowSpaces(both, {s1, s2});
    WindowStore& s = makeStore();
    uint32_t cid = sim.connectionID();

    sim.callLog.clear();
    auto map = WindowStoreProbe::buildWindowSpacesMap(s, cid);
    EXPECT_EQ(map.at(a), std::set<uint64_t>{s1});
    EXPECT_EQ(map.at(both), (std::set<uint64_t>{s1, s2}));
    EXPECT_FALSE(map.contains(hidden));
    auto listings = sim.callsNamed("SLSCopyWindowsWithOptionsAndTags");
    ASSERT_EQ(listings.size(), 2u);
    const Value::Array& args = *listings[0].args.asArray();
    EXPECT_EQ(args[0].asNumberObject()->uint32Value(), 0u);  // any owner
    EXPECT_EQ(args[1], numberArray(std::vector<uint64_t>{s1}));
    EXPECT_EQ(args[2].asNumberObject()->uint32Value(), 2u);
    EXPECT_EQ(args[3].asNumberObject()->uint64Value(), 0u);
    EXPECT_EQ(args[4].asNumberObject()->uint64Value(), 0x4000000000ull);

    auto found = WindowStoreProbe::querySpaces(s, {hidden, nowhere, a}, cid);
    EXPECT_EQ(found, (std::map<uint32_t, std::set<uint64_t>>{{hidden, {s2}}, {a, {s1}}}));

    // Odd answers: elements that are no numbers are skipped; answers that are no number list are.
    sim.overrides.windowsOnSpaces = [&](const Value&) {
        return std::optional<Value>(Value::array({Value::string("x"), Value::number(a)}));
    };
    EXPECT_EQ(WindowStoreProbe::buildWindowSpacesMap(s, cid).at(a), (std::set<uint64_t>{s1, s2}));
    sim.overrides.spacesForWindows = [](const Value&) { return std::optional<Value>(Value::string("x")); };
    EXPECT_TRUE(WindowStoreProbe::querySpaces(s, {a}, cid).empty());

    EXPECT_EQ(uniquePreservingOrder({3, 1, 3, 2, 1}), (std::vector<uint32_t>{3, 1, 2}));
}

TEST_F(WindowStoreTest, OneWindowsListEntry) {
    int32_t app = launch("com.example.app", "App");
    uint32_t w = open(app, "Doc", s1);
    WindowStore& s = makeStore();
    auto info = WindowStoreProbe::cgWindowInfo(s, w);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->windowID(), w);
    EXPECT_EQ(info->windowName(), "Doc");
    EXPECT_FALSE(WindowStoreProbe::cgWindowInfo(s, w + 1000));
    sim.overrides.windowDescription = [](const Value&) {
        return std::optional<Value>(Value::array({Value::string("x")}));
    };
    EXPECT_FALSE(WindowStoreProbe::cgWindowInfo(s, w));
}

TEST_F(WindowStoreTest, ActivationTakesTheApplicationsFocusedWindow) {
    int32_t app = launch("com.example.app", "App");
    uint32_t w = open(app, "Doc", s1);
    WindowStore& s = makeStore();
    activated(app);  // the window is not tracked: the focus is taken all the same
    EXPECT_EQ(s.focusedWindowID(), w);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(WindowStoreProbe::debugEventSequence(s), 1u);

    WindowStoreProbe::focusedWindowID(s) = 7;
    for (SimAXAnswer answer :
         {SimAXAnswer{kAXErrorCannotComplete, {}}, SimAXAnswer{kAXErrorSuccess, Value::string("x")}}) {
        simAX.overrides.copyAttributeValue =
            [answer](const AXElement&, const std::string& attribute) -> std::optional<SimAXAnswer> {
            if (attribute == "AXFocusedWindow") return answer;
            return std::nullopt;
        };
        activated(app);
        EXPECT_EQ(s.focusedWindowID(), 7u);
    }
    EXPECT_EQ(changes, 1);
}

TEST_F(WindowStoreTest, ADeferredScanSeriesRunsOnceAtATime) {
    WindowStore& s = makeStore();
    s.scheduleDeferredScan(42);
    EXPECT_EQ(WindowStoreProbe::pendingScans(s), std::set<int32_t>{42});
    rt.advanceTo(1);
    s.scheduleDeferredScan(42);  // ignored: the series is running
    rt.advanceTo(2.4999);
    EXPECT_TRUE(WindowStoreProbe::pendingScans(s).contains(42));
    rt.advanceTo(2.5);
    EXPECT_FALSE(WindowStoreProbe::pendingScans(s).contains(42));
    EXPECT_EQ(rt.pendingCount(), 0u);  // the ignored request scheduled nothing

    rt.advanceTo(3);
    s.scheduleDeferredScan(42);
    EXPECT_EQ(rt.pendingCount(), 4u);  // three passes and the end
    EXPECT_EQ(rt.nextDeadline(), 3.3);

    // Passes of a store that has gone do nothing.
    store.reset();
    rt.advance(5);
    EXPECT_EQ(rt.pendingCount(), 0u);
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

class WindowsOnSpaceTest : public WindowStoreTest {};

TEST_F(WindowsOnSpaceTest, ListsTheSpacesWindowsByAscendingIDWhateverTheInsertionOrder) {
    auto& st = makeStore();
    auto put = [&](uint32_t id, std::set<uint64_t> spaces) {
        TrackedWindow w;
        w.windowID = id;
        w.spaceIDs = std::move(spaces);
        WindowStoreProbe::windows(st)[id] = w;
    };
    put(301, {s1});
    put(12, {s1, s2});
    put(40, {s1});
    put(7, {});
    std::vector<uint32_t> ids;
    for (const auto& w : st.windowsOn(s1)) ids.push_back(w.windowID);
    EXPECT_EQ(ids, (std::vector<uint32_t>{12, 40, 301}));
    ASSERT_EQ(st.windowsOn(s2).size(), 1u);
    EXPECT_EQ(st.windowsOn(s2)[0].windowID, 12u);
    EXPECT_TRUE(st.windowsOn(999).empty());
}

}  // namespace
}  // namespace qv
