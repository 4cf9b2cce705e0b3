#pragma once

#include "platform/ScreenCapture.h"

namespace qv {

class SimDesktop;

// Capture access answers from the desktop's one Screen Recording switch; asking while it is off
// counts a prompt and grants nothing.
class SimScreenCapture : public ScreenCapture {
  public:
    explicit SimScreenCapture(SimDesktop& sim) : sim_(sim) {}
    bool preflightScreenCaptureAccess() override;
    bool requestScreenCaptureAccess() override;
    int promptCount() const { return prompts_; }

  private:
    SimDesktop& sim_;
    int prompts_ = 0;
};

}  // namespace qv
