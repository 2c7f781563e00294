// Drawing tests on a hidden 640 x 480 llvmpipe context: pixels read back, and the GL state
// each effect leaves for the clips after it.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "render/demo_renderer.h"
#include "render/effects.h"
#include "tests/common/gl_test_context.h"
#include "tests/render/sphere_mesh.h"

namespace korvalin::test {
namespace {

using Frame = std::vector<uint8_t>;
using Viewport = std::array<GLint, 4>;
struct Rgb {
  int r, g, b;
};
constexpr int kAll = 640 * 480;
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255};
const Viewport kFullViewport{0, 0, 640, 480};
const std::array<GLfloat, 4> kHalfAlpha{1.0f, 1.0f, 1.0f, 0.5f};

struct GlState {
  std::array<GLfloat, 16> modelview, projection, textureMatrix;
  Viewport viewport;
  std::array<GLfloat, 4> colour;
  GLint blendSrc, blendDst;
};

// The state between clips; also expects what no effect may leave changed.
GlState state() {
  GlState s;
  glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview.data());
  glGetFloatv(GL_PROJECTION_MATRIX, s.projection.data());
  glGetFloatv(GL_TEXTURE_MATRIX, s.textureMatrix.data());
  glGetIntegerv(GL_VIEWPORT, s.viewport.data());
  glGetFloatv(GL_CURRENT_COLOR, s.colour.data());
  glGetIntegerv(GL_BLEND_SRC, &s.blendSrc);
  glGetIntegerv(GL_BLEND_DST, &s.blendDst);
  GLint mode = 0;
  glGetIntegerv(GL_MATRIX_MODE, &mode);
  EXPECT_EQ(mode, GL_MODELVIEW);
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  for (GLenum cap : {GL_TEXTURE_2D, GL_BLEND, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_LIGHTING, GL_VERTEX_ARRAY,
                     GL_NORMAL_ARRAY, GL_TEXTURE_COORD_ARRAY}) {
    EXPECT_FALSE(glIsEnabled(cap)) << "capability 0x" << std::hex << cap;
  }
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
  return s;
}

ParameterBlock block(std::initializer_list<float> values) {
  ParameterBlock p;
  for (float v : values) p[p.paramCount++] = v;
  return p;
}

// Target, eye, the six "Position sin" values, field of view.
ParameterBlock camera(Vec3 target, Vec3 eye, float fov) {
  return block({target.x, target.y, target.z, eye.x, eye.y, eye.z, 0, 0, 0, 0, 0, 0, fov});
}

int red(const Frame& f, int x, int y) { return f[(static_cast<size_t>(y) * 640 + x) * 4]; }

int count(const Frame& f, Rgb c, int tolerance = 0) {
  int n = 0;
  for (size_t i = 0; i < f.size(); i += 4) {
    n += std::max({std::abs(f[i] - c.r), std::abs(f[i + 1] - c.g), std::abs(f[i + 2] - c.b)}) <= tolerance;
  }
  return n;
}

int drawn(const Frame& f) { return kAll - count(f, kBlack); }

class RenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); gl_ = new GlTestContext(640, 480); }
  static void TearDownTestSuite() { delete gl_; }
  void SetUp() override {
    ASSERT_TRUE(gl_->ok()) << gl_->error();
    while (glGetError() != GL_NO_ERROR) continue;
    reset();
  }
  void TearDown() override {
    if (HasFailure()) frame(std::string("FAILED_") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    glDeleteTextures(kTextureSlotCount, textures_.names);  // unused zeros are ignored
  }

  // The shell's projection and a cleared picture, then what a frame sets up before its first clip.
  void reset(Rgb clear = kBlack) {
    glViewport(0, 0, 640, 480);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 640.0 / 480.0, 0.1, 2000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -2.0f);
    glEnable(GL_DEPTH_TEST);
    glBlendFunc(GL_ONE, GL_ZERO);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glClearColor(clear.r / 255.0f, clear.g / 255.0f, clear.b / 255.0f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }

  // A square RGBA texture in `slot`, nearest filtering.
  void texture(int slot, const std::vector<uint8_t>& rgba) {
    const int side = static_cast<int>(std::lround(std::sqrt(rgba.size() / 4.0)));
    if (textures_.names[slot] == 0) glGenTextures(1, &textures_.names[slot]);
    glBindTexture(GL_TEXTURE_2D, textures_.names[slot]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
  }
  void solid(int slot, Rgb c) { texture(slot, {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b), 255}); }
  GLint width(int slot) {
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, textures_.names[slot]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    return w;
  }
  // A sphere for Model ID `id` and a busy metal texture, so that wrong normals or texture coordinates show.
  Mesh& sphere(int id, float radius, int slices, int stacks) {
    std::vector<uint8_t> noise(16 * 16 * 4);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 37 % 251);
    texture(kMetalSlot, noise);
    makeSphere(meshes_.meshes[id], radius, slices, stacks);
    return meshes_.meshes[id];
  }

  // The whole picture; named ones are kept as PNGs for a person to look at.
  Frame frame(const std::string& name = "") {
    glFinish();
    Frame pixels = gl_->readPixels(0, 0, 640, 480), opaque = pixels;
    for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;  // the demo's alpha means nothing to a viewer
    if (!name.empty()) writePng(artifactDir() + "/render_" + name + ".png", 640, 480, opaque);
    return pixels;
  }

  void addClip(int layer, float start, float length, int32_t type, const ParameterBlock& values) {
    ASSERT_TRUE(timeline_.addClip(layer, start, length, type));
    *timeline_.layerClipParams[layer].back() = values;
  }
  Frame render(float t, const std::string& name = "") {
    reset();
    DemoRenderer(timeline_, textures_, meshes_).renderDemoFrame(t);
    return frame(name);
  }
  Frame model(const ParameterBlock& p, float t, MeshPath path) {
    reset();
    drawModel3D(p, t, textures_, meshes_, path);
    state();
    return frame();
  }

  static GlTestContext* gl_;
  Timeline timeline_;
  TextureTable textures_;
  MeshTable meshes_;
};

GlTestContext* RenderTest::gl_ = nullptr;

// --- Frame composition ---

// Layers 2-4 play before 0.9 s, layers 0-1 after 1 s.
TEST_F(RenderTest, ClipsDrawStrictlyInsideTheirSpansLayerByLayerInSequenceOrder) {
  solid(5, {255, 0, 0});
  solid(6, {0, 255, 0});
  EXPECT_EQ(count(render(0.5f, "empty"), kBlack), kAll);
  addClip(3, 0.1f, 0.7f, kLayer2D, block({5, 1, 0}));
  addClip(2, 0.2f, 0.6f, kLayer2D, block({6, 1, 0}));
  addClip(4, 0.85f, 0.1f, kLayer2D, block({5, 1, 0}));
  addClip(4, 0.82f, 0.15f, kLayer2D, block({6, 1, 0}));
  EXPECT_EQ(count(render(0.5f, "layer_order"), {255, 0, 0}), kAll);
  EXPECT_EQ(count(render(0.9f), {0, 255, 0}), kAll);
  addClip(0, 1.0f, 2.0f, kLayer2D, block({5, 1, 0}));
  addClip(1, 4.5f, 16777216.0f, kLayer2D, block({5, 1, 0}));  // summed in float it would end at 2^24 + 4
  for (float t : {1.0f, 3.0f}) EXPECT_EQ(count(render(t), kBlack), kAll) << t;
  for (float t : {2.0f, 16777220.0f}) EXPECT_EQ(count(render(t), {255, 0, 0}), kAll) << t;
}

