#pragma once

#include <map>
#include <set>
#include <string>

#include "platform/PosixFileSystem.h"
#include "platform/dispatch/Runtime.h"

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
    std::string homeDirectoryForCurrentUser() override;
    // The application folders and bundles (SimApplications) first, then the user's files.
    std::optional<std::vector<DirectoryEntry>> contentsOfDirectory(const std::string& path) override;

    // A slow disk: the next listing of the folder comes back this long after it was read (the
    // caller's thread waits on the clock, so other queues run meanwhile). Used once.
    std::map<std::string, Seconds> slowNextListing;
    // Folders whose listing fails.
    std::set<std::string> unreadableFolders;

    // Faults. A refused call fails and changes nothing on disk.
    bool noApplicationSupportDirectory = false;
    bool refuseCreateDirectory = false;
    bool refuseReads = false;
    bool refuseWrites = false;
    bool refuseCopies = false;

  private:
    SimDesktop& sim_;
    bool ownsHome_;  // before disk_: it decides how disk_ is made
    PosixFileSystem disk_;
};

}  // namespace qv
