#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/dispatch/Runtime.h"
#include "platform/ui/DisplayList.h"
#include "platform/ui/Event.h"
#include "platform/ui/View.h"

namespace qv {

class Panel;
class Pasteboard;
struct RNode;
struct MemoRecord;
class LayoutPass;
struct LayoutScratch;

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
    // The memoised subtrees the last update took over from the one before instead of building them.
    size_t reusedSubtreeCount() const { return reused_; }

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
    friend class LayoutPass;
    friend struct MemoRecord;
    struct ScrollInfo {
        Axis axis = Axis::vertical;
        double contentLength = 0;
        double viewportLength = 0;
    };

    void update();
    void scheduleUpdate();
    std::any& stateFor(const std::string& path, const std::function<std::any()>& initial);
    // The same, for a node of the update's tree: its state lives on past this update.
    std::any& liveStateFor(const std::string& path, const std::function<std::any()>& initial);
    struct StateEntry;
    StateEntry& liveStateEntry(const std::string& path, const std::function<std::any()>& initial);
    std::shared_ptr<ScrollController> scrollerFor(const std::string& path);
    void updateHover();
    void focus(const std::string& path);
    std::function<void()> invalidator();

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
    size_t reused_ = 0;
    DisplayList list_;
    // Emptied, kept for their storage: the next update fills as many again.
    DisplayList spareList_;
    std::unique_ptr<LayoutScratch> scratch_;
    std::weak_ptr<Panel> window_;
    std::function<void(const Menu&, Point)> menuPresenter_;

    struct StateEntry {
        std::any value;
        uint64_t layout = 0;  // the last update whose tree had the node
    };
    std::map<std::string, StateEntry> state_;
    // What the last update made of each memo, by path (LayoutPass.h).
    std::unordered_map<std::string, std::shared_ptr<MemoRecord>> memos_;
    std::map<std::string, std::shared_ptr<ScrollController>> scrollers_;
    std::map<std::string, ScrollInfo> scrollInfo_;
    // What the layouts reported, by node, kept in place from one layout to the next (mostly the
    // same nodes report again): the value, the one before this layout's and whether there was one,
    // and the layout that last reported it.
    template <class T>
    struct Reported {
        T value;
        T before;
        bool existed = false;
        uint64_t layout = 0;
    };
    uint64_t layouts_ = 0;
    // Entries of the maps below stay where they are while they live: the records of memos that
    // reuse the last layout's subtree keep them instead of looking them up again.
    using FrameEntry = std::pair<const std::string, Reported<Rect>>;
    using AnimationEntry = std::pair<const std::string, Reported<std::string>>;
    using AppearEntry = std::pair<const std::string, uint64_t>;
    std::map<std::string, Reported<Rect>> reportedFrames_;
    std::map<std::string, std::function<void()>> disappearHandlers_;
    std::map<std::string, uint64_t, std::less<>> appeared_;  // by the layout that last saw each
    std::map<std::string, Reported<std::string>> animationKeys_;
    std::vector<AnimationRecord> animations_;
    std::vector<WorkItemPtr> animationWork_;

    std::optional<Point> pointer_;
    std::map<std::string, std::function<void(bool)>> hovered_;
    std::string focusedPath_;
    bool textSelected_ = false;  // the focused text field's whole text is selected
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

// Keyboard moves of a list's selection: the next or previous selectable row, none at the end.
std::optional<size_t> nextSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current);
std::optional<size_t> previousSelectableRow(const std::vector<ListRow>& rows, std::optional<size_t> current);
// Where a row dragged to `pointerY` (content coordinates of the list, y down) goes among the other
// rows: before the first other row whose middle lies below the pointer, else after them all.
size_t listInsertionIndex(const std::vector<ListRow>& rows, size_t draggedIndex, double pointerY);

}  // namespace qv
