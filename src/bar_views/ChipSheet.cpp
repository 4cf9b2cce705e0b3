#include "bar_views/ChipSheet.h"

#include <memory>
#include <vector>

#include "bar_views/BarBackground.h"
#include "bar_views/ChipView.h"
#include "bar_views/GroupedChipView.h"
#include "bar_views/PinnedChipView.h"
#include "bar_views/ShowDesktopButton.h"
#include "ui/HostingView.h"
#include "ui/SvgRenderer.h"

namespace qv {

namespace {

struct SheetBackground {
    std::string label;
    ColorScheme scheme;
    bool reduceTransparency;
    BarTheme theme;
};

std::shared_ptr<const Image> icon(const std::string& name) {
    return std::make_shared<const Image>(Image::named(name, 64, 64));
}

ChipData windowChip(uint32_t id, std::string app, std::string title, bool withIcon = true) {
    ChipData c;
    c.id = id;
    c.bundleIdentifier = "com.example." + app;
    c.icon = withIcon ? icon(app) : nullptr;
    c.appName = std::move(app);
    c.windowTitle = std::move(title);
    return c;
}

Node sampleRow(Platform& platform, const BarMetrics& m, bool light) {
    Windowing& w = platform.windowing;
    auto chip = [&](ChipData data) {
        return ChipView{
            .windowing = w, .chip = data, .metrics = m, .isFocused = data.isFocused, .usesLightBar = light}
            .body();
    };
    ChipData focused = windowChip(1, "Compass", "Start Page");
    focused.isFocused = true;
    ChipData mail = windowChip(2, "Harbor Mail", "Inbox");
    mail.badge = "12";
    mail.wantsAttention = true;
    ChipData chat = windowChip(3, "Chatter", "General");
    chat.badge = "1234";
    GroupedChipData group;
    group.id = "group-com.example.Terminal";
    group.appName = "Terminal";
    group.displayTitle = "zsh";
    group.icon = icon("Terminal");
    group.windowCount = 4;
    group.windowIDs = {4, 5, 6, 7};

    std::vector<Node> items = {
        PinnedChipView{.windowing = w,
                       .runtime = platform.runtime,
                       .bundleID = "com.example.Notes",
                       .appName = "Notes",
                       .icon = icon("Notes"),
                       .metrics = m}
            .body(),
        PinnedChipView{.windowing = w,
                       .runtime = platform.runtime,
                       .bundleID = "com.example.Atlas",
                       .appName = "Atlas",
                       .icon = nullptr,
                       .metrics = m}
            .body(),
        chip(focused),
        chip(mail),
        chip(chat),
        GroupedChipView{.windowing = w, .group = group, .metrics = m, .usesLightBar = light}.body(),
        chip(windowChip(8, "Quill", "Quarterly planning notes for the whole design team")),
        chip(windowChip(9, "Helper", "Untitled", false)),
    };
    // The bar's row of chips scrolls sideways, so each chip takes its own width.
    return HStack(VerticalAlignment::center, 0,
                  {HStack(VerticalAlignment::center, m.chipSpacing, std::move(items))
                       ->fixedSize(true, false)
                       ->padding(EdgeInsets::horizontal(m.barHorizontalPadding)),
                   Spacer(), ShowDesktopButton{platform.dock, m}.body()});
}

Node bar(Platform& platform, const SheetBackground& bg, BarSize size) {
    const BarMetrics m = BarMetrics::forSize(size);
    const bool light = bg.scheme == ColorScheme::light;
    const bool rt = bg.reduceTransparency;
    // A backdrop as light or dark as a wallpaper that makes the bar take this scheme.
    Gradient backdrop = light ? Gradient{{Color::rgb(0.93, 0.89, 0.80), Color::rgb(0.78, 0.87, 0.93)},
                                         UnitPoint::topLeading(),
                                         UnitPoint::bottomTrailing()}
                              : Gradient{{Color::rgb(0.10, 0.16, 0.27), Color::rgb(0.25, 0.16, 0.30)},
                                         UnitPoint::topLeading(),
                                         UnitPoint::bottomTrailing()};
    ColorScheme scheme = bg.scheme;
    return sampleRow(platform, m, light)
        ->frame(Element::FlexFrame{.maxWidth = kInfinity})
        ->frame(std::nullopt, barHeight(size))
        ->background(BarBackground{rt, scheme, bg.theme}.body())
        ->environment([scheme, rt](Environment& env) {
            env.colorScheme = scheme;
            env.reduceTransparency = rt;
        })
        ->padding(EdgeInsets::symmetric(14, 12))
        ->background(Fill(backdrop));
}

}  // namespace

std::string chipSheetSvg(Platform& platform) {
    const std::vector<SheetBackground> backgrounds = {
        {"Dark bar, frosted", ColorScheme::dark, false, BarTheme::frosted},
        {"Dark bar, longhorn", ColorScheme::dark, false, BarTheme::longhorn},
        {"Dark bar, aero", ColorScheme::dark, false, BarTheme::aero},
        {"Light bar", ColorScheme::light, false, BarTheme::frosted},
        {"Reduce Transparency, dark", ColorScheme::dark, true, BarTheme::frosted},
        {"Reduce Transparency, light", ColorScheme::light, true, BarTheme::frosted},
    };
    auto view = std::make_shared<ClosureView>([&platform, backgrounds] {
        std::vector<Node> sections;
        for (const SheetBackground& bg : backgrounds) {
            std::vector<Node> rows = {Text(bg.label, {.font = Font::system(13, FontWeight::semibold),
                                                      .color = Color::rgb(0.11, 0.11, 0.12)})};
            for (BarSize size : kAllBarSizes) {
                rows.push_back(HStack(VerticalAlignment::center, 8,
                                      {Text(std::string(rawValue(size)),
                                            {.font = Font::system(11), .color = Color::rgb(0.35, 0.35, 0.38)})
                                           ->frame(52, std::nullopt, Alignment::trailing()),
                                       bar(platform, bg, size)}));
            }
            sections.push_back(VStack(HorizontalAlignment::leading, 6, std::move(rows)));
        }
        return VStack(HorizontalAlignment::leading, 22, std::move(sections))->padding(24);
    });
    auto host = std::make_shared<HostingView>(platform.runtime, view);
    host->setFrameSize(host->fittingSize());
    host->layoutNow();
    // Once more, now that the chips have appeared and their pulse has begun.
    host->layoutNow();
    return SvgRenderer::render(host->displayList(), RGBA{0.94, 0.94, 0.95, 1});
}

}  // namespace qv
