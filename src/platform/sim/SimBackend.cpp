#include "platform/Backend.h"
#include "platform/sim/SimDesktop.h"

namespace qv {

namespace {

class SimBackend : public Backend {
public:
    explicit SimBackend(Runtime& runtime) : sim_(runtime) { buildDemoDesktop(sim_); }
    Platform& platform() override { return sim_.platform(); }
    std::string screenshotSvg() override { return sim_.renderSvg(); }

private:
    SimDesktop sim_;
};

}  // namespace

std::unique_ptr<Backend> makeBackend(Runtime& runtime) { return std::make_unique<SimBackend>(runtime); }

}  // namespace qv
