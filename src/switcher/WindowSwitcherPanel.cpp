#include "switcher/WindowSwitcherPanel.h"

#include <algorithm>
#include <cmath>

#include "previews/ThumbnailPopupShell.h"

namespace qv {

namespace {

constexpr double kCardInnerWidth = 196;
constexpr double kPictureHeight = 144;
constexpr double kCornerRadius = 8;
// The platform's icon for the application-bundle content type.
constexpr const char* kApplicationBundleType = "com.apple.application-bundle";

Node iconNode(const std::shared_ptr<const Image>& icon, const std::shared_ptr<const Image>& generic) {
    const std::shared_ptr<const Image>& shown = icon ? icon : generic;
    if (shown) return IconImage(shown)->resizableImage();
    return SymbolImage("app");
}

}  // namespace

SwitcherHeader SwitcherHeader::of(const WindowSwitcherModel& model) {
    SwitcherHeader header;
    if (auto entry = model.selectedEntry()) {
        header.icon = entry->icon;
        header.title = entry->appName;
    }
    const size_t count = model.entries->size();
    if (count >= 2)
        header.subtitle = std::to_string(*model.selectedIndex + 1) + " of " + std::to_string(count);
    return header;
}

WindowSwitcherView::WindowSwitcherView(std::shared_ptr<WindowSwitcherModel> model,
                                       std::shared_ptr<Queue> mainQueue,
                                       std::shared_ptr<const Image> genericAppIcon,
                                       std::weak_ptr<const Panel> panel)
    : model_(std::move(model)),
      mainQueue_(std::move(mainQueue)),
      genericAppIcon_(std::move(genericAppIcon)),
      panel_(std::move(panel)) {
    observe(model_->entries);
    observe(model_->selectedIndex);
    observe(model_->thumbnails);
    observe(model_->layout);
    observe(model_->barSize);
    subscriptions_.push_back(model_->entries.subscribeToChanges([this](const auto&) { cards_.clear(); }));
    // Only changes scroll: the first showing stays where the grid starts.
    subscriptions_.push_back(model_->selectedIndex.subscribeToChanges(
        [this](const int& index) { scrollToRow(index, Animation::easeOut(kSelectionScrollDuration)); }));
    subscriptions_.push_back(model_->presentationID.subscribeToChanges([this](const int&) {
        // After the grid of the new presentation is built, with the selection as it is then.
        mainQueue_->async([this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) scrollToRow(*model_->selectedIndex, std::nullopt);
        });
    }));
}

std::string WindowSwitcherView::rowID(int index, int columns) {
    const int c = std::max(1, columns);
    return "row-" + std::to_string((index / c) * c);
}

namespace {

constexpr double kRowPitch = SwitcherMetrics::kCardHeight + WindowSwitcherView::kRowSpacing;

int rowCount(int count, const SwitcherLayout& layout) {
    const int c = std::max(1, layout.columns);
    return (std::max(count, 0) + c - 1) / c;
}

// The grid's scroll offsets run from 0 to this.
double maxScrollOffset(int count, const SwitcherLayout& layout) {
    const int rows = rowCount(count, layout);
    const double content = 2 * SwitcherMetrics::kPadding + rows * SwitcherMetrics::kCardHeight +
                           std::max(rows - 1, 0) * WindowSwitcherView::kRowSpacing;
    return std::max(0.0, content - layout.gridHeight);
}

}  // namespace

double WindowSwitcherView::rowCentringOffset(int index, int count, const SwitcherLayout& layout) {
    const int c = std::max(1, layout.columns);
    const double rowTop = SwitcherMetrics::kPadding + (index / c) * kRowPitch;
    const double centred = rowTop + SwitcherMetrics::kCardHeight / 2 - layout.gridHeight / 2;
    return std::clamp(centred, 0.0, maxScrollOffset(count, layout));
}

