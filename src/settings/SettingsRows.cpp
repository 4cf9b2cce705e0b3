#include "settings/SettingsRows.h"

namespace qv {

namespace {

constexpr HorizontalAlignment kLeading = HorizontalAlignment::leading;

std::string upperCased(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

Node symbolTile(const std::string& symbol, double side, double radius, double symbolSize, double rotation) {
    Node image = SymbolImage(symbol, Font::system(symbolSize, FontWeight::semibold), Color::accent());
    if (rotation != 0) image = image->rotationEffect(rotation);
    return ZStack({RoundedRectangle(radius)->fillWith(Color::accent().opacity(0.14)), image})
        ->frame(side, side);
}

Node fullWidthLeading(Node node) {
    return node->frame(Element::FlexFrame{.maxWidth = kInfinity, .alignment = Alignment::leading()});
}

Node dimmedUnless(bool active, Node row) {
    return row->opacity(active ? 1.0 : 0.55)->allowsHitTesting(active);
}

Node settingsRowTexts(const std::string& title, const std::optional<std::string>& subtitle,
                      Color subtitleColor) {
    std::vector<Node> lines = {Text(title, {.font = Font::system(13, FontWeight::medium)})};
    if (subtitle) lines.push_back(Text(*subtitle, {.font = Font::system(11), .color = subtitleColor}));
    return VStack(kLeading, 2, std::move(lines));
}

Node SettingsPanelHeader::body() const {
    return HStack(VerticalAlignment::top, 12,
                  {symbolTile("slider.horizontal.3", 36, 10, 16, 0),
                   VStack(kLeading, 4,
                          {Text("quillVorn settings", {.font = Font::system(20, FontWeight::semibold)}),
                           Text("Tune behavior, visuals, and shortcuts.",
                                {.font = Font::system(12), .color = Color::secondary()})}),
                   Spacer(0)});
}

Node SettingsSection::body() const {
    std::vector<Node> heading = {
        Text(upperCased(title),
             {.font = Font::system(11, FontWeight::semibold), .color = Color::secondary(), .tracking = 0.6})};
    if (subtitle) heading.push_back(Text(*subtitle, {.font = Font::system(11), .color = Color::tertiary()}));
    Node card = fullWidthLeading(VStack(kLeading, 0, {content ? content : EmptyNode()}))
                    ->background(Color::controlBackground().opacity(0.9))
                    ->clipShape(Shape::roundedRect(12))
                    ->overlay(RoundedRectangle(12)->strokeBorder(Color::primary().opacity(0.08), 0.5));
    return fullWidthLeading(VStack(kLeading, 8, {VStack(kLeading, 2, std::move(heading)), card}));
}

Node RowDivider::body() const {
    return Divider()->padding(EdgeInsets{0, 48, 0, 0});
}

Node SettingsRowIcon::body() const {
    return symbolTile(symbol, 24, 7, 12, rotation);
}

Node SettingsPickerRow::body() const {
    Node header = HStack(VerticalAlignment::top, 10,
                         {SettingsRowIcon{icon, iconRotation}.body()->padding(EdgeInsets{1, 0, 0, 0}),
                          settingsRowTexts(title, subtitle)});
    Node controlLine = (control ? control : EmptyNode())
                           ->frame(Element::FlexFrame{
                               .minWidth = 0, .maxWidth = kInfinity, .alignment = Alignment::leading()})
                           ->padding(EdgeInsets{0, 34, 0, 0});
    return VStack(kLeading, 10, {header, controlLine})->padding(EdgeInsets::symmetric(12, 11));
}

Node SettingsToggleRow::body() const {
    Node leading = fullWidthLeading(HStack(VerticalAlignment::top, 10,
                                           {SettingsRowIcon{icon}.body()->padding(EdgeInsets{1, 0, 0, 0}),
                                            fullWidthLeading(settingsRowTexts(title, subtitle))}));
    // The switch's label is hidden; assistive technologies name it by the row's title.
    Node toggle = Toggle(isOn)->fixedSize()->accessibilityLabel(title)->padding(EdgeInsets{1, 0, 0, 0});
    return fullWidthLeading(
        HStack(VerticalAlignment::top, 10, {leading, toggle})->padding(EdgeInsets::symmetric(12, 10)));
}

}  // namespace qv
