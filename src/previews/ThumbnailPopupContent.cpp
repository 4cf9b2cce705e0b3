#include "previews/ThumbnailPopupContent.h"

#include <algorithm>

#include "previews/ThumbnailCard.h"
#include "previews/ThumbnailPopupShell.h"

namespace qv {

std::shared_ptr<const Image> ThumbnailContentEnvironment::genericApplicationIcon(Workspace& workspace) {
    return workspace.iconForContentType("com.apple.application-bundle");
}

std::string thumbnailCardTitle(const ChipData& chip) {
    return chip.windowTitle.empty() ? chip.appName : chip.windowTitle;
}

// --- One window ---

SingleThumbnailContent::~SingleThumbnailContent() {
    if (load_) load_->cancel();
}

void SingleThumbnailContent::appear() {
    if (auto cached = environment.service->cachedThumbnail(chip.id)) thumbnail = std::move(cached);
    setNeedsUpdate();
    if (didLoad) return;
    didLoad = true;
    // A minimised window shows what was cached, or the placeholder: capturing it shows nothing.
    if (chip.isMinimized) return;
    if (!thumbnail) isLoading = true;
    load_ = makeCancellationToken();
    std::weak_ptr<SingleThumbnailContent> weak = weak_from_this();
    environment.service->thumbnail(
        chip.id,
        [weak, token = load_](std::shared_ptr<const Image> image) {
            auto self = weak.lock();
            if (!self || token->isCancelled()) return;
            self->isLoading = false;
            self->thumbnail = std::move(image);
            self->setNeedsUpdate();
        },
        load_);
}

void SingleThumbnailContent::disappear() {
    if (load_) load_->cancel();
}

Node SingleThumbnailContent::body() {
    std::weak_ptr<SingleThumbnailContent> weak = weak_from_this();
    ThumbnailCard card{
        .title = thumbnailCardTitle(chip),
        .thumbnail = thumbnail,
        .isLoading = isLoading,
        .isActive = chip.isFocused,
        .onTap = onTap,
        .onMinimize = chip.isMinimized ? nullptr : onMinimize,
        .onClose = onClose,
        .colorScheme = environment.colorScheme,
        .screenCount = environment.screenCount,
    };
    ThumbnailPopupShell shell{
        .barSize = barSize,
        .icon = appIcon ? appIcon : environment.genericAppIcon,
        .title = chip.appName,
        .content = card.body()->padding(kThumbnailContentPadding),
    };
    return shell.body()
        ->frame(kSinglePopupWidth, thumbnailPopupHeight(barSize))
        ->onAppear([weak] {
            if (auto self = weak.lock()) self->appear();
        })
        ->onDisappear([weak] {
            if (auto self = weak.lock()) self->disappear();
        });
}

// --- The windows of a group ---

std::vector<ChipData> GroupedThumbnailContent::windowsOf(const GroupedChipData& group,
                                                         const BarViewModel::ChipMap& chips,
                                                         uint64_t spaceID) {
    std::vector<ChipData> result;
    auto desk = chips.find(spaceID);
    if (desk == chips.end()) return result;
    for (uint32_t id : group.windowIDs) {
        auto chip = std::find_if(desk->second.begin(), desk->second.end(),
                                 [id](const ChipData& c) { return c.id == id; });
        if (chip != desk->second.end()) result.push_back(*chip);
    }
    return result;
}

std::vector<ChipData> GroupedThumbnailContent::windows() const {
    return windowsOf(group, *viewModel->chipsBySpace, spaceID);
}

double GroupedThumbnailContent::width() const {
    return groupedThumbnailPopupWidth(windows().size(), maxAvailableWidth);
}

void GroupedThumbnailContent::appear() {
    for (uint32_t id : group.windowIDs) {
        if (thumbnails.count(id)) continue;
        if (auto cached = environment.service->cachedThumbnail(id)) thumbnails[id] = std::move(cached);
    }
    const auto current = windows();
    count_ = current.size();
    loadThumbnails(current);
    if (!chipsSubscription_.isActive()) {
        std::weak_ptr<GroupedThumbnailContent> weak = weak_from_this();
        chipsSubscription_ =
            viewModel->chipsBySpace.subscribeToChanges([weak](const BarViewModel::ChipMap& chips) {
                if (auto self = weak.lock()) self->windowsChanged(chips);
            });
    }
    setNeedsUpdate();
}

void GroupedThumbnailContent::windowsChanged(const BarViewModel::ChipMap& chips) {
    // The delivered map is the new one: the model has not stored it yet.
    const auto current = windowsOf(group, chips, spaceID);
    setNeedsUpdate();
    if (count_ == current.size()) return;
    count_ = current.size();
    if (current.empty()) {
        if (onEmpty) onEmpty();
        return;
    }
    loadThumbnails(current);
    if (onWidthChange) onWidthChange(groupedThumbnailPopupWidth(current.size(), maxAvailableWidth));
}

void GroupedThumbnailContent::loadThumbnails(const std::vector<ChipData>& current) {
    std::weak_ptr<GroupedThumbnailContent> weak = weak_from_this();
    for (const ChipData& chip : current) {
        if (chip.isMinimized || thumbnails.count(chip.id) || loadingIDs.count(chip.id)) continue;
        loadingIDs.insert(chip.id);
        const uint32_t id = chip.id;
        environment.service->thumbnail(id, [weak, id](std::shared_ptr<const Image> image) {
            auto self = weak.lock();
            if (!self) return;
            self->loadingIDs.erase(id);
            if (image) self->thumbnails[id] = std::move(image);
            self->setNeedsUpdate();
        });
    }
}

Node GroupedThumbnailContent::body() {
    const auto current = windows();
    std::vector<Node> cards;
    for (const ChipData& chip : current) {
        const uint32_t id = chip.id;
        auto picture = thumbnails.find(id);
        std::function<void(uint64_t)> moveTo = nullptr;
        if (onWindowMoveToSpace) moveTo = [f = onWindowMoveToSpace, id](uint64_t space) { f(id, space); };
        ThumbnailCard card{
            .title = thumbnailCardTitle(chip),
            .thumbnail = picture == thumbnails.end() ? nullptr : picture->second,
            .isLoading = loadingIDs.count(id) > 0,
            .isActive = chip.isFocused,
            .onTap =
                [f = onWindowSelected, id] {
                    if (f) f(id);
                },
            .onMinimize = chip.isMinimized || !onWindowMinimize
                              ? nullptr
                              : std::function<void()>([f = onWindowMinimize, id] { f(id); }),
            .onClose = !onWindowClose ? nullptr : std::function<void()>([f = onWindowClose, id] { f(id); }),
            .moveToGroups = moveToGroups,
            .onMoveToSpace = moveTo,
            .colorScheme = environment.colorScheme,
            .screenCount = environment.screenCount,
        };
        cards.push_back(card.body()->id(std::to_string(id)));
    }
    Node row = HStack(VerticalAlignment::center, kThumbnailCardSpacing, std::move(cards))
                   ->padding(EdgeInsets::horizontal(kThumbnailContentPadding))
                   ->frame(std::nullopt, kThumbnailCardHeight, Alignment::top());
    ThumbnailPopupShell shell{
        .barSize = barSize,
        .icon = group.icon ? group.icon : environment.genericAppIcon,
        .title = group.appName,
        .content = ScrollView(Axis::horizontal, row, {.showsIndicators = false})
                       ->padding(EdgeInsets::vertical(kThumbnailContentPadding)),
    };
    std::weak_ptr<GroupedThumbnailContent> weak = weak_from_this();
    return shell.body()
        ->frame(groupedThumbnailPopupWidth(current.size(), maxAvailableWidth), thumbnailPopupHeight(barSize))
        ->onAppear([weak] {
            if (auto self = weak.lock()) self->appear();
        });
}

}  // namespace qv
