#pragma once

#include <cstdint>

#include "dispatch/CancellationToken.h"
#include "platform/Accessibility.h"
#include "platform/Workspace.h"
#include "tracking/AXWindowID.h"

namespace qv {

// What the bar's actions ask of another application's windows. Each function makes exactly the
// requests of one step, in order, and waits for their answers: it runs on the application's worker,
// never on the main thread, and touches nothing but the services it is given. What depends on the
// answers is applied on the main thread. An activation the user replaced by a later one makes no
// further request: `replaced` is looked at before each (a request already made runs to its end).

// What one activation asks, as values a worker can carry.
struct ActivationRequest {
    int32_t pid = 0;
    uint32_t windowID = 0;
    bool isMinimized = false;
    bool focusBeforeActivation = false;
    bool running = false;    // the process still runs: it is asked to come forward
    bool wasActive = false;  // our application was the active one when the user acted
    int32_t ourPID = 0;
    CancellationTokenPtr replaced;  // raised once a later activation takes over
};

// What the worker made of it.
struct ActivationAnswer {
    // The cooperative request was refused while our application was not active: ours must come
    // forward first (on the main thread) before the application is asked directly.
    bool needsOurActivation = false;
    // The window element was found, and made main, focused and raised.
    bool found = false;
};

// The window's element gets un-minimised when asked, made main and focused, and raised; the
// answers are not looked at.
void applyAXFocusAndRaise(Accessibility& ax, const AXElement& window, bool isMinimized,
                          const CancellationTokenPtr& replaced);
// Finds the window and, when found, applies the focus and raise to it.
bool focusAndRaiseAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                           const AXElement& appElement, uint32_t windowID, bool isMinimized,
                           const CancellationTokenPtr& replaced);

// The early focus when asked, the cooperative activation, then the window's focus and raise. Our
// application has yielded activation to the process already, on the main thread, where AppKit is
// called. Stops after the refused cooperative request when our application must come forward first.
ActivationAnswer requestActivation(const ActivationRequest& request, Accessibility& ax,
                                   const AXGetWindowFunction& axGetWindow, Workspace& workspace);
// The rest, once our application came forward: the direct request, then the window.
ActivationAnswer finishActivation(const ActivationRequest& request, Accessibility& ax,
                                  const AXGetWindowFunction& axGetWindow, Workspace& workspace);

// Focus by Accessibility alone, without activating the application.
struct AXOnlyFocusAnswer {
    bool found = false;
    // Every request that counts succeeded (the frontmost request does not count).
    bool succeeded = false;
};
AXOnlyFocusAnswer focusWindowWithAXOnly(Accessibility& ax, const AXGetWindowFunction& axGetWindow,
                                        int32_t pid, uint32_t windowID, bool isMinimized,
                                        const CancellationTokenPtr& replaced);

// Whether the window was found and took the request. `known`: the window's element when the store
// knows it; the request then goes to it without asking for the window list first.
bool minimizeAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid,
                      uint32_t windowID, const std::optional<AXElement>& known = std::nullopt);
// Presses the window's close button when it has one.
void closeAXWindow(Accessibility& ax, const AXGetWindowFunction& axGetWindow, int32_t pid, uint32_t windowID);

}  // namespace qv
