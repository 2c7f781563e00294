#include <GL/gl.h>

#include <cmath>
#include <limits>

#include "render/effects.h"
#include "tests/render/render_fixture.h"
#include "tests/render/sphere_mesh.h"

namespace korvalin::test {
namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

ParameterBlock modelBlock(float x, float y, float z, float speed, float distance, float rotateSpeed, float offset,
                          float modelId) {
  ParameterBlock p;
  const float values[] = {x, y, z, speed, distance, rotateSpeed, offset, modelId};
  for (int i = 0; i < 8; ++i) p[i] = values[i];
  p.paramCount = 8;
  return p;
}

// Pixels drawn at all (anything but the black background).
std::vector<bool> silhouette(const std::vector<uint8_t>& frame) {
  std::vector<bool> mask(frame.size() / 4);
  for (size_t i = 0; i < mask.size(); ++i) mask[i] = frame[i * 4] != 0 || frame[i * 4 + 1] != 0 || frame[i * 4 + 2] != 0;
  return mask;
}

int drawnCount(const std::vector<uint8_t>& frame) {
  int n = 0;
  for (bool b : silhouette(frame)) n += b;
  return n;
}

class ModelTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    std::vector<uint8_t> checker;
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 16; ++x) {
        const uint8_t v = static_cast<uint8_t>(40 + 12 * ((x * 3 + y * 5) % 16));
        checker.insert(checker.end(), {v, static_cast<uint8_t>(255 - v), static_cast<uint8_t>(v / 2 + 60), 255});
      }
    }
    makeTexture(kMetalSlot, 16, 16, checker);
    beginFrameState();
  }

  std::vector<uint8_t> drawAlone(const ParameterBlock& p, float t, MeshPath path, const std::string& name) {
    resetToShellState();
    beginFrameState();
    drawModel3D(p, t, textures_, meshes_, path);
    expectCleanFrameState(captureState());
    return frame(name);
  }
};

TEST_F(ModelTest, VertexArraysGiveTheSamePixelsAsPerCornerCalls) {
  makeSphere(meshes_.meshes[0], 0.7f, 80, 50);
  ASSERT_EQ(meshes_.meshes[0].faceCount, 8000);
  const ParameterBlock p = modelBlock(0.2f, 0.1f, 0.0f, 1.0f, 0.3f, 0.5f, 10.0f, 0.0f);
  for (float t : {0.0f, 1.7f, 93.25f}) {
    const std::vector<uint8_t> perCorner = drawAlone(p, t, MeshPath::kPerCorner, "mesh_per_corner");
    const std::vector<uint8_t> arrays = drawAlone(p, t, MeshPath::kVertexArrays, "mesh_vertex_arrays");
    EXPECT_GT(drawnCount(perCorner), 15000) << t;
    EXPECT_TRUE(perCorner == arrays) << "t = " << t;
  }
}

TEST_F(ModelTest, FacesNamingMissingVerticesAreSkippedOnBothPaths) {
  Mesh& mesh = meshes_.meshes[1];
  makeSphere(mesh, 0.6f, 20, 10);
  const ParameterBlock p = modelBlock(0, 0, 0, 0, 0, 0, 0, 1);
  const std::vector<uint8_t> whole = drawAlone(p, 1.0f, MeshPath::kPerCorner, "mesh_whole");

  mesh.faces[3][1] = -1;
  mesh.faces[50][0] = mesh.vertexCount;
  mesh.faces[51][2] = kMeshCapacity + 5;
  mesh.faces[52][1] = std::numeric_limits<int32_t>::min();
  const std::vector<uint8_t> perCorner = drawAlone(p, 1.0f, MeshPath::kPerCorner, "mesh_corrupt_per_corner");
  const std::vector<uint8_t> arrays = drawAlone(p, 1.0f, MeshPath::kVertexArrays, "mesh_corrupt_vertex_arrays");
  EXPECT_TRUE(perCorner == arrays);
  EXPECT_GT(drawnCount(perCorner), drawnCount(whole) / 2);
  EXPECT_FALSE(perCorner == whole);

  // Counts beyond the record's capacity or below zero never read past it.
  mesh.faceCount = std::numeric_limits<int32_t>::max();
  drawAlone(p, 1.0f, MeshPath::kPerCorner, "mesh_huge_count");
  drawAlone(p, 1.0f, MeshPath::kVertexArrays, "mesh_huge_count");
  mesh.vertexCount = -4;
  EXPECT_EQ(drawnCount(drawAlone(p, 1.0f, MeshPath::kVertexArrays, "mesh_no_vertices")), 0);
  EXPECT_EQ(drawnCount(drawAlone(p, 1.0f, MeshPath::kPerCorner, "mesh_no_vertices")), 0);
}

TEST_F(ModelTest, UnknownModelIdDrawsNothingAndRestoresTexturingAndTheTextureMatrix) {
  makeSphere(meshes_.meshes[5], 0.6f, 20, 10);
  glMatrixMode(GL_TEXTURE);
  glTranslatef(0.25f, 0.0f, 0.0f);
  glMatrixMode(GL_MODELVIEW);
  for (float id : {6.0f, -1.0f, kNaN, 1e10f, -1e10f}) {
    const GlState before = captureState();
    drawModel3D(modelBlock(0, 0, 0, 1, 1, 1, 0, id), 2.0f, textures_, meshes_);
    const GlState after = captureState();
    EXPECT_EQ(after.textureMatrix, before.textureMatrix) << id;
    EXPECT_EQ(after.modelview, before.modelview) << id;
    EXPECT_EQ(after.boundTexture, static_cast<GLint>(textures_.names[kMetalSlot])) << id;
    expectCleanFrameState(after);
  }
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  EXPECT_EQ(drawnCount(frame("model_unknown_id")), 0);
}

TEST_F(ModelTest, StillModelKeepsItsPlaceWhileItsSurfaceDrifts) {
  makeSphere(meshes_.meshes[2], 0.4f, 40, 20);
  const ParameterBlock p = modelBlock(0.5f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f, 0.0f, 2.0f);
  const std::vector<uint8_t> early = drawAlone(p, 1.0f, MeshPath::kVertexArrays, "model_still_t1");
  const std::vector<uint8_t> late = drawAlone(p, 3.0f, MeshPath::kVertexArrays, "model_still_t3");
  EXPECT_TRUE(silhouette(early) == silhouette(late));
  EXPECT_FALSE(early == late);
  // Centred at (0.5, 0) two units away: 60 pixels right of the centre.
  EXPECT_NE(at(early, 380, 240).r + at(early, 380, 240).g, 0);
  EXPECT_EQ(at(early, 260, 240).r + at(early, 260, 240).g, 0);
}

TEST_F(ModelTest, RotationBeforeTranslationCirclesTheZAxis) {
  makeSphere(meshes_.meshes[3], 0.2f, 30, 15);
  // 3 x 30 degrees a second for one second, or an offset of 90: either way a quarter turn.
  for (const ParameterBlock& p : {modelBlock(0.5f, 0, 0, 0, 0, 3.0f, 0, 3), modelBlock(0.5f, 0, 0, 0, 0, 0, 90.0f, 3)}) {
    const std::vector<uint8_t> pixels = drawAlone(p, 1.0f, MeshPath::kVertexArrays, "model_quarter_turn");
    EXPECT_NE(at(pixels, 320, 300).r + at(pixels, 320, 300).g, 0);
    EXPECT_EQ(at(pixels, 380, 240).r + at(pixels, 380, 240).g, 0);
  }
}

}  // namespace
}  // namespace korvalin::test
