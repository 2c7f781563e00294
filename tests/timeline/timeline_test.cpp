#include "timeline/project_file.h"
#include "timeline/sidecar.h"
#include "timeline/timeline.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>
#include <utility>

// Faults the file system seldom shows, on demand: the next call of each fails once with the
// errno set here (EINTR: interrupted, to be retried). Every fsync records what it flushed.
struct Faults {
  int write = 0, read = 0, fsync = 0, close = 0;
  bool writeNothing = false, writeOne = false;  // the next write returns 0, or writes one byte
  std::vector<std::string> synced;
} faults;
bool failOnce(int& err) { return err != 0 && (errno = std::exchange(err, 0)) != 0; }
extern "C" ssize_t write(int fd, const void* b, size_t n) {
  if (std::exchange(faults.writeNothing, false)) return 0;
  if (failOnce(faults.write)) return -1;
  return syscall(SYS_write, fd, b, std::exchange(faults.writeOne, false) ? 1 : n);
}
extern "C" ssize_t read(int fd, void* b, size_t n) { return failOnce(faults.read) ? -1 : syscall(SYS_read, fd, b, n); }
extern "C" int fsync(int fd) {
  faults.synced.push_back(std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd)));
  return failOnce(faults.fsync) ? -1 : int(syscall(SYS_fsync, fd));
}
extern "C" int close(int fd) {
  // Only the written file's close can fail; a save also opens and closes files it only checks.
  std::error_code none;
  const std::string name = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), none).string();
  const int result = int(syscall(SYS_close, fd));
  return name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0 && failOnce(faults.close) ? -1 : result;
}

namespace korvalin {
namespace {

namespace fs = std::filesystem;

template <class T = std::vector<uint8_t>>
T readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return T(std::istreambuf_iterator<char>(in), {});
}
std::string text(const std::string& path) { return readFile<std::string>(path); }
long entries(const fs::path& dir) { return std::distance(fs::directory_iterator(dir), {}); }
bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// A fresh folder per test, and a project with a clip selected so that a stray clear shows.
class ProjectFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "korvalin-project-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = (dir / kProjectFileName).string();
    work.addClip(7, 3.0f, 4.0f, kModel3D);
    work.editMode = kEditClip;
    workBytes = encodeProject(work);
  }
  void TearDown() override { fs::remove_all(dir); }

  // What a failed load or save must leave alone.
  void expectWorkUnchanged() { EXPECT_TRUE(encodeProject(work) == workBytes && work.editMode == kEditClip); }
  bool save(KeepPrevious keep, const std::string& at) { return saveProject(work, at, &error, keep, &notice); }

  std::string error, notice, path;
  fs::path dir;
  Timeline work;
  std::vector<uint8_t> workBytes;
};

void select(Timeline& t, int layer, int clip) {
  std::tie(t.editMode, t.selectedLayer, t.selectedClip) = std::tuple(int32_t{kEditClip}, layer, clip);
}

// The table fixes names, colours and the file's layout: a clip record is 12 bytes and 4 per
// parameter. A new clip takes its type's count and colour; what a file could not hold is refused.
TEST(Timeline, OperatorTypesFixNamesColoursAndRecordSizes) {
  Timeline t;
  std::vector<std::tuple<std::string, int, int, int>> rows;  // name, parameters, colour, layer
  for (int type = 0; type < kOperatorTypeCount; ++type) {
    ASSERT_TRUE(t.addClip(type, 0.0f, 1.0f, type));
    rows.emplace_back(t.operatorTypes[type].name, t.layerClipParams[type][0]->paramCount,
                      t.tracks[type].bars[0].colourClass, t.tracks[type].index);
  }
  EXPECT_EQ(rows, (decltype(rows){{"Layer 2D", 3, 1, 0}, {"Box", 4, 1, 1}, {"Camera", 13, 0, 2}, {"Start rend to Tex", 2, 3, 3},
                                  {"End rend to Tex", 3, 3, 4}, {"Model 3D", 8, 1, 5}, {"Flat", 6, 1, 6}}));
  EXPECT_EQ(encodeProject(t).size(), 16 * 3 + 7 * 12 + (3 + 4 + 13 + 2 + 3 + 8 + 6) * 4);
  EXPECT_TRUE(paramCountOf(-1) == 0 && paramCountOf(7) == 0 && paramCountOf(kCamera) == 13);
  for (auto [layer, type] : {std::pair{-1, 1}, {16, 1}, {0, -1}, {0, 7}}) EXPECT_FALSE(t.addClip(layer, 0, 1, type));
}

