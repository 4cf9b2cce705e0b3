#pragma once

// The list's rules of keyboard selection and of where a dragged row goes (List.cpp).

#include <optional>
#include <vector>

#include "ui/Node.h"

namespace qv {

// Keyboard moves of a list's selection: the next or previous selectable row, none at the end.
std::optional<size_t> nextSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current);
std::optional<size_t> previousSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current);
// Where a row dragged to `pointerY` (content coordinates of the list, y down) goes among the other
// rows: before the first other row whose middle lies below the pointer, else after them all.
size_t listInsertionIndex(const std::vector<ListRow>& rows, size_t draggedIndex, double pointerY);

}  // namespace qv
