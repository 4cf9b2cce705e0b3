#pragma once

#include <string>
#include <vector>

#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "ui/View.h"

namespace qv {

// One connected display as the per-display tiling list shows it.
struct TilingDisplay {
    std::string id;      // the display's UUID text, as the settings store it
    std::string name;    // its name, numbered when several displays share it
    std::string detail;  // "1512 × 982", after "Main display · " for the main display

    friend bool operator==(const TilingDisplay&, const TilingDisplay&) = default;

    // The connected displays in the platform's screen order, those tiling cannot tell apart left out.
    static std::vector<TilingDisplay> current(Displays& displays);
};

// The end of the tiling card: with two or more displays, a switch per display when the choice
// applies (dimmed and inert while no tiling feature is on), otherwise a note on how to get it.
class WindowTilingDisplaysView : public View {
  public:
    WindowTilingDisplaysView(Platform& platform, UserSettings& settings);

    Node body() override;
    bool isFeatureOn() const;
    const std::vector<TilingDisplay>& displays() const { return displays_; }

  private:
    Displays& platformDisplays_;
    UserSettings& settings_;
    std::vector<TilingDisplay> displays_;
    Subscription screenChanges_;
};

}  // namespace qv
