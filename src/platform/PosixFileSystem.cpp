#include "platform/PosixFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

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
