#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/Value.h"
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
    bool onScreen = false;  // ordered in and on an active desktop
};

enum class Permission { accessibility, screenRecording };

// The Dock as the user sees it.
struct WorldDock {
    bool autoHide = false;  // its switch, as set now
    bool showing = true;    // on screen (it took auto-hide into effect when it last started)
    int restarts = 0;
};

// How a system command (such as the Dock's restart through killall) misbehaves.
enum class CommandFault { none, hang, failToLaunch, exitNonZero };

// The software-update framework's updater: it works, fails to start (its can-check flag stays
// false), or is started but cannot check now (as while a check runs).
enum class UpdaterState { works, failsToStart, cannotCheck };

// How screenshots of the screen, or the listing of what may be captured, misbehave: fail, stay
// unanswered until released, never answer, or answer twice.
enum class CaptureFault { none, fail, hold, neverAnswer, answerTwice };

// One screenshot our process asked for: of a window alone, or of a display (window 0).
struct WorldCapture {
    uint32_t windowID = 0;
    int width = 0;
    int height = 0;
};

// One of the system's own keyboard shortcuts (a symbolic hot key), as the system keeps it.
struct WorldHotKey {
    uint16_t keyCode = 0;
    uint64_t modifiers = 0;  // event flag bits
    bool enabled = true;
    bool refuseEnabling = false;  // the system refuses to switch it on
};

// The mark a menu item shows before its title: none, a check mark, or a dash for a mixed state.
enum class WorldMenuMark { none, check, mixed };

