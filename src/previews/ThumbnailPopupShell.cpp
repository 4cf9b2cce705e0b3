#include "previews/ThumbnailPopupShell.h"

#include <algorithm>
#include <array>

namespace qv {

namespace {

size_t sizeIndex(BarSize size) {
    return static_cast<size_t>(size);
}

}  // namespace

double thumbnailHeaderIconSize(BarSize size) {
    static constexpr std::array<double, 5> sides{18, 18, 20, 22, 24};
    return sides[sizeIndex(size)];
}

double thumbnailHeaderVerticalPadding(BarSize size) {
    static constexpr std::array<double, 5> paddings{8, 8, 9, 10, 11};
    return paddings[sizeIndex(size)];
}

double thumbnailPopupHeight(BarSize size) {
    const double header = 2 * thumbnailHeaderVerticalPadding(size) + thumbnailHeaderIconSize(size);
    return header + 1 + kThumbnailContentPadding + kThumbnailCardHeight + kThumbnailContentPadding;
}

double groupedThumbnailPopupWidth(size_t windowCount, double maxAvailableWidth) {
    const double n = static_cast<double>(windowCount);
    const double cards =
        2 * kThumbnailContentPadding + kThumbnailCardWidth * n + kThumbnailCardSpacing * std::max(n - 1, 0.0);
    return std::min(maxAvailableWidth, std::max(kGroupedPopupMinWidth, cards));
}

Node ThumbnailPopupShell::body() const {
    const double iconSide = thumbnailHeaderIconSize(barSize);
    std::vector<Node> header;
    Node iconNode = icon ? IconImage(icon) : SymbolImage("app");
    header.push_back(iconNode->resizableImage()->frame(iconSide, iconSide)->clipShape(Shape::roundedRect(4)));
    header.push_back(Text(
        title, {.font = Font::system(12, FontWeight::semibold), .color = Color::primary(), .lineLimit = 1}));
    header.push_back(Spacer());
    if (subtitle) {
        header.push_back(
            Text(*subtitle, {.font = Font::system(10), .color = Color::secondary(), .lineLimit = 1}));
    }
    const double pad = thumbnailHeaderVerticalPadding(barSize);
    Node headerRow =
        HStack(VerticalAlignment::center, 8, std::move(header))->padding(EdgeInsets{pad, 14, pad, 14});
    return VStack(HorizontalAlignment::leading, 0, {headerRow, Divider(), content ? content : EmptyNode()})
        ->background(MaterialView(Material::ultraThick)->clipShape(Shape::roundedRect(kCornerRadius)))
        ->clipShape(Shape::roundedRect(kCornerRadius))
        ->overlay(RoundedRectangle(kCornerRadius)->strokeBorder(Color::primary().opacity(0.1), 1));
}

ThumbnailImage::Look ThumbnailImage::look() const {
    // A picture wins over the spinner: a refresh under way keeps the old picture in view.
    if (thumbnail) return Look::picture;
    return isLoading ? Look::spinner : Look::placeholder;
}

Node ThumbnailImage::body() const {
    const Shape box = Shape::roundedRect(8);
    switch (look()) {
        case Look::picture:
            return BitmapImage(thumbnail)
                ->resizableImage()
                ->aspectRatio(ContentMode::fit)
                ->frame(kThumbnailImageWidth, kThumbnailImageHeight)
                ->background(Color::primary().opacity(0.05))
                ->clipShape(box);
        case Look::spinner:
            return Fill(Color::gray(0.1))
                ->frame(kThumbnailImageWidth, kThumbnailImageHeight)
                ->clipShape(box)
                ->overlay(ProgressSpinner()->scaleEffect(0.6));
        case Look::placeholder:
            break;
    }
    return Fill(Color::gray(0.15))
        ->frame(kThumbnailImageWidth, kThumbnailImageHeight)
        ->clipShape(box)
        ->overlay(SymbolImage("rectangle.on.rectangle.slash", Font::system(16), Color::tertiary()));
}

}  // namespace qv
