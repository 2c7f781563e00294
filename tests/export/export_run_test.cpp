// The whole export in-process, on a run folder of the test's own: the demo's pictures and
// project beside music written here, or none.
#include <sys/stat.h>

#include <thread>

#include "shell/export_run.h"
#include "tests/export/export_fixture.h"

namespace korvalin {
namespace {

using namespace test;

const std::string kRun = tempPath("run");

class ExportRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string from = KORVALIN_RUN_DIR;
    capture("mkdir -p " + kRun + "/data && ln -sf " + from + "/*.bmp " + from + "/save.brz " + kRun + " && ln -sf " +
            from + "/data/*.jpg " + from + "/data/*.3DS " + kRun + "/data");
    const std::string stereo = readFile(writeTone("tone.ogg", 44100, 2, 3));
    writeTone("mono.ogg", 22050, 1);
    std::ofstream(tempPath("chained.ogg"), std::ios::binary) << stereo << readFile(writeTone("c.ogg", 44100, 1, 1, 2));
    std::string bytes = readFile(writeTone("damaged.ogg", 44100, 2, 6));
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 600; ++i) bytes[i] = static_cast<char>(i * 37);
    std::ofstream(tempPath("damaged.ogg"), std::ios::binary) << bytes;
    std::ofstream(tempPath("junk.ogg")) << "junk";
  }

  // The export of `args` in the run folder with tempPath(music) as its music ("": none); its
  // standard error in `said`.
  static int run(const std::string& music, std::vector<const char*> args, std::string* said, ExportStats* stats = nullptr) {
    const std::string link = kRun + "/data/Vavorerid_by__qx_.ogg";
    std::remove(link.c_str());
    if (!music.empty()) EXPECT_EQ(symlink(tempPath(music).c_str(), link.c_str()), 0);
    args.insert(args.begin(), "korvalin");
    ExportOptions options;
    std::string error;
    EXPECT_EQ(parseExportCommand(static_cast<int>(args.size()), args.data(), &options, &error), ExportCommand::kExport);
    char cwd[4096];
    EXPECT_TRUE(getcwd(cwd, sizeof cwd) && chdir(kRun.c_str()) == 0);
    ::testing::internal::CaptureStderr();
    const int status = runExport(options, stats);
    *said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(chdir(cwd), 0);
    return status;
  }
  static std::string probe(const std::string& file) {
    return capture("ffprobe -v error -of csv=p=0 -show_entries stream=codec_name,width,height,sample_rate,channels " +
                   kRun + "/" + file);
  }
  static double duration(const std::string& file, const char* stream) {
    return number(capture("ffprobe -v error -of default=nw=1 -show_entries stream=duration -select_streams " +
                          std::string(stream) + " " + kRun + "/" + file),
                  "duration=");
  }
};

TEST_F(ExportRun, TheMusicsRangeFramesAndSound) {
  std::string said;
  ExportStats stats;
  ASSERT_EQ(run("tone.ogg", {"--export", "a.mp4", "--from", "1", "--to", "2", "--fps", "24"}, &said, &stats), 0) << said;
  EXPECT_EQ(probe("a.mp4"), "h264,640,480\naac,44100,2\n");
  EXPECT_TRUE(stats.frames == 24 && stats.videoSeconds == 1.0);
  EXPECT_NEAR(duration("a.mp4", "a"), 1.0, 1e-3);
  const std::vector<float> heard = sound(kRun + "/a.mp4", 0.2, 44100);
  EXPECT_GT(correlation(heard, toneAt(1.2, 44100, 2, heard.size())), 0.95);
  EXPECT_LT(correlation(heard, toneAt(0.2, 44100, 2, heard.size())), 0.5);
  // Ten plain progress lines, then the file.
  EXPECT_NE(said.find("frame 3 of 24 (12%)"), std::string::npos) << said;
  EXPECT_NE(said.find("frame 24 of 24 (100%), "), std::string::npos) << said;
  EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 11) << said;
  EXPECT_NE(said.find("korvalin: wrote a.mp4: 24 frames, 1.00 s in "), std::string::npos) << said;

  // Mono music stays mono at its own rate, the whole of it.
  ASSERT_EQ(run("mono.ogg", {"--export", "m.mp4", "--fps", "24"}, &said, &stats), 0) << said;
  EXPECT_EQ(probe("m.mp4"), "h264,640,480\naac,22050,1\n");
  EXPECT_EQ(stats.frames, 48);
  EXPECT_NEAR(duration("m.mp4", "a"), 2.0, 1.0 / 24);

  ASSERT_EQ(run("tone.ogg", {"--export", "w.webm", "--scale", "2", "--crf", "40", "--to", "0.5", "--fps", "24"}, &said), 0);
  EXPECT_EQ(probe("w.webm"), "vp9,1280,960\nopus,48000,2\n");
}

