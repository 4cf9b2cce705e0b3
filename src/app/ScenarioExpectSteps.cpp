// Expectations on what the user sees or the program's model holds. A failing one stops the script
// with what was expected and what was found.
#include <cmath>
#include <sstream>

#include "app/ScenarioContext.h"
#include "bar_views/AppNameTooltipPanel.h"
#include "platform/ui/Application.h"
#include "platform/ui/Windowing.h"

namespace qv {

namespace {

using A = ArgKind;

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

std::optional<std::string> checkSettingKey(const StepCall& call) {
    if (isSettingKey(call.text(0))) return std::nullopt;
    return "unknown setting \"" + call.text(0) + "\"";
}

}  // namespace

void addExpectSteps(StepTable& t) {
    const size_t first = t.size();
    t.push_back({"expect chips",
                 "DESKTOP [TITLE...]",
                 {{A::text, A::texts}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const uint64_t desktop = ctx.desktop(call.text(0));
                     expectEqual(ctx, quotedList(call.texts(1)),
                                 quotedList(chipTitles(ctx.barViewModel(), desktop)));
                 },
                 "A desktop's chips in the bar's order, by title (a group's title, a window's title, or its "
                 "application's name when it has none); none listed means no chips."});
    t.push_back({"expect focused",
                 "TITLE|none",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     auto id = *ctx.barViewModel().focusedWindowID;
                     std::string found = "none";
                     if (auto title = id ? ctx.windowTitle(*id) : std::nullopt) {
                         found = "\"" + *title + "\"";
                     } else if (id) {
                         found = "a window no longer there";
                     }
                     expectEqual(ctx, call.is(0, "none") ? "none" : "\"" + call.text(0) + "\"", found);
                 },
                 "The window the bar shows as focused, by title; none when no chip is focused."});
    t.push_back({"expect frame",
                 "TITLE X Y WIDTH HEIGHT",
                 {{A::text, A::number, A::number, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const WorldWindow w = ctx.window(call.text(0));
                     if (!near(w.frame, rectAt(call, 1)))
                         failExpectation(rectText(rectAt(call, 1)), rectText(w.frame));
                     held(ctx);
                 },
                 "A window's frame, from the primary display's top-left corner."});
    t.push_back({"expect desktops",
                 "TITLE [DESKTOP...]",
                 {{A::text, A::texts}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const WorldWindow w = ctx.window(call.text(0));
                     std::vector<std::string> found;
                     for (uint64_t id : w.desktops) found.push_back(ctx.desktopReference(id));
                     std::vector<std::string> expected = call.texts(1);
                     std::sort(found.begin(), found.end());
                     std::sort(expected.begin(), expected.end());
                     expectEqual(ctx, quotedList(expected), quotedList(found));
                 },
                 "The desktops a window is on (none listed: on no desktop)."});
    t.push_back({"expect panel",
                 "TITLE",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     requirePanel(ctx, call.text(0));
                     held(ctx);
                 },
                 "One of our panels with that title is on screen."});
    t.push_back({"expect no-panel",
                 "TITLE",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     if (ctx.panelTitled(call.text(0)))
                         failExpectation("no panel titled \"" + call.text(0) + "\"", "one on screen");
                     held(ctx);
                 },
                 "None of our panels on screen has that title."});
    t.push_back(
        {"expect panel-frame",
         "TITLE X Y WIDTH HEIGHT",
         {{A::text, A::number, A::number, A::number, A::number}},
         [](ScenarioContext& ctx, const StepCall& call) {
             const Rect frame = requirePanel(ctx, call.text(0))->frame();
             if (!near(frame, rectAt(call, 1))) failExpectation(rectText(rectAt(call, 1)), rectText(frame));
             held(ctx);
         },
         "The frame of one of our panels as the program set it: from the primary screen's bottom-left "
         "corner, y up."});
    t.push_back({"expect panel-level",
                 "TITLE LEVEL",
                 {{A::text, A::whole}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const int level = requirePanel(ctx, call.text(0))->level();
                     expectEqual(ctx, std::to_string(call.whole(1)), std::to_string(level));
                 },
                 "The window level of one of our panels (0 normal, 3 floating)."});
    t.push_back({"expect text",
                 "TEXT",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     ctx.element(call.text(0));
                     held(ctx);
                 },
                 "The text is drawn on one of our panels on screen."});
    t.push_back({"expect no-text",
                 "TEXT",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     if (ctx.findElement(call.text(0)))
                         failExpectation("no \"" + call.text(0) + "\"", "it on a panel");
                     held(ctx);
                 },
                 "No panel of ours on screen shows the text."});
    t.push_back({"expect enabled",
                 "ELEMENT",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) { expectElementEnabled(ctx, call, true); },
                 "The control labelled with the text takes clicks."});
    t.push_back({"expect disabled",
                 "ELEMENT",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) { expectElementEnabled(ctx, call, false); },
                 "The control labelled with the text is shown but takes no clicks."});
    t.push_back({"expect help",
                 "X Y TEXT|none",
                 {{A::number, A::number, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const auto expected = call.is(2, "none") ? std::nullopt : std::optional(call.text(2));
                     expectEqual(ctx, named(expected),
                                 named(helpAt(ctx, ctx.toScreen({call.number(0), call.number(1)}))));
                 },
                 "The help text that the control at a point shows as its tooltip, or none."});
    t.push_back({"expect tooltip",
                 "TEXT|none [X Y WIDTH HEIGHT]",
                 {{A::text}, {A::text, A::number, A::number, A::number, A::number}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     auto tooltip = findOurPanel<AppNameTooltipPanel>(ctx, PanelSight::orderedIn);
                     std::optional<std::string> text;
                     if (tooltip) {
                         for (const DrawOp* op : tooltip->contentView()->displayList().texts())
                             text = text.value_or("") + op->joinedText();
                     }
                     const auto expected = call.is(0, "none") ? std::nullopt : std::optional(call.text(0));
                     if (call.form == 1 && tooltip && !near(tooltip->frame(), rectAt(call, 1)))
                         failExpectation(rectText(rectAt(call, 1)), rectText(tooltip->frame()));
                     expectEqual(ctx, named(expected), named(text));
                 },
                 "The tooltip the program shows of its own above the bar (a pinned app's name): its text, "
                 "and its frame from the primary screen's bottom-left corner, y up; or none shown.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (call.form == 1 && call.is(0, "none")) return "none takes no frame";
                     return std::nullopt;
                 }});
    t.push_back({"expect setting",
                 "SETTING VALUE",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     expectEqual(ctx, call.text(1), settingValueText(*ctx.settings(), call.text(0)));
                 },
                 "A setting as the settings file holds it: text as it is, other values as JSON (true, 36, "
                 "[\"a\"]), none when absent.",
                 checkSettingKey});
    t.push_back(
        {"expect file",
         "PATH TEXT",
         {{A::text, A::text}},
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
         "Application Support folder."});
    t.push_back(
        {"expect program",
         "running|quit",
         {{A::text}},
         [](ScenarioContext& ctx, const StepCall& call) {
             const std::string found = !ctx.hasStarted() ? "not started" : ctx.hasQuit() ? "quit" : "running";
             expectEqual(ctx, call.text(0), found);
         },
         "Whether the program runs or has quit.",
         [](const StepCall& call) -> std::optional<std::string> {
             if (call.is(0, "running") || call.is(0, "quit")) return std::nullopt;
             return "\"" + call.text(0) + "\" is not running or quit";
         }});
    t.push_back({"expect observed",
                 "APP yes|no",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const bool observed =
                         ctx.mainRuntime().windowStore->observerAttachedPIDs.contains(trackedPID(ctx, call));
                     expectEqual(ctx, call.text(1), observed ? "yes" : "no");
                 },
                 "Whether the program's Accessibility observer of the application is attached."});
    t.push_back({"expect monitoring",
                 "APP PHASE|none",
                 {{A::text, A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const auto& records = ctx.mainRuntime().windowStore->lifecycleByPID;
                     auto it = records.find(trackedPID(ctx, call));
                     expectEqual(ctx, call.text(1),
                                 it == records.end() ? "none" : WindowStore::rawValue(it->second.phase));
                 },
                 "The phase of the program's launch monitoring of an application: launching, "
                 "runningUnobserved, runningObserved, or none."});
    t.push_back({"expect prompts",
                 "accessibility|screen-recording COUNT",
                 {{A::text, A::whole}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     const Permission p = call.is(0, "accessibility") ? Permission::accessibility
                                                                      : Permission::screenRecording;
                     expectEqual(ctx, std::to_string(call.whole(1)),
                                 std::to_string(ctx.world.permissionPrompts(p)));
                 },
                 "How often the system asked the user for a permission.",
                 [](const StepCall& call) -> std::optional<std::string> {
                     if (call.is(0, "accessibility") || call.is(0, "screen-recording")) return std::nullopt;
                     return "\"" + call.text(0) + "\" is not accessibility or screen-recording";
                 }});
    t.push_back({"expect opened",
                 "ADDRESS",
                 {{A::text}},
                 [](ScenarioContext& ctx, const StepCall& call) {
                     auto opened = ctx.world.openedURLs();
                     expectEqual(ctx, "\"" + call.text(0) + "\"",
                                 opened.empty() ? "nothing" : "\"" + opened.back() + "\"");
                 },
                 "The address the workspace opened last (a page of System Settings)."});
    // Expectations only look, also after the program has quit.
    for (size_t i = first; i < t.size(); ++i) t[i].looksOnly = true;
}

}  // namespace qv
