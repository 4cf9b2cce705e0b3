#include <iomanip>
#include <iostream>
#include <unordered_set>

#include "app/BadgesDemo.h"
#include "app/BarModelDemo.h"
#include "app/ChipSheetDemo.h"
#include "app/ScreenshotDemo.h"
#include "app/SettingsDemo.h"
#include "app/TilingDemo.h"
#include "app/WindowStoreDemo.h"
#include "platform/Backend.h"
#include "platform/dispatch/RealRuntime.h"
#include "tracking/CGWindowInfo.h"
#include "tracking/SpaceWindows.h"

using namespace qv;

namespace {

void printDesktop(Platform& platform, std::ostream& out) {
    SpaceWindows spaces(platform);
    WindowServer& ws = platform.windowServer;
    uint32_t connection = ws.mainConnectionID();
    auto screens = platform.displays.screens();

    out << "Displays\n";
    for (size_t i = 0; i < screens.size(); ++i) {
        const Screen& s = screens[i];
        auto id = SpaceWindows::displayID(s).value_or(0);
        out << "  " << i + 1 << ". " << s.localizedName << "  display " << id << "  uuid "
            << platform.displays.displayUUIDString(id).value_or("?") << "  frame " << s.frame << "\n";
    }

    auto all = spaces.getSpaces(connection);
    auto active = spaces.getActiveSpaceIDs(connection);
    auto eligible = dockEligibleOwnerPIDs(platform.workspace);

    out << "\nDesktops\n";
    int64_t lastDisplay = -1;
    int desktopNumber = 0;
    for (const auto& space : all) {
        if (space.displayIndex != lastDisplay) {
            lastDisplay = space.displayIndex;
            desktopNumber = 0;
            auto idx = spaces.screenIndex(space, screens);
            out << "  " << (idx ? screens[*idx].localizedName : space.displayIdentifier) << "\n";
        }
        bool isActive = std::find(active.begin(), active.end(), space.spaceID) != active.end();
        std::string label =
            space.isFullScreen() ? "Full screen" : "Desktop " + std::to_string(++desktopNumber);
        out << "    " << (isActive ? "* " : "  ") << label << "  (Space " << space.spaceID << ")\n";

        uint64_t setTags = 0, clearTags = 0x4000000000ull;
        auto listed = ws.copyWindowsWithOptionsAndTags(connection, 0, numberArray(std::vector{space.spaceID}),
                                                       2, &setTags, &clearTags);
        auto numbers = listed ? listed->asNumberArray() : std::nullopt;
        std::vector<uint32_t> ids;
        for (const auto& n : numbers.value_or(std::vector<NumberObject>{})) ids.push_back(n.uint32Value());
        auto parents = spaces.parentWindowIDs(ids, connection);
        int shown = 0;
        for (uint32_t id : ids) {
            auto entries = windowInfoList(ws.createDescriptionFromArray(numberArray(std::vector{id})));
            if (!entries || entries->empty()) continue;
            const CGWindowInfo& info = entries->front();
            auto bounds = info.bounds();
            if (info.layer() != 0 || !info.ownerPID() || !eligible.contains(*info.ownerPID()) || !bounds ||
                bounds->width() < 40 || bounds->height() < 40 || parents.contains(id)) {
                continue;
            }
            out << "        " << std::setw(5) << id << "  " << std::left << std::setw(12)
                << info.ownerName().value_or("Unknown") << std::right << "  "
                << info.windowName().value_or("") << "\n";
            ++shown;
        }
        if (shown == 0) out << "        (no windows for the bar)\n";
    }
}

}  // namespace

int main() {
    RealRuntime runtime;
    auto backend = makeBackend(runtime);
    std::cout << "QuillVorn on the simulated desktop\n\n";
    printDesktop(backend->platform(), std::cout);
    printSettings(backend->platform(), std::cout);
    printBadges(backend->platform(), runtime, std::cout);
    writeScreenshotDemo(*backend, runtime, std::cout);
    writeChipSheetDemo(*backend, std::cout);
    printTrackedWindows(backend->platform(), std::cout);
    printWorldChangesReachingTheStore(*backend, runtime, std::cout);
    printBarModel(backend->platform(), runtime, std::cout);
    printTilingAndLauncherShortcut(backend->platform(), std::cout);
    return 0;
}
