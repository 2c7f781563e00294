#include "shell/export_run.h"

#include <GL/gl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "export/video_export.h"
#include "platform/offscreen_gl.h"
#include "platform/vorbis_decoder.h"
#include "render/demo_renderer.h"
#include "render/effects.h"
#include "shell/shell_app.h"
#include "timeline/project_file.h"
#include "timeline/timeline.h"

namespace korvalin {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Frames drawn before the first one written, so that captures fed back from earlier frames
// look as they do when the demo plays up to that point.
constexpr double kWarmUpSeconds = 0.5;

volatile std::sig_atomic_t gStopRequested = 0;

void requestStop(int) { gStopRequested = 1; }

// Ctrl-C (or a polite kill) ends the export early but cleanly; a second one ends it at once.
class InterruptGuard {
 public:
  InterruptGuard() {
    gStopRequested = 0;  // a stop asked of an earlier export in this process is not this one's
    struct sigaction action = {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &oldInt_);
    sigaction(SIGTERM, &action, &oldTerm_);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &oldInt_, nullptr);
    sigaction(SIGTERM, &oldTerm_, nullptr);
  }

 private:
  struct sigaction oldInt_ = {};
  struct sigaction oldTerm_ = {};
};

double secondsSince(SteadyClock::time_point from) {
  return std::chrono::duration<double>(SteadyClock::now() - from).count();
}

std::string minutesAndSeconds(double seconds) {
  const long whole = static_cast<long>(seconds);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

// One line rewritten in place on a terminal; a plain line every tenth of the way otherwise.
class Progress {
 public:
  explicit Progress(int64_t total) : total_(total), terminal_(isatty(STDERR_FILENO) == 1) {}

  void update(int64_t done) {
    const double elapsed = secondsSince(start_);
    const int tenth = static_cast<int>(done * 10 / total_);
    if (terminal_ ? elapsed - shownAt_ < 0.25 && done < total_ : tenth == shownTenth_) return;
    shownAt_ = elapsed;
    shownTenth_ = tenth;
    // A frame has been drawn, so time has passed.
    const double fps = done / elapsed;
    const std::string left = minutesAndSeconds((total_ - done) / fps);
    std::fprintf(stderr, "%skorvalin: frame %lld of %lld (%d%%), %.0f fps, %s left%s",
                 terminal_ ? "\r" : "", static_cast<long long>(done),
                 static_cast<long long>(total_), static_cast<int>(done * 100 / total_), fps,
                 left.c_str(), terminal_ ? "   " : "\n");
  }

  // Ends the rewritten line, so that what follows starts on its own.
  void close() {
    if (terminal_ && shownAt_ > 0) std::fputc('\n', stderr);
  }

 private:
  int64_t total_;
  bool terminal_;
  SteadyClock::time_point start_ = SteadyClock::now();
  // The first line waits for a first measure of speed.
  double shownAt_ = 0;
  int shownTenth_ = 0;
};

// Where the last clip that is ever drawn ends; 0 for a project with none.
double lastClipEnd(const Timeline& timeline) {
  double end = 0;
  for (const auto& layer : timeline.layerClipTimes) {
    for (const ClipTimes& times : layer) {
      if (!(times.length > 0)) continue;
      const double clipEnd = static_cast<double>(times.start) + times.length;
      if (std::isfinite(clipEnd)) end = std::max(end, clipEnd);
    }
  }
  return end;
}

// One frame as the player's pass draws it: the demo rectangle cleared (to the new context's
// black, which nothing changes), the demo at t. The clip times were taken from the bars once;
// nothing changes them while exporting.
void drawDemoAt(DemoRenderer& renderer, double t) {
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, 0, kDemoWidth, kDemoHeight);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  renderer.renderDemoFrame(static_cast<float>(t));
  glDisable(GL_SCISSOR_TEST);
}

void say(const std::string& line) { std::fprintf(stderr, "korvalin: %s\n", line.c_str()); }

