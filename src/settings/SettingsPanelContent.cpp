#include "settings/SettingsPanelContent.h"

#include <numbers>

#include "bar/BarPanel.h"
#include "launcher/KeyNames.h"
#include "platform/Application.h"
#include "settings/SettingsRows.h"

namespace qv {

namespace {

constexpr HorizontalAlignment kLeading = HorizontalAlignment::leading;

std::string barSizeLabel(BarSize size) {
    switch (size) {
        case BarSize::small:
            return "Small";
        case BarSize::medium:
            return "Medium";
        case BarSize::large:
            return "Large";
        case BarSize::xl:
            return "XL";
        case BarSize::xxl:
            return "XXL";
    }
    return "Medium";
}

Node rows(std::vector<Node> children) {
    return VStack(kLeading, 0, std::move(children));
}

}  // namespace

std::string scrollRowSubtitle(const std::string& storedScrollUpSpaceSwitch) {
    return std::string("Scroll down switches to desktop on the ") +
           (storedScrollUpSpaceSwitch == "right" ? "Left" : "Right");
}

SettingsPanelContent::SettingsPanelContent(Platform& platform, SettingsServices services,
                                           std::vector<BarSize> barSizeOptions)
    : platform_(platform),
      services_(std::move(services)),
      barSizeOptions_(std::move(barSizeOptions)),
      isTahoe_(BarPanelEnvironment::isTahoeSystem(platform.system)),
      launcherRow_(std::make_shared<ShortcutRecorderView>(platform, services_.settings, services_.hotkey,
                                                          services_.switcherSupported,
                                                          services_.tilingSupported)),
      switcherRow_(
          std::make_shared<WindowSwitcherShortcutView>(platform, services_.settings, services_.hotkey)),
      snapKeysRow_(
          std::make_shared<KeyboardSnapShortcutView>(platform, services_.settings, services_.hotkey)),
      displaysRow_(std::make_shared<WindowTilingDisplaysView>(platform, services_.settings)) {
    observe(services_.settings.data);
    observe(services_.canCheckForUpdates);
}

Binding<bool> SettingsPanelContent::setting(bool UserSettingsData::*field,
                                            void (UserSettings::*setter)(bool)) {
    UserSettings* settings = &services_.settings;
    return {[settings, field] { return (*settings->data).*field; },
            [settings, setter](bool on) { (settings->*setter)(on); }};
}

Node SettingsPanelContent::barSection() {
    UserSettings* settings = &services_.settings;
    const UserSettingsData& d = *settings->data;

    std::vector<PickerOption> sizes;
    for (BarSize size : barSizeOptions_) sizes.push_back({std::string(rawValue(size)), barSizeLabel(size)});
    Binding<std::string> sizeSelection{
        [settings] { return std::string(rawValue(barSizeFromSetting(settings->data->barSize))); },
        [settings](std::string tag) {
            if (auto size = barSizeFromRawValue(tag)) settings->setBarSize(*size);
        }};
    Binding<std::string> scrollSelection{[settings] {
                                             return std::string(rawValue(spaceScrollUpBehaviorFromSetting(
                                                 settings->data->scrollUpSpaceSwitch)));
                                         },
                                         [settings](std::string tag) {
                                             if (auto behavior = spaceScrollUpBehaviorFromRawValue(tag))
                                                 settings->setScrollUpSpaceSwitch(*behavior);
                                         }};

    std::vector<Node> children = {
        SettingsPickerRow{"menubar.rectangle", std::numbers::pi, "Bar size",
                          "Pick the size that suits you best",
                          SegmentedPicker(sizes, sizeSelection, ControlSize::small)}
            .body(),
        RowDivider{}.body(),
        SettingsPickerRow{"arrow.left.arrow.right", 0, "Scroll up switches to desktop",
                          scrollRowSubtitle(d.scrollUpSpaceSwitch),
                          SegmentedPicker({{"left", "Left"}, {"right", "Right"}}, scrollSelection)}
            .body(),
        RowDivider{}.body(),
        SettingsToggleRow{"display.2", "Show on all displays", "Show bars across multiple monitors",
                          setting(&UserSettingsData::showOnAllDisplays, &UserSettings::setShowOnAllDisplays)}
            .body(),
    };
    if (isTahoe_) {
        // Off stores longhorn: aero is never chosen here.
        Binding<bool> frosted{
            [settings] { return settings->theme() == BarTheme::frosted; },
            [settings](bool on) { settings->setTheme(on ? BarTheme::frosted : BarTheme::longhorn); }};
        children.push_back(RowDivider{}.body());
        children.push_back(SettingsToggleRow{"cloud.fog", "Frosted glass",
                                             "Use a subtle frosted look instead of the default glass panel",
                                             frosted}
                               .body());
    }
    return SettingsSection{"Bar", "Layout and space switching behavior.", rows(std::move(children))}.body();
}

Node SettingsPanelContent::windowsSection() {
    const UserSettingsData& d = *services_.settings.data;
    return SettingsSection{
        "Windows", "How chips and previews are shown.",
        rows({SettingsToggleRow{
                  "rectangle.stack", "Group windows by app", "Shows one chip per app with multiple windows",
                  setting(&UserSettingsData::groupWindowsByApp, &UserSettings::setGroupWindowsByApp)}
                  .body(),
              RowDivider{}.body(),
              SettingsToggleRow{"tag", "Show chip titles",
                                "When off, chips hide title text but keep badges and counts",
                                setting(&UserSettingsData::showChipTitles, &UserSettings::setShowChipTitles)}
                  .body(),
              RowDivider{}.body(),
              dimmedUnless(d.showChipTitles,
                           SettingsToggleRow{"character.textbox", "Show window names",
                                             "When off, chips show app names only",
                                             setting(&UserSettingsData::showWindowNamesInChips,
                                                     &UserSettings::setShowWindowNamesInChips)}
                               .body()),
              RowDivider{}.body(),
              SettingsToggleRow{"dock.arrow.down.rectangle", "Hide Dock",
                                "Hides the system Dock; will be restored when this setting is disabled",
                                setting(&UserSettingsData::hideDock, &UserSettings::setHideDock)}
                  .body()})}
        .body();
}

Node SettingsPanelContent::switcherSection() {
    const UserSettingsData& d = *services_.settings.data;
    const KeyboardShortcut shortcut = services_.settings.windowSwitcherShortcut();
    const std::string modifiers = modifierSymbols(shortcut.modifiers);
    const std::string subtitle = "Tap " + modifiers +
                                 keyCodeToString(shortcut.keyCode, platform_.carbon).value_or("?") +
                                 " for the previous window; hold " + modifiers +
                                 " to pick from windows on the display under the pointer";
    return SettingsSection{
        "Window Switcher", "Switch between windows with the keyboard.",
        rows({SettingsToggleRow{
                  "rectangle.on.rectangle", "Window switcher", subtitle,
                  setting(&UserSettingsData::windowSwitcherEnabled, &UserSettings::setWindowSwitcherEnabled)}
                  .body(),
              RowDivider{}.body(), dimmedUnless(d.windowSwitcherEnabled, ViewNode(switcherRow_))})}
        .body();
}

Node SettingsPanelContent::tilingSection() {
    const UserSettingsData& d = *services_.settings.data;
    return SettingsSection{
        "Window Tiling", "Snap windows into layouts and keep tiled windows together.",
        rows({SettingsToggleRow{
                  "rectangle.split.2x1", "Snap layouts",
                  "Drag a window into the menu bar to pick a layout, then release it on a zone",
                  setting(&UserSettingsData::snapLayoutsEnabled, &UserSettings::setSnapLayoutsEnabled)}
                  .body(),
              RowDivider{}.body(),
              SettingsToggleRow{"arrow.left.and.right", "Resize windows together",
                                "Dragging an edge that windows share resizes all of them",
                                setting(&UserSettingsData::resizeAdjacentWindowsEnabled,
                                        &UserSettings::setResizeAdjacentWindowsEnabled)}
                  .body(),
              RowDivider{}.body(),
              SettingsToggleRow{
                  "keyboard", "Snap with the keyboard",
                  "Hold the snap keys and press an arrow for that half, F to fill, C to centre, or "
                  "1\u20139 to move the focused window to that desktop",
                  setting(&UserSettingsData::keyboardSnapEnabled, &UserSettings::setKeyboardSnapEnabled)}
                  .body(),
              RowDivider{}.body(), dimmedUnless(d.keyboardSnapEnabled, ViewNode(snapKeysRow_)),
              ViewNode(displaysRow_)})}
        .body();
}

Node SettingsPanelContent::launcherSection() {
    return SettingsSection{
        "Launcher", "Startup and global keyboard shortcut.",
        rows({SettingsToggleRow{"power", "Run at login", "Starts quillVorn automatically when you sign in",
                                setting(&UserSettingsData::runAtLogin, &UserSettings::setRunAtLogin)}
                  .body(),
              RowDivider{}.body(), ViewNode(launcherRow_)})}
        .body();
}

void SettingsPanelContent::quit() {
    if (!services_.settings.data->runAtLogin) services_.dock.restore(true);
    platform_.application.terminate();
}

Node SettingsPanelContent::footer() {
    auto check = services_.checkForUpdates;
    return HStack({Spacer(),
                   Button("check for updates",
                          [check] {
                              if (check) check();
                          })
                       ->disabled(!*services_.canCheckForUpdates),
                   Button(
                       "quit quillVorn", [this] { quit(); }, ButtonStyle::bordered, true)});
}

Node SettingsPanelContent::body() {
    std::vector<Node> column = {SettingsPanelHeader{}.body(), barSection(), windowsSection()};
    if (services_.switcherSupported) column.push_back(switcherSection());
    if (services_.tilingSupported) column.push_back(tilingSection());
    column.push_back(launcherSection());
    column.push_back(footer());
    Node stack =
        fullWidthLeading(VStack(kLeading, 18, std::move(column))->padding(EdgeInsets{18, 20, 20, 20}));
    Node scroll = ScrollView(Axis::vertical, stack)
                      ->frame(Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity});
    Node gradient = Fill(Gradient{{Color::windowBackground(), Color::underPageBackground()},
                                  UnitPoint::topLeading(),
                                  UnitPoint::bottomTrailing()});
    return ZStack({gradient, scroll})->frame(kWidth, kHeight);
}

}  // namespace qv
