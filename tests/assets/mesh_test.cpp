#include "assets/mesh.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using test::Bytes;
using test::chunk;
using test::faceList;
using test::model;
using test::vertexList;

// Everything written to a FILE*, read back as text.
std::string text(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out += static_cast<char>(c);
  std::fclose(f);
  return out;
}

struct Loaded {
  std::unique_ptr<Mesh> mesh = std::make_unique<Mesh>();
  std::string trace, diagnostics;
};

Loaded load(const Bytes& file) {
  Loaded l;
  FILE* trace = std::tmpfile();
  FILE* diagnostics = std::tmpfile();
  load3dsFromMemory(*l.mesh, file.data(), file.size(), trace, "m.3DS", diagnostics);
  l.trace = text(trace);
  l.diagnostics = text(diagnostics);
  return l;
}

void expectVec(const Vec3& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, 1e-6f);
  EXPECT_NEAR(v.y, y, 1e-6f);
  EXPECT_NEAR(v.z, z, 1e-6f);
}

const std::vector<test::V3> kTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

TEST(Load3dsTest, TraceSpellsEveryChunkAndValue) {
  Loaded l = load(model("Ab", {vertexList({{1.5f, -2, 0}}), faceList({{0, 0, 0}}), test::mappingList({{0.25f, 1}})}));
  EXPECT_EQ(l.trace,
            "ChunkID: 4d4d\nChunkLenght: 4f\nChunkID: 3d3d\nChunkLenght: 49\n"
            "ChunkID: 4000\nChunkLenght: 43\nChunkID: 4100\nChunkLenght: 3a\n"
            "ChunkID: 4110\nChunkLenght: 14\nNumber of vertices: 1\n"
            "Vertices list x: 1.500000\nVertices list y: -2.000000\nVertices list z: 0.000000\n"
            "ChunkID: 4120\nChunkLenght: 10\nNumber of polygons: 1\n"
            "Polygon point a: 0\nPolygon point b: 0\nPolygon point c: 0\nFace flags: 7\n"
            "ChunkID: 4140\nChunkLenght: 10\nMapping list u: 0.250000\nMapping list v: 1.000000\n");
  EXPECT_EQ(l.diagnostics, "");
}

TEST(Load3dsTest, UnknownChunksAreSkippedWholeAndTheLastObjectWins) {
  Bytes first = chunk(0x4000, {test::cString("TenLetters"),
                               chunk(0x4100, {vertexList({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}}),
                                              faceList({{0, 1, 2}, {3, 2, 1}}, chunk(0x4150, {Bytes(8, 0)}))})});
  Bytes second = chunk(0x4000, {test::cString("Two"), chunk(0x4100, {vertexList(kTriangle), faceList({{2, 1, 0}})})});
  Bytes light = chunk(0x4000, {test::cString("Lamp"), chunk(0x4600, {Bytes(12, 0)})});
  Bytes keyframes = chunk(0xB000, {chunk(0x4110, {Bytes(8, 0xFF)})});  // looks like a vertex list inside
  Loaded l = load(chunk(0x4D4D, {chunk(0x0002, {Bytes(4, 3)}),
                                 chunk(0x3D3D, {chunk(0xAFFF, {Bytes(40, 'A')}), first, second, light}), keyframes}));
  EXPECT_STREQ(l.mesh->name, "Lamp");
  EXPECT_EQ(l.mesh->vertexCount, 3);
  EXPECT_EQ(l.mesh->faceCount, 1);
  EXPECT_EQ(l.mesh->faces[0][0], 2);
  expectVec(l.mesh->vertices[3], 4, 4, 4);  // left from the first object, beyond vertexCount
  EXPECT_EQ(l.mesh->texCoords[1][1], 0.0f);  // no mapping list
  EXPECT_NE(l.trace.find("ChunkID: 4150\n"), std::string::npos);
  EXPECT_NE(l.trace.find("ChunkID: b000\n"), std::string::npos);
  EXPECT_EQ(l.diagnostics, "");
}

