#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bar/BarPanel.h"
#include "scenario/Context.h"
#include "scenario/Runner.h"
#include "scenario/Scenario.h"
#include "ui/SvgQuery.h"
#include "ui/SvgRenderer.h"

namespace qv {
namespace {

std::string readDocs() {
    std::ifstream file(QV_SCENARIO_DOCS);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ScenarioDocsTest, EveryStepIsDocumentedWithAnExample) {
    const std::string docs = readDocs();
    ASSERT_FALSE(docs.empty()) << QV_SCENARIO_DOCS;
    for (const StepRow& row : scenarioSteps()) {
        EXPECT_NE(docs.find("### `" + row.name + "`"), std::string::npos) << row.name << " has no section";
        EXPECT_NE(docs.find("\n" + row.name + (row.forms.front().empty() ? "\n" : " ")), std::string::npos)
            << row.name << " has no example line";
    }
}

TEST(ScenarioParserTest, WordsQuotesCommentsAndFaultsWithTheirLines) {
    const StepTable& table = scenarioSteps();
    Scenario s = parseScenario(
        "# a comment\n\n  open-window \"Ed \\\"Pro\\\"\" \"a # b\" 1 2 3.5 +4  # trailing\r\nexpect chips "
        "1\n",
        "s", table);
    ASSERT_EQ(s.steps.size(), 2u);
    EXPECT_EQ(s.steps[0].line, 3);
    EXPECT_EQ(s.steps[0].text(0), "Ed \"Pro\"");
    EXPECT_EQ(s.steps[0].text(1), "a # b");
    EXPECT_EQ(s.steps[0].number(5), 4);
    EXPECT_EQ(s.steps[1].row->name, "expect chips");

    auto faultAt = [&](const std::string& script) {
        try {
            parseScenario(script, "s", table);
        } catch (const ScenarioScriptError& e) {
            return std::make_pair(e.line, std::string(e.what()));
        }
        return std::make_pair(0, std::string());
    };
    EXPECT_EQ(faultAt("wake\nexpect nothing").second, "unknown step \"expect nothing\"");
    EXPECT_EQ(faultAt("advance 1\nadvance 1e400").first, 2);  // out of range
    EXPECT_EQ(faultAt("advance \"1\"").first, 1);             // a quoted number is text
    EXPECT_EQ(faultAt("move-window \"A\"b 1 2").first, 1);    // no blank after the quote
    EXPECT_EQ(faultAt("\"wake\"").second, "a step name is never quoted");
    EXPECT_EQ(faultAt("screenshot .hidden").first, 1);
    EXPECT_EQ(faultAt("launch A b c d").first, 1);              // neither a policy nor unresponsive
    EXPECT_EQ(faultAt(std::string("wake\n\"\0", 8)).first, 2);  // a NUL in an unterminated quote
    EXPECT_EQ(faultAt("wake\nsay \"caf\xE9\"").first, 2);       // Latin-1, not UTF-8
    // A count must be whole and fit 32 bits: read as an integer it could otherwise overflow.
    EXPECT_EQ(faultAt("expect prompts accessibility 1e300").first, 1);
    EXPECT_EQ(faultAt("expect calls CGWindowListCopyWindowInfo 1.5").first, 1);
    EXPECT_EQ(faultAt("expect launcher-scans 2147483648").first, 1);
    EXPECT_EQ(faultAt("expect panel-level \"Bar\" -2147483648").first, 0);
    // A line that fits no form is told by the form it was meant for: a word written as a number of
    // another kind is refused as that number, not looked for as a text; a short line names what it lacks.
    const std::pair<const char*, const char*> faults[] = {
        {"move nan 1", "move: bad X \"nan\""},
        {"move 0x10 1", "move: bad X \"0x10\""},
        {"click 1e400 3", "click: bad X \"1e400\""},
        {"expect popup shown 1 2 3",
         "expect popup: missing HEIGHT for \"expect popup held|shown X Y WIDTH HEIGHT\""},
        {"expect desktop-list shown",
         "expect desktop-list: missing argument for \"expect desktop-list shown none | shown X Y WIDTH "
         "HEIGHT TEXT...\""},
        {"expect tooltip \"x\" 1 2 3",
         "expect tooltip: missing HEIGHT for \"expect tooltip TEXT|none X Y WIDTH HEIGHT\""},
        {"expect frame \"x\" 1 2 -3 4", "expect frame: bad WIDTH \"-3\""},
    };
    for (const auto& [line, fault] : faults) EXPECT_TRUE(faultAt(line).second.starts_with(fault)) << line;
    EXPECT_EQ(faultAt("click \"nan\" 2").first, 0);  // quoted, it is a text
}

// Arguments fit the forms their row declares; the usage shown is made from those forms, and a
// fault is told by the form that fits furthest.
TEST(ScenarioParserTest, ArgumentsAreCheckedAgainstTheirDeclaredForms) {
    using namespace arg;
    const Form chip = {text("BAR"), words({"past"}), text("OTHER")},
               by = {text("BAR"), words({"by"}), number("DX")};
    const StepTable table = {
        step("drag", {chip, form(chip, words({"hold"})), by}, nullptr, ""),
        step("mark", {{repeated(text("TITLE"), 1), words({"on", "on dimmed"})}}, nullptr, ""),
        step("wait", {{}, {number("SECONDS", 0, 10)}}, nullptr, ""),
    };
    EXPECT_EQ(table[0].usage, "BAR past OTHER [hold] | BAR by DX");
    EXPECT_EQ(table[1].usage, "TITLE... on|\"on dimmed\"");
    EXPECT_EQ(table[2].usage, "[SECONDS]");
    auto faultOf = [&](const std::string& line) {
        try {
            parseScenario(line, "s", table);
        } catch (const ScenarioScriptError& e) {
            return std::string(e.what());
        }
        return std::string();
    };
    EXPECT_EQ(parseScenario("mark a b \"on dimmed\"", "s", table).steps[0].texts(0).size(), 3u);
    EXPECT_TRUE(faultOf("mark a \"on\"").starts_with("mark: \"on\" is quoted")) << faultOf("mark a \"on\"");
    EXPECT_TRUE(faultOf("drag 1 over 2").starts_with("drag: \"over\" is not one of past, by"))
        << faultOf("drag 1 over 2");
    EXPECT_TRUE(faultOf("drag 1 by x").starts_with("drag: bad DX \"x\"")) << faultOf("drag 1 by x");
    EXPECT_TRUE(faultOf("wait 11").starts_with("wait: bad SECONDS \"11\" (a number from 0 to 10"))
        << faultOf("wait 11");
}

// Steps that name what is absent or not visible yet say so: no menu open; a desktop beyond those
// scripts name, which is also as many desktops as a world may hold; a text on a panel still fading
// in (at alpha 0 it takes no clicks), until its fade ends.
TEST(ScenarioRunnerTest, WhatIsAbsentOrNotVisibleYetIsNamed) {
    auto play = [](const std::string& script) {
        std::ostringstream out, err;
        const int code = runScenario(script, {.fileName = "s", .outDir = "", .out = &out, .err = &err});
        return std::make_pair(code, err.str());
    };
    EXPECT_EQ(play("demo-desktop\nstart\nexpect menu-mark \"Settings\" none"),
              std::make_pair(1, std::string("s:3: expect menu-mark: no menu is open\n")));
    EXPECT_EQ(play("demo-desktop\nstart\npick-menu \"Settings\"").second,
              "s:3: pick-menu: no menu is open\n");
    std::string script = "add-display main 0 0 1440 900 1\n";
    for (int i = 1; i < ScenarioContext::kMostDesktops; ++i) script += "add-desktop main\n";
    EXPECT_EQ(play(script + "switch-desktop " + std::to_string(ScenarioContext::kMostDesktops)).first, 0);
    auto [code, message] = play(script + "add-desktop main");
    EXPECT_EQ(code, 2);
    EXPECT_NE(message.find("add-desktop: more than 1000 desktops"), std::string::npos) << message;
    const std::string listOpened = "demo-desktop\nstart\nadvance 1\nclick-switcher 1\n";
    std::tie(code, message) = play(listOpened + "advance 0.1\nclick \"Desktop 2\"\n");
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(message.starts_with("s:6: click: \"Desktop 2\" is not visible yet: its panel is transparent"))
        << message;
    const std::string afterTheFade =
        "advance 0.15\nclick \"Desktop 2\"\nadvance 1\nexpect active-desktop main 2";
    EXPECT_EQ(play(listOpened + afterTheFade).first, 0);
}

// How a run ends when the fault is not the script's: a step that throws is an internal error, and a
// step whose work keeps adding work due now stops the script instead of hanging it.
TEST(ScenarioRunnerTest, InternalErrorsAndWorkThatNeverSettles) {
    struct Endless {
        static void post(const std::shared_ptr<Queue>& q) {
            q->async([q] { post(q); });
        }
    };
    const StepTable table = {
        {"wake", "", {{}}, [](ScenarioContext& ctx, const StepCall&) { ctx.world.wake(); }, ""},
        {"throw", "", {{}}, [](ScenarioContext&, const StepCall&) { throw std::logic_error("broken"); }, ""},
        {"endless", "", {{}}, [](ScenarioContext& ctx, const StepCall&) {
             Endless::post(ctx.runtime.makeSerialQueue("test.endless"));
         }, ""},
    };
    auto play = [&](const std::string& script) {
        std::ostringstream out, err;
        const int code = runScenario(script, {.fileName = "s", .outDir = "", .out = &out, .err = &err}, table);
        return std::make_pair(code, err.str());
    };
    EXPECT_EQ(play("wake\nthrow"), std::make_pair(3, std::string("s:2: throw: internal error: broken\n")));
    const auto [code, message] = play("wake\nendless\nwake");
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(message.starts_with("s:2: the program never settled: the queue \"test.endless\"")) << message;
}

TEST(ScenarioShowTest, SnapLayoutsAreThoseOfTheAreaTilingFills) {
    std::ostringstream out, err;
    const std::string script =
        "add-display main 0 0 1440 900 1\nshow snap-layouts\nstart\nshow snap-layouts\n";
    ASSERT_EQ(runScenario(script, {.fileName = "s", .outDir = {}, .out = &out, .err = &err}), 0) << err.str();
    // Below the menu bar; once the program runs, above its 36 pt bar too.
    EXPECT_NE(out.str().find("main, usable 1440 x 875: 5 snap layouts, flyout 264 x 120"), std::string::npos);
    EXPECT_NE(out.str().find("main, usable 1440 x 838: 5 snap layouts, flyout 264 x 116"), std::string::npos)
        << out.str();
}

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
    // Users' titles besides the demo's own: right-to-left ones, Arabic letters that join, accented
    // letters and typographic punctuation.
    const std::string otherTitles = R"(
retitle "Budget 2027.ledger" "Mary’s “Draft” v2™"
retitle "Compass — Start Page" "שלום עולם — מסמך חדש"
retitle "Compass — Maps" "مرحبا بالعالم"
retitle "Compass — Release Notes" "Æsthetics · Œuvre"
advance 1
screenshot 20-other-titles
)";
    std::ostringstream out, err;
    ASSERT_EQ(runScenario(demoScenario() + otherTitles,
                          {.fileName = "demo", .outDir = folder, .out = &out, .err = &err}, table),
              0)
        << err.str();
    fs::remove_all(folder);
    EXPECT_GE(barsChecked, 20);
    EXPECT_TRUE(overruns.empty()) << testing::PrintToString(overruns);
}

}  // namespace
}  // namespace qv
