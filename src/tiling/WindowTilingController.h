#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "model/ShortcutRecording.h"
#include "model/UserSettings.h"
#include "platform/Platform.h"
#include "tiling/AdjacentResizePlan.h"
#include "tiling/SnapLayout.h"
#include "tiling/SnapLayoutPanel.h"
#include "tiling/SnapRecords.h"
#include "tiling/WindowTilingAX.h"
#include "tiling/WindowTilingKeyTap.h"
#include "tiling/WindowTilingMouseTap.h"

namespace qv {

// The owner of window tiling: the mouse tap and its drag sessions (moves that snap into a zone of
// the layout flyout or to a screen edge, edge resizes that neighbours follow), the snap key tap and
// its keyboard snaps, the Accessibility worker, the two feedback panels and the records that give
// a snapped window its size back. Everything here is in the window server's top-left space; only
// the frames handed to the panels are flipped. Main thread only.
class WindowTilingController : public std::enable_shared_from_this<WindowTilingController> {
    struct Token {};

  public:
    using WindowSnapshot = WindowTilingMouseTap::WindowSnapshot;
    using ZoneID = SnapFlyoutMetrics::ZoneID;
    using Edge = AdjacentResizePlan::Edge;
    using BarHeight = std::function<double(uint32_t displayID)>;

    enum class EdgeSnapKind { fill, leftHalf, rightHalf };

    struct FlyoutState {
        uint32_t displayID = 0;
        Rect screenFrame;
        Rect visibleFrame;
        Rect usableFrame;
        SnapFlyoutMetrics metrics;
        double margin = 0;  // captured when the flyout appeared
        Rect frame;
        std::optional<ZoneID> hoveredZone;
    };
    struct EdgeSnap {
        uint32_t displayID = 0;
        EdgeSnapKind kind = EdgeSnapKind::fill;
        Rect frame;
    };
    struct MoveState {
        std::optional<bool> canTile;  // the worker's verdict, none until it answers
        Size naturalSize;
        std::optional<FlyoutState> flyout;
        std::optional<EdgeSnap> edgeSnap;
        bool dismissedByEscape = false;
    };
    struct Pending {};
    struct Ignored {};
    using Phase = std::variant<Pending, MoveState, AdjacentResizePlan, Ignored>;

    struct Session {
        WindowSnapshot target;
        std::vector<WindowSnapshot> grabbed;  // under the press, front to back
        Point pressPoint;
        std::vector<WindowSnapshot> windows;  // every on-screen window at the press, front to back
        Phase phase = Pending{};
    };

    // What the first frame change of a grabbed window makes of a drag, before the settings and the
    // display have their say.
    struct DragClass {
        enum class Kind { pending, ignored, move, resize } kind = Kind::pending;
        Size naturalSize;  // of a move
    };

    // --- Constants of the drag sessions ---
    static constexpr int kFirstSupportedMajorVersion = 27;
    static constexpr double kGrabMargin = 6;
    static constexpr double kAbandonDistance = 400;
    static constexpr double kEdgeGrabTolerance = 12;
    static constexpr double kNaturalSizeTolerance = 2;
    static constexpr double kGrabOffsetBelowBottom = 8;
    static constexpr double kMenuBarBand = 6;
    static constexpr double kFlyoutReachExtra = 16;
    static constexpr double kFlyoutKeepAlive = 28;
    static constexpr double kFlyoutBelowMenuBar = 6;
    static constexpr double kTileMargin = 8;
    static constexpr uint16_t kEscapeKeyCode = 53;
    static constexpr Seconds kEscapePollInterval = 0.03;
    static constexpr Seconds kTapRetryInterval = 5.0;
    static constexpr Seconds kSnapRecheckDelays[2] = {0.3, 0.7};
    static constexpr Seconds kFollowerResendDelays[2] = {0.06, 0.25};
    static constexpr const char* kShortcutRecordingNotification = qv::kShortcutRecordingNotification;
    static constexpr const char* kWindowManagerDomain = "com.apple.WindowManager";
    static constexpr const char* kTiledMarginsKey = "EnableTiledWindowMargins";

    static std::shared_ptr<WindowTilingController> create(Platform& platform,
                                                          std::shared_ptr<UserSettings> settings,
                                                          BarHeight barHeight);
    WindowTilingController(Token, Platform& platform, std::shared_ptr<UserSettings> settings,
                           BarHeight barHeight);
    ~WindowTilingController();
    WindowTilingController(const WindowTilingController&) = delete;
    WindowTilingController& operator=(const WindowTilingController&) = delete;

    // Whether tiling exists on this system at all (major version 27 and later); the settings window
    // shows its tiling section only then.
    static bool isSupported(SystemInfo& system);
    // The per-display switch: listed displays are off only with the bar on all displays and separate
    // Spaces; a display without a UUID is always allowed.
    static bool isTilingAllowed(uint32_t displayID, const UserSettingsData& settings, Displays& displays);

    // Set by the owner: carries a window to desktop 1 to 9.
    std::function<void(uint32_t windowID, int desktopNumber)> onMoveToDesktop;

