#pragma once

#include "platform/FileSystem.h"

namespace qv {

// Real files on disk. The user's folders are found under the home folder given at construction,
// so a test or a demo can keep the user's real settings out of reach.
class PosixFileSystem : public FileSystem {
  public:
    explicit PosixFileSystem(std::string homeDirectory);

    const std::string& homeDirectory() const { return home_; }

    std::vector<std::string> applicationSupportDirectories() override;
    bool createDirectory(const std::string& path) override;
    bool fileExists(const std::string& path) override;
    std::optional<std::string> contentsOfFile(const std::string& path) override;
    bool writeAtomically(const std::string& path, std::string_view bytes) override;
    bool copyItem(const std::string& from, const std::string& to) override;
    bool removeItem(const std::string& path) override;
    bool moveItem(const std::string& from, const std::string& to) override;
    bool isDirectory(const std::string& path) override;
    std::string homeDirectoryForCurrentUser() override { return home_; }
    // Watches stand on inotify: the descriptor is an inotify instance watching the one path, and
    // each source reads it on a thread of its own.
    int32_t openForEvents(const std::string& path) override;
    void closeDescriptor(int32_t descriptor) override;
    std::shared_ptr<FileSystemObjectSource> makeFileSystemObjectSource(int32_t descriptor, uint32_t eventMask,
                                                                       std::shared_ptr<Queue> queue) override;

    std::optional<std::vector<DirectoryEntry>> contentsOfDirectory(const std::string& path) override;

  private:
    std::string home_;
};

}  // namespace qv
