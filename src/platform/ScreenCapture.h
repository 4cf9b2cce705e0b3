#pragma once

namespace qv {

// Screen capture (CoreGraphics' capture access calls; ScreenCaptureKit's capture comes later).
class ScreenCapture {
  public:
    virtual ~ScreenCapture() = default;
    // CGPreflightScreenCaptureAccess: whether our process may record the screen; never prompts.
    virtual bool preflightScreenCaptureAccess() = 0;
    // CGRequestScreenCaptureAccess: asks the user when access is missing; the answer only counts
    // once the user has granted it in System Settings.
    virtual bool requestScreenCaptureAccess() = 0;
};

}  // namespace qv
