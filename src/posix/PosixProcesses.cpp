#include "posix/PosixProcesses.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

extern char** environ;

namespace qv {

namespace {

using Clock = std::chrono::steady_clock;

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void reset(int fd) {
        close();
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

// Both ends close-on-exec, so that children spawned meanwhile by other threads do not keep our
// write ends open (and the read never ends).
bool makePipe(Fd& readEnd, Fd& writeEnd) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return ::fcntl(readEnd.get(), F_SETFL, O_NONBLOCK) == 0;
}

int millisecondsUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration<double, std::milli>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min(std::ceil(left), 60'000.0));
}

// Reads what is there, keeping at most kProcessOutputLimit bytes; false once the writer has
// closed its end (or the read failed). `overflowed` is set when the stream went past the limit.
bool drain(const Fd& fd, std::string& into, bool& overflowed) {
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            const size_t room = kProcessOutputLimit - into.size();
            into.append(buffer, std::min(room, static_cast<size_t>(n)));
            if (static_cast<size_t>(n) > room) {
                overflowed = true;
                return true;
            }
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
}

void record(int status, ProcessResult& result) {
    if (WIFSIGNALED(status)) {
        result.terminationReason = TerminationReason::uncaughtSignal;
        result.exitStatus = WTERMSIG(status);
    } else {
        result.terminationReason = TerminationReason::exit;
        result.exitStatus = WEXITSTATUS(status);
    }
}

// Waits for the child until the deadline; false when it is still running then.
bool waitUntil(pid_t pid, Clock::time_point deadline, int& status) {
    int pauseMs = 1;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) return true;  // not ours to wait for any more
        int left = millisecondsUntil(deadline);
        if (left == 0) return false;
        ::poll(nullptr, 0, std::min(pauseMs, left));
        pauseMs = std::min(pauseMs * 2, 20);
    }
}

void reap(pid_t pid, int& status) {
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

class SpawnSetup {
  public:
    SpawnSetup() {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

}  // namespace

ProcessResult PosixProcesses::run(const std::string& executablePath,
                                  const std::vector<std::string>& arguments, Seconds timeout) {
    ProcessResult result;
    const auto deadline =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(std::clamp(timeout, 0.0, 86'400.0)));

    Fd outRead, outWrite, errRead, errWrite;
    if (!makePipe(outRead, outWrite) || !makePipe(errRead, errWrite)) {
        result.launchError = errno;
        return result;
    }

    SpawnSetup setup;
    ::posix_spawn_file_actions_adddup2(&setup.actions, outWrite.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_adddup2(&setup.actions, errWrite.get(), STDERR_FILENO);
    // A process group of its own, so that a time-out also ends what the child started. The child
    // starts with no blocked signals and the default SIGPIPE, whatever our threads set up.
    sigset_t noSignals, pipeSignal;
    sigemptyset(&noSignals);
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    ::posix_spawnattr_setflags(&setup.attributes,
                               POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    ::posix_spawnattr_setpgroup(&setup.attributes, 0);
    ::posix_spawnattr_setsigmask(&setup.attributes, &noSignals);
    ::posix_spawnattr_setsigdefault(&setup.attributes, &pipeSignal);

    std::vector<std::string> argvStrings;
    argvStrings.reserve(arguments.size() + 1);
    argvStrings.push_back(executablePath);
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    int spawnError =
        ::posix_spawn(&pid, executablePath.c_str(), &setup.actions, &setup.attributes, argv.data(), environ);
    outWrite.close();
    errWrite.close();
    if (spawnError != 0) {
        result.launchError = spawnError;
        return result;
    }
    result.launched = true;

    // Both pipes are read as data comes: a child that fills one pipe while we wait on the other
    // would otherwise stall until the time-out.
    bool expired = false;
    bool overflowed = false;
    while (!overflowed && (outRead.isOpen() || errRead.isOpen())) {
        pollfd fds[2];
        nfds_t count = 0;
        Fd* owners[2];
        for (Fd* fd : {&outRead, &errRead}) {
            if (!fd->isOpen()) continue;
            fds[count] = pollfd{fd->get(), POLLIN, 0};
            owners[count++] = fd;
        }
        int left = millisecondsUntil(deadline);
        if (left == 0) {
            expired = true;
            break;
        }
        int ready = ::poll(fds, count, left);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) break;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents == 0) continue;
            std::string& into = owners[i] == &outRead ? result.standardOutput : result.standardError;
            if (!drain(*owners[i], into, overflowed)) owners[i]->close();
        }
    }

    int status = 0;
    if (!expired && !overflowed && waitUntil(pid, deadline, status)) {
        record(status, result);
        return result;
    }
    ::kill(-pid, SIGKILL);
    reap(pid, status);
    result.timedOut = !overflowed;
    result.outputLimitExceeded = overflowed;
    record(status, result);
    return result;
}

}  // namespace qv
