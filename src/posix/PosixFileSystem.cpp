#include "posix/PosixFileSystem.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/FileSystemSourceHandlers.h"

namespace qv {

namespace fs = std::filesystem;

PosixFileSystem::PosixFileSystem(std::string homeDirectory) : home_(std::move(homeDirectory)) {}

std::vector<std::string> PosixFileSystem::applicationSupportDirectories() {
    if (home_.empty()) return {};
    return {(fs::path(home_) / "Library" / "Application Support").string()};
}

bool PosixFileSystem::createDirectory(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) return false;
    return fs::is_directory(path, ec);
}

bool PosixFileSystem::fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::optional<std::string> PosixFileSystem::contentsOfFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return bytes;
}

bool PosixFileSystem::writeAtomically(const std::string& path, std::string_view bytes) {
    fs::path target(path);
    if (target.filename().empty()) return false;
    // The temporary file sits in the destination's folder, so the rename never crosses devices.
    std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0644) == 0;
    for (size_t done = 0; ok && done < bytes.size();) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

bool PosixFileSystem::copyItem(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec))) return false;
    return fs::copy_file(from, to, fs::copy_options::none, ec) && !ec;
}

// --- Folders of applications ---

std::optional<std::vector<DirectoryEntry>> PosixFileSystem::contentsOfDirectory(const std::string& path) {
    std::error_code ec;
    fs::directory_iterator it(path, ec);
    if (ec) return std::nullopt;
    std::vector<DirectoryEntry> entries;
    for (const fs::directory_entry& e : it) {
        const std::string name = e.path().filename().string();
        if (name.empty() || name.front() == '.') continue;
        DirectoryEntry entry;
        entry.path = e.path().string();
        entry.isDirectory = e.is_directory(ec);
        // Without the package bit of the platform's file systems, a folder named ".app" is one.
        entry.isApplication = entry.isDirectory && e.path().extension() == ".app";
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace qv

namespace qv {

bool PosixFileSystem::removeItem(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(path, ec))) return false;
    fs::remove_all(path, ec);
    return !ec;
}

bool PosixFileSystem::moveItem(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(to, ec)) || !fs::exists(fs::symlink_status(from, ec))) return false;
    fs::rename(from, to, ec);
    return !ec;
}

bool PosixFileSystem::isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

namespace {

constexpr uint32_t kWatchedInotifyEvents =
    IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;

// What one inotify event of the watched folder is as the folder's own vnode events.
uint32_t vnodeEvents(uint32_t inotifyMask) {
    uint32_t events = 0;
    if (inotifyMask & IN_DELETE_SELF) events |= vnodeevent::kDelete;
    if (inotifyMask & IN_MOVE_SELF) events |= vnodeevent::kRename;
    if (inotifyMask & IN_ATTRIB) events |= vnodeevent::kAttrib;
    if (inotifyMask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) events |= vnodeevent::kWrite;
    return events;
}

class InotifySource : public FileSystemObjectSource {
  public:
    InotifySource(int descriptor, uint32_t mask, std::shared_ptr<Queue> queue)
        : descriptor_(descriptor), mask_(mask), handlers_(std::move(queue)) {}
    ~InotifySource() override { stopThread(); }

    void setEventHandler(std::function<void(uint32_t)> handler) override {
        handlers_.setEventHandler(std::move(handler));
    }
    void setCancelHandler(std::function<void()> handler) override {
        handlers_.setCancelHandler(std::move(handler));
    }
    void resume() override {
        std::lock_guard lock(control_);
        if (thread_.joinable() || handlers_.isCancelled()) return;
        if (::pipe2(wake_, O_CLOEXEC) != 0) return;
        thread_ = std::thread([this] { readEvents(); });
    }
    void cancel() override {
        if (handlers_.isCancelled()) return;
        stopThread();  // the cancel handler may close the descriptor the thread reads
        handlers_.cancel();
    }

  private:
    void stopThread() {
        std::lock_guard lock(control_);
        if (!thread_.joinable()) return;
        const char stop = 1;
        while (::write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
        ::close(wake_[0]);
        ::close(wake_[1]);
    }

    void readEvents() {
        alignas(inotify_event) char buf[4096];
        for (;;) {
            pollfd fds[2] = {{descriptor_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return;
            ssize_t n = ::read(descriptor_, buf, sizeof buf);
            if (n <= 0) continue;
            uint32_t events = 0;
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                events |= vnodeEvents(e->mask);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
            if (events & mask_) handlers_.deliver(events & mask_);
        }
    }

    const int descriptor_;
    const uint32_t mask_;
    FileSystemSourceHandlers handlers_;
    std::mutex control_;
    std::thread thread_;
    int wake_[2] = {-1, -1};
};

}  // namespace

int32_t PosixFileSystem::openForEvents(const std::string& path) {
    int fd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) return -1;
    if (::inotify_add_watch(fd, path.c_str(), kWatchedInotifyEvents) < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void PosixFileSystem::closeDescriptor(int32_t descriptor) {
    if (descriptor >= 0) ::close(descriptor);
}

std::shared_ptr<FileSystemObjectSource> PosixFileSystem::makeFileSystemObjectSource(
    int32_t descriptor, uint32_t eventMask, std::shared_ptr<Queue> queue) {
    return std::make_shared<InotifySource>(descriptor, eventMask, std::move(queue));
}

}  // namespace qv
