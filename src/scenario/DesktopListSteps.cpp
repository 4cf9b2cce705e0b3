// Steps of the bar's menus and its desktop switcher: what an open menu offers, the switcher's
// click, and the desktop list it opens above the bar.
#include <algorithm>
#include <sstream>

#include "bar/BarPanel.h"
#include "bar_views/SpaceListPanel.h"
#include "scenario/Context.h"

namespace qv {

namespace {

// The list's texts top to bottom, the active desktop's title after a "●".
std::vector<std::string> listTexts(const SpaceListPanel& panel) {
    const DisplayList& list = panel.contentView()->displayList();
    std::vector<Rect> marks;
    for (const DrawOp& op : list.ops) {
        if (op.kind == DrawOp::Kind::shape && op.shape.kind == ShapeKind::circle && op.fill &&
            op.fill->color.a > 0)
            marks.push_back(op.frame);
    }
    std::vector<std::string> out;
    for (const DrawOp* op : list.texts()) {
        const bool marked = std::any_of(marks.begin(), marks.end(), [&](const Rect& m) {
            return m.midY() >= op->frame.minY() && m.midY() <= op->frame.maxY() &&
                   m.maxX() <= op->frame.minX() && op->frame.minX() - m.maxX() < 20;
        });
        out.push_back(marked ? "● " + op->joinedText() : op->joinedText());
    }
    return out;
}

}  // namespace

void addDesktopListSteps(StepTable& t) {
    using namespace arg;
    t.push_back(step(
        "click-switcher", {{text("BAR")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const ScriptBar bar = scriptBar(ctx, call.text(0));
            const DisplayList& list = bar.panel->contentView()->displayList();
            const HitRegion* button = nullptr;
            for (const HitRegion& r : list.regions) {
                if (r.help.starts_with("Desktop ")) button = &r;
            }
            if (!button) throw ScenarioFailure("bar " + call.text(0) + " shows no desktop switcher");
            ctx.click(bar.panel->convertToScreen({button->frame.midX(), button->frame.midY()}));
        },
        "Clicks the desktop switcher of a bar (\"N\" desktop N's, \"N@DISPLAY\" its mirror on a "
        "display)."));
    t.push_back(step(
        "expect menu", {{words({"none"})}, {repeated(text("[TITLE... >] ITEM"), 1)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (call.form == 0) {
                if (auto open = ctx.world.openMenuItems({}))
                    failExpectation("no open menu", quotedList(*open));
                return;
            }
            std::vector<std::string> path, items;
            bool inPath = false;
            for (size_t i = 0; i < call.count(); ++i) inPath = inPath || call.is(i, ">");
            for (size_t i = 0; i < call.count(); ++i) {
                if (inPath && call.is(i, ">")) {
                    inPath = false;
                    continue;
                }
                (inPath ? path : items).push_back(call.text(i));
            }
            auto found = ctx.world.openMenuItems(path);
            expectEqual(ctx, quotedList(items), found ? quotedList(*found) : "no open menu");
        },
        "The items of the open menu in order, a separator as \"-\" and a submenu's symbol before "
        "its title; with titles before a \">\", the items of that submenu: expect menu \"Move to\" > "
        "\"Desktop 2\". none: no menu is open."));
    t.push_back(step(
        "expect menu-mark", {{repeated(text("TITLE"), 1), words({"check", "mixed", "none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::vector<std::string> path = call.texts(0);
            path.pop_back();
            requireOpenMenu(ctx);
            const auto mark = ctx.world.openMenuItemMark(path);
            if (!mark) throw ScenarioFailure("no item " + quotedList(path) + " in an open menu");
            static const char* const kWords[] = {"none", "check", "mixed"};
            expectEqual(ctx, call.text(call.count() - 1), kWords[static_cast<int>(*mark)]);
        },
        "The mark before an item of the open menu, reached by its titles through submenus: a check "
        "mark, a dash for a mixed state, or none."));
    const Form none = {words({"none"})}, list = form(frame(), repeated(text("TEXT"), 1));
    t.push_back(step(
        "expect desktop-list", {none, list, form(words({"shown"}), none), form(words({"shown"}), list)},
        [](ScenarioContext& ctx, const StepCall& call) {
            const bool worded = call.form >= 2;
            auto list = findOurPanel<SpaceListPanel>(ctx, panelSight(call, worded));
            if (call.form == 0 || call.form == 2) {
                if (list) failExpectation("no desktop list", rectText(list->frame()));
                held(ctx);
                return;
            }
            const size_t at = worded ? 1 : 0;
            if (!list) failExpectation("a desktop list", "none open");
            if (!near(list->frame(), call.rect(at)))
                failExpectation(rectText(call.rect(at)), rectText(list->frame()));
            expectEqual(ctx, quotedList(call.texts(at + 4)), quotedList(listTexts(*list)));
        },
        "The open desktop list: its frame (from the primary screen's bottom-left corner, y up) and "
        "its texts top to bottom (header, titles, window counts), the active desktop's title after "
        "\"● \"; none: no list is open. shown: one the window server really draws."));
}

}  // namespace qv
