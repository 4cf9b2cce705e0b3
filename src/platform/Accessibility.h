#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "dispatch/Runtime.h"
#include "platform/AXElement.h"
#include "platform/Value.h"

namespace qv {

// An Accessibility result code (AXError), with the platform's values.
using AXError = int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorIllegalArgument = -25201;
inline constexpr AXError kAXErrorInvalidUIElement = -25202;
inline constexpr AXError kAXErrorInvalidUIElementObserver = -25203;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorActionUnsupported = -25206;
inline constexpr AXError kAXErrorNotificationUnsupported = -25207;
inline constexpr AXError kAXErrorNotImplemented = -25208;
inline constexpr AXError kAXErrorNotificationAlreadyRegistered = -25209;
inline constexpr AXError kAXErrorNotificationNotRegistered = -25210;
inline constexpr AXError kAXErrorAPIDisabled = -25211;
inline constexpr AXError kAXErrorNoValue = -25212;

// An Accessibility observer of one process (AXObserverRef). It delivers the notifications
// registered on it through its run-loop source, on the run loops that hold that source.
class AXObserver {
  public:
    virtual ~AXObserver() = default;
};
using AXObserverRef = std::shared_ptr<AXObserver>;

// AXObserverCallback: the observer, the element the notification is about, the notification's
// name and the context given when the notification was registered.
using AXObserverCallback = void (*)(AXObserver& observer, const AXElement& element,
                                    const std::string& notification, void* refcon);

// The Accessibility API (ApplicationServices). Methods mirror the platform calls one to one; an
// out parameter is written only when the call succeeds.
class Accessibility {
  public:
    virtual ~Accessibility() = default;

    // AXIsProcessTrusted
    virtual bool isProcessTrusted() = 0;
    // AXIsProcessTrustedWithOptions with kAXTrustedCheckOptionPrompt: with `prompt` an untrusted
    // process asks the user to grant trust in System Settings; the answer is the current trust.
    virtual bool isProcessTrustedWithOptions(bool prompt) = 0;

    // AXUIElementCreateApplication
    virtual AXElement createApplication(int32_t pid) = 0;
    // AXUIElementCopyAttributeValue
    virtual AXError copyAttributeValue(const AXElement& element, const std::string& attribute,
                                       Value& value) = 0;
    // AXUIElementSetAttributeValue
    virtual AXError setAttributeValue(const AXElement& element, const std::string& attribute,
                                      const Value& value) = 0;
    // AXUIElementIsAttributeSettable
    virtual AXError isAttributeSettable(const AXElement& element, const std::string& attribute,
                                        bool& settable) = 0;
    // AXUIElementPerformAction
    virtual AXError performAction(const AXElement& element, const std::string& action) = 0;
    // AXUIElementSetMessagingTimeout; 0 restores the default timeout.
    virtual AXError setMessagingTimeout(const AXElement& element, float seconds) = 0;
    // AXUIElementGetPid
    virtual AXError getPid(const AXElement& element, int32_t& pid) = 0;

    // AXObserverCreate
    virtual AXError observerCreate(int32_t pid, AXObserverCallback callback, AXObserverRef& observer) = 0;
    // AXObserverAddNotification / AXObserverRemoveNotification
    virtual AXError observerAddNotification(AXObserver& observer, const AXElement& element,
                                            const std::string& notification, void* refcon) = 0;
    virtual AXError observerRemoveNotification(AXObserver& observer, const AXElement& element,
                                               const std::string& notification) = 0;
    // AXObserverGetRunLoopSource, then CFRunLoopAddSource / CFRunLoopRemoveSource in the default mode.
    virtual void addObserverSourceToRunLoop(AXObserver& observer,
                                            const std::shared_ptr<RunLoop>& runLoop) = 0;
    virtual void removeObserverSourceFromRunLoop(AXObserver& observer,
                                                 const std::shared_ptr<RunLoop>& runLoop) = 0;

    // Entry points looked up by name at run time ("_AXUIElementGetWindow"): ask before calling.
    virtual bool hasEntryPoint(std::string_view name) = 0;
    // "_AXUIElementGetWindow": the window-server id of a window element.
    virtual AXError getWindow(const AXElement& element, uint32_t& windowID) = 0;
};

}  // namespace qv