// Removing, copying and refreshing keep the sequences matched; keys that name no clip do nothing.
TEST(Timeline, DeleteDuplicateAndSyncKeepTheSequencesMatched) {
  Timeline t;
  auto matched = [&t] {  // layer 0's four sequences have one entry per clip
    const size_t n = t.layerClipTypes[0].size();
    return t.layerClipTimes[0].size() == n && t.layerClipParams[0].size() == n && t.tracks[0].bars.size() == n;
  };
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(t.addClip(0, float(i), 2.0f, i == 1 ? kCamera : kFlat));
    (*t.layerClipParams[0][i])[0] = 10.0f + float(i);
  }
  const ParameterBlock* third = t.layerClipParams[0][2].get();
  select(t, 0, 1);
  t.deleteSelectedClip();
  ASSERT_TRUE(t.editMode == kEditNothing && t.clipCount(0) == 2);
  EXPECT_TRUE((*t.layerClipParams[0][1])[0] == 12.0f && t.layerClipParams[0][1].get() == third) << "panels point into blocks";
  t.deleteSelectedClip();
  t.duplicateSelectedClip();
  for (auto [layer, clip] : {std::pair{0, 2}, {0, -1}, {16, 0}, {-1, 0}}) {
    select(t, layer, clip);
    t.duplicateSelectedClip();
    t.removeClip(layer, clip);
    t.syncClipTimes(layer);
  }
  t.removeLayerClip(3, 0);
  ASSERT_TRUE(t.editMode == kEditNothing && t.clipCount(0) == 2 && matched());

  // The copy goes to the end of the layer, starting where the clip ends by its record (a bar
  // being dragged may be ahead of it).
  for (int k = 0; k < 6; ++k) (*t.layerClipParams[0][0])[k] = float(k) + 0.5f;
  t.tracks[0].bars[0].start = 100.0f;
  t.tracks[0].bars[1].length = 7.0f;
  select(t, 0, 0);
  t.duplicateSelectedClip();
  ASSERT_TRUE(t.clipCount(0) == 3 && t.editMode == kEditClip);
  EXPECT_TRUE(t.layerClipTimes[0][2].start == 2.0f && t.layerClipTimes[0][2].length == 2.0f);
  for (int k = 0; k < 6; ++k) EXPECT_EQ((*t.layerClipParams[0][2])[k], float(k) + 0.5f);
  t.syncAllClipTimes();
  EXPECT_TRUE(t.layerClipTimes[0][0].start == 100.0f && t.layerClipTimes[0][1].length == 7.0f && matched());

  // A full layer refuses the copy without touching its last clip. The file's count is an int16,
  // low byte first.
  while (t.clipCount(0) < kMaxClipsPerLayer) ASSERT_TRUE(t.addClip(0, 0, 1, kFlat));
  t.duplicateSelectedClip();
  EXPECT_TRUE(!t.addClip(0, 0, 1, kFlat) && (*t.layerClipParams[0].back())[0] == 0.0f);
  EXPECT_TRUE(encodeProject(t)[1] == 0xFF && encodeProject(t)[2] == 0x7F);

  // Emptying closes the selection only where there was something to remove.
  t.clear();
  EXPECT_TRUE(t.editMode == kEditNothing && t.clipCount(0) == 0 && matched());
  select(t, 4, 0);
  t.clear();
  EXPECT_EQ(t.editMode, kEditClip);
}