// What each clip may leave changed for the clips after it. Values naming nothing (unknown types,
// models and Image IDs, Scale 0, a camera without a finite view) draw nothing and change no more.
TEST_F(RenderTest, EachEffectLeavesOnlyWhatTheFrameAllows) {
  solid(5, {200, 100, 50});
  solid(kRenderTargetSlot0, kBlack);
  sphere(0, 0.5f, 20, 10);
  sphere(5, 0.5f, 20, 10);
  struct Case {
    int32_t type;
    ParameterBlock params;
    bool view, viewport, halfAlpha, blank;
  } const cases[] = {
      {kLayer2D, block({5, 2, 3}), false, false, true, false},
      {kBox, block({10, 20, 30, 1}), false, false, false, false},
      {kCamera, camera({0, 0, 0}, {1, 2, 3}, 70), true, false, false, true},
      {kStartRenderToTex, block({8, 8}), false, true, false, true},
      {kEndRenderToTex, block({8, 7, 90}), false, true, false, true},
      {kModel3D, block({0.1f, 0, 0, 1, 0.2f, 1, 0, 0}), false, false, false, false},
      {kFlat, block({5, 2, 3, 0.5f, 0.1f, 0.1f}), false, false, true, false},
      {kLayer2D, block({100, 2, 3}), false, false, true, true},
      {kLayer2D, block({kNaN, 2, 3}), false, false, true, true},
      {kFlat, block({1e9f, 2, 3, 1, 0, 0}), false, false, true, true},
      {7, block({5, 1}), false, false, false, true},
      {-1, block({5, 1}), false, false, false, true},
      {kModel3D, block({0, 0, 0, 1, 1, 1, 0, 6}), false, false, false, true},
      {kModel3D, block({0, 0, 0, 1, 1, 1, 0, -1}), false, false, false, true},
      {kModel3D, block({0, 0, 0, 1, 1, 1, 0, kNaN}), false, false, false, true},
      {kBox, block({0, 0, 0, 0}), false, false, false, true},
      {kBox, block({kNaN, 0, 0, 1}), false, false, false, true},
      {kBox, block({0, -kInf, 0, kInf}), false, false, false, true},
      {kCamera, camera({0, 0, 0}, {kNaN, -kInf, 5}, 90), false, false, false, true},
      {kCamera, camera({0, 0, 0}, {0, 0, 5}, kNaN), false, false, false, true},
      {kCamera, camera({-3e38f, -3e38f, -3e38f}, {3e38f, 3e38f, 3e38f}, 90), false, false, false, true},
  };
  DemoRenderer renderer(timeline_, textures_, meshes_);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " " << c.params[0] << " " << c.params[7]);
    reset();
    glMatrixMode(GL_TEXTURE);
    glTranslatef(0.5f, 0.25f, 0.0f);
    glMatrixMode(GL_MODELVIEW);
    glViewport(0, 0, 320, 240);  // as a capture in progress leaves it
    const GlState before = state();
    renderer.dispatchClip(c.type, c.params, ClipTimes{0.0f, 10.0f}, 1.5f);
    const GlState after = state();
    EXPECT_EQ(after.textureMatrix, before.textureMatrix);
    EXPECT_EQ(after.modelview != before.modelview, c.view);
    EXPECT_EQ(after.projection != before.projection, c.view);
    EXPECT_EQ(after.viewport != before.viewport, c.viewport);
    EXPECT_EQ(after.colour, c.halfAlpha ? kHalfAlpha : before.colour);
    EXPECT_EQ(drawn(frame()) == 0, c.blank);
  }
}

TEST_F(RenderTest, CameraShapesOnlyTheRestOfItsFrame) {
  solid(5, kWhite);
  // Looking sideways at fov 120: the layer still faces the eye, 1 / tan 60 of each side.
  addClip(2, 0.0f, 1.0f, kCamera, camera({1, 0, 0}, {0, 0, 0}, 120));
  addClip(2, 0.0f, 10.0f, kLayer2D, block({5, 1, 0}));
  const GlState before = state();
  EXPECT_NEAR(count(render(0.5f, "camera_fov120"), kWhite), 277.1 * 369.5, 3 * (277 + 370));
  EXPECT_EQ(state().projection, before.projection);
  EXPECT_EQ(count(render(2.0f), kWhite), kAll);
}

