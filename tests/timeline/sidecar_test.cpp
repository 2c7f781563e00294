// save.brz.meta: numbers read and set, every other line kept as it was, bad lines reported once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "timeline/sidecar.h"

namespace korvalin {
namespace {

TEST(SidecarTest, KeepsWhatItDoesNotOwnAndReportsBadLinesInOneLine) {
  const std::string text = "# tuned by hand\ntempo = 140\nloop_start = soon\nmarker = 3\n = 5\nloop_end = 16.5\n";
  std::string warning;
  Sidecar sidecar = Sidecar::parse(text, "save.brz.meta", &warning);
  EXPECT_EQ(warning, "save.brz.meta: line 3: 'loop_start = soon' is not 'key = number'; ignored (2 such lines)");
  EXPECT_EQ(sidecar.number("tempo"), 140.0);
  EXPECT_EQ(sidecar.number("loop_end"), 16.5);
  EXPECT_FALSE(sidecar.number("loop_start"));
  EXPECT_EQ(sidecar.text(), text);

  sidecar.setNumber("loop_end", std::nullopt);
  sidecar.setNumber("tempo", 128.5);
  sidecar.setNumber("loop_start", 12.0);
  EXPECT_EQ(sidecar.text(),
            "# tuned by hand\ntempo = 128.500000\nloop_start = soon\nmarker = 3\n = 5\nloop_start = 12.000000\n");

  const std::string path = ::testing::TempDir() + "sidecar_" + std::to_string(getpid()) + ".meta";
  std::string error;
  ASSERT_TRUE(sidecar.write(path, &error)) << error;
  warning.clear();
  EXPECT_EQ(Sidecar::read(path, &warning).text(), sidecar.text());
  EXPECT_NE(warning.find(path + ": line 3:"), std::string::npos);

  // Nothing left to keep: no file.
  ASSERT_TRUE(Sidecar().write(path, &error)) << error;
  EXPECT_FALSE(std::ifstream(path).good());
  warning.clear();
  EXPECT_EQ(Sidecar::read(path, &warning).text(), "");
  EXPECT_EQ(warning, "");
}

}  // namespace
}  // namespace korvalin
