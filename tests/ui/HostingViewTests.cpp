#include <gtest/gtest.h>

#include "support/HostedView.h"
#include "ui/List.h"

namespace qv {
namespace {

Point centre(const Rect& r) {
    return {r.midX(), r.midY()};
}

const HitRegion& regionWithHelp(const DisplayList& list, const std::string& help) {
    for (const HitRegion& r : list.regions) {
        if (r.help == help) return r;
    }
    static HitRegion none;
    ADD_FAILURE() << help;
    return none;
}

// A view whose body the test supplies and that counts its evaluations.
class TestView : public View {
  public:
    std::function<Node()> build;
    int bodies = 0;
    Published<int> counter{0};
    TestView() { observe(counter); }
    Node body() override {
        ++bodies;
        return build();
    }
};

class HostingViewTest : public testing::HostedView {
  protected:
    std::shared_ptr<TestView> view = std::make_shared<TestView>();
    std::vector<std::string> log;

    void show(std::function<Node()> build, Size size = {300, 100}) {
        view->build = std::move(build);
        present(view, size);
    }
    Node hoverBox(const std::string& name, double w, double h) {
        return Rectangle()->frame(w, h)->help(name)->onHover(
            [this, name](bool on) { log.push_back((on ? "enter " : "exit ") + name); });
    }
};

TEST_F(HostingViewTest, HoverLeavesTheOldViewBeforeEnteringTheNewOneAndNestedViewsNest) {
    show([this] {
        return HStack(VerticalAlignment::center, 0,
                      {hoverBox("a", 100, 50),
                       ZStack({hoverBox("inner", 40, 20)})->frame(100, 50)->onHover([this](bool on) {
                           log.push_back(on ? "enter outer" : "exit outer");
                       })});
    });
    const auto& list = host->displayList();
    Point a = centre(regionWithHelp(list, "a").frame);
    Point inner = centre(regionWithHelp(list, "inner").frame);
    host->mouseMoved(a);
    host->mouseMoved({a.x + 1, a.y});  // moving inside reports nothing
    host->mouseMoved(inner);
    host->mouseMoved({inner.x + 30, inner.y});  // still in the outer view only
    host->mouseExited();
    EXPECT_EQ(log, (std::vector<std::string>{"enter a", "exit a", "enter outer", "enter inner", "exit inner",
                                             "exit outer"}));
}

TEST_F(HostingViewTest, ClicksGoToTheTopmostEnabledHandlerAndNeedTheReleaseInside) {
    int card = 0, control = 0, disabled = 0;
    show([&] {
        return ZStack({Rectangle()->frame(200, 80)->onTapGesture([&] { ++card; })->help("card"),
                       Rectangle()->frame(20, 20)->onTapGesture([&] { ++control; })->help("control"),
                       Rectangle()
                           ->frame(10, 10)
                           ->onTapGesture([&] { ++disabled; })
                           ->disabled(true)
                           ->help("off")
                           ->padding(EdgeInsets{0, 120, 0, 0})});
    });
    const auto& list = host->displayList();
    Point c = centre(regionWithHelp(list, "control").frame);
    host->mouseDown(c);
    host->mouseUp(c);
    EXPECT_EQ(control, 1);
    EXPECT_EQ(card, 0);
    // The disabled control does not take the click; the card under it does.
    Point off = centre(regionWithHelp(list, "off").frame);
    host->mouseDown(off);
    host->mouseUp(off);
    EXPECT_EQ(disabled, 0);
    EXPECT_EQ(card, 1);
    // Released outside: no click.
    host->mouseDown(c);
    host->mouseUp({290, 95});
    EXPECT_EQ(control, 1);
    // Hit testing off lets the click through to what lies beneath.
    show([&] {
        return ZStack(
            {Rectangle()->frame(200, 80)->onTapGesture([&] { ++card; }),
             Rectangle()->frame(200, 80)->onTapGesture([&] { ++control; })->allowsHitTesting(false)});
    });
    host->mouseDown({150, 50});
    host->mouseUp({150, 50});
    EXPECT_EQ(card, 2);
    EXPECT_EQ(control, 1);
}

TEST_F(HostingViewTest, ADragStartsOnlyPastItsMinimumDistanceAndThenIsNoClick) {
    int taps = 0;
    std::vector<DragValue> changes, ends;
    show([&] {
        DragGesture g;
        g.minimumDistance = 4;
        g.onChanged = [&](const DragValue& v) { changes.push_back(v); };
        g.onEnded = [&](const DragValue& v) { ends.push_back(v); };
        return Rectangle()->frame(100, 40)->onTapGesture([&] { ++taps; })->gesture(g, true);
    });
    host->mouseDown({150, 50});
    host->mouseDragged({152, 51});  // about 2.2 points: still a click
    host->mouseUp({152, 51});
    EXPECT_EQ(taps, 1);
    EXPECT_TRUE(changes.empty());

    host->mouseDown({150, 50});
    host->mouseDragged({153, 50});  // 3 points
    EXPECT_TRUE(changes.empty());
    host->mouseDragged({154, 50});  // 4 points: the drag begins
    host->mouseDragged({170, 58});
    host->mouseUp({171, 58});
    EXPECT_EQ(taps, 1);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].translation, (Size{4, 0}));
    EXPECT_EQ(changes[1].location, (Point{170, 58}));
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_EQ(ends[0].startLocation, (Point{150, 50}));
    EXPECT_EQ(ends[0].translation, (Size{21, 8}));
}

