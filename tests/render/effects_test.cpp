#include <GL/gl.h>

#include <cmath>
#include <limits>

#include "render/effects.h"
#include "tests/render/render_fixture.h"

namespace korvalin::test {
namespace {

constexpr int kAllPixels = 640 * 480;
const Rgb kBlack{0, 0, 0};
const Rgb kWhite{255, 255, 255};
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

ParameterBlock block(std::initializer_list<float> values) {
  ParameterBlock p;
  int i = 0;
  for (float v : values) p[i++] = v;
  p.paramCount = i;
  return p;
}

ParameterBlock cameraBlock(float eyeX, float eyeY, float eyeZ, float fov) {
  ParameterBlock p;
  p[3] = eyeX;
  p[4] = eyeY;
  p[5] = eyeZ;
  p[12] = fov;
  p.paramCount = 13;
  return p;
}

class EffectsTest : public RenderTest {
 protected:
  void SetUp() override {
    RenderTest::SetUp();
    beginFrameState();
  }
  // The picture an effect drew, with the state it left checked against the frame table.
  std::vector<uint8_t> finish(const std::string& name) {
    expectCleanFrameState(captureState());
    return frame(name);
  }
};

// --- Layer 2D and Flat -----------------------------------------------------------------------

TEST_F(EffectsTest, Layer2DWithCodes2And3BlendsAtHalfAlpha) {
  resetToShellState(0.0f, 0.0f, 1.0f);
  beginFrameState();
  const GLuint red = solidTexture(5, 255, 0, 0);
  const GlState before = captureState();
  drawLayer2D(block({5, 2, 3}), textures_);
  const GlState after = captureState();
  EXPECT_EQ(after.modelview, before.modelview);
  EXPECT_EQ(after.colour, (std::array<GLfloat, 4>{1.0f, 1.0f, 1.0f, 0.5f}));
  EXPECT_EQ(after.blendSrc, GL_SRC_ALPHA);
  EXPECT_EQ(after.blendDst, GL_ONE_MINUS_SRC_ALPHA);
  EXPECT_EQ(after.boundTexture, static_cast<GLint>(red));
  std::vector<uint8_t> pixels = finish("layer2d_half_alpha");
  EXPECT_EQ(count(pixels, Rgb{128, 0, 128}, 2), kAllPixels);
}

TEST_F(EffectsTest, Layer2DWithCodes1And1AddsTheFullColour) {
  resetToShellState(0.25f, 0.25f, 0.25f);
  beginFrameState();
  solidTexture(5, 128, 64, 0);
  drawLayer2D(block({5, 1, 1}), textures_);
  std::vector<uint8_t> pixels = finish("layer2d_add");
  EXPECT_RGB_NEAR(at(pixels, 0, 0), 192, 128, 64, 2);
  EXPECT_EQ(count(pixels, Rgb{192, 128, 64}, 2), kAllPixels);
}

TEST_F(EffectsTest, Layer2DFollowsTheCamerasProjectionNotItsView) {
  solidTexture(5, 255, 255, 255);
  ParameterBlock camera = cameraBlock(3.0f, 1.0f, 0.0f, 60.0f);  // looking sideways
  applyCamera(camera);
  drawLayer2D(block({5, 1, 0}), textures_);
  EXPECT_EQ(count(finish("layer2d_fov60"), kWhite, 0), kAllPixels);
}

TEST_F(EffectsTest, NegativeImageIdMeansSlotZero) {
  solidTexture(0, 255, 0, 0);
  drawLayer2D(block({-3, 1, 0}), textures_);
  drawFlat(block({-0.5f, 1, 0, 0.5f, 0, 0}), textures_);
  EXPECT_EQ(count(finish("negative_id"), Rgb{255, 0, 0}, 0), kAllPixels);
}

TEST_F(EffectsTest, ImageIdOutsideTheTableDrawsNothingButLeavesTheStateOfAValidClip) {
  for (int slot = 0; slot < kTextureSlotCount; ++slot) solidTexture(slot, 255, 255, 255);
  glBindTexture(GL_TEXTURE_2D, textures_.names[7]);
  for (float id : {100.0f, 999.0f, 1e9f, kNaN, kInf, -kInf}) {
    for (bool flat : {false, true}) {
      glBlendFunc(GL_ONE, GL_ZERO);
      glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
      const GlState before = captureState();
      if (flat) {
        drawFlat(block({id, 2, 3, 1, 0, 0}), textures_);
      } else {
        drawLayer2D(block({id, 2, 3}), textures_);
      }
      const GlState after = captureState();
      EXPECT_EQ(after.modelview, before.modelview) << id;
      EXPECT_EQ(after.boundTexture, before.boundTexture) << id;
      EXPECT_EQ(after.colour, (std::array<GLfloat, 4>{1.0f, 1.0f, 1.0f, 0.5f})) << id;
      EXPECT_EQ(after.blendSrc, GL_SRC_ALPHA) << id;
      EXPECT_EQ(after.blendDst, GL_ONE_MINUS_SRC_ALPHA) << id;
      expectCleanFrameState(after);
    }
  }
  EXPECT_EQ(count(frame("id_outside_table"), kBlack, 0), kAllPixels);
}

TEST_F(EffectsTest, InvalidBlendCodesKeepTheEarlierFunctionWithoutAGlError) {
  resetToShellState(0.25f, 0.25f, 0.25f);
  beginFrameState();
  solidTexture(5, 32, 32, 32);
  glBlendFunc(GL_ONE, GL_ONE);
  for (const auto& codes : {std::pair<float, float>{9, 1}, {-1, 1}, {1, 14}, {kNaN, 0}, {1, kInf}}) {
    drawLayer2D(block({5, codes.first, codes.second}), textures_);
    const GlState after = captureState();
    EXPECT_EQ(after.blendSrc, GL_ONE);
    EXPECT_EQ(after.blendDst, GL_ONE);
    expectCleanFrameState(after);
  }
  // Five layers added under the earlier function.
  EXPECT_RGB_NEAR(at(frame("invalid_codes"), 320, 240), 64 + 5 * 32, 64 + 5 * 32, 64 + 5 * 32, 3);
}

TEST_F(EffectsTest, FlatIsScaledAboutItsCentreAndPlacedInHalfHeightUnits) {
  solidTexture(5, 255, 255, 255);
  drawFlat(block({5, 1, 0, 0.5f, 0.5f, 0.0f}), textures_);
  std::vector<uint8_t> pixels = finish("flat_placed");
  // 0.5 x (+-1.3334, +-1) moved right by half the half-height: x 280-600, y 120-360.
  EXPECT_NEAR(count(pixels, kWhite, 0), 320 * 240, 2 * (320 + 240));
  EXPECT_EQ(at(pixels, 440, 240).r, 255);
  EXPECT_EQ(at(pixels, 283, 123).r, 255);
  EXPECT_EQ(at(pixels, 276, 240).r, 0);
  EXPECT_EQ(at(pixels, 604, 240).r, 0);
  EXPECT_EQ(at(pixels, 440, 364).r, 0);
}

// --- Box -------------------------------------------------------------------------------------

TEST_F(EffectsTest, BoxIsTheUnitSquareOfTheFrameSpace) {
  const GlState before = captureState();
  drawBox(block({0, 0, 0, 1}));
  EXPECT_EQ(captureState().modelview, before.modelview);
  std::vector<uint8_t> pixels = finish("box");
  // At distance 2 under the 90-degree projection one unit is 120 pixels.
  EXPECT_NEAR(count(pixels, kWhite, 0), 120 * 120, 2 * 120 + 1);
  EXPECT_EQ(at(pixels, 380, 300).r, 255);
  EXPECT_EQ(at(pixels, 316, 300).r, 0);
  EXPECT_EQ(at(pixels, 380, 236).r, 0);
}

TEST_F(EffectsTest, BoxRotatesAboutXThenYThenZ) {
  // Applied to the square innermost first: Z 90 takes it to x -1..0, then X 180 to y -1..0.
  drawBox(block({180, 0, 90, 1}));
  std::vector<uint8_t> pixels = finish("box_rotated");
  EXPECT_EQ(at(pixels, 260, 180).r, 255);
  EXPECT_EQ(at(pixels, 380, 300).r, 0);
  EXPECT_EQ(at(pixels, 380, 180).r, 0);
  EXPECT_EQ(at(pixels, 260, 300).r, 0);
}

TEST_F(EffectsTest, BoxWithScaleZeroOrNonFiniteValuesDrawsNothing) {
  const GlState before = captureState();
  for (const ParameterBlock& p : {block({0, 0, 0, 0}), block({45, 10, 5, 0}), block({kNaN, 0, 0, 1}),
                                  block({0, 0, 0, kInf}), block({0, -kInf, 0, 1}), block({0, 0, 0, kNaN})}) {
    drawBox(p);
    const GlState after = captureState();
    EXPECT_EQ(after.modelview, before.modelview);
    expectCleanFrameState(after);
  }
  EXPECT_EQ(count(frame("box_nothing"), kBlack, 0), kAllPixels);
}

// --- Camera ----------------------------------------------------------------------------------

TEST_F(EffectsTest, CameraMultipliesTheLookAtAndReplacesTheProjection) {
  applyCamera(cameraBlock(0.0f, 0.0f, 5.0f, 90.0f));
  GlState s = captureState();
  expectCleanFrameState(s);
  // The frame's (0, 0, -2) then the eye 5 units back.
  EXPECT_FLOAT_EQ(s.modelview[0], 1.0f);
  EXPECT_FLOAT_EQ(s.modelview[5], 1.0f);
  EXPECT_FLOAT_EQ(s.modelview[10], 1.0f);
  EXPECT_FLOAT_EQ(s.modelview[14], -7.0f);
  const double n = 0.10000000149011612;
  const double f = 10000.0;
  EXPECT_FLOAT_EQ(s.projection[0], 0.75f);
  EXPECT_FLOAT_EQ(s.projection[5], 1.0f);
  EXPECT_FLOAT_EQ(s.projection[10], static_cast<float>(-(f + n) / (f - n)));
  EXPECT_FLOAT_EQ(s.projection[11], -1.0f);
  EXPECT_FLOAT_EQ(s.projection[14], static_cast<float>(-2.0 * f * n / (f - n)));
  EXPECT_FLOAT_EQ(s.projection[15], 0.0f);

  // A second camera multiplies onto the first.
  applyCamera(cameraBlock(0.0f, 0.0f, 5.0f, 90.0f));
  EXPECT_FLOAT_EQ(captureState().modelview[14], -12.0f);
}

TEST_F(EffectsTest, CameraPositionSinValuesHaveNoEffect) {
  ParameterBlock camera = cameraBlock(1.0f, 1.5f, 3.0f, 70.0f);
  applyCamera(camera);
  drawBox(block({0, 0, 0, 1}));
  std::vector<uint8_t> plain = frame("camera_plain");
  EXPECT_GT(count(plain, kWhite, 0), 1000);

  resetToShellState();
  beginFrameState();
  for (int i = 6; i <= 11; ++i) camera[i] = 3.5f * i - 20.0f;
  applyCamera(camera);
  drawBox(block({0, 0, 0, 1}));
  EXPECT_TRUE(plain == frame("camera_sin"));
}

TEST_F(EffectsTest, CameraWithoutAFiniteViewIsDroppedWhole) {
  ParameterBlock overflow = cameraBlock(3e38f, 3e38f, 3e38f, 90.0f);
  overflow[0] = -3e38f;
  overflow[1] = -3e38f;
  overflow[2] = -3e38f;
  ParameterBlock nanTarget = cameraBlock(0.0f, 0.0f, 5.0f, 90.0f);
  nanTarget[1] = kNaN;
  for (const ParameterBlock& p : {cameraBlock(kNaN, 0.0f, 5.0f, 90.0f), cameraBlock(0.0f, kInf, 5.0f, 90.0f),
                                  cameraBlock(0.0f, 0.0f, 5.0f, kNaN), cameraBlock(0.0f, 0.0f, 5.0f, -kInf),
                                  nanTarget, overflow}) {
    const GlState before = captureState();
    applyCamera(p);
    const GlState after = captureState();
    EXPECT_EQ(after.modelview, before.modelview);
    EXPECT_EQ(after.projection, before.projection);
    expectCleanFrameState(after);
  }
}

// --- Render to texture -----------------------------------------------------------------------

class RenderToTextureTest : public EffectsTest {
 protected:
  GLint slotWidth(int slot) {
    GLint saved = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &saved);
    glBindTexture(GL_TEXTURE_2D, textures_.names[slot]);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glBindTexture(GL_TEXTURE_2D, saved);
    return width;
  }
  std::array<GLint, 4> viewport() { return captureState().viewport; }
};

TEST_F(RenderToTextureTest, CaptureAt8By8IntoSlot90ShowsInALaterFlat) {
  solidTexture(kRenderTargetSlot0, 0, 0, 255);
  beginRenderToTexture(block({8, 8}), DemoOrigin{});
  EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 256, 256}));
  expectCleanFrameState(captureState());
  drawBox(block({0, 0, 0, 1}));  // 48 x 64 pixels at (128, 128) of the small viewport
  endRenderToTexture(block({8, 8, 90}), textures_, DemoOrigin{});
  const GlState afterEnd = captureState();
  EXPECT_EQ(afterEnd.viewport, (std::array<GLint, 4>{0, 0, 640, 480}));
  EXPECT_EQ(afterEnd.boundTexture, static_cast<GLint>(textures_.names[kRenderTargetSlot0]));
  expectCleanFrameState(afterEnd);
  EXPECT_EQ(slotWidth(kRenderTargetSlot0), 256);

  drawFlat(block({90, 1, 0, 0.5f, 0, 0}), textures_);
  std::vector<uint8_t> pixels = finish("capture_flat");
  // The flat spans x 160-480, y 120-360; the captured square sits at its texture's (0.5-0.69, 0.5-0.75).
  EXPECT_EQ(at(pixels, 350, 270).r, 255);
  EXPECT_EQ(at(pixels, 250, 200).r, 0);
  EXPECT_EQ(at(pixels, 250, 200).b, 0);
  // The captured picture stays in the framebuffer corner where nothing drew over it (x 128-160).
  EXPECT_EQ(at(pixels, 150, 160).r, 255);
  EXPECT_NEAR(count(pixels, kWhite, 0), 60 * 60 + 32 * 64, 250);
}

