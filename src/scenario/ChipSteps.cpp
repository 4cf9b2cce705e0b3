// Steps about the chips on the bars, as the user sees and handles them: a chip named by its title
// is clicked, right-clicked, hovered or dragged; the chips are checked as they are drawn. A bar is
// named "N" (the bar of desktop N) or "N@DISPLAY" (the mirror of desktop N on a display). Also the
// world around the bars: Reduce Transparency, applications with unsaved work, a restart.
#include <algorithm>
#include <cmath>
#include <limits>
#include <sstream>

#include "bar/BarManager.h"
#include "bar_views/BarContentView.h"
#include "bar_views/ChipChrome.h"
#include "scenario/Context.h"

namespace qv {

namespace {

// A bar the user's hands can reach: its desktop is active.
ScriptBar shownBar(ScenarioContext& ctx, const std::string& reference) {
    ScriptBar bar = scriptBar(ctx, reference);
    auto w = ctx.world.ourWindow(bar.panel->windowNumber());
    if (!w || !w->onScreen) throw ScenarioFailure("bar " + reference + " is not shown");
    return bar;
}

struct Chip {
    std::string id;
    bool pinned = false;
    std::string title;  // a pinned app's name
};

std::vector<Chip> chipsOf(const ScriptBar& bar) {
    std::vector<Chip> out;
    const BarContentView::Inputs& in = bar.view->shownInputs();
    for (const std::string& b : in.visiblePinnedBundleIDs)
        out.push_back({b, true, bar.view->viewModel->appName(b)});
    for (const DisplayItem& item : in.items) out.push_back({item.id(), false, itemTitle(item)});
    return out;
}

Chip chipTitled(const ScriptBar& bar, const std::string& title) {
    std::vector<Chip> found;
    for (Chip& c : chipsOf(bar)) {
        if (c.title == title) found.push_back(std::move(c));
    }
    if (found.empty()) throw ScenarioFailure("no chip \"" + title + "\" on bar " + bar.reference);
    if (found.size() > 1)
        throw ScenarioFailure(std::to_string(found.size()) + " chips on bar " + bar.reference +
                              " are titled \"" + title + "\"");
    return found.front();
}

const ChipFrameMap& framesOf(const ScriptBar& bar, const Chip& chip) {
    return chip.pinned ? bar.view->pinnedChipFrames : bar.view->chipFrames;
}

// Where the chip stands as last laid out, in the bar's content space.
Rect frameOf(const ScriptBar& bar, const Chip& chip) {
    const ChipFrameMap& frames = framesOf(bar, chip);
    auto it = frames.find(chip.id);
    if (it == frames.end()) throw ScenarioFailure("the chip \"" + chip.title + "\" has not been laid out");
    return it->second;
}

Point centreOnScreen(const ScriptBar& bar, const Rect& frame) {
    return bar.panel->convertToScreen({frame.midX(), frame.midY()});
}

// The rounded body a chip is drawn with: the first filled rounded shape of its subtree.
const DrawOp& chipBody(const ScriptBar& bar, const Chip& chip) {
    const std::string marker = "/#" + chip.id + "/";
    for (const DrawOp& op : bar.panel->contentView()->displayList().ops) {
        if (op.kind == DrawOp::Kind::shape && op.fill && op.shape.kind == ShapeKind::roundedRectangle &&
            op.path.find(marker) != std::string::npos)
            return op;
    }
    throw ScenarioFailure("the chip \"" + chip.title + "\" is not drawn");
}

// The bar's chips from left to right as drawn; pinned apps as "pin:NAME".
std::vector<std::string> drawnChips(const ScriptBar& bar) {
    std::vector<std::pair<double, std::string>> drawn;
    for (const Chip& c : chipsOf(bar)) {
        const ChipFrameMap& frames = framesOf(bar, c);
        auto it = frames.find(c.id);
        drawn.emplace_back(it == frames.end() ? std::numeric_limits<double>::infinity() : it->second.midX(),
                           c.pinned ? "pin:" + c.title : c.title);
    }
    std::stable_sort(drawn.begin(), drawn.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (auto& [x, name] : drawn) out.push_back(std::move(name));
    return out;
}

// The background as drawn: the first thing drawn on the bar.
std::string drawnBackground(const DisplayList& list) {
    if (list.ops.empty()) return "none";
    const DrawOp& op = list.ops.front();
    if (op.kind == DrawOp::Kind::material) {
        if (op.material == Material::menu) return "frosted";
        if (std::abs(op.opacity - 0.78) < 1e-9) return "longhorn";
        if (std::abs(op.opacity - 0.85) < 1e-9) return "aero";
        return "light";
    }
    if (op.kind == DrawOp::Kind::shape && op.fill && !op.fill->isGradient)
        return op.fill->color.a > 0.99 ? "reduced-dark" : "reduced-light";
    return "unknown";
}

std::string rounded(double v) {
    std::ostringstream os;
    os << std::round(v * 100) / 100;
    return os.str();
}

void pressChip(ScenarioContext& ctx, const StepCall& call, bool right) {
    const ScriptBar bar = shownBar(ctx, call.text(0));
    ctx.click(centreOnScreen(bar, frameOf(bar, chipTitled(bar, call.text(1)))), right);
}

void dragChip(ScenarioContext& ctx, const StepCall& call) {
    const ScriptBar bar = shownBar(ctx, call.text(0));
    const Rect from = frameOf(bar, chipTitled(bar, call.text(1)));
    const double y = from.midY();
    const double startX = from.midX();
    double toX = startX;
    if (call.is(2, "past")) {
        // One point beyond the other chip's centre, on the far side.
        const Rect other = frameOf(bar, chipTitled(bar, call.text(3)));
        toX = other.midX() + (other.midX() >= startX ? 1 : -1);
    } else {
        toX += call.number(3);
    }
    ctx.world.mouseDown(bar.panel->convertToScreen({startX, y}), false);
    ctx.settle();
    constexpr int kMoves = 4;
    for (int i = 1; i <= kMoves; ++i) {
        ctx.world.mouseDragged(bar.panel->convertToScreen({startX + (toX - startX) * i / kMoves, y}));
        ctx.settle();
    }
    if (!call.is(4, "hold")) ctx.world.mouseUp(bar.panel->convertToScreen({toX, y}), false);
}

void addActionSteps(StepTable& t) {
    using namespace arg;
    const Arg bar = text("BAR"), title = text("TITLE");
    t.push_back(step(
        "click-chip", {{bar, title}},
        [](ScenarioContext& ctx, const StepCall& call) { pressChip(ctx, call, false); },
        "Clicks the chip with that title (a window's or group's title, a pinned app's name) at its "
        "centre on a shown bar."));
    t.push_back(step(
        "right-click-chip", {{bar, title}},
        [](ScenarioContext& ctx, const StepCall& call) { pressChip(ctx, call, true); },
        "The same with the right button: the chip's menu opens."));
    t.push_back(step(
        "hover-chip", {{bar, title}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const ScriptBar bar = shownBar(ctx, call.text(0));
            ctx.world.mouseMove(centreOnScreen(bar, frameOf(bar, chipTitled(bar, call.text(1)))));
        },
        "Moves the pointer over the centre of a chip."));
    const Form past = {bar, title, words({"past"}), text("OTHER")},
               by = {bar, title, words({"by"}), number("DX")};
    const Arg hold = words({"hold"});
    t.push_back(
        step("drag-chip", {past, form(past, hold), by, form(by, hold)}, dragChip,
             "Presses a chip at its centre and drags it sideways in four moves, to one point beyond the "
             "other chip's centre or by DX points, and releases there; hold keeps the button down."));
    t.push_back(step(
        "release", {{}, {number("X"), number("Y")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const Point at =
                call.count() == 2 ? ctx.toScreen(call.point(0)) : ctx.platform.windowing.mouseLocation();
            ctx.world.mouseUp(at, false);
        },
        "Releases the left button where the pointer is, or at a point."));
    t.push_back(step(
        "reduce-transparency", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setReduceTransparency(call.choice(0, kOnOff));
        },
        "Turns the system's Reduce Transparency on or off."));
    t.push_back(step(
        "unsaved-work", {{text("APP"), words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setDeclinesTermination(ctx.application(call.text(0)).pid, call.choice(1, kOnOff));
        },
        "With on, the application has unsaved work and declines requests to quit; off: it quits "
        "when asked."));
    t.push_back(step(
        "restart", {{}}, [](ScenarioContext& ctx, const StepCall&) { ctx.restartProgram(); },
        "The program quits (saving its settings), the computer restarts and every desktop comes "
        "back with a new id; the program starts again on the same settings file."));
}

void addExpectations(StepTable& t) {
    using namespace arg;
    const Arg bar = text("BAR"), title = text("TITLE");
    t.push_back(step(
        "expect bar-chips", {{bar, repeated(text("ITEM"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, quotedList(call.texts(1)), quotedList(drawnChips(scriptBar(ctx, call.text(0)))));
        },
        "A bar's chips from left to right as drawn: titles, and pin:NAME for a pinned app."));
    t.push_back(step(
        "expect chip-focus", {{bar, title, words(kYesNo)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const ScriptBar bar = scriptBar(ctx, call.text(0));
            const DrawOp& body = chipBody(bar, chipTitled(bar, call.text(1)));
            const ColorScheme scheme = bar.view->environment().colorScheme;
            const double focused = Color::primary()
                                       .opacity(chipFillOpacity(true, scheme == ColorScheme::light))
                                       .resolve(scheme)
                                       .a;
            expectEqual(ctx, call.text(2), std::abs(body.fill->color.a - focused) < 1e-9 ? "yes" : "no");
        },
        "Whether a chip is drawn with the focused window's look."));
    t.push_back(step(
        "expect chip-drawn", {{bar, title, number("OPACITY"), number("SCALE"), number("OFFSET")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const ScriptBar bar = scriptBar(ctx, call.text(0));
            const Chip chip = chipTitled(bar, call.text(1));
            const DrawOp& body = chipBody(bar, chip);
            const ChipFrameMap& start =
                chip.pinned ? bar.view->pinnedDragStartFrames : bar.view->chipDragStartFrames;
            double offset = 0;
            if (auto it = start.find(chip.id); it != start.end())
                offset = body.frame.midX() - it->second.midX();
            const std::string found = rounded(body.opacity) + " " +
                                      rounded(body.frame.height() / bar.view->metrics.chipHeight) + " " +
                                      rounded(offset);
            expectEqual(
                ctx, rounded(call.number(2)) + " " + rounded(call.number(3)) + " " + rounded(call.number(4)),
                found);
        },
        "A chip's opacity, scale and sideways offset from where the drag found it, as drawn."));
    t.push_back(step(
        "expect minimised", {{title, words(kYesNo)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, call.text(1), ctx.window(call.text(0)).minimized ? "yes" : "no");
        },
        "Whether a window is minimised in the world."));
    t.push_back(step(
        "expect chips-hover", {{bar, words(kYesNo)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, call.text(1),
                        scriptBar(ctx, call.text(0)).panel->mouseIsOverChipsArea ? "yes" : "no");
        },
        "Whether the bar's panel holds the pointer as over its row of chips."));
    t.push_back(step(
        "expect bar-background",
        {{bar, words({"frosted", "longhorn", "aero", "light", "reduced-dark", "reduced-light"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const ScriptBar bar = scriptBar(ctx, call.text(0));
            expectEqual(ctx, call.text(1), drawnBackground(bar.panel->contentView()->displayList()));
        },
        "The background a bar is drawn over: frosted, longhorn, aero, light, reduced-dark or "
        "reduced-light."));
}

}  // namespace

ScriptBar scriptBar(ScenarioContext& ctx, const std::string& reference) {
    BarManager& manager = ctx.barManager();
    const size_t at = reference.find('@');
    const uint64_t desktop = ctx.desktop(reference.substr(0, at));
    std::shared_ptr<BarPanel> panel;
    if (at == std::string::npos) {
        if (auto it = manager.panels().find(desktop); it != manager.panels().end()) panel = it->second;
    } else {
        const uint32_t display = ctx.display({reference.substr(at + 1), false}).id;
        for (const auto& [key, mirror] : manager.mirrorPanels()) {
            if (key.spaceID == desktop && mirror->displayID() == display) panel = mirror;
        }
    }
    if (!panel) throw ScenarioFailure("there is no bar " + reference);
    const auto& content = panel->contentView();
    auto view = content ? std::dynamic_pointer_cast<BarContentView>(content->rootView()) : nullptr;
    if (!view) throw ScenarioFailure("bar " + reference + " shows no content");
    return {reference, panel, view};
}

void addChipSteps(StepTable& t) {
    addActionSteps(t);
    addExpectations(t);
}

}  // namespace qv
