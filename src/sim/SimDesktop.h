#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Event.h"
#include "platform/Platform.h"

namespace qv {

class SimWindowServer;
class SimDisplays;
class SimWorkspace;
class SimSystemInfo;
class SimFileSystem;
class SimLoginItems;
class SimProcesses;
class SimLaunchServices;
class SimWindowing;
class SimAccessibility;
class SimApplications;
class SimDock;
class SimEventTaps;
class SimCarbon;
class SimAppKit;
class SimScreenCapture;
class SimUpdater;
class SimPreferences;
class SimFileEventStreams;

inline constexpr int64_t kSimSpaceTypeOrdinary = 0;
inline constexpr int64_t kSimSpaceTypeFullScreen = 4;

struct SimSpace {
    uint64_t id = 0;
    int64_t type = kSimSpaceTypeOrdinary;
    std::string uuid;
    uint32_t displayID = 0;
};

struct SimDisplay {
    uint32_t id = 0;
    std::string uuid;
    std::string name;
    Rect frame;  // window-server space: origin at the primary display's top-left corner, y down
    std::vector<uint64_t> spaces;
    uint64_t activeSpace = 0;
    uint64_t screenInstance = 0;
    bool reportsScreenNumber = true;  // false: its screen's description has no "NSScreenNumber"
    bool reportsUUID = true;          // false: the system gives no UUID for it
    double backingScaleFactor = 2.0;  // pixels per point of its backing store
};

struct SimApp {
    int32_t pid = 0;
    std::optional<std::string> bundleID;
    std::string name;
    std::optional<std::string> bundlePath;
    ActivationPolicy policy = ActivationPolicy::regular;
    bool terminated = false;
    bool listed = true;  // still in the workspace's list of running applications
    bool hidden = false;
    std::optional<std::string> badgeLabel;  // the Dock badge; an empty label shows none
    bool wantsAttention = false;            // kLSApplicationDesiresAttentionKey
};

struct SimWindow {
    uint32_t id = 0;
    int32_t ownerPID = 0;
    std::string title;
    Rect frame;  // window-server space
    int32_t layer = 0;
    float alpha = 1.0f;
    bool minimized = false;
    std::set<uint64_t> spaces;
    uint32_t parent = 0;  // 0: no parent window
    int64_t z = 0;        // larger is nearer the front
    // What the owner's Accessibility tree says about the window.
    std::string role = "AXWindow";
    std::optional<std::string> subrole = std::string("AXStandardWindow");
    bool modal = false;
    bool inAXWindowList = true;
    bool orderedIn = true;      // false: ordered out (our panels), never on screen
    bool hasZoomButton = true;  // false: its Accessibility tree has no "AXZoomButton"
};

struct SimAppSpec {
    std::optional<std::string> bundleID;
    std::string name;
    ActivationPolicy policy = ActivationPolicy::regular;
    std::optional<std::string> bundlePath;
    int32_t pid = 0;  // 0: the next free pid
};

struct SimWindowSpec {
    int32_t pid = 0;
    std::string title;
    Rect frame{100, 100, 800, 600};
    std::optional<uint64_t> space;  // default: the active Space of the display under the frame
    int32_t layer = 0;
    float alpha = 1.0f;
    bool minimized = false;
    uint32_t parent = 0;
    std::string role = "AXWindow";
    std::optional<std::string> subrole = std::string("AXStandardWindow");
    bool modal = false;
    uint32_t id = 0;  // 0: the next free id
    bool inAXWindowList = true;
};

// A display's desktop picture: a diagonal gradient from its top-left corner to its bottom-right one,
// colours as 0xRRGGBB.
struct SimWallpaper {
    uint32_t from = 0;
    uint32_t to = 0;
    // The colour at a point given as fractions of the display's width and height.
    uint32_t colourAt(double u, double v) const;
    // "#rrggbb"
    static std::string hex(uint32_t rgb);
};

// Where the close button sits on the title bar of a window (window-server space).
inline Rect titleBarCloseButtonFrame(const Rect& window) {
    return {window.minX() + 8, window.minY() + 6, 14, 14};
}

// Where the zoom button sits, the third of the title bar's buttons (window-server space).
inline Rect titleBarZoomButtonFrame(const Rect& window) {
    return {window.minX() + 48, window.minY() + 6, 14, 14};
}

// One of the system's own keyboard shortcuts, as the window server keeps it.
struct SimSymbolicHotKey {
    uint16_t keyCode = 0;
    uint32_t modifiers = 0;  // CGEventFlags bits
    bool enabled = true;
    bool refuseEnabling = false;  // switching it on fails
};

// One platform call as the simulation received it.
struct SimCall {
    std::string name;
    Value args;
    bool onMainQueue = false;  // made while our main queue ran (the test's own code included)
};

// Replacements for the simulation's answers: when a member is set, the call answers with it
// (an empty optional being "no result") instead of reading the simulated world.
struct SimOverrides {
    std::function<std::optional<Value>(uint32_t options)> windowList;
    std::function<std::optional<Value>(const Value& windowIDs)> windowDescription;
    std::function<std::optional<Value>()> managedDisplaySpaces;
    std::function<std::optional<Value>(const Value& windowIDs)> spacesForWindows;
    std::function<std::optional<Value>(const Value& spaceIDs)> windowsOnSpaces;
    std::optional<uint64_t> activeSpace;
    bool refuseAddWindowsToSpaces = false;  // the add fails with an error and changes nothing
    bool refuseRemoveWindowsFromSpaces = false;
    std::optional<int32_t> activeDisplayListError;
    std::optional<int32_t> dockRectError;  // the dock rectangle is refused with this status
};

// An in-memory macOS desktop that implements the platform services.
class SimDesktop {
  public:
    // `homeDirectory` holds the simulated user's files; empty: a temporary folder of its own,
    // removed with the desktop.
    explicit SimDesktop(Runtime& runtime, std::string homeDirectory = {});
    ~SimDesktop();
    SimDesktop(const SimDesktop&) = delete;
    SimDesktop& operator=(const SimDesktop&) = delete;

