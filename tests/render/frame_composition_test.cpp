#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <cstring>

#include "render/demo_renderer.h"
#include "render/effects.h"
#include "tests/render/render_fixture.h"
#include "tests/render/sphere_mesh.h"

namespace korvalin::test {
namespace {

constexpr int kAllPixels = 640 * 480;
const Rgb kBlack{0, 0, 0};
const Rgb kWhite{255, 255, 255};
const Rgb kRed{255, 0, 0};
const Rgb kGreen{0, 255, 0};

// "Layer 2D" values: Image ID, then codes 1/0 so that the picture replaces what is under it.
std::vector<float> opaqueLayer(int slot) { return {static_cast<float>(slot), 1.0f, 0.0f}; }

class FrameCompositionTest : public RenderTest {
 protected:
  std::vector<uint8_t> render(float t, const std::string& name) {
    resetToShellState();
    DemoRenderer renderer(timeline_, textures_, meshes_);
    renderer.renderDemoFrame(t);
    return frame(name);
  }
};

TEST_F(FrameCompositionTest, EmptyTimelineIsBlackAndLeavesTheCallersMatrices) {
  glViewport(10, 20, 300, 200);
  GlState before = captureState();
  DemoRenderer renderer(timeline_, textures_, meshes_);
  renderer.renderDemoFrame(12.0f);
  GlState after = captureState();
  EXPECT_EQ(after.projection, before.projection);
  EXPECT_EQ(after.viewport, before.viewport);
  expectCleanFrameState(after);
  glViewport(0, 0, 640, 480);
  EXPECT_EQ(count(frame("empty"), kBlack, 0), kAllPixels);
}

TEST_F(FrameCompositionTest, ClipIsActiveOnlyStrictlyInsideItsSpan) {
  solidTexture(5, 255, 255, 255);
  addClip(0, 1.0f, 2.0f, kLayer2D, opaqueLayer(5));
  addClip(1, 0.0f, 0.5f, kLayer2D, opaqueLayer(5));
  addClip(2, 2.0f, 0.0f, kLayer2D, opaqueLayer(5));
  addClip(3, 2.5f, -1.0f, kLayer2D, opaqueLayer(5));

  EXPECT_EQ(count(render(1.0f, "at_start"), kBlack, 0), kAllPixels) << "t equal to start";
  EXPECT_EQ(count(render(3.0f, "at_end"), kBlack, 0), kAllPixels) << "t equal to start + length";
  EXPECT_EQ(count(render(0.0f, "at_zero"), kBlack, 0), kAllPixels) << "a clip starting at 0 at t = 0";
  EXPECT_EQ(count(render(2.0f, "inside"), kWhite, 0), kAllPixels);
  keepOnFailure("activity");

  // Zero and negative lengths are never drawn: only they are left.
  timeline_.clear();
  addClip(2, 2.0f, 0.0f, kLayer2D, opaqueLayer(5));
  addClip(3, 2.5f, -1.0f, kLayer2D, opaqueLayer(5));
  EXPECT_EQ(count(render(2.0f, "zero_length"), kBlack, 0), kAllPixels);
}

TEST_F(FrameCompositionTest, EndOfSpanIsSummedInDoublePrecision) {
  // In float 0.5 + 2^24 rounds down to 2^24, which would make the clip end at t = 2^24.
  solidTexture(5, 255, 255, 255);
  addClip(0, 0.5f, 16777216.0f, kLayer2D, opaqueLayer(5));
  EXPECT_EQ(count(render(16777216.0f, "double_sum"), kWhite, 0), kAllPixels);
}

TEST_F(FrameCompositionTest, HigherLayerCoversLowerWhateverTheStarts) {
  solidTexture(5, 255, 0, 0);
  solidTexture(6, 0, 255, 0);
  addClip(3, 0.1f, 5.0f, kLayer2D, opaqueLayer(5));
  addClip(2, 0.5f, 5.0f, kLayer2D, opaqueLayer(6));
  EXPECT_EQ(count(render(1.0f, "layer_order"), kRed, 0), kAllPixels);
}

TEST_F(FrameCompositionTest, OverlappingClipsOfOneLayerDrawInSequenceOrder) {
  solidTexture(5, 255, 0, 0);
  solidTexture(6, 0, 255, 0);
  addClip(4, 0.5f, 5.0f, kLayer2D, opaqueLayer(5));
  addClip(4, 0.1f, 5.0f, kLayer2D, opaqueLayer(6));
  EXPECT_EQ(count(render(1.0f, "sequence_order"), kGreen, 0), kAllPixels);
}

TEST_F(FrameCompositionTest, UnknownTypesDrawNothingAndDisturbNothing) {
  solidTexture(5, 255, 255, 255);
  DemoRenderer renderer(timeline_, textures_, meshes_);
  ParameterBlock params;
  params[0] = 5.0f;
  params[1] = 1.0f;
  beginFrameState();
  const GlState before = captureState();
  for (int32_t type : {7, 8, 100, -1, INT32_MIN}) {
    renderer.dispatchClip(type, params, ClipTimes{0.0f, 10.0f}, 1.0f);
    const GlState after = captureState();
    EXPECT_EQ(after.modelview, before.modelview) << type;
    EXPECT_EQ(after.projection, before.projection) << type;
    EXPECT_EQ(after.viewport, before.viewport) << type;
    EXPECT_EQ(after.colour, before.colour) << type;
    EXPECT_EQ(after.boundTexture, before.boundTexture) << type;
    expectCleanFrameState(after);
  }
  EXPECT_EQ(count(frame("unknown_types"), kBlack, 0), kAllPixels);
}

// The frame table: what each effect may leave changed for the clips after it, and nothing else.
TEST_F(FrameCompositionTest, EachEffectLeavesOnlyWhatTheFrameTableAllows) {
  solidTexture(5, 200, 100, 50, 180);
  solidTexture(kMetalSlot, 120, 120, 140);
  solidTexture(kRenderTargetSlot0, 0, 0, 0);
  makeSphere(meshes_.meshes[0], 0.5f, 20, 10);
  DemoRenderer renderer(timeline_, textures_, meshes_);
  struct Case {
    int32_t type;
    std::vector<float> values;
    bool changesView;
    bool changesViewport;
    bool halvesAlpha;
  };
  const Case cases[] = {
      {kLayer2D, {5, 2, 3}, false, false, true},
      {kBox, {10, 20, 30, 1}, false, false, false},
      {kCamera, {0, 0, 0, 1, 2, 3, 0, 0, 0, 0, 0, 0, 70}, true, false, false},
      {kStartRenderToTex, {8, 8}, false, true, false},
      {kEndRenderToTex, {8, 7, 90}, false, true, false},
      {kModel3D, {0.1f, 0, 0, 1, 0.2f, 1, 0, 0}, false, false, false},
      {kFlat, {5, 2, 3, 0.5f, 0.1f, 0.1f}, false, false, true},
  };
  for (const Case& c : cases) {
    resetToShellState();
    glMatrixMode(GL_TEXTURE);
    glTranslatef(0.5f, 0.25f, 0.0f);
    beginFrameState();
    glViewport(0, 0, 320, 240);  // as a capture in progress would leave it
    ParameterBlock params;
    for (size_t i = 0; i < c.values.size(); ++i) params[static_cast<int>(i)] = c.values[i];
    const GlState before = captureState();
    renderer.dispatchClip(c.type, params, ClipTimes{0.0f, 10.0f}, 1.5f);
    const GlState after = captureState();
    SCOPED_TRACE(kOperatorTypeTable[c.type].name);
    expectCleanFrameState(after);
    EXPECT_EQ(after.textureMatrix, before.textureMatrix);
    EXPECT_EQ(after.modelview != before.modelview, c.changesView);
    EXPECT_EQ(after.projection != before.projection, c.changesView);
    EXPECT_EQ(after.viewport != before.viewport, c.changesViewport);
    const std::array<GLfloat, 4> halfAlpha{1.0f, 1.0f, 1.0f, 0.5f};
    EXPECT_EQ(after.colour, c.halvesAlpha ? halfAlpha : before.colour);
    frame("effect_type" + std::to_string(c.type));
  }
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
}

TEST_F(FrameCompositionTest, CameraHoldsOnlyForTheRestOfItsFrame) {
  solidTexture(5, 255, 255, 255);
  std::vector<float> camera(13, 0.0f);
  camera[2] = -1.0f;  // target straight ahead of the eye at the origin
  camera[12] = 120.0f;
  addClip(2, 0.0f, 1.0f, kCamera, camera);
  addClip(2, 0.0f, 10.0f, kLayer2D, opaqueLayer(5));  // later in the camera's own layer

  const GlState before = captureState();
  const int covered = count(render(0.5f, "camera_fov120"), kWhite, 0);
  EXPECT_EQ(captureState().projection, before.projection);
  // 1 / tan 60 of the height and of the width, give or take a row of rounding.
  EXPECT_NEAR(covered, 277.1 * 369.5, 277 * 3 + 370 * 3);
  EXPECT_EQ(count(render(2.0f, "camera_gone"), kWhite, 0), kAllPixels);
}

TEST_F(FrameCompositionTest, StartWithoutEndShrinksOnlyTheRestOfItsFrame) {
  solidTexture(5, 255, 255, 255);
  addClip(0, 0.0f, 10.0f, kLayer2D, {5.0f, 1.0f, 0.0f});
  addClip(0, 0.0f, 1.0f, kStartRenderToTex, {8.0f, 8.0f});
  addClip(1, 0.0f, 10.0f, kLayer2D, {5.0f, 0.0f, 0.0f});  // blanks what it covers

  std::vector<uint8_t> shrunk = render(0.5f, "start_without_end");
  EXPECT_EQ(count(shrunk, kBlack, 0), 256 * 256);
  EXPECT_EQ(at(shrunk, 0, 0).r, 0);
  EXPECT_EQ(at(shrunk, 255, 255).r, 0);
  EXPECT_EQ(at(shrunk, 256, 100).r, 255);
  EXPECT_EQ(captureState().viewport, (std::array<GLint, 4>{0, 0, 640, 480}));

  EXPECT_EQ(count(render(2.0f, "start_gone"), kBlack, 0), kAllPixels);
}

TEST_F(FrameCompositionTest, DemoOriginPlacesEveryViewportAndCapture) {
  solidTexture(5, 255, 255, 255);
  solidTexture(kRenderTargetSlot0, 0, 0, 255);
  addClip(0, 0.0f, 10.0f, kStartRenderToTex, {8.0f, 8.0f});
  addClip(1, 0.0f, 10.0f, kLayer2D, opaqueLayer(5));
  addClip(2, 0.0f, 10.0f, kEndRenderToTex, {8.0f, 8.0f, 90.0f});

  resetToShellState();
  DemoRenderer renderer(timeline_, textures_, meshes_);
  renderer.setDemoOrigin(64, 32);
  renderer.renderDemoFrame(1.0f);
  std::vector<uint8_t> pixels = frame("origin_capture");
  EXPECT_EQ(count(pixels, kWhite, 0), 256 * 256);
  EXPECT_EQ(at(pixels, 64, 32).r, 255);
  EXPECT_EQ(at(pixels, 319, 287).r, 255);
  EXPECT_EQ(at(pixels, 63, 100).r, 0);
  EXPECT_EQ(at(pixels, 100, 31).r, 0);
  EXPECT_EQ(at(pixels, 320, 100).r, 0);

  // The copy was taken from the origin, so it holds only the white square.
  std::vector<uint8_t> texels(256 * 256 * 4);
  glBindTexture(GL_TEXTURE_2D, textures_.names[kRenderTargetSlot0]);
  GLint width = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  ASSERT_EQ(width, 256);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  int white = 0;
  for (size_t i = 0; i < texels.size(); i += 4) white += texels[i] == 255 && texels[i + 2] == 255;
  EXPECT_EQ(white, 256 * 256);

  // Without the capture, the full-view picture fills the demo rectangle from the origin up.
  timeline_.clear();
  addClip(1, 0.0f, 10.0f, kLayer2D, opaqueLayer(5));
  resetToShellState();
  renderer.renderDemoFrame(1.0f);
  pixels = frame("origin_layer");
  EXPECT_EQ(count(pixels, kWhite, 0), (640 - 64) * (480 - 32));
  EXPECT_EQ(at(pixels, 63, 300).r, 0);
  keepOnFailure("origin");
}

// Every operator type in one frame: a picture to look at, and the frame must end clean.
TEST_F(FrameCompositionTest, EveryTypeInOneFrameEndsClean) {
  std::vector<uint8_t> checker;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const uint8_t v = ((x + y) % 2) ? 230 : 60;
      checker.insert(checker.end(), {v, v, static_cast<uint8_t>(v / 2 + 100), 255});
    }
  }
  makeTexture(kMetalSlot, 8, 8, checker);
  solidTexture(5, 40, 60, 160);
  solidTexture(6, 250, 200, 40, 200);
  solidTexture(kRenderTargetSlot0, 0, 0, 0);
  makeSphere(meshes_.meshes[2], 0.6f, 40, 20);

