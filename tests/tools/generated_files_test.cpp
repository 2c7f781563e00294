// The asset generator: its run folder read back by the program's own readers, the default
// demo's script, and the command line.
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>
#include <set>

#include "assets/dib_image.h"
#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "editor/parameter_panel.h"
#include "timeline/project_file.h"
#include "tools/default_project.h"
#include "tools/demo_timing.h"
#include "tools/font_sheets.h"
#include "tools/models.h"
#include "tools/pictures.h"

namespace korvalin::content {
namespace {

const std::string kRunA = KORVALIN_GEN_A, kRunB = KORVALIN_GEN_B, kScratch = KORVALIN_SCRATCH;
const std::string kMusic = "/data/Vavorerid_by__qx_.ogg";

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// The generator's exit status; its standard error in *err.
int runGenerator(const std::string& args, std::string* err) {
  FILE* p = popen((std::string(KORVALIN_ASSETGEN) + " " + args + " 2>&1 >/dev/null").c_str(), "r");
  char buf[512];
  for (err->clear(); p && std::fgets(buf, sizeof buf, p);) *err += buf;
  const int status = p ? pclose(p) : -1;
  return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- the run folder -----------------------------------------------------------------------------

TEST(GeneratedFiles, TwoRunsWriteTheSameBytesWithinEightMegabytes) {
  std::vector<std::string> files = {"/text12.bmp", "/text14.bmp", "/text18.bmp", "/save.brz"};
  for (const PictureInfo& p : kPictures) files.push_back(std::string("/data/") + p.fileName);
  for (const ModelInfo& m : kModels) files.push_back(std::string("/data/") + m.fileName);
  size_t total = readAll(kRunA + kMusic).size();
  for (const std::string& f : files) {
    const std::string a = readAll(kRunA + f);
    EXPECT_TRUE(!a.empty() && a == readAll(kRunB + f)) << f << " is missing or differs between two runs";
    total += a.size();
  }
  EXPECT_LT(total, 8u << 20);
}

// Ink (alpha = 255 - blue) must lie inside the cell the text renderer samples for its character,
// one texel clear of every edge so linear filtering never reaches a neighbour, and every printable
// character must have some.
TEST(GeneratedFiles, FontSheetGlyphsStayInsideTheirCells) {
  for (const FontSheetLayout& l : kFontSheets) {
    SCOPED_TRACE(l.fileName);
    std::unique_ptr<DibImage> sheet = loadDibImage((kRunA + "/" + l.fileName).c_str());
    ASSERT_TRUE(sheet && sheet->width == l.width && sheet->height == l.height);
    const int w = l.width, h = l.height;
    std::vector<int> ink(96, 0);
    int stray = 0;
    for (int y = 0; y < h; ++y) {  // from the top; DIB rows come bottom first
      for (int x = 0; x < w; ++x) {
        const int blue = sheet->pixels[(size_t(h - 1 - y) * w + x) * 3 + 2];
        if (255 - blue < 8) continue;
        // Pixel centre in texture units, v measured down from the top edge.
        const double s = (x + 0.5) / w, v = (y + 0.5) / h;
        const int col = int(s / l.cellWidth), row = int(v / l.cellHeight);
        const double s0 = col * l.cellWidth, v0 = row * l.cellHeight;
        const bool inside = col < 32 && row < 3 && s - 1.0 / w > s0 && s + 1.0 / w < s0 + l.cellWidth &&
                            v - 1.0 / h > v0 && v + 1.0 / h < v0 + l.cellHeight;
        stray += !inside;
        ink[size_t(row * 32 + col) % 96] += inside;
      }
    }
    EXPECT_EQ(stray, 0);
    EXPECT_EQ(ink[0], 0) << "the space has ink";
    for (int c = 33; c <= 126; ++c) EXPECT_GT(ink[size_t(c - 32)], 4) << "no ink for '" << char(c) << "'";
  }
}

// Each picture lies where the program loads it from; some are not powers of two so that the
// mipmap path is exercised.
TEST(GeneratedFiles, PicturesDecodeWhereTheProgramLoadsThem) {
  bool someNotPowerOfTwo = false;
  for (size_t i = 0; i < kPictures.size(); ++i) {
    const PictureInfo& info = kPictures[i];
    EXPECT_TRUE(info.slot == kMetalSlot + int(i) && std::string("data/") + info.fileName == kJpegAssetPaths[i]) << i;
    std::unique_ptr<JpegImage> img = loadJpegImage((kRunA + "/data/" + info.fileName).c_str());
    ASSERT_TRUE(img && img->width == info.width && img->height == info.height) << info.fileName;
    someNotPowerOfTwo = someNotPowerOfTwo || (img->width & (img->width - 1)) || (img->height & (img->height - 1));
  }
  EXPECT_TRUE(someNotPowerOfTwo);
}

TEST(GeneratedFiles, ModelsLoadClosedOutwardFacingAndSmooth) {
  for (const ModelInfo& info : kModels) {
    SCOPED_TRACE(info.fileName);
    EXPECT_EQ(kModelPaths[info.modelId], std::string("data/") + info.fileName);
    // A generated model gives the loader nothing to report.
    auto mesh = std::make_unique<Mesh>();
    const std::string bytes = readAll(kRunA + "/data/" + info.fileName);
    testing::internal::CaptureStderr();
    load3dsFromMemory(*mesh, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), nullptr, "", stderr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_STREQ(mesh->name, info.objectName);
    ASSERT_TRUE(mesh->vertexCount > 100 && mesh->vertexCount < kMeshCapacity && mesh->faceCount < kMeshCapacity);
    // Every edge used once in each direction: closed, and every face wound the same way.
    std::set<std::pair<int, int>> edges;
    MeshData loaded;
    for (int f = 0; f < mesh->faceCount; ++f)
      for (int k = 0; k < 3; ++k) {
        const int a = mesh->faces[f][k], b = mesh->faces[f][(k + 1) % 3];
        EXPECT_TRUE(edges.insert({a, b}).second) << "edge " << a << "-" << b << " used twice one way";
        loaded.faces.push_back(uint16_t(a));
      }
    for (const auto& [a, b] : edges) ASSERT_TRUE(edges.count({b, a})) << "open edge " << a << "-" << b;
    computeVertexNormals(*mesh);
    for (int v = 0; v < mesh->vertexCount; ++v) {
      loaded.positions.insert(loaded.positions.end(), &mesh->vertices[v].x, &mesh->vertices[v].x + 3);
      EXPECT_GT(vecLength(mesh->normals[v]), 0.3f) << "vertex " << v << " has no smooth normal";
    }
    EXPECT_GT(signedVolume(loaded), 0) << "faces wind inward";
  }
}

// The drums carry the main part, the break drops out, and nothing clips.
TEST(GeneratedFiles, MusicIsTwoToThreeMinutesOfStereoWithItsSections) {
  OggVorbis_File vf;
  ASSERT_EQ(ov_fopen((kRunA + kMusic).c_str(), &vf), 0);
  EXPECT_TRUE(ov_info(&vf, -1)->rate == 44100 && ov_info(&vf, -1)->channels == 2);
  EXPECT_NEAR(ov_time_total(&vf, -1), kTrackSeconds, 0.05);
  std::vector<double> sum(size_t(kSongBars) + 2);
  long clipped = 0, frame = 0, got;
  char buf[8192];
  for (int section = 0; (got = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section)) > 0;) {
    const int16_t* s = reinterpret_cast<const int16_t*>(buf);
    for (long i = 0; i + 1 < got / 2; i += 2, ++frame) {
      sum[std::min(sum.size() - 1, size_t(frame / (kBarSeconds * 44100)))] += double(s[i]) * s[i];
      clipped += (std::abs(s[i]) >= 32767) + (std::abs(s[i + 1]) >= 32767);
    }
  }
  ov_clear(&vf);
  auto energy = [&](int from, int to) { return std::accumulate(&sum[size_t(from)], &sum[size_t(to)], 0.0) / (to - from); };
  EXPECT_LT(clipped, 50) << "the track clips";
  EXPECT_GT(energy(kMainBar, kBreakBar), 4 * energy(kBreakBar, kFinaleBar - 2));
  EXPECT_LT(energy(kSongBars, kSongBars + 1), energy(kEndingBar, kSongBars)) << "the end does not fade";
}

// ---- the default demo ---------------------------------------------------------------------------

struct Clip { int layer, type; ClipTimes t; ParameterBlock p; };

// The default demo as the program's project loader reads it from the run folder; that the file
// holds exactly what the builder made is checked with the command line below.
class DefaultProject : public ::testing::Test {
 protected:
  void SetUp() override {
    Timeline tl;
    std::string error;
    ASSERT_EQ(loadProject(tl, kRunA + "/save.brz", &error), LoadResult::kLoaded) << error;
    for (size_t layer = 0; layer < kLayerCount; ++layer)
      for (size_t i = 0; i < tl.layerClipTypes[layer].size(); ++i)
        clips.push_back({int(layer), tl.layerClipTypes[layer][i], tl.layerClipTimes[layer][i], *tl.layerClipParams[layer][i]});
  }
  std::vector<Clip> clips;
};

// Every Image ID and Model ID names an asset, and every value lies inside the range of its
// editor field: one outside would be changed the moment the clip is selected.
TEST_F(DefaultProject, UsesAllSevenTypesWithValuesTheEditorKeeps) {
  std::set<int> types;
  for (const Clip& c : clips) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << " at " << c.t.start << " s");
    types.insert(c.type);
    EXPECT_GT(c.t.length, 0.0f);
    const bool target = c.p[0] >= kRenderTargetSlot0 && c.p[0] <= kRenderTargetSlot2;
    EXPECT_TRUE((c.type != kLayer2D && c.type != kFlat) || c.p[0] <= 20 || target) << c.p[0];  // sheets, JPEGs
    EXPECT_TRUE(c.type != kModel3D || c.p[7] < kMeshCount) << c.p[7];
    ParameterBlock copy = c.p;
    auto panel = makeParameterPanel(c.type, copy, nullptr);
    auto* fields = dynamic_cast<FieldListPanel*>(panel.get());
    ASSERT_TRUE(fields);
    ASSERT_EQ(fields->fieldCount(), c.p.paramCount);
    for (int k = 0; k < c.p.paramCount; ++k) {
      EXPECT_GE(c.p[k], fields->field(k).minimum) << "value " << k;
      EXPECT_LT(c.p[k], fields->field(k).upperBound) << "value " << k;
      EXPECT_TRUE(fields->isFloatField(k) || c.p[k] == std::trunc(c.p[k])) << "value " << k << " is not whole";
    }
  }
  EXPECT_EQ(types.size(), 7u);
}

