#include "app/SettingsDemo.h"

#include <sstream>
#include <string>

#include "model/BarMetrics.h"
#include "model/UserSettings.h"

namespace qv {

void printSettings(Platform& platform, std::ostream& out) {
    bool existed = false;
    if (auto folders = platform.fileSystem.applicationSupportDirectories(); !folders.empty()) {
        existed = platform.fileSystem.fileExists(folders.front() + "/quillVorn/settings.json");
    }
    auto settings = UserSettings::create(platform);
    const UserSettingsData& d = settings->data.get();

    out << "\nSettings\n";
    if (settings->fileURL()) {
        out << "  file " << *settings->fileURL() << (existed ? "" : "  (none yet: defaults)") << "\n";
    } else {
        out << "  no Application Support folder: defaults, never saved\n";
    }
    BarMetrics metrics = BarMetrics::fromSetting(d.barSize);
    KeyboardShortcut shortcut = settings->windowSwitcherShortcut();
    out << "  bar " << rawValue(metrics.barSize) << ", " << barHeight(metrics.barSize) << " pt high, chips "
        << metrics.chipHeight << " pt; theme " << rawValue(settings->theme()) << "; switcher key "
        << shortcut.keyCode << " with modifiers " << shortcut.modifiers << "\n";
    std::istringstream lines(encodeUserSettings(d));
    for (std::string line; std::getline(lines, line);) out << "  " << line << "\n";
}

}  // namespace qv
