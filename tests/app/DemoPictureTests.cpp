#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/Scenario.h"
#include "app/ScenarioContext.h"
#include "app/ScenarioRunner.h"
#include "bar/BarPanel.h"
#include "platform/ui/SvgQuery.h"
#include "platform/ui/SvgRenderer.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr int kZoom = 4;        // pixels per point of the rasterised check
constexpr int kRow = 40;        // points of sheet per text
constexpr double kMargin = 10;  // the texts' left edge on the sheet

// The texts of a bar, each on a row of its own, drawn as the pictures draw them but black, whole
// and unclipped, and rasterised by rsvg-convert with the faces this machine has. Returns the texts
// whose ink runs past either end of the room laid out for them.
std::vector<std::string> overrunningTexts(const DisplayList& bar, const fs::path& folder) {
    DisplayList sheet;
    std::vector<const DrawOp*> texts;
    for (const DrawOp& op : bar.ops) {
        if (op.kind != DrawOp::Kind::text || op.lines.size() != 1) continue;
        DrawOp& t = sheet.ops.emplace_back(op);
        t.clips = {};
        t.rotation = 0;
        t.opacity = 1;
        t.color = {0, 0, 0, 1};
        t.frame.origin = {kMargin, double(kRow) * double(texts.size()) + kMargin};
        sheet.size = {std::max(sheet.size.width, t.frame.maxX() + 2 * kMargin), t.frame.minY() + kRow};
        texts.push_back(&op);
    }
    const fs::path svg = folder / "texts.svg", png = folder / "texts.png";
    std::ofstream(svg) << SvgRenderer::render(sheet, {1, 1, 1, 1});
    const std::string command =
        "rsvg-convert -z " + std::to_string(kZoom) + " -o '" + png.string() + "' '" + svg.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::stringstream bytes;
    bytes << std::ifstream(png, std::ios::binary).rdbuf();
    const DecodedPng image = decodePng(bytes.str());
    EXPECT_EQ(image.error, "");
    std::vector<std::string> out;
    for (size_t row = 0; row < texts.size() && image.error.empty(); ++row) {
        int first = image.width, last = -1;  // the row's inked columns
        for (int y = int(row) * kRow * kZoom; y < std::min(int(row + 1) * kRow * kZoom, image.height); ++y) {
            for (int x = 0; x < image.width; ++x) {
                if ((image.pixels[size_t(y) * size_t(image.width) + size_t(x)] >> 24) < 160) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
            }
        }
        // Half a point of slack for antialiasing and glyphs that lean past their advance.
        const double left = double(first) / kZoom - kMargin, right = double(last + 1) / kZoom - kMargin;
        if (last >= 0 && (left < -0.5 || right > texts[row]->frame.width() + 0.5)) {
            out.push_back("\"" + texts[row]->joinedText() + "\" inks " + std::to_string(left) + " to " +
                          std::to_string(right) + " in " + std::to_string(texts[row]->frame.width()));
        }
    }
    return out;
}

// At every screenshot of the demo, no text of a bar on screen (titles, window counts, badges)
// runs past the room laid out for it: its chip's edge, the separator after it or the focus ring.
TEST(DemoPictureTest, TheBarsTextsStayWithinTheRoomLaidOutForThem) {
    ASSERT_EQ(std::system("command -v rsvg-convert >/dev/null 2>&1"), 0)
        << "rsvg-convert is missing (bash scripts/setup.sh installs it)";
    const fs::path folder = fs::temp_directory_path() / ("qv-demo-texts-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    std::vector<std::string> overruns;
    int barsChecked = 0;
    StepTable table = scenarioSteps();
    for (StepRow& row : table) {
        if (row.name != "screenshot") continue;
        row.run = [&, shoot = row.run](ScenarioContext& ctx, const StepCall& call) {
            shoot(ctx, call);
            for (const auto& panel : ctx.visiblePanels()) {
                if (!std::dynamic_pointer_cast<BarPanel>(panel) || !ctx.drawnOnScreen(*panel)) continue;
                ++barsChecked;
                for (const std::string& o : overrunningTexts(panel->contentView()->displayList(), folder))
                    overruns.push_back(call.text(0) + ": " + o);
            }
        };
    }
    std::ostringstream out, err;
    ASSERT_EQ(
        runScenario(demoScenario(), {.fileName = "demo", .outDir = folder, .out = &out, .err = &err}, table),
        0)
        << err.str();
    fs::remove_all(folder);
    EXPECT_GE(barsChecked, 20);
    EXPECT_TRUE(overruns.empty()) << testing::PrintToString(overruns);
}

}  // namespace
}  // namespace qv
