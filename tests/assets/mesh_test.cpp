#include "assets/mesh.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using test::Bytes;
using test::chunk;
using test::faceList;
using test::mappingList;
using test::model;
using test::vertexList;

// Everything written to a FILE*, read back as text.
class Capture {
 public:
  Capture() : file_(std::tmpfile()) {}
  ~Capture() { std::fclose(file_); }
  FILE* file() { return file_; }
  std::string text() {
    std::fflush(file_);
    std::rewind(file_);
    std::string out;
    char block[4096];
    size_t n;
    while ((n = std::fread(block, 1, sizeof block, file_)) > 0) out.append(block, n);
    return out;
  }

 private:
  FILE* file_;
};

struct Loaded {
  std::unique_ptr<Mesh> mesh{new Mesh()};
  std::string trace;
  std::string diagnostics;
};

Loaded load(const Bytes& file) {
  Loaded l;
  Capture trace, diagnostics;
  load3dsFromMemory(*l.mesh, file.data(), file.size(), trace.file(), "model.3DS", diagnostics.file());
  l.trace = trace.text();
  l.diagnostics = diagnostics.text();
  return l;
}

void expectVec(const Vec3& v, float x, float y, float z) {
  EXPECT_NEAR(v.x, x, 1e-6f);
  EXPECT_NEAR(v.y, y, 1e-6f);
  EXPECT_NEAR(v.z, z, 1e-6f);
}

Bytes triangleModel() {
  return model("Tri", {vertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), faceList({{0, 1, 2}}),
                       mappingList({{0.5f, 1}, {0, 0}, {1, 0.25f}})});
}

TEST(Load3dsTest, TraceSpellsEveryChunkAndValue) {
  Bytes file = model("Ab", {vertexList({{1.5f, -2, 0}}), faceList({{0, 0, 0}}), mappingList({{0.25f, 1}})});
  Loaded l = load(file);
  EXPECT_EQ(l.trace,
            "ChunkID: 4d4d\nChunkLenght: 4f\n"
            "ChunkID: 3d3d\nChunkLenght: 49\n"
            "ChunkID: 4000\nChunkLenght: 43\n"
            "ChunkID: 4100\nChunkLenght: 3a\n"
            "ChunkID: 4110\nChunkLenght: 14\nNumber of vertices: 1\n"
            "Vertices list x: 1.500000\nVertices list y: -2.000000\nVertices list z: 0.000000\n"
            "ChunkID: 4120\nChunkLenght: 10\nNumber of polygons: 1\n"
            "Polygon point a: 0\nPolygon point b: 0\nPolygon point c: 0\nFace flags: 7\n"
            "ChunkID: 4140\nChunkLenght: 10\n"
            "Mapping list u: 0.250000\nMapping list v: 1.000000\n");
  EXPECT_EQ(l.diagnostics, "");
  EXPECT_STREQ(l.mesh->name, "Ab");
}

TEST(Load3dsTest, ListsNamesAndSkippedChunks) {
  Bytes material = chunk(0xAFFF, {Bytes(40, 0x41)});
  Bytes smoothing = chunk(0x4150, {Bytes(4, 0)});
  Bytes file = chunk(0x4D4D, {chunk(0x0002, {Bytes(4, 3)}),
                              chunk(0x3D3D, {material, chunk(0x4000, {test::nameBytes("TenLetters"),
                                                                      chunk(0x4100, {
                                                                          vertexList({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}),
                                                                          faceList({{2, 1, 0}}, {smoothing}),
                                                                      })})}),
                              chunk(0xB000, {chunk(0x4110, {Bytes(8, 0xFF)})})});
  Loaded l = load(file);
  const Mesh& m = *l.mesh;
  EXPECT_STREQ(m.name, "TenLetters");
  EXPECT_EQ(m.vertexCount, 3);
  EXPECT_EQ(m.faceCount, 1);
  expectVec(m.vertices[2], 7, 8, 9);
  EXPECT_EQ(m.faces[0][0], 2);
  EXPECT_EQ(m.faces[0][2], 0);
  EXPECT_EQ(m.texCoords[1][0], 0.0f);  // no mapping list
  EXPECT_EQ(m.texCoords[1][1], 0.0f);
  EXPECT_NE(l.trace.find("ChunkID: afff\n"), std::string::npos);
  EXPECT_NE(l.trace.find("ChunkID: 4150\n"), std::string::npos);
  EXPECT_EQ(l.trace.find("Vertices list x: nan"), std::string::npos);  // keyframer content not read
  EXPECT_EQ(l.diagnostics, "");
}

