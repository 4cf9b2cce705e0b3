#pragma once

#include "platform/Dock.h"

namespace qv {

class SimDesktop;

// The Dock of the simulated desktop: it logs every notification it is sent, with its argument.
class SimDock : public Dock {
  public:
    explicit SimDock(SimDesktop& sim) : sim_(sim) {}
    bool hasEntryPoint(std::string_view name) override;
    void sendNotification(const std::string& name, int64_t argument) override;

  private:
    SimDesktop& sim_;
};

}  // namespace qv
