#pragma once

#include "platform/Processes.h"

namespace qv {

// Runs programs of this machine: posix_spawn, both pipes drained with poll while the child runs,
// and the child's process group killed and the child reaped when the time-out passes.
class PosixProcesses : public Processes {
  public:
    ProcessResult run(const std::string& executablePath, const std::vector<std::string>& arguments,
                      Seconds timeout) override;
};

}  // namespace qv
