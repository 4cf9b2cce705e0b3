// The bar model's refresh: the chips of every desktop, their groups and orders. It runs on every
// change of the window store, so it writes over the storage of the refresh before last instead of
// allocating anew, walks the store once, and decides an item's place before building the item.
#include <algorithm>
#include <limits>
#include <unordered_map>

#include "model/BarViewModel.h"

namespace qv {

namespace {

// Leaves `map` with an entry for each Space of the list, keeping the storage of those it had.
template <class Map>
void keepEntriesOf(Map& map, const std::vector<SpaceWindows::SpaceInfo>& spaceList) {
    std::vector<uint64_t> listed;
    listed.reserve(spaceList.size());
    for (const SpaceWindows::SpaceInfo& space : spaceList) listed.push_back(space.spaceID);
    std::sort(listed.begin(), listed.end());
    std::erase_if(map, [&](const auto& entry) {
        return !std::binary_search(listed.begin(), listed.end(), entry.first);
    });
    for (const SpaceWindows::SpaceInfo& space : spaceList) map[space.spaceID];
}

}  // namespace

void BarViewModel::refresh() {
    ++debugEventSequence;
    const uint32_t connection = platform_.windowServer.mainConnectionID();
    spaces = spaceWindows_.getSpaces(connection);
    indexDesktops(*spaces);
    activeSpaceID = platform_.windowServer.getActiveSpace(connection);

    FocusDecision focus =
        resolveFocus(pendingFocusedWindowID, windowStore->focusedWindowID(), windowStore->windows());
    pendingFocusedWindowID = focus.pendingAfterwards;
    publish(focus.published);
}

void BarViewModel::publish(std::optional<uint32_t> focused) {
    const std::vector<SpaceInfo>& spaceList = *spaces;
    focusedWindowID = focused;

    ChipMap chips = std::move(spareChips_);
    buildChips(chips, spaceList, focused);
    spareChips_ = chipsBySpace.exchange(std::move(chips));

    const bool grouped = settings_->data->groupWindowsByApp;
    if (chipOrderIsGrouped && *chipOrderIsGrouped != grouped) {
        chipOrderBySpace.clear();
        chipOrderIsGrouped.reset();
    }

    ItemMap items = std::move(spareItems_);
    keepEntriesOf(items, spaceList);
    for (auto& [spaceID, list] : items) {
        buildItems(chipsBySpace->at(spaceID), spaceID, spaceList, grouped, focused, list);
    }
    spareItems_ = displayItemsBySpace.exchange(std::move(items));
}

void BarViewModel::indexDesktops(const std::vector<SpaceInfo>& spaceList) {
    // Most refreshes list the same desktops as the last one: comparing costs less than indexing.
    if (spaceList == indexedSpaces_) return;
    indexedSpaces_ = spaceList;
    desktopOrdinals_.clear();
    // A desktop belongs to the display of its first listing; each display's desktops in their order.
    std::unordered_map<uint64_t, const std::string*> displayOf;
    std::map<std::string, std::vector<const SpaceInfo*>> byDisplay;
    for (const SpaceInfo& s : spaceList) {
        displayOf.emplace(s.spaceID, &s.displayIdentifier);
        byDisplay[s.displayIdentifier].push_back(&s);
    }
    for (auto& [display, desktops] : byDisplay) {
        std::stable_sort(desktops.begin(), desktops.end(), [](const SpaceInfo* a, const SpaceInfo* b) {
            return a->spaceIndex < b->spaceIndex;
        });
        const int ordinary = static_cast<int>(std::count_if(
            desktops.begin(), desktops.end(), [](const SpaceInfo* s) { return !s->isFullScreen(); }));
        int number = 0;
        for (const SpaceInfo* s : desktops) {
            if (!s->isFullScreen()) ++number;
            if (*displayOf.at(s->spaceID) != display) continue;
            desktopOrdinals_.try_emplace(
                s->spaceID,
                DesktopOrdinal{s->isFullScreen() ? std::nullopt : std::optional<int>(number), ordinary});
        }
    }
}

std::optional<BarViewModel::DesktopOrdinal> BarViewModel::desktopOrdinal(uint64_t spaceID) const {
    auto it = desktopOrdinals_.find(spaceID);
    if (it == desktopOrdinals_.end()) return std::nullopt;
    return it->second;
}

void BarViewModel::buildChips(ChipMap& chips, const std::vector<SpaceInfo>& spaceList,
                              std::optional<uint32_t> focused) {
    keepEntriesOf(chips, spaceList);
    // Each list is written from its start; what is left over at the end goes.
    struct Slot {
        std::vector<ChipData>* list;
        size_t used = 0;
    };
    std::vector<std::pair<uint64_t, Slot>> slots;  // by ascending Space id, as the map keeps them
    slots.reserve(chips.size());
    for (auto& [spaceID, list] : chips) slots.push_back({spaceID, Slot{&list}});

    // What a chip shows of its application, found once per process rather than once per window.
    struct AppFacts {
        const std::optional<std::string>* bundleID;
        std::shared_ptr<const Image> icon;
        std::optional<std::string> badge;
        bool wantsAttention = false;
    };
    std::unordered_map<int32_t, AppFacts> factsByPID;
    const auto& badges = *badgeService->badgesByBundleID;
    const auto& attention = *badgeService->attentionByBundleID;
    auto factsOf = [&](const TrackedWindow& w) -> const AppFacts& {
        auto [it, inserted] = factsByPID.try_emplace(w.pid);
        AppFacts& facts = it->second;
        // A process's windows share its bundle identifier, unless one was tracked before the
        // process could be looked up: such a window's facts are its own.
        if (!inserted && *facts.bundleID == w.bundleIdentifier) return facts;
        facts = AppFacts{&w.bundleIdentifier, resolveIcon(w), std::nullopt, false};
        if (w.bundleIdentifier) {
            if (auto b = badges.find(*w.bundleIdentifier); b != badges.end()) facts.badge = b->second;
            facts.wantsAttention = attention.contains(*w.bundleIdentifier);
        }
        return facts;
    };

    // One pass over the store, whose windows come in ascending id: each window's chip goes to the
    // list of each of its Spaces.
    for (const auto& [id, w] : windowStore->windows()) {
        const AppFacts* facts = nullptr;
        for (uint64_t spaceID : w.spaceIDs) {
            auto slot = std::lower_bound(slots.begin(), slots.end(), spaceID,
                                         [](const auto& entry, uint64_t key) { return entry.first < key; });
            if (slot == slots.end() || slot->first != spaceID) continue;
            if (!facts) facts = &factsOf(w);
            Slot& s = slot->second;
            if (s.used == s.list->size()) s.list->emplace_back();
            ChipData& chip = (*s.list)[s.used++];
            chip.id = w.windowID;
            chip.appName = w.appName;
            chip.bundleIdentifier = w.bundleIdentifier;
            chip.windowTitle = w.windowTitle;
            chip.icon = facts->icon;
            chip.isFocused = focused == w.windowID;
            chip.isMinimized = w.isMinimized;
            chip.badge = facts->badge;
            chip.wantsAttention = facts->wantsAttention;
        }
    }
    for (auto& [spaceID, slot] : slots) slot.list->resize(slot.used);
}

void BarViewModel::buildItems(const std::vector<ChipData>& chips, uint64_t spaceID,
                              const std::vector<SpaceInfo>& spaceList, bool grouped,
                              std::optional<uint32_t> focused, std::vector<DisplayItem>& items) {
    buildGroupedItems(chips, grouped);
    applySavedAppOrder(chips, spaceID, spaceList);
    applyUserChipOrder(chips, spaceID);

    // Built in their final places: the storage of each place tends to be of the same kind of item
    // as last time.
    size_t used = 0;
    for (const ItemPlan& plan : plans_) {
        if (used == items.size()) items.push_back(DisplayItem::single(chips[plan.chip]));
        DisplayItem& item = items[used++];
        if (plan.size == 1) {
            if (grouped) forgetGroupPreference(chips[plan.chip], spaceID);
            item.assignSingle(chips[plan.chip]);
        } else {
            item.assignGroup(
                [&](GroupedChipData& group) { fillGroup(group, chips, plan, focused, spaceID); });
        }
    }
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(used), items.end());
}

