#include "platform/music_stream.h"

#include <SDL.h>
#include <dlfcn.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace korvalin {

struct MusicStream::State {
  OggVorbis_File file;
  bool haveFile = false;
  bool atEnd = false;        // the decoder has nothing more; callbacks give silence
  int32_t rate = 44100;
  int32_t channels = 2;
  int64_t totalFrames = -1;  // unknown: silence of no end
  // Frames: the next one the decoder hands out, and the span of the last callback's buffer.
  int64_t decodePos = 0;
  int64_t callbackPos = 0;
  int64_t callbackEnd = 0;
  uint64_t callbackMicros = 0;
  bool paused = true;
  bool noDevice = false;  // no audio output at all: time runs on the wall clock alone
  int64_t heldPos = 0;
  int64_t lastReported = 0;
  MusicStream::MicrosSource* now = nullptr;
};

namespace {

uint64_t steadyMicros() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

// Runs on SDL's audio thread with the device locked.
void fillAudio(void* user, Uint8* out, int len) {
  MusicStream::State& s = *static_cast<MusicStream::State*>(user);
  const int frameBytes = 2 * s.channels;
  int filled = 0;
  if (s.haveFile && !s.atEnd) {
    int holes = 0;
    while (filled < len) {
      int section = 0;
      const long got = ov_read(&s.file, reinterpret_cast<char*>(out) + filled, len - filled,
                               false, 2, true, &section);  // little-endian, 16-bit, signed
      if (got == OV_HOLE && ++holes < 8) continue;  // a gap in the data: decoding goes on
      if (got <= 0) {
        s.atEnd = true;
        break;
      }
      filled += static_cast<int>(got);
    }
    std::memset(out + filled, 0, static_cast<size_t>(len - filled));
  } else {
    std::memset(out, 0, static_cast<size_t>(len));
    if (!s.haveFile) filled = len;  // silence of no end still moves on
  }
  s.callbackPos = s.decodePos;
  s.decodePos += filled / frameBytes;
  s.callbackEnd = s.decodePos;
  s.callbackMicros = (*s.now)();
}

// Where the listener is now, between the last callback and the end of its buffer.
int64_t heardPosition(const MusicStream::State& s) {
  const uint64_t now = (*s.now)();
  const uint64_t since = now > s.callbackMicros ? now - s.callbackMicros : 0;
  const int64_t advanced = static_cast<int64_t>(since * static_cast<uint64_t>(s.rate) / 1000000u);
  if (s.noDevice) {
    const int64_t position = s.callbackPos + advanced;
    return s.totalFrames >= 0 ? std::min(position, s.totalFrames) : position;
  }
  return std::min(s.callbackPos + advanced, s.callbackEnd);
}

int32_t framesToMillis(int64_t frames, int32_t rate) {
  const int64_t ms = frames * 1000 / rate;
  return static_cast<int32_t>(std::min<int64_t>(ms, std::numeric_limits<int32_t>::max()));
}

void ignoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA writes a line to standard error for every step of a failed device probe, seven or more
// on a machine with no sound card, even when SDL goes on to another driver. SDL loads ALSA on
// demand, so it is reached the same way here; the copy stays loaded, so that SDL's later load
// shares it and its silenced handler. Without ALSA there is nothing to silence.
void silenceAlsa() {
  static void* const alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (alsa == nullptr) return;
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  auto setHandler = reinterpret_cast<int (*)(Handler)>(dlsym(alsa, "snd_lib_error_set_handler"));
  if (setHandler != nullptr) setHandler(ignoreAlsaError);
}

class DeviceLock {
 public:
  explicit DeviceLock(uint32_t device) : device_(device) {
    if (device_ != 0) SDL_LockAudioDevice(device_);
  }
  ~DeviceLock() {
    if (device_ != 0) SDL_UnlockAudioDevice(device_);
  }

 private:
  uint32_t device_;
};

}  // namespace

MusicStream::MusicStream() : MusicStream(steadyMicros) {}

MusicStream::MusicStream(MicrosSource now) : state_(new State()), now_(std::move(now)) {
  state_->now = &now_;
}