    Platform& platform() { return *platform_; }
    Runtime& runtime() { return runtime_; }
    NotificationCenter& notifications() { return notifications_; }
    NotificationCenter& workspaceNotifications() { return workspaceNotifications_; }

    // --- Building and changing the world ---
    // `frame` in window-server space; the primary display is the one placed at the origin.
    uint32_t addDisplay(std::string name, Rect frame, uint32_t id = 0, std::string uuid = {});
    uint64_t addSpace(uint32_t displayID, int64_t type = kSimSpaceTypeOrdinary);
    // As Mission Control does: its windows go to a neighbouring desktop of the display, which the
    // display switches to (and announces) when the removed desktop was the active one.
    void removeSpace(uint64_t spaceID);
    // Starts switching the space's display to it (SimDesktopNavigation.cpp). The switch animates for
    // `desktopSwitchDuration`; the display shows its old desktop until the end, when a held window
    // is taken along and the change is announced. A new switch of that display meanwhile takes the
    // place of the one under way and starts afresh; it is announced even when it comes back to the
    // desktop shown.
    void switchToSpace(uint64_t spaceID);
    static constexpr double kDesktopSwitchSeconds = 0.33;
    double desktopSwitchDuration = kDesktopSwitchSeconds;
    // Ends every switch under way at once.
    void finishDesktopSwitches();
    void setDisplaysHaveSeparateSpaces(bool separate) { separateSpaces_ = separate; }
    bool displaysHaveSeparateSpaces() const { return separateSpaces_; }

    int32_t launchApp(SimAppSpec spec);
    int32_t launchApp(std::optional<std::string> bundleID, std::string name,
                      ActivationPolicy policy = ActivationPolicy::regular) {
        SimAppSpec spec;
        spec.bundleID = std::move(bundleID);
        spec.name = std::move(name);
        spec.policy = policy;
        return launchApp(std::move(spec));
    }
    void terminateApp(int32_t pid);
    // The application crashes: it vanishes with its windows, announcing nothing through
    // Accessibility; only the workspace reports its termination.
    void crashApp(int32_t pid);
    void activateApp(int32_t pid);
    std::optional<int32_t> frontmostPID() const {
        std::lock_guard lock(world_);
        return frontmost_;
    }

