#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "dispatch/Runtime.h"
#include "platform/Displays.h"
#include "platform/Event.h"
#include "ui/Animation.h"
#include "ui/Color.h"
#include "ui/HostingView.h"

namespace qv {

class Windowing;

// NSWindow.StyleMask bits.
namespace stylemask {
inline constexpr uint64_t kBorderless = 0;
inline constexpr uint64_t kTitled = 1 << 0;
inline constexpr uint64_t kClosable = 1 << 1;
inline constexpr uint64_t kMiniaturizable = 1 << 2;
inline constexpr uint64_t kResizable = 1 << 3;
inline constexpr uint64_t kNonactivatingPanel = 1 << 7;
inline constexpr uint64_t kFullSizeContentView = 1 << 15;
}  // namespace stylemask

// NSWindow.CollectionBehavior bits.
namespace collectionbehavior {
inline constexpr uint64_t kCanJoinAllSpaces = 1 << 0;
inline constexpr uint64_t kMoveToActiveSpace = 1 << 1;
inline constexpr uint64_t kManaged = 1 << 2;
inline constexpr uint64_t kTransient = 1 << 3;
inline constexpr uint64_t kStationary = 1 << 4;
inline constexpr uint64_t kIgnoresCycle = 1 << 6;
inline constexpr uint64_t kFullScreenAuxiliary = 1 << 8;
}  // namespace collectionbehavior

// Window levels the panels use (NSWindow.Level).
namespace windowlevel {
inline constexpr int kNormal = 0;
inline constexpr int kFloating = 3;
inline constexpr int kMainMenu = 24;
inline constexpr int kPopUpMenu = 101;
}  // namespace windowlevel

// NSWindow.AnimationBehavior values.
namespace animationbehavior {
inline constexpr int kDefault = 0;
inline constexpr int kNone = 2;
}  // namespace animationbehavior

// A panel window of our process (NSPanel). Frames are in AppKit's global space (origin at the
// bottom-left corner of the primary screen, y up). Subclasses override the behaviour AppKit lets
// them override: key and main rules, frame changes, event dispatch, entering and leaving.
class Panel : public std::enable_shared_from_this<Panel> {
  public:
    // Creates the panel; it is not on screen until ordered front. Call `attach()` once the panel is
    // held by a shared_ptr (Panel::make does both).
    Panel(Windowing& windowing, Runtime& runtime, Rect contentRect, uint64_t styleMask);
    virtual ~Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    template <class T, class... Args>
    static std::shared_ptr<T> make(Args&&... args) {
        auto p = std::make_shared<T>(std::forward<Args>(args)...);
        p->attach();
        return p;
    }
    void attach();

    uint32_t windowNumber() const { return windowNumber_; }
    Windowing& windowing() { return windowing_; }
    Runtime& runtime() { return runtime_; }

    // --- Frame ---
    Rect frame() const { return frame_; }
    virtual void setFrame(Rect frame, bool display);
    virtual void setFrame(Rect frame, bool display, bool animate);
    void setFrameOrigin(Point origin);
    void setContentSize(Size size);
    Rect contentRect() const;  // the content area in global coordinates
    // Converts between the content's own space (top-left origin, y down) and the global space.
    Point convertToScreen(Point contentPoint) const;
    Point convertFromScreen(Point screenPoint) const;
    std::optional<Screen> screen() const;

    // The title bar's close button (standardWindowButton(.closeButton)), in the global space; none
    // for a window that is not titled and closable.
    std::optional<Rect> closeButtonFrame() const;

    // --- Window attributes ---
    int level() const { return level_; }
    void setLevel(int level);
    uint64_t styleMask() const { return styleMask_; }
    uint64_t collectionBehavior = 0;
    double alpha() const { return alpha_; }
    void setAlphaValue(double a);
    bool hasShadow = true;
    bool ignoresMouseEvents = false;
    bool acceptsMouseMovedEvents = false;
    bool isFloatingPanel = false;
    bool hidesOnDeactivate = true;
    bool becomesKeyOnlyIfNeeded = false;
    bool isOpaque = true;
    bool isMovable = true;
    bool isMovableByWindowBackground = false;
    int animationBehavior = 0;
    Color backgroundColor = Color::windowBackground();
    const std::string& title() const { return title_; }
    void setTitle(std::string t);
    bool titleVisible = true;
    bool titlebarAppearsTransparent = false;

    // --- Key and main ---
    virtual bool canBecomeKey() const;
    virtual bool canBecomeMain() const;
    bool isKeyWindow() const { return isKey_; }
    virtual void becomeKey();
    virtual void resignKey();
    void makeKeyWindow();

    // --- Ordering ---
    void orderFront();
    void orderFrontRegardless();
    void makeKeyAndOrderFront();
    void orderOut();
    void orderBelow(uint32_t windowNumber);
    virtual void close();
    bool isVisible() const { return visible_; }
    bool isClosed() const { return closed_; }
    // The occlusion state's visible flag (2) while on screen.
    uint32_t occlusionState() const { return visible_ ? 2u : 0u; }

    // --- Animations (NSAnimationContext with the window's animator) ---
    void animateFrame(Rect target, Animation animation, bool display = true);
    void animateAlpha(double target, Animation animation);
    const std::vector<AnimationRecord>& animations() const { return animations_; }
    bool isAnimating() const;

    // --- Content ---
    const std::shared_ptr<HostingView>& contentView() const { return content_; }
    virtual void setContentView(std::shared_ptr<HostingView> view);
    void invalidateCursorRects() {}
    void resetCursorRects();

    // --- Events, from the window server ---
    virtual void sendEvent(const Event& event);
    virtual void mouseEntered(const Event&) {}
    virtual void mouseExited(const Event&) {}
    virtual void mouseMoved(const Event&) {}
    virtual void cursorUpdate(const Event&) {}
    // NSWindow.performKeyEquivalent: the application offers Command chords here before the key
    // window receives them; true when the window used the chord.
    virtual bool performKeyEquivalent(const Event&) { return false; }

  protected:
    // The frame change itself, without the subclass's rules about who may change it.
    void applyFrame(Rect frame);

  private:
    void dispatchToContent(const Event& event);
    void pushAppearance();

    Windowing& windowing_;
    Runtime& runtime_;
    Rect frame_;
    uint64_t styleMask_;
    int level_ = windowlevel::kNormal;
    double alpha_ = 1;
    std::string title_;
    uint32_t windowNumber_ = 0;
    bool visible_ = false;
    bool isKey_ = false;
    bool hasBeenKey_ = false;
    bool closed_ = false;
    std::shared_ptr<HostingView> content_;
    std::vector<AnimationRecord> animations_;
    WorkItemPtr frameAnimation_, alphaAnimation_;
};

}  // namespace qv
