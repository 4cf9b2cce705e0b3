#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "platform/Platform.h"

namespace qv {

// The one worker through which window tiling reads and changes other applications' windows. Every
// Accessibility call runs on its own serial queue, never on the main thread; callers are on the
// main thread and get their answers on the main queue. Live frames of a resize drag are coalesced
// per window: only the newest frame of each window is written.
class WindowTilingAX : public std::enable_shared_from_this<WindowTilingAX> {
  public:
    struct WindowKey {
        int32_t pid = 0;
        uint32_t windowID = 0;
        friend bool operator==(const WindowKey&, const WindowKey&) = default;
        friend auto operator<=>(const WindowKey&, const WindowKey&) = default;
    };
    struct Eligibility {
        bool canTile = false;
    };
    struct FocusedWindow {
        WindowKey key;
        Rect frame;
        bool canTile = false;
    };

    static constexpr float kMessagingTimeout = 0.25f;
    static constexpr const char* kQueueLabel = "com.quillvorn.windowTiling.ax";

    static std::shared_ptr<WindowTilingAX> create(Platform& platform);
    WindowTilingAX(const WindowTilingAX&) = delete;
    WindowTilingAX& operator=(const WindowTilingAX&) = delete;

    // Whether the window may be tiled: a standard window whose size can be set and that is not
    // full screen.
    void checkEligibility(WindowKey key, std::function<void(Eligibility)> completion);
    // The focused window of an application, or none.
    void focusedWindow(int32_t pid, std::function<void(std::optional<FocusedWindow>)> completion);
    // Drops the window's pending live frame, writes size, position and size again, then answers the
    // frame read back (none when the window or its frame cannot be read).
    void setFrame(Rect frame, WindowKey key, std::function<void(std::optional<Rect>)> completion = {});
    // Size, then position; nothing else.
    void setFrameDuringDrag(Rect frame, WindowKey key);
    // Records the newest frame of each window and makes sure one pass writes them.
    void submitLiveFrames(const std::map<WindowKey, Rect>& frames);
    // Forgets the pending live frames, then the found windows and verdicts.
    void reset();

    // For tests: whether a pass is queued or running.
    bool isDrainScheduled() const;

  private:
    explicit WindowTilingAX(Platform& platform);

    // --- On the worker's queue only ---
    std::optional<AXElement> element(const WindowKey& key);
    bool queueCanTile(const WindowKey& key);
    std::optional<FocusedWindow> queueFocusedWindow(int32_t pid);
    void queueApply(const Rect& frame, const WindowKey& key, bool keepFarEdges);
    void drainLiveFrames();
    std::optional<Rect> frame(const AXElement& element);
    std::optional<bool> boolAttribute(const std::string& name, const AXElement& element);
    bool hasGetWindow();
    void write(const AXElement& element, const char* attribute, const Rect& frame);

    template <class Work>
    void onQueue(Work&& work);

    Accessibility& ax_;
    std::shared_ptr<Queue> mainQueue_;
    std::shared_ptr<Queue> queue_;
    std::map<WindowKey, AXElement> elements_;
    std::map<WindowKey, bool> tileable_;
    std::optional<bool> getWindowAvailable_;  // "_AXUIElementGetWindow", looked up on first use

    mutable std::mutex lock_;
    std::map<WindowKey, Rect> pendingFrames_;  // drained in key order
    bool isDrainScheduled_ = false;
};

}  // namespace qv
