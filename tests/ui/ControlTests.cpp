#include <gtest/gtest.h>

#include "support/HostedView.h"

namespace qv {
namespace {

// A view over a small model, as the settings and pop-ups use controls: the controls write the
// model through their bindings and the view follows its published values.
class ControlsView : public View {
  public:
    Published<bool> on{false};
    Published<std::string> mode{"week"};
    Published<bool> disabled{false};
    Published<std::string> query{""};
    std::function<Node(ControlsView&)> build;
    int writes = 0;

    ControlsView() {
        observe(on);
        observe(mode);
        observe(disabled);
        observe(query);
    }
    Node body() override { return build(*this); }
    Binding<bool> onBinding() {
        return {[this] { return *on; },
                [this](bool v) {
                    ++writes;
                    on = v;
                }};
    }
    Binding<std::string> modeBinding() {
        return {[this] { return *mode; },
                [this](std::string v) {
                    ++writes;
                    mode = std::move(v);
                }};
    }
    Binding<std::string> queryBinding() {
        return {[this] { return *query; }, [this](std::string v) { query = std::move(v); }};
    }
};

class ControlTest : public testing::HostedView {
  protected:
    std::shared_ptr<ControlsView> view = std::make_shared<ControlsView>();

    void show(std::function<Node(ControlsView&)> build, Size size) {
        view->build = std::move(build);
        present(view, size);
    }
    void click(Point p) {
        HostedView::click(p);
        rt.runUntilIdle();
    }
    // The first shape op of a kind, drawn as a plain shape (not a shadow).
    const DrawOp* shape(ShapeKind kind) const {
        for (const DrawOp& op : list().ops) {
            if (op.kind == DrawOp::Kind::shape && op.shape.kind == kind) return &op;
        }
        return nullptr;
    }
    const DrawOp* shadowOf(ShapeKind kind) const {
        for (const DrawOp& op : list().ops) {
            if (op.kind == DrawOp::Kind::shadow && op.shape.kind == kind) return &op;
        }
        return nullptr;
    }
};

Point centre(const Rect& r) {
    return {r.midX(), r.midY()};
}

// --- Toggle ---

TEST_F(ControlTest, AToggleFlipsItsValueOnClickAndItsKnobFollows) {
    show([](ControlsView& v) { return Toggle(v.onBinding()); }, {100, 40});
    const DrawOp* track = shape(ShapeKind::capsule);
    const DrawOp* knob = shape(ShapeKind::circle);
    ASSERT_TRUE(track && knob);
    EXPECT_EQ(track->frame, (Rect{31, 9, 38, 22}));
    EXPECT_EQ(knob->frame, (Rect{33, 11, 18, 18}));  // off: at the leading end
    EXPECT_LT(track->fill->color.a, 0.2);            // a faint track
    EXPECT_EQ(knob->fill->color, (RGBA{1, 1, 1, 1}));
    // The knob casts a small round shadow, drawn beneath it.
    const DrawOp* shadow = shadowOf(ShapeKind::circle);
    ASSERT_TRUE(shadow);
    EXPECT_LT(shadow, knob);
    EXPECT_EQ(shadow->frame, knob->frame.offsetBy(0, 0.5));

    click(centre(track->frame));
    EXPECT_TRUE(*view->on);
    track = shape(ShapeKind::capsule);
    knob = shape(ShapeKind::circle);
    EXPECT_EQ(knob->frame, (Rect{49, 11, 18, 18}));  // on: at the trailing end
    EXPECT_EQ(track->fill->color, Color::accent().resolve(ColorScheme::light));
    click({33, 12});  // the track's corner still belongs to the control
    EXPECT_FALSE(*view->on);
    EXPECT_EQ(view->writes, 2);
    click({10, 20});  // beside it
    EXPECT_EQ(view->writes, 2);
}

TEST_F(ControlTest, ALabelledToggleTakesClicksOnItsLabelAndSmallTogglesAreSmaller) {
    show([](ControlsView& v) { return Toggle(v.onBinding(), "Show badges", ControlSize::small); }, {260, 30});
    const DrawOp* label = list().findText("Show badges");
    const DrawOp* track = shape(ShapeKind::capsule);
    ASSERT_TRUE(label && track);
    EXPECT_EQ(track->frame.size, (Size{32, 18}));
    EXPECT_EQ(shape(ShapeKind::circle)->frame.size, (Size{14, 14}));
    EXPECT_EQ(track->frame.maxX(), 260);  // the switch stands at the trailing edge
    EXPECT_LT(label->frame.maxX(), track->frame.minX());
    click(centre(label->frame));
    EXPECT_TRUE(*view->on);
    click({150, 15});  // the space between label and switch
    EXPECT_FALSE(*view->on);
    click({150, 2});  // above the control
    EXPECT_FALSE(*view->on);
    EXPECT_EQ(view->writes, 2);
}

TEST_F(ControlTest, TogglesWithoutASetterShowTheirValueAndIgnoreClicks) {
    show(
        [](ControlsView&) {
            return HStack(VerticalAlignment::center, 10,
                          {Toggle(Binding<bool>::constant(true)), Toggle(Binding<bool>{})});
        },
        {120, 30});
    auto knobs = [&] {
        std::vector<Rect> out;
        for (const DrawOp& op : list().ops) {
            if (op.kind == DrawOp::Kind::shape && op.shape.kind == ShapeKind::circle) out.push_back(op.frame);
        }
        return out;
    };
    auto before = knobs();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].minX(), 17 + 38 - 2 - 18);  // the constant one is on
    EXPECT_EQ(before[1].minX(), 17 + 38 + 10 + 2);  // the unbound one is off
    click(centre(before[0]));
    click(centre(before[1]));
    host->layoutNow();
    EXPECT_EQ(knobs(), before);
}

