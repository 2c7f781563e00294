#include "assets/mesh.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <tuple>

#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using namespace test;

// Everything written to a temporary FILE*, read back as text.
std::string text(FILE* f) {
  std::string out(static_cast<size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  out.resize(std::fread(out.data(), 1, out.size(), f));
  std::fclose(f);
  return out;
}
size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; ++at) ++n;
  return n;
}

struct Loaded { std::unique_ptr<Mesh> mesh; std::string trace, diagnostics; };

Loaded load(const Bytes& file) {
  auto mesh = std::make_unique<Mesh>();
  FILE *trace = std::tmpfile(), *diagnostics = std::tmpfile();
  load3dsFromMemory(*mesh, guarded(file), file.size(), trace, "m.3DS", diagnostics);
  return {std::move(mesh), text(trace), text(diagnostics)};
}

void expectVec(const Vec3& v, const Vec3& e) {
  EXPECT_TRUE(std::abs(v.x - e.x) < 1e-6f && std::abs(v.y - e.y) < 1e-6f && std::abs(v.z - e.z) < 1e-6f)
      << v.x << " " << v.y << " " << v.z;
}

const std::vector<V3> kTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

// Every chunk and value, also well past the writer's 64 KB buffer, with no line lost.
TEST(Load3dsTest, TraceSpellsEveryChunkAndValue) {
  Loaded l = load(model("Ab", {vertexList({{1.5f, -2, 0}}), mappingList({{0.25f, 1}}), faceList({{0, 0, 0}})}));
  EXPECT_EQ(l.trace,
            "ChunkID: 4d4d\nChunkLenght: 4f\nChunkID: 3d3d\nChunkLenght: 49\nChunkID: 4000\nChunkLenght: 43\nChunkID: 4100\nChunkLenght: 3a\n"
            "ChunkID: 4110\nChunkLenght: 14\nNumber of vertices: 1\n"
            "Vertices list x: 1.500000\nVertices list y: -2.000000\nVertices list z: 0.000000\n"
            "ChunkID: 4140\nChunkLenght: 10\nMapping list u: 0.250000\nMapping list v: 1.000000\n"
            "ChunkID: 4120\nChunkLenght: 10\nNumber of polygons: 1\nPolygon point a: 0\nPolygon point b: 0\nPolygon point c: 0\nFace flags: 7\n");
  EXPECT_EQ(l.diagnostics, "");
  const std::string big = load(model("Big", {vertexList(std::vector<V3>(3000, V3{1, 2, 3}))})).trace;
  EXPECT_TRUE(count(big, "\n") == 11 + 3 * 3000 && count(big, "Vertices list y: 2.000000\n") == 3000);
}

