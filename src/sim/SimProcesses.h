#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Processes.h"

namespace qv {

class SimDesktop;

// How the simulated lsappinfo misbehaves for one of its commands.
enum class SimToolFault {
    none,
    hang,          // never finishes: the run lasts its whole time-out and is killed
    failToLaunch,  // the executable cannot be started
    exitNonZero,   // prints its usual output, then an error ("err=-600") and exits with status 1
    garbage,       // does its work but prints bytes that are not UTF-8 before its usual output
};

// The machine's programs: "/usr/bin/lsappinfo", answering "list", "find" and "setinfo" from the
// simulated applications in the tool's own output format, and "/usr/bin/killall", which ends the
// applications of the names given (the system launches a killed Dock again). Any other path fails
// to launch, like a missing file. Every run is recorded in the call log under its path.
class SimProcesses : public Processes {
  public:
    static constexpr const char* kLSAppInfoPath = "/usr/bin/lsappinfo";
    static constexpr const char* kKillallPath = "/usr/bin/killall";

    explicit SimProcesses(SimDesktop& sim) : sim_(sim) {}

    ProcessResult run(const std::string& executablePath, const std::vector<std::string>& arguments,
                      Seconds timeout) override;

    // Faults by command ("list", "find", "setinfo").
    std::map<std::string, SimToolFault> lsappinfoFaults;
    // Replaces the tool's answer whenever it returns one.
    std::function<std::optional<ProcessResult>(const std::vector<std::string>& arguments)> lsappinfoOverride;

    // How killall misbehaves (a garbled output is no fault of its).
    SimToolFault killallFault = SimToolFault::none;

  private:
    // A tool that cannot start, or hangs until its time-out: true with the result made.
    bool startOrStall(SimToolFault fault, Seconds timeout, ProcessResult& result);
    ProcessResult killall(const std::vector<std::string>& arguments, Seconds timeout);
    ProcessResult lsappinfo(const std::vector<std::string>& arguments, Seconds timeout);
    void list(ProcessResult& result) const;
    void find(const std::vector<std::string>& arguments, ProcessResult& result) const;
    void setinfo(const std::vector<std::string>& arguments, bool apply, ProcessResult& result);

    SimDesktop& sim_;
};

}  // namespace qv
