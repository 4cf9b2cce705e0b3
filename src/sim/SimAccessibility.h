#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Accessibility.h"

namespace qv {

class SimDesktop;
struct SimWindow;
class SimAXObserver;

// Ways in which one simulated application answers Accessibility requests badly.
struct SimAXAppFaults {
    // Seconds the application takes to answer each request. The caller waits that long (on the
    // virtual clock under ManualRuntime), or for the messaging timeout of the element reference it
    // asks through when that is shorter, and then gets kAXErrorCannotComplete.
    double responseDelay = 0;
    // A hung application: every request waits out the messaging timeout of the element reference
    // (6 s unless one was set) and fails with kAXErrorCannotComplete; its notifications are held.
    // The writes and actions it gave up on stay in its queue: SimAccessibility::setUnresponsive
    // carries them out, and posts what it held, when the application answers again.
    bool unresponsive = false;
    // A freshly launched application still getting ready until this time on the clock: meanwhile it
    // lists no windows, announces nothing and cannot take observers' registrations.
    std::optional<double> readyAt;
    bool untrusted = false;                 // every request is refused with kAXErrorAPIDisabled
    bool windowListUnreadable = false;      // "AXWindows" fails with kAXErrorCannotComplete
    bool privateWindowLookupFails = false;  // "_AXUIElementGetWindow" fails for its elements
    bool windowNumberUnsupported = false;   // its windows have no "AXWindowNumber"
    bool pidUnreadable = false;             // AXUIElementGetPid fails for its elements
    std::optional<AXError> observerCreateError;
    // AXObserverAddNotification fails with this code for the names given (empty: every name).
    std::optional<AXError> addNotificationError;
    std::set<std::string> addNotificationErrorNames;
    // Attribute writes and actions the application refuses with kAXErrorCannotComplete, by name.
    std::set<std::string> refusedWrites;
    std::set<std::string> refusedActions;

    // How the application sizes its windows: it keeps each window within these limits (a minimum
    // wider than asked keeps windows wider), and lets a window drift back to the frame it had
    // before our writes this long after the last of them. A write refused above ("AXSize") also
    // reports the attribute as not settable.
    std::optional<Size> minimumWindowSize;
    std::optional<Size> maximumWindowSize;
    std::optional<double> driftBackAfter;
};

// A raw answer to one attribute read.
struct SimAXAnswer {
    AXError error = kAXErrorSuccess;
    Value value;
};

struct SimAXOverrides {
    // When set and it gives an answer, the read answers with it instead of reading the tree.
    std::function<std::optional<SimAXAnswer>(const AXElement& element, const std::string& attribute)>
        copyAttributeValue;
};

// The Accessibility trees of the simulated applications. Each running application has an
// application element (token 0); each of its windows a window element whose token is the window
// id, and a close button. Requests may come from any thread: they read the world under the
// desktop's world lock. Writes change the world through the desktop's own operations, which post
// the notifications the application would.
//
// Every element handed out is a reference of its own with the default messaging timeout; a timeout
// set on it holds for that reference and its copies only.
class SimAccessibility : public Accessibility {
  public:
    static constexpr float kDefaultMessagingTimeout = 6.0f;

    explicit SimAccessibility(SimDesktop& sim);
    ~SimAccessibility() override;

    bool isProcessTrusted() override;
    bool isProcessTrustedWithOptions(bool prompt) override;
    AXElement createApplication(int32_t pid) override;
    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, Value& value) override;
    AXError setAttributeValue(const AXElement& element, const std::string& attribute,
                              const Value& value) override;
    AXError isAttributeSettable(const AXElement& element, const std::string& attribute,
                                bool& settable) override;
    AXError performAction(const AXElement& element, const std::string& action) override;
    AXError setMessagingTimeout(const AXElement& element, float seconds) override;
    AXError getPid(const AXElement& element, int32_t& pid) override;
    AXError observerCreate(int32_t pid, AXObserverCallback callback, AXObserverRef& observer) override;
    AXError observerAddNotification(AXObserver& observer, const AXElement& element,
                                    const std::string& notification, void* refcon) override;
    AXError observerRemoveNotification(AXObserver& observer, const AXElement& element,
                                       const std::string& notification) override;
    void addObserverSourceToRunLoop(AXObserver& observer, const std::shared_ptr<RunLoop>& runLoop) override;
    void removeObserverSourceFromRunLoop(AXObserver& observer,
                                         const std::shared_ptr<RunLoop>& runLoop) override;
    bool hasEntryPoint(std::string_view name) override;
    AXError getWindow(const AXElement& element, uint32_t& windowID) override;

    // --- Switches of the simulation; set them before another thread uses the simulation ---
    void setProcessTrusted(bool trusted);
    // How often asking for trust prompted the user; a prompt grants nothing by itself.
    int trustPromptCount() const { return trustPrompts_; }
    SimAXAppFaults& faults(int32_t pid);
    // Whether the application is hung (unresponsive).
    bool isHung(int32_t pid) const;
    // Hangs the application, or lets it answer again, catching up on its queued messages as a real
    // one does: it posts the notifications it held, in order, then carries out the writes and
    // actions whose callers gave up waiting, in the order they were sent; requests still waiting
    // get their answer at once.
    void setUnresponsive(int32_t pid, bool unresponsive);
    SimAXOverrides overrides;
    // False while the world's changes go unannounced: their notifications are lost.
    bool announcing = true;

