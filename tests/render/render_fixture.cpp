#include "tests/render/render_fixture.h"

#include <GL/glu.h>

#include <cstdlib>

namespace korvalin::test {

GlTestContext* RenderTest::gl_ = nullptr;

namespace {

// The demo clears to alpha 0.5; an opaque copy is what a person expects to see.
void writeOpaquePng(const std::string& path, std::vector<uint8_t> pixels) {
  for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
  writePng(path, 640, 480, pixels);
}

}  // namespace

GlState captureState() {
  GlState s;
  glGetIntegerv(GL_MATRIX_MODE, &s.matrixMode);
  glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview.data());
  glGetFloatv(GL_PROJECTION_MATRIX, s.projection.data());
  glGetFloatv(GL_TEXTURE_MATRIX, s.textureMatrix.data());
  glGetIntegerv(GL_VIEWPORT, s.viewport.data());
  glGetFloatv(GL_CURRENT_COLOR, s.colour.data());
  s.depthTest = glIsEnabled(GL_DEPTH_TEST);
  s.texture2D = glIsEnabled(GL_TEXTURE_2D);
  s.blend = glIsEnabled(GL_BLEND);
  s.texGenS = glIsEnabled(GL_TEXTURE_GEN_S);
  s.texGenT = glIsEnabled(GL_TEXTURE_GEN_T);
  s.lighting = glIsEnabled(GL_LIGHTING);
  s.clientArrays = glIsEnabled(GL_VERTEX_ARRAY) || glIsEnabled(GL_NORMAL_ARRAY) || glIsEnabled(GL_TEXTURE_COORD_ARRAY);
  glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
  glGetIntegerv(GL_BLEND_DST, &s.blendDst);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.boundTexture);
  s.error = glGetError();
  return s;
}

void expectCleanFrameState(const GlState& s) {
  EXPECT_EQ(s.matrixMode, GL_MODELVIEW);
  EXPECT_TRUE(s.depthTest);
  EXPECT_FALSE(s.texture2D);
  EXPECT_FALSE(s.blend);
  EXPECT_FALSE(s.texGenS);
  EXPECT_FALSE(s.texGenT);
  EXPECT_FALSE(s.lighting);
  EXPECT_FALSE(s.clientArrays);
  EXPECT_EQ(s.error, static_cast<GLenum>(GL_NO_ERROR));
}

void RenderTest::SetUpTestSuite() {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  gl_ = new GlTestContext(640, 480);
}

void RenderTest::TearDownTestSuite() {
  delete gl_;
  gl_ = nullptr;
}

void RenderTest::SetUp() {
  ASSERT_TRUE(gl_->ok()) << gl_->error();
  while (glGetError() != GL_NO_ERROR) {
  }
  resetToShellState();
}

void RenderTest::TearDown() {
  for (GLuint& name : textures_.names) {
    if (name != 0) glDeleteTextures(1, &name);
    name = 0;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glBlendFunc(GL_ONE, GL_ZERO);
}

void RenderTest::resetToShellState(float clearR, float clearG, float clearB) {
  glViewport(0, 0, 640, 480);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 640.0 / 480.0, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_BLEND);
  glShadeModel(GL_SMOOTH);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glClearColor(clearR, clearG, clearB, 0.5f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void RenderTest::beginFrameState() {
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(0, 0, 640, 480);
  glTranslatef(0.0f, 0.0f, -2.0f);
  glColor3f(1.0f, 1.0f, 1.0f);
}

GLuint RenderTest::makeTexture(int slot, int w, int h, const std::vector<uint8_t>& rgba) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glBindTexture(GL_TEXTURE_2D, 0);
  if (textures_.names[slot] != 0) glDeleteTextures(1, &textures_.names[slot]);
  textures_.names[slot] = name;
  return name;
}

GLuint RenderTest::solidTexture(int slot, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  std::vector<uint8_t> rgba;
  for (int i = 0; i < 4; ++i) rgba.insert(rgba.end(), {r, g, b, a});
  return makeTexture(slot, 2, 2, rgba);
}

std::vector<uint8_t> RenderTest::frame(const std::string& name) {
  glFinish();
  std::vector<uint8_t> pixels = gl_->readPixels(0, 0, 640, 480);
  writeOpaquePng(artifactDir() + "/render_" + name + ".png", pixels);
  return pixels;
}

Rgb RenderTest::at(const std::vector<uint8_t>& frame, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * 640 + x) * 4;
  return Rgb{frame[i], frame[i + 1], frame[i + 2]};
}

int RenderTest::count(const std::vector<uint8_t>& frame, Rgb c, int tolerance) {
  int n = 0;
  for (size_t i = 0; i + 3 < frame.size(); i += 4) {
    if (std::abs(frame[i] - c.r) <= tolerance && std::abs(frame[i + 1] - c.g) <= tolerance &&
        std::abs(frame[i + 2] - c.b) <= tolerance) {
      ++n;
    }
  }
  return n;
}

void RenderTest::keepOnFailure(const std::string& name) {
  if (HasFailure()) writeOpaquePng(artifactDir() + "/render_FAILED_" + name + ".png", gl_->readPixels(0, 0, 640, 480));
}

int RenderTest::addClip(int layer, float start, float length, int32_t type, std::vector<float> values) {
  EXPECT_TRUE(timeline_.addClip(layer, start, length, type));
  ParameterBlock& block = *timeline_.layerClipParams[layer].back();
  for (size_t i = 0; i < values.size(); ++i) block[static_cast<int>(i)] = values[i];
  return timeline_.clipCount(layer) - 1;
}

}  // namespace korvalin::test