TEST_F(HostingViewTest, RightClickRunsRightClickHandlersAndShowsTheTopmostContextMenu) {
    int rightClicks = 0;
    int chosen = 0;
    show([&] {
        return Rectangle()
            ->frame(100, 40)
            ->contextMenu([&] {
                Menu m;
                m.items.push_back(MenuItem::button("Quit Compass", [&] { ++chosen; }));
                m.items.push_back(MenuItem::separator());
                Menu pin;
                pin.items.push_back(MenuItem::button("Bar", [] {}));
                m.items.push_back(MenuItem::sub("Pin to", pin));
                return m;
            })
            ->onRightClick([&] { ++rightClicks; });
    });
    host->rightMouseDown({150, 50});
    EXPECT_EQ(rightClicks, 1);
    ASSERT_TRUE(host->lastContextMenu());
    EXPECT_EQ(host->lastContextMenu()->titles(), (std::vector<std::string>{"Quit Compass", "-", "Pin to"}));
    ASSERT_TRUE(host->lastContextMenu()->find({"Pin to", "Bar"}));
    EXPECT_FALSE(host->lastContextMenu()->find({"Pin to", "Dock"}));
    host->lastContextMenu()->find({"Quit Compass"})->action();
    EXPECT_EQ(chosen, 1);
    // Control-click is a right click.
    host->mouseDown({150, 50}, modifierflags::kControl);
    EXPECT_EQ(rightClicks, 2);
}

