// The Dock state file left by an earlier run, read at start-up, when the hide-Dock setting
// changes and on quitting: a file that does not decode is acted on only to give back a Dock that
// shows our hiding, and its bytes are never lost (they stay in place or move to the kept copy
// beside it).
#include <filesystem>
#include <fstream>

#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "bar/DockController.h"
#include "dispatch/ManualRuntime.h"
#include "sim/SimDesktop.h"
#include "sim/SimDock.h"
#include "sim/SimFileSystem.h"
#include "sim/SimPreferences.h"

namespace {

using namespace qv;

// Every play shares one home folder: a fresh temporary home per play costs more than the play.
const std::string& home() {
    static const std::string path = (fuzz::processFolder() / "home").string();
    return path;
}

void play(std::string_view bytes, bool hideAtStart, bool dockLooksHidden) {
    ManualRuntime rt;
    SimDesktop sim{rt, home()};
    sim.launchApp(std::string(SimDock::kBundleID), SimDock::kProcessName);
    if (dockLooksHidden) {
        sim.dock().setUserAutoHide(true);
        sim.preferences().setValue(DockController::kDomain, DockController::kDelayKey,
                                   Value::number(NumberObject::ofDouble(1000)));
        sim.preferences().setValue(DockController::kDomain, DockController::kNoBouncingKey,
                                   Value::number(NumberObject::ofBool(true)));
    }
    const auto file = std::filesystem::path(sim.fileSystem().applicationSupportDirectory()) / "quillVorn" /
                      DockController::kFileName;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    const std::string kept = file.string() + DockController::kUnreadableSuffix;
    const bool decodes = decodeInitialDockSettings(bytes).has_value();
    const bool autoHideBefore = sim.dock().look().autoHide;

    auto settings = UserSettings::create(sim.platform());
    settings->setHideDock(hideAtStart);
    auto dock = DockController::create(sim.platform(), settings);
    rt.runUntilIdle();
    if (!decodes && !hideAtStart) {
        // Restoring from a file it cannot read gives back a Dock hidden by us, and leaves any
        // other Dock as it was.
        FUZZ_CHECK(sim.dock().restartCount() == (dockLooksHidden ? 1 : 0));
        FUZZ_CHECK(sim.dock().look().autoHide == (dockLooksHidden ? false : autoHideBefore));
    }
    settings->setHideDock(!hideAtStart);
    rt.runUntilIdle();
    dock->restore(true);
    rt.runUntilIdle();

    if (!decodes) {
        auto here = sim.platform().fileSystem.contentsOfFile(file.string());
        auto aside = sim.platform().fileSystem.contentsOfFile(kept);
        FUZZ_CHECK(here == bytes || aside == bytes);
    }
    // The next play starts from an empty folder, as in a fresh home; removing the files it is known
    // to hold spares a listing of the folder.
    const auto folder = file.parent_path();
    std::error_code notEmpty;
    for (const auto& path : {file, std::filesystem::path(kept), folder / "settings.json"})
        std::filesystem::remove(path);
    if (!std::filesystem::remove(folder, notEmpty)) std::filesystem::remove_all(folder);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes = qv::fuzz::bytesOf(data, size);
    for (bool hide : {false, true})
        for (bool looksHidden : {false, true}) play(bytes, hide, looksHidden);
    return 0;
}
