// Steps of the app launcher: application bundles put into, copied within and taken from the
// folders the launcher scans, and expectations on its list of applications and its search.
#include "bar/BarManager.h"
#include "scenario/Context.h"

namespace qv {

namespace {

std::vector<std::string> appNames(const std::vector<AppInfo>& apps) {
    std::vector<std::string> names;
    for (const AppInfo& app : apps) names.push_back(app.name);
    return names;
}

Arg bundlePath(std::string label) {
    return arg::ruled(std::move(label), [](const std::string& path) -> std::optional<std::string> {
        if (!path.starts_with("/") && !path.starts_with("~/"))
            return "\"" + path + "\" is not a path from / or ~/";
        return std::nullopt;
    });
}

// The home folder written as "~", as scripts write it.
std::string scriptPath(ScenarioContext& ctx, const std::string& path) {
    const std::string home = ctx.platform.fileSystem.homeDirectoryForCurrentUser();
    return path.starts_with(home + "/") ? "~" + path.substr(home.size()) : path;
}

const std::vector<Form> kInstallForms = {
    {bundlePath("PATH"), arg::orNone(arg::text("BUNDLE-ID"))},
    {bundlePath("PATH"), arg::orNone(arg::text("BUNDLE-ID")), arg::text("NAME")},
    {bundlePath("PATH"), arg::orNone(arg::text("BUNDLE-ID")), arg::text("NAME"), arg::text("DISPLAY-NAME")}};

struct BundleArgs {
    std::string path;
    std::optional<std::string> bundleID;
    std::string name;
    std::optional<std::string> displayName;
};

// PATH BUNDLE-ID|none [NAME [DISPLAY-NAME]]; the name is the file's without ".app" unless given.
BundleArgs bundleArgs(const StepCall& call) {
    std::string name = call.count() > 2 ? call.text(2) : call.text(0);
    if (call.count() <= 2) {
        name = name.substr(name.rfind('/') + 1);
        if (name.ends_with(".app")) name.resize(name.size() - 4);
    }
    return {call.text(0), call.textOrNone(1), name,
            call.count() > 3 ? std::optional(call.text(3)) : std::nullopt};
}

}  // namespace

void addLauncherSteps(StepTable& t) {
    using namespace arg;
    t.push_back(step(
        "install-app", kInstallForms,
        [](ScenarioContext& ctx, const StepCall& call) {
            const BundleArgs b = bundleArgs(call);
            ctx.world.installBundle(b.path, b.bundleID, b.name, b.displayName);
        },
        "Puts an application bundle at a path (\"~/\" is the user's home folder), with a bundle "
        "identifier or none; its name is the file's unless given, and it may have a display name "
        "of its own, empty too."));
    t.push_back(step(
        "install-app-after-listing", kInstallForms,
        [](ScenarioContext& ctx, const StepCall& call) {
            const BundleArgs b = bundleArgs(call);
            ctx.world.installBundleAfterListing(b.path, b.bundleID, b.name, b.displayName);
        },
        "As install-app, but the bundle lands just after the program next lists its folder, so "
        "that listing misses it: an installer finishing while a scan runs."));
    t.push_back(step(
        "remove-app", {{bundlePath("PATH")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (!ctx.world.removeBundle(call.text(0)))
                throw ScenarioFailure("no application bundle at \"" + call.text(0) + "\"");
        },
        "Moves the bundle at the path, and bundles inside it, to the trash."));
    t.push_back(step(
        "copy-app", {{bundlePath("FROM"), bundlePath("TO")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            if (!ctx.world.copyBundle(call.text(0), call.text(1)))
                throw ScenarioFailure("cannot copy \"" + call.text(0) + "\" to \"" + call.text(1) +
                                      "\": no bundle there, or the place is taken");
        },
        "Copies an application bundle to a new path, as the Finder does, file by file."));
    t.push_back(step(
        "show apps", {{}},
        [](ScenarioContext& ctx, const StepCall&) {
            for (const AppInfo& app : *ctx.appLauncher().allApps) {
                ctx.out << "  " << app.name << "  " << scriptPath(ctx, app.id) << "  "
                        << scriptPath(ctx, app.path) << "\n";
            }
        },
        "Prints the launcher's applications in its order: name, identifier (the path for a bundle "
        "without one) and path."));
    t.push_back(step(
        "expect apps", {{repeated(text("NAME"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, quotedList(call.texts(0)), quotedList(appNames(*ctx.appLauncher().allApps)));
        },
        "The launcher's applications in its order, by name; none listed: it knows none yet."));
    t.push_back(step(
        "expect app", {{text("NAME"), text("PATH")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            std::vector<std::string> paths;
            for (const AppInfo& app : *ctx.appLauncher().allApps) {
                if (app.name == call.text(0)) paths.push_back(scriptPath(ctx, app.path));
            }
            expectEqual(ctx, quotedList({call.text(1)}), quotedList(paths));
        },
        "The launcher lists the application once, from that path (\"~/\" for the home folder)."));
    t.push_back(step(
        "expect search", {{text("QUERY"), repeated(text("NAME"))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            AppLauncher& launcher = ctx.appLauncher();
            // An open launcher is read as it stands: its field must hold the query the user typed.
            if (ctx.barManager().launcherPanel())
                expectEqual(ctx, "the field reading " + quotedList({call.text(0)}),
                            "the field reading " + quotedList({*launcher.searchQuery}));
            expectEqual(ctx, quotedList(call.texts(1)),
                        quotedList(appNames(launcher.searchResults(*launcher.allApps, call.text(0)))));
        },
        "The applications the launcher shows for a typed query, best match first; while the "
        "launcher is open, its search field holds that query."));
    t.push_back(step(
        "expect launcher-scans", {{whole("COUNT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, std::to_string(call.whole(0)), std::to_string(ctx.appLauncher().scansStarted()));
        },
        "How many scans of the application folders the launcher has started since the program "
        "started."));
}

}  // namespace qv
