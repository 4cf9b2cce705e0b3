#include "model/WindowRequests.h"

namespace qv {

namespace {

constexpr uint32_t kActivationOptions = activation::kActivateIgnoringOtherApps;

bool succeeded(AXError error) {
    return error == kAXErrorSuccess;
}

}  // namespace

void applyAXFocusAndRaise(Accessibility& ax, const AXElement& window, bool isMinimized,
                          const CancellationTokenPtr& replaced) {
    if (isMinimized && !isCancelled(replaced))
        (void)ax.setAttributeValue(window, "AXMinimized", Value::boolean(false));
    if (isCancelled(replaced)) return;
    (void)ax.setAttributeValue(window, "AXMain", Value::boolean(true));
    if (isCancelled(replaced)) return;
    (void)ax.setAttributeValue(window, "AXFocused", Value::boolean(true));
    if (isCancelled(replaced)) return;
    (void)ax.performAction(window, "AXRaise");
}

bool focusAndRaiseAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                           const AXElement& appElement, uint32_t windowID, bool isMinimized,
                           const CancellationTokenPtr& replaced) {
    if (isCancelled(replaced)) return false;
    const auto element = findAXWindow(ax, axGetWindow, appElement, windowID);
    if (element) applyAXFocusAndRaise(ax, *element, isMinimized, replaced);
    return element.has_value();
}

ActivationAnswer requestActivation(const ActivationRequest& request, Accessibility& ax,
                                   const AXGetWindowFunction& axGetWindow, Workspace& workspace) {
    const AXElement appElement = ax.createApplication(request.pid);
    const CancellationTokenPtr& replaced = request.replaced;
    if (request.focusBeforeActivation && !isCancelled(replaced)) {
        if (auto element = findAXWindow(ax, axGetWindow, appElement, request.windowID);
            element && !isCancelled(replaced)) {
            (void)ax.setAttributeValue(appElement, "AXFocusedWindow", Value::element(*element));
            if (!isCancelled(replaced))
                (void)ax.setAttributeValue(appElement, "AXMainWindow", Value::element(*element));
            applyAXFocusAndRaise(ax, *element, request.isMinimized, replaced);
        }
    }
    if (request.running && !isCancelled(replaced)) {
        // Cooperative: we handed activation on; refused, the application is asked directly.
        if (!workspace.activateApplicationFrom(request.pid, request.ourPID, kActivationOptions)) {
            if (!request.wasActive) return ActivationAnswer{true, false};
            if (!isCancelled(replaced)) (void)workspace.activateApplication(request.pid, kActivationOptions);
        }
    }
    return ActivationAnswer{false, focusAndRaiseAXWindow(ax, axGetWindow, appElement, request.windowID,
                                                         request.isMinimized, replaced)};
}

ActivationAnswer finishActivation(const ActivationRequest& request, Accessibility& ax,
                                  const AXGetWindowFunction& axGetWindow, Workspace& workspace) {
    if (isCancelled(request.replaced)) return {};
    (void)workspace.activateApplication(request.pid, kActivationOptions);
    return ActivationAnswer{
        false, focusAndRaiseAXWindow(ax, axGetWindow, ax.createApplication(request.pid), request.windowID,
                                     request.isMinimized, request.replaced)};
}

AXOnlyFocusAnswer focusWindowWithAXOnly(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                        int32_t pid, uint32_t windowID, bool isMinimized,
                                        const CancellationTokenPtr& replaced) {
    if (isCancelled(replaced)) return {};
    const AXElement appElement = ax.createApplication(pid);
    const auto element = findAXWindow(ax, axGetWindow, appElement, windowID);
    if (!element) return {};
    // Each request that counts is made only while the focus is still wanted; one left out fails.
    bool ok = true;
    auto request = [&](auto&& make) { ok &= !isCancelled(replaced) && succeeded(make()); };
    if (!isCancelled(replaced)) (void)ax.setAttributeValue(appElement, "AXFrontmost", Value::boolean(true));
    request([&] { return ax.setAttributeValue(appElement, "AXFocusedWindow", Value::element(*element)); });
    request([&] { return ax.setAttributeValue(appElement, "AXMainWindow", Value::element(*element)); });
    if (isMinimized)
        request([&] { return ax.setAttributeValue(*element, "AXMinimized", Value::boolean(false)); });
    request([&] { return ax.setAttributeValue(*element, "AXMain", Value::boolean(true)); });
    request([&] { return ax.setAttributeValue(*element, "AXFocused", Value::boolean(true)); });
    request([&] { return ax.performAction(*element, "AXRaise"); });
    return AXOnlyFocusAnswer{true, ok};
}

namespace {

// The window's element: the one known, while the application still knows it, else found in its list.
// A known element needs no answer first, so a request reaches an application that does not answer.
std::optional<AXElement> windowElement(Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid,
                                       uint32_t windowID, const std::optional<AXElement>& known) {
    if (known) {
        // The reference may carry the short time-out of the store's reads; a user's request waits the
        // application's usual time.
        (void)ax.setMessagingTimeout(*known, 0);
        return known;
    }
    return findAXWindow(ax, axGetWindow, ax.createApplication(pid), windowID);
}

}  // namespace

bool minimizeAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid,
                      uint32_t windowID, const std::optional<AXElement>& known) {
    auto element = windowElement(ax, axGetWindow, pid, windowID, known);
    if (!element) return false;
    AXError err = ax.setAttributeValue(*element, "AXMinimized", Value::boolean(true));
    if (known && err == kAXErrorInvalidUIElement) return minimizeAXWindow(ax, axGetWindow, pid, windowID, std::nullopt);
    return succeeded(err);
}

void closeAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid,
                   uint32_t windowID) {
    const auto element = findAXWindow(ax, axGetWindow, ax.createApplication(pid), windowID);
    if (!element) return;
    Value button;
    if (ax.copyAttributeValue(*element, "AXCloseButton", button) != kAXErrorSuccess) return;
    if (auto closeButton = button.asElement()) (void)ax.performAction(*closeButton, "AXPress");
}

}  // namespace qv
