// Drawing on the 1024 x 768 editor canvas in a hidden llvmpipe window: colours at known pixels,
// glyphs inside their boxes, GL state left behind, and a picture of every panel for a person.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "assets/texture_table.h"
#include "editor/parameter_panel.h"
#include "editor/ui_draw.h"
#include "editor/value_field.h"
#include "tests/common/gl_test_context.h"

namespace korvalin {
namespace {

constexpr int kW = 1024, kH = 768;
using Rgb = std::array<int, 3>;
constexpr Rgb kBackground = {0, 64, 128};
constexpr Rgb kRed = {200, 30, 40};

GLuint upload(int w, int h, const uint8_t* rgba) {
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

GLuint makeRedTexture() {
  const uint8_t px[4] = {200, 30, 40, 255};
  return upload(1, 1, px);
}

// A font sheet inked in the middle of every cell, as a real glyph sits inside its cell.
GLuint makeSheet(double cellWidth, double cellHeight) {
  constexpr int sw = 512, sh = 256;
  std::vector<uint8_t> rgba(sw * sh * 4, 0);
  for (int row = 0; row < sh; ++row) {
    for (int col = 0; col < sw; ++col) {
      const double cx = (col + 0.5) / sw / cellWidth, cy = (1.0 - (row + 0.5) / sh) / cellHeight;
      const double fx = cx - static_cast<int>(cx), fy = cy - static_cast<int>(cy);
      const bool on = cx < 32 && cy < 3 && fx > 0.2 && fx < 0.8 && fy > 0.2 && fy < 0.8;
      rgba[(row * sw + col) * 4 + 3] = on ? 255 : 0;
    }
  }
  return upload(sw, sh, rgba.data());
}

// The picture read back, addressed in canvas pixels (y downwards).
struct Frame {
  std::vector<uint8_t> rgba;
  Rgb at(int x, int y) const {
    const size_t i = (static_cast<size_t>(kH - 1 - y) * kW + x) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
  }
  struct Box {
    int left = kW, top = kH, right = -1, bottom = -1;
    bool empty() const { return right < left; }
  };
  // Bounding box of near-black ink (real sheets are filtered) inside a canvas rectangle.
  Box inkIn(int l, int t, int r, int b) const {
    Box box;
    for (int y = t; y < b; ++y) {
      for (int x = l; x < r; ++x) {
        const Rgb c = at(x, y);
        if (c[0] > 60 || c[1] > 60 || c[2] > 60) continue;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x), std::max(box.bottom, y)};
      }
    }
    return box;
  }
};

class CanvasTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("KORVALIN_HEADLESS", "1", 0);  // a bad sheet must report on stderr, not open a box
    context_ = new test::GlTestContext(kW, kH);
  }
  static void TearDownTestSuite() { delete context_; }

  void SetUp() override {
    if (!context_->ok()) GTEST_SKIP() << "no GL context: " << context_->error();
    const double cells[3][2] = {{0.014122916385531425, 0.23}, {0.016625, 0.269}, {0.021184375509619713, 0.3333}};
    for (int slot = 0; slot < 3; ++slot) table_.names[slot] = makeSheet(cells[slot][0], cells[slot][1]);
    table_.names[5] = makeRedTexture();
    setTextTextures(&table_);
    clear();
  }
  void TearDown() override {
    setTextTextures(nullptr);
    glDeleteTextures(6, table_.names);
  }

  // The editor pass's view: 384 canvas pixels per unit, canvas origin at the top left.
  static void clear() {
    glViewport(0, 0, kW, kH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(-1.3334f, 1.0f, -1.0f);
    glClearColor(kBackground[0] / 255.0f, kBackground[1] / 255.0f, kBackground[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
  }
  static Frame grab() { return Frame{context_->readPixels(0, 0, kW, kH)}; }
  static void keep(const Frame& frame, const std::string& name) {
    std::vector<uint8_t> opaque = frame.rgba;
    for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
    test::writePng(test::artifactDir() + "/" + name, kW, kH, opaque);
  }

  // Each panel over a fresh block with the mouse over its first box: title and label ink, one
  // grey box per value, the hovered one white.
  static void checkPanels(const std::string& prefix) {
    const char* files[kOperatorTypeCount] = {"layer2d", "box", "camera", "start_rtt", "end_rtt", "model3d", "flat"};
    for (int32_t type = 0; type < kOperatorTypeCount; ++type) {
      ParameterBlock block;
      block[0] = 5;
      auto panel = makeParameterPanel(type, block, textTextures());
      auto& fields = dynamic_cast<FieldListPanel&>(*panel);
      clear();
      panel->draw(fields.field(0).boxLeft() + 2, fields.field(0).y + 2);
      EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
      const Frame frame = grab();
      keep(frame, prefix + "panel_" + files[type] + ".png");
      // The 2D layer previews slot 5 under its fields; the slot is red in both tables.
      EXPECT_TRUE(type != kLayer2D || (frame.at(662, 132) == kRed && frame.at(858, 328) == kRed));
      EXPECT_FALSE(frame.inkIn(650, 20, 800, 40).empty()) << files[type];
      for (int32_t k = 0; k < fields.fieldCount(); ++k) {
        const ValueField& f = fields.field(k);
        const Rgb box = k == 0 ? Rgb{255, 255, 255} : Rgb{220, 220, 220};
        EXPECT_EQ(frame.at(f.boxRight() - 2, f.y + 2), box) << files[type] << " field " << k;
        EXPECT_FALSE(frame.inkIn(f.x, f.y, f.boxLeft() - 2, f.y + 17).empty()) << files[type] << " label " << k;
        // The value inside the box's frame (its left column is the caret), nothing below it.
        const Frame::Box value = frame.inkIn(f.boxLeft() + 1, f.y + 1, f.boxRight() - 1, f.y + 17);
        EXPECT_TRUE(!value.empty() && value.top > f.y + 1 && value.bottom < f.y + 16) << files[type] << " value " << k;
        EXPECT_TRUE(frame.inkIn(f.boxLeft() - 1, f.y + 19, f.boxRight() + 1, f.y + 23).empty()) << files[type] << k;
      }
    }
  }

  static test::GlTestContext* context_;
  TextureTable table_;
};

test::GlTestContext* CanvasTest::context_ = nullptr;

TEST_F(CanvasTest, ButtonFaceShadowLabelAndHover) {
  Button button("Play", 20, 490, 60, 20, 1);
  glEnable(GL_BLEND);
  button.draw();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && !glIsEnabled(GL_BLEND));
  const Frame frame = grab();
  const Rgb face = {171, 165, 157}, shadow = {141, 135, 127};
  EXPECT_EQ(frame.at(22, 492), face);
  EXPECT_EQ(frame.at(78, 508), face);  // the shadow, drawn later, stays under the face
  EXPECT_EQ(frame.at(82, 500), shadow);
  EXPECT_EQ(frame.at(50, 512), shadow);
  for (auto [x, y] : {std::pair{82, 492}, {85, 500}, {18, 500}}) EXPECT_EQ(frame.at(x, y), kBackground);
  const Frame::Box label = frame.inkIn(0, 470, 200, 540);
  ASSERT_FALSE(label.empty());
  EXPECT_TRUE(label.left > 20 && label.right < 80 && label.top > 490 && label.bottom < 510);

  clear();
  button.setColour(10, 200, 30);
  button.draw();
  EXPECT_EQ(grab().at(22, 492), (Rgb{10, 200, 30}));
  clear();
  button.track(30, 500);
  button.draw();
  EXPECT_EQ(grab().at(22, 492), (Rgb{185, 185, 128}));
}

TEST_F(CanvasTest, TextCentringBadCodesAndStateLeftBehind) {
  for (int size : {12, 14, 18}) {
    clear();
    drawText("Play", size, 0, 100, 100);
    drawText("Play", size, 1, 100, 200);
    drawText("\tA", size, 0, 100, 300);
    drawText("\xC8" "A", size, 0, 100, 400);  // a negative char
    drawText("A", size, 0, 100, 500);
    const Frame frame = grab();
    const Frame::Box plain = frame.inkIn(0, 60, 300, 140), centred = frame.inkIn(0, 160, 300, 240);
    const Frame::Box a = frame.inkIn(0, 460, 300, 540);
    ASSERT_FALSE(plain.empty() || centred.empty() || a.empty()) << size;
    EXPECT_EQ(centred.bottom - 100, plain.bottom);  // same baseline
    EXPECT_TRUE(size != 14 || plain.left - centred.left == 27) << plain.left - centred.left;  // truncate(9 * 6 / 2)
    // Codes outside 32-127 draw nothing but still move the pen one step.
    const int step = size == 18 ? 11 : 8;
    for (int y : {260, 360}) EXPECT_NEAR(frame.inkIn(0, y, 300, y + 80).left - a.left, step, 1) << size;
  }
  // Whatever is drawn, even nothing, blending ends off and depth testing on.
  for (const char* text : {"", static_cast<const char*>(nullptr), "x"}) {
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    drawText(text, 14, 1, 50, 50);
    EXPECT_TRUE(!glIsEnabled(GL_BLEND) && glIsEnabled(GL_DEPTH_TEST));
  }
}

TEST_F(CanvasTest, EveryPanelDrawsItsTitleBoxesAndNoPreviewOutsideTheTable) {
  checkPanels("");
  clear();
  ParameterBlock block;
  block[0] = 1500;
  Layer2DPanel(block, &table_).draw(0, 0);
  EXPECT_EQ(grab().at(760, 230), kBackground);
}

// The generated sheets of the run folder, loaded as the program loads them; the pictures are the
// reference/ ones a person looks at for legibility.
TEST_F(CanvasTest, PanelsWithTheRunFolderFontSheets) {
  const std::string dir = KORVALIN_RUN_DIR;
  const char* files[] = {"/text12.bmp", "/text14.bmp", "/text18.bmp"};
  for (const char* file : files) {
    if (!std::ifstream(dir + file)) GTEST_SKIP() << "no font sheets in " << dir << " yet";
  }
  TextureTable real;
  glGenTextures(3, real.names);
  for (int slot = 0; slot < 3; ++slot) uploadFontSheet(real, (dir + files[slot]).c_str(), slot);
  real.names[5] = makeRedTexture();  // for the 2D layer's preview
  setTextTextures(&real);
  checkPanels("real_");

  clear();
  Button play("Play", 20, 490, 60, 20, 1), pause("Pause", 90, 490, 60, 20, 2), stop("Stop", 160, 490, 60, 20, 3);
  pause.track(100, 500);
  for (Button* b : {&play, &pause, &stop}) b->draw();
  for (int size : {12, 14, 18}) {
    drawText(("size " + std::to_string(size) + ": The quick brown fox ~ 0123456789 !?").c_str(), size, 0, 20,
             size == 12 ? 560 : size == 14 ? 590 : 620);
  }
  keep(grab(), "real_text_and_buttons.png");
  glDeleteTextures(6, real.names);
}

}  // namespace
}  // namespace korvalin
