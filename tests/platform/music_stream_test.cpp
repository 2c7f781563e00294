// The music stream against Ogg files the tests encode: two tones, of 100 and 101 frames a period
// at the file's own rate, so that the phases of a stretch of decoded sound tell the frame it
// started at. SDL's "disk" audio driver writes what the stream plays to a file; the "dummy" one
// keeps time only. Both pace themselves with sleeps, so their rate may differ from the wall clock
// by a few per cent: bounds allow for it.
#include <SDL.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "platform/music_stream.h"
#include "tools/music.h"

// Stand-ins for SDL's: a machine where no audio device opens, not even on SDL's dummy driver, or
// where SDL's audio cannot start at all. Each device asked for is noted as "capture changes".
enum NoAudio { kAudioWorks, kNoDevice, kNoAudioSystem } gNoAudio = kAudioWorks;
std::vector<std::string> gDevicesAsked;

extern "C" int SDL_InitSubSystem(Uint32 flags) {
  if (gNoAudio == kNoAudioSystem && (flags & SDL_INIT_AUDIO) != 0) return SDL_SetError("no audio here");
  return reinterpret_cast<int (*)(Uint32)>(dlsym(RTLD_NEXT, "SDL_InitSubSystem"))(flags);
}

extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char* name, int capture, const SDL_AudioSpec* want,
                                                 SDL_AudioSpec* have, int changes) {
  gDevicesAsked.push_back(std::to_string(capture) + " " + std::to_string(changes));
  if (gNoAudio == kNoDevice) return 0;
  using Open = SDL_AudioDeviceID (*)(const char*, int, const SDL_AudioSpec*, SDL_AudioSpec*, int);
  return reinterpret_cast<Open>(dlsym(RTLD_NEXT, "SDL_OpenAudioDevice"))(name, capture, want, have, changes);
}

namespace korvalin {
namespace {

using WallClock = std::chrono::steady_clock;
constexpr int kWindow = 100 * 101;  // frames in which both tones repeat whole periods

// Per process: ctest runs these tests side by side, each writing its own files.
std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "korvalin_" + std::to_string(getpid()) + "_" + name;
}

double millisSince(WallClock::time_point from) {
  return std::chrono::duration<double, std::milli>(WallClock::now() - from).count();
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Channel c a tone of 100 + c frames a period.
std::string writeTones(int32_t millis, int32_t rate, int channels = 2) {
  const std::string path = tempPath(std::to_string(millis) + "ms" + std::to_string(rate) + "x" + std::to_string(channels) + ".ogg");
  std::vector<float> samples(static_cast<size_t>(millis) * rate / 1000 * channels);
  for (size_t i = 0; i < samples.size(); ++i) {
    // A quarter period ahead, so that the very first frame is not silent.
    const int period = 100 + static_cast<int>(i % channels);
    samples[i] = 0.4f * static_cast<float>(std::sin(2 * M_PI * static_cast<double>((i / channels + 25) % period) / period));
  }
  std::string error;
  EXPECT_TRUE(content::writeOggVorbis(path, samples, rate, 0.4f, &error, 1, channels)) << error;
  return path;
}

// A copy of `path` whose first page says the music has `rate` frames a second.
std::string withRate(const std::string& path, uint32_t rate) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ogg_page page;
  page.header = reinterpret_cast<unsigned char*>(&bytes[0]);
  page.header_len = 27 + page.header[26];
  page.body = page.header + page.header_len;
  page.body_len = 30;  // the identification header alone: packet type, "vorbis", version, channels, rate
  std::memcpy(page.body + 12, &rate, 4);
  ogg_page_checksum_set(&page);
  const std::string copy = path + "." + std::to_string(rate) + ".ogg";
  std::ofstream(copy, std::ios::binary) << bytes;
  return copy;
}

// Whether the process holds `path` open.
bool isOpen(const std::string& path) {
  for (int fd = 0; fd < 1024; ++fd) {
    char target[4096];
    const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), target, sizeof target);
    if (n > 0 && std::string(target, n) == path) return true;
  }
  return false;
}

