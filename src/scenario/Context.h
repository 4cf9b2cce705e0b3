#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/QuillVorn.h"
#include "dispatch/ManualRuntime.h"
#include "launcher/AppLauncher.h"
#include "platform/Backend.h"
#include "scenario/Scenario.h"
#include "sim/WorldDriver.h"
#include "ui/Panel.h"

namespace qv {

class BarManager;
class BarPanel;
class BarContentView;

// A place on one of our panels where a text is drawn: what a script names as an element.
struct PanelElement {
    std::shared_ptr<Panel> panel;
    Point screenPoint;  // the text's centre, AppKit space
    bool enabled = true;
    // How far the text, and the control it labels, run past the edges that show them (the window's
    // and every clip around them): top, left, bottom, right; all zero when it shows whole.
    EdgeInsets cut;
};

// Everything the steps of one scenario share: the clock, the world, the program once started, and
// how names in the script become things of the world. Scripts name things by name, title, text
// or position, never by id.
class ScenarioContext {
  public:
    ScenarioContext(ManualRuntime& runtime, Backend& backend, std::filesystem::path outDir,
                    std::ostream& out);
    ~ScenarioContext();
    ScenarioContext(const ScenarioContext&) = delete;
    ScenarioContext& operator=(const ScenarioContext&) = delete;

    ManualRuntime& runtime;
    Backend& backend;
    WorldDriver& world;
    Platform& platform;
    const std::filesystem::path outDir;
    std::ostream& out;

    // --- The program ---
    // The settings store, made on first use as the program makes it (it reads the file then).
    std::shared_ptr<UserSettings> settings();
    void startProgram();
    // The program quits (saving its settings), its process ends, the computer restarts and the
    // program starts again on the same settings file.
    void restartProgram();
    bool hasStarted() const { return program_ != nullptr; }
    bool hasQuit();
    // The running program's runtime; fails when the program has not started, is still behind the
    // permissions gate or has quit.
    MainRuntime& mainRuntime();
    // The program's bar manager and its bar view model.
    BarManager& barManager();
    BarViewModel& barViewModel();
    // The program's launcher model.
    AppLauncher& appLauncher();
    // The program's process ends once it has quit: its windows go with it.
    void endProcess();
    // The user clicks at a point (AppKit space): the button goes down, what is due runs, it comes up.
    void click(Point screenPoint, bool right = false);
    // Runs what is due now on every queue, as the run loop would between two events.
    void settle() { runtime.runUntilIdle(); }

    // --- Names to things; each fails when nothing matches ---
    WorldApplication application(const std::string& name);
    WorldWindow window(const std::string& title);
    // A display as scripts name it (see displayHandles), or "main" unquoted for the primary one. A
    // name that several displays share, written alone, is a fault of the script: it says how to
    // name each.
    WorldDisplay display(const ScenarioToken& name);
    // How scripts name a display.
    std::string displayName(uint32_t displayID);
    // Fails as a fault of the script's line when one name would stand for two displays.
    void checkDisplayNames(const StepCall& call);
    // "N": the N-th desktop that is not full screen, over all displays in order; "FN": the N-th
    // full-screen desktop. A world holds at most kMostDesktops of each kind, so that each can be named.
    static constexpr int kMostDesktops = 1000;
    uint64_t desktop(const std::string& reference);
    std::string desktopReference(uint64_t desktopID);
    std::optional<std::string> windowTitle(uint32_t windowID);
    // A point of the script (window-server space: top-left origin, y down) in AppKit space.
    Point toScreen(Point scriptPoint);
    // Our visible panels, the key window first.
    std::vector<std::shared_ptr<Panel>> visiblePanels();
    // Every panel of ours that is not closed, shown or ordered out.
    std::vector<std::shared_ptr<Panel>> heldPanels();
    // Whether the window server really draws one of our panels: ordered in, on a desktop that is
    // active, over a display.
    bool drawnOnScreen(const Panel& panel);
    std::shared_ptr<Panel> panelTitled(const std::string& title);
    // The `occurrence`-th (1-based) place a text is drawn where the user sees it: on one of our
    // panels that is ordered in, above alpha 0, on an active desktop, over a display, and not
    // scrolled, clipped or faded away; a panel the window server draws at alpha 0 takes no clicks.
    std::optional<PanelElement> findElement(const std::string& text, int occurrence = 1);
    // The same, failing when there is none; a text that is there but cannot be seen says why.
    PanelElement element(const std::string& text, int occurrence = 1);