    uint32_t openWindow(SimWindowSpec spec);
    // A standard window of `pid` on `space`; `tweak` adjusts the rest of its description.
    uint32_t openWindow(int32_t pid, std::string title, uint64_t space, Rect frame = {100, 100, 800, 600},
                        const std::function<void(SimWindowSpec&)>& tweak = {});
    void closeWindow(uint32_t windowID);
    void setWindowFrame(uint32_t windowID, Rect frame);
    void setWindowTitle(uint32_t windowID, std::string title);
    void setWindowMinimized(uint32_t windowID, bool minimized);
    void raiseWindow(uint32_t windowID);
    void setWindowSpaces(uint32_t windowID, std::set<uint64_t> spaces);
    // The user brings a window forward: it is raised and its application activated.
    void focusWindow(uint32_t windowID);
    // The change goes without a word: its Accessibility notifications are lost, as notifications
    // can be, or as from an application that changes a window behind its own back.
    void silently(const std::function<void()>& change);
    void closeWindowSilently(uint32_t windowID) {
        silently([&] { closeWindow(windowID); });
    }
    // The user carries a window to another desktop. On another display the window lands at the
    // same place relative to that display and its application announces the move, as a real one
    // would; between desktops of one display nothing is announced.
    void moveWindowToSpace(uint32_t windowID, uint64_t spaceID);

    // The user's Screen Recording permission for our process: one switch that the capture
    // preflight answers from and that decides whether other processes' window names are readable.
    void setScreenRecordingGranted(bool granted) { screenRecordingGranted_ = granted; }
    bool screenRecordingGranted() const { return screenRecordingGranted_; }

    void setOperatingSystemMajorVersion(int v) { osMajorVersion_ = v; }
    int operatingSystemMajorVersion() const { return osMajorVersion_; }
    void setEnvironmentVariable(const std::string& name, std::optional<std::string> value);
    std::optional<std::string> environmentVariable(const std::string& name) const;

    // --- Reading the world ---
    const std::vector<SimDisplay>& displays() const { return displays_; }
    const SimDisplay* display(uint32_t id) const;
    const SimDisplay* displayOfSpace(uint64_t spaceID) const;
    const SimDisplay* displayContaining(const Rect& frame) const;  // the one with the largest overlap
    // The display at the origin of the window-server space (the one with the menu bar).
    const SimDisplay* primaryDisplay() const;
    const SimSpace* space(uint64_t id) const;
    SimWindow* window(uint32_t id);
    const SimWindow* window(uint32_t id) const;
    SimApp* app(int32_t pid);
    const SimApp* app(int32_t pid) const;
    const std::map<int32_t, SimApp>& apps() const { return apps_; }
    const std::map<uint32_t, SimWindow>& windows() const { return windows_; }
    // On-screen windows first, nearest the front first; then the others in the same order.
    std::vector<const SimWindow*> windowsInListOrder() const;
    // The windows listed on a Space, in the same order. Found through an index of the windows by
    // Space, so that listing every Space costs what the windows are, not their number times the
    // Spaces'; the index is made again after any change of the windows.
    std::vector<const SimWindow*> windowsOnSpaceInListOrder(uint64_t spaceID) const;
    bool isOnScreen(const SimWindow& w) const;
    bool isActiveSpace(uint64_t spaceID) const;
    std::vector<Screen> screens() const;
    // The menu bar is on every display while displays have separate Spaces, else on the primary
    // display only.
    static constexpr double kMenuBarHeight = 25;
    bool showsMenuBar(const SimDisplay& d) const;
    // What windows may use of a display (window-server space): below its menu bar, and clear of
    // the Dock where the Dock shows.
    Rect visibleFrame(const SimDisplay& d) const;
    double primaryHeight() const;

    uint32_t connectionID() const { return 0x1A2B; }
    int32_t ownPID() const { return ownPID_; }

    // --- What our process did ---
    std::vector<SimCall> callLog;
    bool recordCalls = true;
    void record(std::string name, Value args = {});
    std::vector<SimCall> callsNamed(const std::string& name) const;
    std::map<uint64_t, double> edgeReservations;  // Space id -> reserved bottom height
    std::map<std::string, Value> connectionProperties;

    SimOverrides overrides;
    std::set<std::string> missingEntryPoints;  // names the run-time lookups do not find

