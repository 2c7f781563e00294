// The asset decoders and loaders without GL: BMP, JPEG and 3DS files, and the mesh table.
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <iterator>
#include <memory>
#include <tuple>

#include "assets/dib_image.h"
#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "platform/message_box.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using namespace test;
using Pixels = std::vector<uint32_t>;

class DibTest : public ::testing::Test {
 protected:
  void SetUp() override { setMessageSink([this](const std::string& text) { messages.push_back(text); }); }
  void TearDown() override { setMessageSink({}); }

  // The picture as 0xRRGGBB values, bottom row first; empty when refused.
  Pixels decode(const Bytes& file) {
    auto image = decodeDib(guarded(file), file.size());
    Pixels out;
    if (!image) return out;
    EXPECT_EQ(image->pixels.size(), size_t{3} * image->width * image->height);
    for (size_t i = 0; i + 2 < image->pixels.size(); i += 3)
      out.push_back(uint32_t{image->pixels[i]} << 16 | image->pixels[i + 1] << 8 | image->pixels[i + 2]);
    return out;
  }
  bool refusedWith(const Bytes& file, const std::string& message) {
    messages.clear();
    return decode(file).empty() && messages == std::vector<std::string>{message};
  }

  std::vector<std::string> messages;
};

const uint32_t W = 0xFFFFFF, R = 0xFF0000, G = 0x00FF7F, D = 0x102030;
const std::vector<uint32_t> kPalette16 = {D, R, G, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// 3 x 2, 8-bit: by default bottom row indices 0 1 2, top row 2 1 0, from a full table.
BmpParts eightBit(uint32_t headerSize = 40, bool fileHeader = true, int32_t height = 2, size_t entries = 256,
                  Bytes pixels = {0, 1, 2, 0, 2, 1, 0, 0}) {
  BmpParts s{3, height, 8, pixels, kPalette16, 0, {}, fileHeader};
  s.palette.resize(entries);
  s.headerSize = headerSize;
  return s;
}
const Pixels kEightBit = {D, R, G, G, R, D};

// Every header kind and encoding the reader converts, small enough to check pixel by pixel.
const std::pair<BmpParts, Pixels> kEncodings[] = {
    {eightBit(), kEightBit},
    {eightBit(12, false), kEightBit},
    {eightBit(40, true, -2), {G, R, D, D, R, G}},  // top-down
    // 16 entries: the pixels start right after them; index 16 and above read as black.
    {eightBit(40, false, 2, 16, {1, 15, 16, 0, 255, 2, 1, 0}), {R, 0, 0, 0, G, R}},
    // Width 5: 15 bytes a row plus one of padding, which the last row may lack; stored blue, green, red.
    {{5, 2, 24, {30, 20, 0, 30, 20, 1, 30, 20, 2, 30, 20, 3, 30, 20, 4, 0xEE,  //
                 30, 20, 100, 30, 20, 101, 30, 20, 102, 30, 20, 103, 30, 20, 104}},
     {0x00141E, 0x01141E, 0x02141E, 0x03141E, 0x04141E, 0x64141E, 0x65141E, 0x66141E, 0x67141E, 0x68141E}},
    // Packed: the pixels follow the full table of 2 and 16 entries.
    {{10, 1, 1, {0b10110000, 0b01000000, 0, 0}, {0, W}, 0, {}, false}, {W, 0, W, W, 0, 0, 0, 0, 0, W}},
    {{3, 1, 4, {0x21, 0x00, 0, 0}, kPalette16, 0, {}, false}, {G, R, D}},
    // 16/31, 32/63 and 16/31 of full scale each come out as 0x84, 0x82, 0x84.
    {{2, 1, 16, {0xE0, 0x07, 0x10, 0x84}, {}, 3, {0xF800, 0x07E0, 0x001F}}, {0x00FF00, 0x848284}},
    {{3, 1, 16, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}}, {R, 0x00FF00, 0x0000FF}},
    {{2, 1, 32, {1, 2, 3, 99, 4, 5, 6, 99}}, {0x030201, 0x060504}},
    {{2, 1, 32, {1, 2, 3, 99, 4, 5, 6, 99}, {}, 3, {0xFF, 0xFF00, 0xFF0000}, false}, {0x010203, 0x040506}},
    // A mask of nothing reads as 0.
    {{2, 1, 16, {0xE0, 0x07, 0x10, 0x84}, {}, 3, {0xF800, 0x07E0, 0}}, {0x00FF00, 0x848200}},
    // RLE8: a run of one, a delta one right and one up, a run clipped at the row's end, end of line,
    // an absolute run of three (word-padded), end of bitmap. Skipped pixels stay black.
    {{4, 3, 8, {1, 2, 0, 2, 1, 1, 9, 1, 0, 0, 0, 3, 2, 0, 1, 0, 0, 1}, kPalette16, 1}, {G, 0, 0, 0, 0, 0, R, R, G, D, R, 0}},
    {{4, 1, 8, {2, 1, 0}, kPalette16, 1}, {R, R, 0, 0}},  // no end mark
    {{4, 1, 8, {2, 1, 1, 2}, kPalette16, 1}, {R, R, G, 0}},  // the last code ends the file
    {{4, 1, 8, {0, 3, 1, 2, 1}, kPalette16, 1}, {R, G, R, 0}},  // so do the last absolute run's pixels
    {{4, 1, 8, {}, kPalette16, 1, {}, false}, {0, 0, 0, 0}},  // no codes at all after the table
    {{6, 1, 4, {3, 0x12, 0, 3, 0x21, 0x00, 0, 1}, kPalette16, 2}, {R, G, R, G, R, D}},
};

