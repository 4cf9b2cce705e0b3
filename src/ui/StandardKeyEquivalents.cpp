#include "ui/StandardKeyEquivalents.h"

#include "platform/Application.h"
#include "ui/Panel.h"

namespace qv {

bool handleStandardKeyEquivalent(const Event& event, Panel& window, Application& application) {
    if (!(event.modifierFlags & modifierflags::kCommand)) return false;
    if (event.type != EventType::keyDown && event.type != EventType::keyUp) return false;  // no characters
    const std::string& characters = event.characters;
    if (characters == "w") {
        window.close();
        return true;
    }
    const char* action = characters == "c"   ? "copy:"
                         : characters == "v" ? "paste:"
                         : characters == "x" ? "cut:"
                         : characters == "a" ? "selectAll:"
                                             : nullptr;
    return action && application.sendAction(action, &window);
}

}  // namespace qv