// The file of one Box on layer 0 is written out byte by byte. Bad files get one line naming the
// file and where, and the project stays as it was. Records may come in any order, with bytes
// after the sixteenth. Every type comes back bit for bit (-0, NaNs with payloads, one signalling,
// denormals, infinities, the largest finite); the load closes the selection, and the bars carry
// the loaded times. A count below 0 is no clips, written back as 0.
TEST_F(ProjectFileTest, FilesLoadBitForBitInAnyRecordOrderAndBadOnesChangeNothing) {
  // Start 0.5, length 1, parameters 90, 0, 0, 1; the other layers empty from byte 31 on.
  std::vector<uint8_t> good = {0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0x3F, 0, 0, 0x80, 0x3F,
                               0, 0, 0xB4, 0x42, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x3F};
  for (uint8_t layer = 1; layer < kLayerCount; ++layer) good.insert(good.end(), {layer, 0, 0});
  Timeline box;
  box.addClip(0, 0.5f, 1.0f, kBox);
  *box.layerClipParams[0][0] = ParameterBlock{4, {90, 0, 0, 1}};
  ASSERT_TRUE(saveProject(box, path, &error) && readFile(path) == good) << error;
  const std::tuple<size_t, std::vector<uint8_t>, size_t, const char*> cases[] = {  // patched at, with, cut to
      {31, {16}, 76, "layer record 1 at byte 31: layer number 16 is outside 0-15"},
      {31, {0xFF}, 76, "layer record 1 at byte 31: layer number -1 is outside 0-15"},
      {34, {1}, 76, "layer record 2 at byte 34: layer number 1 occurs twice"},
      {3, {7, 0, 0, 0}, 76, "layer record 0 at byte 3: operator type 7 of clip 0 is outside 0-6"},
      {3, {0, 0, 0, 0x80}, 76, "operator type -2147483648 of clip 0 is outside 0-6"},
      {1, {2, 0}, 76, "layer record 0 at byte 31: operator type 33554433 of clip 1"},  // reads the next header as a clip
      {0, {}, 0, "layer record 0 at byte 0: the file ends inside the layer header (0 bytes in all)"},
      {3, {9}, 7, "layer record 0 at byte 3: operator type 9 of clip 0 is outside 0-6"},
      {0, {}, 20, "layer record 0 at byte 3: the file ends inside clip 0 (20 bytes in all)"},
      {0, {}, 31, "layer record 1 at byte 31: the file ends inside the layer header (31 bytes"},
      {0, {}, 75, "layer record 15 at byte 73: the file ends inside the layer header"},
  };
  for (const auto& [at, patch, size, want] : cases) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + long(size));
    std::copy(patch.begin(), patch.end(), bytes.begin() + long(at));
    EXPECT_TRUE(decodeProject(work, bytes.data(), size, "save.brz", &error) == LoadResult::kMalformed &&
                startsWith(error, "save.brz: ") && error.find(want) != std::string::npos && error.find('\n') == std::string::npos)
        << error;
    expectWorkUnchanged();
  }
  const uint32_t bits[] = {0x80000000u, 0x7FC01234u, 0xFF800001u, 0x00000001u, 0x807FFFFFu, 0x7F800000u, 0xFF7FFFFFu, 0x3F800000u};
  float special[8];
  std::memcpy(special, bits, sizeof special);
  Timeline source;
  for (int type = 0; type < kOperatorTypeCount; ++type) {
    source.addClip(type == 0 ? 0 : 15, special[type], special[(type + 3) % 8], type);
    ParameterBlock& block = *source.layerClipParams[type == 0 ? 0 : 15].back();
    for (int k = 0; k < block.paramCount; ++k) block[k] = special[(type + k) % 8];
  }
  const std::vector<uint8_t> ordered = encodeProject(source);
  std::vector<uint8_t> shuffled = ordered;  // layers 1 to 15, then 0 with its Layer 2D
  std::rotate(shuffled.begin(), shuffled.begin() + 3 + 24, shuffled.end());
  shuffled.insert(shuffled.end(), {0xFF, 0xFF, 0xFF, 0x07});
  shuffled[1] = shuffled[2] = shuffled[4] = 0xFF;  // layer 1's count -1, layer 2's -32513
  shuffled[5] = 0x80;
  ASSERT_EQ(decodeProject(work, shuffled.data(), shuffled.size(), "x", &error), LoadResult::kLoaded) << error;
  EXPECT_TRUE(work.editMode == kEditNothing && encodeProject(work) == ordered);
  work.syncAllClipTimes();
  EXPECT_EQ(encodeProject(work), ordered);
}

