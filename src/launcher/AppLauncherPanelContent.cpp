#include "launcher/AppLauncherPanelContent.h"

#include "launcher/AppLauncherPanel.h"
#include "platform/TextServices.h"

namespace qv {

AppLauncherPanelContent::AppLauncherPanelContent(Platform& platform, std::shared_ptr<AppLauncher> launcher,
                                                 PinStore& pinStore, std::function<void()> onDismiss,
                                                 std::weak_ptr<AppLauncherPanel> panelRef)
    : platform_(platform),
      launcher_(std::move(launcher)),
      pinStore_(pinStore),
      onDismiss_(std::move(onDismiss)),
      panelRef_(std::move(panelRef)) {
    observe(launcher_->allApps);
    observe(launcher_->searchQuery);
    observe(pinStore_.pinnedApps);
}

bool AppLauncherPanelContent::hasActiveSearch() const {
    return !TextServices::trimmingWhitespaceAndNewlines(*launcher_->searchQuery).empty();
}

std::vector<AppInfo> AppLauncherPanelContent::results() const {
    return launcher_->searchResults(*launcher_->allApps, *launcher_->searchQuery);
}

std::vector<AppInfo> AppLauncherPanelContent::pinnedApps(const std::vector<AppInfo>& results) const {
    std::vector<AppInfo> pinned;
    for (const std::string& id : pinStore_.pinnedAppIDs(PinDestination::appMenu())) {
        for (const AppInfo& app : results) {
            if (app.id == id) {
                pinned.push_back(app);
                break;
            }
        }
    }
    return pinned;
}

std::vector<AppListItem> AppLauncherPanelContent::listItems(const std::vector<AppInfo>& results) const {
    std::vector<AppListItem> items{AppListItem::topSpacer()};
    if (!hasActiveSearch()) {
        if (auto pinned = pinnedApps(results); !pinned.empty()) {
            items.push_back(AppListItem::sectionHeader("Pinned"));
            for (AppInfo& app : pinned)
                items.push_back(AppListItem::appRow(std::move(app), AppListSection::pinned));
            items.push_back(AppListItem::divider());
        }
    }
    for (const AppInfo& app : results) items.push_back(AppListItem::appRow(app, AppListSection::main));
    return items;
}

std::string AppLauncherPanelContent::emptyMessage() const {
    if (hasActiveSearch() || !launcher_->allApps->empty())
        return "No apps matching \"" + *launcher_->searchQuery + "\"";
    return kLoadingMessage;
}

void AppLauncherPanelContent::launch(const AppInfo& app) {
    auto keep = shared_from_this();  // dismissal may let go of this view
    platform_.workspace.openApplication(app.path);
    if (onDismiss_) onDismiss_();
}

void AppLauncherPanelContent::performReturn() {
    auto keep = shared_from_this();
    if (auto coordinator = tableViewCoordinator_.lock()) {
        if (auto app = coordinator->selectedApp()) {
            launch(*app);
            return;
        }
    }
    auto found = results();
    if (!found.empty()) launch(found.front());
}

void AppLauncherPanelContent::appeared() {
    std::weak_ptr<AppLauncherPanelContent> weak = weak_from_this();
    platform_.runtime.mainQueue()->asyncAfter(kFocusDelay, [weak] {
        if (auto self = weak.lock()) {
            self->isSearchFocused_ = true;
            self->setNeedsUpdate();
        }
    });
    auto panel = panelRef_.lock();
    if (!panel) return;
    panel->onArrowUp = [weak] {
        if (auto self = weak.lock()) {
            if (auto c = self->tableViewCoordinator_.lock()) c->selectPreviousRow();
        }
    };
    panel->onArrowDown = [weak] {
        if (auto self = weak.lock()) {
            if (auto c = self->tableViewCoordinator_.lock()) c->selectNextRow();
        }
    };
    panel->onReturn = [weak] {
        if (auto self = weak.lock()) self->performReturn();
    };
}

Node AppLauncherPanelContent::body() {
    std::weak_ptr<AppLauncherPanelContent> weak = weak_from_this();
    const std::vector<AppInfo> found = results();
    const bool searching = hasActiveSearch();

    Node header = HStack({Text("Applications", {Font::system(14, FontWeight::semibold)}), Spacer()})
                      ->padding(EdgeInsets::symmetric(16, 12));
    Node content;
    if (found.empty()) {
        content =
            VStack(HorizontalAlignment::center, 12,
                   {Spacer(), SymbolImage("app.dashed", Font::system(36), Color::secondary())->opacity(0.5),
                    // A long query wraps within the panel's margins.
                    Text(emptyMessage(), {Font::system(13), Color::secondary()})
                        ->padding(EdgeInsets::horizontal(16)),
                    Spacer()})
                ->frame(Element::FlexFrame{.maxWidth = kInfinity});
    } else {
        AppListTableView list;
        list.items = listItems(found);
        list.pinStore = &pinStore_;
        list.onLaunch = [weak](const AppInfo& app) {
            if (auto self = weak.lock()) self->launch(app);
        };
        list.onTableViewReady = [weak](const std::shared_ptr<AppListTableView::Coordinator>& coordinator) {
            if (auto self = weak.lock()) self->tableViewCoordinator_ = coordinator;
        };
        list.mainQueue = platform_.runtime.mainQueue();
        content = list.node()
                      ->frame(Element::FlexFrame{.maxWidth = kInfinity, .maxHeight = kInfinity})
                      ->padding(EdgeInsets::horizontal(8));
    }

    auto launcher = launcher_;
    Binding<std::string> query{[launcher] { return *launcher->searchQuery; },
                               [launcher](std::string text) { launcher->searchQuery = std::move(text); }};
    Binding<bool> focused{[weak] {
                              auto self = weak.lock();
                              return self && self->isSearchFocused_;
                          },
                          [weak](bool on) {
                              if (auto self = weak.lock()) self->isSearchFocused_ = on;
                          }};
    std::vector<Node> searchRow{SymbolImage("magnifyingglass", Font::system(13), Color::secondary()),
                                TextField("Search applications...", query,
                                          {.focused = focused,
                                           .onExitCommand =
                                               [weak] {
                                                   if (auto self = weak.lock(); self && self->onDismiss_)
                                                       self->onDismiss_();
                                               },
                                           .font = Font::system(13)})};
    if (searching) {
        searchRow.push_back(Button(SymbolImage("xmark.circle.fill", Font::system(12), Color::secondary()),
                                   [launcher] { launcher->searchQuery = std::string(); }));
    }

    return VStack(HorizontalAlignment::center, 0,
                  {header, Divider(), content, Divider(),
                   HStack(VerticalAlignment::center, 8, std::move(searchRow))
                       ->padding(EdgeInsets::symmetric(12, 10))})
        ->frame(AppLauncherPanel::kContentSize.width, AppLauncherPanel::kContentSize.height)
        ->background(MaterialView(Material::ultraThick))
        ->clipShape(Shape::roundedRect(12))
        ->overlay(RoundedRectangle(12)->strokeBorder(Color::primary().opacity(0.1), 1))
        ->onAppear([weak] {
            if (auto self = weak.lock()) self->appeared();
        })
        ->onDisappear([launcher] { launcher->searchQuery = std::string(); });
}

}  // namespace qv
