#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/Platform.h"
#include "ui/FloatingKeyPanel.h"

namespace qv {

// The gate's window: it floats while it is the key window, Command-W closes it, and every close
// runs the dismiss handler first.
class PermissionsGatePanel : public FloatingKeyPanel {
  public:
    PermissionsGatePanel(Platform& platform, Rect contentRect, uint64_t styleMask);
};

// Shows and closes the permissions gate. A close by the user (the close button or Command-W) runs
// `onQuit`; a close from code through close() does not.
class PermissionsGateWindowController : public std::enable_shared_from_this<PermissionsGateWindowController> {
    struct Token {};

  public:
    static constexpr double kWidth = 500;
    static constexpr double kHeight = 560;
    static constexpr const char* kTitle = "quillVorn Setup";

    static std::shared_ptr<PermissionsGateWindowController> create(Platform& platform,
                                                                   std::function<void()> onContinue,
                                                                   std::function<void()> onQuit);
    PermissionsGateWindowController(Token, Platform& platform, std::function<void()> onContinue,
                                    std::function<void()> onQuit);

    std::shared_ptr<PermissionsGatePanel> panel;
    bool suppressDismissAction = false;
    const std::function<void()> onContinue;
    const std::function<void()> onQuit;

    // Brings a visible gate to the front, or builds a new one centred on the given screen, else
    // the main screen, else the first; with no screen at all it stands at the origin.
    void show(const std::optional<Screen>& screen = std::nullopt);
    void close();

    // The gate's content rectangle on a screen (AppKit space); at the origin without one.
    static Rect contentRect(const std::optional<Screen>& screen);

  private:
    void handleDismiss();
    Platform& platform_;
};

}  // namespace qv
