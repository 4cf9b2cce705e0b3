#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/Workspace.h"
#include "switcher/SwitcherLayout.h"
#include "ui/Panel.h"
#include "ui/View.h"

namespace qv {

// The header of the switcher: the selected window's application, and its place in the list.
struct SwitcherHeader {
    std::shared_ptr<const Image> icon;  // none: the generic application icon
    std::string title;
    std::optional<std::string> subtitle;  // "i of n" from two windows on

    static SwitcherHeader of(const WindowSwitcherModel& model);
};

// The switcher's grid of window cards under the header. It draws the model and reports pointer
// entry and clicks on a card; it keeps the selected row in view when the grid scrolls. It builds
// only the rows in sight, so a grid of thousands of windows costs what one screenful does. While
// its panel is off screen it draws nothing: the controller fills the model before showing the
// panel, and the showing redraws it.
class WindowSwitcherView : public View {
  public:
    static constexpr Seconds kSelectionScrollDuration = 0.12;
    static constexpr double kRowSpacing = 12;
    static constexpr double kMinimizedPictureOpacity = 0.55;
    static constexpr double kPlaceholderOpacity = 0.6;

    WindowSwitcherView(std::shared_ptr<WindowSwitcherModel> model, std::shared_ptr<Queue> mainQueue,
                       std::shared_ptr<const Image> genericAppIcon, std::weak_ptr<const Panel> panel = {});
    Node body() override;

    // The identifier of the row that holds an entry: "row-" and the row's first index.
    static std::string rowID(int index, int columns);
    // The grid's scroll offset that centres the row holding an entry, within the scroll limits.
    static double rowCentringOffset(int index, int count, const SwitcherLayout& layout);
    // The rows, first and past the last, that show at a scroll offset (held within the limits).
    static std::pair<int, int> visibleRows(double offset, int count, const SwitcherLayout& layout);
    const std::shared_ptr<ScrollController>& scroller() const { return scroller_; }

  private:
    void scrollToRow(int index, std::optional<Animation> animation);
    Node grid();
    Node card(int index) const;
    // The card as last built while its entry, picture and selection stay the same.
    Node cachedCard(int index);

    std::shared_ptr<WindowSwitcherModel> model_;
    std::shared_ptr<Queue> mainQueue_;
    std::shared_ptr<const Image> genericAppIcon_;
    std::weak_ptr<const Panel> panel_;
    std::shared_ptr<ScrollController> scroller_ = std::make_shared<ScrollController>();
    struct BuiltCard {
        Node node;
        const Image* picture = nullptr;
        bool isSelected = false;
    };
    std::vector<BuiltCard> cards_;  // by entry index; emptied when the entries change
    Subscriptions subscriptions_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The switcher's window: a floating, non-activating panel above the pop-up menus that never
// becomes key or main, so the keys stay with the frontmost application and reach the switcher
// through its key tap.
class WindowSwitcherPanel : public Panel {
  public:
    static constexpr int kLevel = windowlevel::kPopUpMenu + 1;
    static constexpr const char* kTitle = "Window Switcher";

    WindowSwitcherPanel(Windowing& windowing, Runtime& runtime);
    static std::shared_ptr<WindowSwitcherPanel> make(Windowing& windowing, Runtime& runtime,
                                                     Workspace& workspace,
                                                     std::shared_ptr<WindowSwitcherModel> model);

    bool canBecomeKey() const override { return false; }
    bool canBecomeMain() const override { return false; }

    const std::shared_ptr<WindowSwitcherView>& view() const { return view_; }

  private:
    std::shared_ptr<WindowSwitcherView> view_;
};

}  // namespace qv