// The frame of the tones (modulo kWindow) at which the first sound after byte `from` of the disk
// driver's output starts, or -1 when there is no sound there. Each tone's phase gives the frame
// modulo its period; as 100 is -1 modulo 101, n = a + 100 ((a - b) mod 101) has both remainders.
int64_t soundStartsAt(const std::string& output, size_t from) {
  std::ifstream in(output, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<int16_t> pcm(bytes.size() / 2);
  std::memcpy(pcm.data(), bytes.data(), pcm.size() * 2);
  size_t first = from / 4;
  while (first * 2 + 1 < pcm.size() && pcm[first * 2] == 0 && pcm[first * 2 + 1] == 0) ++first;
  if ((first + kWindow) * 2 > pcm.size()) return -1;
  int64_t frame[2];
  for (int channel = 0; channel < 2; ++channel) {
    const int period = 100 + channel;
    double s = 0, c = 0;
    for (int k = 0; k < kWindow; ++k) {
      s += pcm[(first + k) * 2 + channel] * std::cos(2 * M_PI * k / period);
      c += pcm[(first + k) * 2 + channel] * std::sin(2 * M_PI * k / period);
    }
    frame[channel] = (std::llround(std::atan2(s, c) / (2 * M_PI) * period) - 25 + 2 * period) % period;
  }
  return frame[0] + 100 * ((frame[0] - frame[1] + 101) % 101);
}

size_t fileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<size_t>(in.tellg()) : 0;
}

// The output's size once four buffers of the paused device's silence have followed what was
// played before: the driver writes through a stdio buffer, so a busy machine may otherwise leave
// the last tones unwritten until after the size is read.
size_t settledSize(const std::string& path) {
  const size_t paused = fileSize(path);
  const WallClock::time_point start = WallClock::now();
  while (fileSize(path) < paused + 4 * 4096 && millisSince(start) < 60000) sleepMs(5);
  return fileSize(path);
}

class MusicStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tones44 = writeTones(3000, 44100);
    tones22 = writeTones(4000, 22050);
    mono22 = writeTones(2000, 22050, 1);
  }
  void openPaused(const std::string& path) {
    music.init();
    ASSERT_TRUE(music.open(path.c_str()));
    music.playPaused();
  }
  inline static std::string tones44, tones22, mono22;
  MusicStream music;
};

