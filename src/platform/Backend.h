#pragma once

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
};

std::unique_ptr<Backend> makeBackend(Runtime& runtime);

}  // namespace qv