TEST(Load3dsTest, SeveralObjectsLeaveTheLastListsFromIndexZero) {
  Bytes first = chunk(0x4000, {test::nameBytes("One"),
                               chunk(0x4100, {vertexList({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}), faceList({{0, 1, 2}, {2, 1, 0}})})});
  Bytes second = chunk(0x4000, {test::nameBytes("Two"),
                                chunk(0x4100, {vertexList({{9, 9, 9}, {8, 8, 8}, {7, 7, 7}}), faceList({{1, 2, 0}})})});
  Bytes light = chunk(0x4000, {test::nameBytes("Lamp"), chunk(0x4600, {Bytes(12, 0)})});
  Loaded l = load(chunk(0x4D4D, {chunk(0x3D3D, {first, second, light})}));
  EXPECT_STREQ(l.mesh->name, "Lamp");
  EXPECT_EQ(l.mesh->faceCount, 1);
  EXPECT_EQ(l.mesh->faces[0][0], 1);
  EXPECT_EQ(l.mesh->faces[1][0], 2);  // left over from the first object, beyond faceCount
  expectVec(l.mesh->vertices[0], 9, 9, 9);
}

TEST(Load3dsTest, OversizedListsAreClippedAndTheWalkStaysInStep) {
  std::vector<test::V3> many(8003, test::V3{1, 2, 3});
  many[7999] = {5, 5, 5};
  std::vector<std::array<uint16_t, 3>> faces(8001, std::array<uint16_t, 3>{0, 1, 2});
  faces[7999] = {7999, 0, 1};
  std::vector<std::array<float, 2>> uvs(8002, std::array<float, 2>{0.5f, 0.5f});
  Loaded l = load(model("Big", {vertexList(many), faceList(faces), mappingList(uvs), vertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}})}));
  EXPECT_EQ(l.mesh->faceCount, 7999);  // the last vertex list has three vertices: face 7999 names more
  EXPECT_EQ(l.mesh->vertexCount, 3);
  expectVec(l.mesh->vertices[7999], 5, 5, 5);
  EXPECT_EQ(l.mesh->texCoords[7999][0], 0.5f);
  EXPECT_NE(l.diagnostics.find("vertex list of 8003 entries at byte"), std::string::npos) << l.diagnostics;
  EXPECT_NE(l.diagnostics.find("face list of 8001 entries"), std::string::npos);
  EXPECT_NE(l.diagnostics.find("mapping list of 8002 entries"), std::string::npos);
  EXPECT_NE(l.diagnostics.find("dropped"), std::string::npos);
  EXPECT_NE(l.trace.find("Number of vertices: 3\n"), std::string::npos);

  Loaded exact = load(model("Big", {vertexList(many), faceList(faces)}));
  EXPECT_EQ(exact.mesh->vertexCount, kMeshCapacity);
  EXPECT_EQ(exact.mesh->faceCount, kMeshCapacity);
  EXPECT_EQ(exact.mesh->faces[7999][0], 7999);
}

TEST(Load3dsTest, FacesNamingMissingVerticesAreDropped) {
  Loaded l = load(model("F", {vertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), faceList({{0, 1, 2}, {0, 3, 1}, {2, 1, 0}, {65535, 0, 1}})}));
  ASSERT_EQ(l.mesh->faceCount, 2);
  EXPECT_EQ(l.mesh->faces[1][0], 2);
  EXPECT_EQ(l.diagnostics, "model.3DS: 2 of 4 faces name a vertex at or above the vertex count 3; dropped\n");
}

