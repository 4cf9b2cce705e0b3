// The window server's and the Accessibility answers, as loosely typed values built from the
// bytes: a window list, a Spaces listing, the Spaces of windows and the attributes of an
// application's windows, each with every kind of number and wrong types at every key. They go to
// the typed readers and to a window store populating from them.
#include <algorithm>
#include <cmath>
#include <set>

#include "../support/WindowStoreProbe.h"
#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "dispatch/ManualRuntime.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "tracking/CGWindowInfo.h"
#include "tracking/SpaceWindows.h"
#include "tracking/WindowAdmission.h"
#include "tracking/WindowStore.h"

namespace {

using namespace qv;

constexpr int32_t kPID = 7;  // the one application; small numbers in the input reach it

const std::vector<std::string>& vocabulary() {
    static const std::vector<std::string> words = {CGWindowKeys::windowNumber,
                                                   CGWindowKeys::ownerPID,
                                                   CGWindowKeys::ownerName,
                                                   CGWindowKeys::windowName,
                                                   CGWindowKeys::layer,
                                                   CGWindowKeys::bounds,
                                                   CGWindowKeys::alpha,
                                                   CGWindowKeys::isOnscreen,
                                                   "X",
                                                   "Y",
                                                   "Width",
                                                   "Height",
                                                   "Display Identifier",
                                                   "Spaces",
                                                   "Current Space",
                                                   "Current Space ID",
                                                   "id64",
                                                   "ManagedSpaceID",
                                                   "id",
                                                   "type",
                                                   "isCurrent",
                                                   "uuid",
                                                   "Main",
                                                   "AXWindows",
                                                   "AXWindowNumber",
                                                   "AXTitle",
                                                   "AXRole",
                                                   "AXSubrole",
                                                   "AXModal",
                                                   "AXMinimized",
                                                   "AXWindow",
                                                   "AXStandardWindow",
                                                   "AXDialog",
                                                   "AXPosition",
                                                   "AXSize",
                                                   "AXFocusedWindow",
                                                   "AXMainWindow"};
    return words;
}

// The answer to one attribute: a native 32-bit unsigned number stands for an error code.
std::optional<SimAXAnswer> axAnswer(const Value& answers, const std::string& attribute) {
    if (!answers.has(attribute)) return std::nullopt;
    const Value& v = answers[attribute];
    if (auto code = v.asUInt32()) return SimAXAnswer{kAXErrorFailure - static_cast<AXError>(*code % 13), {}};
    return SimAXAnswer{kAXErrorSuccess, v};
}

void checkWindowList(const Value& answer) {
    auto list = windowInfoList(answer);
    const Value::Array* items = answer.asArray();
    FUZZ_CHECK(list.has_value() == (items && std::all_of(items->begin(), items->end(),
                                                         [](const Value& v) { return v.asDictionary(); })));
    if (!list) return;
    for (const CGWindowInfo& info : *list) {
        (void)info.windowID(), (void)info.ownerPID(), (void)info.layer(), (void)info.alpha();
        (void)info.ownerName(), (void)info.windowName();
        if (auto r = info.bounds()) FUZZ_CHECK(info.dict[CGWindowKeys::bounds].asDictionary());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteReader in(fuzz::bytesOf(data, size));
    const Value windowList = fuzz::decodeValue(in, vocabulary(), kPID);
    const Value spaces = fuzz::decodeValue(in, vocabulary(), kPID);
    const Value windowSpaces = fuzz::decodeValue(in, vocabulary(), kPID);
    const Value axAnswers = fuzz::decodeValue(in, vocabulary(), kPID);
    const int version = in.byte() & 1 ? 27 : 15;

    checkWindowList(windowList);

    ManualRuntime rt;
    SimDesktop sim{rt};
    sim.setOperatingSystemMajorVersion(version);
    const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    sim.addSpace(display);
    SimAppSpec app;
    app.bundleID = "com.example.fuzz";
    app.name = "Fuzz";
    app.pid = kPID;
    sim.launchApp(app);
    sim.overrides.windowList = [&](uint32_t) { return std::optional<Value>(windowList); };
    sim.overrides.windowDescription = [&](const Value&) { return std::optional<Value>(windowList); };
    sim.overrides.managedDisplaySpaces = [&] { return std::optional<Value>(spaces); };
    sim.overrides.spacesForWindows = [&](const Value&) { return std::optional<Value>(windowSpaces); };
    sim.accessibility().overrides.copyAttributeValue = [&](const AXElement&, const std::string& attribute) {
        return axAnswer(axAnswers, attribute);
    };

    const uint32_t cid = sim.platform().windowServer.mainConnectionID();
    SpaceWindows spaceWindows(sim.platform());
    for (const SpaceWindows::SpaceInfo& space : spaceWindows.getSpaces(cid))
        FUZZ_CHECK(space.displayIndex >= 0);
    const auto active = spaceWindows.getActiveSpaceIDs(cid);
    FUZZ_CHECK(!active.empty());
    FUZZ_CHECK(std::set<uint64_t>(active.begin(), active.end()).size() == active.size());
    for (const Screen& screen : sim.platform().displays.screens())
        (void)spaceWindows.activeSpace(screen, cid);
    (void)spaceWindows.spaceIDs(1, cid);

    auto store = WindowStore::create(sim.platform());
    auto [metadata, hasList] = WindowStoreProbe::requests(*store).copyAXWindowMetadataByID(kPID);
    for (const auto& [id, m] : metadata) {
        FUZZ_CHECK(id != 0);
        const auto admission = cgWindowAXAdmission(id, metadata, hasList);
        if (admission.kind == CGWindowAXAdmission::Case::admitted)
            FUZZ_CHECK(m.role == "AXWindow" && m.isModal != true);
    }
    store->populate();
    rt.runUntilIdle();
    std::set<uint32_t> listed;
    if (auto list = windowInfoList(windowList))
        for (const CGWindowInfo& info : *list)
            if (auto id = info.windowID()) listed.insert(*id);
    for (const auto& [id, window] : store->windows()) FUZZ_CHECK(listed.contains(id));
    return 0;
}
