// `korvalin --export` run for real on the run folder, its files checked with ffprobe and ffmpeg:
// the frames against the still renderer, the sound against the music, and what it refuses.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace korvalin {
namespace {

const std::string kRunDir = KORVALIN_RUN_DIR;
const std::string kMusic = kRunDir + "/data/Vavorerid_by__qx_.ogg";

// Made at first use, removed with everything in it at exit.
std::string tempDir() {
  static const struct Dir {
    std::string path = ::testing::TempDir() + "korvalin_export_" + std::to_string(getpid());
    Dir() { std::system(("mkdir -p " + path).c_str()); }
    ~Dir() { std::system(("rm -rf " + path).c_str()); }
  } dir;
  return dir.path;
}

// Standard output of a shell command, and its exit status.
std::string capture(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  const int result = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return out;
}

// korvalin in `dir` (the run folder by default); its standard error is what is returned.
std::string korvalin(const std::string& args, int* status, const std::string& dir = kRunDir) {
  return capture("cd " + dir + " && " KORVALIN_PROGRAM " " + args + " 2>&1 >/dev/null", status);
}

std::string probe(const std::string& file, const std::string& entries) {
  return capture("ffprobe -v error -count_frames -of default=nw=1 -show_entries " + entries + " " + file);
}

// The number after the first `key` in `text`.
double number(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + key.size());
}

// Mono samples of the first 0.1 s of `file` from `seconds` on.
std::vector<float> sound(const std::string& file, double seconds) {
  const std::string raw = capture("ffmpeg -v error -ss " + std::to_string(seconds) + " -i " + file +
                                  " -t 0.1 -ac 1 -ar 44100 -f f32le -");
  std::vector<float> samples(raw.size() / sizeof(float));
  std::memcpy(samples.data(), raw.data(), samples.size() * sizeof(float));
  return samples;
}

