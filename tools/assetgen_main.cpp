// korvalin_assetgen: writes the run folder (pictures, font sheets, models, music, project).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "timeline/project_file.h"
#include "tools/default_project.h"
#include "tools/demo_timing.h"
#include "tools/font_sheets.h"
#include "tools/image_files.h"
#include "tools/models.h"
#include "tools/music.h"
#include "tools/pictures.h"

using namespace korvalin;
using namespace korvalin::content;

namespace {

constexpr const char* kMusicFile = "Vavorerid_by__qx_.ogg";
constexpr int kJpegQuality = 88;
constexpr float kVorbisQuality = 0.2f;

struct Options {
  std::string dir;
  bool music = true;
  bool assets = true;
  bool forceProject = false;
};

void usage(FILE* out) {
  std::fprintf(out,
               "usage: korvalin_assetgen <run folder> [--no-music] [--only-project] [--force-project]\n"
               "  Writes text12/14/18.bmp, save.brz (only where none exists) and data/ into the folder.\n"
               "  --no-music       skip the soundtrack (the slow part)\n"
               "  --only-project   write save.brz if it is missing and nothing else\n"
               "  --force-project  replace an existing save.brz with the default demo\n");
}

bool makeDir(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
    *error = path + ": exists but is not a folder";
    return false;
  }
  *error = path + ": cannot create folder: " + std::strerror(errno);
  return false;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// Every file is written beside its destination and renamed over it, so an interrupted run
// never leaves a half-written asset that the program would then try to read.
bool commit(const std::string& tmp, const std::string& path, std::string* error) {
  if (std::rename(tmp.c_str(), path.c_str()) == 0) return true;
  *error = path + ": cannot replace: " + std::strerror(errno);
  std::remove(tmp.c_str());
  return false;
}

bool writeFontSheets(const std::string& dir, std::string* error) {
  for (const FontSheetLayout& layout : kFontSheets) {
    Image sheet(1, 1);
    if (!makeFontSheet(layout, &sheet, error)) return false;
    std::string path = dir + "/" + layout.fileName;
    if (!writeFile(path + ".tmp", encodeBmp24(sheet.width(), sheet.height(), sheet.toBytes()), error) ||
        !commit(path + ".tmp", path, error))
      return false;
  }
  return true;
}

bool writePictures(const std::string& dataDir, std::string* error) {
  for (size_t i = 0; i < kPictures.size(); ++i) {
    Image picture(1, 1);
    if (!makePicture(int(i), &picture, error)) return false;
    std::string path = dataDir + "/" + kPictures[i].fileName;
    if (!writeJpeg(path + ".tmp", picture.width(), picture.height(), picture.toBytes(), kJpegQuality, error) ||
        !commit(path + ".tmp", path, error))
      return false;
  }
  return true;
}

bool writeModels(const std::string& dataDir, std::string* error) {
  for (const ModelInfo& info : kModels) {
    MeshData mesh = buildModel(info.modelId);
    std::string path = dataDir + "/" + info.fileName;
    if (!writeFile(path + ".tmp", encode3ds(mesh, info.objectName), error) || !commit(path + ".tmp", path, error))
      return false;
  }
  return true;
}

bool writeMusic(const std::string& dataDir, std::string* error) {
  std::string path = dataDir + "/" + kMusicFile;
  return writeOggVorbis(path + ".tmp", synthesiseTrack(), kSampleRate, kVorbisQuality, error) &&
         commit(path + ".tmp", path, error);
}

// The project belongs to the user once it exists; only --force-project replaces it.
bool writeProject(const std::string& dir, bool force, std::string* error) {
  std::string path = dir + "/" + kProjectFileName;
  if (!force && exists(path)) return true;
  Timeline timeline;
  if (!buildDefaultProject(timeline)) {
    *error = "the default project could not be built (a clip was refused)";
    return false;
  }
  return saveProject(timeline, path, error);
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--no-music") {
      opt.music = false;
    } else if (arg == "--only-project") {
      opt.assets = false;
      opt.music = false;
    } else if (arg == "--force-project") {
      opt.forceProject = true;
    } else if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "korvalin_assetgen: unknown option %s\n", arg.c_str());
      usage(stderr);
      return 2;
    } else if (opt.dir.empty()) {
      opt.dir = arg;
    } else {
      std::fprintf(stderr, "korvalin_assetgen: more than one run folder given (%s)\n", arg.c_str());
      return 2;
    }
  }
  if (opt.dir.empty()) {
    usage(stderr);
    return 2;
  }

  std::string error;
  const std::string dataDir = opt.dir + "/data";
  bool ok = makeDir(opt.dir, &error);
  if (ok && opt.assets) {
    ok = makeDir(dataDir, &error) && writeFontSheets(opt.dir, &error) && writePictures(dataDir, &error) &&
         writeModels(dataDir, &error);
  }
  ok = ok && writeProject(opt.dir, opt.forceProject, &error);
  ok = ok && (!opt.music || writeMusic(dataDir, &error));
  if (!ok) {
    std::fprintf(stderr, "korvalin_assetgen: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
