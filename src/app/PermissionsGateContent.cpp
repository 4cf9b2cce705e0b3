#include "app/PermissionsGateContent.h"

#include "app/Localizable.h"
#include "platform/Application.h"
#include "settings/SettingsRows.h"

namespace qv {

namespace {

constexpr HorizontalAlignment kLeading = HorizontalAlignment::leading;

}  // namespace

Node PermissionsHeader::body() const {
    return HStack(VerticalAlignment::top, 12,
                  {symbolTile("lock.shield", 36, 10, 16),
                   VStack(kLeading, 4,
                          {Text(localized("Allow Access for quillVorn"),
                                {.font = Font::system(20, FontWeight::semibold)}),
                           Text(localized("Set up permissions before the app can start."),
                                {.font = Font::system(12), .color = Color::secondary()})}),
                   Spacer()});
}

Node PermissionsSection::body() const {
    return SettingsSection{title, subtitle, content}.body();
}

Node PermissionStatusBadge::body() const {
    const Color tint = isGranted ? Color::green() : Color::orange();
    return Text(localized(isGranted ? "Granted" : "Required"),
                {.font = Font::system(10, FontWeight::semibold), .color = tint})
        ->padding(EdgeInsets::symmetric(8, 4))
        ->background(RoundedRectangle(999)->fillWith(tint.opacity(0.16)));
}

Node PermissionsRowIcon::body() const {
    return SettingsRowIcon{symbol}.body();
}

Node PermissionsDivider::body() const {
    return RowDivider{}.body();
}

Node PermissionRequirementRow::body() const {
    Node texts = VStack(kLeading, 3,
                        {HStack(VerticalAlignment::center, 8,
                                {Text(title, {.font = Font::system(13, FontWeight::medium)}),
                                 PermissionStatusBadge{isGranted}.body()}),
                         Text(description, {.font = Font::system(11), .color = Color::secondary()}),
                         Text(helpText, {.font = Font::system(11), .color = Color::tertiary()})});
    Node buttons = HStack(VerticalAlignment::center, 8,
                          {Button(localized(isGranted ? "Check Again" : "Request Access"), requestAction,
                                  ButtonStyle::borderedProminent),
                           Button(localized("Open Settings"), openSettingsAction, ButtonStyle::bordered)})
                       ->padding(EdgeInsets{0, 34, 0, 0});
    return fullWidthLeading(
        VStack(kLeading, 10,
               {HStack(VerticalAlignment::top, 10,
                       {PermissionsRowIcon{icon}.body()->padding(EdgeInsets{1, 0, 0, 0}), texts, Spacer()}),
                buttons})
            ->padding(EdgeInsets::symmetric(12, 11)));
}

PermissionsGateContent::PermissionsGateContent(Platform& platform, std::function<void()> onContinue,
                                               std::function<void()> onQuit)
    : model(PermissionsGateModel::create(platform)),
      onContinue(std::move(onContinue)),
      onQuit(std::move(onQuit)),
      platform_(platform) {
    observe(model->state);
}

PermissionsGateContent::~PermissionsGateContent() {
    // The content goes away with its panel: so does the refresh timer.
    model->stopMonitoring();
}

Node PermissionsGateContent::footer(const LaunchPermissionsState& state) const {
    const bool granted = state.allGranted();
    const Color tint = granted ? Color::green() : Color::orange();
    Node status = HStack(
        VerticalAlignment::center, 6,
        {SymbolImage(granted ? "checkmark.circle.fill" : "exclamationmark.triangle.fill",
                     Font::system(12, FontWeight::medium), tint),
         Text(localized(granted ? "All required permissions granted" : "Grant both permissions to continue"),
              {.font = Font::system(12, FontWeight::medium), .color = tint})});
    auto quit = onQuit;
    auto proceed = onContinue;
    return HStack(VerticalAlignment::center, 8,
                  {status, Spacer(),
                   Button(
                       localized("quit"), [quit] { quit(); }, ButtonStyle::bordered),
                   // A disabled button is drawn faded, as the platform draws it.
                   Button(
                       localized("continue"), [proceed] { proceed(); }, ButtonStyle::borderedProminent)
                       ->disabled(!granted)
                       ->opacity(granted ? 1 : 0.5)});
}

Node PermissionsGateContent::body() {
    const LaunchPermissionsState state = *model->state;
    std::weak_ptr<PermissionsGateModel> weakModel = model;
    Workspace& workspace = platform_.workspace;
    auto openPage = [&workspace](const char* url) {
        return [&workspace, url] { LaunchPermissionCenter::openSettings(workspace, {url}); };
    };

    PermissionRequirementRow accessibility{"figure.stand",
                                           "Accessibility",
                                           "Needed to observe windows and respond to focus changes.",
                                           "System Settings > Privacy & Security > Accessibility",
                                           state.accessibilityGranted,
                                           [weakModel] {
                                               if (auto m = weakModel.lock()) m->requestAccessibilityAccess();
                                           },
                                           openPage(LaunchPermissionCenter::kAccessibilitySettingsURL)};
    PermissionRequirementRow screenRecording{"display",
                                             "Screen Recording",
                                             "Needed to display window titles and thumbnails.",
                                             "System Settings > Privacy & Security > Screen Recording",
                                             state.screenRecordingGranted,
                                             [weakModel] {
                                                 if (auto m = weakModel.lock())
                                                     m->requestScreenRecordingAccess();
                                             },
                                             openPage(LaunchPermissionCenter::kScreenRecordingSettingsURL)};

    const std::string bundleID =
        platform_.application.mainBundleIdentifier().value_or("<missing CFBundleIdentifier>");
    std::vector<Node> notes;
    for (std::string note : {localized("1. Click Request Access for each missing permission."),
                             localized("2. If needed, use Open Settings to grant it manually."),
                             localized("3. Click Continue once both rows show Granted."),
                             localized("4. Accessibility entry must match bundle ID: ") + bundleID}) {
        notes.push_back(Text(std::move(note), {.font = Font::system(12)}));
    }

    Node column = fullWidthLeading(
        VStack(
            kLeading, 18,
            {PermissionsHeader{}.body(),
             PermissionsSection{
                 "Required", "quillVorn needs both permissions before it can start.",
                 VStack(kLeading, 0,
                        {accessibility.body(), PermissionsDivider{}.body(), screenRecording.body()})}
                 .body(),
             PermissionsSection{"Notes", "If Screen Recording was just granted, macOS may require a restart.",
                                fullWidthLeading(VStack(kLeading, 8, std::move(notes))
                                                     ->foregroundStyle(Color::secondary())
                                                     ->padding(EdgeInsets::symmetric(12, 12)))}
                 .body(),
             footer(state)})
            ->padding(EdgeInsets{18, 20, 20, 20}));

    Gradient background{{Color::windowBackground(), Color::underPageBackground()},
                        UnitPoint::topLeading(),
                        UnitPoint::bottomTrailing()};
    return ZStack({Fill(background),
                   ScrollView(Axis::vertical, column, {.showsIndicators = false})
                       ->frame(Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity})})
        ->frame(kWidth, kHeight)
        ->onAppear([weakModel] {
            if (auto m = weakModel.lock()) m->startMonitoring();
        })
        ->onDisappear([weakModel] {
            if (auto m = weakModel.lock()) m->stopMonitoring();
        });
}

}  // namespace qv
