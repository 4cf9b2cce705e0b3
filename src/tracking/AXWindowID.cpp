#include "tracking/AXWindowID.h"

namespace qv {

AXGetWindowFunction lookUpAXGetWindow(Accessibility& ax) {
    if (!ax.hasEntryPoint("_AXUIElementGetWindow")) return {};
    return [&ax](const AXElement& element, uint32_t& id) { return ax.getWindow(element, id); };
}

std::optional<std::vector<AXElement>> copyAXWindows(Accessibility& ax, const AXElement& appElement) {
    Value list;
    if (ax.copyAttributeValue(appElement, "AXWindows", list) != kAXErrorSuccess) return std::nullopt;
    return list.asElementArray();
}

std::optional<AXElement> findAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                      const AXElement& appElement, uint32_t windowID) {
    const auto windows = copyAXWindows(ax, appElement);
    if (!windows) return std::nullopt;
    for (const AXElement& element : *windows) {
        if (resolveAXWindowID(ax, axGetWindow, element) == windowID) return element;
    }
    return std::nullopt;
}

}  // namespace qv
