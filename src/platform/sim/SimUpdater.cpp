#include "platform/sim/SimUpdater.h"

#include "platform/sim/SimDesktop.h"

namespace qv {

bool SimUpdater::startUpdater(std::string& error) {
    sim_.record("SPUUpdater.startUpdater");
    if (!startError.empty()) {
        error = startError;
        return false;
    }
    if (!started_) {
        started_ = true;
        canCheck_ = true;
    }
    return true;
}

void SimUpdater::checkForUpdates() {
    sim_.record("SPUStandardUpdaterController.checkForUpdates");
    ++checks_;
}

}  // namespace qv
