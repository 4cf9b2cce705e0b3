#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "dispatch/Runtime.h"
#include "platform/Event.h"
#include "ui/DisplayList.h"
#include "ui/View.h"

namespace qv {

class Panel;
class Pasteboard;
struct LayoutInputs;
struct LayoutResult;

// NSAppearance names the panels give their content.
enum class Appearance { aqua, darkAqua };

// A rectangle that sets the cursor while the pointer is over it (NSView.addCursorRect).
struct CursorRect {
    Rect rect;  // content coordinates
    Cursor cursor = Cursor::arrow;
};

// A tracking area of a view (NSTrackingArea): the window tells its owner when the pointer enters and
// leaves the rectangle and, with the mouse-moved option, when it moves inside.
struct TrackingArea {
    Rect rect;  // content coordinates
    uint32_t options = 0;
    std::weak_ptr<Panel> owner;
    // A view that owns the area instead of a window: it gets the area's entered and exited events.
    std::function<void(const Event&)> viewOwner;
    static constexpr uint32_t kMouseEnteredAndExited = 0x01;
    static constexpr uint32_t kMouseMoved = 0x02;
    static constexpr uint32_t kCursorUpdate = 0x04;
    static constexpr uint32_t kActiveAlways = 0x80;
    static constexpr uint32_t kInVisibleRect = 0x200;
};

// Hosts a root view in a panel (NSHostingView): lays its node tree out in the view's bounds,
// produces the display list and routes pointer and key events to it. Coordinates are the content's:
// origin at the top-left corner, y down.
class HostingView : public std::enable_shared_from_this<HostingView> {
  public:
    HostingView(Runtime& runtime, std::shared_ptr<View> root);
    virtual ~HostingView();
    HostingView(const HostingView&) = delete;
    HostingView& operator=(const HostingView&) = delete;

    const std::shared_ptr<View>& rootView() const { return root_; }
    void setRootView(std::shared_ptr<View> root);

    Size frameSize() const { return size_; }
    // The size the root view takes when nothing is proposed to it: its ideal size
    // (NSHostingView.fittingSize).
    Size fittingSize();
    virtual void setFrameSize(Size size);
    Rect bounds() const { return Rect{{0, 0}, size_}; }

    // The appearance set on the view; without one the system's applies.
    std::optional<Appearance> appearance() const { return appearance_; }
    void setAppearance(std::optional<Appearance> a);
    void setSystemColorScheme(ColorScheme scheme);
    void setReduceTransparency(bool reduce);
    ColorScheme effectiveColorScheme() const;

    // Evaluates the bodies on the next turn of the main queue; several requests make one evaluation.
    void setNeedsUpdate();
    bool needsUpdate() const { return updatePending_; }
    // Evaluates and lays out at once.
    void layoutNow();
    // Evaluates on the next turn of the main queue as a host shown for the first time would: every
    // subtree built anew, none reused from the last evaluation.
    void setNeedsFullUpdate();
    // Whether updates take memoised subtrees over from the last one (they do unless told not to);
    // a host that does not builds everything on every update.
    void setReusesSubtrees(bool reuses) { reusesSubtrees_ = reuses; }
    const DisplayList& displayList() const { return list_; }
    int evaluationCount() const { return evaluations_; }
    // The memoised subtrees the last update took over from the one before instead of building them,
    // and their paths.
    size_t reusedSubtreeCount() const;
    std::vector<std::string> reusedSubtreePaths() const;

    // --- Events, in content coordinates ---
    void mouseMoved(Point p);
    void mouseExited();
    void mouseDown(Point p, uint64_t modifierFlags = 0, int clickCount = 1);
    void mouseDragged(Point p);
    void mouseUp(Point p);
    void rightMouseDown(Point p);
    // True when a scroll view took the scroll.
    bool scrollWheel(Point p, double deltaX, double deltaY);
    // True when the focused control used the key.
    bool keyDown(uint16_t keyCode, const std::string& characters = {}, uint64_t modifierFlags = 0);
    // An edit action of the responder chain ("copy:", "cut:", "paste:", "selectAll:") for the
    // focused text field, whose selection is all of its text or none; false when no text field
    // has the focus or the action is another.
    bool performEditAction(const std::string& action, Pasteboard& pasteboard);
    // The window is key for the first time: as AppKit makes its first key view the first
    // responder, the first text field takes the focus, now or at the first layout, unless some
    // control has it already.
    void takeInitialFocus();