// Each malformed file ends with what was read, and one line on the diagnostics stream. Unknown
// chunks are skipped whole, and the last object wins.
TEST(Load3dsTest, MalformedFilesAreClippedOrEndTheWalk) {
  std::vector<V3> many(8003, V3{1, 2, 3});
  std::vector<Face> manyFaces(8001, Face{0, 1, 2});
  manyFaces[7999] = {7999, 0, 1};
  Bytes good = vertexList(kTriangle);
  auto edited = [](Bytes b, size_t at, int delta) {
    b[at] = static_cast<uint8_t>(b[at] + delta);
    return b;
  };
  Bytes tooShort = good, cutHeader = good, cutFile = chunk(0x4D4D, {good});
  append(tooShort, edited(chunk(0x1234, {}), 2, -1));
  cutHeader.insert(cutHeader.end(), {0x10, 0x41, 0x20});
  cutFile.resize(cutFile.size() - 5);
  const Bytes four = chunk(0x4000, {cString("TenLetters"), chunk(0x4100, {vertexList({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}}),
                                                                          faceList({{0, 1, 2}}, chunk(0x4150, {Bytes(8, 0)}))})});
  const Bytes two = chunk(0x4000, {cString("Two"), chunk(0x4100, {good, faceList({{2, 1, 0}})})});
  const Bytes keyframes = chunk(0xB000, {chunk(0x4110, {Bytes(8, 0xFF)})});  // looks like a vertex list inside
  struct Case { Bytes file; int vertices, faces; const char* message; size_t lines = 1; } cases[] = {
      {chunk(0x4D4D, {chunk(0x3D3D, {chunk(0xAFFF, {Bytes(40, 'A')}), four, two}), keyframes}), 3, 1, "", 0},
      {model("Big", {vertexList(many), faceList(manyFaces)}), 8000, 8000, "vertex list of 8003 entries at byte", 2},
      // Checked against the last vertex list: only face 7999 names a vertex beyond it.
      {model("Big", {vertexList(many), faceList(manyFaces), good}), 3, 7999, "1 of 8000 faces name a vertex", 3},
      {edited(mappingList({{0, 0}, {1, 1}}), 2, -4), 0, 0, "mapping list ends at byte 20 after 1 of 2 entries"},
      {model("F", {good, faceList({{0, 1, 2}, {0, 3, 1}, {65535, 0, 1}, {2, 1, 0}})}), 3, 2,
       "m.3DS: 2 of 4 faces name a vertex at or above the vertex count 3; dropped\n"},
      {model(std::string(25, 'n'), {good}), 3, 0, "object name at byte 18 is longer than 19 bytes; cut"},
      // The next chunk (id 0x1200) begins with a 0 byte, which is not the name's.
      {chunk(0x4D4D, {chunk(0x4000, {Bytes(30, 'x')}), chunk(0x1200, {})}), 0, 0, "without terminator", 2},
      {tooShort, 3, 0, "length 5, shorter than its header"},
      {edited(chunk(0x4D4D, {good, chunk(0x4120, {Bytes(10, 0)})}), 2, -4), 3, 0, "runs past the end of its parent chunk"},
      {edited(good, 2, -12), 2, 0, "vertex list ends at byte 32 after 2 of 3 entries"},
      {chunk(0x4110, {{3, 0}}), 0, 0, "vertex list ends at byte 8 after 0 of 3 entries"},
      {chunk(0x4120, {{5}}), 0, 0, "face list count cut short at byte 6"},
      {chunk(0x4140, {{5}}), 0, 0, "mapping list count cut short at byte 6"},
      {mappingList(std::vector<std::array<float, 2>>(8001)), 0, 0, "mapping list of 8001 entries at byte 6 clipped to 8000"},
      {cutFile, 0, 0, "runs past the end of the file"},
      {cutHeader, 3, 0, "chunk header cut short at byte 44"},
  };
  for (const Case& c : cases) {
    Loaded l = load(c.file);
    EXPECT_EQ(std::pair(l.mesh->vertexCount, l.mesh->faceCount), std::pair(c.vertices, c.faces)) << c.message;
    EXPECT_NE(l.diagnostics.find(c.message), std::string::npos) << l.diagnostics;
    EXPECT_EQ(count(l.diagnostics, "\n"), c.lines) << l.diagnostics;
    EXPECT_LT(strnlen(l.mesh->name, 20), 20u) << c.message;
  }
  const Loaded last = load(cases[0].file), cut = load(model(std::string(25, 'n'), {good}));
  EXPECT_TRUE(std::string(last.mesh->name) == "Two" && last.mesh->faces[0][0] == 2);
  EXPECT_EQ(std::string(cut.mesh->name), std::string(19, 'n'));
  // Entries past the capacity are skipped, not read.
  EXPECT_EQ(count(load(mappingList(std::vector<std::array<float, 2>>(8001))).trace, "Mapping list u"), 8000u);
  EXPECT_EQ(count(load(vertexList(many)).trace, "Vertices list x"), 8000u);
  EXPECT_EQ(count(load(model("Big", {vertexList(many), faceList(manyFaces)})).trace, "Polygon point a"), 8000u);

  // Every prefix of a valid model is read within its bytes.
  Bytes whole = model("Tri", {good, faceList({{0, 1, 2}}), mappingList({{0, 0}, {1, 0}, {0, 1}})});
  auto mesh = std::make_unique<Mesh>();
  for (size_t n = 0; n <= whole.size(); ++n)
    load3dsFromMemory(*mesh, guarded(Bytes(whole.begin(), whole.begin() + long(n))), n, nullptr, "prefix", nullptr);
  EXPECT_EQ(mesh->faceCount, 1);
}

// A path that opens but cannot be mapped gives one line and an empty mesh; a file cut inside its
// first header gives one line, and it and an empty file leave the mesh as it was.
TEST(Load3dsTest, UnmappablePathsGiveOneLineAndAnEmptyMesh) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.file("fifo.3DS").c_str(), 0644), 0);  // must not wait for a writer
  writeFile(dir.file("empty.3DS"), {});
  writeFile(dir.file("one.3DS"), {0x4D});
  const Bytes triangle = model("Tri", {vertexList(kTriangle), faceList({{0, 1, 2}})});
  const std::tuple<std::string, const char*, int> cases[] = {
      {dir.path, "cannot be read (not a regular file); the model stays empty\n", 0},
      {dir.file("fifo.3DS"), "cannot be read (not a regular file); the model stays empty\n", 0},
      {dir.file("one.3DS"), "chunk header cut short at byte 0\n", 1},
      {dir.file("empty.3DS"), nullptr, 1}};
  for (const auto& [path, message, faces] : cases) {
    auto mesh = std::make_unique<Mesh>();
    load3dsFromMemory(*mesh, triangle.data(), triangle.size(), nullptr, "tri", nullptr);
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load3ds(*mesh, path.c_str(), nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), message ? path + ": " + message : "");
    EXPECT_EQ(mesh->faceCount, faces) << path;
  }
}

