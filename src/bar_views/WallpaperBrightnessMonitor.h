#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace qv {

// Decides for every display whether the desktop picture under the bar is light or dark. It
// captures a strip along the bottom of each display with every window left out, averages it to one
// colour and applies a threshold with hysteresis. It measures again when the active desktop or the
// displays change, and 0.3 s after the last change in the folders of the wallpaper store and the
// Dock. A change of the map of verdicts posts "wallpaperBrightnessDidChange". Main thread; the
// measurement runs on the capture framework's queue and hands its result to the main queue.
class WallpaperBrightnessMonitor : public std::enable_shared_from_this<WallpaperBrightnessMonitor> {
    struct Token {};

  public:
    static constexpr const char* kDidChangeNotification = "wallpaperBrightnessDidChange";
    static constexpr const char* kWatchQueueLabel = "app.quillvorn.wallpaper-brightness";
    static constexpr uint32_t kWatchedEvents = vnodeevent::kWrite | vnodeevent::kDelete |
                                               vnodeevent::kRename | vnodeevent::kExtend |
                                               vnodeevent::kAttrib;
    static constexpr Seconds kFolderDebounce = 0.3;
    static constexpr double kStripShare = 0.1;
    static constexpr double kLeastStripHeight = 1.0;
    static constexpr double kGreatestCaptureWidth = 256;
    static constexpr double kLeastAlpha = 0.05;
    static constexpr double kFirstReadingThreshold = 0.62;
    static constexpr double kLightAbove = 0.67;
    static constexpr double kDarkBelow = 0.57;

    static std::shared_ptr<WallpaperBrightnessMonitor> create(Platform& platform);
    // The instance the composition root installed; none until then.
    static WallpaperBrightnessMonitor* shared();
    static void setShared(std::shared_ptr<WallpaperBrightnessMonitor> monitor);

    WallpaperBrightnessMonitor(Token, Platform& platform);
    ~WallpaperBrightnessMonitor();
    WallpaperBrightnessMonitor(const WallpaperBrightnessMonitor&) = delete;
    WallpaperBrightnessMonitor& operator=(const WallpaperBrightnessMonitor&) = delete;

    // Begins monitoring; only the first call does anything.
    void start();
    // The verdict: false for no display and for a display without one (it counts as dark).
    bool isLight(std::optional<uint32_t> displayID) const;
    // Starts a new measurement; the one in flight is cancelled and never writes.
    void refresh();
    const std::map<uint32_t, bool>& lightByDisplay() const { return lightByDisplay_; }
    // The two watched folders, in order: the wallpaper store, then the Dock's.
    const std::array<std::string, 2>& watchedFolders() const { return folders_; }
    bool isWatching(size_t folder) const { return watches_.at(folder).source != nullptr; }

    // --- The rules ---
    // Light or dark for one reading: above 0.62 the first time; later above 0.67 light, below 0.57
    // dark, in between (both ends included) the previous verdict.
    static bool verdict(std::optional<bool> previous, double luminance);
    // The bottom tenth (at least one point) of a display of that size in points, at most 256 pixels
    // wide in its own proportions; none for a display under one point either way.
    static std::optional<SCStreamConfiguration> stripConfiguration(double width, double height);
    // Rec. 709 weights on the average sRGB-encoded colour, each channel a byte as a one-pixel 8-bit
    // render gives it; none for an empty image or an average alpha under 0.05.
    static std::optional<double> luminance(const Image& image);

  private:
    struct Watch {
        int32_t descriptor = -1;
        std::shared_ptr<FileSystemObjectSource> source;
        uint64_t generation = 0;
    };
    struct Measurement;

    void startWallpaperStoreWatch();
    void watchFolder(size_t index);
    void handleFolderEvents(size_t index, uint64_t generation, uint32_t events);
    void scheduleDebouncedRefresh();
    void captureNext(const std::shared_ptr<Measurement>& measurement);
    void finish(const std::shared_ptr<Measurement>& measurement);

    Platform& platform_;
    std::map<uint32_t, bool> lightByDisplay_;
    std::shared_ptr<Queue> watchQueue_;
    bool started_ = false;
    std::array<std::string, 2> folders_;
    std::array<Watch, 2> watches_;
    uint64_t nextWatchGeneration_ = 1;
    WorkItemPtr pendingRefresh_;
    std::shared_ptr<Measurement> refreshTask_;
    Subscriptions observers_;
};

}  // namespace qv
