#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/PermissionsGateModel.h"
#include "ui/View.h"

namespace qv {

// The gate's header: a lock tile beside the title and what it asks of the user.
struct PermissionsHeader {
    Node body() const;
};

// A titled card: the title in capitals, an optional subtitle, then the content on a rounded card.
struct PermissionsSection {
    std::string title;
    std::optional<std::string> subtitle;
    Node content;
    Node body() const;
};

// "Granted" in green or "Required" in orange, on a capsule of the same colour.
struct PermissionStatusBadge {
    bool isGranted = false;
    Node body() const;
};

struct PermissionsRowIcon {
    std::string symbol;
    Node body() const;
};

struct PermissionsDivider {
    Node body() const;
};

// One permission: its icon, title, state, what it is for and where to grant it, with a request
// button and a button that opens its page of System Settings.
struct PermissionRequirementRow {
    std::string icon;
    std::string title;
    std::string description;
    std::string helpText;
    bool isGranted = false;
    std::function<void()> requestAction;
    std::function<void()> openSettingsAction;
    Node body() const;
};

// The gate's content: the two permissions with their state, notes, and the quit and continue
// buttons. It owns its model, monitors while shown and stops the timer when it goes away.
class PermissionsGateContent : public View {
  public:
    static constexpr double kWidth = 500;
    static constexpr double kHeight = 560;

    PermissionsGateContent(Platform& platform, std::function<void()> onContinue,
                           std::function<void()> onQuit);
    ~PermissionsGateContent() override;

    Node body() override;

    const std::shared_ptr<PermissionsGateModel> model;
    const std::function<void()> onContinue;
    const std::function<void()> onQuit;

  private:
    Node footer(const LaunchPermissionsState& state) const;
    Platform& platform_;
};

}  // namespace qv
