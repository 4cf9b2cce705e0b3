#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/SimAccessibility.h"
#include "support/SimDesktops.h"
#include "support/WindowStoreProbe.h"
#include "tracking/WindowStore.h"

namespace qv::testing {

// A simulated desktop with one display and two desktops, and a window store that counts its
// change calls. The store's requests run on the applications' workers and its answers are applied
// on the main queue: the helpers let everything due now run before they return.
class StoreDesktop : public TwoDesktops {
  protected:
    using Reconcile = WindowStore::ReconcileState;

    SimAccessibility& simAX = sim.accessibility();
    std::shared_ptr<WindowStore> store = makeStore();
    int changes = 0;

    std::shared_ptr<WindowStore> makeStore() {
        auto s = WindowStore::create(sim.platform());
        s->onChange = [this] { ++changes; };
        return s;
    }
    // The first population, with the change count started afresh.
    void populate() {
        store->populate();
        rt.runUntilIdle();
        changes = 0;
    }
    // An event delivered as the observer manager delivers it, and applied.
    void deliver(const AXWindowEvent& e) {
        store->handleAXEvent(e);
        rt.runUntilIdle();
    }
    void activated(int32_t pid) {
        store->handleAppActivated(pid);
        rt.runUntilIdle();
    }
    // The result an operation gives once its answers are applied.
    template <class Result, class Start>
    Result once(Start start) {
        auto result = std::make_shared<std::optional<Result>>();
        start([result](Result r) { *result = std::move(r); });
        rt.runUntilIdle();
        if (!*result) ADD_FAILURE() << "no answer was applied";
        return result->value_or(Result{});
    }
    int reconcile(int32_t pid) {
        return once<int>([&](auto done) { WindowStoreProbe::reconcileWindowsForPID(*store, pid, done); });
    }
    int addWindows(int32_t pid) {
        return once<int>([&](auto done) { store->addWindowsForPID(pid, done); });
    }
    int discover() {
        return once<int>([&](auto done) { store->discoverNewWindowsForTrackedPIDs(done); });
    }
    std::optional<uint32_t> soleWindow(uint64_t space) {
        return once<std::optional<uint32_t>>(
            [&](auto done) { WindowStoreProbe::trackSoleWindow(*store, space, done); });
    }
    bool tracks(uint32_t id) const { return store->windows().contains(id); }
    const TrackedWindow& tracked(uint32_t id) const { return store->windows().at(id); }
    std::set<uint32_t> trackedIDs() const {
        std::set<uint32_t> ids;
        for (const auto& [id, w] : store->windows()) ids.insert(id);
        return ids;
    }
    // An event about a window as the observer manager delivers it.
    AXWindowEvent event(const std::string& notification, uint32_t windowID) const {
        AXWindowEvent e;
        e.notification = notification;
        e.element = simAX.windowElement(windowID);
        e.pid = e.element.ownerPID();
        e.windowID = windowID;
        return e;
    }
    // Replaces one attribute's answer for one element.
    void answer(const AXElement& element, const std::string& attribute, SimAXAnswer reply) {
        auto previous = simAX.overrides.copyAttributeValue;
        simAX.overrides.copyAttributeValue = [=](const AXElement& e,
                                                 const std::string& a) -> std::optional<SimAXAnswer> {
            if (e == element && a == attribute) return reply;
            return previous ? previous(e, a) : std::nullopt;
        };
    }
    void failRead(const AXElement& element, const std::string& attribute) {
        answer(element, attribute, SimAXAnswer{kAXErrorCannotComplete, {}});
    }
    size_t windowListReads() const { return sim.callsNamed("CGWindowListCopyWindowInfo").size(); }
    // Runs the clock to `until` one deadline at a time and gives the times at which the whole
    // window list was read: each such read is one rescan.
    std::vector<double> scanTimesUntil(double until) {
        std::vector<double> times;
        size_t seen = windowListReads();
        while (auto next = rt.nextDeadline()) {
            if (*next > until) break;
            rt.advanceTo(std::max(*next, rt.now()));
            for (size_t n = windowListReads(); seen < n; ++seen) times.push_back(rt.now());
        }
        rt.advanceTo(until);
        return times;
    }
};

// The same with two windows of one application on the first desktop, populated.
class StoreDesktopWithDocs : public StoreDesktop {
  protected:
    int32_t app = launch("com.example.app", "App");
    uint32_t doc = open(app, "Doc", s1);
    uint32_t notes = open(app, "Notes", s1, {900, 100, 600, 400});

    void SetUp() override { populate(); }
};

// Equal within the rounding of sums of decimal delays.
inline ::testing::AssertionResult sameTimes(const std::vector<double>& got,
                                            const std::vector<double>& expected) {
    bool same = got.size() == expected.size();
    for (size_t i = 0; same && i < got.size(); ++i) same = std::abs(got[i] - expected[i]) < 1e-9;
    if (same) return ::testing::AssertionSuccess();
    auto text = [](const std::vector<double>& v) {
        std::string s = "{";
        for (double t : v) s += " " + std::to_string(t);
        return s + " }";
    };
    return ::testing::AssertionFailure() << "got " << text(got) << ", expected " << text(expected);
}

}  // namespace qv::testing
