#include <gtest/gtest.h>

#include <random>

#include "bar_views/BarContentView.h"
#include "model/BarViewModelFixture.h"
#include "model/PinStore.h"

namespace qv {
namespace {

bool samePaint(const std::optional<ResolvedPaint>& a, const std::optional<ResolvedPaint>& b) {
    if (!a || !b) return !a && !b;
    return a->isGradient == b->isGradient && a->color == b->color && a->stops == b->stops &&
           a->start == b->start && a->end == b->end;
}

bool sameClips(const ClipList& a, const ClipList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!(a[i].rect == b[i].rect) || !(a[i].shape == b[i].shape)) return false;
    }
    return true;
}

bool sameOp(const DrawOp& a, const DrawOp& b) {
    return a.kind == b.kind && a.frame == b.frame && a.path == b.path && a.opacity == b.opacity &&
           a.rotation == b.rotation && sameClips(a.clips, b.clips) && a.shape == b.shape &&
           samePaint(a.fill, b.fill) && samePaint(a.stroke, b.stroke) && a.lineWidth == b.lineWidth &&
           a.strokeInside == b.strokeInside && a.lines == b.lines && a.font == b.font && a.color == b.color &&
           a.tracking == b.tracking && a.lineHeight == b.lineHeight && a.truncated == b.truncated &&
           a.imageKind == b.imageKind && a.imageName == b.imageName && a.bitmap == b.bitmap &&
           a.material == b.material && a.blending == b.blending && a.scheme == b.scheme && a.blur == b.blur;
}

// A menu as its user sees it: titles, states, symbols and submenus.
std::string describe(const Menu& menu) {
    std::string out = "[";
    for (const MenuItem& item : menu.items) {
        out += item.title + "|" + std::to_string(int(item.state)) + std::to_string(item.enabled) +
               std::to_string(item.destructive) + item.symbolName + (item.action ? "*" : "") +
               (item.submenu ? describe(*item.submenu) : "") + ";";
    }
    return out + "]";
}

bool sameRegion(const HitRegion& a, const HitRegion& b) {
    return a.frame == b.frame && a.shape == b.shape && sameClips(a.clips, b.clips) && a.path == b.path &&
           a.enabled == b.enabled && !a.onTap == !b.onTap && a.tapCount == b.tapCount &&
           !a.onRightClick == !b.onRightClick && !a.contextMenu == !b.contextMenu &&
           !a.onHover == !b.onHover && !a.drag == !b.drag && a.highPriorityDrag == b.highPriorityDrag &&
           a.scrollPath == b.scrollPath && a.help == b.help && a.accessibilityLabel == b.accessibilityLabel &&
           a.accessibilityButton == b.accessibilityButton && a.focusable == b.focusable &&
           a.blocksOnly == b.blocksOnly && a.cursor == b.cursor;
}

// Two bars on the same models, one reusing what its last evaluation made of every chip, one
// evaluating everything anew each time, driven through a long random sequence of changes; eight
// sequences of 1,250 steps, which run side by side.
class BarReuseTest : public BarModelTest, public ::testing::WithParamInterface<unsigned> {
  protected:
    static constexpr int kSteps = 1250;
    std::mt19937 rng{GetParam()};
    std::shared_ptr<PinStore> pins;
    struct Bar {
        std::shared_ptr<BarContentView> view;
        std::shared_ptr<HostingView> host;
    };
    Bar reusing, full;
    int32_t notes = sim.launchApp(kNotes, "Notes");
    uint32_t nextWindow = 5000;

