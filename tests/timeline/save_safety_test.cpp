// What a save leaves on disk besides the new project: the file it replaced, kept under another
// name; a link and its target; files it must not replace. And counts below 0 in a stored file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "timeline/project_file.h"

namespace korvalin {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string bytesOf(const Timeline& t) {
  const std::vector<uint8_t> bytes = encodeProject(t);
  return std::string(bytes.begin(), bytes.end());
}

class SaveSafetyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korvalin-save-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = dir / "save.brz";
    project.addClip(5, 1.0f, 2.0f, kFlat);
  }
  void TearDown() override { fs::remove_all(dir); }

  bool save(KeepPrevious keep, const fs::path& at) {
    error.clear();
    notice.clear();
    return saveProject(project, at.string(), &error, keep, &notice);
  }
  // Everything in the folder but `path` and what a link there points to.
  std::vector<std::string> names() const {
    std::vector<std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      all.push_back(entry.path().lexically_relative(dir).string());
    }
    std::sort(all.begin(), all.end());
    return all;
  }

  fs::path dir, path;
  Timeline project;
  std::string error, notice;
};

TEST_F(SaveSafetyTest, BackupKeepsOneGenerationAndUnreadableFilesAreNeverReused) {
  ASSERT_TRUE(save(KeepPrevious::kBackup, path)) << error;
  EXPECT_EQ(names(), std::vector<std::string>{"save.brz"}) << "nothing to keep on the first save";
  const std::string first = readText(path);
  project.addClip(0, 0.0f, 1.0f, kBox);
  ASSERT_TRUE(save(KeepPrevious::kBackup, path)) << error;
  EXPECT_EQ(readText(dir / "save.brz.bak"), first);
  const std::string second = readText(path);
  ASSERT_TRUE(save(KeepPrevious::kBackup, path)) << error;
  EXPECT_EQ(readText(dir / "save.brz.bak"), second);
  EXPECT_TRUE(notice.empty());

  for (const char* junk : {"junk one", "junk two", "junk three"}) {
    writeText(path, junk);
    ASSERT_TRUE(save(KeepPrevious::kUnreadable, path)) << error;
    EXPECT_EQ(readText(path), bytesOf(project));
  }
  EXPECT_EQ(readText(dir / "save.brz.unreadable"), "junk one");
  EXPECT_EQ(readText(dir / "save.brz.unreadable.1"), "junk two");
  EXPECT_EQ(readText(dir / "save.brz.unreadable.2"), "junk three");
  EXPECT_EQ(notice, path.string() + ": the file that could not be read is kept as " +
                        (dir / "save.brz.unreadable.2").string());
  EXPECT_EQ(readText(dir / "save.brz.bak"), second) << "the backup is not touched";

  // Nothing to keep, nothing said; and without keeping, nothing beside the file.
  fs::remove(path);
  ASSERT_TRUE(save(KeepPrevious::kUnreadable, path)) << error;
  EXPECT_TRUE(notice.empty());
  fs::remove_all(dir);
  fs::create_directory(dir);
  writeText(path, "old");
  ASSERT_TRUE(save(KeepPrevious::kNone, path)) << error;
  EXPECT_EQ(names(), std::vector<std::string>{"save.brz"});

  // A backup that cannot be made stops the save before anything is replaced.
  fs::create_directories(dir / "save.brz.bak" / "inside");
  writeText(path, "old");
  EXPECT_FALSE(save(KeepPrevious::kBackup, path));
  EXPECT_NE(error.find("save.brz.bak"), std::string::npos) << error;
  EXPECT_EQ(readText(path), "old");
  EXPECT_FALSE(fs::exists(dir / "save.brz.tmp"));
}

TEST_F(SaveSafetyTest, SavingThroughALinkReplacesItsTargetWithItsPermissions) {
  fs::create_directory(dir / "projects");
  const fs::path target = dir / "projects" / "demo.brz";
  writeText(target, "old project");
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink("projects/demo.brz", path);

  ASSERT_TRUE(save(KeepPrevious::kBackup, path)) << error;
  ASSERT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(fs::read_symlink(path), "projects/demo.brz");
  EXPECT_EQ(readText(target), bytesOf(project));
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(readText(dir / "projects" / "demo.brz.bak"), "old project");
  EXPECT_EQ(names(), (std::vector<std::string>{"projects", "projects/demo.brz", "projects/demo.brz.bak",
                                               "save.brz"}));

  // A chain of links, absolute and relative, ends at the same file; a dangling one creates it.
  fs::create_symlink(path, dir / "second.brz");
  project.addClip(1, 0.0f, 1.0f, kCamera);
  ASSERT_TRUE(save(KeepPrevious::kNone, dir / "second.brz")) << error;
  EXPECT_EQ(readText(target), bytesOf(project));
  EXPECT_TRUE(fs::is_symlink(dir / "second.brz"));
  fs::create_symlink("projects/new.brz", dir / "dangling.brz");
  ASSERT_TRUE(save(KeepPrevious::kBackup, dir / "dangling.brz")) << error;
  EXPECT_EQ(readText(dir / "projects" / "new.brz"), bytesOf(project));

  // Links that never end are one line naming the file, and nothing is written anywhere.
  fs::create_symlink("loop-b", dir / "loop-a");
  fs::create_symlink("loop-a", dir / "loop-b");
  const std::vector<std::string> before = names();
  EXPECT_FALSE(save(KeepPrevious::kBackup, dir / "loop-a"));
  EXPECT_EQ(error.rfind((dir / "loop-a").string() + ": ", 0), 0u) << error;
  EXPECT_EQ(names(), before);
}

TEST_F(SaveSafetyTest, OnlyRegularFilesAreSavedOver) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  EXPECT_FALSE(save(KeepPrevious::kBackup, path));
  EXPECT_EQ(error, path.string() + ": not a regular file; nothing saved");
  EXPECT_TRUE(fs::is_fifo(path));
  fs::remove(path);
  fs::create_symlink("/dev/null", path);
  EXPECT_FALSE(save(KeepPrevious::kBackup, path));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(names(), std::vector<std::string>{"save.brz"});
}

TEST(StoredCounts, ACountBelowZeroMeansNoClipsOnThatLayer) {
  Timeline source;
  source.addClip(1, 2.0f, 3.0f, kBox);
  source.addClip(15, 4.0f, 5.0f, kCamera);
  const std::vector<uint8_t> good = encodeProject(source);
  for (const uint8_t high : {0xFF, 0x80}) {
    std::vector<uint8_t> bytes = good;
    bytes[1] = 0xFF;  // layer 0's count: -1, then -32513
    bytes[2] = high;
    Timeline loaded;
    loaded.addClip(0, 9.0f, 1.0f, kFlat);
    std::string error;
    ASSERT_EQ(decodeProject(loaded, bytes.data(), bytes.size(), "save.brz", &error), LoadResult::kLoaded)
        << error;
    EXPECT_EQ(encodeProject(loaded), good) << "written back as 0, every other layer as it was";
  }
}

}  // namespace
}  // namespace korvalin
