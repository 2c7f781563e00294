#include "assets/mesh.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <memory>

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

// Each malformed file ends with what was read, and one line on the diagnostics stream. Unknown
// chunks are skipped whole, and the last object wins. The first file shows the trace of every
// chunk and value.
TEST(Load3dsTest, TraceSpellsEveryValueAndMalformedFilesAreClippedOrEndTheWalk) {
  std::vector<V3> many(8003, V3{1, 2, 3});
  std::vector<Face> manyFaces(8001, Face{0, 1, 2});
  manyFaces[7999] = {7999, 0, 1};
  const Bytes good = vertexList(kTriangle);
  const Bytes small = model("Ab", {vertexList({{1.5f, -2, 0}}), mappingList({{0.25f, 1}}), faceList({{0, 0, 0}})});
  const Bytes four = chunk(0x4000, {cString("TenLetters"), chunk(0x4100, {vertexList({{1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}}),
                                                                          faceList({{0, 1, 2}}, chunk(0x4150, {Bytes(8, 0)}))})});
  const Bytes two = chunk(0x4000, {cString("Two"), chunk(0x4100, {good, faceList({{2, 1, 0}})})});
  const Bytes keyframes = chunk(0xB000, {chunk(0x4110, {Bytes(8, 0xFF)})});  // looks like a vertex list inside
  struct Case { Bytes file; int vertices, faces; const char* message; size_t lines = 1; } cases[] = {
      {small, 1, 1, "", 0},
      {chunk(0x4D4D, {chunk(0x3D3D, {chunk(0xAFFF, {Bytes(40, 'A')}), four, two}), keyframes}), 3, 1, "", 0},
      {model("Big", {vertexList(many), faceList(manyFaces)}), 8000, 8000, "vertex list of 8003 entries at byte", 2},
      // Checked against the last vertex list: only face 7999 names a vertex beyond it.
      {model("Big", {vertexList(many), faceList(manyFaces), good}), 3, 7999, "1 of 8000 faces name a vertex", 3},
      {mappingList({{0, 0}, {1, 1}}, -4), 0, 0, "mapping list ends at byte 20 after 1 of 2 entries"},
      {model("F", {good, faceList({{0, 1, 2}, {0, 3, 1}, {65535, 0, 1}, {2, 1, 0}})}), 3, 2,
       "m.3DS: 2 of 4 faces name a vertex at or above the vertex count 3; dropped\n"},
      {model(std::string(25, 'n'), {good}), 3, 0, "object name at byte 18 is longer than 19 bytes; cut"},
      // The next chunk (id 0x1200) begins with a 0 byte, which is not the name's.
      {chunk(0x4D4D, {chunk(0x4000, {Bytes(30, 'x')}), chunk(0x1200, {})}), 0, 0, "without terminator", 2},
      {chunk(0x4D4D, {good, chunk(0x1234, {}, -1)}), 3, 0, "length 5, shorter than its header"},
      {chunk(0x4D4D, {good, chunk(0x4120, {Bytes(10, 0)})}, -4), 3, 0, "runs past the end of its parent chunk"},
      {vertexList(kTriangle, -12), 2, 0, "vertex list ends at byte 32 after 2 of 3 entries"},
      {chunk(0x4110, {{3, 0}}), 0, 0, "vertex list ends at byte 8 after 0 of 3 entries"},
      {chunk(0x4120, {{5}}), 0, 0, "face list count cut short at byte 6"},
      {chunk(0x4140, {{5}}), 0, 0, "mapping list count cut short at byte 6"},
      {mappingList(std::vector<std::array<float, 2>>(8001)), 0, 0, "mapping list of 8001 entries at byte 6 clipped to 8000"},
      {chunk(0x4D4D, {good}, 5), 0, 0, "runs past the end of the file"},
      {chunk(0x4D4D, {good, {0x10, 0x41, 0x20}}), 3, 0, "chunk header cut short at byte 50"},
  };
  std::vector<Loaded> loaded;
  for (const Case& c : cases) {
    const Loaded& l = loaded.emplace_back(load(c.file));
    EXPECT_EQ(std::pair(l.mesh->vertexCount, l.mesh->faceCount), std::pair(c.vertices, c.faces)) << c.message;
    EXPECT_NE(l.diagnostics.find(c.message), std::string::npos) << l.diagnostics;
    EXPECT_EQ(count(l.diagnostics, "\n"), c.lines) << l.diagnostics;
    EXPECT_LT(strnlen(l.mesh->name, 20), 20u) << c.message;
  }
  EXPECT_EQ(loaded[0].trace,
            "ChunkID: 4d4d\nChunkLenght: 4f\nChunkID: 3d3d\nChunkLenght: 49\nChunkID: 4000\nChunkLenght: 43\nChunkID: 4100\nChunkLenght: 3a\n"
            "ChunkID: 4110\nChunkLenght: 14\nNumber of vertices: 1\n"
            "Vertices list x: 1.500000\nVertices list y: -2.000000\nVertices list z: 0.000000\n"
            "ChunkID: 4140\nChunkLenght: 10\nMapping list u: 0.250000\nMapping list v: 1.000000\n"
            "ChunkID: 4120\nChunkLenght: 10\nNumber of polygons: 1\nPolygon point a: 0\nPolygon point b: 0\nPolygon point c: 0\nFace flags: 7\n");
  EXPECT_TRUE(std::string(loaded[1].mesh->name) == "Two" && loaded[1].mesh->faces[0][0] == 2);
  EXPECT_EQ(std::string(loaded[6].mesh->name), std::string(19, 'n'));
  // Entries past the capacity are skipped, not read; not one of the 56,014 lines, far past the
  // writer's 64 KB buffer, is lost.
  const std::string& big = loaded[2].trace;
  EXPECT_TRUE(count(big, "\n") == 56014 && count(big, "Vertices list y: 2.000000\n") == 8000 && count(big, "Polygon point a") == 8000);
  EXPECT_EQ(count(loaded[14].trace, "Mapping list u"), 8000u);

  // Every prefix of a valid model is read within its bytes.
  auto mesh = std::make_unique<Mesh>();
  for (size_t n = 0; n <= small.size(); ++n)
    load3dsFromMemory(*mesh, guarded(Bytes(small.begin(), small.begin() + long(n))), n, nullptr, "prefix", nullptr);
  EXPECT_EQ(mesh->faceCount, 1);
}

