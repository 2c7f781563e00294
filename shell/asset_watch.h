// Pictures and models reloaded while the editor runs (--editor mode): when a file of the asset
// table in data/ is written (closed after writing, or renamed into place as many editors save),
// it is decoded on another thread and put into place in the next pass. A file that cannot be
// decoded (cut short mid-write, say) keeps what was loaded before, with one line on standard
// error; the next change tries again.
#pragma once

#include <future>
#include <memory>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture_table.h"

namespace korvalin {

class AssetWatch {
 public:
  // Watches the working directory's data/. Without inotify or the folder: one line, and
  // nothing is watched.
  AssetWatch();
  ~AssetWatch();
  AssetWatch(const AssetWatch&) = delete;
  AssetWatch& operator=(const AssetWatch&) = delete;

  bool watching() const { return fd_ >= 0; }

  // Once a pass, on the main thread with the GL context current: starts decoding what changed
  // since the last call, and puts into place what has finished decoding.
  void poll(TextureTable& textures, MeshTable& meshes);

  struct Decoded {
    std::unique_ptr<JpegImage> image;
    std::unique_ptr<Mesh> mesh;
    std::string failure;  // one line; empty when decoded
  };

 private:
  struct Reload {
    std::string path;  // as in the asset table
    int slot;          // texture slot, or -1 for a model
    int modelId;       // Model ID, or -1 for a picture
    std::future<Decoded> decoding;
    bool changedAgain = false;  // written again while decoding: this result is already old
  };
  static Decoded decodePicture(const std::string& path);
  static Decoded decodeModel(const std::string& path);
  void changed(const std::string& name);
  void start(Reload& reload);

  int fd_ = -1;
  std::vector<Reload> reloads_;
};

}  // namespace korvalin