TEST_F(RenderToTextureTest, ImageIdMinusOneMeans90And100CapturesNothing) {
  solidTexture(kRenderTargetSlot0, 0, 0, 255);
  beginRenderToTexture(block({5, 4}), DemoOrigin{});
  endRenderToTexture(block({5, 4, 100}), textures_, DemoOrigin{});
  EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 640, 480}));
  EXPECT_EQ(slotWidth(kRenderTargetSlot0), 2);
  expectCleanFrameState(captureState());

  endRenderToTexture(block({5, 4, -1}), textures_, DemoOrigin{});
  EXPECT_EQ(slotWidth(kRenderTargetSlot0), 32);
  expectCleanFrameState(captureState());
}

TEST_F(RenderToTextureTest, BadImageIdsOrSizesCaptureNothingAndStillRestoreTheViewport) {
  for (int slot = 0; slot < kTextureSlotCount; ++slot) solidTexture(slot, 0, 0, 255);
  const std::initializer_list<float> badIds = {101, 1e9f, kNaN, kInf, -kInf};
  const std::initializer_list<float> badExponents = {31, 32, 40, -1, -40, kNaN, kInf};
  for (float id : badIds) {
    beginRenderToTexture(block({4, 4}), DemoOrigin{});
    endRenderToTexture(block({4, 4, id}), textures_, DemoOrigin{});
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 640, 480})) << id;
    expectCleanFrameState(captureState());
  }
  for (float exponent : badExponents) {
    beginRenderToTexture(block({4, 4}), DemoOrigin{});
    endRenderToTexture(block({exponent, 4, 91}), textures_, DemoOrigin{});
    endRenderToTexture(block({4, exponent, 92}), textures_, DemoOrigin{});
    EXPECT_EQ(viewport(), (std::array<GLint, 4>{0, 0, 640, 480})) << exponent;
    expectCleanFrameState(captureState());
  }
  for (int slot = 0; slot < kTextureSlotCount; ++slot) EXPECT_EQ(slotWidth(slot), 2) << slot;
}

TEST_F(RenderToTextureTest, StartWithABadSizeDrawsIntoNoViewportUntilTheEnd) {
  solidTexture(5, 255, 255, 255);
  for (float exponent : {kNaN, 31.0f, -1.0f, -kInf}) {
    resetToShellState();
    beginFrameState();
    beginRenderToTexture(block({exponent, 8}), DemoOrigin{});
    EXPECT_EQ(viewport()[2], 0) << exponent;
    expectCleanFrameState(captureState());
    drawLayer2D(block({5, 1, 0}), textures_);
    EXPECT_EQ(count(frame("start_bad_size"), kBlack, 0), kAllPixels) << exponent;
    endRenderToTexture(block({8, 8, 100}), textures_, DemoOrigin{});
    drawLayer2D(block({5, 1, 0}), textures_);
    EXPECT_EQ(count(frame("start_bad_size_ended"), kWhite, 0), kAllPixels) << exponent;
  }
}

}  // namespace
}  // namespace korvalin::test
