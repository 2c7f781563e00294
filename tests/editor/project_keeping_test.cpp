// The save key never destroys a project file: one the editor could not read, at start-up or on
// the load key, is kept under another name before the first save over it; later saves keep a backup.
#include <filesystem>

#include "editor_fixture.h"

namespace korvalin::test {
namespace {

TEST_F(EditorTest, AFileTheEditorCouldNotReadIsKeptBeforeTheFirstSaveOverIt) {
  Timeline project;
  project.addClip(4, 1.0f, 2.0f, kCamera);
  const auto text = [&](const std::string& name) {
    const std::vector<uint8_t> bytes = readFile(path + name);
    return std::string(bytes.begin(), bytes.end());
  };
  for (const bool atStartUp : {true, false}) {
    std::filesystem::remove(path + ".unreadable");
    if (!atStartUp) startWith(project);
    std::ofstream(path, std::ios::binary) << "not a project";
    testing::internal::CaptureStderr();
    if (atStartUp) editor = std::make_unique<Editor>(timeline, nullptr, path);
    if (!atStartUp) key(kKeyL);
    key(kKeyY);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              path + ": layer record 0 at byte 0: layer number 110 is outside 0-15\n" + path +
                  ": the file that could not be read is kept as " + path + ".unreadable\n");
    EXPECT_EQ(text(".unreadable"), "not a project");
    EXPECT_EQ(readFile(path), encodeProject(timeline));
    // From then on the file is the editor's own: a backup, no second copy set aside.
    const std::vector<uint8_t> saved = readFile(path);
    key(kKeyY);
    EXPECT_EQ(readFile(path + ".bak"), saved);
    EXPECT_FALSE(std::filesystem::exists(path + ".unreadable.1"));
  }
}

}  // namespace
}  // namespace korvalin::test