MusicStream::~MusicStream() {
  closeStream();
  if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void MusicStream::init() {
  if (audioStarted_) return;
  silenceAlsa();
  audioStarted_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  if (!audioStarted_) startSilently();
}

bool MusicStream::startSilently() {
  // Once: without any audio, every later open fails the same way.
  if (!silenceReported_) std::fputs("korvalin: no audio device; the music plays silently\n", stderr);
  silenceReported_ = true;
  if (audioStarted_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  // The dummy driver keeps time like a device, so the demo runs as it would with sound. It
  // overrides SDL_AUDIODRIVER, which may name the driver that just failed.
  SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
  audioStarted_ = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  return audioStarted_;
}

std::string MusicStream::audioDriver() const {
  const char* name = device_ != 0 ? SDL_GetCurrentAudioDriver() : nullptr;
  return name != nullptr ? name : "";
}

void MusicStream::closeStream() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (state_->haveFile) ov_clear(&state_->file);
  MicrosSource* now = state_->now;
  *state_ = State();
  state_->now = now;
}

bool MusicStream::openDevice() {
  if (!audioStarted_) init();
  if (!audioStarted_) return false;
  SDL_AudioSpec want;
  SDL_zero(want);
  want.freq = state_->rate;
  want.format = AUDIO_S16LSB;
  want.channels = static_cast<Uint8>(state_->channels);
  want.samples = kBufferFrames;
  want.callback = fillAudio;
  want.userdata = state_.get();
  SDL_AudioSpec have;
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0 && startSilently()) device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  return device_ != 0;
}

bool MusicStream::open(const char* path) {
  closeStream();
  State& s = *state_;
  std::string problem;
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    problem = std::strerror(errno);
  } else {
    const int result = ov_open_callbacks(file, &s.file, nullptr, 0, OV_CALLBACKS_DEFAULT);
    if (result != 0) {
      std::fclose(file);
      problem = result == OV_ENOTVORBIS ? "not Ogg Vorbis data" : "damaged Ogg Vorbis data";
    } else {
      s.haveFile = true;
      const vorbis_info* info = ov_info(&s.file, -1);
      if (info == nullptr || info->rate <= 0 || info->rate > 384000 || info->channels < 1 ||
          info->channels > 8) {
        problem = "unsupported sample rate or channel count";
      } else {
        s.rate = static_cast<int32_t>(info->rate);
        s.channels = info->channels;
        // Negative when unknown (data that cannot be seeked).
        s.totalFrames = ov_pcm_total(&s.file, -1);
      }
    }
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "korvalin: %s: %s; playing silence instead\n", path, problem.c_str());
    closeStream();
  }
  // Not even the dummy driver (already reported): time runs on the wall clock.
  if (!openDevice()) state_->noDevice = true;
  return problem.empty();
}

void MusicStream::playPaused() { setPaused(true); }

void MusicStream::setPaused(bool paused) {
  {
    DeviceLock lock(device_);
    State& s = *state_;
    if (paused == s.paused) return;
    if (paused) {
      s.heldPos = std::max(heardPosition(s), s.lastReported);
    } else {
      // Time goes on from where it was frozen; the next callback catches up with the decoder.
      s.callbackPos = s.heldPos;
      s.callbackEnd = std::max(s.decodePos, s.heldPos);
      s.callbackMicros = now_();
      s.lastReported = s.heldPos;
    }
    s.paused = paused;
  }
  if (device_ != 0) SDL_PauseAudioDevice(device_, paused ? 1 : 0);
}

void MusicStream::setPosition(uint32_t bytes) {
  DeviceLock lock(device_);
  State& s = *state_;
  // Integer arithmetic throughout, so that whole seconds land on whole frames.
  int64_t target = static_cast<int64_t>(static_cast<uint64_t>(bytes / 4) *
                                        static_cast<uint64_t>(s.rate) / 44100u);
  if (s.totalFrames >= 0 && target >= s.totalFrames) {
    target = s.totalFrames;
    s.atEnd = true;
  } else if (s.haveFile) {
    if (ov_pcm_seek(&s.file, target) != 0) {
      target = ov_pcm_tell(&s.file);
      if (target < 0) target = 0;
    }
    s.atEnd = false;
  }
  s.decodePos = target;
  s.callbackPos = target;
  s.callbackEnd = target;
  s.callbackMicros = now_();
  s.heldPos = target;
  s.lastReported = target;
}

int32_t MusicStream::getTime() {
  DeviceLock lock(device_);
  State& s = *state_;
  int64_t position = s.heldPos;
  if (!s.paused) {
    position = std::max(heardPosition(s), s.lastReported);
    s.lastReported = position;
  }
  return framesToMillis(position, s.rate);
}

int32_t MusicStream::getLength() {
  if (state_->totalFrames < 0) return std::numeric_limits<int32_t>::max();
  return framesToMillis(state_->totalFrames, state_->rate);
}

int32_t MusicStream::sampleRate() const { return state_->rate; }
int32_t MusicStream::channels() const { return state_->channels; }

}  // namespace korvalin
