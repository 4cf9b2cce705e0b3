#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Windowing.h"
#include "ui/MenuLayout.h"
#include "ui/Panel.h"

namespace qv {

class SimDesktop;

// AppKit is the main thread's alone: a call from any other thread is reported by name on stderr and
// ends the process, as the system's main-thread checker does under a test.
void requireMainThread(SimDesktop& sim, const char* call);

// A context menu our process showed, as the simulation recorded it.
struct SimPresentedMenu {
    Menu menu;
    Point location;  // AppKit global space
    uint32_t windowNumber = 0;
    bool open = true;
    std::vector<std::string> openSubmenus;  // the titles of the items whose submenus are open
};

// One menu on screen, the open menu or one of its open submenus, and its highlighted item.
struct SimOpenMenu {
    MenuLayout layout;
    const MenuItem* highlighted = nullptr;
};

// AppKit for our process on the simulated desktop: every panel is a window of our own pid in the
// simulated window server; pointer and key events injected by the tests go to the window under the
// pointer (or the key window) through the local monitors, or to another application and the global
// monitors.
class SimWindowing : public Windowing {
  public:
    explicit SimWindowing(SimDesktop& sim) : sim_(sim) {}

    uint32_t registerPanel(const std::shared_ptr<Panel>& panel) override;
    void panelDidChange(Panel& panel) override;
    void orderPanel(Panel& panel, bool in, std::optional<uint32_t> belowWindow) override;
    void unregisterPanel(Panel& panel) override;
    void makeKeyWindow(Panel* panel) override;
    std::shared_ptr<Panel> keyWindow() override;
    std::vector<Screen> screens() override;
    std::optional<Screen> mainScreen() override;
    void activate(bool ignoringOtherApps) override;
    bool isActive() override;
    void yieldActivation(int32_t pid) override;  // SimApplications.cpp
    void yieldActivationToApplicationWithBundleIdentifier(const std::string& bundleIdentifier) override;
    MonitorToken addLocalMonitor(EventMask mask, LocalMonitorHandler handler) override;
    MonitorToken addGlobalMonitor(EventMask mask, GlobalMonitorHandler handler) override;
    void removeMonitor(MonitorToken token) override;
    std::optional<Event> currentEvent() override;
    Point mouseLocation() override;
    void setCursor(Cursor cursor) override;
    void popUpContextMenu(const Menu& menu, Point location, Panel* panel) override;
    void cancelMenuTracking() override;
    bool systemAppearanceIsDark() override;
    bool accessibilityDisplayShouldReduceTransparency() override;
    uint32_t windowNumberAt(Point location, uint32_t belowWindowWithWindowNumber) override;

    // --- The user and the system ---
    void mouseMove(Point p);
    void mouseDown(Point p, uint64_t modifierFlags, int clickCount, bool right);
    void mouseDrag(Point p);
    void mouseUp(Point p, bool right);
    void scroll(Point p, double dx, double dy, MomentumPhase momentum, bool invertedFromDevice = false);
    void keyDown(uint16_t keyCode, std::string characters, uint64_t modifierFlags);
    bool pickMenuItem(const std::vector<std::string>& titles);
    void dismissMenu();
    // Another application was activated: ours loses the active state, and our key window, a
    // non-activating panel too, its key status.
    void deactivate();
    // The window server moves one of our windows (as off a display that went): AppKit gives the
    // panel the frame (window-server space) through its own frame rules, which may refuse it.
    void relocatePanel(uint32_t windowNumber, Rect frame);
    void setSystemAppearanceDark(bool dark);
    // Posts the workspace's accessibility-display-options notification when the value changes.
    void setReduceTransparency(bool reduce);
    void setMonitorsRefused(bool refused) { refuseMonitors_ = refused; }