    // --- The user's files and login items ---
    SimFileSystem& fileSystem() { return *fileSystem_; }
    SimLoginItems& loginItems() { return *loginItems_; }
    // Our application is quitting: posts its will-terminate notification.
    void terminateOurApplication();
    // The lsappinfo tool and LaunchServices, with their fault switches.
    SimProcesses& processes() { return *processes_; }
    SimLaunchServices& launchServices() { return *launchServices_; }
    // --- Our panels, and the user's pointer and keyboard (SimWindowing.cpp) ---
    // Points are in AppKit's global space (origin at the primary screen's bottom-left, y up).
    SimWindowing& windowing() { return *windowing_; }
    void mouseMove(Point p);
    void mouseDown(Point p, uint64_t modifierFlags = 0, int clickCount = 1);
    void mouseDrag(Point p);
    void mouseUp(Point p);
    void click(Point p, uint64_t modifierFlags = 0);
    void rightClick(Point p);
    // `invertedFromDevice`: the event reports natural scrolling.
    void scroll(Point p, double deltaX, double deltaY, MomentumPhase momentum = MomentumPhase::none,
                bool invertedFromDevice = false);
    void keyDown(uint16_t keyCode, std::string characters = {}, uint64_t modifierFlags = 0);
    // Chooses an item of the open context menu by its titles through submenus and runs its action;
    // false when no menu is open or the item is missing, disabled or has no action.
    bool pickMenuItem(const std::vector<std::string>& titles);
    // A screenshot of every display: wallpaper, menu bar, other applications' windows and our panels
    // with their contents, in window order (SimScreenshot.cpp).
    std::string renderSvg() const;
    // The applications' Accessibility trees, their faults and observers.
    SimAccessibility& accessibility() { return *accessibility_; }
    // Held while the world changes and while Accessibility requests, which may come from other
    // threads, read it. Displays and Spaces are built before other threads use the desktop.
    std::recursive_mutex& worldMutex() const { return world_; }
    // Installed application bundles, icons, opening applications and activation between them.
    SimApplications& applications() { return *applications_; }
    // --- Event taps, synthesised events, hot keys, the keyboard layout (SimEventTaps.cpp, SimCarbon.cpp) ---
    SimEventTaps& eventTaps() { return *eventTaps_; }
    SimCarbon& carbon() { return *carbon_; }
    // The user's key-ups, the repeats of a held key and changes of the held modifier keys. Key events
    // carry the modifiers held at the time besides the ones given.
    void keyUp(uint16_t keyCode, uint64_t modifierFlags = 0);
    void keyRepeat(uint16_t keyCode, std::string characters = {}, uint64_t modifierFlags = 0);
    void flagsChanged(uint64_t heldModifierFlags);

    // --- Our application object, capture access and the updater ---
    SimAppKit& appKit() { return *appKit_; }
    SimScreenCapture& screenCapture() { return *screenCapture_; }
    SimUpdater& updater() { return *updater_; }
    // Changes of the displays as the system makes them (SimDisplayChanges.cpp); each posts the
    // screen-parameters notification on the default centre, `screenChangeNotices` times over, as
    // one change often brings several. A display removed hands its desktops to the primary
    // display: the one it showed joins the primary display's active desktop, the others follow the
    // primary display's own. Its windows follow `kWindowsFollowScreenChange` after the notices:
    // each that lies on no display any more moves onto the primary display, and its application
    // hears that it moved; ours are moved by AppKit, through the panel's own frame rules.
    static constexpr double kWindowsFollowScreenChange = 0.1;
    int screenChangeNotices = 2;
    void removeDisplay(uint32_t displayID);
    void setDisplayFrame(uint32_t displayID, Rect frame);
    // No screen at all (every display asleep or mirrored away) while the desktops remain.
    void setScreensAvailable(bool available);
    bool screensAvailable() const { return screensAvailable_; }
    // The computer wakes from sleep.
    void wake();

