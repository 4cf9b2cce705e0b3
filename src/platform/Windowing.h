#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Displays.h"
#include "platform/Event.h"
#include "platform/Menu.h"

namespace qv {

class Panel;

using MonitorToken = uint64_t;
// A local monitor sees the events addressed to our windows before they are dispatched; it returns
// the event to pass on, or none to swallow it.
using LocalMonitorHandler = std::function<std::optional<Event>(const Event&)>;
using GlobalMonitorHandler = std::function<void(const Event&)>;

// The application side of AppKit: our windows in the window server, the key window, activation,
// event monitors, the current event and pointer, the cursor, context menus and the appearance.
class Windowing {
  public:
    virtual ~Windowing() = default;

    // The window server's side of our panels. A panel registers when it is created and reports
    // every change of its frame, level, alpha, title or ordering.
    virtual uint32_t registerPanel(const std::shared_ptr<Panel>& panel) = 0;
    virtual void panelDidChange(Panel& panel) = 0;
    virtual void orderPanel(Panel& panel, bool in, std::optional<uint32_t> belowWindow) = 0;
    virtual void unregisterPanel(Panel& panel) = 0;
    virtual void makeKeyWindow(Panel* panel) = 0;  // nullptr: no key window
    virtual std::shared_ptr<Panel> keyWindow() = 0;

    // NSScreen.screens and NSScreen.main (the screen of the key window, else the first).
    virtual std::vector<Screen> screens() = 0;
    virtual std::optional<Screen> mainScreen() = 0;

    // NSApp.activate(ignoringOtherApps:) and NSApp.isActive.
    virtual void activate(bool ignoringOtherApps) = 0;
    virtual bool isActive() = 0;
    // NSApp.yieldActivation(to:): lets the application with the pid activate from us next.
    virtual void yieldActivation(int32_t pid) = 0;
    // NSApp.yieldActivation(toApplicationWithBundleIdentifier:)
    virtual void yieldActivationToApplicationWithBundleIdentifier(const std::string& bundleIdentifier) = 0;

    // NSEvent.addLocalMonitorForEvents / addGlobalMonitorForEvents / removeMonitor; 0: refused.
    virtual MonitorToken addLocalMonitor(EventMask mask, LocalMonitorHandler handler) = 0;
    virtual MonitorToken addGlobalMonitor(EventMask mask, GlobalMonitorHandler handler) = 0;
    virtual void removeMonitor(MonitorToken token) = 0;
    // NSApp.currentEvent: the event being dispatched, if any.
    virtual std::optional<Event> currentEvent() = 0;
    // NSEvent.mouseLocation, in AppKit's global space.
    virtual Point mouseLocation() = 0;

    // NSCursor.set
    virtual void setCursor(Cursor cursor) = 0;
    // NSMenu.popUpContextMenu(_:with:for:): `location` in AppKit's global space.
    virtual void popUpContextMenu(const Menu& menu, Point location, Panel* panel) = 0;
    // NSMenu.cancelTracking() of the context menu being tracked; nothing when none is.
    virtual void cancelMenuTracking() = 0;

    // The system's appearance and NSWorkspace.accessibilityDisplayShouldReduceTransparency.
    virtual bool systemAppearanceIsDark() = 0;
    virtual bool accessibilityDisplayShouldReduceTransparency() = 0;

    // NSWindow.windowNumber(at:belowWindowWithWindowNumber:): the topmost on-screen window of any
    // process at a point of AppKit's global space, among those below the given window (0: all);
    // 0 when there is none.
    virtual uint32_t windowNumberAt(Point location, uint32_t belowWindowWithWindowNumber) = 0;
};

}  // namespace qv
