// Drawing tests on a hidden 640 x 480 llvmpipe context. Frames start from what the editor pass
// leaves behind, and placements are worked out from the view's numbers: at the demo origin, a
// point (x, y, z) in front of the eye lands on pixel (320 + 240 x / -z, 240 + 240 y / -z) under
// the 90-degree, 4:3 projection; a camera's field of view f scales that by 1 / tan(f / 2).
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <tuple>
#include <vector>

#include "render/demo_renderer.h"
#include "render/effects.h"
#include "tests/common/gl_test_context.h"

namespace korvalin::test {
namespace {

using Frame = std::vector<uint8_t>;
using Rect = std::array<int, 4>;  // x0, y0, x1, y1, ends exclusive
using Rgb = std::array<int, 3>;
using Quad = std::array<GLfloat, 4>;
const float kNaN = std::numeric_limits<float>::quiet_NaN(), kInf = std::numeric_limits<float>::infinity();
const Rgb kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{255, 0, 0};
const Rgb kGrid32{112, 80, 200}, kGrid72{240, 80, 200};  // texels (3, 2) and (7, 2) of the grid
const Rect kNothing{640, 480, 0, 0};

ParameterBlock block(std::initializer_list<float> values) {
  ParameterBlock p;
  for (float v : values) p[p.paramCount++] = v;
  return p;
}
// Target, eye, the six unused "Position sin" values, field of view.
ParameterBlock camera(Vec3 target, Vec3 eye, float fov) {
  return block({target.x, target.y, target.z, eye.x, eye.y, eye.z, 7, 7, 7, 7, 7, 7, fov});
}
// Enums, sizes and viewports all fit a float exactly.
template <size_t N = 1>
std::array<GLfloat, N> floats(GLenum what) {
  std::array<GLfloat, N> v{};
  glGetFloatv(what, v.data());
  return v;
}
Rgb at(const Frame& f, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * 640 + x) * 4;
  return {f[i], f[i + 1], f[i + 2]};
}
// Bounds of everything that is not black, from column x0 on.
Rect drawn(const Frame& f, int x0 = 0) {
  Rect r = kNothing;
  for (int y = 0; y < 480; ++y)
    for (int x = x0; x < 640; ++x)
      if (at(f, x, y) != kBlack) r = {std::min(r[0], x), std::min(r[1], y), std::max(r[2], x + 1), std::max(r[3], y + 1)};
  return r;
}
void expectNear(const Rect& got, const Rect& want) {
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], 1) << "edge " << i;
}

class RenderTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { setenv("SDL_VIDEODRIVER", "offscreen", 1); gl_ = new GlTestContext(640, 480); }
  static void TearDownTestSuite() { delete gl_; }
  void SetUp() override {
    ASSERT_TRUE(gl_->ok()) << gl_->error();
    glGenTextures(kTextureSlotCount, textures_.names);
    for (int slot = 0; slot < kTextureSlotCount; ++slot) texture(slot, 1, {0, 0, 0, 255});
    texture(0, 1, {60, 60, 60, 255});
    texture(5, 1, {255, 255, 255, 255});
    textures_.past = textures_.names[5];
    texture(6, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 0, 255});  // red, green / blue, yellow
    texture(7, 1, {255, 0, 0, 255});
    texture(kRenderTargetSlot0, 1, {0, 0, 255, 255});
    std::vector<uint8_t> grid;  // texel (s, t) of 8 x 8 is (32 s + 16, 32 t + 16, 200)
    for (int i = 0; i < 64; ++i) grid.insert(grid.end(), {uint8_t(32 * (i % 8) + 16), uint8_t(32 * (i / 8) + 16), 200, 255});
    texture(kMetalSlot, 8, grid);
    // Model 1: three triangles around the origin, 0.1 a side, with one tilted normal and texture
    // coordinates (0.9, 0.3) that sphere mapping must replace; faces 3-8 name vertex 7, outside
    // the list, or -1 in each corner, and face 9 lies beyond the face count.
    Mesh& m = meshes_.meshes[1];
    const Vec3 v[] = {{0, 0, 0}, {.1f, 0, 0}, {.1f, .1f, 0}, {-.1f, .1f, 0},
                      {-.1f, 0, 0}, {-.1f, -.1f, 0}, {0, -.1f, 0}, {.3f, .3f, 0}};
    const int32_t faces[][3] = {{0, 1, 2}, {3, 0, 4}, {5, 6, 0}, {7, 1, 2}, {1, 7, 2},
                                {1, 2, 7}, {-1, 1, 6}, {6, -1, 1}, {1, 6, -1}, {0, 6, 1}};
    std::copy(v, v + 8, m.vertices);
    std::fill_n(m.normals, 8, Vec3{0.28222f, -0.18814f, 0.94072f});
    for (int i = 0; i < 16; ++i) m.texCoords[i / 2][i % 2] = i % 2 ? 0.3f : 0.9f;
    std::copy(&faces[0][0], &faces[0][0] + 30, &m.faces[0][0]);
    m.vertexCount = 7;
    m.faceCount = 9;
    while (glGetError() != GL_NO_ERROR) continue;
  }
  void TearDown() override { glDeleteTextures(kTextureSlotCount, textures_.names); }

  void texture(int slot, int side, const std::vector<uint8_t>& rgba) {
    glBindTexture(GL_TEXTURE_2D, textures_.names[slot]);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  }
  Frame frame() { return gl_->readPixels(0, 0, 640, 480); }

  // What the editor pass leaves for the demo: its 1024 x 768 viewport and canvas modelview, the
  // window's projection, black, blending on; the shell has cleared the picture to black.
  void editorState() {
    glViewport(0, 0, 1024, 768);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 640.0 / 480.0, 0.1, 2000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(-1.3334f, 1.0f, -1.0f);
    glColor3f(0.0f, 0.0f, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  }
  // The frame as the demo pass draws it; afterwards the editor's viewport and projection are back.
  Frame render(float t, int originX = 0, int originY = 0) {
    editorState();
    const auto projection = floats<16>(GL_PROJECTION_MATRIX);
    DemoRenderer renderer(timeline_, textures_, meshes_);
    renderer.setDemoOrigin(originX, originY);
    renderer.renderDemoFrame(t);
    EXPECT_TRUE(floats<16>(GL_PROJECTION_MATRIX) == projection && floats<4>(GL_VIEWPORT) == (Quad{0, 0, 1024, 768}) &&
                floats(GL_MATRIX_MODE)[0] == GL_MODELVIEW);
    return frame();
  }
  // The state a frame sets up before its first clip, for effects called one by one.
  void frameState(int width = 640, int height = 480) {
    editorState();
    glDisable(GL_BLEND);
    glViewport(0, 0, width, height);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -2.0f);
    glColor3f(1.0f, 1.0f, 1.0f);
  }
  void add(int layer, int32_t type, const ParameterBlock& values, float start = 0.0f, float length = 10.0f) {
    ASSERT_TRUE(timeline_.addClip(layer, start, length, type));
    *timeline_.layerClipParams[layer].back() = values;
  }

  static inline GlTestContext* gl_ = nullptr;
  Timeline timeline_;
  struct : TextureTable {
    GLuint past;  // where a slot 100 would lie: the white texture, so that any use of it shows
  } textures_;
  MeshTable meshes_;
};

struct Scene {
  std::vector<std::pair<int32_t, ParameterBlock>> clips;  // layer 0 up
  Rect bounds;
  std::vector<std::pair<std::array<int, 2>, Rgb>> samples;
  int originX = 0, originY = 0;
};

