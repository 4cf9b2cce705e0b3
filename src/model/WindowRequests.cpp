#include "model/WindowRequests.h"

#include "platform/Windowing.h"

namespace qv {

namespace {

constexpr uint32_t kActivationOptions = activation::kActivateIgnoringOtherApps;

bool succeeded(AXError error) {
    return error == kAXErrorSuccess;
}

}  // namespace

void applyAXFocusAndRaise(Accessibility& ax, const AXElement& window, bool isMinimized) {
    if (isMinimized) (void)ax.setAttributeValue(window, "AXMinimized", Value::boolean(false));
    (void)ax.setAttributeValue(window, "AXMain", Value::boolean(true));
    (void)ax.setAttributeValue(window, "AXFocused", Value::boolean(true));
    (void)ax.performAction(window, "AXRaise");
}

bool focusAndRaiseAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                           const AXElement& appElement, uint32_t windowID, bool isMinimized) {
    const auto element = findAXWindow(ax, axGetWindow, appElement, windowID);
    if (element) applyAXFocusAndRaise(ax, *element, isMinimized);
    return element.has_value();
}

ActivationAnswer requestActivation(const ActivationRequest& request, Accessibility& ax,
                                   const AXGetWindowFunction& axGetWindow, Workspace& workspace,
                                   Windowing& ourApp) {
    const AXElement appElement = ax.createApplication(request.pid);
    if (request.focusBeforeActivation) {
        if (auto element = findAXWindow(ax, axGetWindow, appElement, request.windowID)) {
            (void)ax.setAttributeValue(appElement, "AXFocusedWindow", Value::element(*element));
            (void)ax.setAttributeValue(appElement, "AXMainWindow", Value::element(*element));
            applyAXFocusAndRaise(ax, *element, request.isMinimized);
        }
    }
    if (request.running) {
        // Cooperative: we hand activation on; refused, the application is asked directly.
        ourApp.yieldActivation(request.pid);
        if (!workspace.activateApplicationFrom(request.pid, request.ourPID, kActivationOptions)) {
            if (!request.wasActive) return ActivationAnswer{true, false};
            (void)workspace.activateApplication(request.pid, kActivationOptions);
        }
    }
    return ActivationAnswer{
        false, focusAndRaiseAXWindow(ax, axGetWindow, appElement, request.windowID, request.isMinimized)};
}

ActivationAnswer finishActivation(const ActivationRequest& request, Accessibility& ax,
                                  const AXGetWindowFunction& axGetWindow, Workspace& workspace) {
    (void)workspace.activateApplication(request.pid, kActivationOptions);
    return ActivationAnswer{false, focusAndRaiseAXWindow(ax, axGetWindow, ax.createApplication(request.pid),
                                                         request.windowID, request.isMinimized)};
}

AXOnlyFocusAnswer focusWindowWithAXOnly(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                        int32_t pid, uint32_t windowID, bool isMinimized) {
    const AXElement appElement = ax.createApplication(pid);
    const auto element = findAXWindow(ax, axGetWindow, appElement, windowID);
    if (!element) return {};
    (void)ax.setAttributeValue(appElement, "AXFrontmost", Value::boolean(true));
    bool ok = succeeded(ax.setAttributeValue(appElement, "AXFocusedWindow", Value::element(*element)));
    ok &= succeeded(ax.setAttributeValue(appElement, "AXMainWindow", Value::element(*element)));
    if (isMinimized) ok &= succeeded(ax.setAttributeValue(*element, "AXMinimized", Value::boolean(false)));
    ok &= succeeded(ax.setAttributeValue(*element, "AXMain", Value::boolean(true)));
    ok &= succeeded(ax.setAttributeValue(*element, "AXFocused", Value::boolean(true)));
    ok &= succeeded(ax.performAction(*element, "AXRaise"));
    return AXOnlyFocusAnswer{true, ok};
}

void minimizeAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid,
                      uint32_t windowID) {
    if (auto element = findAXWindow(ax, axGetWindow, ax.createApplication(pid), windowID))
        (void)ax.setAttributeValue(*element, "AXMinimized", Value::boolean(true));
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
