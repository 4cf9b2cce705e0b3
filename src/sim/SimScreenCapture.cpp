#include "sim/SimScreenCapture.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "sim/SimDesktop.h"

namespace qv {

namespace {

constexpr uint32_t kWindowBody = 0xF5F5F7;
constexpr uint32_t kTitleBar = 0xE3E3E6;
constexpr uint32_t kOverlay = 0x2C2C2E;
constexpr double kTitleBarHeight = 28;

uint32_t opaque(uint32_t rgb) {
    return (rgb << 8) | 0xFF;
}

// The three window buttons on a title band `rows` high, at `scale` pixels per point across.
void paintWindowButtons(Image& image, double scale, int rows) {
    static constexpr uint32_t kLights[] = {0xFF5F57, 0xFEBC2E, 0x28C840};
    const double radius = std::min(6 * scale, rows / 2.5);
    if (radius < 1) return;
    const double cy = rows / 2.0;
    for (int i = 0; i < 3; ++i) {
        const double cx = (16 + 20 * i) * scale;
        for (int y = std::max(0, int(cy - radius)); y < std::min(rows, int(cy + radius) + 1); ++y) {
            for (int x = std::max(0, int(cx - radius)); x < std::min(image.width, int(cx + radius) + 1);
                 ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                if (dx * dx + dy * dy <= radius * radius)
                    image.pixels[size_t(y) * size_t(image.width) + x] = opaque(kLights[i]);
            }
        }
    }
}

// The size of a screenshot asked at `width` x `height` points (0: the content's own): as asked,
// scaled down to the display's backing store when larger, keeping its proportions, as the capture
// service does. None when there is nothing to capture.
std::optional<std::pair<int, int>> screenshotSize(double width, double height, const SimDisplay& display) {
    if (!(width >= 1) || !(height >= 1)) return std::nullopt;
    const double maxWidth = display.frame.width() * display.backingScaleFactor;
    const double maxHeight = display.frame.height() * display.backingScaleFactor;
    const double scale = std::min({1.0, maxWidth / width, maxHeight / height});
    if (!(scale > 0)) return std::nullopt;
    return std::pair{std::max(1, static_cast<int>(width * scale)), std::max(1, static_cast<int>(height * scale))};
}

}  // namespace

SimScreenCapture::SimScreenCapture(SimDesktop& sim) : sim_(sim) {}

std::shared_ptr<Queue> SimScreenCapture::queue() {
    std::lock_guard lock(mutex_);
    if (!queue_) queue_ = sim_.runtime().makeSerialQueue("com.apple.screencapturekit", QoS::userInitiated);
    return queue_;
}

bool SimScreenCapture::preflightScreenCaptureAccess() {
    return sim_.screenRecordingGranted();
}

bool SimScreenCapture::requestScreenCaptureAccess() {
    sim_.record("CGRequestScreenCaptureAccess");
    if (sim_.screenRecordingGranted()) return true;
    ++prompts_;
    return false;
}

void SimScreenCapture::getShareableContent(bool excludeDesktopWindows, bool onScreenWindowsOnly,
                                           ShareableContentHandler completion) {
    sim_.record("SCShareableContent.get",
                Value::array({Value::boolean(excludeDesktopWindows), Value::boolean(onScreenWindowsOnly)}));
    CaptureFault fault;
    {
        std::lock_guard lock(mutex_);
        ++listings_;
        fault = listingFault_;
    }
    if (!sim_.screenRecordingGranted() || fault == CaptureFault::fail) {
        const char* error = sim_.screenRecordingGranted()
                                ? "The listing failed"
                                : "The user declined TCCs for application, window, display capture";
        deliver(fault, std::nullopt,
                [completion = std::move(completion), error] { completion(std::nullopt, error); });
        return;
    }
    SCShareableContent content;
    {
        std::lock_guard lock(sim_.worldMutex());
        const std::vector<Screen> screens = sim_.screens();
        for (const SimDisplay& d : sim_.displays()) {
            if (screens.empty()) break;
            content.displays.push_back(
                {d.id, static_cast<int>(d.frame.width()), static_cast<int>(d.frame.height()), d.frame});
            if (!excludeDesktopWindows) {
                content.windows.push_back(
                    {kDesktopWindowIDBase + d.id, 0, "Desktop Picture", d.frame, kDesktopWindowLevel, true});
            }
        }
        for (const SimWindow* w : sim_.windowsInListOrder()) {
            const bool onScreen = sim_.isOnScreen(*w);
            if (onScreenWindowsOnly && !onScreen) continue;
            content.windows.push_back({w->id, w->ownerPID, w->title, w->frame, w->layer, onScreen});
        }
    }
    deliver(fault, std::nullopt, [completion = std::move(completion), content = std::move(content)] {
        completion(content, std::nullopt);
    });
}

void SimScreenCapture::captureImage(const SCContentFilter& filter, const SCStreamConfiguration& configuration,
                                    CaptureImageHandler completion) {
    sim_.record("SCScreenshotManager.captureImage",
                Value::array({Value::number(static_cast<int>(configuration.width)),
                              Value::number(static_cast<int>(configuration.height))}));
    std::optional<uint32_t> windowID;
    if (filter.window) windowID = filter.window->windowID;
    CaptureFault fault;
    {
        std::lock_guard lock(mutex_);
        captures_.push_back({windowID.value_or(0), configuration.width, configuration.height});
        auto own = windowID ? windowFaults_.find(*windowID) : windowFaults_.end();
        fault = own != windowFaults_.end() ? own->second : captureFault_;
    }
    std::string error;
    std::shared_ptr<const Image> image;
    if (!sim_.screenRecordingGranted()) {
        error = "The user declined TCCs for application, window, display capture";
    } else if (fault == CaptureFault::fail) {
        error = "The capture failed";
    } else {
        image = render(filter, configuration, error);
    }
    deliver(fault, windowID, [completion = std::move(completion), image, error] {
        completion(image, image ? std::nullopt : std::optional<std::string>(error));
    });
}

void SimScreenCapture::deliver(CaptureFault fault, std::optional<uint32_t> windowID,
                               std::function<void()> answer) {
    switch (fault) {
        case CaptureFault::neverAnswer:
            return;
        case CaptureFault::hold: {
            std::lock_guard lock(mutex_);
            held_.push_back({windowID, std::move(answer)});
            return;
        }
        case CaptureFault::answerTwice:
            queue()->async(answer);
            queue()->async(std::move(answer));
            return;
        case CaptureFault::none:
        case CaptureFault::fail:
            queue()->async(std::move(answer));
            return;
    }
}

void SimScreenCapture::setCaptureFault(CaptureFault fault) {
    std::lock_guard lock(mutex_);
    captureFault_ = fault;
}

void SimScreenCapture::setWindowCaptureFault(uint32_t windowID, CaptureFault fault) {
    std::lock_guard lock(mutex_);
    if (fault == CaptureFault::none) {
        windowFaults_.erase(windowID);
    } else {
        windowFaults_[windowID] = fault;
    }
}

void SimScreenCapture::setListingFault(CaptureFault fault) {
    std::lock_guard lock(mutex_);
    listingFault_ = fault;
}

void SimScreenCapture::releaseHeldCaptures(std::optional<uint32_t> windowID) {
    std::vector<Held> released;
    {
        std::lock_guard lock(mutex_);
        auto kept = std::stable_partition(held_.begin(), held_.end(),
                                          [&](const Held& h) { return windowID && h.windowID != windowID; });
        std::move(kept, held_.end(), std::back_inserter(released));
        held_.erase(kept, held_.end());
    }
    for (Held& h : released) queue()->async(std::move(h.answer));
}

size_t SimScreenCapture::heldCaptureCount() const {
    std::lock_guard lock(mutex_);
    return held_.size();
}

size_t SimScreenCapture::captureCount() const {
    std::lock_guard lock(mutex_);
    return captures_.size();
}

size_t SimScreenCapture::listingCount() const {
    std::lock_guard lock(mutex_);
    return listings_;
}

std::vector<WorldCapture> SimScreenCapture::captures() const {
    std::lock_guard lock(mutex_);
    return captures_;
}

std::shared_ptr<Image> SimScreenCapture::newImage(int width, int height, uint32_t rgba) const {
    const size_t count = size_t(width) * size_t(height);
    std::vector<uint32_t> pixels;
    {
        std::lock_guard lock(pixelPool_->mutex);
        if (auto it = pixelPool_->bySize.find(count); it != pixelPool_->bySize.end() && !it->second.empty()) {
            pixels = std::move(it->second.back());
            it->second.pop_back();
            pixelPool_->bytes -= count * sizeof(uint32_t);
        }
    }
    pixels.assign(count, rgba);
    auto* image = new Image{width, height, std::move(pixels), {}};
    // The picture's memory goes back to the pool when its last holder lets go, wherever that is.
    return std::shared_ptr<Image>(image, [pool = std::weak_ptr<PixelPool>(pixelPool_)](Image* gone) {
        if (auto p = pool.lock()) {
            const size_t bytes = gone->pixels.size() * sizeof(uint32_t);
            std::lock_guard lock(p->mutex);
            if (p->bytes + bytes <= PixelPool::kMaxBytes) {
                p->bytes += bytes;
                p->bySize[gone->pixels.size()].push_back(std::move(gone->pixels));
            }
        }
        delete gone;
    });
}

std::shared_ptr<const Image> SimScreenCapture::render(const SCContentFilter& filter,
                                                      const SCStreamConfiguration& config,
                                                      std::string& error) const {
    std::lock_guard lock(sim_.worldMutex());
    if (filter.window) {
        const SimWindow* w = sim_.window(filter.window->windowID);
        if (!w) {
            error = "The window is gone";
            return nullptr;
        }
        // A window is captured at most at the size of the display that shows most of it.
        const SimDisplay* shownOn = sim_.displayContaining(w->frame);
        const auto size = shownOn ? screenshotSize(config.width > 0 ? config.width : w->frame.width(),
                                                   config.height > 0 ? config.height : w->frame.height(),
                                                   *shownOn)
                                  : std::nullopt;
        if (!size) {
            error = "Nothing to capture";
            return nullptr;
        }
        const auto [width, height] = *size;
        auto image = newImage(width, height, opaque(w->layer ? kOverlay : kWindowBody));
        const int titleRows =
            w->layer ? 0
                     : std::min(height, static_cast<int>(std::ceil(kTitleBarHeight * height /
                                                                   std::max(1.0, w->frame.height()))));
        for (int y = 0; y < titleRows; ++y) {
            std::fill_n(image->pixels.begin() + static_cast<ptrdiff_t>(y) * width, width, opaque(kTitleBar));
        }
        if (titleRows > 0) paintWindowButtons(*image, width / std::max(1.0, w->frame.width()), titleRows);
        return image;
    }
    if (!filter.display) {
        error = "No content";
        return nullptr;
    }
    const SimDisplay* d = sim_.display(filter.display->displayID);
    if (!d) {
        error = "The display is gone";
        return nullptr;
    }
    Rect source = config.sourceRect.size.width > 0 && config.sourceRect.size.height > 0
                      ? config.sourceRect
                      : Rect{0, 0, d->frame.width(), d->frame.height()};
    const auto size = screenshotSize(config.width > 0 ? config.width : source.width(),
                                     config.height > 0 ? config.height : source.height(), *d);
    if (!size) {
        error = "Nothing to capture";
        return nullptr;
    }
    const auto [width, height] = *size;
    auto excluded = [&](uint32_t id) {
        return std::any_of(filter.excludedWindows.begin(), filter.excludedWindows.end(),
                           [id](const SCWindow& w) { return w.windowID == id; });
    };
    const bool showWallpaper = !excluded(kDesktopWindowIDBase + d->id);
    const SimWallpaper wallpaper = sim_.wallpaper(d->id);
    std::vector<const SimWindow*> shown;  // front first
    for (const SimWindow* w : sim_.windowsInListOrder()) {
        if (sim_.isOnScreen(*w) && !excluded(w->id) && w->frame.intersects(d->frame)) shown.push_back(w);
    }
    auto image = newImage(width, height, 0x000000FF);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Point local{source.minX() + (x + 0.5) * source.width() / width,
                              source.minY() + (y + 0.5) * source.height() / height};
            const Point global{d->frame.minX() + local.x, d->frame.minY() + local.y};
            uint32_t rgb = 0;
            bool painted = false;
            for (const SimWindow* w : shown) {
                if (!w->frame.contains(global)) continue;
                rgb = w->layer                                       ? kOverlay
                      : global.y < w->frame.minY() + kTitleBarHeight ? kTitleBar
                                                                     : kWindowBody;
                painted = true;
                break;
            }
            if (!painted && showWallpaper)
                rgb = wallpaper.colourAt(local.x / d->frame.width(), local.y / d->frame.height());
            if (painted || showWallpaper) image->pixels[static_cast<size_t>(y) * width + x] = opaque(rgb);
        }
    }
    return image;
}

}  // namespace qv