// Each effect placed by the numbers, at t = 1.5 s.
TEST_F(RenderTest, EffectsLandWhereTheViewPutsThem) {
  const Scene scenes[] = {
      // Rotations apply X, then Y, then Z to the frame, so Z turns the square first.
      {{{kBox, block({180, 0, 90, 0.5f})}}, {260, 180, 320, 240}, {}},
      {{{kBox, block({0, 180, 270, 0.75f})}}, {230, 150, 320, 240}, {}},
      // The eye 2.4 behind the square, turned to x -1.5 ... -0.5, y -0.25 ... 0.75; 1 / tan 30.
      {{{kCamera, camera({.5f, .25f, -1}, {.5f, .25f, .4f}, 60)}, {kBox, block({0, 180, 0, 1})}}, {60, 197, 233, 370}, {}},
      // Looking along +x, the square turned about y faces the eye 2 away; 1 / tan 60.
      {{{kCamera, camera({1, 0, 0}, {0, 0, 0}, 120)}, {kBox, block({0, 90, 0, 1})}}, {251, 240, 320, 309}, {}},
      {{{kCamera, camera({1, 0, 0}, {0, 0, 0}, 120)}, {kLayer2D, block({5, 1, 0})}}, {135, 101, 505, 379}, {}},
      // 0.15 in front of the eye, beyond the near plane at 0.1.
      {{{kCamera, camera({0, 0, -10}, {0, 0, -1.85f}, 90)}, {kBox, block({0, 0, 0, 0.1f})}}, {320, 240, 480, 400}, {}},
      // A second camera multiplies onto the first: the square ends up 2 + 3 + 1 away.
      {{{kCamera, camera({0, 0, 0}, {0, 0, 3}, 90)}, {kCamera, camera({0, 0, 0}, {0, 0, 1}, 90)}, {kBox, block({0, 0, 0, 1})}},
       {320, 240, 360, 280}, {}},
      // Half size, moved by (0.25, -0.5) half-heights; texture (0, 0) at the lower left.
      {{{kFlat, block({6, 1, 0, 0.5f, 0.25f, -0.5f})}}, {220, 0, 540, 240},
       {{{222, 2}, kRed}, {{537, 2}, {0, 255, 0}}, {{222, 237}, {0, 0, 255}}, {{537, 237}, {255, 255, 0}}}},
      // Model 1 at (0.6, 0.2, -0.3 + 0.8 sin(pi / 6)) turned 3 * 1.5 * 30 + 45 degrees about z:
      // centred on (-0.6, -0.2, -1.9) from the eye. Its normal maps to (0.2863, 0.5589) on the
      // sphere, drifting by (0.15, 0.75) to texel (3, 2) of the metal slot, not of the texture
      // the layer under it bound. Faces naming vertex 7 or past the count are not drawn.
      {{{kLayer2D, block({5, 0, 1})}, {kModel3D, block({.6f, .2f, -.3f, 0.3490659f, .8f, 3, 45, 1})}}, {232, 202, 257, 227},
       {{{236, 210}, kGrid32}, {{253, 210}, kGrid32}, {{248, 223}, kGrid32}, {{240, 219}, kBlack}}},
      // Captured at 256 x 256 from the demo's corner, shown by a flat over the whole rectangle.
      {{{kStartRenderToTex, block({8, 8})}, {kBox, block({0, 0, 0, 1})}, {kEndRenderToTex, block({8, 8, 90})},
        {kFlat, block({90, 1, 0, 1, 0, 0})}},
       {384, 272, 504, 392}, {{{444, 332}, kWhite}}, 64, 32},
  };
  for (const Scene& s : scenes) {
    SCOPED_TRACE(&s - scenes);
    timeline_ = Timeline();
    for (size_t i = 0; i < s.clips.size(); ++i) add(int(i), s.clips[i].first, s.clips[i].second);
    const Frame f = render(1.5f, s.originX, s.originY);
    expectNear(drawn(f), s.bounds);
    for (const auto& [xy, rgb] : s.samples) EXPECT_EQ(at(f, xy[0], xy[1]), rgb) << xy[0] << "," << xy[1];
  }
}

