#include "bar_views/SpaceSwitcher.h"

#include <algorithm>

#include "bar_views/DesktopNumbers.h"
#include "bar_views/PopupPlacement.h"
#include "bar_views/SpaceListPopover.h"

namespace qv {

DesktopPosition desktopPosition(const BarViewModel& model, uint64_t spaceID) {
    auto ordinal = model.desktopOrdinal(spaceID);
    if (!ordinal) return {};
    return {ordinal->number.value_or(1), ordinal->ordinaryCount};
}

SpaceSwitcherState::~SpaceSwitcherState() {
    closeSpaceListPanel();
}

void SpaceSwitcherState::captureTriggerContext() {
    triggerWindowFrame.reset();
    triggerWindow.reset();
    if (auto event = platform_.windowing.currentEvent()) {
        if (auto window = event->window.lock()) {
            triggerWindowFrame = window->frame();
            triggerWindow = window;
        }
    }
    triggerPoint = platform_.windowing.mouseLocation();
}

void SpaceSwitcherState::toggleSpaceListPanel(const SpaceSwitcher& switcher) {
    if (spaceListPanel) {
        closeSpaceListPanel();
        return;
    }
    showSpaceListPanel(switcher);
}

void SpaceSwitcherState::closeSpaceListPanel() {
    barMoveSubscription.cancel();
    if (auto panel = std::exchange(spaceListPanel, nullptr)) panel->close();
}

bool SpaceSwitcherState::isOnButton(Point screenLocation) const {
    auto window = triggerWindow.lock();
    if (!window || hitFrame == Rect{}) return false;
    const Point topLeft = window->convertToScreen({hitFrame.minX(), hitFrame.minY()});
    const Point bottomRight = window->convertToScreen({hitFrame.maxX(), hitFrame.maxY()});
    return Rect{topLeft, Size{bottomRight.x - topLeft.x, bottomRight.y - topLeft.y}}.standardized().contains(
        screenLocation);
}

void SpaceSwitcherState::showSpaceListPanel(const SpaceSwitcher& switcher) {
    if (buttonFrame == Rect{}) return;  // not laid out yet
    const Point p = triggerPoint.value_or(Point{buttonFrame.midX(), buttonFrame.midY()});
    auto screen = preferredScreen(platform_.windowing, triggerWindowFrame, p);
    if (!screen) return;
    const double anchorX = anchorXNearerPointer(buttonFrame, triggerWindowFrame, p);

    const auto& spaces = *switcher.viewModel->spaces;
    auto own = std::find_if(spaces.begin(), spaces.end(),
                            [&](const auto& s) { return s.spaceID == switcher.spaceID; });
    const std::string displayIdentifier = own == spaces.end() ? std::string() : own->displayIdentifier;
    // Full-screen desktops are listed too, so they count towards the first height.
    const size_t n = static_cast<size_t>(std::count_if(spaces.begin(), spaces.end(), [&](const auto& s) {
        return s.displayIdentifier == displayIdentifier;
    }));
    const Rect frame = spaceListFrame(anchorX, n, *screen, switcher.metrics.barSize);

    auto panelRef = std::make_shared<std::weak_ptr<SpaceListPanel>>();
    auto content = std::make_shared<SpaceListPopover>(
        platform_, switcher.viewModel, displayIdentifier,
        [panelRef] {
            if (auto panel = panelRef->lock()) panel->close();
        },
        switcher.onSwitchToSpace,
        [panelRef](double height) {
            if (auto panel = panelRef->lock(); panel && !panel->isClosed()) panel->updateHeight(height);
        });
    std::weak_ptr<SpaceSwitcherState> weak = weak_from_this();
    auto panel = SpaceListPanel::create(
        platform_.windowing, platform_.runtime, frame, content,
        [weak] {
            if (auto self = weak.lock()) {
                self->spaceListPanel.reset();
                self->barMoveSubscription.cancel();
            }
        },
        [weak](Point where) {
            auto self = weak.lock();
            return self && self->isOnButton(where);
        });
    *panelRef = panel;
    fadeIn(*panel, SpaceListPanel::kFadeInDuration);
    spaceListPanel = panel;
    if (switcher.observeBarMoves) {
        barMoveSubscription = switcher.observeBarMoves([weak] {
            if (auto self = weak.lock()) self->closeSpaceListPanel();
        });
    }
}

std::string SpaceSwitcher::helpText() const {
    return "Desktop " + std::to_string(position.number) + " of " + std::to_string(position.total);
}

Node SpaceSwitcher::body() const {
    SpaceSwitcher self = *this;
    Platform* platform = &this->platform;
    return WithStateObject<SpaceSwitcherState>(
        [platform] { return std::make_shared<SpaceSwitcherState>(*platform); },
        [self](const std::shared_ptr<SpaceSwitcherState>& state, std::function<void()> invalidate) {
            const BarMetrics& m = self.metrics;
            std::weak_ptr<SpaceSwitcherState> weak = state;
            Node label =
                Text(std::to_string(self.position.number),
                     {.font = Font::system(m.menuIconSize, FontWeight::semibold, FontDesign::rounded),
                      .color = Color::primary()})
                    ->frame(m.menuButtonWidth, m.menuButtonHeight)
                    ->background(RoundedRectangle(0.6 * m.cornerRadius)
                                     ->fillWith(Color::primary().opacity(state->isHovered ? 0.15 : 0.1)))
                    ->background(Fill(Color::clear())->onGlobalFrameChange([weak](Rect r) {
                        if (auto s = weak.lock()) s->buttonFrame = r;
                    }))
                    ->padding(EdgeInsets{0, 5, 0, 0});
            Node area = ZStack(Alignment::leading(), {label})
                            ->frame(m.menuButtonWidth + kExtraWidth, barHeight(m.barSize))
                            ->contentShape()
                            ->onGlobalFrameChange([weak](Rect r) {
                                if (auto s = weak.lock()) s->hitFrame = r;
                            });
            return Button(area,
                          [weak, self] {
                              if (auto s = weak.lock()) {
                                  s->captureTriggerContext();
                                  s->toggleSpaceListPanel(self);
                              }
                          })
                ->onHover([weak, invalidate](bool on) {
                    if (auto s = weak.lock()) s->isHovered = on;
                    invalidate();
                })
                ->help(self.helpText())
                ->onDisappear([weak] {
                    if (auto s = weak.lock()) s->closeSpaceListPanel();
                });
        });
}

}  // namespace qv
