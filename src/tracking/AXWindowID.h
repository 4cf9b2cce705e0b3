#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/Accessibility.h"

namespace qv {

// The private "_AXUIElementGetWindow", when the run-time lookup found it.
using AXGetWindowFunction = std::function<AXError(const AXElement&, uint32_t&)>;

// Looks "_AXUIElementGetWindow" up by name; empty when it is missing.
AXGetWindowFunction lookUpAXGetWindow(Accessibility& ax);

// The window-server id of an Accessibility window: the private lookup first, then the
// "AXWindowNumber" attribute as a number cut to 32 bits; 0 counts as none.
std::optional<uint32_t> resolveAXWindowID(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                          const AXElement& element);

}  // namespace qv