void BarViewModel::buildGroupedItems(const std::vector<ChipData>& chips, bool grouped) {
    plans_.clear();
    groupOf_.assign(chips.size(), 0);
    for (size_t i = 0; i < chips.size(); ++i) {
        size_t p = plans_.size();
        // A desktop shows few applications, so a scan of those seen so far finds a chip's group.
        if (grouped) {
            const std::string& key = chips[i].appKey();
            p = 0;
            while (p < plans_.size() && chips[plans_[p].chip].appKey() != key) ++p;
        }
        if (p == plans_.size()) {
            plans_.push_back(ItemPlan{p, i, 0, 0});
        }
        ++plans_[p].size;
        groupOf_[i] = p;
    }
}

void BarViewModel::forgetGroupPreference(const ChipData& chip, uint64_t spaceID) {
    if (!preferredWindowIDByGroupKey.empty())
        preferredWindowIDByGroupKey.erase(groupKey(spaceID, chip.appKey()));
}

void BarViewModel::fillGroup(GroupedChipData& group, const std::vector<ChipData>& chips, const ItemPlan& plan,
                             std::optional<uint32_t> focusedID, uint64_t spaceID) {
    members_.clear();
    for (size_t i = plan.chip; members_.size() < plan.size; ++i) {
        if (groupOf_[i] == plan.group) members_.push_back(&chips[i]);
    }
    const ChipData& first = *members_.front();
    auto memberWithID = [&](uint32_t id) -> const ChipData* {
        auto found =
            std::find_if(members_.begin(), members_.end(), [&](const ChipData* m) { return m->id == id; });
        return found == members_.end() ? nullptr : *found;
    };
    const ChipData* focusedMember = focusedID ? memberWithID(*focusedID) : nullptr;
    const ChipData* preferredMember = nullptr;
    if (focusedMember || !preferredWindowIDByGroupKey.empty()) {
        const std::string key = groupKey(spaceID, first.appKey());
        if (focusedMember) preferredWindowIDByGroupKey[key] = focusedMember->id;
        if (auto preferred = preferredWindowIDByGroupKey.find(key);
            preferred != preferredWindowIDByGroupKey.end()) {
            preferredMember = memberWithID(preferred->second);
            if (!preferredMember) preferredWindowIDByGroupKey.erase(preferred);
        }
    }
    const ChipData& title = focusedMember ? *focusedMember : preferredMember ? *preferredMember : first;
    const ChipData* front = focusedMember ? focusedMember : preferredMember;

    group.windowIDs.clear();
    for (const ChipData* m : members_) group.windowIDs.push_back(m->id);
    if (front && group.windowIDs.front() != front->id) {
        auto at = std::find(group.windowIDs.begin(), group.windowIDs.end(), front->id);
        std::rotate(group.windowIDs.begin(), at, at + 1);
    }
    group.id.assign(kGroupIDPrefix).append(first.appKey());
    group.appName = first.appName;
    group.bundleIdentifier = first.bundleIdentifier;
    group.icon = first.icon;
    group.badge = first.badge;
    group.displayTitle = title.windowTitle.empty() ? title.appName : title.windowTitle;
    group.windowCount = static_cast<int64_t>(members_.size());
    group.isFocused = focusedMember != nullptr;
    group.wantsAttention = first.wantsAttention;  // the application's request, as on its chips
}