    // --- The strips registered as the Dock's (SimWindowServer.cpp) ---
    // Per display, the last strip of some height registered along its bottom edge, window-server
    // space; a zero-height strip there clears it.
    std::map<uint32_t, Rect> dockRects;
    // A screen whose description lacks "NSScreenNumber"; takes effect at the next screen list.
    void setScreenNumberReported(uint32_t displayID, bool reported);
    // A display for which the system gives no UUID.
    void setDisplayUUIDReported(uint32_t displayID, bool reported);
    // A desktop turns full screen (or back) and keeps its id; nothing is announced.
    void setSpaceType(uint64_t spaceID, int64_t type);
    // A display that comes with `desktops` desktops of its own; the screens change once they exist.
    // `uuid`: the monitor's own; a new one unless given.
    uint32_t connectDisplay(std::string name, Rect frame, int desktops, std::string uuid = {});
    // The monitor of that name unplugged last comes back with its UUID and a new display id, where
    // it was unless a frame is given (SimDisplayChanges.cpp); 0 when none of that name was
    // unplugged.
    uint32_t reconnectDisplay(const std::string& name, std::optional<Rect> frame, int desktops);
    // The computer restarted: every desktop comes back in its place with a new id, the windows on
    // it, and the reservations made for the old ids are gone.
    void renumberSpaces();
    // --- The Dock, preferences domains and desktop pictures (SimWallpaper.cpp) ---
    SimDock& dock() { return *dock_; }
    SimPreferences& preferences() { return *preferences_; }
    // The user picks a desktop picture: the system writes its wallpaper store, whose folder's
    // watchers hear of it.
    void setWallpaper(uint32_t displayID, SimWallpaper wallpaper);
    SimWallpaper wallpaper(uint32_t displayID) const;
    // "~/Library/Application Support/com.apple.wallpaper/Store" of the simulated user.
    std::string wallpaperStoreFolder() const;
    // --- File-system event streams over the simulated disk ---
    SimFileEventStreams& fileEventStreams() { return *fileEventStreams_; }

    // --- Switching desktops by shortcut, and windows held by their title bar (SimDesktopNavigation.cpp) ---
    // The shortcuts for switching to desktop 1 (118) to 16 (133): Control with 1 to 0 for the first
    // ten, Control-Option with 1 to 6 for the rest, switched off as a fresh system ships them. An id
    // left out reports no value.
    static constexpr int32_t kFirstDesktopHotKey = 118;
    static constexpr int32_t kLastDesktopHotKey = 133;
    std::map<int32_t, SimSymbolicHotKey> symbolicHotKeys;
    // The user switches every desktop shortcut the system reports on or off in the keyboard settings.
    void setDesktopHotKeysEnabled(bool enabled);
    // The n-th desktop that is not full screen, display by display, in the order of each display's
    // desktops: the numbering the shortcuts follow.
    std::optional<uint64_t> numberedDesktop(int n) const;
    // A key-down equal to an enabled desktop shortcut switches that desktop's display to it and is
    // used up (true); any other chord goes on to the applications.
    bool takeSymbolicHotKey(const CGEvent& keyDown);
    // A left press on the top 28 points of another application's window grabs it; while held,
    // dragging carries it (its top kept below the menu bar), a desktop switch of its display takes
    // it along, and carried onto another display it joins that display's active desktop. A press
    // within 5 points of an edge (the top 5 points included) grabs that edge instead, and dragging
    // resizes the window within its application's size limits. Points in window-server space.
    static constexpr double kTitleBarHeight = 28;
    static constexpr double kResizeEdgeGrip = 5;
    bool grabWindow(uint32_t windowID, Point pointer);
    // False when no window is held.
    bool dragHeldWindow(Point pointer);
    void releaseHeldWindow() { grab_.reset(); }
    std::optional<uint32_t> heldWindow() const;

  private:
    static std::vector<const SimWindow*> inListOrder(std::vector<std::pair<bool, const SimWindow*>> keyed);
    // Every way to change a window passes here (the non-const lookup, opening, closing, the passes
    // over all windows), so the index of windows by Space is made again after it.
    void windowsChanged() { ++windowsVersion_; }
    // The regular desktop before `removed` on its display, else the one after; 0 when none.
    uint64_t removalNeighbour(const std::vector<uint64_t>& spaces,
                              std::vector<uint64_t>::const_iterator removed) const;
    std::atomic<uint64_t> windowsVersion_{0};
    mutable uint64_t indexedVersion_ = ~uint64_t{0};
    mutable std::unordered_map<uint64_t, std::vector<const SimWindow*>> windowsBySpace_;

    Runtime& runtime_;
    NotificationCenter notifications_;
    NotificationCenter workspaceNotifications_;

