// SimFileSystem: removing and moving items, folders, files written by others, and the events of
// watched folders.
#include <atomic>
#include <filesystem>
#include <fstream>
#include <utility>

#include "platform/FileSystemSourceHandlers.h"
#include "sim/SimDesktop.h"
#include "sim/SimFileSystem.h"

namespace qv {

namespace fs = std::filesystem;

namespace {

std::string parentOf(const std::string& path) {
    return fs::path(path).parent_path().string();
}

bool isAtOrBelow(const std::string& path, const std::string& folder) {
    return path == folder || path.starts_with(folder + "/");
}

}  // namespace

// A source on one simulated descriptor; deliveries and the cancel handler hop to its queue.
class SimFileSystem::Source : public FileSystemObjectSource {
  public:
    Source(int32_t descriptor, uint32_t mask, std::shared_ptr<Queue> queue)
        : descriptor(descriptor), mask(mask), handlers_(std::move(queue)) {}

    void setEventHandler(std::function<void(uint32_t)> handler) override {
        handlers_.setEventHandler(std::move(handler));
    }
    void setCancelHandler(std::function<void()> handler) override {
        handlers_.setCancelHandler(std::move(handler));
    }
    void resume() override { resumed_ = true; }
    void cancel() override { handlers_.cancel(); }

    void deliver(uint32_t events) {
        if (resumed_ && (events & mask)) handlers_.deliver(events & mask);
    }

    const int32_t descriptor;
    const uint32_t mask;

  private:
    FileSystemSourceHandlers handlers_;
    std::atomic<bool> resumed_{false};
};

bool SimFileSystem::removeItem(const std::string& path) {
    sim_.record("FileManager.removeItem", Value::string(path));
    if (refuseRemoves) return false;
    const bool folder = disk_.isDirectory(path);
    if (!disk_.removeItem(path)) return false;
    if (folder) deliver(path, vnodeevent::kDelete, true);
    raiseFolderEvents(parentOf(path), vnodeevent::kWrite);
    return true;
}

bool SimFileSystem::moveItem(const std::string& from, const std::string& to) {
    sim_.record("FileManager.moveItem", Value::array({Value::string(from), Value::string(to)}));
    if (refuseMoves || !disk_.moveItem(from, to)) return false;
    raiseFolderEvents(parentOf(from), vnodeevent::kWrite);
    if (parentOf(to) != parentOf(from)) raiseFolderEvents(parentOf(to), vnodeevent::kWrite);
    return true;
}

bool SimFileSystem::isDirectory(const std::string& path) {
    sim_.record("FileManager.fileExists", Value::string(path));
    return disk_.isDirectory(path);
}

std::string SimFileSystem::homeDirectoryForCurrentUser() {
    return disk_.homeDirectory();
}

int32_t SimFileSystem::openForEvents(const std::string& path) {
    sim_.record("open", Value::string(path));
    if (refuseOpenForEvents.contains(path) || !disk_.fileExists(path)) return -1;
    std::lock_guard lock(watchMutex_);
    const int32_t fd = nextDescriptor_++;
    descriptors_[fd] = Descriptor{path, false};
    return fd;
}

void SimFileSystem::closeDescriptor(int32_t descriptor) {
    sim_.record("close", Value::number(static_cast<int>(descriptor)));
    std::lock_guard lock(watchMutex_);
    descriptors_.erase(descriptor);
}

size_t SimFileSystem::openDescriptorCount() const {
    std::lock_guard lock(watchMutex_);
    return descriptors_.size();
}

std::shared_ptr<FileSystemObjectSource> SimFileSystem::makeFileSystemObjectSource(
    int32_t descriptor, uint32_t eventMask, std::shared_ptr<Queue> queue) {
    auto source = std::make_shared<Source>(descriptor, eventMask, std::move(queue));
    std::lock_guard lock(watchMutex_);
    std::erase_if(sources_, [](const auto& weak) { return weak.expired(); });
    sources_.push_back(source);
    return source;
}

void SimFileSystem::deliver(const std::string& path, uint32_t events, bool includeBelow) {
    std::vector<std::shared_ptr<Source>> reached;
    {
        std::lock_guard lock(watchMutex_);
        for (const auto& weak : sources_) {
            auto source = weak.lock();
            if (!source) continue;
            auto it = descriptors_.find(source->descriptor);
            if (it == descriptors_.end() || it->second.detached) continue;
            const std::string& watched = it->second.path;
            if (watched == path || (includeBelow && isAtOrBelow(watched, path))) reached.push_back(source);
        }
    }
    for (const auto& source : reached) source->deliver(events);
}

void SimFileSystem::raiseFolderEvents(const std::string& path, uint32_t events) {
    deliver(path, events, false);
}

void SimFileSystem::deleteFolder(const std::string& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
    deliver(path, vnodeevent::kDelete, true);
    std::lock_guard lock(watchMutex_);
    for (auto& [fd, d] : descriptors_) {
        if (isAtOrBelow(d.path, path)) d.detached = true;
    }
}

void SimFileSystem::renameFolder(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::create_directories(fs::path(to).parent_path(), ec);
    fs::rename(from, to, ec);
    if (ec) return;
    deliver(from, vnodeevent::kRename, false);
    std::lock_guard lock(watchMutex_);
    for (auto& [fd, d] : descriptors_) {
        if (!d.detached && isAtOrBelow(d.path, from)) d.path = to + d.path.substr(from.size());
    }
}

void SimFileSystem::createFolder(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return;
    fs::create_directories(path, ec);
    raiseFolderEvents(parentOf(path), vnodeevent::kWrite);
}

bool SimFileSystem::writeFile(const std::string& path, std::string_view text) {
    std::error_code ec;
    fs::create_directories(parentOf(path), ec);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
    file.close();
    if (!file) return false;
    raiseFolderEvents(parentOf(path), vnodeevent::kWrite);
    return true;
}

}  // namespace qv
