#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/Platform.h"
#include "settings/SettingsPanelContent.h"
#include "ui/FloatingKeyPanel.h"

namespace qv {

// The settings window: it floats while it is the key window and sinks to the normal level when
// another window is key; Command-W and the other standard key equivalents work in it; every close
// tells its owner first.
class SettingsPanel : public FloatingKeyPanel {
  public:
    static constexpr uint64_t kStyleMask = stylemask::kTitled | stylemask::kClosable;  // 3
    static constexpr uint64_t kCollectionBehavior =
        collectionbehavior::kMoveToActiveSpace | collectionbehavior::kFullScreenAuxiliary;  // 258
    static constexpr const char* kTitle = "quillVorn settings";

    SettingsPanel(Platform& platform, Rect contentRect, std::function<void()> onDismiss);

    // The content leaves with the window, so that its rows see themselves go.
    void close() override;
};

// Keeps at most one settings window: shows it where it is when it is on screen, else builds a
// fresh one centred on a screen. Main thread.
class SettingsWindowController : public std::enable_shared_from_this<SettingsWindowController> {
    struct Token {};

  public:
    static constexpr Size kSize{SettingsPanelContent::kWidth, SettingsPanelContent::kHeight};

    // `makeServices` gives the content what it needs of the program, each time a window is built.
    static std::shared_ptr<SettingsWindowController> create(Platform& platform,
                                                            std::function<SettingsServices()> makeServices);
    SettingsWindowController(Token, Platform& platform, std::function<SettingsServices()> makeServices);

    // The instance the composition root installed.
    static SettingsWindowController& shared();
    static void setShared(std::shared_ptr<SettingsWindowController> controller);
    static bool hasShared();

    std::shared_ptr<SettingsPanel> panel;

    void show(const std::optional<Screen>& relativeTo = std::nullopt);

    // The window's frame on a screen: centred on its full frame; at the origin with no screen.
    static Rect frameOn(const std::optional<Screen>& screen);

  private:
    Platform& platform_;
    std::function<SettingsServices()> makeServices_;
};

}  // namespace qv