TEST_F(HostingViewTest, ATextFieldTakesTheFocusOnClickAndReceivesKeys) {
    std::string text;
    bool focused = false;
    int submits = 0, exits = 0;
    show([&] {
        return TextField("Search applications...", {[&] { return text; }, [&](std::string v) { text = v; }},
                         {.focused = {[&] { return focused; }, [&](bool f) { focused = f; }},
                          .onSubmit = [&] { ++submits; },
                          .onExitCommand = [&] { ++exits; }})
            ->frame(200, 22);
    });
    EXPECT_EQ(host->displayList().texts().front()->joinedText(), "Search applications...");
    EXPECT_FALSE(host->keyDown(0, "a"));  // nothing focused yet
    host->mouseDown({150, 50});
    host->mouseUp({150, 50});
    EXPECT_TRUE(focused);
    EXPECT_TRUE(host->keyDown(4, "h"));
    EXPECT_TRUE(host->keyDown(34, "i"));
    EXPECT_TRUE(host->keyDown(49, " "));
    EXPECT_TRUE(host->keyDown(0, "\u00e9"));
    EXPECT_EQ(text, "hi \u00e9");
    EXPECT_TRUE(host->keyDown(keycodes::kDelete));
    EXPECT_EQ(text, "hi ");
    EXPECT_FALSE(host->keyDown(keycodes::kDownArrow));  // arrows are left to others
    EXPECT_FALSE(host->keyDown(8, "c", modifierflags::kCommand));
    EXPECT_TRUE(host->keyDown(keycodes::kReturn));
    EXPECT_TRUE(host->keyDown(keycodes::kEscape));
    EXPECT_EQ(submits, 1);
    EXPECT_EQ(exits, 1);
    rt.runUntilIdle();
    EXPECT_EQ(host->displayList().texts().front()->joinedText(), "hi ");

    // Focus asked for through the binding.
    focused = false;
    host->layoutNow();
    focused = true;
    host->layoutNow();
    EXPECT_FALSE(host->focusedPath().empty());
    EXPECT_TRUE(host->keyDown(0, "x"));
    EXPECT_EQ(text, "hi x");

    text = "hi \U0001F1EB\U0001F1F7";
    host->keyDown(keycodes::kDelete);
    EXPECT_EQ(text, "hi ");  // the whole flag
    // A long text is clipped to the field and shows its end, where the caret stands; after a
    // right-to-left text the caret stands at its left, where it ends.
    text = std::string(80, 'z');
    host->layoutNow();
    ASSERT_FALSE(host->displayList().texts().front()->clips.empty());
    const Rect field = host->displayList().texts().front()->clips.back().rect;
    EXPECT_NEAR(host->displayList().ops.back().frame.maxX(), field.maxX(), 1e-9);
    text = "\u05E9\u05DC\u05D5\u05DD";
    host->layoutNow();
    EXPECT_EQ(host->displayList().ops.back().frame.minX(), field.minX());
}

TEST_F(HostingViewTest, AListSelectsByClickAndArrowsAndReordersByDragging) {
    std::optional<std::string> selection;
    std::vector<std::pair<std::string, size_t>> moves;
    std::vector<std::string> activated;
    auto spec = [&] {
        ListSpec s;
        s.rows.push_back({"header", Text("Pinned"), 20, false, false, nullptr});
        for (const char* id : {"a", "b", "c"}) s.rows.push_back({id, Text(id), 30, true, true, nullptr});
        s.rows.push_back({"d", Text("d"), 30, true, false, nullptr});
        s.selection = {[&] { return selection; }, [&](std::optional<std::string> v) { selection = v; }};
        s.onMove = [&](const std::string& id, size_t to) { moves.emplace_back(id, to); };
        s.onActivate = [&](const std::string& id) { activated.push_back(id); };
        return s;
    };
    show([&] { return List(spec()); }, {200, 140});
    // Rows: header 0-20, a 20-50, b 50-80, c 80-110, d 110-140.
    host->mouseDown({100, 10});
    host->mouseUp({100, 10});
    EXPECT_FALSE(selection);  // the header is not selectable
    host->mouseDown({100, 65});
    host->mouseUp({100, 65});
    EXPECT_EQ(selection, "b");
    EXPECT_TRUE(host->keyDown(keycodes::kDownArrow));
    EXPECT_EQ(selection, "c");
    host->keyDown(keycodes::kDownArrow);
    host->keyDown(keycodes::kDownArrow);  // no wrap past the end
    EXPECT_EQ(selection, "d");
    host->keyDown(keycodes::kUpArrow);
    host->keyDown(keycodes::kUpArrow);
    host->keyDown(keycodes::kUpArrow);
    host->keyDown(keycodes::kUpArrow);  // the header is skipped
    EXPECT_EQ(selection, "a");
    host->keyDown(keycodes::kReturn);
    EXPECT_EQ(activated, (std::vector<std::string>{"a"}));
    rt.runUntilIdle();
    const DrawOp* highlight = nullptr;
    for (const DrawOp& op : host->displayList().ops) {
        if (op.kind == DrawOp::Kind::shape && !highlight) highlight = &op;
    }
    ASSERT_TRUE(highlight);
    EXPECT_EQ(highlight->frame.minY(), 21);  // the selection highlight behind row a

    // Drag a below b's middle: it lands after b.
    host->mouseDown({100, 35});
    host->mouseDragged({100, 50});
    rt.runUntilIdle();
    host->mouseDragged({100, 70});
    host->mouseUp({100, 70});
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0], (std::pair<std::string, size_t>{"a", 2}));  // header, b, a
    // Dropped back in place: nothing moves.
    rt.runUntilIdle();
    host->mouseDown({100, 35});
    host->mouseDragged({100, 40});
    host->mouseUp({100, 40});
    EXPECT_EQ(moves.size(), 1u);
    // Rows that are not movable do not drag.
    host->mouseDown({100, 125});
    host->mouseDragged({100, 60});
    host->mouseUp({100, 60});
    EXPECT_EQ(moves.size(), 1u);
}

