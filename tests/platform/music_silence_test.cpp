// Opening the music where no audio device works. ctest runs this with SDL's own driver order,
// with a driver that does not exist, and with the dummy driver asked for: a fallback says so in
// one line of ours and the audio library says nothing; asking for silence, or having sound,
// prints nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/music_stream.h"
#include "tools/music.h"

namespace korvalin {
namespace {

TEST(MusicSilenceTest, NoDeviceIsReportedInOneLineOnceAndTheDummyDriverKeepsTime) {
  const std::string path = ::testing::TempDir() + "korvalin_silence_" + std::to_string(getpid()) + ".ogg";
  std::string error;
  ASSERT_TRUE(content::writeOggVorbis(path, std::vector<float>(2 * 44100, 0.0f), 44100, 0.1f, &error)) << error;
  const char* asked = std::getenv("SDL_AUDIODRIVER");
  const std::string askedFor = asked != nullptr ? asked : "";

  ::testing::internal::CaptureStderr();
  std::string driver;
  {
    MusicStream music;
    music.init();
    EXPECT_EQ(music.audioDriver(), "");  // nothing open yet
    // A second open is what F1 does: the fallback is not reported again.
    for (int open = 0; open < 2; ++open) {
      EXPECT_TRUE(music.open(path.c_str()));
      // Whatever failed, the dummy driver is there to keep time.
      EXPECT_NE(driver = music.audioDriver(), "");
    }
  }
  const std::string printed = ::testing::internal::GetCapturedStderr();
  std::remove(path.c_str());

  const bool fellBack = driver == "dummy" && askedFor != "dummy";
  EXPECT_EQ(printed, fellBack ? "korvalin: no audio device; the music plays silently\n" : "") << driver;
}

}  // namespace
}  // namespace korvalin
