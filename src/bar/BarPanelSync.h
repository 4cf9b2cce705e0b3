#pragma once

namespace qv {

// What the start-up asks of the bar manager when the screens change, the computer wakes or the
// active desktop changes: bring the set of bar panels in line with the desktops, and put every
// panel where its screen now is.
class BarPanelSync {
  public:
    virtual ~BarPanelSync() = default;
    virtual void syncPanels() = 0;
    virtual void repositionPanels() = 0;
};

}  // namespace qv