TEST_F(ControlTest, DisabledTogglesIgnoreClicksWhereverTheDisablingComesFrom) {
    show(
        [](ControlsView& v) {
            Node own = Toggle(v.onBinding())->disabled(*v.disabled);
            auto nested = std::make_shared<ClosureView>([&v] { return Toggle(v.onBinding()); });
            return VStack(
                HorizontalAlignment::center, 4,
                {own, VStack({ViewNode(nested)})->disabled(true), Toggle(v.onBinding())->disabled(false)});
        },
        {100, 80});
    std::vector<Rect> tracks;
    for (const DrawOp& op : list().ops) {
        if (op.kind == DrawOp::Kind::shape && op.shape.kind == ShapeKind::capsule) tracks.push_back(op.frame);
    }
    ASSERT_EQ(tracks.size(), 3u);
    click(centre(tracks[1]));  // disabled by an ancestor of the view that holds it
    EXPECT_EQ(view->writes, 0);
    click(centre(tracks[2]));  // explicitly enabled
    EXPECT_EQ(view->writes, 1);
    click(centre(tracks[0]));
    EXPECT_EQ(view->writes, 2);
    view->disabled = true;
    rt.runUntilIdle();
    click(centre(tracks[0]));
    EXPECT_EQ(view->writes, 2);
    view->disabled = false;
    rt.runUntilIdle();
    click(centre(tracks[0]));
    EXPECT_EQ(view->writes, 3);
}

// --- Segmented picker ---

std::vector<PickerOption> periods() {
    return {{"day", "Day"}, {"week", "Week"}, {"month", "Month"}};
}

TEST_F(ControlTest, APickersSegmentsAreEquallyWideInOrderWithTheSelectedOneRaised) {
    show([](ControlsView& v) { return SegmentedPicker(periods(), v.modeBinding()); }, {300, 40});
    const DrawOp* day = list().findText("Day");
    const DrawOp* week = list().findText("Week");
    const DrawOp* month = list().findText("Month");
    ASSERT_TRUE(day && week && month);
    EXPECT_LT(day->frame.maxX(), week->frame.minX());
    EXPECT_LT(week->frame.maxX(), month->frame.minX());
    // Each label is centred in a segment as wide as the widest label and its margins.
    double segment = std::ceil(textmetrics::width("Month", Font::system(13))) + 16;
    EXPECT_NEAR(week->frame.midX() - day->frame.midX(), segment + 1, 1e-9);
    EXPECT_NEAR(month->frame.midX() - week->frame.midX(), segment + 1, 1e-9);
    // One raised background, under the selected segment, with its shadow.
    std::vector<const DrawOp*> raised;
    for (const DrawOp& op : list().ops) {
        if (op.kind == DrawOp::Kind::shape && op.shape == Shape::roundedRect(4)) raised.push_back(&op);
    }
    ASSERT_EQ(raised.size(), 1u);
    EXPECT_NEAR(raised[0]->frame.midX(), week->frame.midX(), 1e-9);
    EXPECT_EQ(raised[0]->frame.size, (Size{segment, 22}));
    EXPECT_EQ(raised[0]->fill->color, Color::controlBackground().resolve(ColorScheme::light));
    ASSERT_TRUE(shadowOf(ShapeKind::roundedRectangle));
    EXPECT_EQ(shadowOf(ShapeKind::roundedRectangle)->frame, raised[0]->frame.offsetBy(0, 0.5));
    // The whole picker sits on a faint rounded plate one point larger all round.
    const DrawOp* plate = &list().ops.front();
    EXPECT_EQ(plate->shape, Shape::roundedRect(5));
    EXPECT_EQ(plate->frame.width(), 3 * segment + 2 + 2);
    EXPECT_EQ(plate->frame.height(), 24);
}

TEST_F(ControlTest, ClickingASegmentSelectsItsTagAndTheHighlightMoves) {
    show([](ControlsView& v) { return SegmentedPicker(periods(), v.modeBinding()); }, {300, 40});
    click(centre(list().findText("Month")->frame));
    EXPECT_EQ(*view->mode, "month");
    auto raisedX = [&] {
        for (const DrawOp& op : list().ops) {
            if (op.kind == DrawOp::Kind::shape && op.shape == Shape::roundedRect(4)) return op.frame.midX();
        }
        return -1.0;
    };
    EXPECT_NEAR(raisedX(), list().findText("Month")->frame.midX(), 1e-9);
    // The segment's whole cell takes the click, not only its label.
    const Rect day = list().findText("Day")->frame;
    const Rect week = list().findText("Week")->frame;
    click({day.minX() - 5, day.midY()});
    EXPECT_EQ(*view->mode, "day");
    // The one-point gap between two segments belongs to neither.
    double gap = (day.midX() + week.midX()) / 2;
    int before = view->writes;
    click({gap, day.midY()});
    EXPECT_EQ(view->writes, before);
}