TEST_F(HostingViewTest, ARowDragSessionIsValidatedAndAcceptedByTheListUnderThePointer) {
    // Two lists side by side; the left one's rows carry a pasteboard item, both take its type.
    std::vector<std::string> log;
    auto list = [&](const std::string& name, bool source) {
        ListSpec s;
        for (const char* id : {"a", "b", "c"}) {
            ListRow row{.id = id, .content = Text(name + id), .height = 30, .menu = nullptr};
            if (source) row.pasteboard = ListPasteboardItem{"example.item", id};
            row.alpha = std::string(id) == "c" ? 0.5 : 1;
            s.rows.push_back(row);
        }
        s.dropTypes = {"example.item"};
        s.onDragBegin = [&log, name](size_t row) { log.push_back(name + " begin " + std::to_string(row)); };
        s.validateDrop = [&log, name](const ListDragInfo& info) {
            log.push_back(name + " validate " + info.item.value + (info.fromThisList ? " own " : " other ") +
                          std::to_string(int(info.location.y)));
            return info.fromThisList ? DragOperation::move : DragOperation::none;
        };
        s.acceptDrop = [&log, name](const ListDragInfo&) {
            log.push_back(name + " accept");
            return true;
        };
        s.onDragEnd = [&log, name](bool dropped) {
            log.push_back(name + (dropped ? " dropped" : " not dropped"));
        };
        return List(std::move(s))->frame(100, 90);
    };
    show([&] { return HStack(VerticalAlignment::top, 0, {list("L", true), list("R", false)}); }, {200, 90});
    EXPECT_EQ(host->displayList().findText("Lc")->opacity, 0.5);

    host->mouseDown({50, 15});
    host->mouseDragged({50, 17});  // within the threshold: no session yet
    host->mouseDragged({50, 70});
    host->mouseUp({50, 70});
    EXPECT_EQ(log, (std::vector<std::string>{"L begin 0", "L validate a own 70", "L validate a own 70",
                                             "L accept", "L dropped"}));
    log.clear();
    rt.runUntilIdle();
    // Over the other list the drop is refused; released outside both, nobody is asked.
    host->mouseDown({50, 45});
    host->mouseDragged({150, 45});
    host->mouseUp({150, 45});
    host->mouseDown({50, 45});
    host->mouseDragged({50, 200});
    host->mouseUp({50, 200});
    EXPECT_EQ(log, (std::vector<std::string>{"L begin 1", "R validate b other 45", "R validate b other 45",
                                             "L not dropped", "L begin 1", "L not dropped"}));
    // Rows without an item do not drag: a press on the right list is a click.
    log.clear();
    host->mouseDown({150, 15});
    host->mouseDragged({150, 60});
    host->mouseUp({150, 60});
    EXPECT_TRUE(log.empty());
}

