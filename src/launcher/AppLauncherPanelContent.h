#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "launcher/AppLauncher.h"
#include "launcher/AppListTableView.h"
#include "model/PinStore.h"
#include "platform/Platform.h"
#include "ui/View.h"

namespace qv {

class AppLauncherPanel;

// The launcher's card: the title, the list of applications (with the Pinned section while nothing
// is searched) or a message, and the search field. It launches the chosen application and then
// asks for the panel to be dismissed, and wires the panel's arrow and Return keys to the list.
class AppLauncherPanelContent : public View, public std::enable_shared_from_this<AppLauncherPanelContent> {
  public:
    static constexpr Seconds kFocusDelay = 0.1;
    static constexpr const char* kLoadingMessage = "Loading applications...";

    AppLauncherPanelContent(Platform& platform, std::shared_ptr<AppLauncher> launcher, PinStore& pinStore,
                            std::function<void()> onDismiss, std::weak_ptr<AppLauncherPanel> panelRef);

    Node body() override;

    // --- What the body shows, from the model ---
    bool hasActiveSearch() const;
    std::vector<AppInfo> results() const;
    std::vector<AppInfo> pinnedApps(const std::vector<AppInfo>& results) const;
    std::vector<AppListItem> listItems(const std::vector<AppInfo>& results) const;
    // "No apps matching "query"", or the loading message while nothing is known or typed.
    std::string emptyMessage() const;

    // Opens the application, then asks for dismissal at once.
    void launch(const AppInfo& app);
    // The selected app, else the first result, else nothing.
    void performReturn();
    bool isSearchFocused() const { return isSearchFocused_; }

  private:
    void appeared();

    Platform& platform_;
    std::shared_ptr<AppLauncher> launcher_;
    PinStore& pinStore_;
    std::function<void()> onDismiss_;
    std::weak_ptr<AppLauncherPanel> panelRef_;
    std::weak_ptr<AppListTableView::Coordinator> tableViewCoordinator_;
    bool isSearchFocused_ = false;
};

}  // namespace qv
