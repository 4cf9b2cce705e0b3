#include "sim/SimUpdater.h"

#include "sim/SimDesktop.h"

namespace qv {

bool SimUpdater::startUpdater(std::string& error) {
    sim_.record("SPUUpdater.startUpdater");
    if (!startError.empty()) {
        error = startError;
        return false;
    }
    if (!started_) {
        started_ = true;
        canCheck_ = !blocked_;
    }
    return true;
}

void SimUpdater::setCheckingBlocked(bool blocked) {
    blocked_ = blocked;
    if (started_ && *canCheck_ == blocked) canCheck_ = !blocked;
}

void SimUpdater::checkForUpdates() {
    sim_.record("SPUStandardUpdaterController.checkForUpdates");
    ++checks_;
}

}  // namespace qv