TEST_F(ControlTest, AnUnknownSelectionHighlightsNothingAndSmallPickersUseTheSmallFont) {
    view->mode = "year";
    show([](ControlsView& v) { return SegmentedPicker(periods(), v.modeBinding(), ControlSize::small); },
         {300, 40});
    for (const DrawOp& op : list().ops) EXPECT_NE(op.shape, Shape::roundedRect(4));
    EXPECT_EQ(list().findText("Week")->font.size, 11);
    EXPECT_EQ(list().ops.front().frame.height(), 20);  // 18-point segments on the plate
    click(centre(list().findText("Week")->frame));
    EXPECT_EQ(*view->mode, "week");
}

TEST_F(ControlTest, ADisabledPickerKeepsItsSelection) {
    show([](ControlsView& v) { return SegmentedPicker(periods(), v.modeBinding())->disabled(*v.disabled); },
         {300, 40});
    view->disabled = true;
    rt.runUntilIdle();
    click(centre(list().findText("Day")->frame));
    EXPECT_EQ(*view->mode, "week");
    EXPECT_EQ(view->writes, 0);
    view->disabled = false;
    rt.runUntilIdle();
    click(centre(list().findText("Day")->frame));
    EXPECT_EQ(*view->mode, "day");
}

// --- Keyboard ---

TEST_F(ControlTest, ClickingAToggleOrAPickerLeavesTheKeyboardFocusWhereItWas) {
    show(
        [](ControlsView& v) {
            return VStack(HorizontalAlignment::leading, 6,
                          {TextField("Search", v.queryBinding())->frame(200, 20), Toggle(v.onBinding()),
                           SegmentedPicker(periods(), v.modeBinding())});
        },
        {300, 100});
    const DrawOp* placeholder = list().findText("Search");
    ASSERT_TRUE(placeholder);
    click(centre(placeholder->frame));
    std::string field = host->focusedPath();
    ASSERT_FALSE(field.empty());
    EXPECT_TRUE(host->keyDown(0, "a"));
    click(centre(shape(ShapeKind::capsule)->frame));
    click(centre(list().findText("Month")->frame));
    EXPECT_TRUE(*view->on);
    EXPECT_EQ(*view->mode, "month");
    EXPECT_EQ(host->focusedPath(), field);
    EXPECT_TRUE(host->keyDown(11, "b"));
    EXPECT_EQ(*view->query, "ab");
    // Neither control answers keys of its own: a space does not flip the switch.
    EXPECT_TRUE(host->keyDown(49, " "));
    EXPECT_TRUE(*view->on);
    EXPECT_EQ(*view->query, "ab ");
}

TEST_F(ControlTest, AFocusedFieldThatBecomesDisabledStopsTakingKeys) {
    show(
        [](ControlsView& v) {
            return TextField("Name", v.queryBinding())->frame(200, 20)->disabled(*v.disabled);
        },
        {200, 20});
    click({100, 10});
    ASSERT_TRUE(host->keyDown(0, "a"));
    rt.runUntilIdle();
    view->disabled = true;
    rt.runUntilIdle();
    EXPECT_FALSE(host->keyDown(11, "b"));
    EXPECT_FALSE(host->keyDown(keycodes::kDelete));
    EXPECT_EQ(*view->query, "a");
    EXPECT_EQ(host->focusedPath(), "");
    click({100, 10});  // nor does a click give it the focus while disabled
    EXPECT_FALSE(host->keyDown(11, "b"));
    view->disabled = false;
    rt.runUntilIdle();
    click({100, 10});
    EXPECT_TRUE(host->keyDown(11, "b"));
    EXPECT_EQ(*view->query, "ab");
}

TEST_F(ControlTest, ADisabledListIgnoresArrowKeys) {
    std::optional<std::string> selected;
    show(
        [&selected](ControlsView& v) {
            ListSpec spec;
            for (const char* id : {"one", "two", "three"})
                spec.rows.push_back({.id = id, .content = Text(id), .height = 20, .menu = nullptr});
            spec.selection = {[&selected] { return selected; },
                              [&selected](std::optional<std::string> s) { selected = s; }};
            return List(std::move(spec))->frame(100, 60)->disabled(*v.disabled);
        },
        {100, 60});
    click({50, 10});
    EXPECT_EQ(selected, "one");
    EXPECT_TRUE(host->keyDown(keycodes::kDownArrow));
    EXPECT_EQ(selected, "two");
    view->disabled = true;
    rt.runUntilIdle();
    EXPECT_FALSE(host->keyDown(keycodes::kDownArrow));
    EXPECT_EQ(selected, "two");
}

}  // namespace
}  // namespace qv
