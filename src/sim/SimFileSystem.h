#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "dispatch/Runtime.h"
#include "posix/PosixFileSystem.h"

namespace qv {

class SimDesktop;

// The simulated user's files: real files under the simulated home folder, with the calls our
// process makes recorded in the desktop's call log and switches that make them fail.
class SimFileSystem : public FileSystem {
  public:
    // An empty home: a fresh temporary folder, removed again with the file system.
    SimFileSystem(SimDesktop& sim, std::string homeDirectory);
    ~SimFileSystem() override;
    SimFileSystem(const SimFileSystem&) = delete;
    SimFileSystem& operator=(const SimFileSystem&) = delete;

    const std::string& homeDirectory() const { return disk_.homeDirectory(); }
    // The user's Application Support folder, as applicationSupportDirectories() gives it.
    std::string applicationSupportDirectory() const;

    std::vector<std::string> applicationSupportDirectories() override;
    bool createDirectory(const std::string& path) override;
    bool fileExists(const std::string& path) override;
    std::optional<std::string> contentsOfFile(const std::string& path) override;
    bool writeAtomically(const std::string& path, std::string_view bytes) override;
    bool copyItem(const std::string& from, const std::string& to) override;
    // The application folders and bundles (SimApplications) first, then the user's files.
    std::optional<std::vector<DirectoryEntry>> contentsOfDirectory(const std::string& path) override;

    // A slow disk: the next listing of the folder comes back this long after it was read (the
    // caller's thread waits on the clock, so other queues run meanwhile). Used once.
    std::map<std::string, Seconds> slowNextListing;
    // The world acts right after the next listing of the folder was read, so that listing misses
    // what it changes (an installer finishing while a scan runs). Used once.
    std::multimap<std::string, std::function<void()>> afterNextListing;
    // Folders whose listing fails.
    std::set<std::string> unreadableFolders;

    // Faults. A refused call fails and changes nothing on disk.
    bool noApplicationSupportDirectory = false;
    bool refuseCreateDirectory = false;
    bool refuseReads = false;
    bool refuseWrites = false;
    bool refuseCopies = false;

    // --- Removing, moving, folders and watching them (SimFolderWatch.cpp) ---
    bool removeItem(const std::string& path) override;
    bool moveItem(const std::string& from, const std::string& to) override;
    bool isDirectory(const std::string& path) override;
    std::string homeDirectoryForCurrentUser() override;
    int32_t openForEvents(const std::string& path) override;
    void closeDescriptor(int32_t descriptor) override;
    std::shared_ptr<FileSystemObjectSource> makeFileSystemObjectSource(int32_t descriptor, uint32_t eventMask,
                                                                       std::shared_ptr<Queue> queue) override;

    // The world changes a folder: every resumed source on a descriptor of that folder gets the
    // events within its mask, on its queue. Our own writes, removals and moves raise the events of
    // the folders they change the same way.
    void raiseFolderEvents(const std::string& path, uint32_t events);
    // Someone else deletes a folder (its watchers get a delete event and stay with the folder that
    // went: a folder made again at that path is a new one), renames it (the watchers follow it), or
    // makes it.
    void deleteFolder(const std::string& path);
    void renameFolder(const std::string& from, const std::string& to);
    void createFolder(const std::string& path);
    // Someone else writes a file, making its folders; false when it cannot be written.
    bool writeFile(const std::string& path, std::string_view text);
    // Paths that open(O_EVTONLY) refuses, as for a folder we may not read.
    std::set<std::string> refuseOpenForEvents;
    bool refuseRemoves = false;
    bool refuseMoves = false;
    size_t openDescriptorCount() const;

    class Source;  // internal

  private:
    struct Descriptor {
        std::string path;
        bool detached = false;  // the folder it was opened on is gone
    };
    void deliver(const std::string& path, uint32_t events, bool includeBelow);

    mutable std::mutex watchMutex_;
    std::map<int32_t, Descriptor> descriptors_;
    int32_t nextDescriptor_ = 3;
    std::vector<std::weak_ptr<Source>> sources_;

    SimDesktop& sim_;
    bool ownsHome_;  // before disk_: it decides how disk_ is made
    PosixFileSystem disk_;
};

}  // namespace qv
