#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/ScreenCapture.h"
#include "platform/dispatch/Runtime.h"

namespace qv {

class SimDesktop;

// Capture access answers from the desktop's one Screen Recording switch; asking while it is off
// counts a prompt and grants nothing. Screenshots are drawn from the world at the moment of the
// call: a display's desktop picture with the windows not left out painted over it, or a window on
// its own. Answers come on a queue of their own.
class SimScreenCapture : public ScreenCapture {
  public:
    // The window id of a display's desktop-picture window, listed when desktop windows are asked for.
    static constexpr uint32_t kDesktopWindowIDBase = 0x7F000000;
    static constexpr int32_t kDesktopWindowLevel = -2147483623;

    explicit SimScreenCapture(SimDesktop& sim);
    bool preflightScreenCaptureAccess() override;
    bool requestScreenCaptureAccess() override;
    int promptCount() const { return prompts_; }

    void getShareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly,
                             ShareableContentHandler completion) override;
    void captureImage(const SCContentFilter& filter, const SCStreamConfiguration& configuration,
                      CaptureImageHandler completion) override;

    // --- Faults ---
    bool failCaptures = false;  // every screenshot answers with an error
    bool holdCaptures = false;  // screenshots are answered only by releaseHeldCaptures()
    void releaseHeldCaptures();
    size_t heldCaptureCount() const;
    size_t captureCount() const;

  private:
    std::shared_ptr<Queue> queue();
    std::shared_ptr<const Image> render(const SCContentFilter& filter, const SCStreamConfiguration& config,
                                        std::string& error) const;

    SimDesktop& sim_;
    int prompts_ = 0;
    std::shared_ptr<Queue> queue_;
    mutable std::mutex mutex_;
    std::vector<std::function<void()>> held_;
    size_t captures_ = 0;
};

}  // namespace qv
