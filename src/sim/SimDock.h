#pragma once

#include <optional>
#include <string>

#include "platform/Dock.h"
#include "platform/Value.h"

namespace qv {

class SimDesktop;

// The screen edge the Dock stands on: its preference "orientation".
enum class SimDockSide { bottom, left, right };

// What the running Dock took into effect when it last started: its auto-hide switch, its side and
// the two preferences of its domain that the bar touches (none: the key was absent).
struct SimDockLook {
    bool autoHide = false;
    SimDockSide side = SimDockSide::bottom;
    std::optional<Value> autohideDelay;
    std::optional<Value> noBouncing;
};

// The Dock of the simulated desktop: it logs every notification it is sent, with its argument. Its
// auto-hide switch reads back at once but, like its preferences, shows only after a restart.
class SimDock : public Dock {
  public:
    static constexpr const char* kBundleID = "com.apple.dock";
    static constexpr const char* kProcessName = "Dock";
    static constexpr const char* kPreferencesDomain = "com.apple.dock";

    explicit SimDock(SimDesktop& sim) : sim_(sim) {}
    bool hasEntryPoint(std::string_view name) override;
    void sendNotification(const std::string& name, int64_t argument) override;
    bool getAutoHideEnabled() override;
    void setAutoHideEnabled(bool enabled) override;

    // --- The world ---
    // The user switches auto-hide in System Settings: it shows at once.
    void setUserAutoHide(bool on);
    // The user puts the Dock on another side in System Settings: it moves at once.
    void setUserSide(SimDockSide side);
    const SimDockLook& look() const { return look_; }
    // The Dock shows on screen while its process runs, unless it hides itself (the pointer never
    // rests on the screen edge). It stands on the primary display and takes this much of it.
    bool isShowing() const;
    static constexpr double kThickness = 70;
    // The names the "orientation" preference takes.
    static const char* sideName(SimDockSide side);
    static std::optional<SimDockSide> sideNamed(const std::string& name);
    int restartCount() const { return restarts_; }
    // The Dock process was killed: the system launches it again (a new pid, its windows back) and it
    // takes its switch and preferences into effect. False when no Dock process runs.
    bool restart();

  private:
    SimDesktop& sim_;
    bool autoHide_ = false;
    SimDockLook look_;
    int restarts_ = 0;
};

}  // namespace qv
