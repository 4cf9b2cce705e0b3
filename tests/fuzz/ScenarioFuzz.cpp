// Scenario scripts as a user may write them: the parser accepts a script or rejects it with a
// script error, and a script that parses plays on a fresh desktop to exit code 0, 1 or 2. The run
// is bounded: two dozen steps and half a minute of virtual time at most, which under the fuzz
// build's sanitizers plays in a few seconds at worst (scripts/fuzz.sh allows this target 5 s).
#include <filesystem>
#include <sstream>

#include "FuzzInput.h"
#include "FuzzTarget.h"
#include "scenario/Runner.h"
#include "scenario/Scenario.h"

namespace {

using namespace qv;

constexpr size_t kStepBudget = 24;
constexpr double kClockBudget = 30;

bool withinBudget(const Scenario& scenario) {
    if (scenario.steps.size() > kStepBudget) return false;
    double clock = 0;
    for (const StepCall& step : scenario.steps)
        if (step.row->name == "advance") clock += step.number(0);
    return clock <= kClockBudget;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
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
    const int code = runScenario(
        script, {.fileName = "fuzz.scenario", .outDir = fuzz::processFolder(), .out = &played, .err = &why});
    FUZZ_CHECK(code == 0 || code == 1 || code == 2);
    FUZZ_CHECK((code == 0) == why.str().empty());
    return 0;
}
