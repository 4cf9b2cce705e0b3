#include "previews/ThumbnailCard.h"

#include "previews/ThumbnailPopupShell.h"

namespace qv {

WindowControlButton WindowControlButton::minimize(std::function<void()> action, ColorScheme scheme) {
    return {Color::rgb(1.0, 0.74, 0.18), "minus", 7, -0.25, std::move(action), scheme};
}

WindowControlButton WindowControlButton::close(std::function<void()> action, ColorScheme scheme) {
    return {Color::rgb(1.0, 0.38, 0.34), "xmark", 7, 0, std::move(action), scheme};
}

Node WindowControlButton::face(bool isHovered) const {
    std::vector<Node> layers{Circle()->fillWith(fillColor)};
    if (colorScheme == ColorScheme::light) layers.push_back(Circle()->strokeBorder(Color::black(0.15), 0.5));
    if (isHovered) {
        layers.push_back(
            SymbolImage(symbolName, Font::system(symbolSize, FontWeight::bold), Color::black(0.6))
                ->offset(0, symbolOffsetY));
    }
    return Button(ZStack(std::move(layers))->frame(kSide, kSide), action, ButtonStyle::plain);
}

Node WindowControlButton::body() const {
    WindowControlButton self = *this;
    return WithState<bool>(false, [self](State<bool> hovered) {
        return self.face(hovered.get())->onHover([hovered](bool h) mutable { hovered.set(h); });
    });
}

std::vector<WindowControlButton> ThumbnailCard::controls(bool isHovered) const {
    std::vector<WindowControlButton> shown;
    if (!isHovered) return shown;
    if (onMinimize) shown.push_back(WindowControlButton::minimize(onMinimize, colorScheme));
    if (onClose) shown.push_back(WindowControlButton::close(onClose, colorScheme));
    return shown;
}

Menu ThumbnailCard::contextMenu() const {
    Menu menu;
    if (auto moveTo = moveToMenuItem(moveToGroups, screenCount, onMoveToSpace)) {
        menu.items.push_back(*moveTo);
        // The divider only separates "Move to" from what follows it.
        if (onMinimize || onClose) menu.items.push_back(MenuItem::separator());
    }
    for (MenuItem& item : windowControlMenuItems(onMinimize, onClose)) menu.items.push_back(std::move(item));
    return menu;
}

Node ThumbnailCard::face(bool isHovered) const {
    std::vector<Node> titleRow{
        Text(title,
             {.font = Font::system(10, FontWeight::medium), .color = Color::primary(), .lineLimit = 1}),
        Spacer()};
    std::vector<Node> buttons;
    for (const WindowControlButton& control : controls(isHovered)) buttons.push_back(control.body());
    if (!buttons.empty()) titleRow.push_back(HStack(VerticalAlignment::center, 6, std::move(buttons)));
    Node content = VStack(HorizontalAlignment::leading, 7,
                          {HStack(VerticalAlignment::center, 4, std::move(titleRow))
                               ->frame(kThumbnailImageWidth, 18, Alignment::leading()),
                           ThumbnailImage{thumbnail, isLoading}.body()})
                       ->padding(10)
                       ->frame(kThumbnailCardWidth, std::nullopt);
    const Shape shape = Shape::roundedRect(8);
    Node background = isActive ? RoundedRectangle(8)->fillWith(Color::accent().opacity(0.15))
                               : RoundedRectangle(8)->fillWith(Color::primary().opacity(0.05));
    Node border = isActive ? RoundedRectangle(8)->strokeBorder(Color::accent().opacity(0.5), 2)
                           : RoundedRectangle(8)->strokeBorder(Color::primary().opacity(0.1), 1);
    return Button(content->background(background)->overlay(border)->contentShape(shape), onTap,
                  ButtonStyle::plain);
}

Node ThumbnailCard::body() const {
    ThumbnailCard self = *this;
    return WithState<bool>(false, [self](State<bool> hovered) {
        return self.face(hovered.get())
            ->onHover([hovered](bool h) mutable { hovered.set(h); })
            ->contextMenu([self] { return self.contextMenu(); });
    });
}

}  // namespace qv
