#include "tracking/AXWindowID.h"

namespace qv {

AXGetWindowFunction lookUpAXGetWindow(Accessibility& ax) {
    if (!ax.hasEntryPoint("_AXUIElementGetWindow")) return {};
    return [&ax](const AXElement& element, uint32_t& id) { return ax.getWindow(element, id); };
}

}  // namespace qv
