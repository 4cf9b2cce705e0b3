#pragma once

#include "platform/Event.h"

namespace qv {

class Application;
class Panel;

// The standard key equivalents of our own key windows: Command-W closes the window; Command-C,
// -V, -X and -A send copy, paste, cut and select all to its first responder. Only the Command bit
// is read, and the whole of the characters (ignoring modifiers) must be exactly one of those
// lower-case letters, so Command-Shift-W ("W") is not handled. True when the chord was handled.
bool handleStandardKeyEquivalent(const Event& event, Panel& window, Application& application);

}  // namespace qv
