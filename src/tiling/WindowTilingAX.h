#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "platform/Platform.h"

namespace qv {

// How window tiling reads and changes other applications' windows. Every Accessibility call about a
// window runs on its application's worker (the platform's per-application workers), in the order
// asked, never on the main thread, so a hung application stalls only what is asked of it; callers
// are on the main thread and get their answers on the main queue. Live frames of a resize drag are
// coalesced per window: only the newest frame of each window is written, and each application's
// frames are written by its own worker.
//
// Found windows and verdicts are shared by the workers under `cacheLock_`; an entry of an
// application is only made on that application's worker, and cleared there too while it runs (a
// reset clears an ended application's at once), and the lock is never held while an application is
// asked.
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

    // For tests: whether a pass is queued or running, for any application or for one.
    bool isDrainScheduled() const;
    bool isDrainScheduled(int32_t pid) const;

  private:
    explicit WindowTilingAX(Platform& platform);

    // --- On the worker of the key's (or pid's) application only ---
    std::optional<AXElement> element(const WindowKey& key);
    bool queueCanTile(const WindowKey& key);
    std::optional<FocusedWindow> queueFocusedWindow(int32_t pid);
    void queueApply(const Rect& frame, const WindowKey& key, bool keepFarEdges);
    void drainLiveFrames(int32_t pid);
    void forget(int32_t pid);
    std::optional<Rect> frame(const AXElement& element);
    std::optional<bool> boolAttribute(const std::string& name, const AXElement& element);
    bool hasGetWindow();
    void write(const AXElement& element, const char* attribute, const Rect& frame);

    // Runs `work` with the worker (none once it is gone) on the application's worker.
    template <class Work>
    void onWorker(int32_t pid, Work&& work);
    // The same, then `answer` with its result on the main queue.
    template <class Work, class Answer>
    void onWorker(int32_t pid, Work&& work, Answer&& answer);
    void noteAsked(int32_t pid);

    Accessibility& ax_;
    AppWorkers& workers_;
    std::once_flag getWindowLookup_;
    bool getWindowAvailable_ = false;  // "_AXUIElementGetWindow", looked up on first use

    std::mutex cacheLock_;
    std::map<WindowKey, AXElement> elements_;
    std::map<WindowKey, bool> tileable_;

    mutable std::mutex lock_;
    std::map<WindowKey, Rect> pendingFrames_;  // by application, then window
    std::set<int32_t> drainScheduled_;         // applications with a pass queued or running
    std::set<int32_t> askedSinceReset_;        // applications whose caches a reset must clear
};

}  // namespace qv
