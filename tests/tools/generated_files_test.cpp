// The asset generator: its run folder read back by the program's own readers, the default
// demo's script, and the command line.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "assets/dib_image.h"
#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "editor/parameter_panel.h"
#include "timeline/project_file.h"
#include "tools/demo_timing.h"
#include "tools/font_sheets.h"
#include "tools/models.h"

namespace korvalin::content {
namespace {

const std::string kRun = KORVALIN_GEN_A;

std::string readAll(const std::string& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

// Ink (alpha = 255 - blue) must lie inside the cell the text renderer samples for its character,
// one texel clear of every edge so linear filtering never reaches a neighbour, and every printable
// character must have some.
TEST(GeneratedFiles, FontSheetGlyphsStayInsideTheirCells) {
  for (const FontSheetLayout& l : kFontSheets) {
    SCOPED_TRACE(l.fileName);
    std::unique_ptr<DibImage> sheet = loadDibImage((kRun + "/" + l.fileName).c_str());
    ASSERT_TRUE(sheet && sheet->width == l.width && sheet->height == l.height);
    const int w = l.width, h = l.height;
    std::vector<int> ink(96, 0);
    for (int i = 0; i < w * h; ++i) {
      const int x = i % w, y = i / w;  // y from the top; DIB rows come bottom first
      if (sheet->pixels[(size_t(h - 1 - y) * w + x) * 3 + 2] > 247) continue;
      const double s = (x + 0.5) / w, v = (y + 0.5) / h;  // pixel centre, v down from the top
      const int col = int(s / l.cellWidth), row = int(v / l.cellHeight);
      const double s0 = col * l.cellWidth, v0 = row * l.cellHeight;
      ASSERT_TRUE(col < 32 && row < 3 && s - 1.0 / w > s0 && s + 1.0 / w < s0 + l.cellWidth && v - 1.0 / h > v0 &&
                  v + 1.0 / h < v0 + l.cellHeight) << "stray ink at " << x << "," << y;
      ++ink[size_t(row * 32 + col)];
    }
    EXPECT_EQ(ink[0], 0) << "the space has ink";
    for (int c = 33; c <= 126; ++c) EXPECT_GT(ink[size_t(c - 32)], 4) << "no ink for '" << char(c) << "'";
  }
}

// Every picture and model lies where the program loads it from and reads without complaint; the
// models are closed and wound outward. The music stream takes 44.1 kHz stereo; the demo ends
// with the track.
TEST(GeneratedFiles, AssetsLoadWhereTheProgramLooks) {
  for (const char* path : kJpegAssetPaths) EXPECT_TRUE(loadJpegImage((kRun + "/" + path).c_str())) << path;
  for (const char* path : kModelPaths) {
    SCOPED_TRACE(path);
    auto mesh = std::make_unique<Mesh>();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load3ds(*mesh, (kRun + "/" + path).c_str(), nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_GT(mesh->vertexCount, 100);
    // Every edge used once in each direction: closed, and every face wound the same way.
    std::set<std::pair<int, int>> edges;
    MeshData loaded{std::vector<float>(&mesh->vertices[0].x, &mesh->vertices[mesh->vertexCount].x), {}};
    for (int f = 0; f < mesh->faceCount; ++f)
      for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(edges.insert({mesh->faces[f][k], mesh->faces[f][(k + 1) % 3]}).second) << "an edge used twice one way";
        loaded.faces.push_back(uint16_t(mesh->faces[f][k]));
      }
    for (const auto& [a, b] : edges) ASSERT_TRUE(edges.count({b, a})) << "open edge " << a << "-" << b;
    EXPECT_GT(signedVolume(loaded), 0) << "faces wind inward";
  }
  OggVorbis_File vf;
  ASSERT_EQ(ov_fopen((kRun + "/data/Vavorerid_by__qx_.ogg").c_str(), &vf), 0);
  EXPECT_TRUE(ov_info(&vf, -1)->rate == 44100 && ov_info(&vf, -1)->channels == 2);
  EXPECT_NEAR(ov_time_total(&vf, -1), kTrackSeconds, 0.05);
  ov_clear(&vf);
}

// The default demo as the program's project loader reads it from the run folder. Every Image ID
// and Model ID names an asset, and every value lies inside the range of its editor field: one
// outside would be changed the moment the clip is selected. At every position the millisecond
// clock can give, something opaque fills the view and, from the first camera on, exactly one
// camera is active: a cut falling exactly on a clock position would leave neither neighbour active.
TEST(DefaultProject, UsesAllSevenTypesAndCoversEveryClockPosition) {
  Timeline tl;
  std::string error;
  ASSERT_EQ(loadProject(tl, kRun + "/save.brz", &error), LoadResult::kLoaded) << error;
  struct Clip { int type; ClipTimes t; ParameterBlock p; };
  std::vector<Clip> clips;
  std::set<int> types;
  float firstCamera = 1e9f;
  for (size_t layer = 0; layer < kLayerCount; ++layer)
    for (size_t i = 0; i < tl.layerClipTypes[layer].size(); ++i) {
      const Clip& c = clips.emplace_back(Clip{tl.layerClipTypes[layer][i], tl.layerClipTimes[layer][i], *tl.layerClipParams[layer][i]});
      SCOPED_TRACE(testing::Message() << "type " << c.type << " at " << c.t.start << " s");
      types.insert(c.type);
      firstCamera = c.type == kCamera ? std::min(firstCamera, c.t.start) : firstCamera;
      const bool image = c.p[0] <= 20 || (c.p[0] >= kRenderTargetSlot0 && c.p[0] <= kRenderTargetSlot2);  // sheets, JPEGs, targets
      EXPECT_TRUE((c.type != kLayer2D && c.type != kFlat) || image) << c.p[0];
      EXPECT_TRUE(c.type != kModel3D || c.p[7] < kMeshCount) << c.p[7];
      ParameterBlock copy = c.p;
      auto panel = makeParameterPanel(c.type, copy, nullptr);
      auto* fields = dynamic_cast<FieldListPanel*>(panel.get());
      ASSERT_TRUE(fields && fields->fieldCount() == c.p.paramCount);
      for (int k = 0; k < c.p.paramCount; ++k)
        EXPECT_TRUE(c.p[k] >= fields->field(k).minimum && c.p[k] < fields->field(k).upperBound &&
                    (fields->isFloatField(k) || c.p[k] == std::trunc(c.p[k]))) << "value " << k << ": " << c.p[k];
    }
  EXPECT_EQ(types.size(), 7u);
  for (int ms = 1; ms < int(kTrackSeconds * 1000); ++ms) {
    const float t = float(ms) * 0.001f;
    int opaque = 0, cameras = 0;
    for (const Clip& c : clips) {
      if (!isClipActive(c.t, t)) continue;
      opaque += c.type == kLayer2D && c.p[1] == 1 && c.p[2] == 0;
      cameras += c.type == kCamera;
    }
    ASSERT_TRUE(opaque > 0 && cameras == (t > firstCamera ? 1 : 0)) << opaque << " opaque, " << cameras << " cameras at " << t << " s";
  }
}

// save.brz is the user's work once it exists: a second run keeps it (the fixture run shows that
// the demo is written where none exists), and writes the same pictures.
TEST(Generator, KeepsTheUsersProject) {
  const std::string dir = std::string(KORVALIN_SCRATCH) + "/keep";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/save.brz") << "user's work";
  ASSERT_EQ(std::system((KORVALIN_ASSETGEN " '" + dir + "' --no-music >/dev/null").c_str()), 0);
  EXPECT_EQ(readAll(dir + "/save.brz"), "user's work");
  EXPECT_EQ(readAll(dir + "/data/metal.jpg"), readAll(kRun + "/data/metal.jpg")) << "runs differ";
  EXPECT_FALSE(std::filesystem::exists(dir + "/data/metal.jpg.tmp")) << "temporary file left behind";
}

}  // namespace
}  // namespace korvalin::content
