// An Image ID of minus infinity is a negative ID like any other: slot 0 for a picture, slot 90
// for a capture. Plus infinity names no slot, and NaN names nothing at all.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>

#include "render/effects.h"
#include "tests/common/gl_test_context.h"

namespace korvalin::test {
namespace {

const float kInf = std::numeric_limits<float>::infinity();

ParameterBlock block(std::initializer_list<float> values) {
  ParameterBlock p;
  for (float v : values) p[p.paramCount++] = v;
  return p;
}

class ImageIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    gl_ = std::make_unique<GlTestContext>(640, 480);
    ASSERT_TRUE(gl_->ok()) << gl_->error();
    glGenTextures(kTextureSlotCount, textures_.names);
    for (GLuint name : textures_.names) {
      const uint8_t red[4] = {255, 0, 0, 255};
      glBindTexture(GL_TEXTURE_2D, name);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, red);
    }
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -1.0f);
    glEnable(GL_DEPTH_TEST);
  }
  // Red in the middle of the picture after drawing the effect over black.
  int redAfter(void (*draw)(const ParameterBlock&, const TextureTable&), const ParameterBlock& p) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    draw(p, textures_);
    return gl_->pixel(320, 240)[0];
  }
  GLint captureWidth(int slot) {
    GLint w = 0;
    glBindTexture(GL_TEXTURE_2D, textures_.names[slot]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    return w;
  }

  std::unique_ptr<GlTestContext> gl_;
  TextureTable textures_;
};

TEST_F(ImageIdTest, MinusInfinityIsNegativeAndPlusInfinityNamesNoSlot) {
  // One, one: the picture replaces what was there.
  for (auto draw : {drawLayer2D, drawFlat}) {
    EXPECT_EQ(redAfter(draw, block({-kInf, 1, 0, 2, 0, 0})), 255);
    EXPECT_EQ(redAfter(draw, block({kInf, 1, 0, 2, 0, 0})), 0);
    EXPECT_EQ(redAfter(draw, block({std::numeric_limits<float>::quiet_NaN(), 1, 0, 2, 0, 0})), 0);
  }
  // Size 5 x 4: a capture gives the slot a 32-pixel width.
  for (float id : {kInf, std::numeric_limits<float>::quiet_NaN()}) {
    endRenderToTexture(block({5, 4, id}), textures_, DemoOrigin{});
  }
  for (int slot = 0; slot < kTextureSlotCount; ++slot) ASSERT_EQ(captureWidth(slot), 1) << slot;
  endRenderToTexture(block({5, 4, -kInf}), textures_, DemoOrigin{});
  EXPECT_EQ(captureWidth(kRenderTargetSlot0), 32);
}

}  // namespace
}  // namespace korvalin::test