// Nothing is read from what is not a project; a save that cannot finish leaves the old file
// whole, no temporary file and no open descriptor behind, and says so in one line naming the file.
TEST_F(ProjectFileTest, FailedLoadsAndSavesChangeNothing) {
  const long files = entries("/proc/self/fd");
  std::ofstream(path + ".tmp") << std::string(workBytes.begin(), workBytes.end() - 1);
  // The temporary file a crash left is one byte short; /dev/zero ends at the largest project.
  const std::pair<std::string, LoadResult> loads[] = {{path, LoadResult::kMissing}, {path + ".tmp/x", LoadResult::kMissing},
      {dir.string(), LoadResult::kUnreadable}, {path + ".tmp", LoadResult::kMalformed}, {"/dev/zero", LoadResult::kMalformed}};
  for (const auto& [at, want] : loads)
    EXPECT_TRUE(loadProject(work, at, &error) == want && startsWith(error, at + ": ")) << at << " | " << error;
  expectWorkUnchanged();

  const std::vector<uint8_t> old = {1, 2, 3};
  ::umask(022);
  ASSERT_TRUE(saveProjectBytes(old, path, &error) && !fs::exists(path + ".tmp")) << error;
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directory(path + ".tmp");  // the temporary file cannot be created
  EXPECT_TRUE(!saveProject(work, path, &error) && startsWith(error, path + ": cannot create")) << error;
  fs::remove(path + ".tmp");
  for (auto [fault, step] : {std::pair{&faults.write, "write"}, {&faults.fsync, "flush"}, {&faults.close, "close"}}) {
    *fault = EIO;
    EXPECT_TRUE(!saveProject(work, path, &error) && startsWith(error, path + ": cannot " + step) && !fs::exists(path + ".tmp")) << error;
  }
  EXPECT_EQ(readFile(path), old);
  // Renaming over a folder would destroy it.
  EXPECT_TRUE(!saveProject(work, dir.string(), &error) && error == dir.string() + ": not a regular file; nothing saved") << error;
  EXPECT_TRUE(fs::is_directory(dir) && entries(dir) == 1 && entries("/proc/self/fd") == files);
  expectWorkUnchanged();

  // Interrupted calls and short writes (of nothing, of one byte) go on, and a stale temporary
  // file from a crash is no obstacle. The file is flushed, then the folder that names it; the
  // user's permissions survive. With standard input closed, descriptor 0 is handed out like any
  // other.
  std::ofstream(path + ".tmp") << "junk";
  faults = Faults{EINTR, EINTR, 0, 0, true, true, {}};
  const fs::path home = fs::current_path();
  fs::current_path(dir);
  const int input = ::dup(0);
  ::close(0);
  const bool saved = saveProject(work, kProjectFileName, &error);
  const LoadResult loaded = loadProject(work, path, &error);
  ::dup2(input, 0);
  ::close(input);
  fs::current_path(home);
  EXPECT_TRUE(saved && loaded == LoadResult::kLoaded && encodeProject(work) == workBytes && !fs::exists(path + ".tmp")) << error;
  EXPECT_EQ(faults.synced, (std::vector<std::string>{path + ".tmp", dir.string()}));
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

// What a save replaces is kept as a backup, or under a free name when it could not be read;
// a backup that cannot be made stops the save before anything is replaced.
TEST_F(ProjectFileTest, TheReplacedFileIsKeptAsBackupOrUnderAFreeUnreadableName) {
  ASSERT_TRUE(save(KeepPrevious::kBackup, path) && !fs::exists(path + ".bak")) << "nothing to keep on the first save: " << error;
  work.addClip(0, 0.0f, 1.0f, kBox);
  ASSERT_TRUE(save(KeepPrevious::kBackup, path)) << error;
  for (const std::string kept : {"", ".1", ".2"}) {
    std::ofstream(path) << "junk" + kept;
    ASSERT_TRUE(save(KeepPrevious::kUnreadable, path)) << error;
    EXPECT_TRUE(readFile(path) == encodeProject(work) && text(path + ".unreadable" + kept) == "junk" + kept);
    EXPECT_EQ(notice, path + ": the file that could not be read is kept as " + path + ".unreadable" + kept);
  }
  EXPECT_EQ(readFile(path + ".bak"), workBytes);
  fs::remove(path);
  notice.clear();
  EXPECT_TRUE(save(KeepPrevious::kUnreadable, path) && notice.empty()) << "nothing to keep, nothing said";
  fs::remove(path + ".bak");
  fs::create_directories(path + ".bak/inside");
  EXPECT_FALSE(save(KeepPrevious::kBackup, path));
  EXPECT_EQ(error, path + ": cannot keep the old file as " + path + ".bak: Is a directory; nothing saved");
  EXPECT_TRUE(readFile(path) == encodeProject(work) && !fs::exists(path + ".tmp"));
}

// A link is saved through as far as opening would follow it (absolute, then relative links),
// also when it dangles.
TEST_F(ProjectFileTest, ALinkIsSavedThroughAsFarAsOpeningWouldFollowIt) {
  fs::create_directory(dir / "projects");
  const std::string target = (dir / "projects" / "demo.brz").string();
  std::ofstream(target) << "old project";
  fs::permissions(target, fs::perms(0640));
  fs::create_symlink("projects/demo.brz", path);
  fs::create_symlink(path, dir / "chain2");
  for (int n = 3; n <= 41; ++n) fs::create_symlink("chain" + std::to_string(n - 1), dir / ("chain" + std::to_string(n)));
  ASSERT_TRUE(save(KeepPrevious::kBackup, (dir / "chain40").string())) << error;
  EXPECT_EQ(fs::read_symlink(path), "projects/demo.brz");
  EXPECT_TRUE(readFile(target) == workBytes && fs::status(target).permissions() == fs::perms(0640));
  EXPECT_EQ(text(target + ".bak"), "old project");
  EXPECT_FALSE(save(KeepPrevious::kBackup, (dir / "chain41").string()));
  EXPECT_EQ(error, (dir / "chain41").string() + ": cannot follow the link: Too many levels of symbolic links");
  fs::create_symlink("projects/new.brz", dir / "dangling");
  EXPECT_TRUE(save(KeepPrevious::kBackup, (dir / "dangling").string()) && readFile((dir / "projects" / "new.brz").string()) == workBytes)
      << error;
}

// A write-protected file stays as it was, though the folder would allow a rename over it. Root
// may write anything: the save runs in a child that has become the user nobody.
TEST_F(ProjectFileTest, AFileTheUserMayNotWriteIsLeftAsItWas) {
  const uid_t user = ::getuid() == 0 ? 65534 : ::getuid();
  std::ofstream(path) << "the only copy";
  ASSERT_EQ(::chown(path.c_str(), user, user) + ::chown(dir.c_str(), user, user), 0);
  fs::permissions(path, fs::perms(0444));
  const pid_t child = ::fork();
  if (child == 0) {
    if (::getuid() == 0 && (::setgid(user) != 0 || ::setuid(user) != 0)) ::_exit(3);
    ::_exit(save(KeepPrevious::kBackup, path) ? 0 : error == path + ": cannot open for writing: Permission denied" ? 1 : 2);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 1) << "0: saved, 2: another message, 3: cannot become nobody";
  EXPECT_TRUE(text(path) == "the only copy" && entries(dir) == 1);
}

// The sidecar keeps every line it cannot read as it was and warns once, naming the first; the
// last readable value of a key wins. Setting a key rewrites its first line and drops the others.
// It is written whole through a temporary file, or not at all; with nothing left the file goes.
TEST_F(ProjectFileTest, TheSidecarRewritesOnlyItsOwnLines) {
  const std::string mine = "# tempo = 1\n tempo = 120 \nx = 1e999\n\n42\nk-y = 2\n = 3\nv =\nv = 2x\ntempo\t=\t140\r\nloop=-0.5\n"
                           "loop = 2\naz_AZ09 = 7\n";
  Sidecar s = Sidecar::parse(mine, "m.meta", &error);
  EXPECT_EQ(error, "m.meta: line 3: 'x = 1e999' is not 'key = number'; ignored (6 such lines)");
  EXPECT_TRUE(s.number("tempo") == 140.0 && s.number("loop") == 2.0 && s.number("az_AZ09") == 7.0 && !s.number("x") &&
              !s.number("42") && !s.number("v") && !s.number("k-y"));
  EXPECT_EQ(s.text(), mine);
  s.setNumber("loop", 3.25);
  s.setNumber("tempo", std::nullopt);
  s.setNumber("az_AZ09", std::nullopt);
  s.setNumber("new_1", 1e70);
  EXPECT_EQ(s.text(), "# tempo = 1\nx = 1e999\n\n42\nk-y = 2\n = 3\nv =\nv = 2x\nloop = 3.250000\nnew_1 = " +
                          std::string("10000000000000000725314363815292351261583744096465219555182101554790400.000000\n"));
  EXPECT_EQ(Sidecar::parse(s.text(), "", nullptr).number("new_1"), 1e70);
  Sidecar::parse("a = b\n", "n", &error);
  EXPECT_EQ(error, "n: line 1: 'a = b' is not 'key = number'; ignored");

  EXPECT_TRUE(s.write(path, &error) && Sidecar::read(path, nullptr).text() == s.text()) << error;
  for (int* fault : {&faults.write, &faults.close}) {
    *fault = EIO;
    EXPECT_FALSE(Sidecar::parse("a = 1", "", nullptr).write(path + "x", &error));
    EXPECT_EQ(error, path + "x: cannot write " + path + "x.tmp: Input/output error");
  }
  const std::string full = (dir / "full").string(), none = (dir / "none" / "m").string();
  fs::create_directories(full + "/inside");
  EXPECT_TRUE(!Sidecar::parse("a = 1", "", nullptr).write(full, &error) && startsWith(error, full + ": cannot replace the file: ")) << error;
  EXPECT_TRUE(!Sidecar().write(full, &error) && startsWith(error, full + ": cannot remove: ")) << error;
  EXPECT_TRUE(!s.write(none, &error) && startsWith(error, none + ": cannot create ")) << error;
  errno = 0;
  ASSERT_TRUE(Sidecar().write(path, &error) && Sidecar().write(path, &error));  // the second finds nothing to remove
  EXPECT_EQ(entries(dir), 1);
}

}  // namespace
}  // namespace korvalin