std::pair<int, int> WindowSwitcherView::visibleRows(double offset, int count, const SwitcherLayout& layout) {
    const int rows = rowCount(count, layout);
    const double top = std::clamp(offset, 0.0, maxScrollOffset(count, layout)) - SwitcherMetrics::kPadding;
    const double bottom = top + layout.gridHeight;
    // A row shows when its card reaches into the visible band.
    const int first = std::clamp(
        static_cast<int>(std::floor((top - SwitcherMetrics::kCardHeight) / kRowPitch)) + 1, 0, rows);
    const int last = std::clamp(static_cast<int>(std::ceil(bottom / kRowPitch)), first, rows);
    return {first, last};
}

void WindowSwitcherView::scrollToRow(int index, std::optional<Animation> animation) {
    if (!model_->layout->scrolls) return;
    const int count = static_cast<int>(model_->entries->size());
    if (index < 0 || index >= count) return;
    // A row already where it would go needs no redraw of the whole grid; an earlier request not
    // yet carried out is dropped with it.
    const double target = rowCentringOffset(index, count, *model_->layout);
    if (std::abs(scroller_->offset().y - target) < 1e-6) {
        scroller_->takeRequest();
        return;
    }
    // By offset: the grid builds only the rows in sight, so the row may not be built yet.
    scroller_->scrollToOffset(target, animation);
    setNeedsUpdate();
}

Node WindowSwitcherView::card(int index) const {
    const SwitcherEntry& entry = (*model_->entries)[static_cast<size_t>(index)];
    const bool isSelected = index == *model_->selectedIndex;
    std::shared_ptr<const Image> picture;
    if (auto it = model_->thumbnails->find(entry.id); it != model_->thumbnails->end()) picture = it->second;

    std::vector<Node> titleRow = {
        iconNode(entry.icon, genericAppIcon_)->frame(14, 14),
        Text(entry.title.empty() ? entry.appName : entry.title,
             {.font = Font::system(10, FontWeight::medium), .color = Color::primary(), .lineLimit = 1}),
        Spacer(0),
    };
    if (entry.isMinimized) {
        titleRow.push_back(
            SymbolImage("minus.circle", Font::system(9, FontWeight::semibold), Color::secondary())
                ->help("Minimized"));
    }

    Node pictureArea;
    if (picture) {
        pictureArea = BitmapImage(picture)
                          ->resizableImage()
                          ->aspectRatio(ContentMode::fit)
                          ->frame(kCardInnerWidth, kPictureHeight)
                          ->opacity(entry.isMinimized ? kMinimizedPictureOpacity : 1.0);
    } else {
        pictureArea = iconNode(entry.icon, genericAppIcon_)
                          ->frame(44, 44)
                          ->opacity(kPlaceholderOpacity)
                          ->frame(kCardInnerWidth, kPictureHeight);
    }
    pictureArea =
        pictureArea->background(Color::primary().opacity(0.05))->clipShape(Shape::roundedRect(kCornerRadius));

    std::weak_ptr<WindowSwitcherModel> weakModel = model_;
    return VStack(HorizontalAlignment::leading, 6,
                  {HStack(VerticalAlignment::center, 5, std::move(titleRow))
                       ->frame(kCardInnerWidth, 16, Alignment::leading()),
                   std::move(pictureArea)})
        ->padding(8)
        ->frame(SwitcherMetrics::kCardWidth, std::nullopt)
        ->background(
            RoundedRectangle(kCornerRadius)
                ->fillWith(isSelected ? Color::accent().opacity(0.15) : Color::primary().opacity(0.05)))
        ->overlay(
            RoundedRectangle(kCornerRadius)
                ->strokeBorder(isSelected ? Color::accent().opacity(0.5) : Color::primary().opacity(0.1),
                               isSelected ? 2 : 1))
        ->contentShape(Shape::roundedRect(kCornerRadius))
        ->onHover([weakModel, index](bool entered) {
            auto model = weakModel.lock();
            if (entered && model && model->onHover) model->onHover(index);
        })
        ->onTapGesture([weakModel, index] {
            auto model = weakModel.lock();
            if (model && model->onClick) model->onClick(index);
        })
        ->id("card-" + std::to_string(index));
}

