#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dispatch/Runtime.h"

namespace qv {

enum class TerminationReason { exit, uncaughtSignal };

// The most a run keeps of each of the child's streams. A child that writes more is not to be
// trusted with our memory: it is killed, and its result says so.
inline constexpr size_t kProcessOutputLimit = 8 * 1024 * 1024;

// What one run of a child process gave.
struct ProcessResult {
    bool launched = false;
    int launchError = 0;    // errno of a launch that failed
    bool timedOut = false;  // it outlasted its time-out and was killed
    // It wrote more than kProcessOutputLimit bytes to one stream and was killed; what was kept is
    // cut at the limit.
    bool outputLimitExceeded = false;
    TerminationReason terminationReason = TerminationReason::exit;
    int32_t exitStatus = 0;      // the exit code, or the signal that ended it
    std::string standardOutput;  // raw bytes, in any encoding
    std::string standardError;
};

// Runs other programs (Process, formerly NSTask).
class Processes {
  public:
    virtual ~Processes() = default;
    // Runs the executable at `executablePath` (no search path) with `arguments`. Standard output and
    // standard error each go to a pipe that is read while the child runs; standard input, the
    // environment and the working directory are this process's own. A child still running when
    // `timeout` has passed is killed with everything it started, and reaped; its result is marked
    // timed out and keeps the output read until then. So is a child that writes more than
    // kProcessOutputLimit bytes to one stream, marked as having exceeded it. Blocks the caller
    // until the run is over.
    virtual ProcessResult run(const std::string& executablePath, const std::vector<std::string>& arguments,
                              Seconds timeout) = 0;
};

}  // namespace qv