  addClip(0, 0.0f, 10.0f, kLayer2D, opaqueLayer(5));
  addClip(1, 0.0f, 10.0f, kStartRenderToTex, {8.0f, 8.0f});
  addClip(2, 0.0f, 10.0f, kBox, {0.0f, 0.0f, 30.0f, 0.8f});
  addClip(3, 0.0f, 10.0f, kEndRenderToTex, {8.0f, 8.0f, 90.0f});
  std::vector<float> camera(13, 0.0f);
  camera[3] = 0.5f;
  camera[4] = 0.8f;
  camera[5] = 1.5f;
  camera[12] = 75.0f;
  addClip(4, 0.0f, 10.0f, kCamera, camera);
  addClip(5, 0.0f, 10.0f, kModel3D, {0.0f, 0.0f, 0.0f, 1.0f, 0.2f, 1.0f, 0.0f, 2.0f});
  addClip(6, 0.0f, 10.0f, kFlat, {90.0f, 2.0f, 3.0f, 0.4f, 0.8f, -0.5f});
  addClip(7, 0.0f, 10.0f, kFlat, {6.0f, 2.0f, 1.0f, 0.2f, -0.9f, 0.6f});

  std::vector<uint8_t> pixels = render(1.25f, "every_type");
  expectCleanFrameState(captureState());
  EXPECT_GT(count(pixels, Rgb{40, 60, 160}, 2), 640 * 480 / 2);  // the background stays visible
  EXPECT_LT(count(pixels, Rgb{40, 60, 160}, 2), 640 * 480 - 5000);  // and things are drawn on it
}

}  // namespace
}  // namespace korvalin::test