// Every prefix of each file is refused with one message or decoded, never read beyond its end.
TEST_F(DibTest, EveryHeaderAndEncodingConvertsToRgbBottomRowFirst) {
  for (const auto& [s, expected] : kEncodings) {
    const Bytes whole = makeBmp(s);
    EXPECT_EQ(decode(whole), expected) << s.bitCount << " " << s.compression;
    for (auto end = whole.begin(); end != whole.end(); ++end) {
      messages.clear();
      EXPECT_TRUE(!decode(Bytes(whole.begin(), end)).empty() || messages.size() == 1) << end - whole.begin();
    }
  }
  // An RLE file that only says "end of bitmap" claims the whole picture in a few bytes: 4096 x
  // 5461 is 4 KiB under the 64 MiB cap, one more row is over; callers may lower the cap.
  const Bytes small = makeBmp({4, 3, 8, {0, 1}, kPalette16, 1}), largest = makeBmp({4096, 5461, 8, {0, 1}, kPalette16, 1});
  messages.clear();
  const auto image = decodeDib(largest.data(), largest.size());
  EXPECT_TRUE(image && image->width == 4096 && image->height == 5461 && decodeDib(small.data(), small.size(), 36));
  EXPECT_FALSE(decodeDib(small.data(), small.size(), 35));
  EXPECT_EQ(messages, std::vector<std::string>{"Image file conversion error."});
}

TEST_F(DibTest, BadFilesAreRefusedWithExactlyOneMessage) {
  const std::string unknown = "Unknown DIB file format.", conversion = "Image file conversion error.";
  const std::pair<void (*)(BmpParts&), std::string> edits[] = {
      {[](BmpParts& s) { s.headerSize = 108; }, unknown},
      {[](BmpParts& s) { s.width = s.height = 0x7FFFFFFF; }, conversion},
      {[](BmpParts& s) { s.height = INT32_MIN; }, conversion},
      {[](BmpParts& s) { s.height = 3; }, conversion},  // a row short
      {[](BmpParts& s) { s.width = -3; }, conversion},
      {[](BmpParts& s) { s.width = 0; }, conversion},
      {[](BmpParts& s) { s.height = 0; }, conversion},
      {[](BmpParts& s) { s.clrUsed = 0x40000000; }, conversion},
      {[](BmpParts& s) { s.bitCount = 7; }, conversion},
      {[](BmpParts& s) { s.compression = 2; }, conversion},  // RLE4 at 8 bits
      {[](BmpParts& s) { s.width = 4096, s.height = 5462, s.compression = 1, s.pixels = {0, 1}; }, conversion},
  };
  for (const auto& [edit, message] : edits) {
    BmpParts s = eightBit();
    edit(s);
    EXPECT_TRUE(refusedWith(makeBmp(s), message)) << message << " " << s.width << "x" << s.height;
  }
  // Cut inside the header, a file is no DIB; cut right after it, its colour table is missing.
  const Bytes file = makeBmp(eightBit());
  EXPECT_TRUE(refusedWith(Bytes(file.begin(), file.begin() + 53), unknown));
  EXPECT_TRUE(refusedWith(Bytes(file.begin(), file.begin() + 54), conversion));
  for (uint32_t compression : {0, 1}) {
    Bytes far = makeBmp({4, 1, 8, {0, 1, 0, 0}, kPalette16, compression});
    far[11] = 0x10;  // the pixels said to start 4 KB further on
    EXPECT_TRUE(refusedWith(far, conversion)) << compression;
  }
}

