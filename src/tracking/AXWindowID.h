#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/Accessibility.h"

namespace qv {

// The private "_AXUIElementGetWindow", when the run-time lookup found it.
using AXGetWindowFunction = std::function<AXError(const AXElement&, uint32_t&)>;

// Looks "_AXUIElementGetWindow" up by name; empty when it is missing.
AXGetWindowFunction lookUpAXGetWindow(Accessibility& ax);

// The window-server id of an Accessibility window: the private lookup first, then the
// "AXWindowNumber" attribute as a number cut to 32 bits; 0 counts as none. Asked through `ax`: the
// Accessibility service, or anything that sends its requests (copyAttributeValue) on.
template <class AX>
std::optional<uint32_t> resolveAXWindowID(AX& ax, const AXGetWindowFunction& axGetWindow,
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

// The "AXWindows" of an application element: none when the request fails or gives no list of
// elements. Like every request to another application, it waits for the answer: call it on the
// application's worker.
std::optional<std::vector<AXElement>> copyAXWindows(Accessibility& ax, const AXElement& appElement);
// The first window element of the application with the window-server id; none without a match.
std::optional<AXElement> findAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                      const AXElement& appElement, uint32_t windowID);

}  // namespace qv
