#include "tracking/SpaceWindows.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace qv {

namespace {

constexpr std::array<const char*, 5> kWindowQueryNames = {
    "SLSWindowQueryWindows",        "SLSWindowQueryResultCopyWindows", "SLSWindowIteratorAdvance",
    "SLSWindowIteratorGetWindowID", "SLSWindowIteratorGetParentID",
};

bool isSpaceOrNewline(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimWhitespace(std::string_view s) {
    while (!s.empty() && isSpaceOrNewline(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpaceOrNewline(s.back())) s.remove_suffix(1);
    return s;
}

// A decimal text that fits 32 unsigned bits, with an optional leading "+".
std::optional<uint32_t> parseDisplayID(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return std::nullopt;
    uint32_t v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}

std::optional<int64_t> signedIntegerOf(const Value& v) {
    if (auto n = v.asNumberObject()) return n->int64Value();
    if (auto i = v.asInt64()) return *i;
    if (auto i = v.asInt32()) return *i;
    if (auto u = v.asUInt32()) return int64_t{*u};
    return std::nullopt;
}

}  // namespace

SpaceWindows::SpaceWindows(Platform& platform)
    : platform_(platform),
      filtersChildWindows_(platform.system.operatingSystemMajorVersion() >= 27),
      hasWindowQueryFunctions_(
          std::all_of(kWindowQueryNames.begin(), kWindowQueryNames.end(),
                      [&](const char* n) { return platform.windowServer.hasEntryPoint(n); })),
      hasSetConnectionProperty_(platform.windowServer.hasEntryPoint("SLSSetConnectionProperty")) {}

std::string SpaceWindows::normalizedDisplayIdentifier(std::string_view identifier) {
    std::string_view s = trimWhitespace(identifier);
    while (!s.empty() && (s.front() == '{' || s.front() == '}')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == '{' || s.back() == '}')) s.remove_suffix(1);
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
    return out;
}

std::string SpaceWindows::displayIdentifier(const Value& value, int64_t fallbackIndex) {
    if (const std::string* s = value.asString()) {
        std::string_view t = trimWhitespace(*s);
        if (!t.empty()) return std::string(t);
    } else if (auto n = value.asNumberObject()) {
        return n->stringValue();
    } else if (auto u = value.asUUIDString()) {
        return *u;
    }
    return "Display " + std::to_string(fallbackIndex);
}

std::optional<uint64_t> SpaceWindows::spaceID(const Value& value) {
    if (auto u = value.asUInt64()) return *u;
    if (auto n = value.asNumberObject()) return n->uint64Value();
    if (auto i = value.asInt64(); i && *i >= 0) return static_cast<uint64_t>(*i);
    if (auto i = value.asInt32(); i && *i >= 0) return static_cast<uint64_t>(*i);
    if (auto u = value.asUInt32()) return uint64_t{*u};
    return std::nullopt;
}

std::optional<uint64_t> SpaceWindows::extractSpaceID(const Value& spaceDictionary) {
    for (const char* key : {"id64", "ManagedSpaceID", "id"}) {
        if (auto id = spaceID(spaceDictionary[key])) return id;
    }
    return std::nullopt;
}

std::vector<SpaceWindows::SpaceInfo> SpaceWindows::getSpaces(uint32_t connectionID) const {
    // Keep the answer alive while we read the dictionaries inside it.
    auto answer = platform_.windowServer.copyManagedDisplaySpaces(connectionID);
    if (!answer) return {};
    auto displays = answer->asDictionaryArray();
    if (!displays) return {};
    std::vector<SpaceInfo> out;
    for (size_t d = 0; d < displays->size(); ++d) {
        const Value::Dictionary& display = *(*displays)[d];
        std::string identifier =
            displayIdentifier(valueFor(display, "Display Identifier"), static_cast<int64_t>(d));
        auto spaces = valueFor(display, "Spaces").asDictionaryArray();
        if (!spaces) continue;
        for (size_t s = 0; s < spaces->size(); ++s) {
            const Value::Dictionary& space = *(*spaces)[s];
            auto id = spaceID(valueFor(space, "id64"));
            if (!id) id = spaceID(valueFor(space, "ManagedSpaceID"));
            if (!id) continue;
            out.push_back(SpaceInfo{static_cast<int64_t>(d), identifier, static_cast<int64_t>(s), *id,
                                    signedIntegerOf(valueFor(space, "type")).value_or(0)});
        }
    }
    return out;
}

std::vector<uint64_t> SpaceWindows::getActiveSpaceIDs(uint32_t connectionID) const {
    auto answer = platform_.windowServer.copyManagedDisplaySpaces(connectionID);
    std::vector<uint64_t> ids;
    if (answer) {
        if (const Value::Array* displays = answer->asArray(); displays && answer->asDictionaryArray()) {
            for (const Value& display : *displays) {
                const Value& current = display["Current Space"];
                std::optional<uint64_t> id;
                if (current.asDictionary()) id = extractSpaceID(current);
                if (!id) id = spaceID(current);
                if (!id) id = spaceID(display["Current Space ID"]);
                if (!id) {
                    if (const Value::Array* spaces = display["Spaces"].asArray();
                        spaces && display["Spaces"].asDictionaryArray()) {
                        for (const Value& space : *spaces) {
                            if (space["Current Space"].asBool() == true ||
                                space["isCurrent"].asBool() == true) {
                                id = extractSpaceID(space);
                                break;
                            }
                        }
                    }
                }
                if (id) ids.push_back(*id);
            }
        }
    }
    if (ids.empty()) return {platform_.windowServer.getActiveSpace(connectionID)};
    std::vector<uint64_t> unique;
    for (uint64_t id : ids) {
        if (std::find(unique.begin(), unique.end(), id) == unique.end()) unique.push_back(id);
    }
    return unique;
}

std::optional<uint64_t> SpaceWindows::currentSpaceOfEntry(const Value::Dictionary& display) {
    const Value& current = valueFor(display, "Current Space");
    if (current.asDictionary()) return extractSpaceID(current);
    return spaceID(valueFor(display, "Current Space ID"));
}

std::optional<SpaceWindows::DisplayActiveSpace> SpaceWindows::activeSpace(const Screen& screen,
                                                                          uint32_t connectionID) const {
    auto answer = platform_.windowServer.copyManagedDisplaySpaces(connectionID);
    if (!answer) return std::nullopt;
    auto displays = answer->asDictionaryArray();
    if (!displays || displays->empty()) return std::nullopt;
    auto result = [](std::optional<uint64_t> id) -> std::optional<DisplayActiveSpace> {
        if (!id) return std::nullopt;
        return DisplayActiveSpace{*id};
    };
    // One set of Spaces for all displays: its current Space is every screen's.
    if (displays->size() == 1) return result(currentSpaceOfEntry(*displays->front()));
    auto screens = platform_.displays.screens();
    for (size_t d = 0; d < displays->size(); ++d) {
        const Value::Dictionary& display = *(*displays)[d];
        std::string identifier =
            displayIdentifier(valueFor(display, "Display Identifier"), static_cast<int64_t>(d));
        auto matched = this->screen(identifier, screens);
        if (matched && *matched == screen) {
            if (auto r = result(currentSpaceOfEntry(display))) return r;
        }
    }
    return std::nullopt;
}

std::set<uint64_t> SpaceWindows::spaceIDs(uint32_t windowID, uint32_t connectionID) const {
    auto answer =
        platform_.windowServer.copySpacesForWindows(connectionID, 7, numberArray(std::vector{windowID}));
    std::set<uint64_t> out;
    if (!answer) return out;
    auto numbers = answer->asNumberArray();
    if (!numbers) return out;
    for (const NumberObject& n : *numbers) out.insert(n.uint64Value());
    return out;
}

std::map<uint32_t, uint32_t> SpaceWindows::parentWindowIDs(const std::vector<uint32_t>& windowIDs,
                                                           uint32_t connectionID) const {
    std::map<uint32_t, uint32_t> parents;
    if (!filtersChildWindows_ || windowIDs.empty() || !hasWindowQueryFunctions_) return parents;
    WindowServer& ws = platform_.windowServer;
    auto query =
        ws.windowQueryWindows(connectionID, numberArray(windowIDs), static_cast<uint32_t>(windowIDs.size()));
    if (!query) return parents;
    auto iterator = ws.windowQueryResultCopyWindows(*query);
    if (!iterator) return parents;
    while (ws.windowIteratorAdvance(*iterator)) {
        uint32_t parent = ws.windowIteratorGetParentID(*iterator);
        if (parent == 0) continue;
        parents[ws.windowIteratorGetWindowID(*iterator)] = parent;
    }
    return parents;
}

void SpaceWindows::moveWindowExclusively(uint32_t windowID, uint64_t spaceID) const {
    WindowServer& ws = platform_.windowServer;
    uint32_t connection = ws.mainConnectionID();
    Value windows = numberArray(std::vector{windowID});
    ws.addWindowsToSpaces(connection, windows, numberArray(std::vector{spaceID}));
    auto answer = ws.copySpacesForWindows(connection, 7, windows);
    if (!answer) return;
    auto numbers = answer->asNumberArray();
    if (!numbers) return;
    bool onTarget = false;
    std::vector<uint64_t> others;
    for (const NumberObject& n : *numbers) {
        uint64_t id = n.uint64Value();
        if (id == spaceID) {
            onTarget = true;
        } else if (std::find(others.begin(), others.end(), id) == others.end()) {
            others.push_back(id);
        }
    }
    // Only take the window off its other Spaces once it is known to be on the target; otherwise a
    // failed add would leave it on no Space at all.
    if (!onTarget || others.empty()) return;
    ws.removeWindowsFromSpaces(connection, windows, numberArray(others));
}

void SpaceWindows::setBottomEdgeReservation(uint64_t spaceID, double height) const {
    WindowServer& ws = platform_.windowServer;
    ws.spaceSetEdgeReservation(ws.mainConnectionID(), spaceID, 2, 0.0, 0.0, 0.0, height);
}

std::optional<uint32_t> SpaceWindows::displayID(const Screen& screen) {
    auto n = screen.deviceDescription["NSScreenNumber"].asNumberObject();
    if (!n) return std::nullopt;
    return n->uint32Value();
}

std::optional<Screen> SpaceWindows::screen(std::string_view matchingDisplayIdentifier,
                                           const std::vector<Screen>& screens) const {
    auto index = screenIndex(matchingDisplayIdentifier, screens);
    if (!index) return std::nullopt;
    return screens[*index];
}

std::optional<size_t> SpaceWindows::screenIndex(std::string_view matchingDisplayIdentifier,
                                                const std::vector<Screen>& screens) const {
    std::string id = normalizedDisplayIdentifier(matchingDisplayIdentifier);
    if (id.empty()) return std::nullopt;
    auto firstWithDisplay = [&](uint32_t display) -> std::optional<size_t> {
        for (size_t i = 0; i < screens.size(); ++i) {
            if (displayID(screens[i]) == display) return i;
        }
        return std::nullopt;
    };
    if (id == "MAIN" || id == "PRIMARY") return firstWithDisplay(platform_.displays.mainDisplayID());
    if (auto number = parseDisplayID(id)) return firstWithDisplay(*number);
    for (size_t i = 0; i < screens.size(); ++i) {
        auto display = displayID(screens[i]);
        if (!display) continue;
        auto uuid = platform_.displays.displayUUIDString(*display);
        if (uuid && normalizedDisplayIdentifier(*uuid) == id) return i;
    }
    return std::nullopt;
}

std::optional<size_t> SpaceWindows::screenIndex(const SpaceInfo& space,
                                                const std::vector<Screen>& screens) const {
    if (auto i = screenIndex(space.displayIdentifier, screens)) return i;
    if (space.displayIndex >= 0 && static_cast<size_t>(space.displayIndex) < screens.size()) {
        return static_cast<size_t>(space.displayIndex);
    }
    return std::nullopt;
}

std::optional<int> SpaceWindows::displayNumber(std::string_view forIdentifier) const {
    std::vector<uint32_t> displays;
    if (platform_.displays.getActiveDisplayList(32, displays) != 0) return std::nullopt;
    uint32_t main = platform_.displays.mainDisplayID();
    if (auto it = std::find(displays.begin(), displays.end(), main); it != displays.end()) {
        std::rotate(displays.begin(), it, it + 1);
    }
    std::string id = normalizedDisplayIdentifier(forIdentifier);
    for (size_t p = 0; p < displays.size(); ++p) {
        if (id == std::to_string(displays[p])) return static_cast<int>(p + 1);
        auto uuid = platform_.displays.displayUUIDString(displays[p]);
        if (uuid && normalizedDisplayIdentifier(*uuid) == id) return static_cast<int>(p + 1);
    }
    return std::nullopt;
}

double SpaceWindows::primaryScreenMaxY(const std::vector<Screen>& screens) const {
    if (screens.empty()) return 0.0;
    uint32_t main = platform_.displays.mainDisplayID();
    for (const Screen& s : screens) {
        if (displayID(s) == main) return s.frame.maxY();
    }
    return screens.front().frame.maxY();
}

}  // namespace qv
