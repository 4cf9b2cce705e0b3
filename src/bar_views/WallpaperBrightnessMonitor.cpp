#include "bar_views/WallpaperBrightnessMonitor.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

namespace qv {

namespace {

std::shared_ptr<WallpaperBrightnessMonitor>& sharedSlot() {
    static std::shared_ptr<WallpaperBrightnessMonitor> instance;
    return instance;
}

}  // namespace

// One measurement: the verdicts it started from, what it has found so far, and whether a newer one
// took its place. Touched by one step at a time, in turn on the capture queue and the main queue.
struct WallpaperBrightnessMonitor::Measurement {
    explicit Measurement(std::map<uint32_t, bool> previous) : previous(std::move(previous)) {}
    const std::map<uint32_t, bool> previous;
    std::atomic<bool> cancelled{false};
    std::vector<SCDisplay> displays;
    std::vector<SCWindow> windows;
    size_t next = 0;
    std::map<uint32_t, bool> result;
};

std::shared_ptr<WallpaperBrightnessMonitor> WallpaperBrightnessMonitor::create(Platform& platform) {
    return std::make_shared<WallpaperBrightnessMonitor>(Token{}, platform);
}

WallpaperBrightnessMonitor* WallpaperBrightnessMonitor::shared() {
    return sharedSlot().get();
}

void WallpaperBrightnessMonitor::setShared(std::shared_ptr<WallpaperBrightnessMonitor> monitor) {
    sharedSlot() = std::move(monitor);
}

WallpaperBrightnessMonitor::WallpaperBrightnessMonitor(Token, Platform& platform)
    : platform_(platform), watchQueue_(platform.runtime.makeSerialQueue(kWatchQueueLabel, QoS::utility)) {
    const std::string base =
        platform.fileSystem.homeDirectoryForCurrentUser() + "/Library/Application Support";
    folders_ = {base + "/com.apple.wallpaper/Store", base + "/Dock"};
}

WallpaperBrightnessMonitor::~WallpaperBrightnessMonitor() {
    if (pendingRefresh_) pendingRefresh_->cancel();
    if (refreshTask_) refreshTask_->cancelled = true;
    for (Watch& w : watches_) {
        if (w.source) w.source->cancel();
    }
}

void WallpaperBrightnessMonitor::start() {
    if (std::exchange(started_, true)) return;
    std::weak_ptr<WallpaperBrightnessMonitor> weak = weak_from_this();
    auto refreshing = [weak](const Notification&) {
        if (auto self = weak.lock()) self->refresh();
    };
    auto main = platform_.runtime.mainQueue();
    observers_.push_back(platform_.workspace.notificationCenter().addObserver(
        notifications::kWorkspaceActiveSpaceDidChange, main, refreshing));
    observers_.push_back(platform_.notifications.addObserver(
        notifications::kApplicationDidChangeScreenParameters, main, refreshing));
    startWallpaperStoreWatch();
    refresh();
}

bool WallpaperBrightnessMonitor::isLight(std::optional<uint32_t> displayID) const {
    if (!displayID) return false;
    auto it = lightByDisplay_.find(*displayID);
    return it != lightByDisplay_.end() && it->second;
}

// --- Folder watches ---

void WallpaperBrightnessMonitor::startWallpaperStoreWatch() {
    for (size_t i = 0; i < folders_.size(); ++i) watchFolder(i);
}

void WallpaperBrightnessMonitor::watchFolder(size_t index) {
    FileSystem& files = platform_.fileSystem;
    if (watches_[index].source || !files.isDirectory(folders_[index])) return;
    const int32_t descriptor = files.openForEvents(folders_[index]);
    if (descriptor < 0) return;
    auto source = files.makeFileSystemObjectSource(descriptor, kWatchedEvents, watchQueue_);
    const uint64_t generation = nextWatchGeneration_++;
    std::weak_ptr<WallpaperBrightnessMonitor> weak = weak_from_this();
    auto main = platform_.runtime.mainQueue();
    source->setEventHandler([weak, main, index, generation](uint32_t events) {
        main->async([weak, index, generation, events] {
            if (auto self = weak.lock()) self->handleFolderEvents(index, generation, events);
        });
    });
    source->setCancelHandler([&files, descriptor] { files.closeDescriptor(descriptor); });
    source->resume();
    watches_[index] = Watch{descriptor, std::move(source), generation};
}

void WallpaperBrightnessMonitor::handleFolderEvents(size_t index, uint64_t generation, uint32_t events) {
    Watch& watch = watches_[index];
    // A folder deleted or renamed away is not the folder at that path any more: watch the path
    // again once something is there.
    if (watch.source && watch.generation == generation &&
        (events & (vnodeevent::kDelete | vnodeevent::kRename))) {
        watch.source->cancel();
        watch = Watch{};
    }
    scheduleDebouncedRefresh();
}

void WallpaperBrightnessMonitor::scheduleDebouncedRefresh() {
    if (pendingRefresh_) pendingRefresh_->cancel();
    std::weak_ptr<WallpaperBrightnessMonitor> weak = weak_from_this();
    pendingRefresh_ = platform_.runtime.mainQueue()->asyncAfter(kFolderDebounce, [weak] {
        if (auto self = weak.lock()) self->refresh();
    });
}

// --- Measuring ---

void WallpaperBrightnessMonitor::refresh() {
    if (refreshTask_) refreshTask_->cancelled = true;
    if (started_) startWallpaperStoreWatch();  // folders that came back
    auto measurement = std::make_shared<Measurement>(lightByDisplay_);
    refreshTask_ = measurement;
    std::weak_ptr<WallpaperBrightnessMonitor> weak = weak_from_this();
    platform_.screenCapture.getShareableContent(
        true, true,
        [weak, measurement](std::optional<SCShareableContent> content, std::optional<std::string>) {
            auto self = weak.lock();
            // Without content (no permission, or an error) the verdicts stay as they are.
            if (!self || !content || measurement->cancelled) return;
            measurement->displays = std::move(content->displays);
            measurement->windows = std::move(content->windows);
            self->captureNext(measurement);
        });
}

void WallpaperBrightnessMonitor::captureNext(const std::shared_ptr<Measurement>& m) {
    std::weak_ptr<WallpaperBrightnessMonitor> weak = weak_from_this();
    if (m->next >= m->displays.size()) {
        platform_.runtime.mainQueue()->async([weak, m] {
            if (auto self = weak.lock()) self->finish(m);
        });
        return;
    }
    const SCDisplay& display = m->displays[m->next];
    auto record = [m, id = display.displayID](std::optional<double> lum) {
        auto previous = m->previous.find(id);
        const std::optional<bool> before =
            previous == m->previous.end() ? std::nullopt : std::optional<bool>(previous->second);
        if (lum) {
            m->result[id] = verdict(before, *lum);
        } else if (before) {
            m->result[id] = *before;  // a missed reading keeps the verdict
        }
        ++m->next;
    };
    auto config = stripConfiguration(display.width, display.height);
    if (!config) {
        record(std::nullopt);
        captureNext(m);
        return;
    }
    platform_.screenCapture.captureImage(
        SCContentFilter::displayExcludingWindows(display, m->windows), *config,
        [weak, m, record](std::shared_ptr<const Image> image, std::optional<std::string>) {
            auto self = weak.lock();
            if (!self || m->cancelled) return;
            record(image ? luminance(*image) : std::nullopt);
            self->captureNext(m);
        });
}

void WallpaperBrightnessMonitor::finish(const std::shared_ptr<Measurement>& m) {
    if (m->cancelled || m->result == lightByDisplay_) return;
    lightByDisplay_ = m->result;
    platform_.notifications.post(kDidChangeNotification);
}

// --- The rules ---

bool WallpaperBrightnessMonitor::verdict(std::optional<bool> previous, double luminance) {
    if (!previous) return luminance > kFirstReadingThreshold;
    if (luminance > kLightAbove) return true;
    if (luminance < kDarkBelow) return false;
    return *previous;
}

std::optional<SCStreamConfiguration> WallpaperBrightnessMonitor::stripConfiguration(double width,
                                                                                    double height) {
    if (width < 1 || height < 1) return std::nullopt;
    const double strip = std::max(kLeastStripHeight, kStripShare * height);
    const double scale = std::min(1.0, kGreatestCaptureWidth / width);
    SCStreamConfiguration config;
    config.sourceRect = Rect{0, height - strip, width, strip};
    config.width = std::max(1, static_cast<int>(width * scale));
    config.height = std::max(1, static_cast<int>(scale * strip));
    config.scalesToFit = true;
    config.showsCursor = false;
    config.captureResolution = SCCaptureResolution::nominal;
    config.colorSpaceName = "kCGColorSpaceSRGB";
    return config;
}

std::optional<double> WallpaperBrightnessMonitor::luminance(const Image& image) {
    if (image.isEmpty() || !image.hasPixels()) return std::nullopt;
    // The area average of premultiplied colour, as the one-pixel render holds it.
    double r = 0, g = 0, b = 0, a = 0;
    for (uint32_t p : image.pixels) {
        const double alpha = (p & 0xFF) / 255.0;
        r += ((p >> 24) & 0xFF) / 255.0 * alpha;
        g += ((p >> 16) & 0xFF) / 255.0 * alpha;
        b += ((p >> 8) & 0xFF) / 255.0 * alpha;
        a += alpha;
    }
    const double n = static_cast<double>(image.pixels.size());
    auto byte = [n](double sum) { return std::round(std::clamp(sum / n, 0.0, 1.0) * 255) / 255; };
    if (byte(a) < kLeastAlpha) return std::nullopt;
    return 0.2126 * byte(r) + 0.7152 * byte(g) + 0.0722 * byte(b);
}

}  // namespace qv