// A missing or corrupt picture ends the program with status 1 and one line, before any GL call.
// Otherwise whatever the decoder takes it gives back, also when it gives up half way. A header
// claiming 10000 x 10000 pixels (300 MB) is refused before any is decoded; a file cut short before
// its end marker, or with junk before it, is patched over unless warnings count as failures.
TEST(JpegTest, LoadingEndsOnBadPicturesFreesWhatItTakesAndRefusesWhatItCannotHold) {
  TempDir dir;  // forked children exit without cleaning up; the parent removes it
  TextureTable table;
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("missing.jpg").c_str(), 5), testing::ExitedWithCode(1),
              "^[^\n]*/missing\\.jpg: cannot be opened: No such file or directory\n$");
  writeFile(dir.file("corrupt.jpg"), {0xFF, 0xD8, 0xFF, 0xDB, 0, 0});
  EXPECT_EXIT(uploadJpegTexture(table, dir.file("corrupt.jpg").c_str(), 5), testing::ExitedWithCode(1), "^Bogus marker length\n$");
  writeJpeg(dir.file("good.jpg"), 16, 8, 3, JCS_RGB, [](int, int, int) { return 100; });
  JpegLoadResult result;
  // A spare row: gluBuild2DMipmaps reads a little past the last one when it scales some sizes.
  EXPECT_GE(loadJpegImage(dir.file("good.jpg").c_str(), result)->pixels.capacity(), size_t{48} * 9);
  const size_t inUse = mallinfo2().uordblks;
  for (const char* name : {"corrupt.jpg", "good.jpg"}) EXPECT_EQ(loadJpegImage(dir.file(name).c_str(), result) != nullptr, name[0] == 'g');
  EXPECT_EQ(mallinfo2().uordblks, inUse);
  EXPECT_TRUE(result.status == JpegStatus::Loaded && result.message.empty()) << result.message;

  std::ifstream in(dir.file("good.jpg"), std::ios::binary);
  const Bytes good{std::istreambuf_iterator<char>(in), {}};
  Bytes huge = good, junk = good;
  for (size_t at : {163, 165}) huge[at] = 0x27, huge[at + 1] = 0x10;  // height and width in the frame header at 158
  writeFile(dir.file("huge.jpg"), huge);
  EXPECT_FALSE(loadJpegImage(dir.file("huge.jpg").c_str(), result));
  EXPECT_NE(result.message.find("10000 x 10000 pixels is too large"), std::string::npos) << result.message;
  junk.insert(junk.end() - 2, 100, 0);  // before the end marker
  for (const Bytes& bytes : {Bytes(good.begin(), good.end() - 2), junk}) {
    writeFile(dir.file("damaged.jpg"), bytes);
    EXPECT_TRUE(loadJpegImage(dir.file("damaged.jpg").c_str(), result));
    EXPECT_FALSE(loadJpegImage(dir.file("damaged.jpg").c_str(), result, true));
    EXPECT_EQ(result.status, JpegStatus::Corrupt);
  }
}

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

