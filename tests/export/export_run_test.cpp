// The whole export in-process, on a run folder of the test's own: the demo's pictures and
// project beside music written here, or none.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <thread>

#include "shell/export_run.h"
#include "tests/export/export_fixture.h"
#include "timeline/project_file.h"
#include "timeline/timeline.h"

// The no-replace rename, refused as a file system without it refuses it while gNoRenameat2 is set.
bool gNoRenameat2 = false;

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept {
  if (gNoRenameat2) return errno = EINVAL, -1;
  return static_cast<int>(syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

// The x264 preset of the exports that follow, where not the default.
const char* gPreset = nullptr;

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
    std::ofstream(tempPath("chained.ogg")) << stereo << readFile(writeTone("c.ogg", 44100, 1, 1, 2));
    writeDamaged("damaged.ogg");
    std::ofstream(tempPath("junk.ogg")) << "junk";
  }

  // The export of `args` in the run folder with tempPath(music) as its music ("": none); its
  // standard error in `said`, written to a terminal when `terminal` is set.
  static int run(const std::string& music, std::vector<const char*> args, std::string* said, ExportStats* stats = nullptr,
                 bool terminal = false) {
    const std::string link = kRun + "/data/Vavorerid_by__qx_.ogg";
    std::remove(link.c_str());
    if (!music.empty()) { EXPECT_EQ(symlink(tempPath(music).c_str(), link.c_str()), 0); }
    args.insert(args.begin(), "korvalin");
    ExportOptions options;
    std::string error;
    EXPECT_EQ(parseExportCommand(static_cast<int>(args.size()), args.data(), &options, &error), ExportCommand::kExport);
    if (gPreset != nullptr) options.preset = gPreset;
    char cwd[4096];
    EXPECT_TRUE(getcwd(cwd, sizeof cwd) && chdir(kRun.c_str()) == 0);
    const int status = terminal ? onTerminal([&] { return runExport(options, stats); }, said) : capturing(options, stats, said);
    EXPECT_EQ(chdir(cwd), 0);
    return status;
  }
  static int capturing(const ExportOptions& options, ExportStats* stats, std::string* said) {
    ::testing::internal::CaptureStderr();
    const int status = runExport(options, stats);
    *said = ::testing::internal::GetCapturedStderr();
    return status;
  }
  // Runs `work` with standard error on a pseudo-terminal that passes bytes unchanged.
  static int onTerminal(const std::function<int()>& work, std::string* said) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_TRUE(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    termios raw;
    tcgetattr(terminal, &raw);
    cfmakeraw(&raw);
    tcsetattr(terminal, TCSANOW, &raw);
    const int saved = dup(STDERR_FILENO);
    dup2(terminal, STDERR_FILENO);
    const int status = work();
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(terminal);
    said->clear();
    char chunk[4096];
    for (ssize_t n; (n = read(master, chunk, sizeof chunk)) > 0;) said->append(chunk, n);
    close(master);
    return status;
  }
  static std::string probe(const std::string& file, const char* entries = "codec_name,width,height,sample_rate,channels") {
    return capture("ffprobe -v error -of csv=p=0 -show_entries stream=" + std::string(entries) + " " + kRun + "/" + file);
  }
};