TEST(ListNavigationTest, InsertionIndexUsesTheOtherRowsMiddles) {
    std::vector<ListRow> rows(4);
    for (auto& r : rows) r.height = 10;  // middles 5, 15, 25, 35
    EXPECT_EQ(listInsertionIndex(rows, 0, 14), 0u);
    EXPECT_EQ(listInsertionIndex(rows, 0, 15), 1u);  // exactly on a middle does not go before that row
    EXPECT_EQ(listInsertionIndex(rows, 0, 100), 3u);
    EXPECT_EQ(listInsertionIndex(rows, 3, 0), 0u);
    rows[1].selectable = false;
    EXPECT_EQ(nextSelectableRow(rows, 0), 2u);
    EXPECT_EQ(previousSelectableRow(rows, 2), 0u);
    EXPECT_EQ(nextSelectableRow(rows, 3), std::nullopt);
    EXPECT_EQ(previousSelectableRow(rows, std::nullopt), 3u);
}

TEST_F(HostingViewTest, BodiesAreEvaluatedAgainOnceForSeveralPublishedChangesOnTheMainQueue) {
    show([this] { return Text("count " + std::to_string(view->counter.get())); });
    EXPECT_EQ(view->bodies, 1);
    view->counter = 1;
    view->counter = 2;
    view->counter = 3;
    EXPECT_EQ(view->bodies, 1);  // not before the main queue runs
    rt.runUntilIdle();
    EXPECT_EQ(view->bodies, 2);
    EXPECT_TRUE(host->displayList().findText("count 3"));
    // Gone host: a change does nothing.
    std::weak_ptr<HostingView> weak = host;
    host.reset();
    EXPECT_TRUE(weak.expired());
    view->counter = 4;
    rt.runUntilIdle();
    EXPECT_EQ(view->bodies, 2);
}

// A view that tells whether its body would change: changes of what it observes that leave its
// inputs as they were leave the display list alone, unless something else asked for the update too.
TEST_F(HostingViewTest, ChangesThatLeaveAViewsInputsAsTheyWereEvaluateNothing) {
    struct Shown : View {
        Published<int> value{0};
        int bodies = 0, last = -1;
        Shown() { observeInputs(value); }
        bool inputsChanged() override { return value.get() != last; }
        Node body() override {
            ++bodies;
            return Text(std::to_string(last = value.get()));
        }
    };
    auto shown = std::make_shared<Shown>();
    present(shown, {100, 20});
    // The same value, then the same value with an update asked for, then another value.
    for (const auto& [value, forced, bodies] : {std::tuple(0, false, 1), {0, true, 2}, {5, false, 3}}) {
        shown->value = value;
        if (forced) shown->setNeedsUpdate();
        rt.runUntilIdle();
        EXPECT_EQ(shown->bodies, bodies) << value << forced;
    }
    EXPECT_TRUE(list().findText("5"));
}

TEST_F(HostingViewTest, StateAppearanceAndFrameReportsFollowTheTree) {
    std::vector<std::string> events;
    bool showDetail = true;
    show([&] {
        return VStack(HorizontalAlignment::center, 0,
                      {WithState<int>(0,
                                      [](State<int> taps) {
                                          return Text("taps " + std::to_string(taps.get()))
                                              ->frame(100, 20)
                                              ->onTapGesture([taps]() mutable { taps.set(taps.get() + 1); });
                                      }),
                       showDetail ? Text("detail")
                                        ->onAppear([&] { events.push_back("appear"); })
                                        ->onDisappear([&] { events.push_back("disappear"); })
                                        ->onGlobalFrameChange([&](Rect r) {
                                            events.push_back("frame " + std::to_string(int(r.minY())));
                                        })
                                  : EmptyNode()});
    });
    EXPECT_EQ(events, (std::vector<std::string>{"appear", "frame 52"}));
    host->mouseDown({150, 40});
    host->mouseUp({150, 40});
    rt.runUntilIdle();
    EXPECT_TRUE(host->displayList().findText("taps 1"));
    EXPECT_EQ(events.size(), 2u);  // nothing moved
    showDetail = false;
    host->layoutNow();
    EXPECT_EQ(events.back(), "disappear");
    EXPECT_TRUE(host->displayList().findText("taps 1"));  // state survived
    // Back again, it appears and reports its frame anew, though the frame is the one it had.
    showDetail = true;
    host->layoutNow();
    EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
              (std::vector<std::string>{"appear", "frame 52"}));
}