// Each malformed file ends with what was read, and one line on the diagnostics stream. Unknown
// chunks are skipped whole, and the last object wins. The first file shows the trace of every
// chunk and value.
TEST(Load3dsTest, TraceSpellsEveryValueAndMalformedFilesAreClippedOrEndTheWalk) {
  std::vector<V3> many(8003, V3{1, 2, 3});
  std::vector<Face> manyFaces(8001, Face{0, 1, 2});
  manyFaces[7999] = {7999, 0, 1};
  const Bytes good = vertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
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
      {vertexList({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, -12), 2, 0, "vertex list ends at byte 32 after 2 of 3 entries"},
      {chunk(0x4110, {{3, 0}}), 0, 0, "vertex list ends at byte 8 after 0 of 3 entries"},
      {chunk(0x4120, {{5}}), 0, 0, "face list count cut short at byte 6"},
      {chunk(0x4140, {{5}}), 0, 0, "mapping list count cut short at byte 6"},
      {mappingList(std::vector<UV>(8001)), 0, 0, "mapping list of 8001 entries at byte 6 clipped to 8000"},
      {chunk(0x4D4D, {good}, 5), 0, 0, "runs past the end of the file"},
      {chunk(0x4D4D, {good, {0x10, 0x41, 0x20}}), 3, 0, "chunk header cut short at byte 50"},
  };
  std::vector<Loaded> loaded;
  for (const Case& c : cases) {
    const Loaded& l = loaded.emplace_back(load(c.file));
    EXPECT_EQ(std::tuple(l.mesh->vertexCount, l.mesh->faceCount, l.mesh->name[19]), std::tuple(c.vertices, c.faces, '\0')) << c.message;
    EXPECT_TRUE(l.diagnostics.find(c.message) != std::string::npos && count(l.diagnostics, "\n") == c.lines) << l.diagnostics;
  }
  EXPECT_EQ(loaded[0].trace,
            "ChunkID: 4d4d\nChunkLenght: 4f\nChunkID: 3d3d\nChunkLenght: 49\nChunkID: 4000\nChunkLenght: 43\nChunkID: 4100\nChunkLenght: 3a\n"
            "ChunkID: 4110\nChunkLenght: 14\nNumber of vertices: 1\nVertices list x: 1.500000\nVertices list y: -2.000000\n"
            "Vertices list z: 0.000000\nChunkID: 4140\nChunkLenght: 10\nMapping list u: 0.250000\nMapping list v: 1.000000\n"
            "ChunkID: 4120\nChunkLenght: 10\nNumber of polygons: 1\nPolygon point a: 0\nPolygon point b: 0\nPolygon point c: 0\nFace flags: 7\n");
  EXPECT_TRUE(std::string(loaded[1].mesh->name) == "Two" && loaded[1].mesh->faces[0][0] == 2);
  EXPECT_EQ(std::string(loaded[6].mesh->name), std::string(19, 'n'));
  // Entries past the capacity are skipped, not read; not one of the 56,014 lines, far past the
  // writer's 64 KB buffer, is lost.
  const std::string& big = loaded[2].trace;
  EXPECT_TRUE(count(big, "\n") == 56014 && count(big, "Vertices list y: 2.000000\n") == 8000);
  EXPECT_TRUE(count(big, "Polygon point a") == 8000 && count(loaded[14].trace, "Mapping list u") == 8000);

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
// Normals: the first face is counter-clockwise seen from +z, normal (0, 0, 1), with edges of every
// direction in the plane so that each term of the cross product counts. The second shares the edge
// 0-2 with normal (0.71, -0.71, 0); both meet 0-2 at 45 degrees, so each face normal must be made
// unit length before it counts. Vertex 4 is unused; the third face repeats a corner,
// counting with a zero normal. The means are not renormalised.
TEST(MeshTableTest, LoadsByModelIdInOrderWithNormalsRepeatsExactlyAndReportsFilesThatCannotBeRead) {
  const char* const files[] = {"tolppa", "midi-korkea", "mini", "midi-matala", "Iso", "kapseli"};
  TempDir dir;
  for (int id = 0; id < 6; ++id) {
    std::vector<V3> vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, -1}, {5, 5, 5}, {2, 2, 2}};
    vertices.resize(size_t(id) + 6, V3{1, 1, 1});
    writeFile(dir.file("data/" + std::string(files[id]) + ".3DS"),
              model("M" + std::to_string(id), {vertexList(vertices), faceList({{2, 0, 1}, {0, 3, 2}, {5, 5, 1}})}));
  }
  MeshTable table;
  const MeshTable& fixed = table;
  for (int id : {-1, 6}) EXPECT_TRUE(table.byModelId(id) == nullptr && fixed.byModelId(id) == nullptr);
  auto held = [&] {
    std::ifstream maps("/proc/self/maps");
    const std::string text{std::istreambuf_iterator<char>(maps), {}};
    return std::pair(text.find(dir.path) != std::string::npos, std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
  };
  FILE* trace = std::tmpfile();
  const auto before = held();
  const std::filesystem::path home = std::filesystem::current_path();
  std::filesystem::current_path(dir.path);
  ::close(0);  // standard input, afterwards reopened on /dev/null
  loadMeshes(table, trace);
  const bool left = std::filesystem::exists("/proc/self/fd/0");
  std::freopen("/dev/null", "r", stdin);
  EXPECT_TRUE(held() == before && !left);
  const std::string traced = text(trace);
  std::string order;
  for (size_t at = 0; (at = traced.find("vertices: ", at)) != std::string::npos; at += 10)
    order += std::to_string(std::atoi(&traced[at + 10])) + " ";
  EXPECT_EQ(order, "10 7 9 8 6 11 ");
  const float h = 0.3535534f, d = 0.7071068f;
  const Vec3 normals[] = {{h, -h, 0.5f}, {0, 0, 0.5f}, {h, -h, 0.5f}, {d, -d, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int id = 0; id < 6; ++id) {
    EXPECT_STREQ(fixed.byModelId(id)->name, ("M" + std::to_string(id)).c_str());
    for (int i = 0; i < 6; ++i) expectVec(table.byModelId(id)->normals[i], normals[i]);
  }

  auto once = std::make_unique<Mesh>(*table.byModelId(4));
  for (const char* gone : {"mini", "tolppa", "midi-korkea"}) std::filesystem::remove("data/" + std::string(gone) + ".3DS");
  ASSERT_EQ(::mkfifo("data/tolppa.3DS", 0644), 0);  // must not wait for a writer
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
    EXPECT_EQ(std::pair(table.meshes[id].vertexCount, table.meshes[id].faceCount), id < 2 ? std::pair(0, 0) : std::pair(id + 6, 3));
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