// Each malformed file ends with what was read, and one line on the diagnostics stream.
TEST(Load3dsTest, MalformedFilesAreClippedOrEndTheWalk) {
  std::vector<test::V3> many(8003, test::V3{1, 2, 3});
  std::vector<test::Face> manyFaces(8001, test::Face{0, 1, 2});
  manyFaces[7999] = {7999, 0, 1};
  Bytes good = vertexList(kTriangle);
  auto edited = [](Bytes b, size_t at, int delta) {
    b[at] = static_cast<uint8_t>(b[at] + delta);
    return b;
  };
  Bytes tooShort = good;
  test::append(tooShort, edited(chunk(0x1234, {}), 2, -1));
  Bytes cutHeader = good;
  cutHeader.insert(cutHeader.end(), {0x10, 0x41, 0x20});
  Bytes cutFile = chunk(0x4D4D, {good});
  cutFile.resize(cutFile.size() - 5);
  struct Case {
    const char* what;
    Bytes file;
    int vertices, faces;
    const char* message;
  } cases[] = {
      {"long lists", model("Big", {vertexList(many), faceList(manyFaces)}), 8000, 8000, "vertex list of 8003 entries at byte"},
      {"faces beyond the vertices", model("F", {good, faceList({{0, 1, 2}, {0, 3, 1}, {65535, 0, 1}, {2, 1, 0}})}), 3, 2,
       "m.3DS: 2 of 4 faces name a vertex at or above the vertex count 3; dropped\n"},
      {"long name", model(std::string(25, 'n'), {good}), 3, 0, "longer than 19 bytes; cut"},
      {"name without end", chunk(0x4000, {Bytes(30, 'x')}), 0, 0, "without terminator"},
      {"length below 6", tooShort, 3, 0, "length 5, shorter than its header"},
      {"past parent", edited(chunk(0x4D4D, {good, chunk(0x4120, {Bytes(10, 0)})}), 2, -4), 3, 0,
       "runs past the end of its parent chunk"},
      {"list past its chunk", edited(good, 2, -12), 2, 0, "vertex list ends at byte 32 after 2 of 3 entries"},
      {"truncated file", cutFile, 0, 0, "runs past the end of the file"},
      {"truncated header", cutHeader, 3, 0, "chunk header cut short at byte 44"},
  };
  for (const Case& c : cases) {
    Loaded l = load(c.file);
    EXPECT_EQ(l.mesh->vertexCount, c.vertices) << c.what;
    EXPECT_EQ(l.mesh->faceCount, c.faces) << c.what;
    EXPECT_NE(l.diagnostics.find(c.message), std::string::npos) << c.what << ": " << l.diagnostics;
  }
  Loaded clipped = load(model("Big", {vertexList(many), faceList(manyFaces), vertexList(kTriangle)}));
  EXPECT_EQ(clipped.mesh->faceCount, 7999);  // only face 7999 names a vertex beyond the last list
  EXPECT_EQ(std::string(load(model(std::string(25, 'n'), {good})).mesh->name), std::string(19, 'n'));

  // Every prefix of a valid model ends inside the data (checked by the ASan run).
  Bytes whole = model("Tri", {good, faceList({{0, 1, 2}}), test::mappingList({{0, 0}, {1, 0}, {0, 1}})});
  auto mesh = std::make_unique<Mesh>();
  for (size_t n = 0; n <= whole.size(); ++n) {
    load3dsFromMemory(*mesh, whole.data(), n, nullptr, "prefix", nullptr);
    EXPECT_LE(mesh->faceCount, 1);
  }
}

// Counter-clockwise seen from +z: normal (0, 0, 1). The second face shares the edge 0-2 at a right
// angle with normal (1, 0, 0). Vertex 4 is unused; the third face repeats a corner.
TEST(VertexNormalsTest, PlainMeanOfFaceNormals) {
  auto m = std::make_unique<Mesh>();
  Vec3 corners[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}, {5, 5, 5}, {2, 2, 2}};
  std::copy(std::begin(corners), std::end(corners), m->vertices);
  int32_t faces[][3] = {{0, 1, 2}, {0, 3, 2}, {5, 5, 1}};
  std::memcpy(m->faces, faces, sizeof faces);
  m->vertexCount = 6;
  m->faceCount = 3;
  m->normals[4] = {9, 9, 9};
  computeVertexNormals(*m);
  expectVec(m->normals[0], 0.5f, 0, 0.5f);  // length 0.707: not renormalised
  expectVec(m->normals[2], 0.5f, 0, 0.5f);
  expectVec(m->normals[3], 1, 0, 0);
  expectVec(m->normals[1], 0, 0, 0.5f);  // the degenerate face counts, with a zero normal
  expectVec(m->normals[4], 0, 0, 0);
  expectVec(m->normals[5], 0, 0, 0);

  m->faces[0][1] = 7000;  // a hand-built face outside the vertex list is skipped, not read
  computeVertexNormals(*m);
  expectVec(m->normals[0], 1, 0, 0);
}

TEST(MeshTableTest, LoadsByModelIdRepeatsExactlyAndKeepsMeshesOfMissingFiles) {
  MeshTable table;
  EXPECT_EQ(table.byModelId(-1), nullptr);
  EXPECT_EQ(table.byModelId(6), nullptr);
  test::TempDir dir;
  for (int id = 0; id < kMeshCount; ++id) {
    if (id != 2) test::writeFile(dir.file(kModelPaths[id]), model("M" + std::to_string(id), {vertexList(kTriangle), faceList({{0, 1, 2}})}));
  }
  FILE* trace = std::tmpfile();
  test::inDirectory(dir.path(), [&] { loadMeshes(table, trace); });
  std::string lines = text(trace);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 5 * 27);
  EXPECT_EQ(table.byModelId(2)->vertexCount, 0);  // mini.3DS missing: stays empty
  EXPECT_STREQ(table.byModelId(4)->name, "M4");
  expectVec(table.byModelId(0)->normals[1], 0, 0, 1);

  auto once = std::make_unique<Mesh>(*table.byModelId(4));
  test::inDirectory(dir.path(), [&] { loadMeshes(table, nullptr); });
  EXPECT_EQ(std::memcmp(once.get(), table.byModelId(4), sizeof(Mesh)), 0);
  EXPECT_FALSE(load3ds(*table.byModelId(4), dir.file("missing.3DS").c_str(), nullptr));
  EXPECT_EQ(std::memcmp(once.get(), table.byModelId(4), sizeof(Mesh)), 0);
}

}  // namespace
}  // namespace korvalin