// Cameras cut on the music's bars, yet at every position the millisecond clock can give something
// opaque fills the view and, from the first camera on, exactly one camera is active: no cut may
// fall exactly on a clock position, where neither neighbour would be active.
TEST_F(DefaultProject, CutsOnBarsCoverEveryClockPositionToTheEnd) {
  float lastEnd = 0, firstCamera = 1e9f;
  for (const Clip& c : clips) {
    lastEnd = std::max(lastEnd, c.t.start + c.t.length);
    if (c.type != kCamera) continue;
    firstCamera = std::min(firstCamera, c.t.start);
    const double bars = c.t.start / kBarSeconds;
    EXPECT_NEAR(bars, std::round(bars), 1e-3) << "camera off the bar at " << c.t.start << " s";
  }
  EXPECT_GE(lastEnd, float(kTrackSeconds));
  for (int ms = 1; ms < int(kTrackSeconds * 1000); ++ms) {
    const float t = float(ms) * 0.001f;
    int opaque = 0, cameras = 0;
    for (const Clip& c : clips) {
      if (!isClipActive(c.t, t)) continue;
      opaque += c.type == kLayer2D && c.p[1] == 1 && c.p[2] == 0;
      cameras += c.type == kCamera;
    }
    ASSERT_GT(opaque, 0) << "nothing opaque at " << t << " s";
    ASSERT_EQ(cameras, t > firstCamera ? 1 : 0) << "at " << t << " s";
  }
}

