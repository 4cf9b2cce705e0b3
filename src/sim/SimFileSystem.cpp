#include "sim/SimFileSystem.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "sim/SimApplications.h"
#include "sim/SimDesktop.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

std::string makeTemporaryHome() {
    std::string pattern = (fs::temp_directory_path() / "quillvorn-home-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary home folder");
    return pattern;
}

}  // namespace

SimFileSystem::SimFileSystem(SimDesktop& sim, std::string homeDirectory)
    : sim_(sim),
      ownsHome_(homeDirectory.empty()),
      disk_(ownsHome_ ? makeTemporaryHome() : std::move(homeDirectory)) {}

SimFileSystem::~SimFileSystem() {
    if (ownsHome_) {
        std::error_code ec;
        fs::remove_all(disk_.homeDirectory(), ec);
    }
}

std::string SimFileSystem::applicationSupportDirectory() const {
    return (fs::path(disk_.homeDirectory()) / "Library" / "Application Support").string();
}

std::vector<std::string> SimFileSystem::applicationSupportDirectories() {
    sim_.record("FileManager.urls", Value::string("applicationSupportDirectory"));
    if (noApplicationSupportDirectory) return {};
    return disk_.applicationSupportDirectories();
}

bool SimFileSystem::createDirectory(const std::string& path) {
    sim_.record("FileManager.createDirectory", Value::string(path));
    return !refuseCreateDirectory && disk_.createDirectory(path);
}

bool SimFileSystem::fileExists(const std::string& path) {
    sim_.record("FileManager.fileExists", Value::string(path));
    return sim_.applications().exists(path) || disk_.fileExists(path);
}

std::optional<std::string> SimFileSystem::contentsOfFile(const std::string& path) {
    sim_.record("Data.contentsOf", Value::string(path));
    if (refuseReads) return std::nullopt;
    return disk_.contentsOfFile(path);
}

bool SimFileSystem::writeAtomically(const std::string& path, std::string_view bytes) {
    sim_.record("Data.write", Value::string(path));
    if (refuseWrites || !disk_.writeAtomically(path, bytes)) return false;
    raiseFolderEvents(fs::path(path).parent_path().string(), vnodeevent::kWrite);
    return true;
}

bool SimFileSystem::copyItem(const std::string& from, const std::string& to) {
    sim_.record("FileManager.copyItem", Value::array({Value::string(from), Value::string(to)}));
    return !refuseCopies && disk_.copyItem(from, to);
}

std::optional<std::vector<DirectoryEntry>> SimFileSystem::contentsOfDirectory(const std::string& path) {
    sim_.record("FileManager.contentsOfDirectory", Value::string(path));
    std::optional<Seconds> delay;
    std::vector<std::function<void()>> afterwards;
    {
        std::lock_guard lock(sim_.worldMutex());
        if (auto it = slowNextListing.find(path); it != slowNextListing.end()) {
            delay = it->second;
            slowNextListing.erase(it);
        }
        if (unreadableFolders.contains(path)) return std::nullopt;
        auto [from, to] = afterNextListing.equal_range(path);
        for (auto it = from; it != to; ++it) afterwards.push_back(std::move(it->second));
        afterNextListing.erase(from, to);
    }
    auto listed = sim_.applications().listFolder(path);
    if (!listed) listed = disk_.contentsOfDirectory(path);
    for (const auto& act : afterwards) act();
    // Read at once, handed back late: what changes meanwhile is not in the answer.
    if (delay) {
        WaitingFor waiting("the listing of " + path);
        sim_.runtime().makeSemaphore(0)->wait(*delay);
    }
    return listed;
}

}  // namespace qv
