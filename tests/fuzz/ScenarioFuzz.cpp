// Scenario scripts as a user may write them: the parser accepts a script or rejects it with a
// script error, and a script that parses plays on a fresh desktop to exit code 0, 1 or 2. The run
// is bounded: a few dozen steps and a minute of virtual time at most.
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "FuzzTarget.h"
#include "app/Scenario.h"
#include "app/ScenarioRunner.h"

namespace {

using namespace qv;

constexpr size_t kStepBudget = 40;
constexpr double kClockBudget = 60;

bool withinBudget(const Scenario& scenario) {
    if (scenario.steps.size() > kStepBudget) return false;
    double clock = 0;
    for (const StepCall& step : scenario.steps)
        if (step.row->name == "advance") clock += step.number(0);
    return clock <= kClockBudget;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Screenshots go to a folder of this process, removed when it ends.
    static const struct Folder {
        std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("quillvorn-fuzz-" + std::to_string(::getpid()));
        ~Folder() {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } out;
    const std::string script(fuzz::bytesOf(data, size));
    Scenario scenario;
    try {
        scenario = parseScenario(script, "fuzz.scenario", scenarioSteps());
    } catch (const ScenarioScriptError& e) {
        FUZZ_CHECK(e.line >= 0);
        return 0;
    }
    if (!withinBudget(scenario)) return 0;
    std::ostringstream played, why;
    const int code =
        runScenario(script, {.fileName = "fuzz.scenario", .outDir = out.path, .out = &played, .err = &why});
    FUZZ_CHECK(code == 0 || code == 1 || code == 2);
    FUZZ_CHECK((code == 0) == why.str().empty());
    return 0;
}
