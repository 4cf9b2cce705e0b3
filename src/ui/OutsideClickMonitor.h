#pragma once

#include <functional>
#include <memory>

#include "platform/Windowing.h"

namespace qv {

class Panel;

// Closes a transient panel when the user presses a mouse button outside it, in our windows (a
// local monitor, which passes the event on) or in another application's (a global monitor): left,
// right and other button presses while the panel is visible and the pointer lies outside its frame.
// A left press on a control that toggles the panel does not close it, so that the control's own
// action can; the owner says which presses those are. Monitors that cannot be installed are
// left out. Main thread.
class OutsideClickMonitor {
  public:
    // Whether a left press at the point (AppKit's global space) is on a control that toggles the panel.
    using TogglePressTest = std::function<bool(Point screenLocation)>;

    OutsideClickMonitor(Windowing& windowing, std::weak_ptr<Panel> panel,
                        std::function<void()> onOutsideClick, TogglePressTest isTogglePress = nullptr);
    ~OutsideClickMonitor();
    OutsideClickMonitor(const OutsideClickMonitor&) = delete;
    OutsideClickMonitor& operator=(const OutsideClickMonitor&) = delete;

    // May change while the monitor lives (the controls move with their panels).
    void setTogglePressTest(TogglePressTest test);
    MonitorToken localMonitor() const { return local_; }
    MonitorToken globalMonitor() const { return global_; }

  private:
    struct Handlers;
    Windowing& windowing_;
    std::shared_ptr<Handlers> handlers_;
    MonitorToken local_ = 0;
    MonitorToken global_ = 0;
};

}  // namespace qv
