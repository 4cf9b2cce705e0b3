#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

namespace qv {

class WorldDriver;

// The platform implementation the program is linked with. The composition root asks for it and
// uses only the Platform bundle.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual Platform& platform() = 0;
    // A picture of every display as the user sees it, as an SVG document.
    virtual std::string screenshotSvg() = 0;
    // The world the program runs against, for scenario scripts; none on a backend whose world
    // cannot be driven from the program.
    virtual WorldDriver* world() { return nullptr; }
};

// A backend whose world starts empty: no display, no other application.
std::unique_ptr<Backend> makeBackend(Runtime& runtime);

}  // namespace qv