// Moves the finished file to its name; without --force never over a file that appeared
// while the export ran. Returns the exit status.
int moveIntoPlace(const std::string& part, const std::string& output, bool force) {
  int result = force ? std::rename(part.c_str(), output.c_str())
                     : renameat2(AT_FDCWD, part.c_str(), AT_FDCWD, output.c_str(), RENAME_NOREPLACE);
  if (result != 0 && !force && errno == EINVAL) {
    // A file system without the no-replace rename: check, then rename.
    struct stat existing;
    if (stat(output.c_str(), &existing) == 0) {
      errno = EEXIST;
    } else {
      result = std::rename(part.c_str(), output.c_str());
    }
  }
  if (result == 0) return 0;
  const bool exists = errno == EEXIST;
  say((exists ? output + " appeared while exporting; add --force to replace it"
              : "cannot rename " + part + " to " + output + ": " + std::strerror(errno)) +
      " (the video is in " + part + ")");
  return exists ? 2 : 1;
}

// 0 when OUT may be written; otherwise the status, after one line.
int checkOutput(const ExportOptions& options) {
  struct stat existing;
  if (stat(options.output.c_str(), &existing) != 0) return 0;
  if (S_ISDIR(existing.st_mode)) {
    say(options.output + " is a folder");
    return 2;
  }
  if (options.force) return 0;
  say(options.output + " exists; add --force to replace it");
  return 2;
}

// The demo as the player draws it, without a window: project, models and pictures of the
// run folder in an offscreen context.
struct OffscreenDemo {
  explicit OffscreenDemo(Timeline& project) : timeline(project) {}
  Timeline& timeline;
  std::unique_ptr<OffscreenGl> gl;
  MeshTable meshes;
  TextureTable textures;
  std::unique_ptr<DemoRenderer> renderer;

  // Needs the context.
  void load() {
    loadMeshes(meshes, nullptr);
    loadTextures(textures);
    renderer = std::make_unique<DemoRenderer>(timeline, textures, meshes);
    setUpDemoGl(kDemoWidth, kDemoHeight);
  }
  void draw(double t) { drawDemoAt(*renderer, t); }
};

}  // namespace

