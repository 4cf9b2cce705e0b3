#pragma once

#include <cstdint>
#include <optional>
#include <unordered_set>

#include "platform/AXElement.h"
#include "platform/Geometry.h"
#include "platform/Workspace.h"
#include "tracking/AXWindowMetadata.h"
#include "tracking/CGWindowInfo.h"
#include "tracking/TrackedWindow.h"

namespace qv {

// The smallest window the bar shows: window-server bounds at least this many points each way.
inline constexpr double kMinimumWindowSize = 40.0;

// A window-list entry that passed the window-list tests, with what the tests read of it.
struct ListedWindow {
    uint32_t windowID = 0;
    int32_t pid = 0;
    Rect bounds;
};

// The window-list tests as each pass applies them: layer 0, an owner among the eligible
// processes, bounds of at least kMinimumWindowSize each way, and the two corners where the passes
// part (see the presets below).
struct WindowListTests {
    // A fully transparent window (an alpha present and not above 0) is left out.
    bool alpha = true;
    // A width or height that is not a number fails the size test instead of passing it.
    bool unmeasurableFails = true;
};

// The rescans of one process and of the tracked processes.
inline constexpr WindowListTests kRescanListTests{};
// The Space listing of the sole-window pass lets a size that is not a number pass, as the start-up
// scan and a created window do.
inline constexpr WindowListTests kSoleWindowListTests{.alpha = true, .unmeasurableFails = false};
// The start-up scan and a created window take a window whatever its alpha; a rescan keeps such a
// window as present, being on layer 0, but does not add one.
inline constexpr WindowListTests kFirstLookListTests{.alpha = false, .unmeasurableFails = false};

// The entry of `windowID` when it passes `tests` for an owner among `eligible`.
std::optional<ListedWindow> listedWindow(uint32_t windowID, const CGWindowInfo& info,
                                         const std::unordered_set<int32_t>& eligible, WindowListTests tests);

// Where a window's application name comes from when its entry has no owner name.
enum class AppNameFallback {
    // "Unknown": the start-up scan names a window from its entry alone.
    unknown,
    // The running application's localised name, else "Unknown": the passes after start-up.
    runningApplication,
};

// The window a listed entry stands for before its application says more of it: the owner's name,
// the application's bundle identifier, the entry's window name (or none) as its title and its
// bounds as its frame; not minimised and on no Space. `app`: the entry's running application.
TrackedWindow trackedWindowOf(const ListedWindow& listed, const CGWindowInfo& info,
                              const std::optional<RunningApplication>& app, AppNameFallback fallback);

// Whether the title the application's list gives is taken.
enum class ListedTitle {
    // The list's title, else the window name; read live only when the list gave none.
    taken,
    // The start-up scan reads every title live, the list's left unused.
    readLive,
};

// What the application's list says of a built window: its minimised flag and, when `title` takes
// it, its title. The element to read the title from live, when there is one to read.
std::optional<AXElement> describeFromList(TrackedWindow& window, const AXWindowList& list, ListedTitle title);

}  // namespace qv
