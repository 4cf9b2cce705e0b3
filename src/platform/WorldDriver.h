#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Workspace.h"

namespace qv {

// What the world around the program holds, as someone sitting at the computer sees it.
// Frames are in window-server space: origin at the primary display's top-left corner, y down.
struct WorldDesktop {
    uint64_t id = 0;
    bool fullScreen = false;
    bool active = false;
};

struct WorldDisplay {
    uint32_t id = 0;
    std::string name;
    Rect frame;
    bool primary = false;
    std::vector<WorldDesktop> desktops;  // in the display's order
};

struct WorldApplication {
    int32_t pid = 0;
    std::string name;
    std::optional<std::string> bundleID;
    ActivationPolicy policy = ActivationPolicy::regular;
    bool frontmost = false;
};

struct WorldWindow {
    uint32_t id = 0;
    int32_t pid = 0;
    std::string title;
    Rect frame;
    bool minimized = false;
    std::set<uint64_t> desktops;
};

enum class Permission { accessibility, screenRecording };

// Drives the world the program runs in: the rest of the system and the user's hands. Scenario
// scripts reach the world only through it. Points of the user's hands are in AppKit's global space
// (origin at the primary screen's bottom-left corner, y up), as events carry them.
class WorldDriver {
  public:
    virtual ~WorldDriver() = default;

    // --- Reading ---
    virtual std::vector<WorldDisplay> displays() = 0;
    // Running applications other than ours.
    virtual std::vector<WorldApplication> applications() = 0;
    // Other applications' windows.
    virtual std::vector<WorldWindow> windows() = 0;
    // How often the system asked the user for a permission.
    virtual int permissionPrompts(Permission permission) = 0;
    // The addresses the workspace opened, oldest first.
    virtual std::vector<std::string> openedURLs() = 0;
    // How often our process made a platform call of this name.
    virtual size_t callCount(const std::string& name) = 0;

    // --- Displays and desktops ---
    // A ready-made world: two displays, four desktops and a handful of applications with windows.
    virtual void buildDemoDesktop() = 0;
    // Each change of the displays makes the system post the screen-parameters notification.
    virtual uint32_t addDisplay(const std::string& name, Rect frame) = 0;
    virtual void removeDisplay(uint32_t displayID) = 0;
    virtual void moveDisplay(uint32_t displayID, Rect frame) = 0;
    // No screen at all while the desktops remain (all displays asleep), and back.
    virtual void setScreensAvailable(bool available) = 0;
    virtual uint64_t addDesktop(uint32_t displayID, bool fullScreen) = 0;
    virtual void removeDesktop(uint64_t desktopID) = 0;
    virtual void switchToDesktop(uint64_t desktopID) = 0;
    virtual void wake() = 0;

    // --- Applications and windows ---
    virtual int32_t launchApplication(const std::string& name, const std::optional<std::string>& bundleID,
                                      ActivationPolicy policy) = 0;
    virtual void quitApplication(int32_t pid) = 0;
    virtual void activateApplication(int32_t pid) = 0;
    // An application whose Accessibility never answers and never notifies.
    virtual void setApplicationUnresponsive(int32_t pid, bool unresponsive) = 0;
    virtual void setBadge(int32_t pid, const std::optional<std::string>& label) = 0;
    virtual void setWantsAttention(int32_t pid, bool wants) = 0;
    // Without a desktop the window opens on the active desktop of the display under its frame.
    virtual uint32_t openWindow(int32_t pid, const std::string& title, Rect frame,
                                std::optional<uint64_t> desktopID) = 0;
    virtual void closeWindow(uint32_t windowID) = 0;
    virtual void setWindowFrame(uint32_t windowID, Rect frame) = 0;
    virtual void setWindowMinimized(uint32_t windowID, bool minimized) = 0;
    virtual void setWindowTitle(uint32_t windowID, const std::string& title) = 0;
    virtual void moveWindowToDesktop(uint32_t windowID, uint64_t desktopID) = 0;

    // --- Application bundles on disk ---
    // A path may start with "~/" for the user's home folder. Each change posts the file events of
    // every file of the bundle. No bundle identifier: the bundle has none; a display name of its own
    // (CFBundleDisplayName) may be empty.
    virtual void installBundle(const std::string& path, const std::optional<std::string>& bundleID,
                               const std::string& name, const std::optional<std::string>& displayName) = 0;
    // False when there is no bundle at the path (or something is at the copy's path already).
    virtual bool removeBundle(const std::string& path) = 0;
    virtual bool copyBundle(const std::string& from, const std::string& to) = 0;

    // --- Permissions, granted or revoked in System Settings ---
    virtual void setPermission(Permission permission, bool granted) = 0;

    // --- The user's hands ---
    virtual void mouseMove(Point p) = 0;
    virtual void mouseDown(Point p, bool right) = 0;
    virtual void mouseDragged(Point p) = 0;
    virtual void mouseUp(Point p, bool right) = 0;
    virtual void scroll(Point p, double deltaX, double deltaY) = 0;
    virtual void keyDown(uint16_t keyCode, const std::string& characters, uint64_t modifierFlags) = 0;
    virtual void keyUp(uint16_t keyCode, uint64_t modifierFlags) = 0;
    // The modifier keys held change (a modifier pressed or released alone).
    virtual void flagsChanged(uint64_t heldModifierFlags) = 0;
    // Chooses an item of the open menu by its titles through submenus; false when there is none.
    virtual bool pickMenuItem(const std::vector<std::string>& titles) = 0;
};

}  // namespace qv