// Sound as long as the pictures whatever the music's shape: mono stays mono at its own rate;
// damaged music loses its sound where it is damaged, not the sound after it.
TEST_F(ExportRun, MusicOfEveryShape) {
  gPreset = "ultrafast";
  const struct {
    const char* music;
    std::vector<const char*> args;
    const char* streams;
    int64_t frames;
    double heard, played;  // the video's sound at `heard` s is the music's at `played` s
    const char* says;
  } cases[] = {
      {"tone.ogg", {"--export", "a.mp4", "--from", "1", "--to", "2", "--crf", "10"}, "h264,640,480\naac,44100,2\n", 24, 0.2, 1.2,
       "korvalin: frame 3 of 24 (12%), "},
      {"mono.ogg", {"--export", "m.mp4"}, "h264,640,480\naac,22050,1\n", 48, -1, 0, "korvalin: frame 48 of 48 (100%), "},
      {"damaged.ogg", {"--export", "d.mp4", "--from", "2", "--to", "6"}, "h264,640,480\naac,44100,2\n", 96, 3.5, 5.5,
       " s; silence stands in for what cannot be decoded\nkorvalin: wrote d.mp4: 96 frames, 4.00 s in "},
      {"tone.ogg", {"--export", "w.webm", "--scale", "2", "--crf", "40", "--to", "0.5"}, "vp9,1280,960\nopus,48000,2\n", 12, -1, 0,
       "korvalin: wrote w.webm: 12 frames, 0.50 s in "},
  };
  for (auto c : cases) {
    std::string said;
    ExportStats stats;
    c.args.insert(c.args.end(), {"--fps", "24"});
    ASSERT_EQ(run(c.music, c.args, &said, &stats), 0) << said;
    const std::string file = c.args[1];
    EXPECT_EQ(probe(file), c.streams);
    EXPECT_TRUE(stats.frames == c.frames && stats.videoSeconds == c.frames / 24.0) << stats.frames;
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    // Ten plain progress lines, then the file (and the damage).
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.music[0] == 'd' ? 12 : 11) << said;
    const std::string durations = probe(file, "duration");  // none per stream in WebM
    if (file.back() == '4') { EXPECT_NEAR(std::atof(durations.c_str()), number(durations, "\n"), 1e-3) << durations; }
    if (c.heard < 0) continue;
    const std::vector<float> heard = sound(kRun + "/" + file, c.heard);
    EXPECT_GT(correlation(heard, sound("", c.played)), 0.95);
    EXPECT_LT(correlation(heard, sound("", c.heard)), 0.5);
  }
  gPreset = nullptr;
  const std::string settings = readFile(kRun + "/a.mp4");  // the encoder's, in the stream
  EXPECT_TRUE(settings.find("options: cabac=0 ") != std::string::npos && settings.find(" threads=1 ") != std::string::npos &&
              settings.find(" crf=10.0 ") != std::string::npos);
  EXPECT_EQ(probe("a.mp4", "r_frame_rate,color_range,color_space,color_transfer,color_primaries"),
            "tv,bt709,bt709,bt709,24/1\n0/0\n");
  for (int k : {0, 13, 23}) EXPECT_GE(framePsnr(kRun + "/a.mp4", k, 1 + k / 24.0, KORVALIN_RUN_DIR), 40.0) << k;
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
  EXPECT_EQ(capture("cd " + kRun + " && ls -d x.mp4* 2>&1"), "ls: cannot access 'x.mp4*': No such file or directory\n");

  // The export's Ctrl-C handling ends with it: the handlers from before are back.
  struct sigaction ignore = {}, after = {};
  ignore.sa_handler = SIG_IGN;
  for (int s : {SIGINT, SIGTERM}) sigaction(s, &ignore, nullptr);
  std::string said;
  ASSERT_EQ(run("tone.ogg", {"--export", "old.mp4", "--force", "--to", "0.1", "--fps", "30"}, &said), 0) << said;
  EXPECT_EQ(probe("old.mp4", "nb_frames"), "3\n6\n");
  for (int s : {SIGINT, SIGTERM}) {
    sigaction(s, nullptr, &after);
    EXPECT_EQ(after.sa_handler, SIG_IGN) << s;
    signal(s, SIG_DFL);
  }
  // A file that appears under the name while the export runs is kept, the video left beside it,
  // also where the file system has no rename that refuses to replace.
  for (const bool noRenameat2 : {false, true}) {
    gNoRenameat2 = noRenameat2;
    // The last round's partial file would wake the planter before this run has looked.
    for (const char* name : {"/late.mp4", "/late.mp4.part"}) std::remove((kRun + name).c_str());
    std::thread planter([] {
      while (access((kRun + "/late.mp4.part").c_str(), F_OK) != 0) std::this_thread::yield();
      std::ofstream(kRun + "/late.mp4") << "keep";
    });
    EXPECT_EQ(run("tone.ogg", {"--export", "late.mp4", "--to", "0.5", "--fps", "24"}, &said), 2);
    planter.join();
    EXPECT_NE(said.find("korvalin: late.mp4 appeared while exporting; add --force to replace it (the video is in "
                        "late.mp4.part)\n"), std::string::npos) << said;
    EXPECT_EQ(readFile(kRun + "/late.mp4"), "keep");
  }
  // On a terminal the progress is one line rewritten in place, ended before the next line.
  EXPECT_EQ(run("tone.ogg", {"--export", "t.mp4", "--to", "0.5", "--fps", "24"}, &said, nullptr, true), 0);
  gNoRenameat2 = false;
  EXPECT_EQ(said.rfind("\rkorvalin: frame ", 0), 0u) << said;
  EXPECT_NE(said.find(" left   \nkorvalin: wrote t.mp4: 12 frames"), std::string::npos) << said;

  // Ctrl-C before the first frame: nothing is left, and no progress was shown (after frames, see
  // the end-to-end test).
  std::thread stopper([] {
    while (access((kRun + "/stop.mp4.part").c_str(), F_OK) != 0) std::this_thread::yield();
    kill(getpid(), SIGINT);
  });
  EXPECT_EQ(run("tone.ogg", {"--export", "stop.mp4"}, &said, nullptr, true), 130);
  stopper.join();
  EXPECT_EQ(said, "korvalin: stopped before the first frame; nothing was written\n");
  EXPECT_EQ(capture("ls " + kRun + " | grep stop"), "");
  // Without music: silent, to the last clip's end. Captures fed back from frame to frame look as
  // they do when the demo has played up to the first one.
  EXPECT_EQ(run("", {"--export", "s.mkv", "--to", "1000"}, &said), 2);
  EXPECT_EQ(said.rfind("korvalin: --to 1000 is past the end of the last clip (", 0), 0u) << said;
  ASSERT_EQ(run("", {"--export", "s.mkv", "--from", "100", "--to", "100.02"}, &said), 0) << said;
  EXPECT_GE(framePsnr(kRun + "/s.mkv", 0, 100.0, KORVALIN_RUN_DIR), 40.0);
  EXPECT_EQ(said.rfind("korvalin: no music (data/Vavorerid_by__qx_.ogg is missing): the video is silent and ends "
                       "with the last clip at ", 0), 0u) << said;
  EXPECT_EQ(probe("s.mkv", "codec_name"), "h264\n");
  // A clip of no length is never drawn: it does not make the silent video longer.
  Timeline project;
  project.addClip(0, 1.0f, 1.0f, kBox);
  project.addClip(1, 5.0f, 1.0f, kBox);
  project.layerClipTimes[1][0].length = 0.0f;
  std::remove((kRun + "/save.brz").c_str());
  ASSERT_TRUE(saveProject(project, kRun + "/save.brz", nullptr));
  EXPECT_EQ(run("", {"--export", "z.mkv", "--to", "2.5"}, &said), 2);
  EXPECT_EQ(said, "korvalin: --to 2.5 is past the end of the last clip (2.000 s)\n");
  ASSERT_TRUE(saveProject(Timeline(), kRun + "/save.brz", nullptr));
  EXPECT_EQ(run("", {"--export", "e.mkv"}, &said), 1);
  EXPECT_EQ(said, "korvalin: nothing to export: no music (data/Vavorerid_by__qx_.ogg) and no clip in save.brz\n");
  // A project that cannot be read is an error, not an empty demo.
  std::ofstream(kRun + "/save.brz") << "junk";
  EXPECT_EQ(run("", {"--export", "j.mkv"}, &said), 1);
  EXPECT_EQ(said.rfind("korvalin: save.brz: ", 0), 0u) << said;
}

}  // namespace
}  // namespace korvalin