    std::vector<SimDisplay> displays_;
    std::vector<SimDisplay> unplugged_;  // the displays removed, oldest first, as they were
    std::map<uint64_t, SimSpace> spaces_;
    std::map<int32_t, SimApp> apps_;
    std::map<uint32_t, SimWindow> windows_;
    std::map<std::string, std::string> environment_;
    std::optional<int32_t> frontmost_;
    bool separateSpaces_ = true;
    int osMajorVersion_ = 27;
    bool screenRecordingGranted_ = true;
    bool screensAvailable_ = true;
    bool holdScreenChange_ = false;  // a display being connected: announced once it is complete
    int32_t ownPID_ = 0;
    int32_t nextPID_ = 400;
    uint32_t nextWindowID_ = 100;
    uint64_t nextSpaceID_ = 1;
    uint32_t nextDisplayID_ = 1;
    int64_t nextZ_ = 1;

    friend class SimWorkspace;
    void postWorkspace(const char* name, int32_t pid);
    void postScreenParametersChanged();
    void endApp(int32_t pid, bool announced);
    void installDesktopHotKeys();
    // A desktop switch of the held window's display takes the window to the new desktop.
    void carryHeldWindow(uint32_t displayID, uint64_t toSpace);
    // The end of a display's switch: its active desktop changes and the change is announced.
    void landSwitch(uint32_t displayID, uint64_t spaceID, bool announceUnchanged = false);
    struct DesktopSwitch {
        uint64_t target = 0;
        WorkItemPtr work;
    };
    std::map<uint32_t, DesktopSwitch> switches_;  // by display, the switches under way
    // Where the window server's own delayed work runs: switches, windows that follow a display.
    std::shared_ptr<Queue> serverQueue_;
    const std::shared_ptr<Queue>& serverQueue();
    // The windows a display left, moved onto the primary display once the change is told.
    std::vector<WorkItemPtr> relocations_;
    void relocateWindows(const std::set<uint32_t>& windowIDs, const Rect& from);
    struct WindowGrab {
        uint32_t windowID = 0;
        // The pointer from the window's top-left corner at the press. A window resized while it is
        // carried keeps the pointer over the same fraction of its title bar's width.
        Point offset;
        // An edge grab: the edges held, the frame and the pointer at the press.
        bool left = false, right = false, top = false, bottom = false;
        Rect startFrame;
        Point start;
        bool resizes() const { return left || right || top || bottom; }
    };
    void resizeHeldWindow(SimWindow& w, const WindowGrab& grab, Point pointer);
    std::optional<WindowGrab> grab_;

    mutable std::recursive_mutex world_;
    // The services come after the world they read, so that they go first.
    std::unique_ptr<SimWindowServer> windowServer_;
    std::unique_ptr<SimDisplays> displaysService_;
    std::unique_ptr<SimWorkspace> workspace_;
    std::unique_ptr<SimSystemInfo> system_;
    std::unique_ptr<SimFileSystem> fileSystem_;
    std::unique_ptr<SimLoginItems> loginItems_;
    std::unique_ptr<SimProcesses> processes_;
    std::unique_ptr<SimLaunchServices> launchServices_;
    std::unique_ptr<SimWindowing> windowing_;
    std::unique_ptr<SimAccessibility> accessibility_;
    std::unique_ptr<SimDock> dock_;
    std::unique_ptr<SimEventTaps> eventTaps_;
    std::unique_ptr<SimCarbon> carbon_;
    std::unique_ptr<SimAppKit> appKit_;
    std::unique_ptr<SimScreenCapture> screenCapture_;
    std::unique_ptr<SimUpdater> updater_;
    std::unique_ptr<SimPreferences> preferences_;
    std::map<std::string, SimWallpaper> wallpapers_;  // by display UUID: they follow the monitor
    void giveWallpaper(const SimDisplay& d);
    std::unique_ptr<SimFileEventStreams> fileEventStreams_;
    // Closed by the destructor before any service goes; declared after them, so that it goes first.
    std::unique_ptr<AppWorkers> appWorkers_;
    std::unique_ptr<Platform> platform_;
    std::unique_ptr<SimApplications> applications_;
};

// A ready-made desktop: two displays side by side, three desktops on the main one (one of them
// full screen), one on the second, and a handful of applications with windows across them.
void buildDemoDesktop(SimDesktop& sim);

}  // namespace qv