TEST_F(HostingViewTest, AnimationsStartWhenTheirValueChangesAndCompleteOnTheClock) {
    bool dragged = false;
    bool pulse = false;
    show([&] {
        return VStack(
            {Text("chip")->scaleEffect(dragged ? 1.05 : 1)->animation(Animation::easeInOut(0.12), dragged),
             Text("dragged")->animation(std::optional<Animation>{}, dragged),
             Text("pulse")->animation(
                 pulse ? Animation::easeInOut(0.8).repeatingForever(true) : Animation::easeInOut(0.3),
                 pulse)});
    });
    EXPECT_TRUE(host->animations().empty());  // the first evaluation animates nothing
    dragged = true;
    pulse = true;
    host->layoutNow();
    auto active = host->activeAnimations();
    ASSERT_EQ(active.size(), 2u);  // no descriptor for the one without animation
    EXPECT_EQ(active[0].animation.duration, 0.12);
    EXPECT_EQ(active[0].fromValue, "0");
    EXPECT_EQ(active[0].toValue, "1");
    EXPECT_TRUE(active[1].animation.repeatForever);
    EXPECT_TRUE(active[1].animation.autoreverses);
    rt.advance(0.11);
    EXPECT_EQ(host->activeAnimations().size(), 2u);
    rt.advance(0.01);
    ASSERT_EQ(host->activeAnimations().size(), 1u);
    EXPECT_TRUE(host->activeAnimations()[0].animation.repeatForever);
    rt.advance(100);
    EXPECT_EQ(host->activeAnimations().size(), 1u);  // repeats until its value changes
    pulse = false;
    host->layoutNow();
    ASSERT_EQ(host->activeAnimations().size(), 1u);  // the new change replaces the running one
    EXPECT_FALSE(host->activeAnimations()[0].animation.repeatForever);
    rt.advance(0.3);
    EXPECT_TRUE(host->activeAnimations().empty());
}

TEST_F(HostingViewTest, ScrollingMovesOnlyScrollableContentWithinItsRange) {
    std::vector<Node> items;
    for (int i = 0; i < 6; ++i) items.push_back(Rectangle()->frame(50, 20)->help("i" + std::to_string(i)));
    Node content = HStack(VerticalAlignment::center, 0, std::move(items));
    show([&] { return ScrollView(Axis::horizontal, content, {.showsIndicators = false}); }, {100, 20});
    EXPECT_TRUE(host->scrollWheel({50, 10}, 0, -30));  // a plain wheel scrolls a horizontal view
    rt.runUntilIdle();
    EXPECT_EQ(regionWithHelp(host->displayList(), "i0").frame.minX(), -30);
    host->scrollWheel({50, 10}, -1000, 0);
    rt.runUntilIdle();
    EXPECT_EQ(regionWithHelp(host->displayList(), "i5").frame.maxX(), 100);  // clamped at the end
    show([&] { return ScrollView(Axis::horizontal, content, {.disabled = true}); }, {100, 20});
    EXPECT_FALSE(host->scrollWheel({50, 10}, -10, 0));
}

TEST(HostingViewStateTest, AHoveredNodeThatGoesAwayLeavesWithItsStateStillThere) {
    ManualRuntime rt;
    bool shown = true;
    std::vector<std::string> seen;
    auto host = std::make_shared<HostingView>(
        rt, std::make_shared<ClosureView>([&] {
            if (!shown) return EmptyNode();
            return WithState<std::string>("idle", [&](State<std::string> s) {
                return Rectangle()->frame(50, 20)->onHover([s, &seen](bool on) mutable {
                    s.set(on ? "hovered by the pointer" : "left by the pointer");
                    seen.push_back(s.get());
                });
            });
        }));
    host->setFrameSize({100, 20});
    host->layoutNow();
    host->mouseMoved({50, 10});
    shown = false;
    host->layoutNow();
    EXPECT_EQ(seen, (std::vector<std::string>{"hovered by the pointer", "left by the pointer"}));
}

}  // namespace
}  // namespace qv
