// Steps that run the program itself: its start, the clock, screenshots, settings and what it shows.
#include <cmath>
#include <fstream>
#include <sstream>

#include "bar/BarManager.h"
#include "bar_views/ChipSheet.h"
#include "launcher/KeyNames.h"
#include "model/BarMetrics.h"
#include "scenario/Context.h"
#include "tiling/SnapLayout.h"
#include "tiling/WindowTilingController.h"
#include "tracking/SpaceWindows.h"

namespace qv {

namespace {

constexpr double kLongestAdvance = 3600;

void showChips(ScenarioContext& ctx) {
    BarViewModel& model = ctx.barViewModel();
    for (const WorldDisplay& d : ctx.world.displays()) {
        ctx.out << "  " << ctx.displayName(d.id) << "\n";
        for (const WorldDesktop& desk : d.desktops) {
            const std::string ref = ctx.desktopReference(desk.id);
            if (desk.fullScreen) {
                ctx.out << "    desktop " << ref << " (full screen, no bar)\n";
                continue;
            }
            ctx.out << "    desktop " << ref << (desk.active ? " (active)" : "") << ": ";
            std::vector<std::string> chips;
            for (const DisplayItem& item : model.displayItems(desk.id, std::nullopt)) {
                const ChipData* chip = item.chip();
                const GroupedChipData* group = item.groupData();
                std::string text = itemTitle(item);
                if (group && group->windowCount > 1)
                    text += " (" + std::to_string(group->windowCount) + " windows)";
                const auto& badge = chip ? chip->badge : group->badge;
                if (badge) text += " [" + *badge + "]";
                if (chip ? chip->isFocused : group->isFocused) text = "> " + text;
                if (chip ? chip->wantsAttention : group->wantsAttention) text += " (wants attention)";
                if (chip && chip->isMinimized) text += " (minimised)";
                chips.push_back(text);
            }
            for (size_t i = 0; i < chips.size(); ++i) ctx.out << (i ? ", " : "") << chips[i];
            ctx.out << (chips.empty() ? "no chips\n" : "\n");
        }
    }
}

void showSettings(ScenarioContext& ctx) {
    auto settings = ctx.settings();
    const UserSettingsData& d = *settings->data;
    const BarMetrics metrics = BarMetrics::fromSetting(d.barSize);
    ctx.out << "  file " << settings->fileURL().value_or("(none: never saved)") << "\n";
    ctx.out << "  bar " << rawValue(metrics.barSize) << ", " << barHeight(metrics.barSize)
            << " pt high, chips " << metrics.chipHeight << " pt; theme " << rawValue(settings->theme())
            << "\n";
    std::optional<KeyboardShortcut> launcher;
    if (d.hotkeyKeyCode && d.hotkeyModifiers)
        launcher = KeyboardShortcut{*d.hotkeyKeyCode, *d.hotkeyModifiers};
    ctx.out << "  launcher shortcut: " << shortcutDisplayText(launcher, ctx.platform.carbon) << "\n";
}

// The program's bars, once it runs past the permissions gate.
BarManager* runningBars(ScenarioContext& ctx) {
    if (!ctx.hasStarted()) return nullptr;
    try {
        return &ctx.barManager();
    } catch (const ScenarioFailure&) {
        return nullptr;  // behind the gate: no bars yet
    }
}

// Each screen's snap layouts, as zones in percent of its usable area (the area tiling fills: below
// the menu bar and above the bar): "(x,y wxh)" each.
void showSnapLayouts(ScenarioContext& ctx) {
    const auto screens = ctx.platform.displays.screens();
    const double primaryHeight = screens.empty() ? 0 : screens.front().frame.maxY();
    BarManager* bars = runningBars(ctx);
    for (const Screen& screen : screens) {
        const auto display = SpaceWindows::displayID(screen);
        const double barHeight = bars && display ? bars->barHeight(*display) : 0;
        const Rect frame = flipVertically(screen.frame, primaryHeight);
        const Rect visible = flipVertically(screen.visibleFrame, primaryHeight);
        const Rect usable = WindowTilingController::usableFrame(frame, visible, barHeight);
        const double aspect = usable.width() / std::max(usable.height(), 1.0);
        SnapFlyoutMetrics metrics(SnapLayout::presets(aspect, usable.width()), aspect);
        ctx.out << "  " << (display ? ctx.displayName(*display) : screen.localizedName) << ", usable " << usable.width() << " x " << usable.height()
                << ": " << metrics.layouts.size() << " snap layouts, flyout " << metrics.size.width << " x "
                << metrics.size.height << "\n";
        for (const SnapLayout& layout : metrics.layouts) {
            ctx.out << "   ";
            for (const Rect& z : layout.zones) {
                ctx.out << " (" << std::lround(z.minX() * 100) << "," << std::lround(z.minY() * 100) << " "
                        << std::lround(z.width() * 100) << "x" << std::lround(z.height() * 100) << ")";
            }
            ctx.out << "\n";
        }
    }
}

}  // namespace

void writePicture(ScenarioContext& ctx, const StepCall& call, const std::string& svg) {
    const auto path = ctx.outDir / (call.text(0) + ".svg");
    std::ofstream file(path, std::ios::binary);
    file << svg;
    file.close();
    if (!file) throw ScenarioScriptError(call.line, "cannot write " + path.string());
    ctx.screenshots.push_back(path);
    ctx.out << "  picture " << path.string() << "\n";
}

void addProgramSteps(StepTable& table) {
    table.push_back(step(
        "start", {{}}, [](ScenarioContext& ctx, const StepCall&) { ctx.startProgram(); },
        "Starts the program: the entry point's steps, then its run loop plays the rest of the "
        "script."));
    table.back().once = true;
    table.push_back(step(
        "advance", {{arg::number("SECONDS", 0, kLongestAdvance)}},
        [](ScenarioContext& ctx, const StepCall& call) { ctx.runtime.advance(call.number(0)); },
        "Moves the clock on; everything due meanwhile runs in time order."));
    table.push_back(step(
        "screenshot", {{arg::name("NAME")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            writePicture(ctx, call, ctx.backend.screenshotSvg());
        },
        "Writes a picture of every display, as the user sees them, to DIR/NAME.svg."));
    table.back().looksOnly = table.back().writesPictures = true;
    table.push_back(step(
        "chip-sheet", {{arg::name("NAME")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            writePicture(ctx, call, chipSheetSvg(ctx.platform));
        },
        "Writes the sheet of chips at every bar size over every bar background to DIR/NAME.svg."));
    table.back().looksOnly = table.back().writesPictures = true;
    table.push_back(setSettingStep());
    table.push_back(step(
        "say", {{arg::repeated(arg::text("TEXT"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::string line;
            for (const std::string& word : call.texts(0)) line += (line.empty() ? "" : " ") + word;
            ctx.out << line << "\n";
        },
        "Prints a line of the script's own, to tell what comes next."));
    table.back().looksOnly = true;
    table.push_back(step(
        "show chips", {{}}, [](ScenarioContext& ctx, const StepCall&) { showChips(ctx); },
        "Prints every desktop's chips as the bar model holds them (\">\" marks the focused one)."));
    table.push_back(step(
        "show snap-layouts", {{}}, [](ScenarioContext& ctx, const StepCall&) { showSnapLayouts(ctx); },
        "Prints each screen's snap layouts as zones in percent of its usable area."));
    table.push_back(step(
        "show settings", {{}}, [](ScenarioContext& ctx, const StepCall&) { showSettings(ctx); },
        "Prints where the settings are kept, what the bar size and theme come to, and the "
        "launcher's shortcut."));
}

const StepTable& scenarioSteps() {
    static const StepTable table = [] {
        StepTable t;
        addProgramSteps(t);
        addWorldSteps(t);
        addUserSteps(t);
        addExpectSteps(t);
        addBarSteps(t);
        addDesktopListSteps(t);
        addChipSteps(t);
        addSystemSteps(t);
        addNavigationSteps(t);
        addLauncherSteps(t);
        addTilingSteps(t);
        addThumbnailSteps(t);
        addSwitcherSteps(t);
        addSettingsWindowSteps(t);
        return t;
    }();
    return table;
}

}  // namespace qv
