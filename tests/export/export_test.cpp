// The export's command line, the Vorbis decoder against files the tests encode (where a read one
// frame off shows), and the whole export in-process on a run folder of the test's own: the
// demo's pictures and project beside music written here, or none.
#include <fcntl.h>
#include <pty.h>
#include <sys/syscall.h>

#include <algorithm>
#include <csignal>
#include <thread>

#include "platform/vorbis_decoder.h"
#include "shell/export_options.h"
#include "shell/export_run.h"
#include "tests/export/export_fixture.h"
#include "timeline/project_file.h"

// The no-replace rename refused with this errno: EINVAL as a file system without it refuses it.
int gRenameat2Error = 0;

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept {
  if (gRenameat2Error != 0) return errno = gRenameat2Error, -1;
  return static_cast<int>(syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

namespace korvalin {
namespace {

using namespace test;

ExportCommand parse(std::vector<const char*> args, ExportOptions* options, std::string* error) {
  args.insert(args.begin(), "korvalin");
  return parseExportCommand(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(ExportOptions, GoodLines) {
  ExportOptions o, w;
  std::string error;
  ASSERT_EQ(parse({"--export", "out.MP4"}, &o, &error), ExportCommand::kExport) << error;
  EXPECT_TRUE(o.output == "out.MP4" && o.container->container == VideoContainer::kMp4 && !o.haveFrom && !o.haveTo && !o.force);
  ASSERT_EQ(parse({"--fps", "240", "--scale", "4", "--crf", "63", "--from", "0", "--to", "1.25e1", "--force",
                   "--export", "dir.v1/a.webm"}, &w, &error), ExportCommand::kExport) << error;
  EXPECT_TRUE(w.container->container == VideoContainer::kWebm && w.fps == 240 && w.scale == 4 && w.crf == 63);
  EXPECT_TRUE(w.haveFrom && w.haveTo && w.force && w.from == 0.0 && w.to == 12.5);
  EXPECT_EQ(parse({"--export", "a.avi", "--help"}, &o, &error), ExportCommand::kHelp);
  EXPECT_EQ(parse({"--export", "--version"}, &o, &error), ExportCommand::kVersion);
  const char* player[] = {"korvalin", "--windowed", "--editor", "--export"};
  EXPECT_TRUE(!isExportCommand(3, player) && isExportCommand(4, player));
}

TEST(ExportOptions, BadLinesAreOneLineNamingTheProblem) {
  std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
      {{"--export"}, "--export needs a file name"}, {{"--fps", "30"}, "--export needs a file name"},
      {{"--export", "a.avi"}, "a.avi: unknown kind of video file (use .mp4, .mkv or .webm)"},
      {{"--export", "mp4"}, "mp4: unknown kind"}, {{"--export", "v.mp4/clip"}, "v.mp4/clip: unknown kind"},
      {{"--export", "a.mp4", "--fps", "23"}, "--fps 23: must be a whole number from 24 to 240"},
      {{"--export", "a.mp4", "--scale", "0"}, "--scale 0: must be a whole number from 1 to 4"},
      {{"--export", "a.mp4", "--crf", "52"}, "--crf 52: must be a whole number from 0 to 51 for .mp4"},
      {{"--export", "a.webm", "--crf", "64"}, "--crf 64: must be a whole number from 0 to 63 for .webm"},
      {{"--export", "a.mp4", "--from", "-1"}, "--from -1: must be a number of seconds, 0 or more"},
      {{"--export", "a.mp4", "--from", "5", "--to", "5"}, "--from 5 must be before --to 5"},
      {{"--export", "a.mp4", "--windowed"}, "unknown option '--windowed' for --export"}, {{"--fps"}, "--fps needs a value"},
  };
  // More values each option refuses, said as above.
  for (const auto& [option, value] : std::vector<std::pair<const char*, const char*>>{
           {"--fps", "30.5"}, {"--fps", ""}, {"--fps", "0000030"}, {"--scale", "5"}, {"--to", "+1"}, {"--from", "0x10"},
           {"--from", "1e"}, {"--to", ""}, {"--to", "1e999"}})
    cases.push_back({{"--export", "a.mp4", option, value}, std::string(option) + " " + value + ":"});
  for (const auto& [args, says] : cases) {
    ExportOptions o;
    std::string error;
    EXPECT_EQ(parse(args, &o, &error), ExportCommand::kBadUsage) << says;
    EXPECT_TRUE(error.rfind(says, 0) == 0 && error.find('\n') == std::string::npos) << error;
  }
}

// RMS difference between what was read and the tone from `frame` on.
double mismatch(const std::vector<float>& got, int64_t frame, int rate, int channels) {
  double sum = 0;
  for (size_t i = 0; i < got.size(); ++i) sum += std::pow(got[i] - tone(frame + int64_t(i / channels), i % channels, rate), 2);
  return std::sqrt(sum / got.size());
}

// Links that agree play as one stream; an empty stream is music of no length, not an error. Bad
// files are refused through the export (below), all but a missing one, which it takes for no music.
TEST(VorbisDecoder, FormatLengthAndSeeksExactToTheFrame) {
  std::string error;
  std::ofstream(tempPath("chain.ogg")) << readFile(writeTone("a.ogg", 22050, 1)) << readFile(writeTone("b.ogg", 22050, 1, 2, 2));
  for (const auto& [file, rate, channels, seconds] : {std::tuple{writeTone("seek.ogg", 44100, 2), 44100, 2, 2},
                                                      {tempPath("chain.ogg"), 22050, 1, 4},
                                                      {writeTone("empty.ogg", 44100, 2, 0), 44100, 2, 0}}) {
    SCOPED_TRACE(file);
    auto decoder = VorbisDecoder::open(file, &error);
    ASSERT_TRUE(decoder) << error;
    EXPECT_TRUE(decoder->sampleRate() == rate && decoder->channels() == channels && decoder->lengthFrames() == seconds * rate);
    // Forwards and backwards, on and off page boundaries, into the second link, up to the end.
    for (int64_t frame : {int64_t{rate} + 7, int64_t{0}, int64_t{12345}, int64_t{1}, seconds * int64_t{rate} - 300}) {
      if (seconds == 0) break;
      ASSERT_TRUE(decoder->seek(frame));
      std::vector<float> samples(300 * channels + 1, 7.0f);  // a sentinel past the frames asked for
      ASSERT_EQ(decoder->read(samples.data(), 300), 300) << frame;
      EXPECT_EQ(samples.back(), 7.0f);
      samples.pop_back();
      EXPECT_EQ(decoder->position(), frame + 300);
      EXPECT_LT(mismatch(samples, frame % (2 * rate), rate, channels), 0.03) << frame;
      EXPECT_GT(mismatch(samples, frame % (2 * rate) + 1, rate, channels), 0.06) << frame;
    }
    EXPECT_EQ(decoder->read(std::vector<float>(600 * channels).data(), 600), 0);
    EXPECT_EQ(decoder->damagedAt(), -1);
    for (int64_t outside : {seconds * int64_t{rate} + 1, int64_t{-1}}) EXPECT_FALSE(decoder->seek(outside));
    EXPECT_EQ(decoder->position(), seconds * rate);
  }
  EXPECT_FALSE(VorbisDecoder::open(tempPath("missing.ogg"), &error));
  EXPECT_EQ(error, tempPath("missing.ogg") + ": No such file or directory");
}

// Data lost reads as silence of its length: the music after it keeps its time. The first
// damage is the one reported.
TEST(VorbisDecoder, DamageInTheMiddleBecomesSilence) {
  std::string error;
  auto decoder = VorbisDecoder::open(writeDamaged("damaged.ogg"), &error);
  ASSERT_TRUE(decoder) << error;
  ASSERT_EQ(decoder->lengthFrames(), 6 * 44100);
  std::vector<float> all(2 * 6 * 44100 + 2, 7.0f);
  EXPECT_EQ(decoder->read(all.data(), 6 * 44100 + 1), 6 * 44100);
  EXPECT_EQ(std::count(all.begin(), all.end(), 7.0f), 2);
  const int64_t at = decoder->damagedAt();
  EXPECT_LT(std::abs(at - 2 * 44100), 44100 / 2) << "at " << at;
  EXPECT_EQ(all[2 * at], 0.0f);
  EXPECT_LT(mismatch({all.end() - 2 - 2 * 4000, all.end() - 2}, 6 * 44100 - 4000, 44100, 2), 0.03);
  // A seek from inside the silence lands on the music itself.
  ASSERT_TRUE(decoder->seek(at - 10) && decoder->read(all.data(), 20) == 20 && decoder->seek(100));
  EXPECT_EQ(decoder->damagedAt(), -1);
  ASSERT_EQ(decoder->read(all.data(), 300), 300);
  EXPECT_LT(mismatch({all.begin(), all.begin() + 600}, 100, 44100, 2), 0.03);
}

const std::string kRun = tempPath("run");

class ExportRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    capture("mkdir -p " + kRun + "/data && ln -sf " KORVALIN_RUN_DIR "/*.bmp " + kRun + " && ln -sf " KORVALIN_RUN_DIR
            "/data/*.jpg " KORVALIN_RUN_DIR "/data/*.3DS " + kRun + "/data");
    EXPECT_EQ(chdir(kRun.c_str()), 0);
    const std::string stereo = readFile(writeTone("tone.ogg", 44100, 2, 3));
    writeTone("mono.ogg", 22050, 1);
    std::ofstream(tempPath("chained.ogg")) << stereo << readFile(writeTone("c.ogg", 44100, 1, 1, 2));
    writeDamaged("damaged.ogg");
    std::ofstream(tempPath("junk.ogg")) << "junk";
  }

  // The export of `args` in the run folder with tempPath(music) as its music ("": none) and
  // `project` as its save.brz. Standard error goes to `said` through a file, or through a
  // pseudo-terminal when `terminal` is set.
  static int run(const std::string& music, std::vector<const char*> args, std::string* said, ExportStats* stats = nullptr,
                 bool terminal = false, const std::string& project = KORVALIN_RUN_DIR "/save.brz") {
    capture("rm -f save.brz data/Vavorerid_by__qx_.ogg && ln -s " + project + " save.brz" +
            (music.empty() ? "" : " && ln -s " + tempPath(music) + " data/Vavorerid_by__qx_.ogg"));
    ExportOptions options;
    std::string error;
    EXPECT_EQ(parse(args, &options, &error), ExportCommand::kExport);
    options.preset = "ultrafast";  // x264's quickest
    int master = -1, target = -1;
    EXPECT_TRUE(terminal ? openpty(&master, &target, nullptr, nullptr, nullptr) == 0
                         : (target = open(tempPath("said").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644)) >= 0);
    const int saved = dup(STDERR_FILENO);
    dup2(target, STDERR_FILENO);
    const int status = runExport(options, stats);
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(target);
    *said = capture(terminal ? "cat <&" + std::to_string(master) + " 2>/dev/null" : "cat " + tempPath("said"));
    close(master);
    return status;
  }
  static std::string probe(const std::string& file, const char* of = "codec_name,width,height,sample_rate,channels,start_time") {
    return capture("ffprobe -v error -of csv=p=0 -show_entries stream=" + std::string(of) + " " + file);
  }
};

// Sound as long as the pictures whatever the music's shape: mono stays mono at its own rate;
// damaged music loses its sound where it is damaged, not the sound after it.
TEST_F(ExportRun, MusicOfEveryShape) {
  const struct {
    const char* music;
    std::vector<const char*> args;
    const char* streams;
    int64_t frames;
    double heard, played;  // the video's sound at `heard` s is the music's at `played` s
    const char* says;
  } cases[] = {
      // Replacing a file of the name.
      {"tone.ogg", {"--export", "a.mp4", "--force", "--from", "1", "--to", "2", "--crf", "10"},
       "h264,640,480,0.000000\naac,44100,2,0.000000\n", 24, 0.2, 1.2, "korvalin: frame 3 of 24 (12%), "},
      {"mono.ogg", {"--export", "m.mp4"}, "h264,640,480,0.000000\naac,22050,1,0.000000\n", 48, -1, 0,
       "korvalin: frame 48 of 48 (100%), "},
      {"damaged.ogg", {"--export", "d.mp4", "--from", "2", "--to", "6", "--crf", "0", "--scale", "1"},
       "h264,640,480,0.000000\naac,44100,2,0.000000\n", 96, 3.5, 5.5, "decoded\nkorvalin: wrote d.mp4: 96 frames, 4.00 s in "},
      {"tone.ogg", {"--export", "w.webm", "--scale", "2", "--crf", "40", "--to", "0.5"},
       "vp9,1280,960,0.007000\nopus,48000,2,-0.007000\n", 12, -1, 0, "korvalin: wrote w.webm: 12 frames, 0.50 s in "},
  };
  std::ofstream(kRun + "/a.mp4") << "old";
  for (auto c : cases) {
    std::string said;
    ExportStats stats;
    c.args.insert(c.args.end(), {"--fps", "24"});
    gRenameat2Error = c.music[0] == 'm' ? EINVAL : 0;  // the mono video moved into place where that rename is missing
    ASSERT_EQ(run(c.music, c.args, &said, &stats), 0) << said;
    const std::string file = c.args[1];
    EXPECT_EQ(probe(file), c.streams);
    EXPECT_TRUE(stats.videoSeconds == c.frames / 24.0 && stats.renderSeconds > 0 && stats.encodeSeconds > 0) << stats.frames;
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    // Ten plain progress lines, then the file (and the damage).
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), c.music[0] == 'd' ? 12 : 11) << said;
    const std::string durations = probe(file, "duration");  // none per stream in WebM
    if (file.back() == '4') { EXPECT_NEAR(std::atof(durations.c_str()), number(durations, "\n"), 1e-3) << durations; }
    if (c.heard < 0) continue;
    EXPECT_GT(correlation(sound(kRun + "/" + file, c.heard), sound(tempPath(c.music), c.played)), 0.95);
  }
  const std::string settings = readFile(kRun + "/a.mp4");  // the encoder's, in the stream
  for (const char* s : {"options: cabac=0 ", " threads=1 ", " crf=10.0 "}) EXPECT_NE(settings.find(s), std::string::npos) << s;
  EXPECT_EQ(probe("a.mp4", "r_frame_rate,color_range,color_space,color_transfer,color_primaries"),
            "tv,bt709,bt709,bt709,24/1\n0/0\n");
  for (int k : {0, 13, 23}) EXPECT_GE(framePsnr(kRun + "/a.mp4", k, 1 + k / 24.0, KORVALIN_RUN_DIR), 40.0) << k;
}

TEST_F(ExportRun, RefusalsAndErrorsLeaveNoFile) {
  // The export's Ctrl-C handling ends with it: the handlers from before are back (at the end).
  for (int s : {SIGINT, SIGTERM}) signal(s, SIG_IGN);
  capture("mkdir folder.mp4 && echo keep >old.mp4");
  // A clip of no length is never drawn: it does not make the silent video longer.
  Timeline zero;
  zero.addClip(0, 1.0f, 1.0f, kBox);
  zero.addClip(1, 5.0f, 1.0f, kBox);
  zero.layerClipTimes[1][0].length = 0.0f;
  ASSERT_TRUE(saveProject(zero, tempPath("zero.brz"), nullptr) && saveProject(Timeline(), tempPath("empty.brz"), nullptr));
  std::ofstream(tempPath("junk.brz")) << "junk";
  const struct {
    const char* music;
    std::vector<const char*> args;
    int status;
    std::string says, project = KORVALIN_RUN_DIR "/save.brz";  // says: all that is said, or how it starts
  } cases[] = {
      {"chained.ogg", {"--export", "x.mp4"}, 1, "data/Vavorerid_by__qx_.ogg: changes sample rate or channel count part-way\n"},
      {"junk.ogg", {"--export", "x.mp4"}, 1, "data/Vavorerid_by__qx_.ogg: not Ogg Vorbis data\n"},
      {"tone.ogg", {"--export", "x.mp4", "--from", "3"}, 2, "--from 3 is not before the end of the music (3.000 s)\n"},
      {"tone.ogg", {"--export", "x.mp4", "--to", "0"}, 2, "--to 0 must be after --from 0\n"},
      {"tone.ogg", {"--export", "old.mp4"}, 2, "old.mp4 exists; add --force to replace it\n"},
      {"tone.ogg", {"--export", "folder.mp4", "--force"}, 2, "folder.mp4 is a folder\n"},
      {"tone.ogg", {"--export", "no/x.mp4"}, 1, "cannot write no/x.mp4.part: No such file or directory\n"},
      {"", {"--export", "x.mkv", "--to", "2.5"}, 2, "--to 2.5 is past the end of the last clip (2.000 s)\n",
       tempPath("zero.brz")},
      {"", {"--export", "x.mkv"}, 1, "nothing to export: no music (data/Vavorerid_by__qx_.ogg) and no clip in save.brz\n",
       tempPath("empty.brz")},
      // A project that cannot be read is an error, not an empty demo.
      {"", {"--export", "x.mkv"}, 1, "save.brz: ", tempPath("junk.brz")},
  };
  std::string said;
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.music, c.args, &said, nullptr, false, c.project), c.status) << said;
    EXPECT_EQ(said.rfind("korvalin: " + c.says, 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }

  // Without music the video is silent and may go on to the last clip's end. A file that appears
  // under the name while the export runs is kept, the video left beside it, also where the file
  // system has no rename that refuses to replace; with --force a folder there fails the rename.
  // A rename refused for another reason is said, not tried again the replacing way.
  // The first round is on a terminal (which ends lines with \r\n): the progress line is ended first.
  for (const int round : {0, 1, 2, 3}) {
    gRenameat2Error = round == 1 ? EINVAL : round == 3 ? EACCES : 0;
    // The last round's partial file would wake the planter before this run has looked.
    for (const char* name : {"/late.mkv", "/late.mkv.part"}) std::remove((kRun + name).c_str());
    std::thread planter([round] {
      while (access((kRun + "/late.mkv.part").c_str(), F_OK) != 0) std::this_thread::yield();
      capture(round < 2 ? "echo keep >late.mkv" : round == 2 ? "mkdir late.mkv" : "true");
    });
    std::vector<const char*> args = {"--export", "late.mkv", "--from", "100", "--to", "100.1"};
    if (round == 2) args.push_back("--force");
    EXPECT_EQ(run("", args, &said, nullptr, round == 0), round < 2 ? 2 : 1);
    planter.join();
    const std::string says = round < 2    ? "late.mkv appeared while exporting; add --force to replace it"
                             : round == 2 ? "cannot rename late.mkv.part to late.mkv: Is a directory"
                                          : "cannot rename late.mkv.part to late.mkv: Permission denied";
    const std::string end = round == 0 ? "\r\n" : "\n";
    EXPECT_EQ(said.rfind("korvalin: no music (data/Vavorerid_by__qx_.ogg is missing): the video is silent and ends "
                         "with the last clip at ", 0), 0u) << said;
    EXPECT_NE(said.find(" s" + end + (round == 0 ? "\r" : "") + "korvalin: frame "), std::string::npos) << said;
    EXPECT_NE(said.find(std::string(round == 0 ? " left   " : " left") + end + "korvalin: " + says +
                        " (the video is in late.mkv.part)" + end), std::string::npos) << said;
    EXPECT_EQ(said.rfind("korvalin: frame "), said.rfind("korvalin: frame 6 of 6 (100%), ")) << said;  // the last one shown
    if (round < 2) { EXPECT_EQ(readFile(kRun + "/late.mkv"), "keep\n"); }
  }
  // Captures fed back from frame to frame look as they do when the demo has played up to the first one.
  EXPECT_GE(framePsnr(kRun + "/late.mkv.part", 0, 100.0, KORVALIN_RUN_DIR), 40.0);
  EXPECT_EQ(probe("late.mkv.part", "codec_name"), "h264\n");

  // Ctrl-C before the first frame: nothing is left, and no progress was shown (after frames, see
  // the end-to-end test).
  std::thread stopper([] {
    while (access((kRun + "/stop.mp4.part").c_str(), F_OK) != 0) std::this_thread::yield();
    kill(getpid(), SIGINT);
  });
  EXPECT_EQ(run("tone.ogg", {"--export", "stop.mp4"}, &said, nullptr, true), 130);
  stopper.join();
  EXPECT_EQ(said, "korvalin: stopped before the first frame; nothing was written\r\n");
  EXPECT_EQ(capture("ls " + kRun + " | grep -E '^(x|stop)\\.'"), "");
  for (int s : {SIGINT, SIGTERM}) EXPECT_EQ(signal(s, SIG_DFL), SIG_IGN) << s;
}

}  // namespace
}  // namespace korvalin