TEST(Load3dsTest, LongNamesAreCutAndTheWalkContinues) {
  Bytes file = model(std::string(25, 'n'), {vertexList({{1, 2, 3}})});
  Loaded l = load(file);
  EXPECT_EQ(std::string(l.mesh->name), std::string(19, 'n'));
  EXPECT_EQ(l.mesh->vertexCount, 1);
  EXPECT_NE(l.diagnostics.find("longer than 19 bytes"), std::string::npos);

  // A name with no terminator at all: kept, cut, and the walk ends there.
  Bytes bare = chunk(0x4000, {Bytes(30, 'x')});
  Loaded b = load(bare);
  EXPECT_EQ(std::string(b.mesh->name), std::string(19, 'x'));
  EXPECT_NE(b.diagnostics.find("without terminator"), std::string::npos);
}

TEST(Load3dsTest, BrokenStructureEndsWithWhatWasRead) {
  Bytes good = vertexList({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  struct Case {
    const char* what;
    Bytes file;
    int vertices;
    const char* message;
  };
  Bytes shortChunk = chunk(0x1234, {});
  shortChunk[2] = 5;
  Bytes pastParent = chunk(0x4D4D, {good, chunk(0x4120, {Bytes(10, 0)})});
  pastParent[2] -= 4;  // the parent now ends inside the face list
  Bytes listPastChunk = good;
  listPastChunk[2] -= 12;  // the count still says three
  Bytes cutFile = chunk(0x4D4D, {good});
  cutFile.resize(cutFile.size() - 5);
  Bytes cutHeader = good;
  cutHeader.insert(cutHeader.end(), {0x10, 0x41, 0x20});
  Case cases[] = {
      {"length below 6", [&] { Bytes b = good; test::append(b, shortChunk); return b; }(), 3, "length 5, shorter than its header"},
      {"past parent", pastParent, 3, "runs past the end of its parent chunk"},
      {"list past its chunk", listPastChunk, 2, "vertex list ends at byte"},
      {"truncated file", cutFile, 0, "runs past the end of the file"},
      {"truncated header", cutHeader, 3, "chunk header cut short"},
  };
  for (const Case& c : cases) {
    Loaded l = load(c.file);
    EXPECT_EQ(l.mesh->vertexCount, c.vertices) << c.what;
    EXPECT_NE(l.diagnostics.find(c.message), std::string::npos) << c.what << ": " << l.diagnostics;
    EXPECT_EQ(std::count(l.diagnostics.begin(), l.diagnostics.end(), '\n'), 1) << c.what;
  }
}

// Every prefix of a valid model: the walk ends inside the data (checked by the ASan run).
TEST(Load3dsTest, EveryPrefixEnds) {
  Bytes whole = triangleModel();
  for (size_t n = 0; n <= whole.size(); ++n) {
    Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    Mesh* mesh = new Mesh();
    load3dsFromMemory(*mesh, prefix.data(), prefix.size(), nullptr, "prefix", nullptr);
    EXPECT_LE(mesh->faceCount, 1);
    delete mesh;
  }
}

TEST(Load3dsTest, FileLoadingKeepsTheMeshWhenMissingAndRepeatsExactly) {
  test::TempDir dir;
  std::string path = dir.file("tri.3DS");
  test::writeFile(path, triangleModel());
  auto mesh = std::make_unique<Mesh>();
  ASSERT_TRUE(load3ds(*mesh, path.c_str(), nullptr));
  computeVertexNormals(*mesh);
  auto once = std::make_unique<Mesh>(*mesh);
  ASSERT_TRUE(load3ds(*mesh, path.c_str(), nullptr));
  computeVertexNormals(*mesh);
  EXPECT_EQ(std::memcmp(once.get(), mesh.get(), sizeof(Mesh)), 0);

  EXPECT_FALSE(load3ds(*mesh, dir.file("missing.3DS").c_str(), nullptr));
  EXPECT_EQ(std::memcmp(once.get(), mesh.get(), sizeof(Mesh)), 0);
}

TEST(MeshTableTest, ModelIdsLoadOrderAndMissingFiles) {
  MeshTable table;
  EXPECT_EQ(table.byModelId(-1), nullptr);
  EXPECT_EQ(table.byModelId(6), nullptr);
  ASSERT_NE(table.byModelId(5), nullptr);
  EXPECT_EQ(table.byModelId(5)->vertexCount, 0);
  EXPECT_EQ(table.byModelId(5)->vertices[kMeshCapacity - 1].z, 0.0f);
  EXPECT_STREQ(kModelPaths[kModelLoadOrder[0]], "data/Iso.3DS");
  EXPECT_STREQ(kModelPaths[2], "data/mini.3DS");

  test::TempDir dir;
  for (int id = 0; id < kMeshCount; ++id) {
    if (id == 2) continue;  // mini.3DS missing
    test::writeFile(dir.file(kModelPaths[id]),
                    model("M" + std::to_string(id), {vertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), faceList({{0, 1, 2}})}));
  }
  char previous[4096];
  ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  Capture trace;
  loadMeshes(table, trace.file());
  ASSERT_EQ(chdir(previous), 0);

  std::string text = trace.text();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5 * 27);
  for (int id = 0; id < kMeshCount; ++id) {
    const Mesh& m = *table.byModelId(id);
    if (id == 2) {
      EXPECT_EQ(m.vertexCount, 0);
      EXPECT_EQ(m.faceCount, 0);
      continue;
    }
    EXPECT_EQ(std::string(m.name), "M" + std::to_string(id));
    expectVec(m.normals[1], 0, 0, 1);
  }
}

