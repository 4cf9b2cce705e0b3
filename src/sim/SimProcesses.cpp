#include "sim/SimProcesses.h"

#include <cerrno>
#include <csignal>
#include <cstdio>

#include "sim/SimDesktop.h"
#include "sim/SimDock.h"
#include "sim/SimLaunchServices.h"

namespace qv {

namespace {

constexpr const char* kAttentionKey = "kLSApplicationDesiresAttentionKey";
constexpr int32_t kProcNotFound = -600;
constexpr int32_t kParamErr = -50;

const char* typeName(ActivationPolicy policy) {
    switch (policy) {
        case ActivationPolicy::regular:
            return "Foreground";
        case ActivationPolicy::accessory:
            return "UIElement";
        case ActivationPolicy::prohibited:
            return "BackgroundOnly";
    }
    return "Foreground";
}

std::string quotedOrNull(const std::optional<std::string>& s) {
    return s ? "\"" + *s + "\"" : "[ NULL ]";
}

void fail(ProcessResult& result, const std::string& message, int32_t err) {
    result.standardError += "lsappinfo: " + message + ", err=" + std::to_string(err) + "\n";
    result.exitStatus = 1;
}

// "kLSApplicationDesiresAttentionKey=true" -> true; absent for another key or value.
std::optional<bool> attentionQuery(const std::string& argument) {
    const std::string prefix = std::string(kAttentionKey) + "=";
    if (argument.rfind(prefix, 0) != 0) return std::nullopt;
    std::string value = argument.substr(prefix.size());
    if (value == "true") return true;
    if (value == "false") return false;
    return std::nullopt;
}

// What the runner keeps of a child's output: a child that writes past the limit of a stream is
// cut off there and killed.
ProcessResult limited(ProcessResult result) {
    for (std::string* stream : {&result.standardOutput, &result.standardError}) {
        if (stream->size() <= kProcessOutputLimit) continue;
        stream->resize(kProcessOutputLimit);
        result.outputLimitExceeded = true;
    }
    if (result.outputLimitExceeded) {
        result.terminationReason = TerminationReason::uncaughtSignal;
        result.exitStatus = SIGKILL;
    }
    return result;
}

}  // namespace

ProcessResult SimProcesses::run(const std::string& executablePath, const std::vector<std::string>& arguments,
                                Seconds timeout) {
    Value::Array args;
    for (const std::string& a : arguments) args.push_back(Value::string(a));
    sim_.record(executablePath, Value::array(std::move(args)));
    if (executablePath == kKillallPath) return killall(arguments, timeout);
    if (executablePath != kLSAppInfoPath) {
        ProcessResult missing;
        missing.launchError = ENOENT;
        return missing;
    }
    return lsappinfo(arguments, timeout);
}

bool SimProcesses::startOrStall(SimToolFault fault, Seconds timeout, ProcessResult& result) {
    if (fault == SimToolFault::failToLaunch) {
        result.launchError = ENOENT;
        return true;
    }
    result.launched = true;
    if (fault != SimToolFault::hang) return false;
    // The caller waits out its time-out: real time on real threads, the virtual clock in tests.
    WaitingFor waiting("a process that does not end");
    sim_.runtime().makeSemaphore(0)->wait(timeout);
    result.timedOut = true;
    result.terminationReason = TerminationReason::uncaughtSignal;
    result.exitStatus = SIGKILL;
    return true;
}

ProcessResult SimProcesses::killall(const std::vector<std::string>& arguments, Seconds timeout) {
    ProcessResult result;
    if (startOrStall(killallFault, timeout, result)) return result;
    bool matched = false;
    if (killallFault != SimToolFault::exitNonZero) {
        for (const std::string& name : arguments) {
            if (name == SimDock::kProcessName) {
                matched = sim_.dock().restart() || matched;
                continue;
            }
            std::vector<int32_t> pids;
            {
                std::lock_guard lock(sim_.worldMutex());
                for (const auto& [pid, app] : sim_.apps()) {
                    if (!app.terminated && app.name == name && pid != sim_.ownPID()) pids.push_back(pid);
                }
            }
            for (int32_t pid : pids) sim_.terminateApp(pid);
            matched = matched || !pids.empty();
        }
    }
    if (!matched) {
        result.standardError = "No matching processes belonging to you were found\n";
        result.exitStatus = 1;
    }
    return result;
}

ProcessResult SimProcesses::lsappinfo(const std::vector<std::string>& arguments, Seconds timeout) {
    if (lsappinfoOverride) {
        if (auto answer = lsappinfoOverride(arguments)) return limited(std::move(*answer));
    }
    const std::string command = arguments.empty() ? std::string() : arguments.front();
    auto it = lsappinfoFaults.find(command);
    const SimToolFault fault = it == lsappinfoFaults.end() ? SimToolFault::none : it->second;

    ProcessResult result;
    if (startOrStall(fault, timeout, result)) return result;

    if (command == "list") {
        list(result);
    } else if (command == "find") {
        find(arguments, result);
    } else if (command == "setinfo") {
        setinfo(arguments, fault != SimToolFault::exitNonZero, result);
    } else {
        fail(result, "unknown command \"" + command + "\"", kParamErr);
    }

    if (fault == SimToolFault::exitNonZero) {
        fail(result, "the server did not answer", kProcNotFound);
    } else if (fault == SimToolFault::garbage) {
        result.standardOutput = "\xff\xfe\xc3\x28 \x80garbled\xf5\n" + result.standardOutput;
    }
    return limited(std::move(result));
}

void SimProcesses::list(ProcessResult& result) const {
    std::lock_guard lock(sim_.worldMutex());
    int index = 0;
    std::string& out = result.standardOutput;
    for (const auto& [pid, app] : sim_.apps()) {
        if (app.terminated) continue;
        char head[32];
        std::snprintf(head, sizeof head, "%2d) ", ++index);
        std::string executable =
            app.bundlePath ? quotedOrNull(*app.bundlePath + "/Contents/MacOS/" + app.name) : quotedOrNull({});
        out += head;
        out += "\"" + app.name + "\" ASN:" + simASNText(simASN(pid)) + ": \n";
        out += "    bundleID=" + quotedOrNull(app.bundleID) + "\n";
        out += "    bundle path=" + quotedOrNull(app.bundlePath) + "\n";
        out += "    executable path=" + executable + "\n";
        out += "    pid = " + std::to_string(pid) + " type=\"" + typeName(app.policy) +
               "\" flavor=3 Version=\"1.0\" fileType=\"APPL\" creator=\"????\" Arch=ARM64 \n";
        out += "    parentASN=\"loginwindow\" ASN:0x0-0x1001: \n";
    }
}

void SimProcesses::find(const std::vector<std::string>& arguments, ProcessResult& result) const {
    std::lock_guard lock(sim_.worldMutex());
    if (arguments.size() != 2 || !attentionQuery(arguments[1])) {
        fail(result, "cannot search for \"" + (arguments.size() > 1 ? arguments[1] : std::string()) + "\"",
             kParamErr);
        return;
    }
    const bool wanted = *attentionQuery(arguments[1]);
    for (const auto& [pid, app] : sim_.apps()) {
        if (app.terminated || app.wantsAttention != wanted) continue;
        result.standardOutput += "ASN:" + simASNText(simASN(pid)) + "-\"" + app.name + "\":\n";
    }
}

void SimProcesses::setinfo(const std::vector<std::string>& arguments, bool apply, ProcessResult& result) {
    std::lock_guard lock(sim_.worldMutex());
    if (arguments.size() != 4 || arguments[1] != "-app" || !attentionQuery(arguments[3])) {
        fail(result, "setinfo needs -app APP " + std::string(kAttentionKey) + "=true|false", kParamErr);
        return;
    }
    const std::string& specifier = arguments[2];
    SimApp* target = nullptr;
    for (const auto& [pid, app] : sim_.apps()) {
        if (app.terminated) continue;
        bool byPID = specifier == "pid:" + std::to_string(pid);
        if (byPID || (app.bundleID && *app.bundleID == specifier)) {
            target = sim_.app(pid);
            break;
        }
    }
    if (!target) {
        fail(result, "unable to find application \"" + specifier + "\"", kProcNotFound);
        return;
    }
    if (apply) target->wantsAttention = *attentionQuery(arguments[3]);
}

}  // namespace qv
