// The save key never destroys a project file: one the editor could not read is kept under
// another name before the first save over it, and every other save keeps a backup.
#include <filesystem>

#include "editor_fixture.h"

namespace korvalin::test {
namespace {

namespace fs = std::filesystem;

class ProjectKeepingTest : public EditorTest {
 protected:
  void TearDown() override {
    EditorTest::TearDown();
    fs::remove_all(dir);
  }
  std::string text(const std::string& name) {
    const std::vector<uint8_t> bytes = readFile(dir + "/" + name);
    return std::string(bytes.begin(), bytes.end());
  }
  void writeText(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
  // Presses a key and returns what it printed on standard error.
  std::string keyOutput(uint8_t code) {
    testing::internal::CaptureStderr();
    key(code);
    return testing::internal::GetCapturedStderr();
  }
  static std::string emptyProject() {
    const std::vector<uint8_t> bytes = encodeProject(Timeline());
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(ProjectKeepingTest, AFileRejectedAtStartUpIsKeptBeforeTheFirstSave) {
  const std::string rejected("\x00\x01\x00\x09junk", 8);
  writeText(rejected);
  testing::internal::CaptureStderr();
  editor = std::make_unique<Editor>(timeline, nullptr, path);
  EXPECT_NE(testing::internal::GetCapturedStderr().find(path), std::string::npos);

  EXPECT_EQ(keyOutput(kKeyY), path + ": the file that could not be read is kept as " + path + ".unreadable\n");
  EXPECT_EQ(text("save.brz.unreadable"), rejected);
  EXPECT_EQ(text("save.brz"), emptyProject());

  // From then on the file is the editor's own: the next save keeps a backup, no second copy.
  timeline.addClip(3, 1.0f, 1.0f, kBox);
  EXPECT_EQ(keyOutput(kKeyY), "");
  EXPECT_EQ(text("save.brz.bak"), emptyProject());
  EXPECT_FALSE(fs::exists(path + ".unreadable.1"));
  EXPECT_EQ(text("save.brz.unreadable"), rejected);
}

TEST_F(ProjectKeepingTest, AFileRejectedOnTheLoadKeyIsKeptToo) {
  Timeline project;
  project.addClip(4, 1.0f, 2.0f, kCamera);
  startWith(project);
  writeText("changed behind the editor's back");
  EXPECT_NE(keyOutput(kKeyL).find(path), std::string::npos);
  EXPECT_NE(keyOutput(kKeyY).find(path + ".unreadable"), std::string::npos);
  EXPECT_EQ(text("save.brz.unreadable"), "changed behind the editor's back");
  EXPECT_EQ(readFile(path), encodeProject(project)) << "the project in memory is what was saved";

  // A good load makes the file a project again: a backup, not a second unreadable copy.
  writeText("broken again");
  key(kKeyL);
  writeProject(project);
  key(kKeyL);
  EXPECT_EQ(keyOutput(kKeyY), "");
  EXPECT_EQ(readFile(path + ".bak"), encodeProject(project));
  EXPECT_FALSE(fs::exists(path + ".unreadable.1"));
}

}  // namespace
}  // namespace korvalin::test