TEST_F(RenderTest, CameraPositionSinValuesHaveNoEffect) {
  ParameterBlock cam = camera({0, 0, 0}, {1, 1.5f, 3}, 70);
  applyCamera(cam);
  const GlState plain = state();
  reset();
  for (int i = 6; i <= 11; ++i) cam[i] = 3.5f * i - 20.0f;
  applyCamera(cam);
  EXPECT_EQ(state().modelview, plain.modelview);
  EXPECT_EQ(state().projection, plain.projection);
}

// A capture left open must not shrink the caller's next drawing.
TEST_F(RenderTest, StartWithoutEndShrinksOnlyTheRestOfItsFrame) {
  solid(5, kWhite);
  addClip(0, 0.0f, 10.0f, kLayer2D, block({5, 1, 0}));
  addClip(0, 0.0f, 1.0f, kStartRenderToTex, block({8, 8}));
  addClip(1, 0.0f, 10.0f, kLayer2D, block({5, 0, 0}));  // codes 0/0 blank what they cover
  glViewport(10, 20, 300, 200);
  DemoRenderer(timeline_, textures_, meshes_).renderDemoFrame(0.5f);
  EXPECT_EQ(state().viewport, (Viewport{10, 20, 300, 200}));
  const Frame shrunk = frame("start_without_end");
  EXPECT_EQ(count(shrunk, kBlack), 256 * 256);
  EXPECT_EQ(red(shrunk, 256, 100), 255);
  EXPECT_EQ(count(render(2.0f), kBlack), kAll);
}

// --- Layer 2D and Flat ---

