#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace qv {

// The platform implementation the program is linked with. The composition root asks for it and
// uses only the Platform bundle.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual Platform& platform() = 0;
    // A picture of every display as the user sees it, as an SVG document.
    virtual std::string screenshotSvg() = 0;
    // Steps of the world the program runs against, for the program's own demonstration: a running
    // application opens a window (in window-server coordinates; its id, 0 when it cannot) or
    // closes one. A backend that cannot change its world answers 0 and false.
    virtual uint32_t openApplicationWindow(int32_t /*pid*/, const std::string& /*title*/, Rect /*frame*/) {
        return 0;
    }
    virtual bool closeApplicationWindow(uint32_t /*windowID*/) { return false; }
};

std::unique_ptr<Backend> makeBackend(Runtime& runtime);

}  // namespace qv