Node WindowSwitcherView::cachedCard(int index) {
    const uint32_t id = (*model_->entries)[static_cast<size_t>(index)].id;
    auto found = model_->thumbnails->find(id);
    const Image* picture = found == model_->thumbnails->end() ? nullptr : found->second.get();
    const bool isSelected = index == *model_->selectedIndex;
    if (cards_.size() != model_->entries->size()) cards_.assign(model_->entries->size(), BuiltCard{});
    BuiltCard& built = cards_[static_cast<size_t>(index)];
    if (!built.node || built.picture != picture || built.isSelected != isSelected)
        built = BuiltCard{card(index), picture, isSelected};
    return built.node;
}

Node WindowSwitcherView::grid() {
    const int count = static_cast<int>(model_->entries->size());
    const SwitcherLayout& layout = *model_->layout;
    const int columns = std::max(1, layout.columns);
    // Only the rows in sight are built, whatever the number of windows; the rows above and below
    // stand as room of their height, so the grid scrolls as if they were there.
    const double offset = scroller_->requestedOffset().value_or(scroller_->offset().y);
    const auto [firstRow, endRow] = visibleRows(offset, count, layout);
    const int rows = rowCount(count, layout);
    std::vector<Node> built;
    for (int row = firstRow; row < endRow; ++row) {
        const int first = row * columns;
        std::vector<Node> cards;
        for (int i = first; i < std::min(count, first + columns); ++i) cards.push_back(cachedCard(i));
        built.push_back(HStack(VerticalAlignment::center, SwitcherMetrics::kSpacing, std::move(cards))
                            ->id(rowID(first, columns)));
    }
    const EdgeInsets room{SwitcherMetrics::kPadding + firstRow * kRowPitch, SwitcherMetrics::kPadding,
                          SwitcherMetrics::kPadding + (rows - endRow) * kRowPitch, SwitcherMetrics::kPadding};
    Node stack = VStack(HorizontalAlignment::center, kRowSpacing, std::move(built))
                     ->padding(room)
                     ->frame(Element::FlexFrame{.maxWidth = kInfinity});
    return ScrollView(
               Axis::vertical, stack,
               {.showsIndicators = false, .disabled = !model_->layout->scrolls, .controller = scroller_})
        ->frame(std::nullopt, model_->layout->gridHeight);
}

Node WindowSwitcherView::body() {
    if (auto panel = panel_.lock(); panel && !panel->isVisible()) return EmptyNode();
    // The thumbnail pop-up's shell, so the switcher reads as one of that family.
    const SwitcherHeader header = SwitcherHeader::of(*model_);
    const ThumbnailPopupShell shell{.barSize = *model_->barSize,
                                    .icon = header.icon ? header.icon : genericAppIcon_,
                                    .title = header.title,
                                    .subtitle = header.subtitle,
                                    .content = grid()};
    const Rect frame = model_->layout->frame;
    return shell.body()->frame(frame.width(), frame.height());
}

WindowSwitcherPanel::WindowSwitcherPanel(Windowing& windowing, Runtime& runtime)
    : Panel(windowing, runtime, Rect{}, stylemask::kNonactivatingPanel) {}

std::shared_ptr<WindowSwitcherPanel> WindowSwitcherPanel::make(Windowing& windowing, Runtime& runtime,
                                                               Workspace& workspace,
                                                               std::shared_ptr<WindowSwitcherModel> model) {
    auto panel = Panel::make<WindowSwitcherPanel>(windowing, runtime);
    panel->setTitle(kTitle);
    panel->titleVisible = false;
    panel->isFloatingPanel = true;
    panel->setLevel(kLevel);
    panel->collectionBehavior = collectionbehavior::kCanJoinAllSpaces | collectionbehavior::kTransient |
                                collectionbehavior::kIgnoresCycle | collectionbehavior::kFullScreenAuxiliary;
    panel->isOpaque = false;
    panel->backgroundColor = Color::clear();
    panel->hasShadow = true;
    panel->hidesOnDeactivate = false;
    panel->acceptsMouseMovedEvents = true;  // the cards report the pointer entering them
    panel->animationBehavior = animationbehavior::kNone;
    panel->view_ = std::make_shared<WindowSwitcherView>(
        std::move(model), runtime.mainQueue(), workspace.iconForContentType(kApplicationBundleType), panel);
    panel->setContentView(std::make_shared<HostingView>(runtime, panel->view_));
    return panel;
}

}  // namespace qv
