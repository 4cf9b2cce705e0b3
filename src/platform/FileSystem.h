#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dispatch/Runtime.h"

namespace qv {

// Events of a file-system object source (DispatchSource.FileSystemEvent), with the platform's bits.
namespace vnodeevent {
inline constexpr uint32_t kDelete = 0x1;
inline constexpr uint32_t kWrite = 0x2;
inline constexpr uint32_t kExtend = 0x4;
inline constexpr uint32_t kAttrib = 0x8;
inline constexpr uint32_t kLink = 0x10;
inline constexpr uint32_t kRename = 0x20;
inline constexpr uint32_t kRevoke = 0x40;
}  // namespace vnodeevent

// DispatchSource.makeFileSystemObjectSource: the events of one open descriptor, delivered on a
// queue. Nothing is delivered before `resume`; after `cancel` the cancel handler runs once on the
// queue and nothing more is delivered.
class FileSystemObjectSource {
  public:
    virtual ~FileSystemObjectSource() = default;
    // The handler receives the events of one delivery (the source's `data`), within its mask.
    virtual void setEventHandler(std::function<void(uint32_t events)> handler) = 0;
    virtual void setCancelHandler(std::function<void()> handler) = 0;
    virtual void resume() = 0;
    virtual void cancel() = 0;
};

// One entry of a folder listing, with the resource values asked for.
struct DirectoryEntry {
    std::string path;
    bool isDirectory = false;    // URLResourceKey.isDirectoryKey
    bool isApplication = false;  // URLResourceKey.isApplicationKey: an application bundle
};

// The folders where the system keeps applications, in the order they are searched for them:
// the main and the system's applications, their utilities, then the system's cryptex volume.
inline const std::vector<std::string>& systemApplicationFolders() {
    static const std::vector<std::string> folders{
        "/Applications",
        "/System/Applications",
        "/Applications/Utilities",
        "/System/Applications/Utilities",
        "/System/Volumes/Preboot/Cryptexes/App/System/Applications",
    };
    return folders;
}

// The file manager and file data calls the system makes. Paths are absolute. Calls that can fail
// return false (or no value) and leave the file system as it was.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // urls(for: .applicationSupportDirectory, in: .userDomainMask), as paths; may be empty.
    virtual std::vector<std::string> applicationSupportDirectories() = 0;
    // createDirectory(at:withIntermediateDirectories: true, attributes: nil); an existing folder
    // counts as success.
    virtual bool createDirectory(const std::string& path) = 0;
    virtual bool fileExists(const std::string& path) = 0;
    // Data(contentsOf:)
    virtual std::optional<std::string> contentsOfFile(const std::string& path) = 0;
    // Data.write(to:options: .atomic): written in full beside the destination, then renamed over
    // it, so readers see either the old file or the whole new one.
    virtual bool writeAtomically(const std::string& path, std::string_view bytes) = 0;
    // copyItem(at:to:); fails when something already exists at `to`.
    virtual bool copyItem(const std::string& from, const std::string& to) = 0;

    // --- Removing, moving, folders and watching them ---
    // removeItem(at:): a folder goes with its contents.
    virtual bool removeItem(const std::string& path) = 0;
    // moveItem(at:to:); fails when something already exists at `to`.
    virtual bool moveItem(const std::string& from, const std::string& to) = 0;
    // fileExists(atPath:isDirectory:): true for an existing folder only.
    virtual bool isDirectory(const std::string& path) = 0;
    // homeDirectoryForCurrentUser, as a path.
    virtual std::string homeDirectoryForCurrentUser() = 0;
    // open(path, O_EVTONLY): a descriptor opened for events only; -1 when it cannot be opened.
    virtual int32_t openForEvents(const std::string& path) = 0;
    // close(2)
    virtual void closeDescriptor(int32_t descriptor) = 0;
    // DispatchSource.makeFileSystemObjectSource(fileDescriptor:eventMask:queue:); the source does not
    // close the descriptor (its cancel handler does).
    virtual std::shared_ptr<FileSystemObjectSource> makeFileSystemObjectSource(
        int32_t descriptor, uint32_t eventMask, std::shared_ptr<Queue> queue) = 0;
    // --- Folders of applications ---
    // contentsOfDirectory(at:includingPropertiesForKeys: [.isApplicationKey, .isDirectoryKey],
    // options: .skipsHiddenFiles): the folder's direct entries without hidden ones, in the file
    // system's order; none when the folder does not exist or cannot be read.
    virtual std::optional<std::vector<DirectoryEntry>> contentsOfDirectory(const std::string& path) = 0;
};

}  // namespace qv
