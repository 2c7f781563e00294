// `korvalin --export` run for real on the run folder: the frames against the still renderer,
// the sound against the music, Ctrl-C, and what only the program as a whole can refuse.
#include <algorithm>

#include "tests/export/export_fixture.h"

namespace korvalin {
namespace {

using namespace test;

const std::string kRunDir = KORVALIN_RUN_DIR;

// korvalin in the run folder, run by `as`; its standard error.
std::string korvalin(const std::string& args, int* status, const std::string& as = "") {
  return capture("cd " + kRunDir + " && " + as + KORVALIN_PROGRAM " " + args + " 2>&1 >/dev/null", status);
}

TEST(ExportEndToEnd, ShortRangeHasTheRightFramesAndSound) {
  const std::string out = tempPath("short.mp4");
  int status = 0;
  const std::string said = korvalin("--export " + out + " --from 10 --to 12 --fps 30", &status);
  ASSERT_EQ(status, 0) << said;
  EXPECT_EQ(capture("ffprobe -v error -count_frames -of csv=p=0 -show_entries stream=codec_name,sample_rate,"
                    "r_frame_rate,color_range,color_space,color_transfer,color_primaries,duration,nb_read_frames " + out),
            "h264,tv,bt709,bt709,bt709,30/1,2.000000,60\naac,44100,0/0,2.000000,87\n");
  for (int k : {0, 31, 59}) EXPECT_GE(framePsnr(out, k, 10 + k / 30.0, kRunDir), 40.0) << "frame " << k;
  const std::string music = kRunDir + "/data/Vavorerid_by__qx_.ogg";
  const std::vector<float> exported = sound(out, 0);
  ASSERT_GE(exported.size(), 4000u);
  EXPECT_GT(correlation(exported, sound(music, 10.0)), 0.9);
  EXPECT_LT(correlation(exported, sound(music, 0.0)), 0.5);

}

TEST(ExportEndToEnd, CtrlCLeavesAPlayablePartialFile) {
  const std::string out = tempPath("stopped.mp4"), log = tempPath("stopped.log");
  // Stopped a second after its first progress line.
  const std::string status = capture("cd " + kRunDir + " && (" KORVALIN_PROGRAM " --export " + out + " --to 30 --fps 24 2>" +
                                     log + " & pid=$!; for i in $(seq 600); do grep -q 'frame ' " + log +
                                     " && break; sleep 0.1; done; sleep 1; kill -INT $pid; wait $pid; echo $?)");
  const std::string said = readFile(log);
  EXPECT_EQ(status, "130\n") << said;
  EXPECT_NE(said.find("the partial video is " + out + ".part\n"), std::string::npos) << said;
  EXPECT_NE(access(out.c_str(), F_OK), 0);
  EXPECT_GT(number(capture("ffprobe -v error -count_frames -of default=nw=1 -show_entries stream=nb_read_frames " + out +
                           ".part"), "nb_read_frames="), 0);
  EXPECT_EQ(capture("ffmpeg -v error -i " + out + ".part -f null - 2>&1"), "");
}

TEST(ExportEndToEnd, RefusalsAreOneLine) {
  const std::string locked = tempPath("locked");
  ASSERT_EQ(std::system(("mkdir -p " + locked + " && chmod 555 " + locked).c_str()), 0);
  // Root writes anywhere, so the locked folder is tried as nobody.
  const std::string asNobody = getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  int status = 0;
  EXPECT_EQ(korvalin("--export a.avi", &status), "korvalin: a.avi: unknown kind of video file (use .mp4, .mkv or .webm) (see korvalin --help)\n");
  EXPECT_EQ(status, 2);
  EXPECT_EQ(korvalin("--export " + locked + "/a.mp4 --to 1", &status, asNobody),
            "korvalin: cannot write " + locked + "/a.mp4.part: Permission denied\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(capture("ls -A " + locked), "");
}

}  // namespace
}  // namespace korvalin
