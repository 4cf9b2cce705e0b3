#include "app/ScreenshotDemo.h"

#include <filesystem>
#include <fstream>

#include "platform/ui/Panel.h"
#include "platform/ui/SampleBarView.h"
#include "platform/ui/Windowing.h"

namespace qv {

void writeScreenshotDemo(Backend& backend, Runtime& runtime, std::ostream& out) {
    Platform& platform = backend.platform();
    auto screens = platform.windowing.screens();
    if (screens.empty()) {
        out << "\nNo screen to take a screenshot of.\n";
        return;
    }
    const Screen& screen = screens.front();

    // Chips for the first regular applications that are running, the mail app with a badge.
    std::vector<SampleBarView::Chip> chips;
    for (const RunningApplication& app : platform.workspace.runningApplications()) {
        if (app.activationPolicy != ActivationPolicy::regular || !app.localizedName) continue;
        SampleBarView::Chip chip;
        chip.title = *app.localizedName;
        chip.icon = Image::named(*app.localizedName, 64, 64);
        chip.focused = app.isActive;
        if (chip.title.find("Mail") != std::string::npos) chip.badge = std::to_string(3);  // unread mail
        chips.push_back(chip);
        if (chips.size() == 3) break;
    }

    const double height = 36;
    auto panel =
        Panel::make<Panel>(platform.windowing, runtime,
                           Rect{screen.frame.minX(), screen.frame.minY(), screen.frame.width(), height},
                           stylemask::kNonactivatingPanel);
    panel->setLevel(windowlevel::kMainMenu);
    panel->collectionBehavior = collectionbehavior::kManaged | collectionbehavior::kIgnoresCycle |
                                collectionbehavior::kFullScreenAuxiliary;
    panel->isOpaque = false;
    panel->hasShadow = false;
    panel->hidesOnDeactivate = false;
    auto host = std::make_shared<HostingView>(runtime, std::make_shared<SampleBarView>(chips, height));
    host->setAppearance(Appearance::darkAqua);
    panel->setContentView(host);
    panel->orderFrontRegardless();
    host->layoutNow();

    std::filesystem::path path = std::filesystem::current_path() / "quillvorn-screenshot.svg";
    std::ofstream file(path);
    file << backend.screenshotSvg();
    file.close();
    if (file) {
        out << "\nScreenshot of the simulated desktop: " << path.string() << "\n";
    } else {
        out << "\nCould not write the screenshot to " << path.string() << "\n";
    }
    panel->close();
}

}  // namespace qv
