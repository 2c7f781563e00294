// The generator's parts on their own: the default demo's script, the 3DS writer, the cell
// grid, the Vorbis writer and the command line.
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <algorithm>
#include <string>
#include <vector>

#include "timeline/project_file.h"
#include "tools/default_project.h"
#include "tools/demo_timing.h"
#include "tools/font_sheets.h"
#include "tools/models.h"
#include "tools/music.h"

namespace korvalin::content {
namespace {

const std::string kScratch = KORVALIN_SCRATCH;

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string scratchDir(const std::string& name) {
  mkdir(kScratch.c_str(), 0755);
  std::string dir = kScratch + "/" + name;
  std::system(("rm -rf '" + dir + "'").c_str());
  mkdir(dir.c_str(), 0755);
  return dir;
}

// Runs the generator; returns its exit status and its standard error.
int runGenerator(const std::string& args, std::string* err) {
  std::string errFile = kScratch + "/stderr.txt";
  int status = std::system((std::string(KORVALIN_ASSETGEN) + " " + args + " 2>'" + errFile + "' >/dev/null").c_str());
  std::vector<uint8_t> e = readAll(errFile);
  err->assign(e.begin(), e.end());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- the default demo -------------------------------------------------------------------------

class DefaultProject : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(buildDefaultProject(tl)); }
  template <typename F>
  void forEachClip(F f) const {
    for (int layer = 0; layer < kLayerCount; ++layer)
      for (int i = 0; i < tl.clipCount(layer); ++i)
        f(layer, tl.layerClipTypes[size_t(layer)][size_t(i)], tl.layerClipTimes[size_t(layer)][size_t(i)],
          *tl.layerClipParams[size_t(layer)][size_t(i)]);
  }
  Timeline tl;
};

TEST_F(DefaultProject, UsesEverySevenTypesAndOnlyAssetsThatExist) {
  std::set<int> types;
  forEachClip([&](int, int type, const ClipTimes& times, const ParameterBlock& p) {
    types.insert(type);
    EXPECT_GT(times.length, 0.0f);
    auto imageExists = [](float id) { return (id >= 0 && id <= 20) || (id >= 90 && id <= 92); };
    if (type == kLayer2D || type == kFlat) {
      EXPECT_TRUE(imageExists(p[0])) << "Image ID " << p[0];
    } else if (type == kEndRenderToTex) {
      EXPECT_TRUE(p[2] >= 90 && p[2] <= 92) << "Image ID " << p[2];
    } else if (type == kModel3D) {
      EXPECT_TRUE(p[7] >= 0 && p[7] <= 5) << "Model ID " << p[7];
    }
  });
  EXPECT_EQ(types.size(), 7u);
}

// Values outside the panels' ranges would be changed by the editor the moment a clip is selected.
TEST_F(DefaultProject, ParametersLieInsideTheEditorPanelRanges) {
  struct Range {
    float min, max;
    bool integer;
  };
  const std::vector<std::vector<Range>> ranges = {
      {{0, 999, true}, {0, 14, true}, {0, 14, true}},
      {{-360, 360, true}, {-360, 360, true}, {-360, 360, true}, {0, 10, false}},
      {{-1000, 1000, false}, {-1000, 1000, false}, {-1000, 1000, false}, {-1000, 1000, false},
       {-1000, 1000, false}, {-1000, 1000, false}, {0, 100, false}, {0, 100, false}, {0, 100, false},
       {0, 100, false}, {0, 100, false}, {0, 100, false}, {10, 200, false}},
      {{0, 9, true}, {0, 9, true}},
      {{0, 9, true}, {0, 9, true}, {90, 100, true}},
      {{-1000, 1000, false}, {-1000, 1000, false}, {-1000, 1000, false}, {-100, 100, false},
       {-1000, 1000, false}, {-720, 720, false}, {-720, 720, false}, {0, 6, true}},
      {{0, 100, true}, {0, 14, true}, {0, 14, true}, {-50, 50, false}, {-1000, 1000, false}, {-1000, 1000, false}},
  };
  forEachClip([&](int layer, int type, const ClipTimes&, const ParameterBlock& p) {
    const auto& r = ranges[size_t(type)];
    ASSERT_EQ(int(r.size()), p.paramCount);
    for (int k = 0; k < p.paramCount; ++k) {
      // Float fields exclude their maximum; integer fields include it.
      EXPECT_GE(p[k], r[size_t(k)].min) << "layer " << layer << " type " << type << " value " << k;
      if (r[size_t(k)].integer) {
        EXPECT_LE(p[k], r[size_t(k)].max);
        EXPECT_EQ(p[k], std::trunc(p[k])) << "type " << type << " value " << k << " is not whole";
      } else {
        EXPECT_LT(p[k], r[size_t(k)].max);
      }
    }
  });
}

// At every position the clock can give (whole milliseconds), something opaque fills the view,
// and from the first camera on exactly one camera is active: a cut must never fall on a frame.
TEST_F(DefaultProject, CoversEveryClockPositionToTheEndOfTheMusic) {
  float lastEnd = 0, firstCamera = 1e9f;
  forEachClip([&](int, int type, const ClipTimes& t, const ParameterBlock&) {
    lastEnd = std::max(lastEnd, t.start + t.length);
    if (type == kCamera) firstCamera = std::min(firstCamera, t.start);
  });
  EXPECT_GE(lastEnd, float(kTrackSeconds));
  for (int ms = 1; ms < int(kTrackSeconds * 1000); ++ms) {
    const float t = float(ms) * 0.001f;
    int opaque = 0, cameras = 0;
    forEachClip([&](int, int type, const ClipTimes& times, const ParameterBlock& p) {
      if (!isClipActive(times, t)) return;
      if (type == kLayer2D && p[1] == 1 && p[2] == 0) ++opaque;
      if (type == kCamera) ++cameras;
    });
    ASSERT_GT(opaque, 0) << "nothing opaque at " << t << " s";
    ASSERT_EQ(cameras, t > firstCamera ? 1 : 0) << "at " << t << " s";
  }
}

TEST_F(DefaultProject, CamerasCutOnBarsAndKeepOneFieldOfViewUnderEachFlat) {
  int cameras = 0;
  forEachClip([&](int, int type, const ClipTimes& t, const ParameterBlock& cam) {
    if (type != kCamera) return;
    ++cameras;
    const double bars = t.start / kBarSeconds;
    EXPECT_NEAR(bars, std::round(bars), 1e-3) << "camera at " << t.start << " s is off the bar";
    forEachClip([&](int, int other, const ClipTimes& u, const ParameterBlock&) {
      if (other != kCamera || u.start == t.start) return;
      // A cut may meet the next one up to float rounding, never overlap it.
      EXPECT_FALSE(u.start + 1e-3f < t.start + t.length && t.start + 1e-3f < u.start + u.length)
          << "two cameras at once at " << u.start << " s";
    });
    (void)cam;
  });
  EXPECT_GE(cameras, 8);
  // The flat's scale is corrected for one field of view; a change under it would misplace it.
  forEachClip([&](int, int type, const ClipTimes& f, const ParameterBlock&) {
    if (type != kFlat) return;
    std::set<float> fovs;
    forEachClip([&](int, int other, const ClipTimes& c, const ParameterBlock& p) {
      if (other == kCamera && c.start < f.start + f.length && f.start < c.start + c.length) fovs.insert(p[12]);
    });
    EXPECT_LE(fovs.size(), 1u) << "flat at " << f.start << " s";
  });
}

// Each capture pass begins and ends together, draws its end on a later layer, and its texture
// is shown while it runs.
TEST_F(DefaultProject, RenderToTexturePassesArePairedAndShown) {
  int pairs = 0;
  forEachClip([&](int startLayer, int type, const ClipTimes& s, const ParameterBlock& sp) {
    if (type != kStartRenderToTex) return;
    bool matched = false;
    forEachClip([&](int endLayer, int other, const ClipTimes& e, const ParameterBlock& ep) {
      if (other != kEndRenderToTex || e.start != s.start || e.length != s.length) return;
      EXPECT_GT(endLayer, startLayer);
      EXPECT_EQ(ep[0], sp[0]);
      EXPECT_EQ(ep[1], sp[1]);
      matched = true;
      bool shown = false;
      forEachClip([&](int showLayer, int t3, const ClipTimes& f, const ParameterBlock& fp) {
        if (t3 == kFlat && fp[0] == ep[2] && showLayer > endLayer && f.start <= e.start + 0.01f) shown = true;
      });
      EXPECT_TRUE(shown) << "capture into " << ep[2] << " is never shown";
    });
    EXPECT_TRUE(matched) << "start at " << s.start << " s has no end";
    ++pairs;
  });
  EXPECT_GE(pairs, 1);
}

// ---- 3DS writer -------------------------------------------------------------------------------

struct Chunk {
  uint16_t id;
  uint32_t length;
  size_t offset;
};

// Reads the chunk headers under [from, to); fails the test if any would overrun its parent.
std::vector<Chunk> chunksIn(const std::vector<uint8_t>& b, size_t from, size_t to) {
  std::vector<Chunk> out;
  size_t at = from;
  while (at < to) {
    EXPECT_LE(at + 6, to);
    if (at + 6 > to) break;
    Chunk c{uint16_t(b[at] | b[at + 1] << 8), uint32_t(b[at + 2] | b[at + 3] << 8 | b[at + 4] << 16 | uint32_t(b[at + 5]) << 24), at};
    EXPECT_GE(c.length, 6u);
    EXPECT_LE(at + c.length, to) << "chunk " << std::hex << c.id << " overruns its parent";
    if (c.length < 6 || at + c.length > to) break;
    out.push_back(c);
    at += c.length;
  }
  return out;
}

TEST(ThreeDsWriter, NestsTheChunksTheLoaderWalks) {
  MeshData tri;
  tri.positions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  tri.uvs = {0, 0, 1, 0, 0, 1};
  tri.faces = {0, 1, 2};
  std::vector<uint8_t> b = encode3ds(tri, "a-name-much-longer-than-nineteen");

  std::vector<Chunk> top = chunksIn(b, 0, b.size());
  ASSERT_EQ(top.size(), 1u);
  EXPECT_EQ(top[0].id, 0x4D4D);
  EXPECT_EQ(top[0].length, b.size());
  std::vector<Chunk> mdata = chunksIn(b, 6, b.size());
  ASSERT_EQ(mdata.size(), 1u);
  EXPECT_EQ(mdata[0].id, 0x3D3D);
  std::vector<Chunk> named = chunksIn(b, 12, b.size());
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(named[0].id, 0x4000);
  // The name is cut to 19 characters and terminated, so the loader's 20-byte field holds it.
  const char* name = reinterpret_cast<const char*>(&b[18]);
  EXPECT_EQ(std::string(name), "a-name-much-longer-");
  std::vector<Chunk> tris = chunksIn(b, 18 + 20, b.size());
  ASSERT_EQ(tris.size(), 1u);
  EXPECT_EQ(tris[0].id, 0x4100);
  std::vector<Chunk> lists = chunksIn(b, tris[0].offset + 6, b.size());
  ASSERT_EQ(lists.size(), 3u);
  EXPECT_EQ(lists[0].id, 0x4110);
  EXPECT_EQ(lists[0].length, 6u + 2 + 3 * 12);
  EXPECT_EQ(lists[1].id, 0x4120);
  EXPECT_EQ(lists[1].length, 6u + 2 + 1 * 8);
  EXPECT_EQ(lists[2].id, 0x4140);
  EXPECT_EQ(lists[2].length, 6u + 2 + 3 * 8);
}

TEST(ThreeDsWriter, EveryModelFitsTheLoaderCapacity) {
  for (const ModelInfo& info : kModels) {
    MeshData m = buildModel(info.modelId);
    EXPECT_LT(m.vertexCount(), 8000) << info.fileName;
    EXPECT_LT(m.faceCount(), 8000) << info.fileName;
    EXPECT_EQ(m.uvs.size(), m.positions.size() / 3 * 2);
    EXPECT_LE(std::strlen(info.objectName), 19u);
  }
  EXPECT_EQ(buildModel(6).vertexCount(), 0);
}

// ---- cell grid --------------------------------------------------------------------------------

TEST(FontSheetGrid, CharactersMapToTheEditorsCells) {
  for (const FontSheetLayout& l : kFontSheets) {
    SCOPED_TRACE(l.fileName);
    PixelRect a = cellPixels(l, 'A' - 32);  // column 1, row 1
    EXPECT_EQ(a.x0, int(std::ceil(l.cellWidth * l.width - 1e-6)));
    EXPECT_EQ(a.y0, int(std::ceil(l.cellHeight * l.height - 1e-6)));
    PixelRect tilde = cellPixels(l, '~' - 32);  // column 30, row 2
    EXPECT_LE(tilde.x1, int(31 * l.cellWidth * l.width + 1e-6));
    EXPECT_LE(tilde.y1, l.height);
    // Cells of about 1.9 times the editor's glyph quad, and nearly whole pixels wide.
    const double cell = l.cellWidth * l.width;
    EXPECT_LT(std::fabs(cell - std::round(cell)), 0.05);
  }
}

// ---- Vorbis writer ----------------------------------------------------------------------------

TEST(VorbisWriter, SameSamplesGiveTheSameBytesAndDecodeBack) {
  std::string dir = scratchDir("vorbis");
  std::vector<float> tone(size_t(kSampleRate) * 2);
  for (size_t i = 0; i < tone.size() / 2; ++i) {
    tone[i * 2] = float(0.3 * std::sin(2 * 3.14159265 * 440 * double(i) / kSampleRate));
    tone[i * 2 + 1] = -tone[i * 2];
  }
  std::string error;
  ASSERT_TRUE(writeOggVorbis(dir + "/a.ogg", tone, kSampleRate, 0.2f, &error)) << error;
  ASSERT_TRUE(writeOggVorbis(dir + "/b.ogg", tone, kSampleRate, 0.2f, &error)) << error;
  EXPECT_TRUE(readAll(dir + "/a.ogg") == readAll(dir + "/b.ogg"));
  OggVorbis_File vf;
  ASSERT_EQ(ov_fopen((dir + "/a.ogg").c_str(), &vf), 0);
  EXPECT_EQ(ov_pcm_total(&vf, -1), kSampleRate);
  ov_clear(&vf);
  EXPECT_FALSE(writeOggVorbis(dir + "/missing/x.ogg", tone, kSampleRate, 0.2f, &error));
  EXPECT_NE(error.find("missing/x.ogg"), std::string::npos) << error;
}

// ---- command line -----------------------------------------------------------------------------

TEST(Generator, KeepsTheUsersProjectUnlessForced) {
  std::string dir = scratchDir("keep");
  std::string err;
  ASSERT_EQ(runGenerator("'" + dir + "' --only-project", &err), 0) << err;
  Timeline built;
  ASSERT_TRUE(buildDefaultProject(built));
  EXPECT_TRUE(readAll(dir + "/save.brz") == encodeProject(built));

  const std::vector<uint8_t> usersWork = {0, 0, 0, 1, 0, 0};
  writeAll(dir + "/save.brz", usersWork);
  ASSERT_EQ(runGenerator("'" + dir + "' --no-music", &err), 0) << err;
  EXPECT_TRUE(readAll(dir + "/save.brz") == usersWork);
  EXPECT_FALSE(readAll(dir + "/data/metal.jpg").empty());
  struct stat st;
  EXPECT_NE(stat((dir + "/data/metal.jpg.tmp").c_str(), &st), 0) << "temporary file left behind";

  ASSERT_EQ(runGenerator("'" + dir + "' --only-project --force-project", &err), 0) << err;
  EXPECT_TRUE(readAll(dir + "/save.brz") == encodeProject(built));
}

TEST(Generator, ReportsBadArgumentsInOneLine) {
  std::string dir = scratchDir("bad");
  writeAll(dir + "/plain-file", {1});
  std::string err;
  EXPECT_EQ(runGenerator("'" + dir + "/plain-file/run' --only-project", &err), 1);
  EXPECT_NE(err.find(dir + "/plain-file/run"), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

  EXPECT_EQ(runGenerator("'" + dir + "' --colour", &err), 2);
  EXPECT_NE(err.find("--colour"), std::string::npos) << err;
  EXPECT_EQ(runGenerator("", &err), 2);
}

}  // namespace
}  // namespace korvalin::content
