// Shared set-up for the renderer's drawing tests: a 640 x 480 offscreen context in the state
// the shell leaves before each demo frame, textures made on the spot, and GL state snapshots.
#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "tests/common/gl_test_context.h"
#include "timeline/timeline.h"

namespace korvalin::test {

struct Rgb {
  int r;
  int g;
  int b;
};

// Everything the frame composition promises about the state between effects.
struct GlState {
  GLint matrixMode = 0;
  std::array<GLfloat, 16> modelview{};
  std::array<GLfloat, 16> projection{};
  std::array<GLfloat, 16> textureMatrix{};
  std::array<GLint, 4> viewport{};
  std::array<GLfloat, 4> colour{};
  bool depthTest = false;
  bool texture2D = false;
  bool blend = false;
  bool texGenS = false;
  bool texGenT = false;
  bool lighting = false;
  bool clientArrays = false;
  GLint blendSrc = 0;
  GLint blendDst = 0;
  GLint boundTexture = 0;
  GLenum error = GL_NO_ERROR;
};

GlState captureState();

// The part of the state that no effect may leave changed.
void expectCleanFrameState(const GlState& s);

class RenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void SetUp() override;
  void TearDown() override;

  // The window's default projection and a cleared picture, as the shell leaves them.
  void resetToShellState(float clearR = 0.0f, float clearG = 0.0f, float clearB = 0.0f);
  // What a demo frame sets up before its first clip, for calling an effect on its own.
  void beginFrameState();

  // Fills `slot` with a w x h RGBA texture (rows bottom first), nearest filtering.
  GLuint makeTexture(int slot, int w, int h, const std::vector<uint8_t>& rgba);
  GLuint solidTexture(int slot, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);

  // The whole 640 x 480 picture; also written as <name>.png for a person to look at.
  std::vector<uint8_t> frame(const std::string& name);
  static Rgb at(const std::vector<uint8_t>& frame, int x, int y);
  // Pixels whose colour is within `tolerance` of `c` in every channel.
  static int count(const std::vector<uint8_t>& frame, Rgb c, int tolerance = 2);
  // Keeps the picture on disk when the test failed.
  void keepOnFailure(const std::string& name);

  int addClip(int layer, float start, float length, int32_t type, std::vector<float> values);

  static GlTestContext* gl_;
  Timeline timeline_;
  TextureTable textures_;
  MeshTable meshes_;
};

#define EXPECT_RGB_NEAR(actual, er, eg, eb, tol) \
  do {                                           \
    const ::korvalin::test::Rgb a_ = (actual);   \
    EXPECT_NEAR(a_.r, (er), (tol));              \
    EXPECT_NEAR(a_.g, (eg), (tol));              \
    EXPECT_NEAR(a_.b, (eb), (tol));              \
  } while (0)

}  // namespace korvalin::test
