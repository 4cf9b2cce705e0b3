#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

#include "bar_views/BarContentView.h"
#include "model/BarViewModelFixture.h"
#include "model/PinStore.h"
#include "support/WindowStoreProbe.h"

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

// The fields without an equality of their own, compared as the drawing reads them.
struct Clips {
    const ClipList& clips;
    bool operator==(const Clips& o) const { return sameClips(clips, o.clips); }
};
struct PaintOf {
    const std::optional<ResolvedPaint>& paint;
    bool operator==(const PaintOf& o) const { return samePaint(paint, o.paint); }
};

// Every field of a step and of a region, so that a field added to them fails to compile here until
// it is compared; handlers by whether they are there.
auto fields(const DrawOp& op) {
    const auto& [kind, frame, path, opacity, rotation, clips, shape, fill, stroke, lineWidth, strokeInside,
                 lines, font, color, tracking, lineHeight, truncated, imageKind, imageName, bitmap, material,
                 blending, scheme, blur] = op;
    return std::tuple(std::tie(kind, frame, path, opacity, rotation, shape, lineWidth, strokeInside, lines,
                               font, color, tracking, lineHeight, truncated, imageKind, imageName, bitmap,
                               material, blending, scheme, blur),
                      Clips{clips}, PaintOf{fill}, PaintOf{stroke});
}
auto fields(const HitRegion& r) {
    const auto& [frame, shape, clips, path, enabled, onTap, tapCount, onRightClick, contextMenu, onHover,
                 drag, highPriorityDrag, scrollPath, scrollAxis, help, accessibilityLabel,
                 accessibilityButton, focusable, keyHandler, onFocusChange, text, blocksOnly, cursor,
                 dropTarget] = r;
    return std::tuple(
        std::tie(frame, shape, path, enabled, tapCount, highPriorityDrag, scrollPath, scrollAxis, help,
                 accessibilityLabel, accessibilityButton, focusable, blocksOnly, cursor),
        Clips{clips}, bool(onTap), bool(onRightClick), bool(contextMenu), bool(onHover), bool(drag),
        bool(keyHandler), bool(onFocusChange), bool(text), bool(dropTarget));
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

// Two bars on the same models, one reusing what its last evaluation made of every chip, one
// evaluating everything anew each time, driven through a long random sequence of changes; eight
// sequences of 1,000 steps, which run side by side.
class BarReuseTest : public BarModelTest, public ::testing::WithParamInterface<unsigned> {
  protected:
    static constexpr int kSteps = 1000;
    std::mt19937 rng{GetParam()};
    std::shared_ptr<PinStore> pins;
    struct Bar {
        std::shared_ptr<BarContentView> view;
        std::shared_ptr<HostingView> host;
    };
    Bar reusing, full;
    int32_t notes = sim.launchApp(kNotes, "Notes");
    uint32_t nextWindow = 5000;
    size_t scrolls = 0;  // wheel turns that scrolled the row

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
        auto it = std::next(store->windows().begin(), long(pick(store->windows().size())));
        return it->first;
    }

    // One change of the models, of what the bars are shown with or of the pointer over them; the
    // window it changes when it changes one window alone.
    std::optional<uint32_t> change() {
        const std::vector<std::string> apps = {kEditor, kMail, kNotes, "com.example.pinned"};
        // Most changes are of one chip; a drag goes on, or ends, at every other step.
        static const std::vector<int> kinds = {0, 0, 0, 0, 1, 1,  1,  2,  2,  3,  3,  3,  4,  4,  5,  5,
                                               6, 6, 7, 8, 9, 10, 11, 11, 12, 12, 13, 13, 14, 15, 15, 16};
        const DisplayList& shown = reusing.host->displayList();
        int kind = any(kinds);
        if (reusing.view->draggedChipID && coin()) kind = 12;
        if (reusing.view->draggedPinnedBundleID && coin()) kind = 14;
        switch (kind) {
            case 0: {
                const uint32_t window = anyWindow();
                WindowStoreProbe::windows(*store).at(window).windowTitle = any<std::string>(
                    {"", "Draft", "Inbox (3)", "A title far too long to stand in a chip whole"});
                store->onChange();
                return window;
            }
            case 1:
                badges->badgesByBundleID =
                    std::map<std::string, std::string>{{any(apps), any<std::string>({"1", "12", "999+"})}};
                break;
            case 2:
                badges->attentionByBundleID =
                    coin() ? std::set<std::string>{} : std::set<std::string>{any(apps)};
                break;
            case 3:
                WindowStoreProbe::focusedWindowID(*store) = coin() ? std::optional<uint32_t>() : anyWindow();
                store->onChange();
                break;
            case 4:
                pins->setPin(any(apps), PinDestination::bar(), coin());
                break;
            case 5: {
                if (store->windows().size() > 4) break;
                TrackedWindow w = store->windows().at(anyWindow());
                w.windowID = ++nextWindow;
                w.windowTitle = "Opened " + std::to_string(w.windowID);
                WindowStoreProbe::windows(*store)[w.windowID] = w;
                store->onChange();
                break;
            }
            case 6:
                if (store->windows().size() < 2) break;
                WindowStoreProbe::windows(*store).erase(anyWindow());
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
                const uint32_t window = anyWindow();
                TrackedWindow& w = WindowStoreProbe::windows(*store).at(window);
                w.isMinimized = !w.isMinimized;
                store->onChange();
                return window;
            }
            case 12:
            case 14: {
                // A window or a pinned chip dragged along its row, and let go.
                const bool pinned = kind == 14;
                const auto& dragged =
                    pinned ? reusing.view->draggedPinnedBundleID : reusing.view->draggedChipID;
                const auto& ids = pinned ? reusing.view->shownInputs().visiblePinnedBundleIDs
                                         : reusing.view->shownInputs().visibleChipIDs;
                if (ids.empty()) break;
                const std::string id = dragged.value_or(any(ids));
                const double dx = double(pick(400)) - 200;
                const DragValue v{{50, 15}, {50 + dx, 15}, {dx, 0}};
                const bool end = dragged && coin();
                for (Bar* bar : {&reusing, &full}) {
                    BarContentView& b = *bar->view;
                    pinned ? (end ? b.pinnedDragEnded(id, v) : b.pinnedDragChanged(id, v))
                           : (end ? b.chipDragEnded(id, v) : b.chipDragChanged(id, v));
                }
                break;
            }
            case 13: {
                // The pointer over something that answers it (a chip, the switcher, the strip ...),
                // or away from the bar.
                std::vector<Point> targets;
                for (const HitRegion& r : shown.regions) {
                    if (r.onHover) targets.push_back({r.frame.midX(), r.frame.midY()});
                }
                const bool away = targets.empty() || pick(4) == 0;
                const Point p = away ? Point{} : any(targets);
                for (Bar* bar : {&reusing, &full}) away ? bar->host->mouseExited() : bar->host->mouseMoved(p);
                break;
            }
            case 15: {
                // The wheel over the row of chips, which scrolls while they overflow it: at times on
                // a bar narrowed first for them to overflow.
                if (coin()) {
                    for (Bar* bar : {&reusing, &full})
                        bar->host->setFrameSize({400, bar->host->frameSize().height});
                    rt.runUntilIdle();
                }
                auto row = std::find_if(shown.regions.begin(), shown.regions.end(),
                                        [](const HitRegion& r) { return !r.scrollPath.empty(); });
                if (row == shown.regions.end()) break;
                const Point p{row->frame.midX(), row->frame.midY()};
                const double delta = double(pick(300)) - 150;
                for (Bar* bar : {&reusing, &full}) {
                    if (bar->host->scrollWheel(p, 0, delta) && bar == &reusing) ++scrolls;
                }
                break;
            }
            case 16: {
                const bool reduce = coin();
                sim.windowing().setReduceTransparency(reduce);
                for (Bar* bar : {&reusing, &full}) bar->host->setReduceTransparency(reduce);
                break;
            }
        }
        return std::nullopt;
    }

    // The visible chips, pinned or not, that the reusing bar's last update built anew, but the one
    // that shows `window`.
    std::vector<std::string> rebuiltBesides(uint32_t window) const {
        const auto& in = reusing.view->shownInputs();
        std::vector<std::string> ids = in.visiblePinnedBundleIDs;
        for (const DisplayItem& item : in.items) {
            const auto* group = item.groupData();
            if (item.chip() ? item.chip()->id != window : std::ranges::count(group->windowIDs, window) == 0)
                ids.push_back(item.id());
        }
        std::erase_if(ids, [reused = reusing.host->reusedSubtreePaths()](const std::string& id) {
            return std::ranges::any_of(
                reused, [&](const std::string& path) { return path.ends_with("#" + id + "/m"); });
        });
        return ids;
    }

    // The first difference between the two bars, or nothing; with `menus`, their menus as well.
    std::string difference(bool menus) const {
        const DisplayList& a = reusing.host->displayList();
        const DisplayList& b = full.host->displayList();
        if (a.ops.size() != b.ops.size()) return "step count " + std::to_string(a.ops.size());
        for (size_t i = 0; i < a.ops.size(); ++i) {
            if (fields(a.ops[i]) != fields(b.ops[i]))
                return "step " + std::to_string(i) + " at " + a.ops[i].path;
        }
        if (a.regions.size() != b.regions.size()) return "region count " + std::to_string(a.regions.size());
        for (size_t i = 0; i < a.regions.size(); ++i) {
            if (fields(a.regions[i]) != fields(b.regions[i]))
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
    size_t oneWindowChanges = 0;
    for (int step = 0; step < kSteps; ++step) {
        const int evaluations = reusing.host->evaluationCount();
        const std::optional<uint32_t> window = change();
        // The other bar evaluates, all of it, whatever the change.
        full.host->setNeedsUpdate();
        rt.runUntilIdle();
        // Building the menus costs more than the rest: every fourth step.
        ASSERT_EQ(difference(step % 4 == 0), "")
            << "after step " << step << " of the sequence of seed " << GetParam();
        // A change of one window builds its chip alone, while no drag moves the others.
        const BarContentView& view = *reusing.view;
        if (window && reusing.host->evaluationCount() > evaluations && !view.draggedChipID &&
            !view.draggedPinnedBundleID) {
            ++oneWindowChanges;
            ASSERT_EQ(rebuiltBesides(*window), std::vector<std::string>{})
                << "after step " << step << " of the sequence of seed " << GetParam();
        }
    }
    EXPECT_GT(oneWindowChanges, 0u);
    EXPECT_GT(scrolls, 0u);
    EXPECT_LT(reusing.host->evaluationCount(), full.host->evaluationCount());
}

INSTANTIATE_TEST_SUITE_P(Seeds, BarReuseTest, ::testing::Values(33u, 34u, 35u, 36u, 37u, 38u, 39u, 40u));

}  // namespace
}  // namespace qv
