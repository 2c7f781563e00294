#include "export/video_export.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "export/video_file.h"

namespace korvalin {
namespace {

// Pixel buffers the read-back cycles through: the picture read now is mapped two frames later,
// when the copy has long finished, so drawing never waits for it.
constexpr int kPixelBufferCount = 3;
// Pictures waiting for the encoder; beyond that the drawing waits.
constexpr int kQueuedPictures = 4;

}  // namespace

struct VideoExport::Shared {
  std::unique_ptr<VideoFile> file;
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::vector<uint8_t>> pictures;
  std::deque<int> free;
  std::deque<int> queued;
  bool ending = false;
  bool complete = false;
  bool abandon = false;
  bool failed = false;
  std::string error;
  double encodeSeconds = 0;
  std::thread thread;
};

std::unique_ptr<VideoExport> VideoExport::open(const VideoExportSettings& settings, AudioSource audio,
                                               std::string* error) {
  std::unique_ptr<VideoFile> file = VideoFile::open(settings, std::move(audio), error);
  if (!file) return nullptr;
  std::unique_ptr<VideoExport> out(new VideoExport());
  out->settings_ = settings;
  out->shared_ = std::make_unique<Shared>();
  Shared& s = *out->shared_;
  s.file = std::move(file);
  const size_t bytes = static_cast<size_t>(settings.width) * settings.height * 4;
  for (int i = 0; i < kQueuedPictures; ++i) {
    s.pictures.emplace_back(bytes);
    s.free.push_back(i);
  }
  glGenBuffers(kPixelBufferCount, out->pixelBuffers_);
  for (uint32_t buffer : out->pixelBuffers_) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
    glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(bytes), nullptr, GL_STREAM_READ);
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  s.thread = std::thread(&VideoExport::encodeLoop, out.get());
  return out;
}

VideoExport::~VideoExport() {
  if (shared_->thread.joinable()) {
    {
      std::lock_guard<std::mutex> lock(shared_->mutex);
      shared_->abandon = true;
    }
    shared_->changed.notify_all();
    shared_->thread.join();
  }
  glDeleteBuffers(kPixelBufferCount, pixelBuffers_);
}

bool VideoExport::captureFrame() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->failed || finished_) return false;
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffers_[captured_ % kPixelBufferCount]);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glReadPixels(0, 0, settings_.width, settings_.height, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
  ++captured_;
  if (captured_ - delivered_ >= kPixelBufferCount) deliverOldest();
  // Other read-backs and uploads must not land in a pixel buffer.
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return !shared_->failed;
}

void VideoExport::deliverOldest() {
  Shared& s = *shared_;
  int index = 0;
  {
    const auto waiting = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(s.mutex);
    s.changed.wait(lock, [&] { return !s.free.empty() || s.failed; });
    waitSeconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - waiting).count();
    if (s.failed) return;
    index = s.free.front();
    s.free.pop_front();
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, pixelBuffers_[delivered_ % kPixelBufferCount]);
  const void* pixels = glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_ONLY);
  if (pixels != nullptr) std::memcpy(s.pictures[index].data(), pixels, s.pictures[index].size());
  glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
  ++delivered_;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (pixels == nullptr) {
      s.failed = true;
      s.error = "cannot read the picture back from OpenGL";
      s.free.push_back(index);
    } else {
      s.queued.push_back(index);
    }
  }
  s.changed.notify_all();
}

void VideoExport::encodeLoop() {
  Shared& s = *shared_;
  using Clock = std::chrono::steady_clock;
  const int64_t audioRate = settings_.audioRate;
  // The audio that belongs with the first `pictures` pictures, never past the range.
  const auto audioFor = [&](int64_t pictures) {
    return std::min(settings_.audioFrames, pictures * audioRate / settings_.fps);
  };
  for (;;) {
    int index = 0;
    {
      std::unique_lock<std::mutex> lock(s.mutex);
      s.changed.wait(lock, [&] { return s.abandon || s.ending || !s.queued.empty(); });
      if (s.abandon) return;
      if (s.queued.empty()) break;
      index = s.queued.front();
      s.queued.pop_front();
    }
    const Clock::time_point start = Clock::now();
    const bool ok = s.file->writePicture(s.pictures[index].data()) &&
                    s.file->writeAudioTo(audioFor(s.file->picturesWritten()));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      s.encodeSeconds += seconds;
      s.free.push_back(index);
      if (!ok) {
        s.failed = true;
        s.error = s.file->error();
      }
    }
    s.changed.notify_all();
    if (!ok) return;
  }
  const int64_t audioEnd = s.complete ? settings_.audioFrames : audioFor(s.file->picturesWritten());
  const bool ok = s.file->finish(audioEnd);
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!ok) {
    s.failed = true;
    s.error = s.file->error();
  }
}

bool VideoExport::finish(bool complete) {
  Shared& s = *shared_;
  if (finished_) return false;
  finished_ = true;
  while (delivered_ < captured_) {
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (s.failed) break;
    }
    deliverOldest();
  }
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.ending = true;
    s.complete = complete;
  }
  s.changed.notify_all();
  s.thread.join();
  return !s.failed;
}

double VideoExport::encodeSeconds() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->encodeSeconds;
}

std::string VideoExport::error() const {
  std::lock_guard<std::mutex> lock(shared_->mutex);
  return shared_->error;
}

}  // namespace korvalin
