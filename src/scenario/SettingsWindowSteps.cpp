// Steps of the settings window: opening it, its switches and shortcut fields named by their rows'
// titles, and the system facts it depends on (the system version, separate Spaces, displays
// without a UUID). Rows below the visible part of the window are scrolled into view first, as the
// user would scroll to them.
#include <algorithm>
#include <cmath>

#include "scenario/Context.h"
#include "settings/SettingsWindowController.h"
#include "ui/SvgRenderer.h"

namespace qv {

namespace {

std::shared_ptr<Panel> settingsPanel(ScenarioContext& ctx) {
    auto panel = ctx.panelTitled(SettingsPanel::kTitle);
    if (!panel || !panel->contentView()) throw ScenarioFailure("the settings window is not on screen");
    ctx.settle();
    panel->contentView()->layoutNow();
    return panel;
}

const DisplayList& listOf(const std::shared_ptr<Panel>& panel) {
    return panel->contentView()->displayList();
}

// A row's title: the text at the size and weight every row title has.
const DrawOp* rowTitle(const DisplayList& list, const std::string& title) {
    for (const DrawOp* op : list.texts()) {
        if (op->joinedText() == title && op->font.size == 13 && op->font.weight == FontWeight::medium)
            return op;
    }
    return nullptr;
}

const DrawOp* requireRowTitle(const DisplayList& list, const std::string& title) {
    if (const DrawOp* op = rowTitle(list, title)) return op;
    throw ScenarioFailure("no settings row \"" + title + "\"");
}

// The switch of a row: the track beside its title, top-aligned with it.
const DrawOp* rowSwitch(const DisplayList& list, const DrawOp& title) {
    const DrawOp* best = nullptr;
    for (const DrawOp& op : list.ops) {
        if (op.kind != DrawOp::Kind::shape || op.shape.kind != ShapeKind::capsule ||
            op.frame.minX() <= title.frame.maxX())
            continue;
        if (std::abs(op.frame.minY() - title.frame.minY()) > 4) continue;
        if (!best || op.frame.minX() < best->frame.minX()) best = &op;
    }
    return best;
}

// A recorder row's shortcut field: the button named by the row's title.
const HitRegion* rowField(const DisplayList& list, const std::string& title) {
    for (const HitRegion& r : list.regions) {
        if (r.accessibilityLabel == title && r.accessibilityButton) return &r;
    }
    return nullptr;
}

bool showsWhole(const DisplayList& list, const Rect& r) {
    return r.minY() >= 0 && r.maxY() <= list.size.height;
}

// Scrolls the window until what `find` locates shows whole; gives up after a screenful of tries.
template <class Find>
Rect reveal(ScenarioContext& ctx, const std::shared_ptr<Panel>& panel, Find find) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        const Rect r = find(listOf(panel));
        if (showsWhole(listOf(panel), r)) return r;
        const double middle = listOf(panel).size.height / 2;
        const double delta = std::clamp(middle - r.midY(), -200.0, 200.0);
        const Rect bounds = panel->contentView()->bounds();
        ctx.world.scroll(panel->convertToScreen({bounds.midX(), bounds.midY()}), 0, delta);
        ctx.settle();
        panel->contentView()->layoutNow();
    }
    return find(listOf(panel));
}

std::string switchState(const DisplayList& list, const DrawOp& track) {
    // The knob stands at the trailing end while the switch is on.
    bool on = false;
    for (const DrawOp& op : list.ops) {
        if (op.kind == DrawOp::Kind::shape && op.shape.kind == ShapeKind::circle &&
            track.frame.contains({op.frame.midX(), op.frame.midY()}))
            on = op.frame.midX() > track.frame.midX();
    }
    return std::string(on ? "on" : "off") + (track.opacity < 0.99 ? " dimmed" : "");
}

// The names in this order among the calls: each one's last call after the one before it.
std::string callOrder(const std::vector<std::string>& calls, const std::vector<std::string>& names) {
    std::string found;
    std::optional<size_t> previous;
    for (const std::string& name : names) {
        auto it = std::find(calls.rbegin(), calls.rend(), name);
        if (it == calls.rend()) return "no call " + name;
        const size_t index = calls.size() - 1 - static_cast<size_t>(it - calls.rbegin());
        if (previous && index < *previous) return name + " before the one ahead of it";
        previous = index;
    }
    return quotedList(names);
}

}  // namespace

