#include "ui/OutsideClickMonitor.h"

#include "ui/Panel.h"

namespace qv {

struct OutsideClickMonitor::Handlers {
    Windowing& windowing;
    std::weak_ptr<Panel> panel;
    std::function<void()> onOutsideClick;
    TogglePressTest isTogglePress;

    void handle(const Event& event) {
        auto p = panel.lock();
        if (!p || !p->isVisible()) return;
        const Point where = windowing.mouseLocation();
        if (p->frame().contains(where)) return;
        if (event.type == EventType::leftMouseDown && isTogglePress && isTogglePress(where)) return;
        // A copy: the call may end the panel, and this monitor with it.
        if (auto call = onOutsideClick) call();
    }
};

OutsideClickMonitor::OutsideClickMonitor(Windowing& windowing, std::weak_ptr<Panel> panel,
                                         std::function<void()> onOutsideClick, TogglePressTest isTogglePress)
    : windowing_(windowing),
      handlers_(std::make_shared<Handlers>(
          Handlers{windowing, std::move(panel), std::move(onOutsideClick), std::move(isTogglePress)})) {
    const EventMask presses =
        EventType::leftMouseDown | EventType::rightMouseDown | EventType::otherMouseDown;
    std::weak_ptr<Handlers> weak = handlers_;
    local_ = windowing_.addLocalMonitor(presses, [weak](const Event& e) -> std::optional<Event> {
        if (auto h = weak.lock()) h->handle(e);
        return e;
    });
    global_ = windowing_.addGlobalMonitor(presses, [weak](const Event& e) {
        if (auto h = weak.lock()) h->handle(e);
    });
}

OutsideClickMonitor::~OutsideClickMonitor() {
    if (global_) windowing_.removeMonitor(global_);
    if (local_) windowing_.removeMonitor(local_);
}

void OutsideClickMonitor::setTogglePressTest(TogglePressTest test) {
    handlers_->isTogglePress = std::move(test);
}

}  // namespace qv
