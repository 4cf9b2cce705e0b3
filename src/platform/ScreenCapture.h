#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Image.h"

namespace qv {

// --- ScreenCaptureKit's values ---

// SCDisplay: a display that can be captured; its size in points.
struct SCDisplay {
    uint32_t displayID = 0;
    int width = 0;
    int height = 0;
    Rect frame;  // window-server space
};

// SCWindow: a window that can be captured or left out of a capture.
struct SCWindow {
    uint32_t windowID = 0;
    int32_t owningPID = 0;
    std::string title;
    Rect frame;  // window-server space
    int32_t windowLayer = 0;
    bool isOnScreen = false;
};

// SCShareableContent: what our process may capture.
struct SCShareableContent {
    std::vector<SCDisplay> displays;
    std::vector<SCWindow> windows;
};

// SCContentFilter: one display without the given windows, or one window on its own.
struct SCContentFilter {
    std::optional<SCDisplay> display;
    std::vector<SCWindow> excludedWindows;
    std::optional<SCWindow> window;

    // SCContentFilter(display:excludingWindows:)
    static SCContentFilter displayExcludingWindows(SCDisplay display, std::vector<SCWindow> excluded) {
        SCContentFilter f;
        f.display = std::move(display);
        f.excludedWindows = std::move(excluded);
        return f;
    }
    // SCContentFilter(desktopIndependentWindow:)
    static SCContentFilter desktopIndependentWindow(SCWindow window) {
        SCContentFilter f;
        f.window = std::move(window);
        return f;
    }
};

// SCCaptureResolutionType
enum class SCCaptureResolution { automatic = 0, best = 1, nominal = 2 };

// SCStreamConfiguration, the members a screenshot uses.
struct SCStreamConfiguration {
    Rect sourceRect;  // points of the display, origin at its top-left corner; empty: all of it
    int width = 0;    // pixels of the image
    int height = 0;
    bool scalesToFit = false;
    bool showsCursor = true;
    SCCaptureResolution captureResolution = SCCaptureResolution::automatic;
    std::string colorSpaceName;  // "kCGColorSpaceSRGB"
};

// Screen capture: CoreGraphics' access calls and ScreenCaptureKit's screenshots.
class ScreenCapture {
  public:
    using ShareableContentHandler =
        std::function<void(std::optional<SCShareableContent> content, std::optional<std::string> error)>;
    using CaptureImageHandler =
        std::function<void(std::shared_ptr<const Image> image, std::optional<std::string> error)>;

    virtual ~ScreenCapture() = default;
    // CGPreflightScreenCaptureAccess: whether our process may record the screen; never prompts.
    virtual bool preflightScreenCaptureAccess() = 0;
    // CGRequestScreenCaptureAccess: asks the user when access is missing; the answer only counts
    // once the user has granted it in System Settings.
    virtual bool requestScreenCaptureAccess() = 0;

    // SCShareableContent.getExcludingDesktopWindows(_:onScreenWindowsOnly:completionHandler:). The
    // answer comes later on a queue of the framework's, never inside the call: the content, or an
    // error (no permission).
    virtual void getShareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly,
                                     ShareableContentHandler completion) = 0;
    // SCScreenshotManager.captureImage(contentFilter:configuration:completionHandler:): an image of
    // the configuration's size, or an error; later, on a queue of the framework's.
    virtual void captureImage(const SCContentFilter& filter, const SCStreamConfiguration& configuration,
                              CaptureImageHandler completion) = 0;
};

}  // namespace qv