    // --- Reading ---
    // Where the pointer is, as the window server knows it from any thread (CGEventCreate's
    // location); AppKit's own reading is mouseLocation().
    // Until the user first moves it, the pointer stands at the centre of the primary display.
    Point pointerLocation() const;
    // The process that gets the keyboard now: ours while a menu of ours tracks it or a window of
    // ours is key and receives keys, else the frontmost application (0: none).
    int32_t keyboardOwner();
    std::shared_ptr<Panel> panel(uint32_t windowNumber) const;
    std::vector<std::shared_ptr<Panel>> panels() const;
    // Our panel under the point that takes the pointer, if it is the topmost window there.
    std::shared_ptr<Panel> panelAt(Point p) const;
    const std::vector<SimPresentedMenu>& presentedMenus() const { return menus_; }
    const SimPresentedMenu* openMenu() const;
    // The open menu where it stands, then its open submenus (SimMenus.cpp). The item under the
    // pointer is highlighted, and in a menu whose submenu is open, that submenu's item.
    std::vector<SimOpenMenu> openMenus() const;
    Cursor cursor() const { return cursor_; }
    int cursorSetCount() const { return cursorSets_; }
    size_t monitorCount() const { return monitors_.size(); }

  private:
    friend class SimEventTaps;  // hands key-ups and modifier changes to our monitors
    struct Monitor {
        MonitorToken token;
        EventMask mask;
        bool local;
        LocalMonitorHandler localHandler;
        GlobalMonitorHandler globalHandler;
    };
    struct Target {
        std::shared_ptr<Panel> panel;  // ours, or none
        int32_t otherPID = 0;          // another application's window, or 0 (the desktop)
        uint32_t otherWindow = 0;
    };
    Target targetAt(Point p) const;
    // Our key window, as the window server delivers events to it; AppKit's own reading is keyWindow().
    std::shared_ptr<Panel> keyPanel() const { return panel(key_); }
    // Keys go to our windows while we are active, and to a key non-activating panel even while
    // another application is.
    bool receivesKeys();
    Event makeEvent(EventType type, Point p, const std::shared_ptr<Panel>& panel) const;
    // Local monitors, then the panel; returns false when a monitor swallowed the event. A key
    // equivalent is offered to the panel's performKeyEquivalent before its sendEvent.
    bool dispatchLocal(const Event& event, const std::shared_ptr<Panel>& panel, bool keyEquivalent = false);
    // Whether a point lies on the close button of one of our titled, closable panels.
    bool onCloseButton(const Panel& panel, Point p) const;
    // Whether a point lies on the title bar of one of our titled panels, its buttons included.
    bool onTitleBar(const Panel& panel, Point p) const;
    void dispatchGlobal(const Event& event);
    void updatePointerPanels(Point p);
    // The pointer resting on an item of an open menu opens its submenu and closes deeper ones.
    void trackOpenMenu(Point p);
    void moveByTitleBar(Panel& panel, Point p);
    void syncWindow(Panel& panel);

    SimDesktop& sim_;
    std::map<uint32_t, std::weak_ptr<Panel>> panels_;
    std::vector<Monitor> monitors_;
    MonitorToken nextToken_ = 1;
    std::vector<Event> eventStack_;
    Point mouse_;
    bool pointerMoved_ = false;
    Cursor cursor_ = Cursor::arrow;
    int cursorSets_ = 0;
    std::vector<SimPresentedMenu> menus_;
    uint32_t key_ = 0;
    bool active_ = false;
    bool dark_ = false;
    bool reduceTransparency_ = false;
    bool refuseMonitors_ = false;
    uint32_t pointerPanel_ = 0;  // our panel the pointer is over
    std::map<TrackingArea*, bool> insideAreas_;
    std::shared_ptr<Panel> mouseDownPanel_;
    std::shared_ptr<Panel> closeButtonPress_;  // the panel whose close button is held down
    // A titled panel of ours held by its title bar, and the pointer from its origin at the press:
    // the window server moves it while the button is held, as it moves every window.
    std::shared_ptr<Panel> titleBarPress_;
    Point titleBarGrip_;
    std::vector<uint32_t> hiddenOnDeactivate_;
};

}  // namespace qv
