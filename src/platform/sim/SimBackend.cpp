#include "platform/Backend.h"
#include "platform/sim/SimDesktop.h"

namespace qv {

namespace {

class SimBackend : public Backend {
  public:
    explicit SimBackend(Runtime& runtime) : sim_(runtime) { buildDemoDesktop(sim_); }
    Platform& platform() override { return sim_.platform(); }
    std::string screenshotSvg() override { return sim_.renderSvg(); }
    uint32_t openApplicationWindow(int32_t pid, const std::string& title, Rect frame) override {
        const SimApp* app = sim_.app(pid);
        if (!app || app->terminated) return 0;
        SimWindowSpec spec;
        spec.pid = pid;
        spec.title = title;
        spec.frame = frame;
        return sim_.openWindow(spec);
    }
    bool closeApplicationWindow(uint32_t windowID) override {
        if (!sim_.window(windowID)) return false;
        sim_.closeWindow(windowID);
        return true;
    }

  private:
    SimDesktop sim_;
};

}  // namespace

std::unique_ptr<Backend> makeBackend(Runtime& runtime) {
    return std::make_unique<SimBackend>(runtime);
}

}  // namespace qv
