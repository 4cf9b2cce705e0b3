#include "tracking/AXRequestBudget.h"

namespace qv {

std::optional<std::vector<AXElement>> copyAXWindows(AXRequestBudget& budget, const AXElement& appElement) {
    Value list;
    if (budget.copyAttributeValue(appElement, "AXWindows", list) != kAXErrorSuccess) return std::nullopt;
    return list.asElementArray();
}

std::optional<AXElement> findAXWindow(AXRequestBudget& budget, const AXGetWindowFunction& axGetWindow,
                                      const AXElement& appElement, uint32_t windowID) {
    const auto windows = copyAXWindows(budget, appElement);
    if (!windows) return std::nullopt;
    const AXGetWindowFunction lookUp = budget.bounded(axGetWindow);
    for (const AXElement& element : *windows) {
        if (resolveAXWindowID(budget, lookUp, element) == windowID) return element;
    }
    return std::nullopt;
}

}  // namespace qv
