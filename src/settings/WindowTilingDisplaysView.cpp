#include "settings/WindowTilingDisplaysView.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "settings/SettingsRows.h"
#include "tiling/TilingDisplays.h"

namespace qv {

namespace {

std::string sizeText(const Rect& frame) {
    auto whole = [](double v) { return std::to_string(static_cast<long long>(std::trunc(v))); };
    return whole(frame.width()) + " \u00D7 " + whole(frame.height());
}

}  // namespace

std::vector<TilingDisplay> TilingDisplay::current(Displays& displays) {
    const std::vector<Screen> screens = displays.screens();
    // Repeated names are counted over the whole list, whether a screen is kept or not.
    std::map<std::string, int> occurrences;
    for (const Screen& s : screens) ++occurrences[s.localizedName];
    std::map<std::string, int> running;
    std::vector<TilingDisplay> out;
    for (const IdentifiedScreen& s : identifiedScreens(displays)) {
        std::string name = s.screen.localizedName;
        if (occurrences[name] >= 2) name += " " + std::to_string(++running[s.screen.localizedName]);
        std::string detail = sizeText(s.screen.frame);
        if (displays.displayIsMain(s.displayID)) detail = "Main display \u00B7 " + detail;
        out.push_back({s.uuid, std::move(name), std::move(detail)});
    }
    return out;
}

WindowTilingDisplaysView::WindowTilingDisplaysView(Platform& platform, UserSettings& settings)
    : platformDisplays_(platform.displays),
      settings_(settings),
      displays_(TilingDisplay::current(platform.displays)) {
    observe(settings_.data);
    // Only a change of the screens reads the list again.
    screenChanges_ =
        platform.notifications.addObserver(notifications::kApplicationDidChangeScreenParameters,
                                           platform.runtime.mainQueue(), [this](const Notification&) {
                                               displays_ = TilingDisplay::current(platformDisplays_);
                                               setNeedsUpdate();
                                           });
}

bool WindowTilingDisplaysView::isFeatureOn() const {
    const UserSettingsData& d = *settings_.data;
    return d.snapLayoutsEnabled || d.resizeAdjacentWindowsEnabled || d.keyboardSnapEnabled;
}

Node WindowTilingDisplaysView::body() {
    if (displays_.size() < 2) return EmptyNode();
    const UserSettingsData& d = *settings_.data;
    if (!perDisplayTilingChoiceApplies(d.showOnAllDisplays, platformDisplays_.screensHaveSeparateSpaces(),
                                       displays_.size())) {
        return fullWidthLeading(Text("Applies to every display. To choose per display, turn on Show on all "
                                     "displays and, in System "
                                     "Settings, Displays have separate Spaces.",
                                     {.font = Font::system(11), .color = Color::secondary()})
                                    ->fixedSize(false, true)
                                    ->padding(EdgeInsets{10, 46, 10, 12}));
    }
    const bool on = isFeatureOn();
    std::vector<Node> rows;
    for (size_t i = 0; i < displays_.size(); ++i) {
        const TilingDisplay& display = displays_[i];
        if (i > 0) rows.push_back(RowDivider{}.body());
        UserSettings* settings = &settings_;
        const std::string id = display.id;
        Binding<bool> isOn{[settings, id] {
                               const auto& off = settings->data->windowTilingDisabledDisplays;
                               return std::find(off.begin(), off.end(), id) == off.end();
                           },
                           [settings, id](bool enabled) { settings->setWindowTilingDisabled(!enabled, id); }};
        rows.push_back(
            SettingsToggleRow{"display", display.name, display.detail, isOn}.body()->id(display.id));
    }
    return VStack(HorizontalAlignment::leading, 0,
                  {RowDivider{}.body(),
                   Text("Use on these displays",
                        {.font = Font::system(11, FontWeight::medium), .color = Color::secondary()})
                       ->padding(EdgeInsets{10, 46, 2, 0})
                       ->opacity(on ? 1.0 : 0.55),
                   dimmedUnless(on, VStack(HorizontalAlignment::leading, 0, std::move(rows)))});
}

}  // namespace qv