void BarViewModel::applySavedAppOrder(const std::vector<ChipData>& chips, uint64_t spaceID,
                                      const std::vector<SpaceInfo>& spaceList) {
    const auto& orders = settings_->data->chipOrderByDesktop;
    if (orders.empty()) return;
    auto key = desktopKey(spaceID, spaceList);
    if (!key) return;
    auto found = orders.find(*key);
    if (found == orders.end() || found->second.empty()) return;
    const std::vector<std::string>& saved = found->second;

    // The sorted positions of a desktop's order are kept until the order changes.
    SavedOrderIndex& index = savedOrderIndex_[*key];
    if (index.saved != saved) {
        index.saved = saved;
        index.positions.clear();
        for (size_t i = 0; i < saved.size(); ++i)
            index.positions.emplace_back(saved[i], static_cast<int64_t>(i));
        std::stable_sort(index.positions.begin(), index.positions.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    for (ItemPlan& plan : plans_) {
        const std::string& appKey = chips[plan.chip].appKey();
        auto p = std::lower_bound(index.positions.begin(), index.positions.end(), appKey,
                                  [](const auto& entry, const std::string& k) { return entry.first < k; });
        const bool known = p != index.positions.end() && p->first == appKey;
        plan.rank = known ? p->second : std::numeric_limits<int64_t>::max();
    }
    std::stable_sort(plans_.begin(), plans_.end(),
                     [](const ItemPlan& a, const ItemPlan& b) { return a.rank < b.rank; });
}

bool BarViewModel::planHasID(const ItemPlan& plan, const std::vector<ChipData>& chips,
                             std::string_view id) const {
    const ChipData& chip = chips[plan.chip];
    if (plan.size == 1) return windowIDOfSingleItemID(id) == chip.id;
    const std::string_view prefix = kGroupIDPrefix;
    return id.size() == prefix.size() + chip.appKey().size() && id.starts_with(prefix) &&
           id.substr(prefix.size()) == chip.appKey();
}

void BarViewModel::applyUserChipOrder(const std::vector<ChipData>& chips, uint64_t spaceID) {
    auto found = chipOrderBySpace.find(spaceID);
    if (found == chipOrderBySpace.end() || found->second.empty()) return;
    // The dragged order first, each item once; the others after it as they stand.
    std::vector<ItemPlan> ordered;
    ordered.reserve(plans_.size());
    std::vector<bool> taken(plans_.size(), false);
    for (const std::string& id : found->second) {
        for (size_t i = 0; i < plans_.size(); ++i) {
            if (!planHasID(plans_[i], chips, id)) continue;
            if (!taken[i]) {
                taken[i] = true;
                ordered.push_back(plans_[i]);
            }
            break;
        }
    }
    for (size_t i = 0; i < plans_.size(); ++i) {
        if (!taken[i]) ordered.push_back(plans_[i]);
    }
    plans_ = std::move(ordered);
}

}  // namespace qv
