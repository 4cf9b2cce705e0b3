#pragma once

#include <string>

#include "platform/Updater.h"

namespace qv {

class SimDesktop;

// The update framework: an updater that can be made to fail its start, and whose can-check flag
// is true once it has started, unless checking is blocked (as while a check runs).
class SimUpdater : public Updater {
  public:
    explicit SimUpdater(SimDesktop& sim) : sim_(sim) {}
    bool startUpdater(std::string& error) override;
    Published<bool>& canCheckForUpdates() override { return canCheck_; }
    void checkForUpdates() override;

    // Set to make the next starts fail with this description.
    std::string startError;
    bool isStarted() const { return started_; }
    int checkCount() const { return checks_; }
    void setCheckingBlocked(bool blocked);

  private:
    SimDesktop& sim_;
    Published<bool> canCheck_{false};
    bool started_ = false;
    bool blocked_ = false;
    int checks_ = 0;
};

}  // namespace qv
