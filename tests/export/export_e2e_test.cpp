// `korvalin --export` run for real on the run folder, stopped by Ctrl-C part-way. The export's
// frames, sound and refusals are checked in-process (export_test.cpp).
#include "tests/export/export_fixture.h"

namespace korvalin {
namespace {

using namespace test;

TEST(ExportEndToEnd, CtrlCLeavesAPlayablePartialFile) {
  const std::string out = tempPath("stopped.mp4"), log = tempPath("stopped.log");
  // Stopped a second after its first progress line: what it said, then its exit status.
  const std::string said = capture("cd " KORVALIN_RUN_DIR " && L=" + log + " && (" KORVALIN_PROGRAM " --export " + out +
                                   " --to 30 --fps 24 2>$L >/dev/null & pid=$!; for i in $(seq 600); do grep -q 'frame ' $L && " +
                                   "break; sleep 0.1; done; sleep 1; kill -INT $pid; wait $pid; echo $? >>$L); cat $L");
  EXPECT_NE(said.find("the partial video is " + out + ".part\n130\n"), std::string::npos) << said;
  EXPECT_NE(access(out.c_str(), F_OK), 0);
  EXPECT_GT(number(capture("ffprobe -v error -count_frames -of default=nw=1 -show_entries stream=nb_read_frames " + out +
                           ".part"), "nb_read_frames="), 0);
  EXPECT_EQ(capture("ffmpeg -v error -i " + out + ".part -f null - 2>&1"), "");
}

}  // namespace
}  // namespace korvalin
