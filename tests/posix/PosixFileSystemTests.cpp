#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "posix/PosixFileSystem.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

class PosixFileSystemTest : public ::testing::Test {
  protected:
    std::string home = [] {
        std::string pattern = (fs::temp_directory_path() / "qv-fs-test-XXXXXX").string();
        return std::string(::mkdtemp(pattern.data()));
    }();
    PosixFileSystem files{home};

    ~PosixFileSystemTest() override { fs::remove_all(home); }

    std::string at(const std::string& relative) const { return home + "/" + relative; }
    std::vector<std::string> entries(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(PosixFileSystemTest, ApplicationSupportLivesUnderTheGivenHome) {
    EXPECT_EQ(files.applicationSupportDirectories(),
              std::vector<std::string>{home + "/Library/Application Support"});
    EXPECT_TRUE(PosixFileSystem("").applicationSupportDirectories().empty());
}

TEST_F(PosixFileSystemTest, CreatingFoldersMakesTheMissingOnesAndAcceptsExistingOnes) {
    EXPECT_TRUE(files.createDirectory(at("a/b/c")));
    EXPECT_TRUE(fs::is_directory(at("a/b/c")));
    EXPECT_TRUE(files.createDirectory(at("a/b")));
    std::ofstream(at("plain")) << "x";
    EXPECT_FALSE(files.createDirectory(at("plain")));
    EXPECT_FALSE(files.createDirectory(at("plain/below")));
}

TEST_F(PosixFileSystemTest, AtomicWritesReplaceTheWholeFileAndLeaveNothingElseBehind) {
    std::string path = at("settings.json");
    EXPECT_TRUE(files.writeAtomically(path, "first, and rather longer"));
    EXPECT_TRUE(files.writeAtomically(path, std::string("sec\0nd", 6)));
    EXPECT_EQ(files.contentsOfFile(path), std::string("sec\0nd", 6));
    EXPECT_TRUE(files.writeAtomically(path, ""));
    EXPECT_EQ(files.contentsOfFile(path), "");
    EXPECT_EQ(entries(home), std::vector<std::string>{"settings.json"});
}

TEST_F(PosixFileSystemTest, AFailedWriteChangesNothing) {
    EXPECT_FALSE(files.writeAtomically(at("missing/settings.json"), "x"));
    EXPECT_FALSE(fs::exists(at("missing")));
    fs::create_directory(at("folder"));
    EXPECT_FALSE(files.writeAtomically(at("folder"), "x"));  // a folder is not replaced
    EXPECT_TRUE(fs::is_directory(at("folder")));
    EXPECT_EQ(entries(home), std::vector<std::string>{"folder"});
}

TEST_F(PosixFileSystemTest, ReadingGivesTheBytesOrNothing) {
    EXPECT_EQ(files.contentsOfFile(at("none")), std::nullopt);
    fs::create_directory(at("folder"));
    EXPECT_EQ(files.contentsOfFile(at("folder")), std::nullopt);
    std::string big(100000, 'q');
    ASSERT_TRUE(files.writeAtomically(at("big"), big));
    EXPECT_EQ(files.contentsOfFile(at("big")), big);
    EXPECT_TRUE(files.fileExists(at("big")));
    EXPECT_TRUE(files.fileExists(at("folder")));
    EXPECT_FALSE(files.fileExists(at("none")));
}

TEST_F(PosixFileSystemTest, CopyingNeverOverwrites) {
    ASSERT_TRUE(files.writeAtomically(at("a"), "original"));
    ASSERT_TRUE(files.writeAtomically(at("b"), "other"));
    EXPECT_FALSE(files.copyItem(at("a"), at("b")));
    EXPECT_EQ(files.contentsOfFile(at("b")), "other");
    EXPECT_TRUE(files.copyItem(at("a"), at("c")));
    EXPECT_EQ(files.contentsOfFile(at("c")), "original");
    EXPECT_FALSE(files.copyItem(at("none"), at("d")));
    EXPECT_FALSE(fs::exists(at("d")));
}

TEST_F(PosixFileSystemTest, RemovingAndMovingNeverReplaceAnything) {
    ASSERT_TRUE(files.createDirectory(at("a/b")));
    std::ofstream(at("a/b/f")) << "x";
    std::ofstream(at("g")) << "y";
    EXPECT_TRUE(files.isDirectory(at("a")));
    EXPECT_FALSE(files.isDirectory(at("g")));
    EXPECT_FALSE(files.moveItem(at("g"), at("a")));
    EXPECT_TRUE(files.moveItem(at("g"), at("h")));
    EXPECT_FALSE(files.moveItem(at("g"), at("i")));
    EXPECT_TRUE(files.removeItem(at("a")));
    EXPECT_FALSE(files.removeItem(at("a")));
    EXPECT_EQ(entries(home), std::vector<std::string>{"h"});
}

}  // namespace
}  // namespace qv
