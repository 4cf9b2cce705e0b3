#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace qv {

struct StepRow;

struct ScenarioRunOptions {
    std::string fileName;          // shown in messages as FILE:LINE
    std::filesystem::path outDir;  // where screenshots go
    std::ostream* out = nullptr;   // what was played
    std::ostream* err = nullptr;   // why it stopped
};

// Plays a script on a fresh world under the virtual clock: 0 when every expectation held, 1 at the
// first that failed, at a step naming something absent or at one after which the program never
// settles, 2 for a script that cannot be run as written or screenshots that cannot be written, 3
// when the program or the player itself failed (an internal error).
int runScenario(const std::string& script, const ScenarioRunOptions& options);
// The same with steps of the caller's own.
int runScenario(const std::string& script, const ScenarioRunOptions& options,
                const std::vector<StepRow>& table);

// The built-in demonstration played by the program without arguments.
const std::string& demoScenario();

}  // namespace qv