double correlation(const std::vector<float>& a, const std::vector<float>& b) {
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
    ab += a[i] * b[i];
    aa += a[i] * a[i];
    bb += b[i] * b[i];
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// PSNR of frame k of `video` against the still renderer's picture at t, compared in the video's
// own colours: the still put through the same BT.709 4:2:0 conversion.
double framePsnr(const std::string& video, int k, double t) {
  char seconds[32], still[64];
  std::snprintf(seconds, sizeof seconds, "%.6f", t);
  std::snprintf(still, sizeof still, "/still_%07.2f.png", static_cast<double>(std::strtof(seconds, nullptr)));
  capture(KORVALIN_STILLS " " + kRunDir + " " + tempDir() + " " + seconds);
  return number(capture("ffmpeg -hide_banner -i " + video + " -i " + tempDir() + still +
                        " -lavfi \"[0]select=eq(n\\," + std::to_string(k) +
                        ")[a];[1]scale=out_color_matrix=bt709:out_range=tv:flags=lanczos+accurate_rnd," +
                        "format=yuv420p[b];[a][b]psnr\" -an -f null - 2>&1"),
                "average:");
}

TEST(ExportEndToEnd, ShortRangeHasTheRightFramesAndSound) {
  const std::string out = tempDir() + "/short.mp4";
  int status = 0;
  const std::string said = korvalin("--export " + out + " --from 10 --to 12 --fps 30", &status);
  ASSERT_EQ(status, 0) << said;
  EXPECT_NE(access((out + ".part").c_str(), F_OK), 0);

  const std::string streams = probe(out, "stream=codec_type,nb_read_frames,r_frame_rate,duration");
  EXPECT_EQ(capture("ffprobe -v error -of csv=p=0 -show_entries "
                    "stream=codec_name,sample_rate,color_range,color_space,color_transfer,color_primaries " + out),
            "h264,tv,bt709,bt709,bt709\naac,44100\n");
  EXPECT_EQ(number(streams, "nb_read_frames="), 60);
  EXPECT_NE(streams.find("r_frame_rate=30/1"), std::string::npos) << streams;
  const size_t second = streams.find("duration=", streams.find("duration=") + 1);
  EXPECT_NEAR(number(streams, "duration="), 2.0, 1e-6);
  EXPECT_NEAR(number(streams.substr(second), "duration="), 2.0, 1e-3);

  for (int k : {0, 31, 59}) EXPECT_GE(framePsnr(out, k, 10 + k / 30.0), 40.0) << "frame " << k;

  const std::vector<float> exported = sound(out, 0);
  ASSERT_GE(exported.size(), 4000u);
  EXPECT_GT(correlation(exported, sound(kMusic, 10.0)), 0.9);
  EXPECT_LT(correlation(exported, sound(kMusic, 0.0)), 0.5);
}

// Captures fed back from frame to frame look as they do when the demo has played up to there.
TEST(ExportEndToEnd, FeedbackStartsAsWhenPlayedThrough) {
  const std::string out = tempDir() + "/feedback.mp4";
  int status = 0;
  const std::string said = korvalin("--export " + out + " --from 100 --to 100.02 --fps 60", &status);
  ASSERT_EQ(status, 0) << said;
  EXPECT_GE(framePsnr(out, 0, 100.0), 40.0);
}

TEST(ExportEndToEnd, CtrlCLeavesAPlayablePartialFile) {
  const std::string out = tempDir() + "/stopped.mp4";
  const std::string log = tempDir() + "/stopped.log";
  // Stopped a second after its first progress line.
  const std::string status = capture("cd " + kRunDir + " && (" KORVALIN_PROGRAM " --export " + out +
                                     " --to 30 --fps 24 2>" + log + " & pid=$!; for i in $(seq 600); do grep -q 'frame ' " +
                                     log + " && break; sleep 0.1; done; sleep 1; kill -INT $pid; wait $pid; echo $?)");
  const std::string said = capture("cat " + log);
  EXPECT_EQ(status, "130\n") << said;
  EXPECT_NE(said.find("the partial video is " + out + ".part"), std::string::npos) << said;
  EXPECT_NE(access(out.c_str(), F_OK), 0);
  EXPECT_GT(number(probe(out + ".part", "stream=nb_read_frames"), "nb_read_frames="), 0);
  EXPECT_EQ(capture("ffmpeg -v error -i " + out + ".part -f null - 2>&1"), "");
}

TEST(ExportEndToEnd, RefusalsAreOneLineAndLeaveNoFile) {
  const std::string dir = tempDir() + "/refused";
  const std::string locked = dir + "/locked";
  ASSERT_EQ(std::system(("mkdir -p " + locked + " && chmod 555 " + locked + " && echo keep >" + dir +
                         "/old.mp4").c_str()),
            0);
  // Root writes anywhere, so the locked folder is tried as nobody.
  const std::string asNobody = getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  const struct {
    std::string args;
    int status;
    std::string says;
  } cases[] = {
      {"--export " + dir + "/a.avi", 2, dir + "/a.avi: unknown kind of video file"},
      {"--export " + dir + "/a.mp4 --from 150 --to 170", 2, "--to 170 is past the end of the music"},
      {"--export " + dir + "/old.mp4", 2, dir + "/old.mp4 exists; add --force to replace it"},
      {"--export " + locked + "/a.mp4 --from 10 --to 11", 1, "cannot write " + locked + "/a.mp4.part: Permission denied"},
  };
  for (const auto& c : cases) {
    int status = 0;
    const std::string said =
        capture("cd " + kRunDir + " && " + (c.status == 1 ? asNobody : "") + KORVALIN_PROGRAM " " + c.args +
                    " 2>&1 >/dev/null",
                &status);
    EXPECT_EQ(status, c.status) << c.args;
    EXPECT_EQ(said.rfind("korvalin: " + c.says, 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
  EXPECT_EQ(capture("cd " + dir + " && ls -A . locked"), ".:\nlocked\nold.mp4\n\nlocked:\n");
  EXPECT_EQ(capture("cat " + dir + "/old.mp4"), "keep\n");
}

// A full disk: a tiny file system of its own, in a mount namespace of its own (root only).
TEST(ExportEndToEnd, FullDiskFailsAndRemovesThePart) {
  const std::string dir = tempDir() + "/full";
  int status = 0;
  capture("mkdir -p " + dir + " && unshare -m true 2>/dev/null", &status);
  if (getuid() != 0 || status != 0) GTEST_SKIP() << "needs root and mount namespaces";
  const std::string said = capture("cd " + kRunDir + " && unshare -m sh -c 'mount -t tmpfs -o size=16k tmpfs " +
                                       dir + " && " KORVALIN_PROGRAM " --export " + dir +
                                       "/v.mp4 --from 10 --to 12; echo status $?; ls -A " + dir + "' 2>&1",
                                   &status);
  EXPECT_NE(said.find("korvalin: cannot write " + dir + "/v.mp4.part: No space left on device\nstatus 1\n"),
            std::string::npos)
      << said;
  EXPECT_EQ(said.substr(said.find("status 1\n") + 9), "");
}

TEST(ExportEndToEnd, WithoutMusicSilentToTheLastClip) {
  const std::string run = tempDir() + "/nomusic";
  ASSERT_EQ(std::system(("mkdir -p " + run + "/data && ln -sf " + kRunDir + "/*.bmp " + run + " && ln -sf " +
                         kRunDir + "/data/*.jpg " + kRunDir + "/data/*.3DS " + run + "/data && echo junk >" + run +
                         "/data/Vavorerid_by__qx_.ogg")
                            .c_str()),
            0);
  // Music that is there but unreadable, and a missing project, are errors, not silence.
  int status = 0;
  EXPECT_EQ(korvalin("--export silent.mkv", &status, run),
            "korvalin: data/Vavorerid_by__qx_.ogg: not Ogg Vorbis data\n");
  EXPECT_EQ(status, 1);
  std::remove((run + "/data/Vavorerid_by__qx_.ogg").c_str());
  EXPECT_EQ(korvalin("--export silent.mkv", &status, run), "korvalin: save.brz: cannot open: No such file or directory\n");
  EXPECT_EQ(status, 1);
  capture("cd " + run + " && for i in $(seq 0 15); do printf \"\\\\$(printf %o $i)\\\\0\\\\0\"; done >save.brz");
  EXPECT_EQ(korvalin("--export silent.mkv", &status, run),
            "korvalin: nothing to export: no music (data/Vavorerid_by__qx_.ogg) and no clip in save.brz\n");
  EXPECT_EQ(status, 1);
  std::remove((run + "/save.brz").c_str());
  ASSERT_EQ(symlink((kRunDir + "/save.brz").c_str(), (run + "/save.brz").c_str()), 0);
  const std::string refused = korvalin("--export silent.mkv --to 1000", &status, run);
  const double end = number(refused, "past the end of the last clip (");
  ASSERT_GT(end, 1) << refused;
  const std::string said =
      korvalin("--export silent.mkv --fps 24 --from " + std::to_string(end - 0.99), &status, run);
  ASSERT_EQ(status, 0) << said;
  EXPECT_EQ(said.rfind("korvalin: no music (data/Vavorerid_by__qx_.ogg is missing): the video is silent", 0), 0u)
      << said;
  EXPECT_EQ(capture("ffprobe -v error -of csv=p=0 -show_entries stream=codec_type,nb_read_frames -count_frames " +
                    run + "/silent.mkv"),
            "video,24\n");
}

TEST(ExportEndToEnd, WebmAndScale) {
  const std::string out = tempDir() + "/scaled.webm";
  int status = 0;
  const std::string said = korvalin("--export " + out + " --from 20 --to 20.5 --fps 24 --scale 2 --crf 40", &status);
  ASSERT_EQ(status, 0) << said;
  EXPECT_EQ(capture("ffprobe -v error -of csv=p=0 -show_entries stream=codec_name,width,height,sample_rate " + out),
            "vp9,1280,960\nopus,48000\n");
}

}  // namespace
}  // namespace korvalin