// Layer 3 at 0.5 s lies over layer 2 although it starts earlier; at 0.9 s the later clip of
// layer 4 covers the earlier one. Layer 1's clip, summed in float, would end at 2^24 + 4 s. A
// clip missing from one of its layer's sequences never draws, even with a stale record left in
// the sequence's storage: the white ones of layers 5 (its times gone, at 2 s) and 6 (its type
// gone, at 2^24 + 4 s).
TEST_F(RenderTest, ActiveClipsDrawLayerByLayerInSequenceOrder) {
  // Layer, picture (7 red, 5 white), start, length.
  const std::tuple<int, float, float, float> clips[] = {
      {3, 7, 0.1f, 0.7f}, {2, 5, 0.2f, 0.6f}, {4, 7, 0.85f, 0.1f}, {4, 5, 0.82f, 0.15f}, {0, 7, 1.0f, 2.0f},
      {1, 7, 4.5f, 16777216.0f}, {5, 7, 1.5f, 1.0f}, {5, 5, 1.5f, 1.0f}, {6, 7, 16777216.0f, 8.0f}, {6, 5, 16777216.0f, 8.0f}};
  for (auto [layer, slot, start, length] : clips) add(layer, kLayer2D, block({slot, 1, 0}), start, length);
  timeline_.layerClipTimes[5].pop_back();
  timeline_.layerClipTypes[6].pop_back();
  for (auto [t, rgb] : {std::pair{0.5f, kRed}, {0.9f, kWhite}, {1.0f, kBlack}, {2.0f, kRed}, {3.0f, kBlack}, {16777220.0f, kRed}}) {
    const Frame f = render(t);
    EXPECT_TRUE(at(f, 0, 0) == rgb && at(f, 639, 479) == rgb) << t;
    // With nothing drawn, the colour is the one the frame gives its first clip.
    EXPECT_TRUE(rgb != kBlack || floats<4>(GL_CURRENT_COLOR) == (Quad{1, 1, 1, 1}));
  }
  glViewport(3, 5, 100, 200);  // any caller's viewport comes back
  DemoRenderer(timeline_, textures_, meshes_).renderDemoFrame(0.5f);
  EXPECT_EQ(floats<4>(GL_VIEWPORT), (Quad{3, 5, 100, 200}));
}

