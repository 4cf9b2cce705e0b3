#include "tracking/AXWindowID.h"

namespace qv {

AXGetWindowFunction lookUpAXGetWindow(Accessibility& ax) {
    if (!ax.hasEntryPoint("_AXUIElementGetWindow")) return {};
    return [&ax](const AXElement& element, uint32_t& id) { return ax.getWindow(element, id); };
}

std::optional<uint32_t> resolveAXWindowID(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                          const AXElement& element) {
    if (axGetWindow) {
        uint32_t id = 0;
        if (axGetWindow(element, id) == kAXErrorSuccess && id != 0) return id;
    }
    Value number;
    if (ax.copyAttributeValue(element, "AXWindowNumber", number) == kAXErrorSuccess) {
        if (auto n = number.asNumberObject(); n && n->uint32Value() != 0) return n->uint32Value();
    }
    return std::nullopt;
}

}  // namespace qv