    std::set<std::string> hoveredPaths() const;
    const std::string& focusedPath() const { return focusedPath_; }
    std::string helpText(Point p) const;
    // The menu shown by the last right click, also when no window presented it.
    const std::optional<Menu>& lastContextMenu() const { return lastMenu_; }

    // Animations started by changed animation keys, oldest first; completed ones stay listed.
    const std::vector<AnimationRecord>& animations() const { return animations_; }
    std::vector<AnimationRecord> activeAnimations() const;

    // --- The view's side of AppKit ---
    // Whether a click that activates the window also acts (NSView.acceptsFirstMouse).
    virtual bool acceptsFirstMouse(const Event&) const { return false; }
    // Whether the view takes a mouse event at `p`: true over anything drawn or any hit region.
    virtual bool hitTest(Point p) const;
    virtual void resetCursorRects() {}
    virtual void viewDidMoveToWindow() {}
    void addCursorRect(Rect r, Cursor c) { cursorRects_.push_back({r, c}); }
    void discardCursorRects() { cursorRects_.clear(); }
    const std::vector<CursorRect>& cursorRects() const { return cursorRects_; }
    void addTrackingArea(std::shared_ptr<TrackingArea> area);
    void removeTrackingArea(const std::shared_ptr<TrackingArea>& area);
    const std::vector<std::shared_ptr<TrackingArea>>& trackingAreas() const { return trackingAreas_; }

    std::shared_ptr<Panel> window() const { return window_.lock(); }
    // Set by the panel that shows the view.
    void attachToWindow(std::weak_ptr<Panel> window, std::function<void(const Menu&, Point)> menuPresenter);

    Runtime& runtime() { return runtime_; }

  private:
    // What the host keeps of its layouts (LayoutPass.h).
    struct Kept;

    // Lays the tree out, reconciles the result and runs the calls it asks for (Reconcile.cpp).
    void update();
    // What the host keeps, brought in line with a layout's result; the appear, disappear and
    // frame-report calls it asks for, to run once the update is done.
    std::vector<std::function<void()>> reconcile(LayoutResult& result);
    void takeList(LayoutResult& result);
    void dropLostFocus();
    void startAnimations(LayoutResult& result);
    void takeAppearances(LayoutResult& result, std::vector<std::function<void()>>& calls);
    void takeFrameReports(LayoutResult& result, std::vector<std::function<void()>>& calls);
    void scheduleUpdate();
    // What the next layout is handed.
    LayoutInputs layoutInputs();
    std::function<void()> invalidator();
    void updateHover();
    void focus(const std::string& path);
    void focusFirstTextField();

    Runtime& runtime_;
    std::shared_ptr<View> root_;
    Size size_;
    std::optional<Appearance> appearance_;
    ColorScheme systemScheme_ = ColorScheme::light;
    bool reduceTransparency_ = false;
    bool updatePending_ = false;
    // Some request of the pending update wants it whatever the root view's inputs are.
    bool updateForced_ = false;
    bool updating_ = false;
    bool reusesSubtrees_ = true;
    int evaluations_ = 0;
    uint64_t layouts_ = 0;
    DisplayList list_;
    std::weak_ptr<Panel> window_;
    std::function<void(const Menu&, Point)> menuPresenter_;
    std::unique_ptr<Kept> kept_;
    std::vector<AnimationRecord> animations_;
    std::vector<WorkItemPtr> animationWork_;

    std::optional<Point> pointer_;
    std::map<std::string, std::function<void(bool)>> hovered_;
    std::string focusedPath_;
    bool textSelected_ = false;  // the focused text field's whole text is selected
    bool initialFocusPending_ = false;
    std::function<void(bool)> focusChange_;
    bool buttonDown_ = false;
    Point downPoint_;
    std::optional<HitRegion> pendingTap_;
    std::optional<HitRegion> pendingDrag_;
    bool dragStarted_ = false;
    std::optional<Menu> lastMenu_;
    std::vector<CursorRect> cursorRects_;
    std::vector<std::shared_ptr<TrackingArea>> trackingAreas_;
};

}  // namespace qv
