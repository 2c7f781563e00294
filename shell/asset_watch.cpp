#include "shell/asset_watch.h"

#include <GL/gl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace korvalin {

namespace {

// libjpeg's line may or may not name the file already.
std::string withoutPath(const std::string& message, const std::string& path) {
  const std::string prefix = path + ": ";
  return message.compare(0, prefix.size(), prefix) == 0 ? message.substr(prefix.size()) : message;
}

bool ready(std::future<AssetWatch::Decoded>& decoding) {
  return decoding.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

}  // namespace

constexpr const char* kAssetFolder = "data";

AssetWatch::AssetWatch() {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ >= 0 && inotify_add_watch(fd_, kAssetFolder, IN_CLOSE_WRITE | IN_MOVED_TO) < 0) {
    const int err = errno;
    ::close(fd_);
    fd_ = -1;
    errno = err;
  }
  if (fd_ < 0) {
    std::fprintf(stderr, "%s: cannot watch for changed pictures and models: %s\n", kAssetFolder,
                 std::strerror(errno));
  }
}

AssetWatch::~AssetWatch() {
  if (fd_ >= 0) ::close(fd_);
  // Decodes still running finish before their futures go.
}

AssetWatch::Decoded AssetWatch::decodePicture(const std::string& path) {
  Decoded decoded;
  JpegLoadResult result;
  decoded.image = loadJpegImage(path.c_str(), result, true);
  if (result.status == JpegStatus::CannotOpen) decoded.failure = "cannot be opened";
  if (!decoded.image && decoded.failure.empty()) decoded.failure = withoutPath(result.message, path);
  return decoded;
}

AssetWatch::Decoded AssetWatch::decodeModel(const std::string& path) {
  Decoded decoded;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    decoded.failure = "cannot be read";
    return decoded;
  }
  if (bytes.empty()) {
    decoded.failure = "the file is empty";
    return decoded;
  }
  // The loader mends what it can and says so; a reload takes only a file it did not have to mend.
  char* problems = nullptr;
  size_t problemsSize = 0;
  FILE* diagnostics = open_memstream(&problems, &problemsSize);
  auto mesh = std::make_unique<Mesh>();
  load3dsFromMemory(*mesh, bytes.data(), bytes.size(), stdout, path.c_str(), diagnostics);
  std::fclose(diagnostics);
  std::string report(problems, problemsSize);
  std::free(problems);
  if (!report.empty()) {
    decoded.failure = withoutPath(report.substr(0, report.find('\n')), path);
    return decoded;
  }
  computeVertexNormals(*mesh);
  decoded.mesh = std::move(mesh);
  return decoded;
}

void AssetWatch::start(Reload& reload) {
  reload.changedAgain = false;
  const std::string path = reload.path;
  reload.decoding = std::async(std::launch::async, reload.slot >= 0 ? decodePicture : decodeModel, path);
}

void AssetWatch::changed(const std::string& name) {
  const std::string path = std::string(kAssetFolder) + "/" + name;
  for (Reload& reload : reloads_) {
    if (reload.path == path) {
      reload.changedAgain = true;
      return;
    }
  }
  Reload reload{path, -1, -1, {}, false};
  for (int i = 0; i < 18; ++i) {
    if (path == kJpegAssetPaths[i]) reload.slot = kMetalSlot + i;
  }
  for (int id = 0; id < kMeshCount; ++id) {
    if (path == kModelPaths[id]) reload.modelId = id;
  }
  if (reload.slot < 0 && reload.modelId < 0) return;  // not an asset of the table
  start(reload);
  reloads_.push_back(std::move(reload));
}

void AssetWatch::poll(TextureTable& textures, MeshTable& meshes) {
  if (fd_ < 0) return;
  alignas(inotify_event) char buffer[4096];  // mutants: skip (speed only)
  ssize_t got;
  while ((got = ::read(fd_, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (event->len > 0) changed(event->name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }

  for (size_t i = 0; i < reloads_.size();) {
    Reload& reload = reloads_[i];
    if (!ready(reload.decoding)) {
      ++i;
      continue;
    }
    Decoded decoded = reload.decoding.get();
    if (reload.changedAgain) {
      start(reload);
      ++i;
      continue;
    }
    if (!decoded.failure.empty()) {
      std::fprintf(stderr, "%s: %s; the %s loaded before stays\n", reload.path.c_str(), decoded.failure.c_str(),
                   reload.slot >= 0 ? "picture" : "model");
    } else if (decoded.image) {
      const GLuint old = textures.names[reload.slot];
      uploadJpegImage(textures, reload.slot, *decoded.image);
      glDeleteTextures(1, &old);
    } else if (decoded.mesh) {
      *meshes.byModelId(reload.modelId) = *decoded.mesh;
    }
    reloads_.erase(reloads_.begin() + static_cast<std::ptrdiff_t>(i));
  }
}

}  // namespace korvalin