// What each clip may leave changed for the clips after it: the view (camera), the viewport
// (render to texture), the colour (1, 1, 1, 0.5) and blend function (2D layer, flat). Blend codes
// 0-8 name factors, from 2 on GL_SRC_ALPHA upward; with any other code the function set before
// (ONE, ONE) stays, as GL would keep it. Values naming nothing draw nothing and change no more.
TEST_F(RenderTest, EachEffectLeavesOnlyWhatTheFrameAllows) {
  struct Case {
    int32_t type;
    ParameterBlock params;
    bool view, viewport, halfAlpha, blank;
    GLint src = GL_ONE, dst = GL_ONE;
  } const cases[] = {
      {kLayer2D, block({5, 2, 3}), 0, 0, 1, 0, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
      {kLayer2D, block({5, 8, 0}), 0, 0, 1, 0, GL_SRC_ALPHA_SATURATE, GL_ZERO},
      {kLayer2D, block({5, 1, 7}), 0, 0, 1, 0, GL_ONE, GL_ONE_MINUS_DST_COLOR},
      {kLayer2D, block({5, 9, 0}), 0, 0, 1, 0},     {kLayer2D, block({5, -1, 1}), 0, 0, 1, 0},
      {kLayer2D, block({5, kNaN, 0}), 0, 0, 1, 0},  {kLayer2D, block({5, 0, kInf}), 0, 0, 1, 0},
      {kLayer2D, block({-3, 1, 0}), 0, 0, 1, 0, GL_ONE, GL_ZERO},  // slot 0
      {kBox, block({10, 20, 30, 1}), 0, 0, 0, 0},   {kCamera, camera({0, 0, 0}, {1, 2, 3}, 70), 1, 0, 0, 1},
      {kStartRenderToTex, block({8, 8}), 0, 1, 0, 1},  {kEndRenderToTex, block({8, 7, 90}), 0, 1, 0, 1},
      {kModel3D, block({0.1f, 0, 0, 1, 0.2f, 1, 0, 1}), 0, 0, 0, 0},
      {kFlat, block({5, 4, 5, 0.5f, 0.1f, 0.1f}), 0, 0, 1, 0, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA},
      {kLayer2D, block({100, 2, 3}), 0, 0, 1, 1, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA},
      {kLayer2D, block({2147483648.0f, 1, 1}), 0, 0, 1, 1},  {kLayer2D, block({kNaN, 1, 1}), 0, 0, 1, 1},
      {7, block({5, 1}), 0, 0, 0, 1},               {kModel3D, block({0, 0, 0, 1, 1, 1, 0, 6}), 0, 0, 0, 1},
      {kModel3D, block({0, 0, 0, 1, 1, 1, 0, -1}), 0, 0, 0, 1},  {kModel3D, block({0, 0, 0, 1, 1, 1, 0, kNaN}), 0, 0, 0, 1},
      {kBox, block({kNaN, 0, 0, 1}), 0, 0, 0, 1},   {kCamera, camera({0, 0, 0}, {kNaN, -kInf, 5}, 90), 0, 0, 0, 1},
      {kCamera, camera({0, 0, 0}, {0, 0, 5}, kNaN), 0, 0, 0, 1},
      {kCamera, camera({0, 0, 0}, {0, 0, 5}, 1e-40f), 0, 0, 0, 1},  // the projection overflows
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " " << c.params[0] << " " << c.params[1] << " " << c.params[7]);
    frameState(320, 240);  // as a capture in progress leaves it
    glBlendFunc(GL_ONE, GL_ONE);
    const auto modelview = floats<16>(GL_MODELVIEW_MATRIX), projection = floats<16>(GL_PROJECTION_MATRIX);
    DemoRenderer(timeline_, textures_, meshes_).dispatchClip(c.type, c.params, ClipTimes{0.0f, 10.0f}, 1.5f);
    const auto got = std::tuple(floats<16>(GL_MODELVIEW_MATRIX) != modelview, floats<16>(GL_PROJECTION_MATRIX) != projection,
                                floats<4>(GL_VIEWPORT) != Quad{0, 0, 320, 240}, floats<4>(GL_CURRENT_COLOR),
                                floats(GL_BLEND_SRC)[0], floats(GL_BLEND_DST)[0], drawn(frame()) == kNothing);
    EXPECT_EQ(got, std::tuple(c.view, c.view, c.viewport, Quad{1, 1, 1, c.halfAlpha ? 0.5f : 1}, c.src, c.dst, c.blank));
    // No drift left in the texture matrix, and 1 / tan 35 over 4/3 with the planes at 0.1 and
    // 10000, far beyond what 16-bit depth shows.
    EXPECT_TRUE(floats<16>(GL_TEXTURE_MATRIX)[12] == 0 && floats(GL_MATRIX_MODE)[0] == GL_MODELVIEW && glGetError() == 0);
    for (auto [i, v] : {std::pair{0, 1.071111f}, {5, 1.428148f}, {10, -1.00002f}, {11, -1.0f}, {14, -0.200002f}})
      EXPECT_TRUE(!c.view || std::abs(floats<16>(GL_PROJECTION_MATRIX)[i] - v) < 2e-6f) << i;
    for (GLenum cap : {GL_DEPTH_TEST, GL_TEXTURE_2D, GL_BLEND, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_LIGHTING, GL_VERTEX_ARRAY,
                       GL_NORMAL_ARRAY, GL_TEXTURE_COORD_ARRAY})
      EXPECT_EQ(glIsEnabled(cap), cap == GL_DEPTH_TEST) << "capability 0x" << std::hex << cap;
  }
}