// Damaged music costs the sound where it is damaged, not the video nor the sound after it.
TEST_F(ExportRun, DamagedMusicGoesOnWithSilence) {
  std::string said;
  ASSERT_EQ(run("damaged.ogg", {"--export", "d.mp4", "--from", "2", "--to", "6", "--fps", "24"}, &said), 0) << said;
  const double at = number(said, "korvalin: data/Vavorerid_by__qx_.ogg: damaged Ogg Vorbis data at ");
  EXPECT_TRUE(at > 2 && at < 4) << said;
  EXPECT_NE(said.find(" s; silence stands in for what cannot be decoded\n"), std::string::npos) << said;
  EXPECT_NEAR(duration("d.mp4", "a"), duration("d.mp4", "v"), 1e-3);
  const std::vector<float> heard = sound(kRun + "/d.mp4", 3.5, 44100);
  EXPECT_GT(correlation(heard, toneAt(5.5, 44100, 2, heard.size())), 0.95);
}

TEST_F(ExportRun, RefusalsAndErrorsLeaveNoFile) {
  mkdir((kRun + "/folder.mp4").c_str(), 0755);
  std::ofstream(kRun + "/old.mp4") << "keep";
  const struct {
    const char* music;
    std::vector<const char*> args;
    int status;
    std::string says;
  } cases[] = {
      {"chained.ogg", {"--export", "x.mp4"}, 1, "data/Vavorerid_by__qx_.ogg: changes sample rate or channel count part-way\n"},
      {"junk.ogg", {"--export", "x.mp4"}, 1, "data/Vavorerid_by__qx_.ogg: not Ogg Vorbis data\n"},
      {"tone.ogg", {"--export", "x.mp4", "--from", "3"}, 2, "--from 3 is not before the end of the music (3.000 s)\n"},
      {"tone.ogg", {"--export", "old.mp4"}, 2, "old.mp4 exists; add --force to replace it\n"},
      {"tone.ogg", {"--export", "folder.mp4", "--force"}, 2, "folder.mp4 is a folder\n"},
      {"tone.ogg", {"--export", "no/x.mp4"}, 1, "cannot write no/x.mp4.part: No such file or directory\n"},
  };
  for (const auto& c : cases) {
    std::string said;
    EXPECT_EQ(run(c.music, c.args, &said), c.status) << said;
    EXPECT_EQ(said, "korvalin: " + c.says);
  }
  EXPECT_EQ(readFile(kRun + "/old.mp4"), "keep");
  EXPECT_EQ(access((kRun + "/x.mp4").c_str(), F_OK), -1);
  EXPECT_EQ(access((kRun + "/x.mp4.part").c_str(), F_OK), -1);

  std::string said;
  ASSERT_EQ(run("tone.ogg", {"--export", "old.mp4", "--force", "--to", "0.1", "--fps", "30"}, &said), 0) << said;
  EXPECT_EQ(probe("old.mp4"), "h264,640,480\naac,44100,2\n");
  // A file that appears under the name while the export runs is kept, the video left beside it.
  std::thread planter([] {
    while (access((kRun + "/late.mp4.part").c_str(), F_OK) != 0) std::this_thread::yield();
    std::ofstream(kRun + "/late.mp4") << "keep";
  });
  EXPECT_EQ(run("tone.ogg", {"--export", "late.mp4", "--to", "0.5", "--fps", "24"}, &said), 2);
  planter.join();
  EXPECT_NE(said.find("korvalin: late.mp4 appeared while exporting; add --force to replace it (the video is in late.mp4.part)\n"),
            std::string::npos) << said;
  EXPECT_EQ(readFile(kRun + "/late.mp4"), "keep");

  // Without music: silent, to the last clip's end.
  EXPECT_EQ(run("", {"--export", "s.mkv", "--to", "1000"}, &said), 2);
  const double end = number(said, "past the end of the last clip (");
  ASSERT_EQ(run("", {"--export", "s.mkv", "--fps", "24", "--from", std::to_string(end - 0.49).c_str()}, &said), 0) << said;
  EXPECT_EQ(said.rfind("korvalin: no music (data/Vavorerid_by__qx_.ogg is missing): the video is silent and ends with the last clip at ", 0), 0u) << said;
  EXPECT_EQ(probe("s.mkv"), "h264,640,480\n");
}

}  // namespace
}  // namespace korvalin
