#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dispatch/ManualRuntime.h"
#include "model/BadgeService.h"
#include "model/BarViewModel.h"
#include "model/UserSettings.h"
#include "sim/SimAccessibility.h"
#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"
#include "sim/SimWindowing.h"
#include "tracking/WindowStore.h"

namespace qv {

inline const std::string kEditor = "com.example.editor";
inline const std::string kMail = "com.example.mail";
inline const std::string kNotes = "com.example.notes";

// A simulated desktop with two displays (two desktops and a full-screen one on the main display,
// one desktop on the side display), three applications, and the bar model built on a window store,
// a settings store and a badge service of its own.
class BarModelTest : public ::testing::Test {
  protected:
    ManualRuntime rt;
    SimDesktop sim{rt};
    SimAccessibility& simAX = sim.accessibility();
    SimApplications& simApps = sim.applications();
    uint32_t mainDisplay = sim.addDisplay("Main", Rect{0, 0, 1920, 1080});
    uint32_t sideDisplay = sim.addDisplay("Side", Rect{1920, 0, 1440, 900});
    uint64_t m1 = sim.addSpace(mainDisplay);
    uint64_t m2 = sim.addSpace(mainDisplay);
    uint64_t full = sim.addSpace(mainDisplay, kSimSpaceTypeFullScreen);
    uint64_t s1 = sim.addSpace(sideDisplay);
    int32_t editor = sim.launchApp(kEditor, "Editor");
    int32_t mail = sim.launchApp(kMail, "Mail");
    int32_t plain = sim.launchApp(std::nullopt, "Plain");

    std::shared_ptr<WindowStore> store;
    std::shared_ptr<UserSettings> settings;
    std::shared_ptr<BadgeService> badges;
    std::shared_ptr<BarViewModel> model;

    uint32_t open(int32_t pid, std::string title, uint64_t space, Rect frame = {100, 100, 800, 600},
                  const std::function<void(SimWindowSpec&)>& tweak = {}) {
        return sim.openWindow(pid, std::move(title), space, frame, tweak);
    }

    // An installed application; `tweak` adjusts the rest of its description.
    void install(std::string bundleID, std::string name,
                 const std::function<void(SimInstalledApp&)>& tweak = {}) {
        SimInstalledApp app;
        app.bundleID = std::move(bundleID);
        app.name = std::move(name);
        if (tweak) tweak(app);
        simApps.install(std::move(app));
    }

    // The store's first population, then the model on top of it.
    BarViewModel& start() {
        store = WindowStore::create(sim.platform());
        store->populate();
        rt.runUntilIdle();
        settings = UserSettings::create(sim.platform());
        badges = std::make_shared<BadgeService>(sim.platform().runtime, sim.platform().processes,
                                                sim.platform().launchServices);
        model = BarViewModel::create(sim.platform(), store, settings, badges);
        return *model;
    }

    std::string desktop(uint64_t space) const {
        return BarViewModel::desktopKey(space, *model->spaces).value_or("none");
    }

    std::vector<std::string> itemIDs(uint64_t space) const {
        std::vector<std::string> ids;
        for (const DisplayItem& item : model->displayItemsBySpace->at(space)) ids.push_back(item.id());
        return ids;
    }
    static std::vector<std::string> idsOf(const std::vector<DisplayItem>& items) {
        std::vector<std::string> ids;
        for (const DisplayItem& item : items) ids.push_back(item.id());
        return ids;
    }
    const DisplayItem& item(uint64_t space, const std::string& id) const {
        for (const DisplayItem& i : model->displayItemsBySpace->at(space)) {
            if (i.id() == id) return i;
        }
        throw std::out_of_range("no item " + id);
    }
    const GroupedChipData& group(uint64_t space, const std::string& id) const {
        const GroupedChipData* g = item(space, id).groupData();
        if (!g) throw std::out_of_range("not a group: " + id);
        return *g;
    }
    const ChipData& chip(uint64_t space, uint32_t windowID) const {
        for (const ChipData& c : model->chipsBySpace->at(space)) {
            if (c.id == windowID) return c;
        }
        throw std::out_of_range("no chip " + std::to_string(windowID));
    }
    static std::string single(uint32_t windowID) { return "s-" + std::to_string(windowID); }

    size_t callCount(const std::string& name) const { return sim.callsNamed(name).size(); }
    size_t callCount(const std::string& name, const Value& args) const {
        size_t n = 0;
        for (const SimCall& c : sim.callsNamed(name)) n += c.args == args;
        return n;
    }

    // What our process asked of other applications since `from` (an index into the call log):
    // Accessibility writes and actions, and activation requests, in order.
    std::vector<std::string> actions(size_t from = 0) const {
        auto name = [](const Value& v) -> std::string {
            auto e = v.asElement();
            if (!e) return "?";
            if (e->isApplication()) return "app" + std::to_string(e->ownerPID());
            if (e->token() >> 32) return "close" + std::to_string(static_cast<uint32_t>(e->token()));
            return "w" + std::to_string(e->token());
        };
        std::vector<std::string> out;
        for (size_t i = from; i < sim.callLog.size(); ++i) {
            const SimCall& c = sim.callLog[i];
            const Value& a = c.args;
            if (c.name == "AXUIElementSetAttributeValue") {
                const Value& v = (*a.asArray())[2];
                std::string value = v.asElement() ? name(v)
                                    : v.asBool()  ? (*v.asBool() ? "true" : "false")
                                                  : "?";
                out.push_back(*(*a.asArray())[1].asString() + "=" + value + " " + name((*a.asArray())[0]));
            } else if (c.name == "AXUIElementPerformAction") {
                out.push_back(*(*a.asArray())[1].asString() + " " + name((*a.asArray())[0]));
            } else if (c.name == "NSApp.yieldActivation") {
                out.push_back("yield " + a.asNumberObject()->stringValue());
            } else if (c.name == "NSRunningApplication.activateFromApplication") {
                out.push_back("activateFrom " + (*a.asArray())[0].asNumberObject()->stringValue());
            } else if (c.name == "NSRunningApplication.activateWithOptions") {
                out.push_back("activate " + (*a.asArray())[0].asNumberObject()->stringValue());
            } else if (c.name == "NSApp.activate") {
                out.push_back("NSApp.activate");
            }
        }
        return out;
    }
    // Focus by Accessibility alone, its answer applied: its result, none while none came.
    std::optional<bool> focusByAXOnly(uint32_t windowID) {
        std::optional<bool> result;
        model->focusWindowWithAXOnly(windowID, "test", [&result](bool ok) { result = ok; });
        rt.runUntilIdle();
        return result;
    }
    size_t countOf(const std::string& action) const {
        auto all = actions();
        return static_cast<size_t>(std::count(all.begin(), all.end(), action));
    }
    std::string app(int32_t pid) const { return "app" + std::to_string(pid); }
    static std::string w(uint32_t id) { return "w" + std::to_string(id); }
};

}  // namespace qv