    // --- The tree, as tests see it ---
    // The element of a window (none when the window does not exist) and of its close button.
    AXElement windowElement(uint32_t windowID) const;
    AXElement closeButtonElement(uint32_t windowID) const;
    // The notifications registered on an element by live observers, sorted, one per registration.
    std::vector<std::string> registeredNotifications(const AXElement& element) const;
    // Observers of the process that still exist and whose source is on at least one run loop.
    size_t installedObserverCount(int32_t pid) const;
    // The messaging timeout of this reference to the element.
    float messagingTimeout(const AXElement& element) const;

    // Posts a notification as the element's application would: each observer of the process that
    // has it registered on `registeredOn` is called back, about `subject`, on every run loop that
    // holds its source.
    void postNotification(const AXElement& registeredOn, const AXElement& subject,
                          const std::string& notification);
    void postNotification(const AXElement& element, const std::string& notification) {
        postNotification(element, element, notification);
    }

    // --- Window sizing and the enhanced user interface (SimAXWindowSizing.cpp) ---
    // The application's "AXEnhancedUserInterface" (assistive technology asked for a richer
    // interface; its windows then animate every frame change).
    void setEnhancedUserInterface(int32_t pid, bool on);
    bool enhancedUserInterface(int32_t pid) const;

    // --- Hooks of the world's changes, which announce them (SimAXNotifications.cpp); the desktop
    // calls them with the world locked ---
    void windowOpened(const SimWindow& w);
    void windowClosed(uint32_t windowID, int32_t pid);
    void windowFrameChanged(const SimWindow& w, const Rect& previous);
    void windowTitleChanged(const SimWindow& w);
    void windowMinimizedChanged(const SimWindow& w);
    void windowRaised(const SimWindow& w);
    void appActivated(int32_t pid, std::optional<int32_t> previous);
    // `windowIDs`: the windows whose elements announce their end; none when the application crashed.
    void appTerminated(int32_t pid, const std::vector<uint32_t>& windowIDs);

    // The size the application gives a window asked to take `size`.
    Size constrainedSize(int32_t pid, Size size) const;

  private:
    enum class ElementKind { none, application, window, closeButton, zoomButton };
    struct AppState {
        SimAXAppFaults faults;
        bool enhancedUserInterface = false;
        uint32_t focusedWindow = 0;  // last focused window seen, to post focus changes
    };

    ElementKind kindOf(const AXElement& e) const;
    const SimWindow* windowOf(const AXElement& e) const;
    const SimAXAppFaults* faultsOf(int32_t pid) const;
    bool gettingReady(int32_t pid) const;
    // Whether the element's application answers a request at all, and how it refuses.
    AXError gate(const AXElement& e) const;
    // A fresh reference to an element, with the default messaging timeout.
    static AXElement makeElement(int32_t pid, uint64_t token);
    float timeoutOf(const AXElement& e) const;
    // Waits as long as the element's application takes to answer; kAXErrorCannotComplete when the
    // element's messaging timeout ran out first (always, for a hung application). Called without
    // the world lock. `call` and `name` say what was asked, for whoever measures the wait. A hung
    // application still carries out `lateEffect` when it answers again, though its caller gave up.
    AXError awaitAnswer(const AXElement& e, const char* call, const std::string& name,
                        std::function<void()> lateEffect = {});
    // A write or action as the application carries it out, checked against the world as it is then.
    AXError applyWrite(const AXElement& element, const std::string& attribute, const Value& value);
    AXError applyAction(const AXElement& element, const std::string& action);
    AXError readApplication(const AXElement& e, const std::string& attribute, Value& value) const;
    AXError readWindow(const SimWindow& w, const std::string& attribute, Value& value) const;
    // The close button, or the zoom button when `zoom`.
    AXError readTitleBarButton(const SimWindow& w, bool zoom, const std::string& attribute,
                               Value& value) const;
    // Front to back: the windows on the active Space of each display, and the minimised ones.
    std::vector<const SimWindow*> axWindowsOf(int32_t pid) const;
    uint32_t focusedWindowOf(int32_t pid) const;
    void updateFocus(int32_t pid);
    std::vector<std::shared_ptr<SimAXObserver>> liveObservers(int32_t pid) const;
    // After our write moved or resized a window: schedules its drift back when its application
    // lets windows drift.
    void windowWritten(uint32_t windowID, int32_t pid, const Rect& before);

    SimDesktop& sim_;
    bool trusted_ = true;
    int trustPrompts_ = 0;
    std::map<int32_t, AppState> apps_;
    // The requests sent to each hung application, in the order sent: those still waiting are woken
    // when it answers again; those given up on (`answer` empty) leave only their effect.
    struct HungRequest {
        std::shared_ptr<Semaphore> answer;
        std::function<void()> lateEffect;
    };
    std::map<int32_t, std::vector<HungRequest>> waitingOnHung_;
    // What each hung application would have announced, posted when it answers again.
    struct HeldNotification {
        AXElement registeredOn;
        AXElement subject;
        std::string notification;
    };
    std::map<int32_t, std::vector<HeldNotification>> heldNotifications_;
    mutable std::map<int32_t, std::vector<std::weak_ptr<SimAXObserver>>> observers_;
    // Windows drifting back: the frame they return to and the pending return.
    struct Drift {
        Rect frame;
        WorkItemPtr work;
    };
    std::map<uint32_t, Drift> drifts_;
    std::shared_ptr<Queue> driftQueue_;
};

}  // namespace qv
