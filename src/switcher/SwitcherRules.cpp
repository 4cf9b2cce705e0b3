#include "switcher/SwitcherRules.h"

#include <algorithm>
#include <climits>
#include <unordered_map>

#include "switcher/WindowSwitcherKeyTap.h"
#include "tracking/SpaceWindows.h"

namespace qv {

SwitcherTrigger switcherTrigger(const KeyboardShortcut& shortcut) {
    const uint32_t m = shortcut.modifiers;
    const bool accepted = shortcut.keyCode != WindowSwitcherKeyTap::kEscapeKeyCode && !(m & carbon::kShift) &&
                          holdsCommandOptionOrControl(shortcut);
    if (!accepted) return SwitcherTrigger{};
    CGEventFlags flags = 0;
    if (m & carbon::kCommand) flags |= eventflags::kCommand;
    if (m & carbon::kOption) flags |= eventflags::kAlternate;
    if (m & carbon::kControl) flags |= eventflags::kControl;
    return SwitcherTrigger{shortcut.keyCode, flags};
}

int initialSelection(int count, bool backwards, std::optional<uint32_t> focusedWindowID,
                     std::optional<uint32_t> firstEntryID) {
    if (backwards) return count - 1;
    return focusedWindowID && focusedWindowID == firstEntryID && count > 1 ? 1 : 0;
}

int movedSelection(int current, int delta, int count, bool wrap) {
    if (count <= 0) return current;
    const int target = current + delta;
    if (wrap) return ((target % count) + count) % count;
    return target < 1 ? 0 : std::min(count - 1, target);
}

std::vector<uint32_t> captureOrder(const std::vector<SwitcherEntry>& entries, int selectedIndex) {
    std::vector<uint32_t> ids;
    const int n = static_cast<int>(entries.size());
    if (n == 0) return ids;
    const int start = std::clamp(selectedIndex, 0, n - 1);
    for (int k = 0; k < n; ++k) {
        const SwitcherEntry& e = entries[static_cast<size_t>((start + k) % n)];
        if (!e.isMinimized) ids.push_back(e.id);
    }
    return ids;
}

Point windowServerPoint(Point fromAppKit, const std::vector<Screen>& screens, uint32_t mainDisplayID) {
    const Screen* primary = nullptr;
    for (const Screen& s : screens) {
        if (SpaceWindows::displayID(s) == mainDisplayID) {
            primary = &s;
            break;
        }
    }
    if (!primary && !screens.empty()) primary = &screens.front();
    if (!primary) return Point{fromAppKit.x, -fromAppKit.y};
    return Point{fromAppKit.x, primary->frame.height() - fromAppKit.y};
}

namespace {

// Recent entries by their place in the history; the others slotted in before the first recent
// entry that stands further back in the stack. Sorted by index, with each entry's keys found once.
std::vector<SwitcherEntry> historyOrder(std::vector<SwitcherEntry> group,
                                        const std::vector<uint32_t>& history,
                                        const std::map<uint32_t, int>& stackIndexByID) {
    std::unordered_map<uint32_t, size_t> rankByID;
    for (size_t i = 0; i < history.size(); ++i) rankByID.emplace(history[i], i);
    std::vector<std::optional<size_t>> rank(group.size());
    std::vector<std::optional<int>> stack(group.size());
    std::vector<size_t> inHistory, others;
    for (size_t i = 0; i < group.size(); ++i) {
        if (auto r = rankByID.find(group[i].id); r != rankByID.end()) rank[i] = r->second;
        if (auto s = stackIndexByID.find(group[i].id); s != stackIndexByID.end()) stack[i] = s->second;
        (rank[i] ? inHistory : others).push_back(i);
    }
    std::stable_sort(inHistory.begin(), inHistory.end(),
                     [&](size_t a, size_t b) { return *rank[a] < *rank[b]; });
    std::stable_sort(others.begin(), others.end(), [&](size_t a, size_t b) {
        return stack[a].value_or(INT_MAX) < stack[b].value_or(INT_MAX);
    });

    // Only the recent entries that are stacked anchor the others, so where another entry goes
    // depends on them alone: before the first whose stack index exceeds its own, which is the first
    // place where the deepest index of the anchors so far exceeds it. Entries bound for the same
    // place keep their sorted order; those with no place go last, in the same order.
    std::vector<int> deepestSoFar(inHistory.size());
    int deepest = -1;
    for (size_t k = 0; k < inHistory.size(); ++k) {
        if (auto s = stack[inHistory[k]]) deepest = std::max(deepest, *s);
        deepestSoFar[k] = deepest;
    }
    std::vector<std::vector<size_t>> before(inHistory.size());
    std::vector<size_t> last;
    for (size_t i : others) {
        const size_t at =
            stack[i]
                ? static_cast<size_t>(std::upper_bound(deepestSoFar.begin(), deepestSoFar.end(), *stack[i]) -
                                      deepestSoFar.begin())
                : inHistory.size();
        (at < inHistory.size() ? before[at] : last).push_back(i);
    }
    std::vector<SwitcherEntry> out;
    out.reserve(group.size());
    for (size_t k = 0; k < inHistory.size(); ++k) {
        for (size_t i : before[k]) out.push_back(std::move(group[i]));
        out.push_back(std::move(group[inHistory[k]]));
    }
    for (size_t i : last) out.push_back(std::move(group[i]));
    return out;
}

}  // namespace

std::vector<SwitcherEntry> switcherOrder(std::vector<SwitcherEntry> entries,
                                         const std::vector<uint32_t>& recency,
                                         const std::map<uint32_t, int>& stackIndexByID,
                                         std::optional<uint32_t> focusedWindowID) {
    std::vector<SwitcherEntry> shown;
    std::vector<SwitcherEntry> minimized;
    for (SwitcherEntry& e : entries) (e.isMinimized ? minimized : shown).push_back(std::move(e));
    std::vector<SwitcherEntry> out = historyOrder(std::move(shown), recency, stackIndexByID);
    for (SwitcherEntry& e : historyOrder(std::move(minimized), recency, stackIndexByID))
        out.push_back(std::move(e));
    if (focusedWindowID) {
        auto it = std::find_if(out.begin(), out.end(),
                               [&](const SwitcherEntry& e) { return e.id == *focusedWindowID; });
        if (it != out.end() && it != out.begin()) std::rotate(out.begin(), it, it + 1);
    }
    return out;
}

}  // namespace qv