// Counter-clockwise seen from +z: normal (0, 0, 1). The second face shares the edge 0-2 with
// normal (0.71, -0.71, 0); both meet 0-2 at 45 degrees, so each face normal must be made unit
// length before it counts. Vertex 4 is unused; the third face repeats a corner, counting with a
// zero normal. The means are not renormalised.
TEST(VertexNormalsTest, PlainMeanOfFaceNormals) {
  Loaded l = load(model("N", {vertexList({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, -1}, {5, 5, 5}, {2, 2, 2}}),
                              faceList({{0, 1, 2}, {0, 3, 2}, {5, 5, 1}})}));
  Mesh* m = l.mesh.get();
  m->normals[4] = {9, 9, 9};
  computeVertexNormals(*m);
  const float h = 0.3535534f, d = 0.7071068f;
  const Vec3 expected[] = {{h, -h, 0.5f}, {0, 0, 0.5f}, {h, -h, 0.5f}, {d, -d, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < 6; ++i) expectVec(m->normals[i], expected[i]);
  m->faces[0][0] = 6;  // a hand-built face outside the vertex list is skipped, not read
  m->vertices[6] = {0, 0, 5};
  computeVertexNormals(*m);
  expectVec(m->normals[0], {d, -d, 0});
  expectVec(m->normals[1], {0, 0, 0});
}

// The file of Model ID k holds a triangle and k more vertices, so the trace shows the order of
// loading; every mesh gets its normals. A second load gives the same meshes; a missing file
// leaves its mesh as it was.
TEST(MeshTableTest, LoadsByModelIdInOrderRepeatsExactlyAndKeepsMeshesOfMissingFiles) {
  const char* const files[] = {"tolppa", "midi-korkea", "mini", "midi-matala", "Iso", "kapseli"};
  TempDir dir;
  for (int id = 0; id < 6; ++id) {
    std::vector<V3> vertices(size_t(id) + 3, V3{1, 1, 1});
    std::copy(kTriangle.begin(), kTriangle.end(), vertices.begin());
    writeFile(dir.file("data/" + std::string(files[id]) + ".3DS"), model("M" + std::to_string(id), {vertexList(vertices), faceList({{0, 1, 2}})}));
  }
  MeshTable table;
  const MeshTable& fixed = table;
  for (int id : {-1, 6}) EXPECT_TRUE(table.byModelId(id) == nullptr && fixed.byModelId(id) == nullptr);
  for (int id : {0, 5}) EXPECT_EQ(fixed.byModelId(id), &table.meshes[id]);
  auto openFiles = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
  FILE* trace = std::tmpfile();
  const long open = openFiles();
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  loadMeshes(table, trace);
  EXPECT_EQ(openFiles(), open);
  const std::string traced = text(trace);
  std::string order;
  for (size_t at = 0; (at = traced.find("Number of vertices: ", at)) != std::string::npos; at += 20) order += traced[at + 20];
  EXPECT_EQ(order, "746538");
  for (int id = 0; id < 6; ++id) {
    EXPECT_STREQ(table.byModelId(id)->name, ("M" + std::to_string(id)).c_str());
    expectVec(table.byModelId(id)->normals[0], {0, 0, 1});
  }
  auto once = std::make_unique<Mesh>(*table.byModelId(4));
  std::filesystem::remove("data/mini.3DS");
  loadMeshes(table, nullptr);
  std::filesystem::current_path(home);
  EXPECT_EQ(std::memcmp(once.get(), table.byModelId(4), sizeof(Mesh)), 0);
  EXPECT_STREQ(table.byModelId(2)->name, "M2");
  EXPECT_FALSE(load3ds(*table.byModelId(4), dir.file("missing.3DS").c_str(), nullptr));
  EXPECT_EQ(std::memcmp(once.get(), table.byModelId(4), sizeof(Mesh)), 0);
}

}  // namespace
}  // namespace korvalin
