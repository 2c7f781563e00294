// The music stream against Ogg files the tests encode: two tones, of 100 and 101 frames a period
// at the file's own rate, so that a stretch of decoded sound tells the frame it started at (within
// 100 x 101 frames). Most tests play the device's part themselves: they call the stream's callback for
// each buffer and set its clock, so that what is heard, and when, is exact.
#include <SDL.h>
#include <gtest/gtest.h>
#include <ogg/ogg.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/music_stream.h"
#include "platform/vorbis_decoder.h"
#include "tests/platform/real_sdl.h"
#include "tools/music.h"

// Stand-ins for SDL's: a device the test plays itself, a machine where no audio device opens,
// not even on SDL's dummy driver, or one where SDL's audio cannot start at all. Each device asked
// for is noted as "capture changes format frames".
enum Audio { kRealAudio, kPlayedByTest, kNoDevice, kNoAudioSystem } gAudio = kRealAudio;
std::vector<std::string> gDevicesAsked;
SDL_AudioSpec gDevice;  // the one the test plays
bool gDevicePaused = true;

extern "C" int SDL_InitSubSystem(Uint32 flags) {
  if (gAudio == kNoAudioSystem && (flags & SDL_INIT_AUDIO) != 0) return SDL_SetError("no audio here");
  return REAL_SDL(SDL_InitSubSystem)(flags);
}

extern "C" SDL_AudioDeviceID SDL_OpenAudioDevice(const char* name, int capture, const SDL_AudioSpec* want,
                                                 SDL_AudioSpec* have, int changes) {
  gDevicesAsked.push_back(std::to_string(capture) + " " + std::to_string(changes) + " " + std::to_string(want->format) +
                          " " + std::to_string(want->samples) + " " + std::to_string(want->freq) + " " +
                          std::to_string(want->channels));
  if (gAudio == kPlayedByTest) gDevice = *want;
  if (gAudio == kPlayedByTest) return 99;  // a number SDL does not know: it ignores calls with it
  return gAudio == kNoDevice ? 0 : REAL_SDL(SDL_OpenAudioDevice)(name, capture, want, have, changes);
}

extern "C" void SDL_PauseAudioDevice(SDL_AudioDeviceID device, int paused) {
  gDevicePaused = paused != 0;
  REAL_SDL(SDL_PauseAudioDevice)(device, paused);
}

namespace korvalin {
namespace {

// Per process: ctest runs these tests side by side, each writing its own files.
std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "korvalin_" + std::to_string(getpid()) + "_" + name;
}

// Frame n of channel c: a tone of 100 + c frames a period, a quarter period ahead so that the
// very first frame is not silent.
float tone(int64_t n, int c) {
  return 0.4f * static_cast<float>(std::sin(2 * M_PI * static_cast<double>((n + 25) % (100 + c)) / (100 + c)));
}

std::string writeTones(int32_t millis, int32_t rate, int channels = 2) {
  const std::string path = tempPath(std::to_string(millis) + "ms" + std::to_string(rate) + "x" + std::to_string(channels) + ".ogg");
  std::vector<float> samples(static_cast<size_t>(millis) * rate / 1000 * channels);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = tone(static_cast<int64_t>(i / channels), static_cast<int>(i % channels));
  std::string error;
  EXPECT_TRUE(content::writeOggVorbis(path, samples, rate, 0.4f, &error, 1, channels)) << error;
  return path;
}

// A copy of `path` with `holes` gaps in a row in its data before its fourth page: pages that
// only carry on a packet, each numbered as if pages before it were lost.
std::string withHoles(const std::string& path, int holes) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), lost;
  for (int i = 0; i + 1 < holes; ++i) {
    std::string page = bytes.substr(0, 26) + "\x01\xff" + std::string(255, '\0');  // one unfinished segment
    page[5] = 1;                     // continued
    std::memset(&page[6], 0xff, 8);  // no packet ends here
    page[18] = static_cast<char>(4 + 2 * i);  // the page number's low byte; the first page's others are 0
    ogg_page p{reinterpret_cast<unsigned char*>(&page[0]), 28, reinterpret_cast<unsigned char*>(&page[28]), 255};
    ogg_page_checksum_set(&p);
    lost += page;
  }
  size_t fourth = 0;
  for (int page = 0; page < 3; ++page) fourth = bytes.find("OggS", fourth + 1);
  const std::string copy = path + "." + std::to_string(holes) + "holes.ogg";
  std::ofstream(copy, std::ios::binary) << bytes.insert(fourth, lost);
  return copy;
}

// Whether stereo `pcm` is the tones from `frame` on: the codec's mean error here is below 0.005,
// one frame off is 0.015.
bool tonesFrom(const std::vector<int16_t>& pcm, int64_t frame) {
  double error = 0;
  for (int k = 0; k < 2 * 1000; ++k) error += std::abs(pcm[k] / 32768.0 - tone(frame + k / 2, k % 2));
  return error / 2000 < 0.01;
}

// The number of frames up to the last sound in `pcm`.
int64_t soundFrames(const std::vector<int16_t>& pcm, int channels) {
  const auto last = std::find_if(pcm.rbegin(), pcm.rend(), [](int16_t v) { return v != 0; });
  return (pcm.rend() - last + channels - 1) / channels;
}

class MusicStreamTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tones44 = writeTones(3000, 44100);
    tones22 = writeTones(4000, 22050);
    mono22 = writeTones(2000, 22050, 1);
  }
  void SetUp() override { gAudio = kPlayedByTest; }
  void TearDown() override { gAudio = kRealAudio; }
  void openPaused(const std::string& path) {
    ASSERT_TRUE(music.open(path.c_str()));
    music.playPaused();
  }
  // The device's part: while it plays, it asks the stream for `buffers` buffers of 1024 frames,
  // which hold whatever was there before.
  std::vector<int16_t> pull(int buffers) {
    std::vector<int16_t> pcm(static_cast<size_t>(buffers) * 1024 * music.channels(), 0x5555);
    for (int i = 0; i < buffers && !gDevicePaused; ++i) gDevice.callback(gDevice.userdata, reinterpret_cast<Uint8*>(&pcm[i * 1024 * music.channels()]), 2048 * music.channels());
    return pcm;
  }
  // Plays at least `frames`, then lets the clock run a second on, and pauses.
  std::vector<int16_t> play(int frames) {
    music.setPaused(false);
    const std::vector<int16_t> pcm = pull((frames + 1023) / 1024);
    micros += 1000000;
    music.setPaused(true);
    return pcm;
  }
  inline static std::string tones44, tones22, mono22;
  uint64_t micros = 0;
  MusicStream music{[this] { return micros; }};
};

// Reopening the same stream also shows that a new file replaces the old one in full.
TEST_F(MusicStreamTest, SeeksPlayFromTheirFrameAtAnyRate) {
  const struct { std::string file; int32_t rate, length; } files[] = {{tones44, 44100, 3000}, {tones22, 22050, 4000}};
  for (const auto& [file, rate, length] : files) {
    SCOPED_TRACE(file);
    music.setPosition(441000);
    openPaused(file);
    EXPECT_TRUE(music.sampleRate() == rate && music.channels() == 2 && music.getLength() == length && music.getTime() == 0);
    // Past the end (ms -1), the time stands at the length and nothing more is heard.
    const struct { uint32_t bytes; int32_t ms; } seeks[] = {{441000, 2500}, {176400, 1000}, {20 * 176400, -1}, {123480, 700}, {0, 0}};
    for (const auto& seek : seeks) {
      music.setPosition(seek.bytes);
      EXPECT_EQ(music.getTime(), seek.ms < 0 ? length : seek.ms) << seek.bytes;
      const std::vector<int16_t> played = play(1000);
      EXPECT_TRUE(seek.ms < 0 ? soundFrames(played, 2) == 0 : tonesFrom(played, static_cast<int64_t>(seek.ms) * rate / 1000)) << seek.bytes;
    }
    // Played into the end, the last 100 ms are followed by silence only, and the time stands at
    // the length.
    music.setPosition(static_cast<uint32_t>(length - 100) * 1764 / 10);
    EXPECT_NEAR(soundFrames(play(rate / 2), 2), rate / 10, 50);
    EXPECT_EQ(music.getTime(), length);
    // The decoder hands out a last frame that comes alone: seeked to it, it reads one frame.
    std::string error;
    const auto decoder = VorbisDecoder::open(file, &error);
    float last[2];
    ASSERT_TRUE(decoder && decoder->seek(decoder->lengthFrames() - 1)) << error;
    EXPECT_EQ(decoder->read(last, 2), 1);
    EXPECT_NEAR(last[1], tone(decoder->lengthFrames() - 1, 1), 0.05);
  }
}

// Damaged data: decoding goes on over up to seven gaps in a row, and the music ends at the
// eighth rather than search on. The gaps are at frame 64064, the end at 132300.
TEST_F(MusicStreamTest, DecodingGoesOnOverSevenGapsInARow) {
  for (int holes : {7, 8}) {
    openPaused(withHoles(tones44, holes));
    EXPECT_NEAR(soundFrames(play(140000), 2), holes == 7 ? 132300 : 64064, 2048) << holes;
  }
}

// The time heard is the last buffer's start plus the clock since the stream filled it, never past
// that buffer's end and never back. Paused, the time stands; resumed, it neither skips the rest
// of the buffer, decoded but not heard yet, nor goes back; a seek while playing is heard at once.
TEST_F(MusicStreamTest, TimeFollowsTheClockFromTheLastBuffer) {
  openPaused(mono22);
  EXPECT_TRUE(music.sampleRate() == 22050 && music.channels() == 1 && music.getLength() == 2000);
  music.setPosition(176400);  // frame 22050
  // Each step: pause, play or neither (1, 0, -1), buffers the device asks for, the clock moved on
  // (µs), the time heard then. The music opens paused.
  const struct { int paused, buffers, micros, ms; } steps[] = {
      {-1, 1, 10000, 1000},    {0, 0, 0, 1000},     {0, 1, 10000, 1009},  // frame 22270
      {0, 0, -5000, 1009},     {0, 0, 1000000, 1046},  // the buffer's end, frame 23074
      {0, 1, 10000, 1056},     {1, 0, 1000000, 1056}, {0, 0, 0, 1056}, {0, 0, 10000, 1066}};
  for (const auto& step : steps) {
    if (step.paused >= 0) music.setPaused(step.paused != 0);
    pull(step.buffers);
    micros += step.micros;
    EXPECT_EQ(music.getTime(), step.ms) << &step - steps;
  }
  music.setPosition(0);
  EXPECT_EQ(music.getTime(), 0);
  micros += 10000;
  EXPECT_EQ(music.getTime(), 0);  // nothing heard before the next buffer
}