    void SetUp() override {
        for (int32_t pid : {editor, editor, mail}) open(pid, "Window", m1);
        start();
        pins = std::make_shared<PinStore>(*settings);
        reusing = makeBar();
        full = makeBar();
        full.host->setReusesSubtrees(false);
        rt.runUntilIdle();
    }
    Bar makeBar() {
        auto view = std::make_shared<BarContentView>(sim.platform());
        view->viewModel = model;
        view->pinStore = pins;
        view->settings = settings;
        view->spaceID = m1;
        view->metrics = BarMetrics::forSize(BarSize::medium);
        auto host = std::make_shared<HostingView>(rt, view);
        host->setFrameSize({1440, 36});
        return {view, host};
    }
    size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); }
    bool coin() { return pick(2) == 0; }
    template <class T>
    const T& any(const std::vector<T>& from) {
        return from[pick(from.size())];
    }
    uint32_t anyWindow() {
        auto it = std::next(store->windows.begin(), long(pick(store->windows.size())));
        return it->first;
    }

    // One change of the models, or of what the bars are shown with.
    void change() {
        const std::vector<std::string> apps = {kEditor, kMail, kNotes, "com.example.pinned"};
        // Most changes are of one chip; a drag goes on, or ends, at every other step.
        static const std::vector<int> kinds = {0, 0, 0, 0, 1, 1, 1, 2, 2,  3,  3,  3,  4,
                                               4, 5, 5, 6, 6, 7, 8, 9, 10, 11, 11, 12, 12};
        switch (reusing.view->draggedChipID && coin() ? 12 : any(kinds)) {
            case 0:
                store->windows.at(anyWindow()).windowTitle = any<std::string>(
                    {"", "Draft", "Inbox (3)", "A title far too long to stand in a chip whole"});
                store->onChange();
                break;
            case 1:
                badges->badgesByBundleID =
                    std::map<std::string, std::string>{{any(apps), any<std::string>({"1", "12", "999+"})}};
                break;
            case 2:
                badges->attentionByBundleID =
                    coin() ? std::set<std::string>{} : std::set<std::string>{any(apps)};
                break;
            case 3:
                store->focusedWindowID = coin() ? std::optional<uint32_t>() : anyWindow();
                store->onChange();
                break;
            case 4:
                pins->setPin(any(apps), PinDestination::bar(), coin());
                break;
            case 5: {
                if (store->windows.size() > 4) break;
                TrackedWindow w = store->windows.at(anyWindow());
                w.windowID = ++nextWindow;
                w.windowTitle = "Opened " + std::to_string(w.windowID);
                store->windows[w.windowID] = w;
                store->onChange();
                break;
            }
            case 6:
                if (store->windows.size() < 2) break;
                store->windows.erase(anyWindow());
                store->onChange();
                break;
            case 7: {
                const BarSize size = any(std::vector<BarSize>(kAllBarSizes.begin(), kAllBarSizes.end()));
                const double width = coin() ? 1440 : 900;
                for (Bar* bar : {&reusing, &full}) {
                    bar->view->metrics = BarMetrics::forSize(size);
                    bar->host->setFrameSize({width, barHeight(size)});
                }
                break;
            }
            case 8: {
                const auto appearance = coin() ? Appearance::aqua : Appearance::darkAqua;
                for (Bar* bar : {&reusing, &full}) bar->host->setAppearance(appearance);
                settings->setTheme(any(std::vector<BarTheme>(kAllBarThemes.begin(), kAllBarThemes.end())));
                break;
            }
            case 9:
                settings->setGroupWindowsByApp(coin());
                break;
            case 10:
                coin() ? settings->setShowChipTitles(coin()) : settings->setShowWindowNamesInChips(coin());
                break;
            case 11: {
                TrackedWindow& w = store->windows.at(anyWindow());
                w.isMinimized = !w.isMinimized;
                store->onChange();
                break;
            }
            case 12: {
                // A chip dragged along the row, and let go.
                const auto& ids = reusing.view->shownInputs().visibleChipIDs;
                if (ids.empty()) break;
                const std::string id = reusing.view->draggedChipID.value_or(any(ids));
                const double dx = double(pick(400)) - 200;
                const DragValue v{{50, 15}, {50 + dx, 15}, {dx, 0}};
                const bool end = reusing.view->draggedChipID && coin();
                for (Bar* bar : {&reusing, &full})
                    end ? bar->view->chipDragEnded(id, v) : bar->view->chipDragChanged(id, v);
                break;
            }
        }
    }

    // The first difference between the two bars, or nothing; with `menus`, their menus as well.
    std::string difference(bool menus) const {
        const DisplayList& a = reusing.host->displayList();
        const DisplayList& b = full.host->displayList();
        if (a.ops.size() != b.ops.size()) return "step count " + std::to_string(a.ops.size());
        for (size_t i = 0; i < a.ops.size(); ++i) {
            if (!sameOp(a.ops[i], b.ops[i])) return "step " + std::to_string(i) + " at " + a.ops[i].path;
        }
        if (a.regions.size() != b.regions.size()) return "region count " + std::to_string(a.regions.size());
        for (size_t i = 0; i < a.regions.size(); ++i) {
            if (!sameRegion(a.regions[i], b.regions[i]))
                return "region " + std::to_string(i) + " at " + a.regions[i].path;
            if (menus && a.regions[i].contextMenu &&
                describe(a.regions[i].contextMenu()) != describe(b.regions[i].contextMenu()))
                return "menu at " + a.regions[i].path;
        }
        if (reusing.view->chipFrames != full.view->chipFrames) return "reported chip frames";
        if (reusing.view->pinnedChipFrames != full.view->pinnedChipFrames) return "reported pinned frames";
        const auto& x = reusing.host->animations();
        const auto& y = full.host->animations();
        if (x.size() != y.size()) return "animation count " + std::to_string(x.size());
        for (size_t i = 0; i < x.size(); ++i) {
            if (x[i].target != y[i].target || x[i].fromValue != y[i].fromValue ||
                x[i].toValue != y[i].toValue || x[i].startTime != y[i].startTime ||
                x[i].completed != y[i].completed)
                return "animation of " + x[i].target;
        }
        return {};
    }
};

TEST_P(BarReuseTest, EveryStepShowsWhatAFullEvaluationOfTheSameStateShows) {
    size_t reused = 0;
    for (int step = 0; step < kSteps; ++step) {
        const int evaluations = reusing.host->evaluationCount();
        change();
        // The other bar evaluates, all of it, whatever the change.
        full.host->setNeedsUpdate();
        rt.runUntilIdle();
        if (reusing.host->evaluationCount() > evaluations) reused += reusing.host->reusedSubtreeCount();
        // Building the menus costs more than the rest: every fourth step.
        ASSERT_EQ(difference(step % 4 == 0), "")
            << "after step " << step << " of the sequence of seed " << GetParam();
    }
    // Most steps change a chip or two, or nothing of the bar at all.
    EXPECT_GT(reused, size_t(kSteps));
    EXPECT_LT(reusing.host->evaluationCount(), full.host->evaluationCount());
}

INSTANTIATE_TEST_SUITE_P(Seeds, BarReuseTest, ::testing::Values(33u, 34u, 35u, 36u, 37u, 38u, 39u, 40u));

}  // namespace
}  // namespace qv
