// Steps of the hover thumbnails: the open pop-up, its cards, and the screenshots behind them.
#include <algorithm>
#include <sstream>

#include "previews/ThumbnailPopupPanel.h"
#include "scenario/Context.h"

namespace qv {

namespace {

// The thumbnail pop-up on screen, if one is.
std::shared_ptr<ThumbnailPopupPanel> openPopup(ScenarioContext& ctx) {
    return findOurPanel<ThumbnailPopupPanel>(ctx, PanelSight::orderedIn);
}

std::shared_ptr<ThumbnailPopupPanel> requirePopup(ScenarioContext& ctx) {
    auto popup = openPopup(ctx);
    if (!popup) failExpectation("a thumbnail pop-up", "none");
    return popup;
}

// What each card of the pop-up shows, left to right: "picture", "spinner" or "placeholder".
std::vector<std::string> cardLooks(const ThumbnailPopupPanel& popup) {
    std::vector<std::pair<double, std::string>> found;
    for (const DrawOp& op : popup.contentView()->displayList().ops) {
        if (op.kind == DrawOp::Kind::spinner) {
            found.emplace_back(op.frame.minX(), "spinner");
        } else if (op.kind == DrawOp::Kind::image && op.imageKind == ImageKind::bitmap) {
            found.emplace_back(op.frame.minX(), "picture");
        } else if (op.kind == DrawOp::Kind::image && op.imageName == "rectangle.on.rectangle.slash") {
            found.emplace_back(op.frame.minX(), "placeholder");
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> looks;
    for (auto& [x, look] : found) looks.push_back(std::move(look));
    return looks;
}

}  // namespace

void addThumbnailSteps(StepTable& t) {
    using namespace arg;
    const Arg none = words({"none"}), sight = words({"held", "shown"});
    t.push_back(step(
        "expect popup", {{none}, frame(), {sight, none}, form(sight, frame())},
        [](ScenarioContext& ctx, const StepCall& call) {
            const bool worded = call.form >= 2;
            auto popup = findOurPanel<ThumbnailPopupPanel>(ctx, panelSight(call, worded));
            if (call.form == 0 || call.form == 2) {
                if (popup) failExpectation("no thumbnail pop-up", "one at " + rectText(popup->frame()));
                held(ctx);
                return;
            }
            const Rect expected = call.rect(worded ? 1 : 0);
            if (!popup) failExpectation("a thumbnail pop-up at " + rectText(expected), "none");
            if (!near(popup->frame(), expected))
                failExpectation(rectText(expected), rectText(popup->frame()));
            if (popup->level() != ThumbnailPopupPanel::kLevel)
                failExpectation("level 101", "level " + std::to_string(popup->level()));
            held(ctx);
        },
        "The thumbnail pop-up open at that frame (from the primary screen's bottom-left corner, y "
        "up) and level 101, or none open; held: the pop-up the program holds, shown or not; shown: "
        "one the window server really draws."));
    t.push_back(step(
        "expect popup-cards", {{repeated(words({"picture", "spinner", "placeholder"}))}},
        [](ScenarioContext& ctx, const StepCall& call) {
            expectEqual(ctx, quotedList(call.texts(0)), quotedList(cardLooks(*requirePopup(ctx))));
        },
        "What each card of the open pop-up shows, left to right: the window's picture, a spinner "
        "while it is captured, or the placeholder."));
    t.push_back(step(
        "expect popup-slid-from", {frame()},
        [](ScenarioContext& ctx, const StepCall& call) {
            auto popup = requirePopup(ctx);
            std::ostringstream expected;
            expected << call.rect(0);
            std::string found = "no move";
            for (const AnimationRecord& a : popup->animations()) {
                if (a.target == "frame") found = a.fromValue;
            }
            expectEqual(ctx, expected.str(), found);
        },
        "The frame the open pop-up slid from into its place."));
    t.push_back(step(
        "expect captures", {{text("WINDOW"), whole("COUNT")}},
        [](ScenarioContext& ctx, const StepCall& call) {
            const uint32_t id = ctx.window(call.text(0)).id;
            const auto all = ctx.world.captures();
            const auto n = std::count_if(all.begin(), all.end(),
                                         [id](const WorldCapture& c) { return c.windowID == id; });
            expectEqual(ctx, std::to_string(call.whole(1)), std::to_string(n));
        },
        "How many screenshots of a window the program has asked for."));
}

}  // namespace qv