TEST(VectorMathTest, LengthsDirectionsAndCrossProducts) {
  EXPECT_FLOAT_EQ(vecLength({3, 4, 12}), 13.0f);
  Vec3 zero{0, 0, 0};
  vecNormalize(zero);
  expectVec(zero, 0, 0, 0);
  Vec3 d;
  vecDirection({1, 1, 1}, {1, 1, 1}, d);
  expectVec(d, 0, 0, 0);
  vecDirection({1, 1, 1}, {1, 4, 5}, d);
  expectVec(d, 0, 0.6f, 0.8f);
  Vec3 c;
  vecCross({1, 0, 0}, {0, 1, 0}, c);
  expectVec(c, 0, 0, 1);
  Vec3 a{1, 2, 3};
  vecCross(a, {4, 5, 6}, a);  // output may alias an input
  expectVec(a, -3, 6, -3);
}

TEST(VertexNormalsTest, MeanOfFaceNormalsWithoutRenormalising) {
  auto m = std::make_unique<Mesh>();
  Vec3 corners[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, -1}, {5, 5, 5}, {2, 2, 2}};
  std::copy(std::begin(corners), std::end(corners), m->vertices);
  m->vertexCount = 6;
  // Counter-clockwise seen from +z: normal (0, 0, 1). Second face shares edge 0-2 at a right
  // angle with normal (1, 0, 0). Vertex 4 is unused; face 3 repeats a corner.
  int32_t faces[][3] = {{0, 1, 2}, {0, 3, 2}, {5, 5, 1}};
  std::memcpy(m->faces, faces, sizeof faces);
  m->faceCount = 3;
  m->normals[4] = {9, 9, 9};
  computeVertexNormals(*m);
  expectVec(m->normals[0], 0.5f, 0, 0.5f);
  expectVec(m->normals[2], 0.5f, 0, 0.5f);
  EXPECT_NEAR(vecLength(m->normals[0]), 0.7071f, 1e-4f);
  expectVec(m->normals[1], 0, 0, 0.5f);  // the degenerate face still counts
  expectVec(m->normals[3], 1, 0, 0);
  expectVec(m->normals[4], 0, 0, 0);
  expectVec(m->normals[5], 0, 0, 0);

  // A hand-built face naming a vertex outside the list is ignored rather than read.
  m->faces[0][1] = 7000;
  computeVertexNormals(*m);
  expectVec(m->normals[0], 1, 0, 0);
}

}  // namespace
}  // namespace korvalin