    // --- What was played ---
    int expectationsHeld = 0;
    // How often the program posted that a display's wallpaper verdict changed.
    int wallpaperBrightnessPosts = 0;
    size_t postedEventsSeen = 0;  // events our program posted that an expectation looked at
    std::vector<std::filesystem::path> screenshots;

  private:
    // Every place a text is drawn on our panels, scrolled or clipped away aside; `hidden` says why
    // the user cannot see one.
    struct Sighting {
        PanelElement element;
        std::optional<std::string> hidden;
    };
    std::vector<Sighting> sightings(const std::string& text);

    std::shared_ptr<UserSettings> settings_;
    std::shared_ptr<BadgeService> badges_;
    std::shared_ptr<UpdaterService> updater_;
    std::unique_ptr<QuillVorn> program_;
    Subscription wallpaperPosts_;
};

// How a step looks for one of our panels: shown as the program holds it (ordered in), held open
// whether shown or not (a step's word "held"), or really drawn by the window server ("shown").
enum class PanelSight { orderedIn, held, drawn };
PanelSight panelSight(const StepCall& call, bool worded);

// The first of our panels of type T seen so.
template <class T>
std::shared_ptr<T> findOurPanel(ScenarioContext& ctx, PanelSight sight) {
    for (const auto& panel : sight == PanelSight::held ? ctx.heldPanels() : ctx.visiblePanels()) {
        auto found = std::dynamic_pointer_cast<T>(panel);
        if (found && (sight != PanelSight::drawn || ctx.drawnOnScreen(*found))) return found;
    }
    return nullptr;
}

// How scripts name displays, given their names in screen order (the primary display first, then
// the others in the order they were connected): by the name, or "NAME N" for the N-th of the
// displays that share the name, as the settings window numbers them.
std::vector<std::string> displayHandles(const std::vector<std::string>& names);

// The title of a bar item as the bar shows it: the window's title (its application's name when it
// has none), or the group's title.
std::string itemTitle(const DisplayItem& item);
// The chips of a desktop as the bar model holds them, by title.
std::vector<std::string> chipTitles(const BarViewModel& model, uint64_t desktopID);
// "a", "b" for messages.
std::string quotedList(const std::vector<std::string>& items);
// Fails when no menu is open, so that a step on a menu item says so before it looks for the item.
void requireOpenMenu(ScenarioContext& ctx);

// --- Helpers of the step files ---
// A bar as scripts name it: "N" the bar of desktop N, "N@DISPLAY" the mirror of desktop N on a
// display (ChipSteps.cpp). Fails when there is none.
struct ScriptBar {
    std::string reference;
    std::shared_ptr<BarPanel> panel;
    std::shared_ptr<BarContentView> view;
};
ScriptBar scriptBar(ScenarioContext& ctx, const std::string& reference);
std::string rectText(const Rect& r);
// Equal to within a hundredth of a point.
bool near(const Rect& a, const Rect& b);
// An expectation held; one that compares texts.
void held(ScenarioContext& ctx);
void expectEqual(ScenarioContext& ctx, const std::string& expected, const std::string& found);

inline const Choices<Permission> kPermissions = {{"accessibility", Permission::accessibility},
                                                 {"screen-recording", Permission::screenRecording}};

// --- Key chords (UserSteps.cpp) ---
struct Chord {
    uint16_t keyCode = 0;
    std::string characters;
    uint64_t flags = 0;        // modifier flags
    uint64_t modifierKey = 0;  // the chord is this modifier pressed alone
};
// "cmd+shift+w": modifiers (cmd, shift, opt, ctrl, fn) joined by "+" to one key of a US keyboard.
std::optional<Chord> parseChord(const std::string& text);
// The chord as a script writes it: "ctrl+2"; a key without a name by its code.
std::string chordText(uint16_t keyCode, uint64_t flags);
// A key event as scripts write it: "down:ctrl+2" or "up:2".
std::string keyEventText(const WorldPostedEvent& event);
// A key chord argument, and a run of key events as scripts write them ("down:CHORD", "up:CHORD").
Arg chordArg();
Arg keyEventsArg();
Chord chordAt(const StepCall& call, size_t i);

// Writes an SVG picture to DIR/NAME.svg and names it on the output (ProgramSteps.cpp).
void writePicture(ScenarioContext& ctx, const StepCall& call, const std::string& svg);

// --- Settings (Settings.cpp) ---
// The "set" row.
StepRow setSettingStep();
bool isSettingKey(const std::string& key);
// A setting as the file holds it: a string's text, other values as JSON, "none" when absent.
std::string settingValueText(const UserSettings& settings, const std::string& key);

}  // namespace qv
