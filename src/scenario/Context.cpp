#include "scenario/Context.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <sstream>

#include "app/ProgramServices.h"
#include "app/ProgramSlots.h"
#include "bar/BarManager.h"
#include "bar_views/WallpaperBrightnessMonitor.h"
#include "platform/Application.h"
#include "platform/Windowing.h"

namespace qv {

namespace {

WorldDriver& requireWorld(Backend& backend) {
    WorldDriver* world = backend.world();
    if (!world) throw ScenarioFailure("this platform's world cannot be driven by a scenario");
    return *world;
}

}  // namespace

ScenarioContext::ScenarioContext(ManualRuntime& runtime, Backend& backend, std::filesystem::path outDir,
                                 std::ostream& out)
    : runtime(runtime),
      backend(backend),
      world(requireWorld(backend)),
      platform(backend.platform()),
      outDir(std::move(outDir)),
      out(out) {}

ScenarioContext::~ScenarioContext() {
    program_.reset();
    releaseProgramServices();
    UpdaterService::setShared(nullptr);
    BadgeService::setShared(nullptr);
    UserSettings::setShared(nullptr);
}

std::shared_ptr<UserSettings> ScenarioContext::settings() {
    if (!settings_) {
        settings_ = UserSettings::create(platform);
        UserSettings::setShared(settings_);
    }
    return settings_;
}

void ScenarioContext::startProgram() {
    badges_ = std::make_shared<BadgeService>(platform.runtime, platform.processes, platform.launchServices);
    BadgeService::setShared(badges_);
    updater_ = std::make_shared<UpdaterService>(platform.updater);
    UpdaterService::setShared(updater_);
    SharedServices services{settings(), badges_, updater_};
    MainRuntimeSlots slots = programSlots(platform, services);
    fillDockAndWallpaperSlots(slots, platform, settings());
    installBarServices(platform, *settings());
    startThumbnailService(platform);
    installSettingsWindow(platform);
    wallpaperPosts_ =
        platform.notifications.addObserver(WallpaperBrightnessMonitor::kDidChangeNotification, nullptr,
                                           [this](const Notification&) { ++wallpaperBrightnessPosts; });
    program_ = std::make_unique<QuillVorn>(platform, services, std::move(slots));
    program_->main();
}

void ScenarioContext::restartProgram() {
    if (!program_) throw ScenarioFailure("the program has not started (no \"start\" before this line)");
    // The user quits it: the settings are saved on the way out.
    if (!hasQuit()) platform.application.terminate();
    settle();
    // Its process ends: its windows go with it, and nothing of it runs any more.
    endProcess();
    program_.reset();
    UpdaterService::setShared(nullptr);
    BadgeService::setShared(nullptr);
    UserSettings::setShared(nullptr);
    updater_.reset();
    badges_.reset();
    settings_.reset();
    settle();
    world.restartComputer();
    startProgram();
}

void ScenarioContext::endProcess() {
    for (auto& panel : platform.application.windows()) panel->close();
}

bool ScenarioContext::hasQuit() {
    return program_ && !platform.application.isRunning();
}

MainRuntime& ScenarioContext::mainRuntime() {
    if (!program_) throw ScenarioFailure("the program has not started (no \"start\" before this line)");
    if (hasQuit()) throw ScenarioFailure("the program has quit: there is no running program to look at");
    if (!program_->mainRuntime())
        throw ScenarioFailure("the program's runtime has not started: it waits behind the permissions gate");
    return *program_->mainRuntime();
}

BarManager& ScenarioContext::barManager() {
    auto bar = std::dynamic_pointer_cast<BarManager>(mainRuntime().barManager);
    if (!bar) throw ScenarioFailure("the program has no bar manager");
    return *bar;
}

BarViewModel& ScenarioContext::barViewModel() {
    MainRuntime& runtime = mainRuntime();
    if (auto bar = std::dynamic_pointer_cast<BarManager>(runtime.barManager)) return *bar->viewModel();
    if (!runtime.barViewModel) throw ScenarioFailure("the program has no bar view model");
    return *runtime.barViewModel;
}

AppLauncher& ScenarioContext::appLauncher() {
    const auto& launcher = barManager().appLauncher();
    if (!launcher) throw ScenarioFailure("the program has no launcher");
    return *launcher;
}

void ScenarioContext::click(Point screenPoint, bool right) {
    world.mouseDown(screenPoint, right);
    settle();
    world.mouseUp(screenPoint, right);
}

WorldApplication ScenarioContext::application(const std::string& name) {
    for (const WorldApplication& app : world.applications()) {
        if (app.name == name) return app;
    }
    throw ScenarioFailure("no running application named \"" + name + "\"");
}

WorldWindow ScenarioContext::window(const std::string& title) {
    std::optional<WorldWindow> found;
    int count = 0;
    for (const WorldWindow& w : world.windows()) {
        if (w.title != title) continue;
        if (!found) found = w;
        ++count;
    }
    if (!found) throw ScenarioFailure("no window titled \"" + title + "\"");
    if (count > 1) throw ScenarioFailure(std::to_string(count) + " windows are titled \"" + title + "\"");
    return *found;
}

std::optional<std::string> ScenarioContext::windowTitle(uint32_t windowID) {
    for (const WorldWindow& w : world.windows()) {
        if (w.id == windowID) return w.title;
    }
    return std::nullopt;
}

std::vector<std::string> displayHandles(const std::vector<std::string>& names) {
    std::map<std::string, int> shared, seen;
    for (const std::string& name : names) ++shared[name];
    std::vector<std::string> handles;
    for (const std::string& name : names)
        handles.push_back(shared[name] > 1 ? name + " " + std::to_string(++seen[name]) : name);
    return handles;
}

namespace {

// Each display's handle, in the displays' own order; they are numbered in screen order.
std::vector<std::string> handlesOf(const std::vector<WorldDisplay>& displays) {
    std::vector<size_t> screenOrder(displays.size());
    std::iota(screenOrder.begin(), screenOrder.end(), 0);
    std::stable_partition(screenOrder.begin(), screenOrder.end(), [&](size_t i) { return displays[i].primary; });
    std::vector<std::string> names;
    for (size_t i : screenOrder) names.push_back(displays[i].name);
    const std::vector<std::string> numbered = displayHandles(names);
    std::vector<std::string> handles(displays.size());
    for (size_t k = 0; k < screenOrder.size(); ++k) handles[screenOrder[k]] = numbered[k];
    return handles;
}

}  // namespace

WorldDisplay ScenarioContext::display(const ScenarioToken& name) {
    const auto displays = world.displays();
    const auto handles = handlesOf(displays);
    std::vector<std::string> sharing;
    for (size_t i = 0; i < displays.size(); ++i) {
        if (handles[i] == name.text) return displays[i];
        if (displays[i].name == name.text) sharing.push_back("\"" + handles[i] + "\"");
    }
    if (!sharing.empty()) {
        std::string each;
        for (size_t i = 0; i < sharing.size(); ++i)
            each += (i == 0 ? "" : i + 1 == sharing.size() ? " and " : ", ") + sharing[i];
        // A fault of the script, at the line being played.
        throw ScenarioScriptError(0, std::to_string(sharing.size()) + " displays are named \"" + name.text +
                                         "\": name them " + each + " as the settings window numbers them");
    }
    for (const WorldDisplay& d : displays) {
        if (!name.quoted && name.text == "main" && d.primary) return d;
    }
    throw ScenarioFailure("no display named \"" + name.text + "\"");
}

std::string ScenarioContext::displayName(uint32_t displayID) {
    const auto displays = world.displays();
    const auto handles = handlesOf(displays);
    for (size_t i = 0; i < displays.size(); ++i) {
        if (displays[i].id == displayID) return handles[i];
    }
    return "display " + std::to_string(displayID);
}

void ScenarioContext::checkDisplayNames(const StepCall& call) {
    const auto displays = world.displays();
    const auto handles = handlesOf(displays);
    for (size_t i = 0; i < displays.size(); ++i) {
        for (size_t j = 0; j < displays.size(); ++j) {
            if (i == j || handles[i] != displays[j].name || displays[i].name == displays[j].name) continue;
            throw ScenarioScriptError(call.line, call.row->name + ": \"" + handles[i] +
                                                     "\" would name two displays, the one named so and one of "
                                                     "those named \"" + displays[i].name +
                                                     "\": give one of them another name");
        }
    }
}

uint64_t ScenarioContext::desktop(const std::string& reference) {
    const bool fullScreen = !reference.empty() && reference.front() == 'F';
    const auto number = parseScenarioNumber(fullScreen ? reference.substr(1) : reference);
    if (!number || *number < 1 || *number > kMostDesktops || *number != static_cast<int>(*number))
        throw ScenarioFailure("\"" + reference + "\" names no desktop (1 to " +
                              std::to_string(kMostDesktops) + ", or F1 to F" + std::to_string(kMostDesktops) +
                              " for full screen)");
    int seen = 0;
    for (const WorldDisplay& d : world.displays()) {
        for (const WorldDesktop& desk : d.desktops) {
            if (desk.fullScreen == fullScreen && ++seen == static_cast<int>(*number)) return desk.id;
        }
    }
    throw ScenarioFailure("there is no desktop " + reference + " (" + std::to_string(seen) +
                          " of that kind)");
}

std::string ScenarioContext::desktopReference(uint64_t desktopID) {
    int ordinary = 0, fullScreen = 0;
    for (const WorldDisplay& d : world.displays()) {
        for (const WorldDesktop& desk : d.desktops) {
            const int n = desk.fullScreen ? ++fullScreen : ++ordinary;
            if (desk.id == desktopID) return (desk.fullScreen ? "F" : "") + std::to_string(n);
        }
    }
    return "gone";
}

Point ScenarioContext::toScreen(Point scriptPoint) {
    double primaryHeight = 0;
    for (const WorldDisplay& d : world.displays()) {
        if (d.primary) primaryHeight = d.frame.maxY();
    }
    return flipVertically(scriptPoint, primaryHeight);
}

std::vector<std::shared_ptr<Panel>> ScenarioContext::visiblePanels() {
    std::vector<std::shared_ptr<Panel>> panels;
    for (auto& p : platform.application.windows()) {
        if (p->isVisible()) panels.push_back(p);
    }
    std::stable_partition(panels.begin(), panels.end(), [](const auto& p) { return p->isKeyWindow(); });
    return panels;
}

std::vector<std::shared_ptr<Panel>> ScenarioContext::heldPanels() {
    auto panels = platform.application.windows();
    std::erase_if(panels, [](const auto& p) { return p->isClosed(); });
    return panels;
}

bool ScenarioContext::drawnOnScreen(const Panel& panel) {
    const auto w = world.ourWindow(panel.windowNumber());
    if (!w || !w->onScreen) return false;
    const auto displays = world.displays();
    return std::any_of(displays.begin(), displays.end(),
                       [&](const WorldDisplay& d) { return d.frame.intersects(w->frame); });
}

PanelSight panelSight(const StepCall& call, bool worded) {
    if (!worded) return PanelSight::orderedIn;
    return call.is(0, "held") ? PanelSight::held : PanelSight::drawn;
}

std::shared_ptr<Panel> ScenarioContext::panelTitled(const std::string& title) {
    for (auto& p : visiblePanels()) {
        if (p->title() == title) return p;
    }
    return nullptr;
}

namespace {

// What of a text, and of the control it labels, lies outside the window and the clips it is drawn in.
EdgeInsets cutBy(const DrawOp& text, const HitRegion* control, const Rect& bounds) {
    Rect shown = bounds;
    Rect extent = text.frame;
    for (const ClipRegion& c : text.clips) shown = shown.intersection(c.rect);
    if (control) {
        extent = extent.unionWith(control->frame);
        for (const ClipRegion& c : control->clips) shown = shown.intersection(c.rect);
    }
    return {std::max(0.0, shown.minY() - extent.minY()), std::max(0.0, shown.minX() - extent.minX()),
            std::max(0.0, extent.maxY() - shown.maxY()), std::max(0.0, extent.maxX() - shown.maxX())};
}

}  // namespace

std::vector<ScenarioContext::Sighting> ScenarioContext::sightings(const std::string& text) {
    std::vector<Sighting> out;
    const auto displays = world.displays();
    for (auto& panel : visiblePanels()) {
        const auto& content = panel->contentView();
        if (!content) continue;
        const DisplayList& list = content->displayList();
        std::optional<std::string> panelHidden;
        if (panel->alpha() <= 0) {
            panelHidden = "its panel is transparent (alpha 0), as it is until its fade-in ends";
        } else if (!drawnOnScreen(*panel)) {
            panelHidden = "its panel is not on screen (its desktop is not active, or it is off every display)";
        }
        for (const DrawOp* op : list.texts()) {
            const Point local{op->frame.midX(), op->frame.midY()};
            // What is scrolled or clipped away is not there at all.
            const bool inside = content->bounds().contains(local) &&
                                std::all_of(op->clips.begin(), op->clips.end(), [&](const ClipRegion& c) {
                                    return c.shape.contains(c.rect, local);
                                });
            if (!inside || op->joinedText() != text) continue;
            const HitRegion* region = list.topmost(local, [](const HitRegion& r) {
                return r.onTap || r.onRightClick || r.contextMenu || r.focusable || r.drag;
            });
            Sighting seen{PanelElement{panel, panel->convertToScreen(local), !region || region->enabled,
                                       cutBy(*op, region, content->bounds())},
                          panelHidden};
            const Point onScreen = toScreen(seen.element.screenPoint);  // the flip is its own inverse
            if (!seen.hidden && op->opacity <= 0) seen.hidden = "it is drawn fully transparent";
            if (!seen.hidden && std::none_of(displays.begin(), displays.end(), [&](const WorldDisplay& d) {
                    return d.frame.contains(onScreen);
                }))
                seen.hidden = "it lies off every display";
            out.push_back(std::move(seen));
        }
    }
    return out;
}

std::optional<PanelElement> ScenarioContext::findElement(const std::string& text, int occurrence) {
    int seen = 0;
    for (const Sighting& s : sightings(text)) {
        if (!s.hidden && ++seen == occurrence) return s.element;
    }
    return std::nullopt;
}

PanelElement ScenarioContext::element(const std::string& text, int occurrence) {
    if (auto e = findElement(text, occurrence)) return *e;
    const std::string named = "\"" + text + "\"" +
                              (occurrence > 1 ? " (occurrence " + std::to_string(occurrence) + ")" : "");
    for (const Sighting& s : sightings(text)) {
        if (s.hidden) throw ScenarioFailure(named + " is not visible yet: " + *s.hidden);
    }
    throw ScenarioFailure("no element " + named + " on our panels");
}

std::string itemTitle(const DisplayItem& item) {
    if (const ChipData* chip = item.chip()) return chip->windowTitle.empty() ? chip->appName : chip->windowTitle;
    return item.groupData()->displayTitle;
}

std::vector<std::string> chipTitles(const BarViewModel& model, uint64_t desktopID) {
    std::vector<std::string> titles;
    for (const DisplayItem& item : model.displayItems(desktopID, std::nullopt)) titles.push_back(itemTitle(item));
    return titles;
}

std::string quotedList(const std::vector<std::string>& items) {
    if (items.empty()) return "nothing";
    std::string out;
    for (const std::string& s : items) out += (out.empty() ? "\"" : ", \"") + s + "\"";
    return out;
}

void requireOpenMenu(ScenarioContext& ctx) {
    if (!ctx.world.openMenuItems({})) throw ScenarioFailure("no menu is open");
}

std::string rectText(const Rect& r) {
    std::ostringstream os;
    os << r.minX() << " " << r.minY() << " " << r.width() << " " << r.height();
    return os.str();
}

bool near(const Rect& a, const Rect& b) {
    constexpr double kTolerance = 0.01;
    return std::abs(a.minX() - b.minX()) < kTolerance && std::abs(a.minY() - b.minY()) < kTolerance &&
           std::abs(a.width() - b.width()) < kTolerance && std::abs(a.height() - b.height()) < kTolerance;
}

void held(ScenarioContext& ctx) {
    ++ctx.expectationsHeld;
}

void expectEqual(ScenarioContext& ctx, const std::string& expected, const std::string& found) {
    if (expected != found) failExpectation(expected, found);
    held(ctx);
}

}  // namespace qv
