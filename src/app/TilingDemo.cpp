#include "app/TilingDemo.h"

#include <algorithm>
#include <sstream>

#include "launcher/HotkeyManager.h"
#include "launcher/KeyNames.h"
#include "model/UserSettings.h"
#include "tiling/SnapLayout.h"

namespace qv {

namespace {

// A layout as its zones in percent of the usable area: "(x,y wxh)" each.
std::string describe(const SnapLayout& layout) {
    std::ostringstream out;
    for (size_t i = 0; i < layout.zones.size(); ++i) {
        const Rect& z = layout.zones[i];
        if (i) out << " ";
        out << "(" << std::lround(z.minX() * 100) << "," << std::lround(z.minY() * 100) << " "
            << std::lround(z.width() * 100) << "x" << std::lround(z.height() * 100) << ")";
    }
    return out.str();
}

}  // namespace

void printTilingAndLauncherShortcut(Platform& platform, std::ostream& out) {
    out << "\nWindow tiling\n";
    const auto screens = platform.displays.screens();
    const double primaryHeight = screens.empty() ? 0 : screens.front().frame.maxY();
    for (const Screen& screen : screens) {
        // The screen's visible area in the window server's top-left space; the bars take their
        // own share once they run.
        Rect usable = flipVertically(screen.visibleFrame, primaryHeight);
        double aspect = usable.width() / std::max(usable.height(), 1.0);
        SnapFlyoutMetrics metrics(SnapLayout::presets(aspect, usable.width()), aspect);
        out << "  " << screen.localizedName << "  usable " << usable.width() << " x " << usable.height()
            << ": " << metrics.layouts.size() << " snap layouts, flyout " << metrics.size.width << " x "
            << metrics.size.height << " (tiles " << metrics.thumbnailSize.width << " x "
            << metrics.thumbnailSize.height << ")\n";
        for (const SnapLayout& layout : metrics.layouts) out << "    " << describe(layout) << "\n";
    }
    auto settings = UserSettings::create(platform);
    auto hotkeys = HotkeyManager::create(platform, *settings);
    out << "  launcher shortcut: " << shortcutDisplayText(hotkeys->currentShortcut(), platform.carbon)
        << "\n";
}

}  // namespace qv
