#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

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

    // --- Folders of applications ---
    // NSHomeDirectory(): the user's home folder.
    virtual std::string homeDirectoryForCurrentUser() = 0;
    // contentsOfDirectory(at:includingPropertiesForKeys: [.isApplicationKey, .isDirectoryKey],
    // options: .skipsHiddenFiles): the folder's direct entries without hidden ones, in the file
    // system's order; none when the folder does not exist or cannot be read.
    virtual std::optional<std::vector<DirectoryEntry>> contentsOfDirectory(const std::string& path) = 0;
};

}  // namespace qv
