#pragma once

#include "ui/Node.h"

namespace qv {

// The platform's live translucent blur in a view tree. It fills the space it is offered and always
// shows the material's active look, whether or not its window is key or the application active.
struct VisualEffectBlur {
    Material material = Material::hudWindow;
    BlendingMode blendingMode = BlendingMode::behindWindow;

    Node body() const { return MaterialView(material, blendingMode); }
};

}  // namespace qv
