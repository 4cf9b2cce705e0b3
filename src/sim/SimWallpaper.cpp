// SimDesktop: desktop pictures per display, and the wallpaper store the system writes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/SimDesktop.h"
#include "sim/SimFileSystem.h"

namespace qv {

namespace {

// The pictures displays have until the user picks one, by the order in which they were first
// connected.
constexpr SimWallpaper kDefaultWallpapers[] = {
    {0x2b5876, 0x4e4376}, {0x614385, 0x516395}, {0x134e5e, 0x71b280}, {0x42275a, 0x734b6d}};

uint32_t mix(uint32_t a, uint32_t b, double t, int shift) {
    const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    return static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
}

}  // namespace

uint32_t SimWallpaper::colourAt(double u, double v) const {
    // An SVG gradient from (0, 0) to (1, 1) of the bounding box: the stop at (u + v) / 2.
    const double t = std::clamp((u + v) / 2, 0.0, 1.0);
    return mix(from, to, t, 16) | mix(from, to, t, 8) | mix(from, to, t, 0);
}

std::string SimWallpaper::hex(uint32_t rgb) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06x", rgb & 0xFFFFFF);
    return buf;
}

std::string SimDesktop::wallpaperStoreFolder() const {
    return fileSystem_->homeDirectory() + "/Library/Application Support/com.apple.wallpaper/Store";
}

void SimDesktop::giveWallpaper(const SimDisplay& d) {
    // A monitor that comes back shows the picture it had.
    if (!wallpapers_.contains(d.uuid))
        wallpapers_[d.uuid] = kDefaultWallpapers[wallpapers_.size() % std::size(kDefaultWallpapers)];
}

void SimDesktop::setWallpaper(uint32_t displayID, SimWallpaper wallpaper) {
    {
        std::lock_guard lock(world_);
        if (const SimDisplay* d = display(displayID)) wallpapers_[d->uuid] = wallpaper;
    }
    const std::string folder = wallpaperStoreFolder();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::ofstream(folder + "/Index.plist", std::ios::app)
        << displayID << " " << SimWallpaper::hex(wallpaper.from) << " " << SimWallpaper::hex(wallpaper.to)
        << "\n";
    fileSystem_->raiseFolderEvents(folder, vnodeevent::kWrite | vnodeevent::kExtend);
}

SimWallpaper SimDesktop::wallpaper(uint32_t displayID) const {
    std::lock_guard lock(world_);
    const SimDisplay* d = display(displayID);
    auto it = d ? wallpapers_.find(d->uuid) : wallpapers_.end();
    return it != wallpapers_.end() ? it->second : kDefaultWallpapers[0];
}

}  // namespace qv
