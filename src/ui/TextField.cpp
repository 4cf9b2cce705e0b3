// The text field: where it stands and how it edits its text. Its drawing steps are the emitting
// step's (drawTextField); its region takes the focus on a click and the keys while focused.
#include <algorithm>

#include "platform/TextServices.h"
#include "ui/LayoutPass.h"

namespace qv {

namespace {

// Typing at the end of the text: printable characters are added, Delete removes the last
// character as the reader sees one (a whole flag, a letter with its marks), Return submits and
// Escape leaves; arrows and command keys are not the field's.
KeyHandler textEditing(Binding<std::string> text, std::function<void()> submit, std::function<void()> exit) {
    return [text, submit, exit](uint16_t key, const std::string& chars, uint64_t mods) {
        if (key == keycodes::kReturn) {
            if (submit) submit();
            return true;
        }
        if (key == keycodes::kEscape) {
            if (!exit) return false;
            exit();
            return true;
        }
        if (mods & (modifierflags::kCommand | modifierflags::kControl)) return false;
        if (key >= keycodes::kLeftArrow && key <= keycodes::kUpArrow) return false;
        if (!text) return false;
        if (key == keycodes::kDelete) {
            text.set(TextServices::droppingLastCharacter(text.get()));
            return true;
        }
        bool printable = !chars.empty() && std::none_of(chars.begin(), chars.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
        });
        if (!printable) return false;
        text.set(text.get() + chars);
        return true;
    };
}

}  // namespace

void LayoutPass::placeTextField(const RNode& n, const Rect& frame, Context ctx) {
    const Element::Extras& x = n.el->extras();
    const std::string value = x.textBinding ? x.textBinding.get() : std::string();
    drawTextField(n, frame, ctx, value, result_.focusedPath == n.path());
    HitRegion r;
    r.focusable = true;
    r.cursor = Cursor::iBeam;
    r.keyHandler = textEditing(x.textBinding, x.onSubmit, x.onExitCommand);
    if (auto focus = x.focusBinding) r.onFocusChange = [focus](bool on) { focus.set(on); };
    r.text = x.textBinding;
    emitRegion(n, frame, ctx, std::move(r));
}

}  // namespace qv