int runExport(const ExportOptions& options, ExportStats* stats) {
  if (const int refused = checkOutput(options)) return refused;
  const std::string& output = options.output;
  const std::string part = output + ".part";
  std::string error;
  std::unique_ptr<VorbisDecoder> music;
  if (access(kMusicPath, F_OK) == 0) {
    music = VorbisDecoder::open(kMusicPath, &error);
    if (!music) {
      say(error);
      return 1;
    }
  }
  Timeline timeline;
  if (loadProject(timeline, kProjectFileName, &error) != LoadResult::kLoaded) {
    say(error);
    return 1;
  }
  timeline.syncAllClipTimes();
  const double end = music ? music->lengthSeconds() : lastClipEnd(timeline);
  if (end <= 0) {
    say(std::string("nothing to export: no music (") + kMusicPath + ") and no clip in " + kProjectFileName);
    return 1;
  }
  ExportRange range;
  if (!resolveExportRange(options, end, music ? "the music" : "the last clip", &range, &error)) {
    say(error);
    return 2;
  }
  char line[512];
  if (!music) {
    std::snprintf(line, sizeof line,
                  "no music (%s is missing): the video is silent and ends with the last clip at %.3f s",
                  kMusicPath, end);
    say(line);
  }
  // The texture loader ends the program on a missing picture; here that would be no message.
  for (const char* path : kJpegAssetPaths) {
    if (access(path, R_OK) != 0) {
      say(std::string(path) + ": " + std::strerror(errno));
      return 1;
    }
  }

  VideoExportSettings settings;
  settings.path = part;
  settings.container = options.container->container;
  settings.width = kDemoWidth;
  settings.height = kDemoHeight;
  settings.scale = options.scale;
  settings.fps = options.fps;
  settings.crf = options.crf;
  settings.preset = options.preset;
  settings.encoderThreads = options.encoderThreads;
  AudioSource audio;
  if (music) {
    const int64_t first = std::llround(range.from * music->sampleRate());
    if (!music->seek(first)) {
      say(std::string(kMusicPath) + ": cannot seek to " + std::to_string(range.from) + " s");
      return 1;
    }
    settings.audioRate = music->sampleRate();
    settings.audioChannels = music->channels();
    settings.audioFrames = std::llround(range.to * music->sampleRate()) - first;
    audio = [&music](float* samples, int64_t frames) { return music->read(samples, frames); };
  }

  OffscreenDemo demo(timeline);
  demo.gl = OffscreenGl::create(kDemoWidth, kDemoHeight, &error);
  if (!demo.gl) {
    say(error);
    return 1;
  }
  // From here on Ctrl-C finishes what was written instead of leaving a broken file.
  InterruptGuard interrupts;
  // A stale one from an export that was stopped is replaced.
  std::remove(part.c_str());
  std::unique_ptr<VideoExport> video = VideoExport::open(settings, audio, &error);
  if (!video) {
    std::remove(part.c_str());
    say(error);
    return 1;
  }
  demo.load();

  const SteadyClock::time_point started = SteadyClock::now();
  const int64_t warmUp = std::min<int64_t>(std::llround(kWarmUpSeconds * options.fps),
                                           static_cast<int64_t>(range.from * options.fps + 1e-6));
  for (int64_t k = warmUp; k > 0 && !gStopRequested; --k) {
    demo.draw(range.from - static_cast<double>(k) / options.fps);
    demo.gl->swapBuffers();
  }
  Progress progress(range.frames);
  double renderSeconds = 0;
  bool encoderFailed = false;
  for (int64_t n = 0; n < range.frames && !gStopRequested && !encoderFailed; ++n) {
    const SteadyClock::time_point drawing = SteadyClock::now();
    demo.draw(range.from + static_cast<double>(n) / options.fps);
    encoderFailed = !video->captureFrame();
    renderSeconds += secondsSince(drawing);
    demo.gl->swapBuffers();
    progress.update(n + 1);
  }
  progress.close();
  const int64_t frames = video->framesCaptured();
  const bool complete = frames == range.frames && !encoderFailed;
  if (!video->finish(complete)) {
    std::remove(part.c_str());
    say(video->error());
    return 1;
  }
  // Damaged music costs its sound there, not the video: the decoder gave silence in its place.
  if (music && music->damagedAt() >= 0) {
    std::snprintf(line, sizeof line, "%s: damaged Ogg Vorbis data at %.2f s; silence stands in for what cannot be decoded",
                  kMusicPath, static_cast<double>(music->damagedAt()) / music->sampleRate());
    say(line);
  }
  const double wall = secondsSince(started);
  const double seconds = static_cast<double>(frames) / options.fps;
  if (stats != nullptr) {
    *stats = ExportStats{frames, seconds, wall, renderSeconds - video->waitSeconds(), video->encodeSeconds()};
  }
  if (frames == 0) {
    std::remove(part.c_str());
    say("stopped before the first frame; nothing was written");
    return 130;
  }
  if (!complete) {
    std::snprintf(line, sizeof line, "stopped after %lld of %lld frames (%.2f of %.2f s); the partial video is %s",
                  static_cast<long long>(frames), static_cast<long long>(range.frames), seconds,
                  range.to - range.from, part.c_str());
    say(line);
    return 130;
  }
  if (const int refused = moveIntoPlace(part, output, options.force)) return refused;
  std::snprintf(line, sizeof line, "wrote %s: %lld frames, %.2f s in %.1f s (%.2fx real time)", output.c_str(),
                static_cast<long long>(frames), seconds, wall, seconds / wall);
  say(line);
  return 0;
}

}  // namespace korvalin