// The file of Model ID k holds the same six vertices and three faces, then k more vertices, so the
// trace shows the order of loading. A second load gives the same meshes; a missing file leaves its
// mesh as it was; one that opens but cannot be mapped empties its mesh, with one line. With standard
// input closed, descriptor 0 is used like any other; nothing stays open or mapped.
// Normals: the first face is counter-clockwise seen from +z, normal (0, 0, 1). The second shares
// the edge 0-2 with normal (0.71, -0.71, 0); both meet 0-2 at 45 degrees, so each face normal must
// be made unit length before it counts. Vertex 4 is unused; the third face repeats a corner,
// counting with a zero normal. The means are not renormalised.
TEST(MeshTableTest, LoadsByModelIdInOrderWithNormalsRepeatsExactlyAndReportsFilesThatCannotBeRead) {
  const char* const files[] = {"tolppa", "midi-korkea", "mini", "midi-matala", "Iso", "kapseli"};
  TempDir dir;
  for (int id = 0; id < 6; ++id) {
    std::vector<V3> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, -1}, {5, 5, 5}, {2, 2, 2}};
    vertices.resize(size_t(id) + 6, V3{1, 1, 1});
    writeFile(dir.file("data/" + std::string(files[id]) + ".3DS"),
              model("M" + std::to_string(id), {vertexList(vertices), faceList({{0, 1, 2}, {0, 3, 2}, {5, 5, 1}})}));
  }
  MeshTable table;
  const MeshTable& fixed = table;
  for (int id : {-1, 6}) EXPECT_TRUE(table.byModelId(id) == nullptr && fixed.byModelId(id) == nullptr);
  for (int id : {0, 5}) EXPECT_EQ(fixed.byModelId(id), &table.meshes[id]);
  auto held = [&] {
    std::ifstream maps("/proc/self/maps");
    const std::string text{std::istreambuf_iterator<char>(maps), {}};
    return std::pair(text.find(dir.path) != std::string::npos, std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
  };
  FILE* trace = std::tmpfile();
  const auto before = held();
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  const int input = ::dup(0);
  ::close(0);
  loadMeshes(table, trace);
  const bool left = std::filesystem::exists("/proc/self/fd/0");
  ::dup2(input, 0);
  ::close(input);
  EXPECT_TRUE(held() == before && !left);
  const std::string traced = text(trace);
  std::string order;
  for (size_t at = 0; (at = traced.find("vertices: ", at)) != std::string::npos; at += 10)
    order += std::to_string(std::atoi(&traced[at + 10])) + " ";
  EXPECT_EQ(order, "10 7 9 8 6 11 ");
  const float h = 0.3535534f, d = 0.7071068f;
  const Vec3 normals[] = {{h, -h, 0.5f}, {0, 0, 0.5f}, {h, -h, 0.5f}, {d, -d, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int id = 0; id < 6; ++id) {
    EXPECT_STREQ(table.byModelId(id)->name, ("M" + std::to_string(id)).c_str());
    for (int i = 0; i < 6; ++i) expectVec(table.byModelId(id)->normals[i], normals[i]);
  }

  auto once = std::make_unique<Mesh>(*table.byModelId(4));
  std::filesystem::remove("data/mini.3DS");
  std::filesystem::remove("data/tolppa.3DS");
  ASSERT_EQ(::mkfifo("data/tolppa.3DS", 0644), 0);  // must not wait for a writer
  std::filesystem::remove("data/midi-korkea.3DS");
  std::filesystem::create_directory("data/midi-korkea.3DS");
  writeFile("data/midi-matala.3DS", {0x4D});
  writeFile("data/kapseli.3DS", {});
  testing::internal::CaptureStderr();
  loadMeshes(table, nullptr);
  std::filesystem::current_path(home);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "data/midi-korkea.3DS: cannot be read (not a regular file); the model stays empty\n"
            "data/midi-matala.3DS: chunk header cut short at byte 0\n"
            "data/tolppa.3DS: cannot be read (not a regular file); the model stays empty\n");
  for (int id = 0; id < 6; ++id)
    EXPECT_EQ(std::pair(table.byModelId(id)->vertexCount, table.byModelId(id)->faceCount), id < 2 ? std::pair(0, 0) : std::pair(id + 6, 3));
  EXPECT_EQ(std::memcmp(once.get(), table.byModelId(4), sizeof(Mesh)), 0);
  EXPECT_STREQ(table.byModelId(2)->name, "M2");
  EXPECT_FALSE(load3ds(*table.byModelId(4), dir.file("missing.3DS").c_str(), nullptr));
  EXPECT_EQ(std::memcmp(once.get(), table.byModelId(4), sizeof(Mesh)), 0);

  Mesh& m = *table.byModelId(5);
  m.faces[0][0] = 11;  // a hand-built face outside the vertex list is skipped, not read
  m.vertices[11] = {0, 0, 5};
  computeVertexNormals(m);
  expectVec(m.normals[0], {d, -d, 0});
  expectVec(m.normals[1], {0, 0, 0});
}

}  // namespace
}  // namespace korvalin
