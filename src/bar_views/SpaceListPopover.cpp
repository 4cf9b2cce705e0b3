#include "bar_views/SpaceListPopover.h"

#include <set>

#include "bar_views/DesktopNumbers.h"
#include "bar_views/SpaceListPanel.h"

namespace qv {

Node SpaceRow::body() const {
    SpaceRow row = *this;
    return WithState<bool>(false, [row](State<bool> hovered) {
        const Color primary = Color::primary();
        std::vector<Node> items = {
            Circle()->fillWith(row.isActive ? Color::accent() : Color::clear())->frame(6, 6),
            Text(row.title, {.font = Font::system(12),
                             .color = row.isActive ? primary : primary.opacity(0.78),
                             .lineLimit = 1}),
            Spacer(),
        };
        if (row.windowCount > 0 && !row.isFullscreen) {
            items.push_back(Text(std::to_string(row.windowCount),
                                 {.font = Font::system(10, FontWeight::medium), .color = primary})
                                ->padding(EdgeInsets{2, 6, 2, 6})
                                ->background(Capsule()->fillWith(primary.opacity(0.1))));
        }
        Node content = HStack(VerticalAlignment::center, 8, std::move(items))
                           ->padding(EdgeInsets{6, 10, 6, 10})
                           ->background(RoundedRectangle(6)->fillWith(
                               hovered.get() ? Color::accent().opacity(0.2) : Color::clear()))
                           ->contentShape();
        return Button(content, row.action)
            ->onHover([hovered](bool on) mutable { hovered.set(on); })
            ->accessibilityLabel(row.title, true)
            ->padding(EdgeInsets::horizontal(4));
    });
}

SpaceListPopover::SpaceListPopover(Platform& platform, std::shared_ptr<BarViewModel> viewModel,
                                   std::string displayIdentifier, std::function<void()> onDismiss,
                                   std::function<void(uint64_t spaceID)> onSwitchToSpace,
                                   std::function<void(double height)> onHeightChange)
    : platform_(platform),
      viewModel_(std::move(viewModel)),
      displayIdentifier_(std::move(displayIdentifier)),
      onDismiss_(std::move(onDismiss)),
      onSwitchToSpace_(std::move(onSwitchToSpace)),
      onHeightChange_(std::move(onHeightChange)) {
    observe(viewModel_->spaces);
    observe(viewModel_->chipsBySpace);
    observe(viewModel_->activeSpaceID);
}

std::string SpaceListPopover::headerTitle(const std::vector<SpaceInfo>& spaces,
                                          const std::optional<std::string>& listScreenName) {
    std::set<std::string> displays;
    for (const SpaceInfo& s : spaces) displays.insert(s.displayIdentifier);
    if (displays.size() <= 1 || !listScreenName) return "Desktops";
    return *listScreenName;
}

std::string SpaceListPopover::headerTitle() const {
    SpaceWindows spaceWindows(platform_);
    std::optional<std::string> name;
    if (auto screen = spaceWindows.screen(displayIdentifier_, platform_.windowing.screens()))
        name = screen->localizedName;
    return headerTitle(*viewModel_->spaces, name);
}

std::vector<SpaceListPopover::SpaceRowModel> SpaceListPopover::buildRows(
    const std::vector<SpaceInfo>& orderedDesktops, const BarViewModel::ChipMap& chipsBySpace) {
    std::vector<SpaceRowModel> rows;
    for (const SpaceInfo& s : orderedDesktops) {
        if (!s.isFullScreen()) {
            rows.push_back({s, desktopLabel(*ordinaryDesktopNumber(orderedDesktops, s.spaceID))});
            continue;
        }
        std::string title = "Fullscreen";
        if (auto it = chipsBySpace.find(s.spaceID); it != chipsBySpace.end() && !it->second.empty()) {
            title = it->second.front().appName;
            for (const ChipData& chip : it->second) {
                if (chip.isFocused) {
                    title = chip.appName;
                    break;
                }
            }
        }
        rows.push_back({s, title});
    }
    return rows;
}

Node SpaceListPopover::body() {
    const auto& chips = *viewModel_->chipsBySpace;
    const uint64_t active = *viewModel_->activeSpaceID;
    std::vector<Node> children = {
        Text(headerTitle(), {.font = Font::system(11, FontWeight::semibold), .color = Color::secondary()})
            ->padding(EdgeInsets{2, 8, 4, 8}),
        Divider(),
    };
    auto queue = platform_.runtime.mainQueue();
    for (const SpaceRowModel& row :
         buildRows(desktopsOfDisplay(*viewModel_->spaces, displayIdentifier_), chips)) {
        const uint64_t id = row.space.spaceID;
        auto it = chips.find(id);
        // The list goes first; the switch follows on the next turn, holding only the callback.
        auto dismiss = onDismiss_;
        auto switchTo = onSwitchToSpace_;
        children.push_back(SpaceRow{
            .title = row.title,
            .isFullscreen = row.space.isFullScreen(),
            .isActive = id == active,
            .windowCount = it == chips.end() ? 0 : static_cast<int>(it->second.size()),
            .action =
                [dismiss, switchTo, queue, id] {
                    if (dismiss) dismiss();
                    queue->async([switchTo, id] {
                        if (switchTo) switchTo(id);
                    });
                }}.body()
                               ->id(std::to_string(id)));
    }
    auto reported = reportedHeight_;
    auto report = onHeightChange_;
    Node list = VStack(HorizontalAlignment::leading, 4, std::move(children))
                    ->padding(EdgeInsets::vertical(6))
                    ->frame(SpaceListPanel::kWidth, std::nullopt, Alignment::leading())
                    ->fixedSize(false, true)
                    ->onGlobalFrameChange([reported, report, queue](Rect r) {
                        if (r.height() == *reported) return;
                        *reported = r.height();
                        const double h = r.height();
                        queue->async([report, h] {
                            if (report && h > 0) report(h);
                        });
                    });
    // Taller than the panel may grow, the list starts at its header and scrolls to the rest.
    return ScrollView(Axis::vertical, std::move(list), {.showsIndicators = false})
        ->background(MaterialView(Material::ultraThick)->clipShape(Shape::roundedRect(10)))
        ->overlay(RoundedRectangle(10)->strokeBorder(Color::primary().opacity(0.1), 1))
        ->clipShape(Shape::roundedRect(10))
        ->frame(
            Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity, .alignment = Alignment::top()});
}

}  // namespace qv
