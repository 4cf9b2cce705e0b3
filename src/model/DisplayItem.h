#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "model/ChipData.h"
#include "model/GroupedChipData.h"

namespace qv {

// One item of a bar: a window chip or an application group chip. Its id, unique within a desktop,
// keys every chip order: "s-" and the window id, or the group's id.
class DisplayItem {
  public:
    static DisplayItem single(ChipData chip) {
        std::string id = "s-" + std::to_string(chip.id);
        return DisplayItem(std::move(chip), std::move(id));
    }
    static DisplayItem group(GroupedChipData group) {
        std::string id = group.id;
        return DisplayItem(std::move(group), std::move(id));
    }

    // Rewrite the item in place as a chip, or as a group that `fill` completes (its id included),
    // keeping the storage the item already has where the kind stays the same.
    void assignSingle(const ChipData& chip) {
        if (ChipData* c = std::get_if<ChipData>(&value_)) {
            *c = chip;
        } else {
            value_.emplace<ChipData>(chip);
        }
        id_.assign("s-").append(std::to_string(chip.id));
    }
    template <class Fill>
    void assignGroup(Fill&& fill) {
        GroupedChipData* g = std::get_if<GroupedChipData>(&value_);
        if (!g) g = &value_.emplace<GroupedChipData>();
        fill(*g);
        id_ = g->id;
    }

    const std::string& id() const { return id_; }
    bool isSingle() const { return std::holds_alternative<ChipData>(value_); }
    bool isGroup() const { return !isSingle(); }
    // The chip of a single item, or none.
    const ChipData* chip() const { return std::get_if<ChipData>(&value_); }
    // The group of a group item, or none.
    const GroupedChipData* groupData() const { return std::get_if<GroupedChipData>(&value_); }
    // The app key of the chip or of the group.
    const std::string& appKey() const {
        if (const ChipData* c = chip()) return c->appKey();
        return std::get<GroupedChipData>(value_).appKey();
    }

  private:
    template <class T>
    DisplayItem(T value, std::string id) : value_(std::move(value)), id_(std::move(id)) {}

    std::variant<ChipData, GroupedChipData> value_;
    std::string id_;
};

}  // namespace qv
