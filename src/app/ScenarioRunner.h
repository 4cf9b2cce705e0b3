#pragma once

#include <filesystem>
#include <ostream>
#include <string>

namespace qv {

struct ScenarioRunOptions {
    std::string fileName;          // shown in messages as FILE:LINE
    std::filesystem::path outDir;  // where screenshots go
    std::ostream* out = nullptr;   // what was played
    std::ostream* err = nullptr;   // why it stopped
};

// Plays a script on a fresh world under the virtual clock: 0 when every expectation held, 1 at the
// first that failed or at a step naming something absent, 2 for a script that cannot be run as
// written or screenshots that cannot be written.
int runScenario(const std::string& script, const ScenarioRunOptions& options);

// The built-in demonstration played by the program without arguments.
const std::string& demoScenario();

}  // namespace qv