// ---- the command line ---------------------------------------------------------------------------

// save.brz is the user's work once it exists: only --force-project replaces it, with exactly the
// demo the builder makes (the fixture run shows it is written where none exists).
TEST(Generator, KeepsTheUsersProjectUnlessForced) {
  const std::string dir = kScratch + "/keep";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::string err;
  writeAll(dir + "/save.brz", "user's work");
  ASSERT_EQ(runGenerator("'" + dir + "' --no-music", &err), 0) << err;
  EXPECT_EQ(readAll(dir + "/save.brz"), "user's work");
  EXPECT_FALSE(readAll(dir + "/data/metal.jpg").empty());
  EXPECT_FALSE(std::ifstream(dir + "/data/metal.jpg.tmp").good()) << "temporary file left behind";

  ASSERT_EQ(runGenerator("'" + dir + "' --only-project --force-project", &err), 0) << err;
  Timeline built;
  ASSERT_TRUE(buildDefaultProject(built));
  const std::vector<uint8_t> demo = encodeProject(built);
  EXPECT_EQ(readAll(dir + "/save.brz"), std::string(demo.begin(), demo.end()));

  // Bad arguments: one line naming what is wrong.
  EXPECT_EQ(runGenerator("'" + dir + "/save.brz/run' --only-project", &err), 1);
  EXPECT_TRUE(err.find(dir + "/save.brz/run") != std::string::npos && std::count(err.begin(), err.end(), '\n') == 1) << err;
  EXPECT_EQ(runGenerator("'" + dir + "' --colour", &err), 2);
  EXPECT_NE(err.find("--colour"), std::string::npos) << err;
}

}  // namespace
}  // namespace korvalin::content
