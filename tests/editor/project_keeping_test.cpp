// The save key never destroys a project file: one the editor could not read, at start-up or on
// the load key, is kept under another name before the first save over it; later saves keep a backup.
#include <filesystem>

#include "editor_fixture.h"

namespace korvalin::test {
namespace {

TEST_F(EditorTest, AFileTheEditorCouldNotReadIsKeptBeforeTheFirstSaveOverIt) {
  const std::string junk = "not a project";
  for (const bool atStartUp : {true, false}) {
    std::filesystem::remove(path + ".unreadable");
    if (!atStartUp) startWith(Timeline());
    std::ofstream(path, std::ios::binary) << junk;
    testing::internal::CaptureStderr();
    if (atStartUp) editor = std::make_unique<Editor>(timeline, nullptr, path);
    if (!atStartUp) key(kKeyL);
    key(kKeyY);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              path + ": layer record 0 at byte 0: layer number 110 is outside 0-15\n" + path +
                  ": the file that could not be read is kept as " + path + ".unreadable\n");
    EXPECT_EQ(readFile(path + ".unreadable"), std::vector<uint8_t>(junk.begin(), junk.end()));
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
