#include <gtest/gtest.h>

#include "dispatch/ManualRuntime.h"
#include "ui/HostingView.h"

namespace qv {
namespace {

// A view object with a member of its own, which no memo around it sees.
class Label : public View {
  public:
    std::string text = "one";
    Node body() override { return Text(text); }
};

struct Width {
    double value;
    bool operator==(const Width&) const = default;
};

struct LabelRef {
    std::shared_ptr<Label> label;
    bool operator==(const LabelRef&) const = default;
};

// A button counting its clicks, in a state of its own.
Node counter(const Width& w) {
    return WithState<int>(0, [w](State<int> count) {
        return Text(std::to_string(count.get()))->frame(w.value, 10)->onTapGesture([count]() mutable {
            count.set(count.get() + 1);
        });
    });
}

// A clipped bar, a memo inside a memo, a counter and a view object, each given a fixed proposal:
// the rules under which reusing what the last layout made of a memo is exact.
struct Parts {
    std::shared_ptr<Label> label = std::make_shared<Label>();
    double lead = 10;

    Node body() const {
        Node clipped = Memo(
            Width{30}, +[](const Width& w) {
                return Rectangle()->frame(w.value, 10)->clipShape(Shape::roundedRect(3));
            });
        Node outer = Memo(
            Width{0}, +[](const Width&) {
                return HStack({Memo(Width{20}, &counter), Rectangle()->frame(5, 5)});
            });
        Node labelled = Memo(
            LabelRef{label}, +[](const LabelRef& l) { return ViewNode(l.label); });
        return HStack(VerticalAlignment::center, 4,
                      {Rectangle()->frame(lead, 10), clipped->frame(30, 10), outer->frame(40, 10),
                       Memo(Width{20}, &counter)->frame(20, 10), labelled->frame(40, 10)});
    }
};

std::string describe(const DisplayList& list) {
    std::string out;
    for (const DrawOp& op : list.ops)
        out += op.path + " " + std::to_string(op.frame.minX()) + " " + op.joinedText() + "\n";
    for (const HitRegion& r : list.regions) out += r.path + " " + std::to_string(r.frame.minX()) + "\n";
    return out;
}

TEST(MemoTest, AReusedSubtreeShowsWhatBuildingItAgainShows) {
    ManualRuntime rt;
    Parts parts;
    auto show = [&](bool reuses) {
        auto host =
            std::make_shared<HostingView>(rt, std::make_shared<ClosureView>([&] { return parts.body(); }));
        host->setReusesSubtrees(reuses);
        host->setFrameSize({300, 20});
        return host;
    };
    auto reusing = show(true), full = show(false);
    rt.runUntilIdle();
    auto tap = [&](const std::string& text) {
        for (auto* host : {reusing.get(), full.get()}) {
            const Rect frame = host->displayList().findText(text)->frame;
            host->mouseDown({frame.midX(), frame.midY()});
            host->mouseUp({frame.midX(), frame.midY()});
        }
    };
    auto relayout = [&] {
        reusing->setNeedsUpdate();
        full->setNeedsUpdate();
        rt.runUntilIdle();
        EXPECT_EQ(describe(reusing->displayList()), describe(full->displayList()));
    };
    // Moved: the memos take their last steps over, the clipped one is built where it now stands.
    parts.lead = 37.3;
    relayout();
    EXPECT_GE(reusing->reusedSubtreeCount(), 2u);
    const DrawOp& clipped = reusing->displayList().ops[1];
    ASSERT_EQ(clipped.clips.size(), 1u);
    EXPECT_EQ(clipped.clips[0].rect, clipped.frame);
    // A state inside a memo, and one inside a memo inside it, build theirs again.
    tap("0");
    relayout();
    tap("0");
    relayout();
    EXPECT_TRUE(reusing->displayList().findText("1"));
    EXPECT_FALSE(reusing->displayList().findText("0"));
    // A view object's own state is read on every evaluation.
    parts.label->text = "two";
    relayout();
    EXPECT_TRUE(reusing->displayList().findText("two"));
    // A full update, as for a host shown afresh, builds every memo again to the same list.
    reusing->setNeedsFullUpdate();
    full->setNeedsUpdate();
    rt.runUntilIdle();
    EXPECT_EQ(reusing->reusedSubtreeCount(), 0u);
    EXPECT_EQ(describe(reusing->displayList()), describe(full->displayList()));
}

}  // namespace
}  // namespace qv
