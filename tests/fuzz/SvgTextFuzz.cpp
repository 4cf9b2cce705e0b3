// Any bytes as a chip's title and as a window's title: laid out in a bar, drawn by the SVG
// renderer alone and in a picture of the whole simulated screen, the documents stay well-formed
// XML.
#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "XmlCheck.h"
#include "bar_views/ChipView.h"
#include "dispatch/ManualRuntime.h"
#include "model/BarMetrics.h"
#include "sim/SimDesktop.h"
#include "ui/HostingView.h"
#include "ui/Panel.h"
#include "ui/SvgRenderer.h"

namespace {

using namespace qv;

void checkWellFormed(const std::string& document) {
    if (auto fault = fuzz::xmlWellFormednessFault(document)) {
        std::fprintf(stderr, "%s\n", fault->c_str());
        FUZZ_CHECK(!"the SVG document is well-formed XML");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ByteReader in(fuzz::bytesOf(data, size));
    const std::string chipTitle = in.text();
    const std::string windowTitle(in.rest());

    ManualRuntime rt;
    // Nothing here writes files: one home folder serves every input.
    static const std::string home = (fuzz::processFolder() / "home").string();
    SimDesktop sim{rt, home};
    const uint32_t display = sim.addDisplay("Main", Rect{0, 0, 1440, 900});
    const uint64_t space = sim.addSpace(display);
    const int32_t pid = sim.launchApp(std::string("com.example.fuzz"), chipTitle);
    sim.openWindow(pid, windowTitle, space);

    const BarMetrics metrics = BarMetrics::forSize(BarSize::medium);
    ChipData chip;
    chip.appName = chipTitle;
    chip.windowTitle = windowTitle;
    chip.badge = chipTitle;
    auto bar = Panel::make<Panel>(sim.platform().windowing, rt, Rect{0, 0, 1440, barHeight(metrics.barSize)},
                                  stylemask::kNonactivatingPanel);
    auto host = std::make_shared<HostingView>(
        rt, std::make_shared<ClosureView>([&] {
            return ChipView{.windowing = sim.platform().windowing, .chip = chip, .metrics = metrics}.body();
        }));
    bar->setContentView(host);
    bar->orderFrontRegardless();
    rt.runUntilIdle();

    checkWellFormed(SvgRenderer::render(host->displayList()));
    checkWellFormed(sim.renderSvg());
    return 0;
}
