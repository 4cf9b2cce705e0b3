// Steps of the system around the bar: desktop pictures, the Dock and its preferences, the user's
// folders and screenshots; and expectations on the Dock, the wallpaper verdicts and the display
// under the pointer.
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <sstream>

#include "bar/DockController.h"
#include "bar/MouseDisplayTracker.h"
#include "bar_views/WallpaperBrightnessMonitor.h"
#include "scenario/Context.h"

namespace qv {

namespace {

constexpr const char* kDockDomain = DockController::kDomain;

// Six hexadecimal digits, with or without a leading "#" (which starts a comment unless quoted).
std::optional<uint32_t> parseColour(std::string text) {
    if (text.starts_with("#")) text.erase(0, 1);
    if (text.size() != 6) return std::nullopt;
    uint32_t rgb = 0;
    for (char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                          : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                          : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                      : -1;
        if (digit < 0) return std::nullopt;
        rgb = rgb * 16 + static_cast<uint32_t>(digit);
    }
    return rgb;
}

const Arg kColour = arg::ruled("COLOR", [](const std::string& word) -> std::optional<std::string> {
    if (parseColour(word)) return std::nullopt;
    return "\"" + word + "\" is no colour (rrggbb)";
});

// "true" and "false" are Booleans, a number with a point or an exponent a double, any other number
// an integer: number objects, as a preferences domain holds them.
std::optional<Value> preferenceValue(const StepCall& call, size_t i) {
    if (call.is(i, "none")) return std::nullopt;
    if (call.is(i, "true") || call.is(i, "false"))
        return Value::number(NumberObject::ofBool(call.is(i, "true")));
    const std::string& text = call.text(i);
    if (auto n = parseScenarioNumber(text); n && !call.quoted(i)) {
        if (text.find_first_of(".eE") == std::string::npos && std::floor(*n) == *n && std::abs(*n) < 1e15)
            return Value::number(NumberObject::ofSigned(static_cast<int64_t>(*n)));
        return Value::number(NumberObject::ofDouble(*n));
    }
    return Value::string(text);
}

std::string preferenceText(const std::optional<Value>& value) {
    if (!value) return "none";
    if (auto n = value->asNumberObject()) {
        if (n->type() == NumberObject::Type::Bool) return n->boolValue() ? "true" : "false";
        return n->stringValue();
    }
    if (const std::string* s = value->asString()) return *s;
    return value->debugDescription();
}

// "~/..." is in the user's home folder, "Application Support/..." in its Application Support folder.
std::string userPath(ScenarioContext& ctx, const std::string& path) {
    if (path.starts_with("~/")) return ctx.world.homeFolder() + path.substr(1);
    const std::string support = "Application Support/";
    if (path.starts_with(support)) return ctx.world.homeFolder() + "/Library/" + path;
    return path;
}

// A script changes only the user's own folders, never what lies above them.
std::optional<std::string> userPathFault(const std::string& path) {
    if (!path.starts_with("~/") && !path.starts_with("Application Support/"))
        return "\"" + path + "\" is not in the user's folders (\"~/...\" or \"Application Support/...\")";
    for (const auto& part : std::filesystem::path(path)) {
        if (part == "..") return "\"" + path + "\" leaves the user's folders";
    }
    return std::nullopt;
}

const Arg kUserFolder = arg::ruled("FOLDER", userPathFault);
const Arg kUserFile = arg::ruled("PATH", [](const std::string& path) -> std::optional<std::string> {
    if (auto fault = userPathFault(path)) return fault;
    if (path.ends_with("/")) return "\"" + path + "\" names no file";
    return std::nullopt;
});

const Choices<uint32_t> kFolderEvents = {
    {"write", vnodeevent::kWrite},   {"delete", vnodeevent::kDelete}, {"rename", vnodeevent::kRename},
    {"extend", vnodeevent::kExtend}, {"attrib", vnodeevent::kAttrib},
};

const Choices<CommandFault> kDockRestarts = {{"works", CommandFault::none},
                                             {"fails-to-launch", CommandFault::failToLaunch},
                                             {"exits-nonzero", CommandFault::exitNonZero},
                                             {"hangs", CommandFault::hang}};
const Choices<UpdaterState> kUpdaterStates = {{"works", UpdaterState::works},
                                              {"fails-to-start", UpdaterState::failsToStart},
                                              {"cannot-check", UpdaterState::cannotCheck}};
const Choices<CaptureFault> kCaptureFaults = {{"works", CaptureFault::none},
                                              {"fails", CaptureFault::fail},
                                              {"holds", CaptureFault::hold},
                                              {"never", CaptureFault::neverAnswer},
                                              {"twice", CaptureFault::answerTwice}};

std::optional<std::string> displayText(ScenarioContext& ctx, std::optional<uint32_t> displayID) {
    if (!displayID) return std::nullopt;
    return ctx.displayName(*displayID);
}

// The display an expectation names, "none" for none.
std::string displayNamed(ScenarioContext& ctx, const StepCall& call) {
    return call.is(0, "none") ? "none" : ctx.displayName(ctx.display(call.args[0]).id);
}

MouseDisplayTracker& tracker(ScenarioContext& ctx) {
    ctx.mainRuntime();  // fails with the reason when the program does not run
    return MouseDisplayTracker::shared();
}

void addWorldRows(StepTable& t) {
    using namespace arg;
    t.push_back(step(
        "wallpaper", {{text("DISPLAY"), kColour}, {text("DISPLAY"), kColour, kColour}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const uint32_t from = *parseColour(call.text(1));
            const uint32_t to = call.count() == 3 ? *parseColour(call.text(2)) : from;
            ctx.world.setWallpaper(ctx.display(call.args[0]).id, from, to);
        },
        "The user picks a desktop picture for a display: one colour, or a diagonal gradient from "
        "the top-left corner to the bottom-right one (six hexadecimal digits, rrggbb)."));
    t.push_back(step(
        "dock-auto-hide", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) { ctx.world.setDockAutoHide(call.choice(0, kOnOff)); },
        "The user switches the Dock's auto-hide in System Settings; it shows at once."));
    t.push_back(step(
        "dock-position", {{words({"bottom", "left", "right"})}},
        [](ScenarioContext& ctx, const StepCall& call) { ctx.world.setDockPosition(call.text(0)); },
        "The user puts the Dock on another edge of the main display in System Settings; it moves "
        "at once."));
    t.push_back(step(
        "dock-pref", {{text("KEY"), orNone(text("VALUE"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setPreference(kDockDomain, call.text(0), preferenceValue(call, 1));
        },
        "Sets or removes a value of the Dock's preferences domain \"com.apple.dock\": true or false, "
        "a number (a double with a point), or a text."));
    t.push_back(step(
        "dock-domain", {{words({"available", "unavailable"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setPreferencesDomainAvailable(kDockDomain, call.is(0, "available"));
        },
        "Whether the Dock's preferences domain can be opened."));
    t.push_back(step(
        "dock-restart", {{words(kDockRestarts)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setDockRestartFault(call.choice(0, kDockRestarts));
        },
        "How \"/usr/bin/killall Dock\" behaves from now on."));
    t.push_back(step(
        "updater", {{words(kUpdaterStates)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setUpdaterState(call.choice(0, kUpdaterStates));
        },
        "How the update framework's updater behaves: it fails to start from now on, or, started, "
        "cannot check now (as while a check runs); works undoes both."));
    t.push_back(step(
        "folder-event", {{kUserFolder, repeated(words(kFolderEvents), 1)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            uint32_t events = 0;
            for (size_t i = 1; i < call.count(); ++i) events |= call.choice(i, kFolderEvents);
            ctx.world.folderEvent(userPath(ctx, call.text(0)), events);
        },
        "Something changes a folder of the user's (\"~/...\"): write, delete, rename, extend, "
        "attrib."));
    t.push_back(step(
        "delete-folder", {{kUserFolder}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.deleteFolder(userPath(ctx, call.text(0)));
        },
        "Someone else deletes a folder of the user's with what it holds."));
    t.push_back(step(
        "create-folder", {{kUserFolder}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.createFolder(userPath(ctx, call.text(0)));
        },
        "Someone else makes a folder of the user's."));
    t.push_back(step(
        "write-file", {{kUserFile, text("TEXT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const std::string path = userPath(ctx, call.text(0));
            if (!ctx.world.writeFile(path, call.text(1))) throw ScenarioFailure("cannot write " + path);
        },
        "Someone else writes a file of the user's with the text, making its folders: a settings "
        "file or a Dock state file left by an earlier run."));
    t.push_back(step(
        "folder-watch", {{kUserFolder, words({"allowed", "refused"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.world.setFolderWatchRefused(userPath(ctx, call.text(0)), call.is(1, "refused"));
        },
        "Whether our program may open a folder to watch it."));
    t.push_back(step(
        "capture", {{words(kCaptureFaults)}, {words(kCaptureFaults), orWord(text("WINDOW"), "listing")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const CaptureFault fault = call.choice(0, kCaptureFaults);
            if (call.count() == 1) {
                ctx.world.setCaptureFault(fault);
            } else if (call.is(1, "listing")) {
                ctx.world.setCaptureListingFault(fault);
            } else {
                ctx.world.setWindowCaptureFault(ctx.window(call.text(1)).id, fault);
            }
        },
        "How screenshots behave from now on: answered, failing, held until released, never "
        "answered, or answered twice; of every window, of one window, or the listing of what may "
        "be captured."));
    t.push_back(step(
        "release-captures", {{}, {text("WINDOW")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (call.count() == 0) {
                ctx.world.releaseHeldCaptures();
            } else {
                ctx.world.releaseHeldCapturesOf(ctx.window(call.text(0)).id);
            }
        },
        "Answers what is held, in the order it was asked: everything, or one window's "
        "screenshots."));
    t.push_back(step(
        "restore-dock", {{}},
        [](ScenarioContext& ctx, const StepCall&) {
            ctx.mainRuntime();
            const Seconds before = ctx.runtime.now();
            DockController::shared().restore(true);
            ctx.out << "  the Dock was restored in " << ctx.runtime.now() - before << " s\n";
        },
        "What quitting from the settings window does with start at login off: gives the Dock back "
        "and waits for its restart; prints how long that took."));
}

void addExpectRows(StepTable& t) {
    using namespace arg;
    t.push_back(step(
        "expect dock", {{words({"shown", "hidden"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, call.text(0), ctx.world.dock().showing ? "shown" : "hidden");
        },
        "Whether the Dock shows on screen."));
    t.push_back(step(
        "expect dock-auto-hide", {{words(kOnOff)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, call.text(0), ctx.world.dock().autoHide ? "on" : "off");
        },
        "The Dock's auto-hide switch as set now."));
    t.push_back(step(
        "expect dock-pref", {{text("KEY"), orNone(text("VALUE"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, preferenceText(preferenceValue(call, 1)),
                        preferenceText(ctx.world.preference(kDockDomain, call.text(0))));
        },
        "A value of the Dock's preferences domain, or none when it holds none."));
    t.push_back(step(
        "expect dock-restarts", {{whole("COUNT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, std::to_string(call.whole(0)), std::to_string(ctx.world.dock().restarts));
        },
        "How often the Dock has restarted."));
    t.push_back(step(
        "expect no-file", {{text("PATH")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const std::string path = userPath(ctx, call.text(0));
            expectEqual(ctx, "no file " + path,
                        ctx.platform.fileSystem.fileExists(path) ? "a file " + path : "no file " + path);
        },
        "No file of the user's at the path (\"~/...\" or \"Application Support/...\")."));
    t.push_back(step(
        "expect wallpaper", {{text("DISPLAY"), words({"light", "dark", "none"})}},
        [](ScenarioContext& ctx, const StepCall& call) {
            ctx.mainRuntime();
            const uint32_t id = ctx.display(call.args[0]).id;
            const WallpaperBrightnessMonitor* monitor = WallpaperBrightnessMonitor::shared();
            std::string found = "none";
            if (monitor) {
                auto it = monitor->lightByDisplay().find(id);
                if (it != monitor->lightByDisplay().end()) found = it->second ? "light" : "dark";
            }
            expectEqual(ctx, call.text(1), found);
        },
        "The program's verdict on the desktop picture under a display's bar; none before one."));
    t.push_back(step(
        "expect wallpaper-posts", {{whole("COUNT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, std::to_string(call.whole(0)), std::to_string(ctx.wallpaperBrightnessPosts));
        },
        "How often the program has announced a change of its wallpaper verdicts since it "
        "started."));
    t.push_back(step(
        "expect capture-requests", {{whole("COUNT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, std::to_string(call.whole(0)),
                        std::to_string(ctx.world.callCount("SCShareableContent.get")));
        },
        "How often the program has asked what it may capture: once for each measurement of the "
        "wallpapers."));
    t.push_back(step(
        "expect pointer-display", {{orNone(text("DISPLAY"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const std::string expected = displayNamed(ctx, call);
            expectEqual(ctx, expected, displayText(ctx, tracker(ctx).preferredDisplayID()).value_or("none"));
        },
        "The display the program takes to be under the pointer."));
    t.push_back(step(
        "expect debounced-display", {{orNone(text("DISPLAY"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const std::string expected = displayNamed(ctx, call);
            expectEqual(ctx, expected, displayText(ctx, tracker(ctx).debouncedDisplayID()).value_or("none"));
        },
        "The display the pointer has rested on for 0.06 s."));
    t.push_back(step(
        "expect clock", {{number("SECONDS")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto text = [](double s) {
                std::ostringstream os;
                os << std::fixed << std::setprecision(3) << s << " s";
                return os.str();
            };
            expectEqual(ctx, text(call.number(0)), text(ctx.runtime.now()));
        },
        "The virtual clock's reading, counted from the start of the script."));
    t.push_back(step(
        "expect main-held-at-most", {{number("SECONDS", 0, 3600)}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const ManualRuntime::MainHold hold = ctx.runtime.takeLongestMainHold();
            if (hold.duration > call.number(0) + 1e-9) {
                std::ostringstream expected, found;
                expected << std::fixed << std::setprecision(3) << "the main thread held at most "
                         << call.number(0) << " s";
                found << std::fixed << std::setprecision(3) << hold.duration << " s from " << hold.start
                      << " s, waiting for " << hold.waitingFor;
                failExpectation(expected.str(), found.str());
            }
            held(ctx);
        },
        "The longest stretch since the script's start, or since the last such step, during which "
        "the main thread waited for another application or process."));
}

}  // namespace

void addSystemSteps(StepTable& t) {
    addWorldRows(t);
    addExpectRows(t);
}

}  // namespace qv
