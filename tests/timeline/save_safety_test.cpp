// What a save leaves on disk besides the new project: the file it replaced, kept under another
// name; a link and its target; files it must not replace. And counts below 0 in a stored file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iterator>
#include <fstream>
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
    filesOpenBefore = openFiles();
  }
  void TearDown() override {
    EXPECT_EQ(openFiles(), filesOpenBefore) << "a save or load left a file open";
    fs::remove_all(dir);
  }
  static int openFiles() {
    const auto all = fs::directory_iterator("/proc/self/fd");
    return static_cast<int>(std::distance(fs::begin(all), fs::end(all)));
  }

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
  int filesOpenBefore = 0;
};

TEST_F(SaveSafetyTest, BackupKeepsOneGenerationAndUnreadableFilesAreNeverReused) {
  const mode_t umask = ::umask(022);
  ::umask(umask);
  ASSERT_TRUE(save(KeepPrevious::kBackup, path)) << error;
  EXPECT_EQ(names(), std::vector<std::string>{"save.brz"}) << "nothing to keep on the first save";
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0666 & ~umask)) << "a new file is no program";
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
  EXPECT_EQ(error, path.string() + ": cannot keep the old file as " + path.string() +
                       ".bak: Is a directory; nothing saved");
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

  // As many links as opening the file would follow (40); one more is one line naming the file,
  // and nothing is written anywhere.
  fs::path chain = dir / "second.brz";  // two links already
  for (int links = 3; links <= 41; ++links) {
    const fs::path link = dir / ("chain" + std::to_string(links));
    fs::create_symlink(chain.filename(), link);
    chain = link;
    if (links == 40) {
      ASSERT_TRUE(save(KeepPrevious::kNone, chain)) << error;
    }
  }
  const std::vector<std::string> before = names();
  EXPECT_FALSE(save(KeepPrevious::kBackup, chain));
  EXPECT_EQ(error, chain.string() + ": cannot follow the link: Too many levels of symbolic links");
  EXPECT_EQ(names(), before);
}

// A FIFO stands for every file that is not a regular one (a device, say), straight or through a link.
TEST_F(SaveSafetyTest, OnlyRegularFilesAreSavedOver) {
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0644), 0);
  for (const fs::path& at : {dir / "pipe", path}) {
    if (at == path) fs::create_symlink("pipe", path);
    EXPECT_FALSE(save(KeepPrevious::kBackup, at));
    EXPECT_EQ(error.rfind(at.string(), 0), 0u) << error;
    EXPECT_NE(error.find(": not a regular file; nothing saved"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_fifo(dir / "pipe"));
  }
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(names(), (std::vector<std::string>{"pipe", "save.brz"}));
}

TEST_F(SaveSafetyTest, FailedWritesLeaveTheOldFileWhole) {
  writeText(path, "old");
  fs::create_directory(dir / "save.brz.tmp");
  EXPECT_FALSE(save(KeepPrevious::kBackup, path));
  EXPECT_EQ(error, path.string() + ": cannot create " + path.string() + ".tmp: Is a directory");
  fs::remove(dir / "save.brz.tmp");

  // Writes past 20 bytes fail (instead of the signal) until the limit is put back.
  rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 20;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved20 = save(KeepPrevious::kBackup, path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(saved20);
  EXPECT_EQ(error, path.string() + ": cannot write " + path.string() + ".tmp: File too large");
  EXPECT_EQ(readText(path), "old");
  EXPECT_EQ(names(), std::vector<std::string>{"save.brz"});
}

// Only a file that is there but cannot be read is one a save must keep.
TEST_F(SaveSafetyTest, LoadTellsAMissingFileFromAnUnreadableOne) {
  writeText(path, "a file, not a folder");
  const std::pair<fs::path, LoadResult> cases[] = {
      {dir / "none.brz", LoadResult::kMissing},
      {path / "save.brz", LoadResult::kMissing},  // not a folder on the way
      {dir, LoadResult::kUnreadable},
      {path, LoadResult::kMalformed},
  };
  for (const auto& [at, want] : cases) {
    Timeline loaded;
    EXPECT_EQ(loadProject(loaded, at.string(), &error), want) << at;
    EXPECT_EQ(error.rfind(at.string() + ": ", 0), 0u) << error;
  }
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
