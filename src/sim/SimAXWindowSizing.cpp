#include <algorithm>
#include <mutex>

#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"

namespace qv {

namespace {

const std::set<std::string> kSettableWindowAttributes = {"AXPosition", "AXSize", "AXMinimized", "AXMain",
                                                         "AXFocused"};
const std::set<std::string> kSettableApplicationAttributes = {"AXFrontmost", "AXFocusedWindow",
                                                              "AXMainWindow", "AXEnhancedUserInterface"};

}  // namespace

AXError SimAccessibility::isAttributeSettable(const AXElement& element, const std::string& attribute,
                                              bool& settable) {
    std::lock_guard lock(sim_.worldMutex());
    if (sim_.recordCalls) {
        sim_.record("AXUIElementIsAttributeSettable",
                    Value::array({Value::element(element), Value::string(attribute)}));
    }
    if (AXError err = gate(element)) return err;
    Value read;
    AXError readable = kAXErrorAttributeUnsupported;
    bool writable = false;
    switch (kindOf(element)) {
        case ElementKind::application:
            readable = readApplication(element, attribute, read);
            writable = kSettableApplicationAttributes.contains(attribute);
            break;
        case ElementKind::window:
            readable = readWindow(*windowOf(element), attribute, read);
            writable = kSettableWindowAttributes.contains(attribute);
            break;
        case ElementKind::closeButton:
        case ElementKind::zoomButton:
            readable = readTitleBarButton(*windowOf(element), kindOf(element) == ElementKind::zoomButton,
                                          attribute, read);
            break;
        case ElementKind::none:
            break;
    }
    if (!writable && readable == kAXErrorAttributeUnsupported) return kAXErrorAttributeUnsupported;
    const SimAXAppFaults* f = faultsOf(element.ownerPID());
    settable = writable && !(f && f->refusedWrites.contains(attribute));
    return kAXErrorSuccess;
}

void SimAccessibility::setEnhancedUserInterface(int32_t pid, bool on) {
    std::lock_guard lock(sim_.worldMutex());
    apps_[pid].enhancedUserInterface = on;
}

bool SimAccessibility::enhancedUserInterface(int32_t pid) const {
    std::lock_guard lock(sim_.worldMutex());
    auto it = apps_.find(pid);
    return it != apps_.end() && it->second.enhancedUserInterface;
}

Size SimAccessibility::constrainedSize(int32_t pid, Size size) const {
    const SimAXAppFaults* f = faultsOf(pid);
    if (!f) return size;
    if (f->minimumWindowSize) {
        size.width = std::max(size.width, f->minimumWindowSize->width);
        size.height = std::max(size.height, f->minimumWindowSize->height);
    }
    if (f->maximumWindowSize) {
        size.width = std::min(size.width, f->maximumWindowSize->width);
        size.height = std::min(size.height, f->maximumWindowSize->height);
    }
    return size;
}

void SimAccessibility::windowWritten(uint32_t windowID, int32_t pid, const Rect& before) {
    std::lock_guard lock(sim_.worldMutex());
    const SimAXAppFaults* f = faultsOf(pid);
    if (!f || !f->driftBackAfter) return;
    // A burst of writes drifts back to the frame from before the first of them.
    auto [it, fresh] = drifts_.try_emplace(windowID, Drift{before, nullptr});
    if (it->second.work) it->second.work->cancel();
    if (!driftQueue_) driftQueue_ = sim_.runtime().makeSerialQueue("sim.window-drift");
    it->second.work = driftQueue_->asyncAfter(*f->driftBackAfter, [this, windowID] {
        Rect frame;
        {
            std::lock_guard worldLock(sim_.worldMutex());
            auto d = drifts_.find(windowID);
            if (d == drifts_.end()) return;
            frame = d->second.frame;
            drifts_.erase(d);
        }
        sim_.setWindowFrame(windowID, frame);
    });
}

}  // namespace qv
