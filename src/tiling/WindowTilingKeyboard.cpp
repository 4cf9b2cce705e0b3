// The keyboard side of tiling: the snap keys act on the focused window of the frontmost application.
#include <cmath>

#include "tiling/WindowTilingController.h"

namespace qv {

namespace {

using Kind = WindowTilingKeyTap::Action::Kind;

Rect unitRect(Kind kind) {
    switch (kind) {
        case Kind::left:
            return {0, 0, 0.5, 1};
        case Kind::right:
            return {0.5, 0, 0.5, 1};
        case Kind::top:
            return {0, 0, 1, 0.5};
        case Kind::bottom:
            return {0, 0.5, 1, 0.5};
        default:
            return {0, 0, 1, 1};
    }
}

}  // namespace

void WindowTilingController::handleKeyAction(WindowTilingKeyTap::Action action) {
    if (!isSupported(platform_.system) || !settings().keyboardSnapEnabled ||
        !settings_->keyboardSnapModifiers())
        return;
    if (session_) return;  // a drag is under way
    auto frontmost = platform_.workspace.frontmostApplication();
    if (!frontmost) return;
    std::weak_ptr<WindowTilingController> weak = weak_from_this();
    ax_->focusedWindow(frontmost->processIdentifier,
                       [weak, action](std::optional<WindowTilingAX::FocusedWindow> window) {
                           auto self = weak.lock();
                           // A drag that began meanwhile wins over the keys.
                           if (!self || !window || self->session_) return;
                           if (action.kind == Kind::moveToDesktop) {
                               // Any window may go to another desktop, tileable or not.
                               if (self->onMoveToDesktop)
                                   self->onMoveToDesktop(window->key.windowID, action.desktop);
                               return;
                           }
                           if (window->canTile) self->snapFocusedWindow(*window, action);
                       });
}

void WindowTilingController::snapFocusedWindow(const WindowTilingAX::FocusedWindow& window,
                                               WindowTilingKeyTap::Action action) {
    const auto display = displayID(window.frame);
    if (!display || !tilingAllowed(*display)) return;
    const auto g = geometry(*display);
    if (!g) return;
    const Rect& usable = g->usable;
    const uint32_t id = window.key.windowID;
    // Still at its snapped size, the window's own size is the one it had before the snap.
    Size natural = window.frame.size;
    if (auto record = snapRecords_.find(id);
        record && std::abs(window.frame.width() - record->snappedFrame.width()) < kNaturalSizeTolerance &&
        std::abs(window.frame.height() - record->snappedFrame.height()) < kNaturalSizeTolerance)
        natural = record->naturalSize;
    if (action.kind == Kind::centre) {
        const double width = std::min(natural.width, usable.width());
        const double height = std::min(natural.height, usable.height());
        const Rect frame{std::round(usable.midX() - width * 0.5), std::round(usable.midY() - height * 0.5),
                         width, height};
        snapRecords_.remove(id);
        ax_->setFrame(frame, window.key);
        return;
    }
    const Rect frame = SnapLayout::frame(unitRect(action.kind), usable, tileMargin());
    ax_->setFrame(frame, window.key, recordingCompletion(id, frame, natural));
}

}  // namespace qv