// An event our process posted into the system's event stream.
struct WorldPostedEvent {
    uint32_t type = 0;  // event type: 1 left down, 2 left up, 5 moved, 6 left dragged, 10 key down, 11 key up
    uint16_t keyCode = 0;
    uint64_t flags = 0;
    Point location;  // window-server space
};

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
    // The arguments of each call of this name our process made, oldest first, as words: numbers
    // in decimal, texts as they are, the items of a list one by one.
    virtual std::vector<std::vector<std::string>> callArguments(const std::string& name) = 0;
    // Our own process.
    virtual int32_t ourProcess() = 0;
    // The process of the application with this name that launched last, running or ended.
    virtual std::optional<int32_t> processNamed(const std::string& name) = 0;

    // --- Displays and desktops ---
    // A ready-made world: two displays, four desktops and a handful of applications with windows.
    virtual void buildDemoDesktop() = 0;
    // Each change of the displays makes the system post the screen-parameters notification.
    virtual uint32_t addDisplay(const std::string& name, Rect frame) = 0;
    // A display connected with desktops of its own: the system reports the change once they exist.
    virtual uint32_t connectDisplay(const std::string& name, Rect frame, int desktops) = 0;
    virtual void removeDisplay(uint32_t displayID) = 0;
    // The monitor of that name unplugged last comes back: its UUID as before, a new display id,
    // where it was unless a frame is given, with that many desktops of its own. None when no
    // display of that name was unplugged.
    virtual std::optional<uint32_t> reconnectDisplay(const std::string& name, std::optional<Rect> frame,
                                                     int desktops) = 0;
    virtual void moveDisplay(uint32_t displayID, Rect frame) = 0;
    // No screen at all while the desktops remain (all displays asleep), and back.
    virtual void setScreensAvailable(bool available) = 0;
    // How many screen-parameters notifications each change of the displays brings (1 to 3).
    virtual void setScreenChangeNotices(int count) = 0;
    virtual uint64_t addDesktop(uint32_t displayID, bool fullScreen) = 0;
    virtual void removeDesktop(uint64_t desktopID) = 0;
    // A desktop turns into a full-screen one, or back, keeping its place.
    virtual void setDesktopFullScreen(uint64_t desktopID, bool fullScreen) = 0;
    // A switch takes its time (see setDesktopSwitchDuration): the display shows the desktop, and
    // the change is announced, at its end.
    virtual void switchToDesktop(uint64_t desktopID) = 0;
    // How long every desktop switch takes from now on; 0: at once.
    virtual void setDesktopSwitchDuration(double seconds) = 0;
    // Ends every switch under way at once.
    virtual void finishDesktopSwitches() = 0;
    virtual void wake() = 0;

    // --- Applications and windows ---
    virtual int32_t launchApplication(const std::string& name, const std::optional<std::string>& bundleID,
                                      ActivationPolicy policy) = 0;
    virtual void quitApplication(int32_t pid) = 0;
    // The application crashes: its windows vanish unannounced; only the workspace reports its end.
    virtual void crashApplication(int32_t pid) = 0;
    virtual void activateApplication(int32_t pid) = 0;
    // An application whose Accessibility never answers and never notifies: each request waits out
    // its messaging timeout.
    virtual void setApplicationUnresponsive(int32_t pid, bool unresponsive) = 0;
    // Seconds the application takes to answer each Accessibility request.
    virtual void setApplicationLatency(int32_t pid, double seconds) = 0;
    // The application is still getting ready for this long: its Accessibility lists no windows and
    // announces nothing meanwhile.
    virtual void setApplicationReadyAfter(int32_t pid, double seconds) = 0;
    // The world changes without a word: the change's Accessibility notifications are lost.
    virtual void silently(const std::function<void()>& change) = 0;
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
    // The same, landing just after our process next lists the bundle's folder, so that listing
    // misses it: an installer finishing while a scan runs.
    virtual void installBundleAfterListing(const std::string& path, const std::optional<std::string>& bundleID,
                                           const std::string& name,
                                           const std::optional<std::string>& displayName) = 0;
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
    // An auto-repeated key-down of a key the user holds down; false when the key is not held.
    virtual bool keyRepeat(uint16_t keyCode, const std::string& characters, uint64_t modifierFlags) = 0;
    // The modifier keys held change (a modifier pressed or released alone).
    virtual void flagsChanged(uint64_t heldModifierFlags) = 0;
    // Chooses an item of the open menu by its titles through submenus; false when there is none.
    virtual bool pickMenuItem(const std::vector<std::string>& titles) = 0;
    // The items of the open menu, or of its submenu reached by titles: each title, after the name
    // of its symbol when it has one; a separator as "-". None when no menu is open or the path
    // leads to no submenu.
    virtual std::optional<std::vector<std::string>> openMenuItems(const std::vector<std::string>& path) = 0;
    // The mark before the title of the open menu's item reached by titles through submenus; none when
    // no menu is open or the item is missing.
    virtual std::optional<WorldMenuMark> openMenuItemMark(const std::vector<std::string>& titles) = 0;

    // --- Our own windows, and what the window server keeps for our process ---
    // One of our windows by its window number; none when it does not exist.
    virtual std::optional<WorldWindow> ourWindow(uint32_t windowNumber) = 0;
    // The strip registered as the Dock's along each display's bottom edge, by display id.
    virtual std::map<uint32_t, Rect> dockRects() = 0;
    // The height reserved along the bottom edge of each desktop that has a reservation.
    virtual std::map<uint64_t, double> edgeReservations() = 0;
    // The window server refuses the dock rectangle from now on, or accepts it again.
    virtual void setDockRectRefused(bool refused) = 0;
    // A variable of the environment the program's process starts with; none removes it.
    virtual void setEnvironmentVariable(const std::string& name, const std::optional<std::string>& value) = 0;

    // --- The system's settings, the applications' answers and restarts ---
    // The user turns Reduce Transparency on or off; the workspace announces the change.
    virtual void setReduceTransparency(bool on) = 0;
    // An application with unsaved work declines requests to quit.
    virtual void setDeclinesTermination(int32_t pid, bool declines) = 0;
    // The computer restarts after our program quit: every desktop comes back in its place with a
    // new id, with its windows, and our application can be started again.
    virtual void restartComputer() = 0;
    // --- Desktop pictures, the Dock and its preferences, the user's folders, screenshots ---
    // Colours as 0xRRGGBB, a diagonal gradient from the top-left corner; the system writes its
    // wallpaper store.
    virtual void setWallpaper(uint32_t displayID, uint32_t fromRGB, uint32_t toRGB) = 0;
    virtual WorldDock dock() = 0;
    // The user switches the Dock's auto-hide in System Settings: it shows at once.
    virtual void setDockAutoHide(bool on) = 0;
    // The user puts the Dock on the "bottom", "left" or "right" edge in System Settings: it moves
    // at once.
    virtual void setDockPosition(const std::string& side) = 0;
    virtual void setDockRestartFault(CommandFault fault) = 0;
    virtual void setUpdaterState(UpdaterState state) = 0;
    // A value of another application's preferences domain; none: absent (or remove it).
    virtual std::optional<Value> preference(const std::string& domain, const std::string& key) = 0;
    virtual void setPreference(const std::string& domain, const std::string& key,
                               std::optional<Value> value) = 0;
    virtual void setPreferencesDomainAvailable(const std::string& domain, bool available) = 0;
    // The user's home folder; the folders below are absolute paths.
    virtual std::string homeFolder() = 0;
    // Someone else changes a folder (events as vnode bits), deletes it, makes it, or keeps our
    // process from watching it.
    virtual void folderEvent(const std::string& path, uint32_t events) = 0;
    virtual void deleteFolder(const std::string& path) = 0;
    virtual void createFolder(const std::string& path) = 0;
    // Someone else writes a file with the text, making its folders; false when it cannot.
    virtual bool writeFile(const std::string& path, const std::string& text) = 0;
    virtual void setFolderWatchRefused(const std::string& path, bool refused) = 0;
    virtual void setCaptureFault(CaptureFault fault) = 0;
    // Answers the screenshots held so far.
    virtual void releaseHeldCaptures() = 0;
    // --- Screenshots of single windows, and the listing of what may be captured ---
    // The screenshots of one window behave so whatever the others do; none: like the others.
    virtual void setWindowCaptureFault(uint32_t windowID, CaptureFault fault) = 0;
    virtual void setCaptureListingFault(CaptureFault fault) = 0;
    // Answers the held screenshots of one window, in the order they were asked for.
    virtual void releaseHeldCapturesOf(uint32_t windowID) = 0;
    // Every screenshot our process asked for, oldest first.
    virtual std::vector<WorldCapture> captures() = 0;

    // --- Desktop navigation ---
    // The system's shortcut with an id (118 to 133 switch to desktops 1 to 16); none: no value.
    virtual std::optional<WorldHotKey> symbolicHotKey(int32_t id) = 0;
    virtual void setSymbolicHotKey(int32_t id, const std::optional<WorldHotKey>& key) = 0;
    // The user switches every desktop shortcut the system has on or off; they start off.
    virtual void setDesktopShortcutsEnabled(bool enabled) = 0;
    // A scroll whose event reports natural scrolling (the direction inverted from the device's).
    virtual void naturalScroll(Point p, double deltaX, double deltaY) = 0;
    // A scroll of the trackpad's momentum, the coasting after the fingers lifted.
    virtual void momentumScroll(Point p, double deltaX, double deltaY) = 0;
    // Whether our own application is the frontmost one.
    virtual bool ourApplicationFrontmost() = 0;
    // Every event our process posted, oldest first.
    virtual std::vector<WorldPostedEvent> postedEvents() = 0;
    // To whom our application yielded activation, oldest first: an application's name, or the
    // bundle identifier given when no running application has it.
    virtual std::vector<std::string> activationYields() = 0;

    // --- Window tiling ---
    // The operating system's major version the program finds when it starts.
    virtual void setOperatingSystemMajorVersion(int version) = 0;
    // The "Displays have separate Spaces" setting.
    virtual void setDisplaysHaveSeparateSpaces(bool separate) = 0;
    // The system refuses our event taps (no permission to watch input), or allows them again.
    virtual void setEventTapsRefused(bool refused) = 0;
    // The application puts each window back to its earlier frame this long after our last change
    // of it; none: it keeps the frames it is given.
    virtual void setWindowDrift(int32_t pid, std::optional<double> seconds) = 0;
    // The sizes the application keeps its windows within; none: no limit.
    virtual void setWindowSizeLimits(int32_t pid, std::optional<Size> minimum, std::optional<Size> maximum) = 0;
    // Every window on screen, ours included, by window number, front to back.
    virtual std::vector<uint32_t> windowOrder() = 0;
    // --- Private entry points ---
    // Whether the run-time lookup of a private platform function by name finds it.
    virtual void setEntryPointAvailable(const std::string& name, bool available) = 0;
    // --- The system's version, event taps and the keys applications receive ---
    // The event taps in the order events pass them, each named by the thread that serves it.
    virtual std::vector<std::string> eventTaps() = 0;
    // The system switches every event tap off, as when a tap's callback took too long.
    virtual void timeOutEventTaps() = 0;
    // The next change of the held modifiers reaches neither the taps nor any application.
    virtual void loseNextModifierChange() = 0;
    // The key events an application received from the user, oldest first.
    virtual std::vector<WorldPostedEvent> receivedKeys(int32_t pid) = 0;
    // A window that is no standard one: a dialog ("AXDialog"), or a floating palette
    // ("AXFloatingWindow") drawn fully transparent (alpha 0).
    virtual uint32_t openDialog(int32_t pid, const std::string& title, Rect frame,
                                std::optional<uint64_t> desktopID) = 0;
    virtual uint32_t openTransparentWindow(int32_t pid, const std::string& title, Rect frame,
                                           std::optional<uint64_t> desktopID) = 0;
    // --- The settings window ---
    // The names of the platform calls our program made, oldest first.
    virtual std::vector<std::string> callNames() = 0;
    // A display for which the system gives no UUID.
    virtual void setDisplayUUIDReported(uint32_t displayID, bool reported) = 0;
};

}  // namespace qv
