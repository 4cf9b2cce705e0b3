#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "dispatch/Runtime.h"
#include "platform/ScreenCapture.h"
#include "sim/WorldDriver.h"

namespace qv {

class SimDesktop;

// Capture access answers from the desktop's one Screen Recording switch; asking while it is off
// counts a prompt and grants nothing. Listings hold the windows as they are at the request.
// Screenshots are drawn from the world at the moment of the call: a display's desktop picture with
// the windows not left out painted over it, or a window on its own (its body, title band and window
// buttons) at exactly the asked size. Answers come on a queue of their own. Any thread may ask.
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
    // Every screenshot; the screenshots of one window (none clears it); the listings.
    void setCaptureFault(CaptureFault fault);
    void setWindowCaptureFault(uint32_t windowID, CaptureFault fault);
    void setListingFault(CaptureFault fault);
    // Answers what is held, in the order it was asked: everything, or one window's screenshots.
    void releaseHeldCaptures(std::optional<uint32_t> windowID = std::nullopt);
    size_t heldCaptureCount() const;
    size_t captureCount() const;
    size_t listingCount() const;
    // Every screenshot asked for, oldest first; a display's has window 0.
    std::vector<WorldCapture> captures() const;

  private:
    struct Held {
        std::optional<uint32_t> windowID;  // none: a listing or a display's screenshot
        std::function<void()> answer;
    };
    std::shared_ptr<Queue> queue();
    // Answers as the fault says: now (on the queue), twice, held, or never.
    void deliver(CaptureFault fault, std::optional<uint32_t> windowID, std::function<void()> answer);
    std::shared_ptr<const Image> render(const SCContentFilter& filter, const SCStreamConfiguration& config,
                                        std::string& error) const;
    // A picture of that size whose pixels may be memory a gone picture left, filled with `rgba`.
    std::shared_ptr<Image> newImage(int width, int height, uint32_t rgba) const;

    // The pixel memory of pictures that are gone, kept for the next ones of the same size: the
    // capture service of the real system hands over pictures in memory of its own, while fresh
    // memory for every screenshot would cost this process what the real one never pays.
    struct PixelPool {
        static constexpr size_t kMaxBytes = size_t(256) << 20;
        std::mutex mutex;
        std::map<size_t, std::vector<std::vector<uint32_t>>> bySize;
        size_t bytes = 0;
    };
    std::shared_ptr<PixelPool> pixelPool_ = std::make_shared<PixelPool>();

    SimDesktop& sim_;
    int prompts_ = 0;
    std::shared_ptr<Queue> queue_;
    mutable std::mutex mutex_;
    CaptureFault captureFault_ = CaptureFault::none;
    CaptureFault listingFault_ = CaptureFault::none;
    std::map<uint32_t, CaptureFault> windowFaults_;
    std::vector<Held> held_;
    std::vector<WorldCapture> captures_;
    size_t listings_ = 0;
};

}  // namespace qv