// A file it cannot play: one line on standard error naming it and the problem, then silence
// whose time runs like music and whose length is unknown, so the end-of-music test never fires.
// Eight channels are played.
TEST_F(MusicStreamTest, UnplayableFilesAreReportedAndHaveNoEnd) {
  const std::string garbage = tempPath("garbage.ogg");
  std::ofstream(garbage) << "this is not an Ogg stream, only some text that looks nothing like one\n";
  const struct { std::string path; const char* problem; } files[] = {
      {tempPath("no-such-file.ogg"), "No such file or directory"},
      {garbage, "not Ogg Vorbis data"},
      {writeTones(100, 44100, 9), "unsupported sample rate or channel count"}};
  for (const auto& f : files) {
    SCOPED_TRACE(f.path);
    music.init();
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(music.open(f.path.c_str()));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "korvalin: " + f.path + ": " + f.problem + "; playing silence instead\n");
    EXPECT_TRUE(music.sampleRate() == 44100 && music.channels() == 2 && music.getLength() == INT32_MAX);
    music.setPosition(176400);
    EXPECT_EQ(soundFrames(play(44100), 2), 0);
    EXPECT_EQ(music.getTime(), (44100 + 44 * 1024) * 1000 / 44100);  // the silence played
  }
  EXPECT_TRUE(music.open(writeTones(100, 44100, 8).c_str()));
}

// With no audio output at all, not even on SDL's dummy driver, the time runs on the clock alone up
// to the music's end; the silence is reported once, however often music is opened.
TEST_F(MusicStreamTest, WithoutAnyAudioTheClockAloneKeepsTime) {
  for (Audio without : {kNoDevice, kNoAudioSystem}) {
    gAudio = without;
    gDevicesAsked.clear();
    ::testing::internal::CaptureStderr();
    {
      MusicStream clocked([&] { return micros; });
      for (int open = 0; open < 2; ++open) {
        EXPECT_TRUE(clocked.open(tones44.c_str()));
        EXPECT_EQ(clocked.audioDriver(), "");
        clocked.playPaused();
        clocked.setPosition(176400);
        clocked.setPaused(false);
        micros += 500000;
        EXPECT_EQ(clocked.getTime(), 1500) << without;
        micros += 4500000;
        EXPECT_EQ(clocked.getTime(), 3000) << without;
        clocked.setPosition(88200);
        micros += 100000;
        EXPECT_EQ(clocked.getTime(), 600) << without;
      }
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "korvalin: no audio device; the music plays silently\n");
    EXPECT_EQ(gDevicesAsked.empty(), without == kNoAudioSystem);  // no device asked of audio that is not there
  }
}

// Where no audio device works (ctest runs this under SDL's own driver order, a driver that does
// not exist and the dummy driver asked for): a fallback says so in one line of ours, once even
// when F1 opens the music again, and the audio library says nothing; asking for silence, or having
// sound, prints nothing. The device is an output of 16-bit samples in the music's own rate and
// channels, with no changes allowed (SDL converts for the card), in buffers of 1024 frames, so
// that sound follows a seek within some 23 ms.
TEST(MusicSilenceTest, NoDeviceIsReportedInOneLineOnceAndTheDummyDriverKeepsTime) {
  const std::string path = writeTones(1000, 22050, 1);
  const char* asked = std::getenv("SDL_AUDIODRIVER");
  ::testing::internal::CaptureStderr();
  std::string driver;
  {
    MusicStream music;
    EXPECT_EQ(music.audioDriver(), "");  // nothing open yet
    for (int open = 0; open < 2; ++open) {
      EXPECT_TRUE(music.open(path.c_str()));  // SDL's audio started on the way if need be
      EXPECT_NE(driver = music.audioDriver(), "");  // whatever failed, the dummy driver keeps time
      music.setPaused(false);
      for (int wait = 0; wait < 10000 && music.getTime() == 0; ++wait) SDL_Delay(1);
      EXPECT_GT(music.getTime(), 0);  // the device's own thread plays
      music.init();
    }
  }
  EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);  // stopped with the stream, however often started
  const bool fellBack = driver == "dummy" && (asked == nullptr || std::string(asked) != "dummy");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), fellBack ? "korvalin: no audio device; the music plays silently\n" : "") << driver;
  for (const std::string& device : gDevicesAsked) EXPECT_EQ(device, "0 0 " + std::to_string(AUDIO_S16LSB) + " 1024 22050 1");
}

}  // namespace
}  // namespace korvalin