// Invalid codes keep the earlier function (GL would reject the call), here ONE/ONE. Negative Image
// IDs mean slot 0.
TEST_F(RenderTest, Layer2DBlendsWithItsCodesOverTheWholeRectangle) {
  struct Case {
    float id, src, dst;
    Rgb clear, texel, expected;
    GLint srcFactor, dstFactor;
  } const cases[] = {
      {0, 2, 3, {0, 0, 255}, {255, 0, 0}, {128, 0, 128}, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
      {-3, 1, 1, {64, 64, 64}, {128, 64, 0}, {192, 128, 64}, GL_ONE, GL_ONE},
      {-0.5f, 9, 0, {64, 64, 64}, {32, 32, 32}, {96, 96, 96}, GL_ONE, GL_ONE},
      {-0.5f, -1, 1, {64, 64, 64}, {32, 32, 32}, {96, 96, 96}, GL_ONE, GL_ONE},
      {-0.5f, kNaN, 0, {64, 64, 64}, {32, 32, 32}, {96, 96, 96}, GL_ONE, GL_ONE},
      {-0.5f, 0, kInf, {64, 64, 64}, {32, 32, 32}, {96, 96, 96}, GL_ONE, GL_ONE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.src << "/" << c.dst);
    reset(c.clear);
    solid(0, c.texel);
    glBlendFunc(GL_ONE, GL_ONE);
    drawLayer2D(block({c.id, c.src, c.dst}), textures_);
    const GlState s = state();
    EXPECT_EQ(s.blendSrc, c.srcFactor);
    EXPECT_EQ(s.blendDst, c.dstFactor);
    EXPECT_EQ(count(frame(c.src == 2 ? "layer2d_half_alpha" : ""), c.expected, 2), kAll);
  }
}

// --- Render to texture ---

// Placed from the demo origin: a Start or End viewport, or a copy, taken from the framebuffer
// corner instead moves the square.
TEST_F(RenderTest, CaptureAt8By8IntoSlot90ShowsInALaterFlat) {
  solid(kRenderTargetSlot0, {0, 0, 255});
  addClip(0, 0.0f, 10.0f, kStartRenderToTex, block({8, 8}));
  addClip(1, 0.0f, 10.0f, kBox, block({0, 0, 0, 1}));  // 48 x 64 pixels at (128, 128) of the small viewport
  addClip(2, 0.0f, 10.0f, kEndRenderToTex, block({8, 8, 90}));
  addClip(3, 0.0f, 10.0f, kFlat, block({90, 1, 0, 1, 0, 0}));  // the capture over the whole rectangle
  DemoRenderer renderer(timeline_, textures_, meshes_);
  renderer.setDemoOrigin(64, 32);
  renderer.renderDemoFrame(1.0f);
  const Frame f = frame("capture_flat");
  EXPECT_EQ(width(kRenderTargetSlot0), 256);
  EXPECT_EQ(count(f, {0, 0, 255}), 0);
  // The square fills (0.5-0.69, 0.5-0.75) of the texture: x 384-504, y 272-392 of the framebuffer.
  EXPECT_NEAR(count(f, kWhite), 120 * 120, 250);
  EXPECT_EQ(red(f, 388, 276) + red(f, 500, 388), 2 * 255);
}

// -1 means slot 90. IDs from 100 and sizes naming no side capture nothing, and a Start with such a
// size draws into no viewport; the viewport comes back either way.
TEST_F(RenderTest, RenderToTextureWithIdsOrSizesNamingNothing) {
  for (int slot = 0; slot < kTextureSlotCount; ++slot) solid(slot, kWhite);
  for (const ParameterBlock& p : {block({5, 4, 100}), block({5, 4, 1e9f}), block({5, 4, kNaN}),
                                  block({31, 4, 91}), block({4, 40, 91}), block({-1, 4, 91}), block({4, kNaN, 91}),
                                  block({-kInf, 4, 91})}) {
    SCOPED_TRACE(::testing::Message() << p[0] << " " << p[1] << " " << p[2]);
    reset();
    beginRenderToTexture(p, DemoOrigin{});
    drawLayer2D(block({5, 1, 0}), textures_);
    endRenderToTexture(p, textures_, DemoOrigin{});
    EXPECT_EQ(state().viewport, kFullViewport);
    EXPECT_EQ(drawn(frame()), p[0] == 5 ? 32 * 16 : 0);
  }
  for (int slot = 0; slot < kTextureSlotCount; ++slot) EXPECT_EQ(width(slot), 1) << slot;
  endRenderToTexture(block({5, 4, -1}), textures_, DemoOrigin{});
  EXPECT_EQ(width(kRenderTargetSlot0), 32);
}

// --- Model 3D ---

// Faces naming vertices outside the list are skipped on both paths, and counts past the record
// never read past it.
TEST_F(RenderTest, VertexArraysGiveTheSamePixelsAsPerCornerCalls) {
  Mesh& mesh = sphere(0, 0.7f, 80, 50);
  const ParameterBlock p = block({0.2f, 0.1f, 0, 1, 0.3f, 0.5f, 10, 0});
  auto both = [&](float t) {
    const Frame perCorner = model(p, t, MeshPath::kPerCorner);
    EXPECT_TRUE(perCorner == model(p, t, MeshPath::kVertexArrays)) << t;
    return perCorner;
  };
  const Frame whole = both(93.25f);
  EXPECT_GT(drawn(whole), 15000);
  both(0.0f);
  for (int f = 0; f < mesh.faceCount; f += 7) mesh.faces[f][f % 3] = f % 2 ? -1 : mesh.vertexCount;
  mesh.faces[2000][1] = std::numeric_limits<int32_t>::min();
  const Frame holed = both(93.25f);
  EXPECT_GT(drawn(holed), drawn(whole) / 2);
  EXPECT_FALSE(holed == whole);
  mesh.faceCount = std::numeric_limits<int32_t>::max();
  both(1.0f);
  mesh.vertexCount = -4;
  EXPECT_EQ(drawn(both(1.0f)), 0);
}

}  // namespace
}  // namespace korvalin::test
