// The 3DS reader over real files: mapped, never read into memory, so the file's size cannot
// exhaust memory; a path that opens but cannot be mapped gives one line and an empty mesh.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "assets/mesh.h"
#include "tests/assets/fixtures.h"

namespace korvalin {
namespace {

using namespace test;

const std::vector<V3> kTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

std::unique_ptr<Mesh> triangleMesh() {
  auto mesh = std::make_unique<Mesh>();
  load3dsFromMemory(*mesh, nullptr, 0, nullptr, "none", nullptr);
  const Bytes file = model("Tri", {vertexList(kTriangle), faceList({{0, 1, 2}})});
  load3dsFromMemory(*mesh, file.data(), file.size(), nullptr, "tri", nullptr);
  return mesh;
}

TEST(Load3dsFileTest, PathsThatCannotBeMappedGiveOneLineAndAnEmptyMesh) {
  TempDir dir;
  std::unique_ptr<Mesh> mesh = triangleMesh();
  ASSERT_EQ(mesh->faceCount, 1);
  EXPECT_FALSE(load3ds(*mesh, dir.file("missing.3DS").c_str(), nullptr));
  EXPECT_EQ(mesh->faceCount, 1) << "a missing file leaves the mesh as it was";

  ASSERT_EQ(::mkfifo(dir.file("fifo.3DS").c_str(), 0644), 0);  // must not wait for a writer
  for (const std::string& path : {dir.path, dir.file("fifo.3DS")}) {
    mesh = triangleMesh();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load3ds(*mesh, path.c_str(), nullptr));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              path + ": cannot be read (not a regular file); the model stays empty\n");
    EXPECT_EQ(mesh->vertexCount, 0);
    EXPECT_EQ(mesh->faceCount, 0);
  }

  writeFile(dir.file("empty.3DS"), {});
  mesh = triangleMesh();
  testing::internal::CaptureStderr();
  EXPECT_TRUE(load3ds(*mesh, dir.file("empty.3DS").c_str(), nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "an empty file holds no lists";
  EXPECT_EQ(mesh->faceCount, 1);
}

// A model followed by a 64 GiB hole, loaded with far less memory allowed than the file's size.
#if !defined(__SANITIZE_ADDRESS__)
// Loads `path` in a process allowed 256 MiB of data; the number of faces read.
int facesLoadedWithLittleMemory(const std::string& path) {
  rlimit limit;
  limit.rlim_cur = limit.rlim_max = 256u << 20;
  ::setrlimit(RLIMIT_DATA, &limit);
  auto mesh = std::make_unique<Mesh>();
  load3ds(*mesh, path.c_str(), nullptr);
  return mesh->faceCount;
}
#endif

TEST(Load3dsFileTest, NoFileSizeExhaustsMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's own memory does not fit under the limit";
#else
  TempDir dir;
  const std::string path = dir.file("huge.3DS");
  writeFile(path, model("Tri", {vertexList(kTriangle), faceList({{0, 1, 2}})}));
  if (::truncate(path.c_str(), off_t{64} << 30) != 0) GTEST_SKIP() << "no sparse 64 GiB file here";
  EXPECT_EXIT(std::exit(facesLoadedWithLittleMemory(path)), testing::ExitedWithCode(1), "");
#endif
}

}  // namespace
}  // namespace korvalin