void addSettingsWindowSteps(StepTable& t) {
    const Arg row = arg::text("ROW-TITLE");
    t.push_back(step(
        "no-display-uuid", {{arg::text("DISPLAY")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setDisplayUUIDReported(ctx.display(call.args[0]).id, false);
        },
        "The system gives no UUID for the display from now on."));
    t.push_back(step(
        "open-settings", {{}},
        [](ScenarioContext& ctx, const StepCall&) {
            ctx.mainRuntime();
            SettingsWindowController::shared().show();
        },
        "Opens the settings window as the bar menu's \"Settings\" does: a window on screen comes "
        "forward where it is, otherwise a new one is built centred on the main screen."));
    t.push_back(step(
        "click-switch", {{row}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = settingsPanel(ctx);
            const Rect track = reveal(ctx, panel, [&](const DisplayList& list) {
                const DrawOp* s = rowSwitch(list, *requireRowTitle(list, call.text(0)));
                if (!s) throw ScenarioFailure("the row \"" + call.text(0) + "\" has no switch");
                return s->frame;
            });
            ctx.click(panel->convertToScreen({track.midX(), track.midY()}));
        },
        "Clicks the switch of the settings row with that title, scrolling the window to it first. "
        "A dimmed switch takes no click."));
    t.push_back(step(
        "click-field", {{row}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = settingsPanel(ctx);
            const Rect field = reveal(ctx, panel, [&](const DisplayList& list) {
                const HitRegion* r = rowField(list, call.text(0));
                if (!r) throw ScenarioFailure("no shortcut field in a row \"" + call.text(0) + "\"");
                return r->frame;
            });
            ctx.click(panel->convertToScreen({field.midX(), field.midY()}));
        },
        "Clicks the shortcut field of the recorder row with that title: starts or ends its "
        "recording. Keys then come with key, key-down and key-up."));
    t.push_back(step(
        "click-side-button", {{arg::text("TOOLTIP")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = settingsPanel(ctx);
            const Rect button = reveal(ctx, panel, [&](const DisplayList& list) {
                // A side button is named by its tooltip as a field is by its row's title.
                const HitRegion* r = rowField(list, call.text(0));
                if (!r) throw ScenarioFailure("no side button \"" + call.text(0) + "\"");
                return r->frame;
            });
            ctx.click(panel->convertToScreen({button.midX(), button.midY()}));
        },
        "Clicks the button beside a recorder row's field, named by its tooltip, scrolling the "
        "window to it first."));
    t.push_back(step(
        "expect switch", {{row, arg::words({"on", "off", "on dimmed", "off dimmed"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = settingsPanel(ctx);
            const DisplayList& list = listOf(panel);
            const DrawOp* s = rowSwitch(list, *requireRowTitle(list, call.text(0)));
            if (!s) throw ScenarioFailure("the row \"" + call.text(0) + "\" has no switch");
            expectEqual(ctx, call.text(1), switchState(list, *s));
        },
        "The state of a settings row's switch, and whether the row is dimmed (drawn faint, taking no "
        "clicks)."));
    t.push_back(step(
        "expect subtitle", {{row, arg::text("TEXT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = settingsPanel(ctx);
            const DisplayList& list = listOf(panel);
            const DrawOp* title = requireRowTitle(list, call.text(0));
            std::string found = "no subtitle";
            for (const DrawOp* op : list.texts()) {
                if (std::abs(op->frame.minX() - title->frame.minX()) < 0.5 &&
                    op->frame.minY() >= title->frame.maxY() - 0.5 &&
                    op->frame.minY() <= title->frame.maxY() + 4) {
                    found = op->joinedText();
                    break;
                }
            }
            expectEqual(ctx, call.text(1), found);
        },
        "The text under a settings row's title."));
    t.push_back(step(
        "expect field", {{row, arg::text("TEXT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = settingsPanel(ctx);
            const DisplayList& list = listOf(panel);
            const HitRegion* field = rowField(list, call.text(0));
            if (!field) throw ScenarioFailure("no shortcut field in a row \"" + call.text(0) + "\"");
            std::string found = "nothing";
            for (const DrawOp* op : list.texts()) {
                if (field->frame.contains({op->frame.midX(), op->frame.midY()})) {
                    found = op->joinedText();
                    break;
                }
            }
            expectEqual(ctx, call.text(1), found);
        },
        "The shortcut a recorder row's field shows (\"Not Set\" for none)."));
    t.push_back(step(
        "expect call-order", {{arg::text("NAME"), arg::repeated(arg::text("NAME"), 1)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto names = call.texts(0);
            expectEqual(ctx, quotedList(names), callOrder(ctx.world.callNames(), names));
        },
        "The program's last calls of these names came in this order."));
    t.push_back(step(
        "settings-picture", {{arg::name("NAME")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto panel = settingsPanel(ctx);
            writePicture(
                ctx, call,
                SvgRenderer::render(listOf(panel), Color::windowBackground().resolve(
                                                       panel->contentView()->effectiveColorScheme())));
        },
        "Writes a picture of the settings window's content as it shows now to DIR/NAME.svg."));
    t.back().looksOnly = t.back().writesPictures = true;
}

}  // namespace qv
