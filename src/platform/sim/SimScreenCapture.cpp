#include "platform/sim/SimScreenCapture.h"

#include "platform/sim/SimDesktop.h"

namespace qv {

bool SimScreenCapture::preflightScreenCaptureAccess() {
    return sim_.screenRecordingGranted();
}

bool SimScreenCapture::requestScreenCaptureAccess() {
    sim_.record("CGRequestScreenCaptureAccess");
    if (sim_.screenRecordingGranted()) return true;
    ++prompts_;
    return false;
}

}  // namespace qv
