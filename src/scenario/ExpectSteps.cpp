// Expectations on what the user sees or the program's model holds. A failing one stops the script
// with what was expected and what was found.
#include <cmath>
#include <sstream>

#include "bar_views/AppNameTooltipPanel.h"
#include "platform/Application.h"
#include "platform/Windowing.h"
#include "scenario/Context.h"

namespace qv {

namespace {

std::shared_ptr<Panel> requirePanel(ScenarioContext& ctx, const std::string& title) {
    auto panel = ctx.panelTitled(title);
    if (!panel) throw ScenarioFailure("expected a panel titled \"" + title + "\" on screen, found none");
    return panel;
}

void expectElementEnabled(ScenarioContext& ctx, const StepCall& call, bool enabled) {
    const PanelElement e = ctx.element(call.text(0));
    if (e.enabled != enabled)
        failExpectation("\"" + call.text(0) + "\" " + (enabled ? "enabled" : "disabled"),
                        enabled ? "disabled" : "enabled");
    held(ctx);
}

// The help text of the control under a point (AppKit space), which the system shows as its
// tooltip: in the topmost window there, if it is ours, the innermost control that has one.
std::optional<std::string> helpAt(ScenarioContext& ctx, Point p) {
    const uint32_t topmost = ctx.platform.windowing.windowNumberAt(p, 0);
    for (const auto& panel : ctx.visiblePanels()) {
        if (panel->windowNumber() != topmost || !panel->contentView()) continue;
        const HitRegion* control = panel->contentView()->displayList().topmost(
            panel->convertFromScreen(p), [](const HitRegion& r) { return !r.help.empty(); });
        if (control) return control->help;
    }
    return std::nullopt;
}

// A text as a message names it, "none" for no text.
std::string named(const std::optional<std::string>& text) {
    return text ? "\"" + *text + "\"" : "none";
}

int32_t trackedPID(ScenarioContext& ctx, const StepCall& call) {
    return ctx.application(call.text(0)).pid;
}

Arg settingKey() {
    return arg::ruled("SETTING", [](const std::string& key) -> std::optional<std::string> {
        if (isSettingKey(key)) return std::nullopt;
        return "unknown setting \"" + key + "\"";
    });
}

}  // namespace

void addExpectSteps(StepTable& t) {
    using namespace arg;
    const Arg app = text("APP"), title = text("TITLE");
    t.push_back(step(
        "expect chips", {{text("DESKTOP"), repeated(title)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const uint64_t desktop = ctx.desktop(call.text(0));
            expectEqual(ctx, quotedList(call.texts(1)), quotedList(chipTitles(ctx.barViewModel(), desktop)));
        },
        "A desktop's chips in the bar's order, by title (a group's title, a window's title, or its "
        "application's name when it has none); none listed means no chips."));
    t.push_back(step(
        "expect focused", {{orNone(title)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto id = *ctx.barViewModel().focusedWindowID;
            std::string found = "none";
            if (auto title = id ? ctx.windowTitle(*id) : std::nullopt) {
                found = "\"" + *title + "\"";
            } else if (id) {
                found = "a window no longer there";
            }
            expectEqual(ctx, named(call.textOrNone(0)), found);
        },
        "The window the bar shows as focused, by title; none when no chip is focused."));
    t.push_back(step(
        "expect frame", {form(title, frame())},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldWindow w = ctx.window(call.text(0));
            if (!near(w.frame, call.rect(1))) failExpectation(rectText(call.rect(1)), rectText(w.frame));
            held(ctx);
        },
        "A window's frame, from the primary display's top-left corner."));
    t.push_back(step(
        "expect desktops", {{title, repeated(text("DESKTOP"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const WorldWindow w = ctx.window(call.text(0));
            std::vector<std::string> found;
            for (uint64_t id : w.desktops) found.push_back(ctx.desktopReference(id));
            std::vector<std::string> expected = call.texts(1);
            std::sort(found.begin(), found.end());
            std::sort(expected.begin(), expected.end());
            expectEqual(ctx, quotedList(expected), quotedList(found));
        },
        "The desktops a window is on (none listed: on no desktop)."));
    t.push_back(step(
        "expect panel", {{title}},
        [](ScenarioContext& ctx, const StepCall& call) {
            requirePanel(ctx, call.text(0));
            held(ctx);
        },
        "One of our panels with that title is on screen."));
    t.push_back(step(
        "expect no-panel", {{title}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (ctx.panelTitled(call.text(0)))
                failExpectation("no panel titled \"" + call.text(0) + "\"", "one on screen");
            held(ctx);
        },
        "None of our panels on screen has that title."));
    t.push_back(step(
        "expect panel-frame", {form(title, frame())},
        [](ScenarioContext& ctx, const StepCall& call) {
            const Rect frame = requirePanel(ctx, call.text(0))->frame();
            if (!near(frame, call.rect(1))) failExpectation(rectText(call.rect(1)), rectText(frame));
            held(ctx);
        },
        "The frame of one of our panels as the program set it: from the primary screen's "
        "bottom-left corner, y up."));
    t.push_back(step(
        "expect panel-level", {{title, whole("LEVEL")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const int level = requirePanel(ctx, call.text(0))->level();
            expectEqual(ctx, std::to_string(call.whole(1)), std::to_string(level));
        },
        "The window level of one of our panels (0 normal, 3 floating)."));
    t.push_back(step(
        "expect text", {{text("TEXT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.element(call.text(0));
            held(ctx);
        },
        "The text is drawn on one of our panels on screen."));
    t.push_back(step(
        "expect whole", {{text("ELEMENT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const EdgeInsets cut = ctx.element(call.text(0)).cut;
            const std::pair<const char*, double> edges[] = {
                {"top", cut.top}, {"left", cut.leading}, {"bottom", cut.bottom}, {"right", cut.trailing}};
            std::string found;
            for (const auto& [edge, by] : edges) {
                if (by <= 0) continue;
                std::ostringstream os;
                os << (found.empty() ? "cut by " : ", ") << by << " points at the " << edge;
                found += os.str();
            }
            if (!found.empty()) failExpectation("\"" + call.text(0) + "\" shown whole", found);
            held(ctx);
        },
        "The text, and the control it labels, show whole: no edge of their window or of a scroll view "
        "cuts them."));
    t.push_back(step(
        "expect no-text", {{text("TEXT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (ctx.findElement(call.text(0)))
                failExpectation("no \"" + call.text(0) + "\"", "it on a panel");
            held(ctx);
        },
        "No panel of ours on screen shows the text."));
    t.push_back(step(
        "expect enabled", {{text("ELEMENT")}},
        [](ScenarioContext& ctx, const StepCall& call) { expectElementEnabled(ctx, call, true); },
        "The control labelled with the text takes clicks."));
    t.push_back(step(
        "expect disabled", {{text("ELEMENT")}},
        [](ScenarioContext& ctx, const StepCall& call) { expectElementEnabled(ctx, call, false); },
        "The control labelled with the text is shown but takes no clicks."));
    t.push_back(step(
        "expect help", {{number("X"), number("Y"), orNone(text("TEXT"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, named(call.textOrNone(2)), named(helpAt(ctx, ctx.toScreen(call.point(0)))));
        },
        "The help text that the control at a point shows as its tooltip, or none."));
    t.push_back(step(
        "expect tooltip", {{orNone(text("TEXT"))}, form(orNone(text("TEXT")), frame())},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto tooltip = findOurPanel<AppNameTooltipPanel>(ctx, PanelSight::orderedIn);
            std::optional<std::string> text;
            if (tooltip) {
                for (const DrawOp* op : tooltip->contentView()->displayList().texts())
                    text = text.value_or("") + op->joinedText();
            }
            if (call.form == 1 && tooltip && !near(tooltip->frame(), call.rect(1)))
                failExpectation(rectText(call.rect(1)), rectText(tooltip->frame()));
            expectEqual(ctx, named(call.textOrNone(0)), named(text));
        },
        "The tooltip the program shows of its own above the bar (a pinned app's name): its text, and its "
        "frame "
        "from the primary screen's bottom-left corner, y up; or none shown.",
        [](const StepCall& call) -> std::optional<std::string> {
            if (call.form == 1 && call.is(0, "none")) return "none takes no frame";
            return std::nullopt;
        }));
    t.push_back(step(
        "expect setting", {{settingKey(), text("VALUE")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, call.text(1), settingValueText(*ctx.settings(), call.text(0)));
        },
        "A setting as the settings file holds it: text as it is, other values as JSON (true, 36, "
        "[\"a\"]), none when absent."));
    t.push_back(step(
        "expect file", {{text("PATH"), text("TEXT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::string path = call.text(0);
            const std::string prefix = "Application Support/";
            if (path.starts_with(prefix)) {
                auto folders = ctx.platform.fileSystem.applicationSupportDirectories();
                if (folders.empty()) throw ScenarioFailure("the user has no Application Support folder");
                path = folders.front() + "/" + path.substr(prefix.size());
            }
            auto contents = ctx.platform.fileSystem.contentsOfFile(path);
            if (!contents) failExpectation("the file " + path, "no file");
            if (contents->find(call.text(1)) == std::string::npos)
                failExpectation("\"" + call.text(1) + "\" in " + path, "\"" + *contents + "\"");
            held(ctx);
        },
        "A file of the user's holds the text; a path starting \"Application Support/\" is in the user's "
        "Application Support folder."));
    t.push_back(step(
        "expect program", {{words({"running", "quit"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const std::string found = !ctx.hasStarted() ? "not started" : ctx.hasQuit() ? "quit" : "running";
            expectEqual(ctx, call.text(0), found);
        },
        "Whether the program runs or has quit."));
    t.push_back(step(
        "expect observed", {{app, words(kYesNo)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const bool observed =
                ctx.mainRuntime().windowStore->observerAttachedPIDs().contains(trackedPID(ctx, call));
            expectEqual(ctx, call.text(1), observed ? "yes" : "no");
        },
        "Whether the program's Accessibility observer of the application is attached."));
    t.push_back(step(
        "expect monitoring", {{app, words({"launching", "runningUnobserved", "runningObserved", "none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const auto& records = ctx.mainRuntime().windowStore->lifecycleByPID();
            auto it = records.find(trackedPID(ctx, call));
            expectEqual(ctx, call.text(1),
                        it == records.end() ? "none" : WindowStore::rawValue(it->second.phase));
        },
        "The phase of the program's launch monitoring of an application: launching, "
        "runningUnobserved, runningObserved, or none."));
    t.push_back(step(
        "expect prompts", {{words(kPermissions), whole("COUNT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, std::to_string(call.whole(1)),
                        std::to_string(ctx.world.permissionPrompts(call.choice(0, kPermissions))));
        },
        "How often the system asked the user for a permission."));
    t.push_back(step(
        "expect opened", {{text("ADDRESS")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto opened = ctx.world.openedURLs();
            expectEqual(ctx, "\"" + call.text(0) + "\"",
                        opened.empty() ? "nothing" : "\"" + opened.back() + "\"");
        },
        "The address the workspace opened last (a page of System Settings)."));
}

}  // namespace qv