// Reopening the same stream also shows that a new file replaces the old one in full.
TEST_F(MusicStreamTest, SeeksPlayFromTheirFrameAtAnyRate) {
  const std::string output = tempPath("played.raw");
  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
  for (const std::string& file : {tones44, tones22}) {
    SCOPED_TRACE(file);
    const int32_t rate = file == tones44 ? 44100 : 22050;
    music.setPosition(441000);
    openPaused(file);
    EXPECT_TRUE(music.sampleRate() == rate && music.channels() == 2);
    const int32_t length = music.getLength();
    EXPECT_EQ(length, rate == 44100 ? 3000 : 4000);
    EXPECT_EQ(music.getTime(), 0);
    // Past the end (ms -1), the time stands at the length and nothing more is heard.
    const struct { uint32_t bytes; int32_t ms; } seeks[] = {{441000, 2500}, {176400, 1000}, {20 * 176400, -1}, {123480, 700}, {0, 0}};
    for (const auto& seek : seeks) {
      music.setPosition(seek.bytes);
      EXPECT_EQ(music.getTime(), seek.ms < 0 ? length : seek.ms) << seek.bytes;
      const size_t before = settledSize(output);
      music.setPaused(false);
      const WallClock::time_point start = WallClock::now();
      while (fileSize(output) < before + (kWindow + 8192) * 4 && millisSince(start) < 60000) sleepMs(20);
      music.setPaused(true);
      EXPECT_EQ(soundStartsAt(output, before), seek.ms < 0 ? -1 : static_cast<int64_t>(seek.ms) * rate / 1000 % kWindow) << seek.bytes;
    }
    // Played into the end, the last 100 ms are followed by silence only, and the time stands at
    // the length.
    music.setPosition(static_cast<uint32_t>(length - 100) * 1764 / 10);
    const size_t before = settledSize(output);
    music.setPaused(false);
    const WallClock::time_point start = WallClock::now();
    while (fileSize(output) < before + static_cast<size_t>(rate) * 4 / 2 && millisSince(start) < 60000) sleepMs(20);
    music.setPaused(true);
    settledSize(output);
    std::ifstream in(output, std::ios::binary);
    std::string played((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(played.find_first_not_of('\0', before), std::string::npos) << "the last 100 ms";
    EXPECT_EQ(played.find_first_not_of('\0', before + static_cast<size_t>(rate) * 4 * 15 / 100), std::string::npos)
        << "silence after the end";
    EXPECT_EQ(music.getTime(), length);
  }
  EXPECT_FALSE(isOpen(tones44));  // the file before is closed
  unsetenv("SDL_DISKAUDIOFILE");
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  std::remove(output.c_str());
}

// Sampled about every millisecond while playing: never back, and never more than the wall time
// since the last sample plus 2 ms (a position that moves only at each callback steps some 23 ms).
// The wall time is taken from before the last read to after this one, so that the test thread
// being preempted between a read and its timestamp cannot make a step look too large. Paused, the
// time stands; resumed, it neither skips the decoded but unheard part of the buffer nor goes back;
// a seek while playing is heard at once, backwards too.
TEST_F(MusicStreamTest, TimeIsSmoothFollowsTheWallClockAndStandsWhilePaused) {
  openPaused(mono22);
  EXPECT_TRUE(music.sampleRate() == 22050 && music.channels() == 1 && music.getLength() == 2000);
  music.setPosition(176400);
  EXPECT_EQ(music.getTime(), 1000);
  music.setPaused(false);
  const WallClock::time_point start = WallClock::now();
  const int32_t first = music.getTime();
  int32_t previous = first;
  WallClock::time_point previousRead = start;
  int backwards = 0, tooLarge = 0, samples = 0;
  while (millisSince(start) < 700 && previous < 1900) {
    sleepMs(1);
    const WallClock::time_point readAt = WallClock::now();
    const int32_t now = music.getTime();
    backwards += now < previous;
    tooLarge += now - previous > millisSince(previousRead) * 1.1 + 2.0;
    previous = now;
    previousRead = readAt;
    ++samples;
  }
  const double wallTotal = millisSince(start);
  music.setPaused(true);
  EXPECT_TRUE(backwards == 0 && tooLarge == 0) << backwards << " back, " << tooLarge << " too large of " << samples;
  EXPECT_GT(previous - first, wallTotal * 0.6);
  EXPECT_LT(previous - first, wallTotal * 1.15);
  const int32_t held = music.getTime();
  EXPECT_GE(held, previous);
  sleepMs(100);
  EXPECT_EQ(music.getTime(), held);
  music.setPaused(false);
  EXPECT_GE(music.getTime(), held);
  EXPECT_LE(music.getTime(), held + 2);
  music.setPosition(0);
  EXPECT_LT(music.getTime(), 100);
  music.setPaused(true);
}

// A file it cannot play: one line on standard error naming it and the problem, then silence
// whose time runs in real time and whose length is unknown, so the end-of-music test never
// fires. Music from a pipe plays, but its length is unknown as well; an empty file ends at once.
TEST_F(MusicStreamTest, UnplayableFilesAndPipesHaveNoEnd) {
  const std::string garbage = tempPath("garbage.ogg");
  std::ofstream(garbage) << "this is not an Ogg stream, only some text that looks nothing like one\n";
  const struct { std::string path; const char* problem; } files[] = {
      {tempPath("no-such-file.ogg"), "No such file or directory"},
      {garbage, "not Ogg Vorbis data"},
      {writeTones(100, 44100, 9), "unsupported sample rate or channel count"},
      {withRate(writeTones(100, 44100, 1), 384001), "unsupported sample rate or channel count"}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.path);
    music.init();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(music.open(f.path.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "korvalin: " + f.path + ": " + f.problem + "; playing silence instead\n");
    EXPECT_FALSE(isOpen(f.path));
    EXPECT_TRUE(music.sampleRate() == 44100 && music.channels() == 2);
    EXPECT_EQ(music.getLength(), std::numeric_limits<int32_t>::max());
    music.playPaused();
    music.setPosition(176400);
    EXPECT_EQ(music.getTime(), 1000);
    const WallClock::time_point start = WallClock::now();
    music.setPaused(false);
    sleepMs(200);
    const int32_t later = music.getTime();
    const double wall = millisSince(start);
    music.setPaused(true);
    // A busy machine delays the driver's callbacks, never speeds them up much.
    EXPECT_GT(later, 1040);
    EXPECT_LT(later, 1000 + wall * 1.1 + 5);
  }
  for (const std::string& path : {writeTones(100, 44100, 8), withRate(writeTones(100, 44100, 1), 384000), writeTones(0, 44100)}) {
    EXPECT_TRUE(music.open(path.c_str())) << path;
  }
  EXPECT_EQ(music.getLength(), 0);
  const std::string pipe = tempPath("pipe.ogg");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::thread writer([&] {
    std::ifstream in(writeTones(200, 22050, 1), std::ios::binary);
    std::ofstream(pipe, std::ios::binary) << in.rdbuf();
  });
  EXPECT_TRUE(music.open(pipe.c_str()));
  writer.join();
  music.setPosition(176400);  // a pipe cannot seek: the time stays where its data is
  EXPECT_EQ(music.getTime(), 0);
  EXPECT_TRUE(music.sampleRate() == 22050 && music.getLength() == std::numeric_limits<int32_t>::max());
  std::remove(pipe.c_str());
}

// With no audio output at all, not even on SDL's dummy driver, the time runs on the clock alone up
// to the music's end; the silence is reported once, however often music is opened.
TEST_F(MusicStreamTest, WithoutAnyAudioTheClockAloneKeepsTime) {
  for (NoAudio without : {kNoDevice, kNoAudioSystem}) {
    uint64_t micros = 0;
    gNoAudio = without;
    gDevicesAsked.clear();
    ::testing::internal::CaptureStderr();
    {
      MusicStream clocked([&] { return micros; });
      clocked.init();
      const struct { std::string path; int32_t later, atTheEnd; } files[] = {{tones44, 1500, 3000}, {writeTones(0, 44100), 0, 0}};
      for (const auto& f : files) {
        EXPECT_TRUE(clocked.open(f.path.c_str()));
        EXPECT_EQ(clocked.audioDriver(), "");
        clocked.playPaused();
        clocked.setPosition(176400);
        clocked.setPaused(false);
        micros += 500000;
        EXPECT_EQ(clocked.getTime(), f.later) << without;
        micros += 4500000;
        EXPECT_EQ(clocked.getTime(), f.atTheEnd) << without;
        clocked.setPosition(88200);
        micros += 100000;
        EXPECT_EQ(clocked.getTime(), std::min(600, f.atTheEnd)) << without;
      }
    }
    gNoAudio = kAudioWorks;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "korvalin: no audio device; the music plays silently\n");
    EXPECT_EQ(gDevicesAsked.empty(), without == kNoAudioSystem);  // no device asked of audio that is not there
  }
}

// Where no audio device works (ctest runs this under SDL's own driver order, a driver that does
// not exist and the dummy driver asked for): a fallback says so in one line of ours, once even
// when F1 opens the music again, and the audio library says nothing; asking for silence, or having
// sound, prints nothing. The device is an output in the music's own format: SDL converts for the
// card.
TEST(MusicSilenceTest, NoDeviceIsReportedInOneLineOnceAndTheDummyDriverKeepsTime) {
  const std::string path = tempPath("silence.ogg");
  std::string error;
  ASSERT_TRUE(content::writeOggVorbis(path, std::vector<float>(2 * 44100, 0.0f), 44100, 0.1f, &error)) << error;
  const char* asked = std::getenv("SDL_AUDIODRIVER");
  ::testing::internal::CaptureStderr();
  std::string driver;
  {
    MusicStream music;
    EXPECT_EQ(music.audioDriver(), "");  // nothing open yet
    for (int open = 0; open < 2; ++open) {
      EXPECT_TRUE(music.open(path.c_str()));  // SDL's audio started on the way if need be
      EXPECT_NE(driver = music.audioDriver(), "");  // whatever failed, the dummy driver keeps time
      music.init();
    }
  }
  EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);  // stopped with the stream, however often started
  const std::string printed = ::testing::internal::GetCapturedStderr();
  std::remove(path.c_str());
  const bool fellBack = driver == "dummy" && (asked == nullptr || std::string(asked) != "dummy");
  EXPECT_EQ(printed, fellBack ? "korvalin: no audio device; the music plays silently\n" : "") << driver;
  for (const std::string& device : gDevicesAsked) EXPECT_EQ(device, "0 0");
}

}  // namespace
}  // namespace korvalin
