// The generated run folder, read back by the program's own readers and by outside tools.
#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "assets/dib_image.h"
#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "timeline/project_file.h"
#include "tools/default_project.h"
#include "tools/demo_timing.h"
#include "tools/font_sheets.h"
#include "tools/models.h"
#include "tools/pictures.h"

namespace korvalin::content {
namespace {

const std::string kRunA = KORVALIN_GEN_A;
const std::string kRunB = KORVALIN_GEN_B;
const std::string kMusic = "/data/Vavorerid_by__qx_.ogg";

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool toolPresent(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string runAndRead(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out;
}

std::vector<std::string> allOutputs() {
  std::vector<std::string> files = {"/text12.bmp", "/text14.bmp", "/text18.bmp", "/save.brz"};
  for (const PictureInfo& p : kPictures) files.push_back(std::string("/data/") + p.fileName);
  for (const ModelInfo& m : kModels) files.push_back(std::string("/data/") + m.fileName);
  return files;
}

// ---- determinism and size -------------------------------------------------------------------

TEST(GeneratedFiles, TwoRunsWriteTheSameBytes) {
  for (const std::string& f : allOutputs()) {
    std::vector<uint8_t> a = readAll(kRunA + f), b = readAll(kRunB + f);
    ASSERT_FALSE(a.empty()) << f;
    EXPECT_TRUE(a == b) << f << " differs between two runs";
  }
}

TEST(GeneratedFiles, RunFolderStaysUnderEightMegabytes) {
  size_t total = 0;
  for (const std::string& f : allOutputs()) total += readAll(kRunA + f).size();
  total += readAll(kRunA + kMusic).size();
  EXPECT_LT(total, 8u * 1024 * 1024);
}

// ---- font sheets ------------------------------------------------------------------------------

// Ink (alpha = 255 - blue, as the program makes it) must stay inside the cell the text renderer
// samples for its character, clear of the edges, and every printable character must have some.
TEST(GeneratedFiles, FontSheetGlyphsStayInsideTheirCells) {
  for (const FontSheetLayout& layout : kFontSheets) {
    SCOPED_TRACE(layout.fileName);
    std::unique_ptr<DibImage> sheet = loadDibImage((kRunA + "/" + layout.fileName).c_str());
    ASSERT_TRUE(sheet);
    ASSERT_EQ(sheet->width, layout.width);
    ASSERT_EQ(sheet->height, layout.height);
    const int w = sheet->width, h = sheet->height;
    std::vector<int> inkPerCell(96, 0);
    int strayInk = 0;
    for (int row = 0; row < h; ++row) {
      const int yFromTop = h - 1 - row;  // DIB rows come bottom first
      for (int x = 0; x < w; ++x) {
        const uint8_t* p = &sheet->pixels[(size_t(row) * w + x) * 3];
        if (255 - p[2] < 8) continue;
        // Texture coordinates of the pixel centre, in the renderer's terms: t = 1 at the top.
        const double s = (x + 0.5) / w, t = 1.0 - (yFromTop + 0.5) / h;
        const int col = int(s / layout.cellWidth), cellRow = int((1.0 - t) / layout.cellHeight);
        if (col >= 32 || cellRow >= 3) {
          ++strayInk;
          continue;
        }
        // One texel of clearance on every side, so linear filtering never reaches a neighbour.
        const double s0 = col * layout.cellWidth, s1 = s0 + layout.cellWidth;
        const double t0 = 1.0 - cellRow * layout.cellHeight, t1 = t0 - layout.cellHeight;
        const bool clear = s - 1.0 / w > s0 && s + 1.0 / w < s1 && t + 1.0 / h < t0 && t - 1.0 / h > t1;
        if (!clear) ++strayInk;
        else ++inkPerCell[size_t(cellRow * 32 + col)];
      }
    }
    EXPECT_EQ(strayInk, 0);
    EXPECT_EQ(inkPerCell[0], 0) << "the space has ink";
    for (int c = 33; c <= 126; ++c) EXPECT_GT(inkPerCell[size_t(c - 32)], 4) << "no ink for '" << char(c) << "'";
  }
}

// Text stands on the cell's bottom edge, so capitals must sit low, with descenders below them.
TEST(GeneratedFiles, FontSheetBaselineSitsNearTheCellBottom) {
  for (const FontSheetLayout& layout : kFontSheets) {
    SCOPED_TRACE(layout.fileName);
    std::unique_ptr<DibImage> sheet = loadDibImage((kRunA + "/" + layout.fileName).c_str());
    ASSERT_TRUE(sheet);
    auto lowestInk = [&](char c) {
      PixelRect r = cellPixels(layout, c - 32);
      int lowest = -1;
      for (int y = r.y0; y < r.y1; ++y)
        for (int x = r.x0; x < r.x1; ++x)
          if (sheet->pixels[(size_t(sheet->height - 1 - y) * sheet->width + x) * 3 + 2] < 128) lowest = y;
      return std::pair{lowest, r};
    };
    auto [bottomH, cellH] = lowestInk('H');
    auto [bottomG, cellG] = lowestInk('g');
    const double cellHeight = cellH.y1 - cellH.y0;
    EXPECT_GT(bottomG, bottomH) << "descender does not go below the baseline";
    EXPECT_LT((cellG.y1 - bottomG) / cellHeight, 0.2) << "descender far from the cell bottom";
    EXPECT_LT((cellH.y1 - bottomH) / cellHeight, 0.35) << "baseline too high in the cell";
  }
}

// ---- pictures ---------------------------------------------------------------------------------

TEST(GeneratedFiles, PicturesDecodeAsThreeComponentJpegs) {
  bool someNotPowerOfTwo = false;
  for (const PictureInfo& info : kPictures) {
    SCOPED_TRACE(info.fileName);
    std::unique_ptr<JpegImage> img = loadJpegImage((kRunA + "/data/" + info.fileName).c_str());
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width, info.width);
    EXPECT_EQ(img->height, info.height);
    EXPECT_EQ(img->rowBytes, 3 * img->width);
    auto pow2 = [](int v) { return (v & (v - 1)) == 0; };
    someNotPowerOfTwo = someNotPowerOfTwo || !pow2(img->width) || !pow2(img->height);
  }
  EXPECT_TRUE(someNotPowerOfTwo);
  EXPECT_EQ(kPictures.front().slot, 3);
  EXPECT_EQ(kPictures.back().slot, 20);
}

TEST(GeneratedFiles, ImageMagickAgreesOnEveryPicture) {
  if (!toolPresent("identify")) GTEST_SKIP() << "ImageMagick identify is not installed";
  for (const PictureInfo& info : kPictures) {
    std::string out = runAndRead("identify -format '%m %w %h %[channels]' '" + kRunA + "/data/" + info.fileName + "' 2>&1");
    EXPECT_EQ(out.rfind("JPEG " + std::to_string(info.width) + " " + std::to_string(info.height) + " srgb", 0), 0u)
        << info.fileName << ": " << out;
  }
  for (const FontSheetLayout& layout : kFontSheets) {
    std::string out = runAndRead("identify -format '%m %w %h' '" + kRunA + "/" + layout.fileName + "' 2>&1");
    EXPECT_EQ(out, "BMP3 " + std::to_string(layout.width) + " " + std::to_string(layout.height)) << out;
  }
}

// The program shows the JPEG's first row at the bottom of the view, so cards are stored upside
// down: a greeting's small "greetings to", drawn above the name, lies below it in the file.
TEST(GeneratedFiles, CardsAreStoredUpsideDown) {
  std::unique_ptr<JpegImage> img = loadJpegImage((kRunA + "/data/varnok.jpg").c_str());
  ASSERT_TRUE(img);
  auto brightInRows = [&](double from, double to) {
    int n = 0;
    for (int y = int(from * img->height); y < int(to * img->height); ++y)
      for (int x = 0; x < img->width; ++x)
        if (img->pixels[size_t(y) * img->rowBytes + x * 3 + 1] > 150) ++n;
    return n;
  };
  EXPECT_GT(brightInRows(0.66, 0.74), 50) << "no caption where the flipped card has it";
  EXPECT_EQ(brightInRows(0.26, 0.34), 0) << "ink where an upright card has its caption";
}

// The model renderer scrolls the sphere map, so its opposite edges must meet without a seam.
TEST(GeneratedFiles, MetalTilesWithoutSeams) {
  std::unique_ptr<JpegImage> img = loadJpegImage((kRunA + "/data/metal.jpg").c_str());
  ASSERT_TRUE(img);
  const int w = img->width, h = img->height;
  auto at = [&](int x, int y, int c) { return int(img->pixels[size_t(y) * img->rowBytes + x * 3 + c]); };
  double edge = 0, inner = 0;
  for (int y = 0; y < h; ++y)
    for (int c = 0; c < 3; ++c) {
      edge += std::abs(at(0, y, c) - at(w - 1, y, c));
      inner += std::abs(at(w / 2, y, c) - at(w / 2 - 1, y, c));
    }
  for (int x = 0; x < w; ++x)
    for (int c = 0; c < 3; ++c) edge += std::abs(at(x, 0, c) - at(x, h - 1, c));
  // A seam would differ far more than neighbouring columns inside the picture do.
  EXPECT_LT(edge / 2, inner * 2 + 3.0 * w);
  long sum = 0;
  for (uint8_t v : img->pixels) sum += v;
  EXPECT_GT(double(sum) / img->pixels.size(), 120) << "too dark to read as chrome";
}

// ---- models -----------------------------------------------------------------------------------

TEST(GeneratedFiles, ModelsLoadClosedAndOutwardFacing) {
  auto mesh = std::make_unique<Mesh>();
  for (const ModelInfo& info : kModels) {
    SCOPED_TRACE(info.fileName);
    std::memset(mesh.get(), 0, sizeof(Mesh));
    ASSERT_TRUE(load3ds(*mesh, (kRunA + "/data/" + info.fileName).c_str(), nullptr));
    EXPECT_STREQ(mesh->name, info.objectName);
    ASSERT_GT(mesh->vertexCount, 100);
    EXPECT_LT(mesh->vertexCount, kMeshCapacity);
    EXPECT_LT(mesh->faceCount, kMeshCapacity);
    EXPECT_EQ(kModelPaths[info.modelId], std::string("data/") + info.fileName);

    // Every edge used once in each direction: closed, and every face wound the same way.
    std::set<std::pair<int, int>> edges;
    bool duplicate = false;
    MeshData loaded;
    for (int f = 0; f < mesh->faceCount; ++f) {
      for (int k = 0; k < 3; ++k) {
        int a = mesh->faces[f][k], b = mesh->faces[f][(k + 1) % 3];
        ASSERT_LT(a, mesh->vertexCount);
        duplicate = duplicate || !edges.insert({a, b}).second;
        loaded.faces.push_back(uint16_t(a));
      }
    }
    EXPECT_FALSE(duplicate) << "an edge is used twice in one direction";
    for (const auto& [a, b] : edges) {
      if (!edges.count({b, a})) {
        ADD_FAILURE() << "open edge " << a << "-" << b;
        break;
      }
    }
    for (int v = 0; v < mesh->vertexCount; ++v) {
      loaded.positions.insert(loaded.positions.end(), {mesh->vertices[v].x, mesh->vertices[v].y, mesh->vertices[v].z});
    }
    EXPECT_GT(signedVolume(loaded), 0) << "faces wind inward";

    // Shared vertices give every vertex a smooth, non-zero normal.
    computeVertexNormals(*mesh);
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (int v = 0; v < mesh->vertexCount; ++v) {
      EXPECT_GT(vecLength(mesh->normals[v]), 0.3f) << "vertex " << v;
      const float* p = &mesh->vertices[v].x;
      for (int c = 0; c < 3; ++c) {
        lo[c] = std::min(lo[c], p[c]);
        hi[c] = std::max(hi[c], p[c]);
      }
    }
    const float size = std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
    EXPECT_GT(size, 0.3f);
    EXPECT_LT(size, 1.8f);
  }
}

// ---- music ------------------------------------------------------------------------------------

TEST(GeneratedFiles, MusicIsTwoToThreeMinutesOfStereoAtCdRate) {
  OggVorbis_File vf;
  ASSERT_EQ(ov_fopen((kRunA + kMusic).c_str(), &vf), 0);
  vorbis_info* vi = ov_info(&vf, -1);
  EXPECT_EQ(vi->rate, 44100);
  EXPECT_EQ(vi->channels, 2);
  const double seconds = ov_time_total(&vf, -1);
  EXPECT_NEAR(seconds, kTrackSeconds, 0.05);
  EXPECT_GE(seconds, 120.0);
  EXPECT_LE(seconds, 180.0);

  // Loudness per section: the drums carry the main part and the finale, the break drops out.
  std::vector<double> sum(size_t(kSongBars) + 2, 0.0);
  std::vector<long> count(sum.size(), 0);
  long clipped = 0, frame = 0;
  char buf[8192];
  int section = 0;
  long got;
  while ((got = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section)) > 0) {
    const int16_t* s = reinterpret_cast<const int16_t*>(buf);
    for (long i = 0; i + 1 < got / 2; i += 2, ++frame) {
      size_t bar = std::min(sum.size() - 1, size_t(frame / (kBarSeconds * 44100)));
      sum[bar] += double(s[i]) * s[i];
      ++count[bar];
      clipped += (std::abs(s[i]) >= 32767) + (std::abs(s[i + 1]) >= 32767);
    }
  }
  ov_clear(&vf);
  auto rms = [&](int from, int to) {
    double a = 0;
    long n = 0;
    for (int b = from; b < to; ++b) {
      a += sum[size_t(b)];
      n += count[size_t(b)];
    }
    return std::sqrt(a / std::max(1L, n)) / 32768.0;
  };
  EXPECT_LT(clipped, 50) << "the track clips";
  EXPECT_GT(rms(kMainBar, kBreakBar), 2 * rms(kBreakBar, kFinaleBar - 2));
  EXPECT_GT(rms(kFinaleBar, kEndingBar), 2 * rms(kBreakBar, kFinaleBar - 2));
  EXPECT_GT(rms(kMainBar, kBreakBar), rms(kIntroBar, kBuildBar));
  EXPECT_GT(rms(kIntroBar, kBuildBar), 0.005) << "silent intro";
  EXPECT_LT(rms(kSongBars, kSongBars + 1), rms(kEndingBar, kSongBars)) << "the end does not fade";
}

TEST(GeneratedFiles, OgginfoAcceptsTheMusic) {
  if (!toolPresent("ogginfo")) GTEST_SKIP() << "ogginfo is not installed";
  std::string out = runAndRead("ogginfo '" + kRunA + kMusic + "' 2>&1; echo status=$?");
  EXPECT_NE(out.find("status=0"), std::string::npos) << out;
  EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
}

// ---- project ----------------------------------------------------------------------------------

TEST(GeneratedFiles, SavedProjectIsTheDefaultDemo) {
  Timeline fromFile;
  std::string error;
  ASSERT_EQ(loadProject(fromFile, kRunA + "/save.brz", &error), LoadResult::kLoaded) << error;
  Timeline built;
  ASSERT_TRUE(buildDefaultProject(built));
  EXPECT_TRUE(encodeProject(fromFile) == encodeProject(built));
}

}  // namespace
}  // namespace korvalin::content