// Sizes come from the exponents up to the largest texture GL makes; -1 means slot 90, IDs from
// 100 and sizes naming no side capture nothing, and a Start with such a size draws nothing.
TEST_F(RenderTest, CaptureSizesAndSlots) {
  const GLint max = GLint(floats(GL_MAX_TEXTURE_SIZE)[0]);
  const float e = std::log2(float(max));
  const Rect row{0, 0, 640, 1}, column{0, 0, 1, 480}, corner{0, 0, 32, 16};
  const std::pair<ParameterBlock, Rect> cases[] = {
      {block({e, 0, 0}), row},         {block({0, e, 99}), column},           {block({e + 1, 0, 91}), row},
      {block({0, e + 1, 91}), column}, {block({30, 8, 91}), {0, 0, 640, 256}}, {block({31, 4, 91}), kNothing},
      {block({-1, 4, 91}), kNothing},  {block({4, kNaN, 91}), kNothing},       {block({5, 4, 100}), corner},
      {block({5, 4, kNaN}), corner},   {block({5.9f, 4, -1}), corner},         {block({-3e9f, 4, 91}), kNothing},
  };
  for (const auto& [p, bounds] : cases) {
    SCOPED_TRACE(::testing::Message() << p[0] << " " << p[1] << " " << p[2]);
    frameState();
    beginRenderToTexture(p, DemoOrigin{});
    drawLayer2D(block({5, 1, 0}), textures_);
    endRenderToTexture(p, textures_, DemoOrigin{});
    EXPECT_EQ(std::tuple(floats<4>(GL_VIEWPORT), glGetError(), drawn(frame())), std::tuple(Quad{0, 0, 640, 480}, 0u, bounds));
  }
  // Slot 5 lies where slot 100 would.
  for (auto [slot, w, h] : {std::tuple{0, max, 1}, {99, 1, max}, {90, 32, 16}, {91, 1, 1}, {5, 1, 1}}) {
    GLint size[2];
    glBindTexture(GL_TEXTURE_2D, textures_.names[slot]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &size[0]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &size[1]);
    EXPECT_TRUE(size[0] == w && size[1] == h) << slot << ": " << size[0] << " x " << size[1];
  }
}

// The per-corner reference and the vertex arrays give the same pixels, as the model (normals
// feed the sphere map) and plainly textured (texture coordinates show), with faces skipped and
// with counts of none, one, beyond the record or below zero.
TEST_F(RenderTest, MeshPathsDrawTheSamePixels) {
  Mesh& m = meshes_.meshes[1];
  const ParameterBlock p = block({.6f, .2f, -.3f, 0.3490659f, .8f, 3, 45, 1});
  const Rect fan{308, 228, 332, 252}, first{320, 240, 332, 252};
  for (auto [faces, vertices, bounds] : {std::tuple{9, 7, fan}, {3, 7, fan}, {1, 7, first}, {0, 7, kNothing}, {1, 2, kNothing},
                                          {-1, 7, kNothing}, {INT32_MAX, 7, fan}, {9, -4, kNothing}}) {
    SCOPED_TRACE(::testing::Message() << faces << " faces, " << vertices << " vertices");
    m.faceCount = faces;
    m.vertexCount = vertices;
    std::vector<Frame> f;  // the model left of x 280, the mesh plainly textured right of it
    for (MeshPath path : {MeshPath::kPerCorner, MeshPath::kVertexArrays}) {
      frameState();
      glEnable(GL_LIGHTING);  // the model turns lighting off, whoever left it on
      glEnable(GL_LIGHT1);
      drawModel3D(p, 1.5f, textures_, meshes_, path);
      EXPECT_FALSE(glIsEnabled(GL_LIGHTING) || glIsEnabled(GL_LIGHT1));
      glEnable(GL_TEXTURE_2D);
      glBindTexture(GL_TEXTURE_2D, textures_.names[kMetalSlot]);
      drawMesh(m, path);
      glDisable(GL_TEXTURE_2D);
      f.push_back(frame());
    }
    EXPECT_TRUE(f[0] == f[1] && glGetError() == GL_NO_ERROR);
    expectNear(drawn(f[0], 280), bounds);
    // One point in each triangle: (u, v) = (0.9, 0.3) is texel (7, 2). None in the lower right,
    // where only the faces naming -1 and the one past the count lie.
    for (auto [x, y, rgb] : {std::tuple{328, 244, kGrid72}, {312, 244, kGrid72}, {316, 232, kGrid72}, {324, 236, kBlack}})
      EXPECT_TRUE(bounds != fan || (faces > 9 && rgb == kBlack) || at(f[0], x, y) == rgb) << x << "," << y;
  }
}

}  // namespace
}  // namespace korvalin::test