    // Starts or stops both taps from the current settings; retried every 5 s while a wanted tap
    // cannot be started, until the next decision.
    void applyEnabledState();
    void handleKeyAction(WindowTilingKeyTap::Action action);

    // --- Rules, reachable by tests ---
    // The windows under a press: the one under the point and, in front of it, those whose 6 pt
    // margin the point touches.
    static std::vector<WindowSnapshot> windowsGrabbed(Point point, const std::vector<WindowSnapshot>& windows,
                                                      std::optional<uint32_t> hitWindowID);
    static DragClass classifyDrag(const Rect& oldFrame, const Rect& newFrame, Point press);
    static std::vector<Edge> movedEdges(const Rect& from, const Rect& to);
    static AdjacentResizePlan makeResizePlan(const Session& session, const Rect& displayBounds);
    // The frame that gives a snapped window its natural size under the pointer, keeping the
    // horizontal grab ratio and the grab height.
    static Rect naturalSizeFrame(const Rect& snapshot, Point press, Point pointer, Size natural);
    // The usable frame of a display: its visible frame, cut above its bar when it has one.
    static Rect usableFrame(const Rect& screenFrame, const Rect& visibleFrame, double barHeight);

    // --- State, for tests and the scenario steps ---
    const std::optional<Session>& session() const { return session_; }
    const SnapRecords& snapRecords() const { return snapRecords_; }
    const std::shared_ptr<SnapLayoutPanel>& flyoutPanel();
    const std::shared_ptr<SnapPreviewPanel>& previewPanel();
    bool isMouseTapRunning() const { return tap_->isRunning(); }
    bool isKeyTapRunning() const { return keyTap_->isRunning(); }
    bool hasTapRetry() const { return tapRetryWork_ != nullptr; }
    const WindowTilingKeyTap& keyTap() const { return *keyTap_; }

  private:
    void wire();
    const UserSettingsData& settings() const { return *settings_->data; }
    bool isAnyFeatureEnabled() const;
    bool isKeyboardSnapEnabled() const;
    bool tiledWindowMarginsEnabled() const;
    double tileMargin() const { return tiledWindowMarginsEnabled() ? kTileMargin : 0; }
    bool tilingAllowed(uint32_t displayID) const;

    // --- Displays ---
    struct DisplayGeometry {
        Rect screen;   // top-left space
        Rect visible;  // top-left space, without the menu bar
        Rect usable;
    };
    double primaryScreenHeight() const;
    std::optional<Screen> screen(uint32_t displayID) const;
    std::optional<DisplayGeometry> geometry(uint32_t displayID) const;
    std::optional<uint32_t> displayID(const Rect& mostlyContaining) const;
    std::optional<uint32_t> displayAt(Point point) const;
    std::optional<Rect> currentFrame(uint32_t windowID) const;
    Rect toScreenCoordinates(const Rect& topLeft) const;

    // --- Drag sessions (WindowTilingDrag.cpp) ---
    void beginSession(Point point, const std::vector<WindowSnapshot>& windows, std::optional<uint32_t> hit);
    void update(Point pointer);
    void finishSession(Point pointer);
    Phase classify(const Session& session, const Rect& frame);
    void startMove(Point pointer, const Rect& frame);
    void updateMove(Point pointer);
    void clearMove(MoveState& move);
    std::optional<EdgeSnapKind> edgeSnapKind(Point p, bool inMenuBar, const Rect& screenFrame) const;
    void showHover(const FlyoutState& flyout, uint32_t below);
    void startEscapeWatch();
    void handleEscapeWhileFlyoutShown();
    void updateResize(const Rect& frame);
    void submitFollowerFrames(const std::unordered_map<uint32_t, Rect>& frames,
                              const AdjacentResizePlan& plan);
    void resendFollowers(Seconds delay, AdjacentResizePlan plan);
    void snap(const WindowSnapshot& window, const Rect& frame, Size naturalSize);
    void applySnap(const Rect& frame, WindowTilingAX::WindowKey key, Size naturalSize);
    std::function<void(std::optional<Rect>)> recordingCompletion(uint32_t windowID, Rect requested,
                                                                 Size naturalSize);
    void hideFlyout();
    void dropSession();

    // --- Keyboard (WindowTilingKeyboard.cpp) ---
    void snapFocusedWindow(const WindowTilingAX::FocusedWindow& window, WindowTilingKeyTap::Action action);

    Platform& platform_;
    std::shared_ptr<UserSettings> settings_;
    std::shared_ptr<WindowTilingMouseTap> tap_;
    std::shared_ptr<WindowTilingKeyTap> keyTap_;
    std::shared_ptr<WindowTilingAX> ax_;
    std::shared_ptr<SnapLayoutPanel> flyoutPanel_;
    std::shared_ptr<SnapPreviewPanel> previewPanel_;
    std::optional<Session> session_;
    SnapRecords snapRecords_;
    Subscription settingsCancellable_;
    Subscription recordingObserver_;
    WorkItemPtr tapRetryWork_;
    std::shared_ptr<RepeatingTimer> escapeWatch_;
    BarHeight barHeight_;
};

}  // namespace qv
