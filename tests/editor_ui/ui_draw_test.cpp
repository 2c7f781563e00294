// Drawing on the 1024 x 768 editor canvas in a hidden llvmpipe window: colours at known pixels,
// text placement and font cells, state left behind, and a reference picture of every panel.
#include <GL/gl.h>
#include <GL/glu.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "assets/texture_table.h"
#include "editor/parameter_panel.h"
#include "editor/ui_draw.h"
#include "editor/value_field.h"
#include "tests/common/gl_test_context.h"

namespace korvalin {
namespace {

using test::GlTestContext;

constexpr int kW = 1024;
constexpr int kH = 768;
using Rgb = std::array<int, 3>;
constexpr Rgb kBackground = {0, 64, 128};
constexpr Rgb kBlack = {0, 0, 0};

struct Metrics {
  double cellWidth, cellHeight;
};
constexpr Metrics kSheetMetrics[3] = {{0.014122916385531425, 0.23}, {0.016625, 0.269}, {0.021184375509619713, 0.3333}};

enum class Ink { Solid, CellCentres, OnlyA };

// A font sheet with a known pattern. CellCentres inks the middle of every cell, as a real glyph
// sits inside its cell; OnlyA inks only the cell of 'A'.
GLuint makeSheet(int slot, Ink ink) {
  constexpr int sw = 512, sh = 256;
  std::vector<uint8_t> rgba(sw * sh * 4, 0);
  for (int row = 0; row < sh; ++row) {
    for (int col = 0; col < sw; ++col) {
      const double s = (col + 0.5) / sw;
      const double down = 1.0 - (row + 0.5) / sh;  // texture row 0 is t = 0, the sheet's bottom
      const double cx = s / kSheetMetrics[slot].cellWidth;
      const double cy = down / kSheetMetrics[slot].cellHeight;
      const int cellCol = static_cast<int>(cx), cellRow = static_cast<int>(cy);
      const double fx = cx - cellCol, fy = cy - cellRow;
      bool on = false;
      if (ink == Ink::Solid) on = true;
      const bool centre = cellCol < 32 && cellRow < 3 && fx > 0.2 && fx < 0.8 && fy > 0.2 && fy < 0.8;
      if (ink == Ink::CellCentres) on = centre;
      if (ink == Ink::OnlyA) on = centre && cellCol == 1 && cellRow == 1;
      rgba[(row * sw + col) * 4 + 3] = on ? 255 : 0;
    }
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, sw, sh, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

GLuint makeSolidTexture(uint8_t r, uint8_t g, uint8_t b) {
  const uint8_t px[4 * 4] = {r, g, b, 255, r, g, b, 255, r, g, b, 255, r, g, b, 255};
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, px);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  return name;
}

// The picture read back, addressed in canvas pixels (y downwards).
struct Frame {
  std::vector<uint8_t> rgba;
  Rgb at(int cx, int cy) const {
    const size_t i = (static_cast<size_t>(kH - 1 - cy) * kW + cx) * 4;
    return {rgba[i], rgba[i + 1], rgba[i + 2]};
  }
  // Bounding box of ink (near-black pixels; real sheets are filtered) inside a canvas rectangle.
  struct Box {
    int left = kW, top = kH, right = -1, bottom = -1;
    bool empty() const { return right < left; }
  };
  Box inkIn(int l, int t, int r, int b) const {
    Box box;
    for (int y = t; y < b; ++y) {
      for (int x = l; x < r; ++x) {
        const Rgb c = at(x, y);
        if (c[0] > 60 || c[1] > 60 || c[2] > 60) continue;
        box.left = std::min(box.left, x);
        box.right = std::max(box.right, x);
        box.top = std::min(box.top, y);
        box.bottom = std::max(box.bottom, y);
      }
    }
    return box;
  }
};

class CanvasTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("KORVALIN_HEADLESS", "1", 0);  // a bad sheet must report on stderr, not open a box
    context_ = new GlTestContext(kW, kH);
  }
  static void TearDownTestSuite() {
    delete context_;
    context_ = nullptr;
  }

  void SetUp() override {
    if (!context_->ok()) GTEST_SKIP() << "no GL context: " << context_->error();
    useSheets(Ink::CellCentres);
    clear();
  }
  void TearDown() override {
    setTextTextures(nullptr);
    if (!sheets_.empty()) glDeleteTextures(static_cast<GLsizei>(sheets_.size()), sheets_.data());
    sheets_.clear();
  }

  void useSheets(Ink ink) {
    for (int slot = 0; slot < 3; ++slot) {
      table_.names[slot] = makeSheet(slot, ink);
      sheets_.push_back(table_.names[slot]);
    }
    setTextTextures(&table_);
  }

  // The editor pass's view: 384 canvas pixels per unit, canvas origin at the top left.
  static void clear() {
    glViewport(0, 0, kW, kH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(90.0, 1024.0 / 768.0, 0.1, 2000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(0.0f, 0.0f, -1.0f);
    glTranslatef(-1.3334f, 1.0f, 0.0f);
    glClearColor(kBackground[0] / 255.0f, kBackground[1] / 255.0f, kBackground[2] / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
  }

  static Frame grab() { return Frame{context_->readPixels(0, 0, kW, kH)}; }

  static void keep(const Frame& frame, const std::string& name) {
    std::vector<uint8_t> opaque = frame.rgba;
    for (size_t i = 3; i < opaque.size(); i += 4) opaque[i] = 255;
    test::writePng(test::artifactDir() + "/" + name, kW, kH, opaque);
  }

  // Each panel over a fresh block, the mouse over its first box: title and label ink, one grey
  // box per value, the hovered one white. Pictures are kept for a person to look at.
  void checkPanels(const std::string& prefix) {
    const char* files[kOperatorTypeCount] = {"layer2d", "box", "camera", "start_rtt", "end_rtt", "model3d", "flat"};
    for (int32_t type = 0; type < kOperatorTypeCount; ++type) {
      ParameterBlock block;
      block[0] = 5;
      auto panel = makeParameterPanel(type, block, textTextures());
      auto& fields = dynamic_cast<FieldListPanel&>(*panel);
      clear();
      panel->draw(fields.field(0).boxLeft() + 2, fields.field(0).y + 2);
      const Frame frame = grab();
      keep(frame, prefix + "panel_" + files[type] + ".png");
      EXPECT_FALSE(frame.inkIn(650, 20, 800, 40).empty()) << files[type];
      for (int32_t k = 0; k < fields.fieldCount(); ++k) {
        const ValueField& f = fields.field(k);
        const Rgb box = k == 0 ? Rgb{255, 255, 255} : Rgb{220, 220, 220};
        EXPECT_EQ(frame.at(f.boxRight() - 2, f.y + 2), box) << files[type] << " field " << k;
        EXPECT_FALSE(frame.inkIn(f.x, f.y, f.boxLeft() - 2, f.y + 17).empty()) << files[type] << " label " << k;
      }
    }
  }

  static GlTestContext* context_;
  TextureTable table_;
  std::vector<GLuint> sheets_;
};

GlTestContext* CanvasTest::context_ = nullptr;

TEST_F(CanvasTest, ButtonFaceShadowAndLabel) {
  Button button("Play", 20, 490, 60, 20, 1);
  glEnable(GL_BLEND);
  button.draw();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  EXPECT_FALSE(glIsEnabled(GL_BLEND));
  Frame frame = grab();
  EXPECT_EQ(frame.at(22, 492), (Rgb{171, 165, 157}));
  EXPECT_EQ(frame.at(78, 508), (Rgb{171, 165, 157}));  // the shadow, drawn later, stays under it
  EXPECT_EQ(frame.at(82, 500), (Rgb{141, 135, 127}));  // right strip
  EXPECT_EQ(frame.at(50, 512), (Rgb{141, 135, 127}));  // bottom strip
  EXPECT_EQ(frame.at(82, 492), kBackground);           // the shadow starts 3.84 px lower
  EXPECT_EQ(frame.at(85, 500), kBackground);
  EXPECT_EQ(frame.at(18, 500), kBackground);
  const Frame::Box label = frame.inkIn(0, 470, 200, 540);
  ASSERT_FALSE(label.empty());
  EXPECT_GT(label.left, 20);
  EXPECT_LT(label.right, 80);
  EXPECT_GT(label.top, 490);
  EXPECT_LT(label.bottom, 510);

  clear();
  button.setColour(10, 200, 30);
  button.draw();
  EXPECT_EQ(grab().at(22, 492), (Rgb{10, 200, 30}));
  clear();
  button.track(30, 500);
  button.draw();
  EXPECT_EQ(grab().at(22, 492), (Rgb{185, 185, 128}));
}

TEST_F(CanvasTest, CentredTextShiftsByTheLayoutAdvanceAndSitsOnItsBaseline) {
  TearDown();
  useSheets(Ink::Solid);
  drawText("Play", 14, 1, 50, 500);
  // Shift truncate(9 * 6 / 2) = 27 px, first glyph one pen step (8.4 px) right, baseline y 509,
  // glyphs 8.94 x 18.08 px.
  const Frame::Box box = grab().inkIn(0, 400, 300, 600);
  ASSERT_FALSE(box.empty());
  EXPECT_NEAR(box.left, 31, 1);
  EXPECT_NEAR(box.right, 65, 1);
  EXPECT_NEAR(box.top, 491, 1);
  EXPECT_NEAR(box.bottom, 508, 1);

  clear();
  drawText("Play", 14, 0, 50, 500);
  const Frame::Box plain = grab().inkIn(0, 400, 300, 600);
  EXPECT_NEAR(plain.left, 58, 1);
  EXPECT_EQ(plain.bottom, box.bottom);

  // Whatever is drawn, even nothing, blending ends off and depth testing on.
  const char* texts[] = {"", nullptr, "x"};
  const int sizes[] = {14, 14, 13};
  for (int k = 0; k < 3; ++k) {
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    drawText(texts[k], sizes[k], 1, 50, 50);
    EXPECT_TRUE(!glIsEnabled(GL_BLEND) && glIsEnabled(GL_DEPTH_TEST)) << k;
  }
}

TEST_F(CanvasTest, EachSizeReadsItsOwnSheetAndCell) {
  TearDown();
  useSheets(Ink::OnlyA);
  const int sizes[] = {12, 14, 18};
  for (int size : sizes) {
    clear();
    drawText("A", size, 0, 100, 100);
    drawText("B@a", size, 0, 100, 200);
    drawText("\tA", size, 0, 100, 300);
    drawText("\xC8" "A", size, 0, 100, 400);  // a negative char
    const Frame frame = grab();
    const Frame::Box a = frame.inkIn(0, 80, 300, 140);
    ASSERT_FALSE(a.empty()) << size;
    EXPECT_TRUE(frame.inkIn(0, 180, 300, 240).empty()) << size;
    // Codes outside 32-127 draw nothing but still move the pen one step.
    const int step = size == 12 ? 8 : size == 14 ? 8 : 11;
    for (int y : {280, 380}) {
      const Frame::Box shifted = frame.inkIn(0, y, 300, y + 60);
      ASSERT_FALSE(shifted.empty()) << size;
      EXPECT_NEAR(shifted.left - a.left, step, 1) << size;
    }
  }
}

TEST_F(CanvasTest, ValueFieldFrameBoxCaretAndText) {
  float value = 7;
  IntField field;
  field.bind(&value, 0, 9, 660, 40, 3, "Size X");  // box 714..738 x 40..57
  field.track(0, 0);
  field.draw();
  EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
  Frame frame = grab();
  EXPECT_EQ(frame.at(735, 54), (Rgb{220, 220, 220}));
  EXPECT_EQ(frame.at(713, 48), kBlack);  // frame, left
  EXPECT_EQ(frame.at(738, 48), kBlack);  // frame, right
  EXPECT_EQ(frame.at(730, 57), kBlack);  // frame, bottom
  EXPECT_EQ(frame.at(714, 50), kBlack);  // caret along the inside of the left edge
  EXPECT_EQ(frame.at(741, 48), kBackground);
  // The digit inside the box, clear of its frame; nothing below the frame.
  const Frame::Box digits = frame.inkIn(715, 41, 738, 57);
  ASSERT_FALSE(digits.empty());
  EXPECT_GT(digits.top, 41);
  EXPECT_LT(digits.bottom, 56);
  EXPECT_LT(digits.right, 737);
  EXPECT_TRUE(frame.inkIn(700, 59, 760, 70).empty());
  const Frame::Box label = frame.inkIn(600, 38, 712, 62);
  ASSERT_FALSE(label.empty());
  EXPECT_GT(label.left, 660);

  clear();
  field.track(730, 45);
  field.draw();
  EXPECT_EQ(grab().at(735, 54), (Rgb{255, 255, 255}));
}

TEST_F(CanvasTest, EveryPanelDrawsItsTitleAndBoxes) { checkPanels(""); }

TEST_F(CanvasTest, Layer2DPreviewShowsTheSlotAndNothingOutsideTheTable) {
  table_.names[5] = makeSolidTexture(200, 30, 40);
  ParameterBlock block;
  block[0] = 5;
  Layer2DPanel panel(block, &table_);
  panel.draw(0, 0);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  Frame frame = grab();
  EXPECT_EQ(frame.at(662, 132), (Rgb{200, 30, 40}));
  EXPECT_EQ(frame.at(858, 328), (Rgb{200, 30, 40}));
  EXPECT_EQ(frame.at(862, 230), kBackground);

  for (float id : {100.0f, 1500.0f}) {
    clear();
    block[0] = id;
    panel.draw(0, 0);
    EXPECT_EQ(grab().at(760, 230), kBackground) << id;
  }
  glDeleteTextures(1, &table_.names[5]);
}

// The generated sheets of the run folder, loaded as the program loads them.
TEST_F(CanvasTest, PanelsWithTheRunFolderFontSheets) {
  const std::string dir = KORVALIN_RUN_DIR;
  const char* files[] = {"/text12.bmp", "/text14.bmp", "/text18.bmp"};
  for (const char* file : files) {
    std::FILE* probe = std::fopen((dir + file).c_str(), "rb");
    if (probe == nullptr) GTEST_SKIP() << "no font sheets in " << dir << " yet";
    std::fclose(probe);
  }
  TextureTable real;
  glGenTextures(3, real.names);
  for (int slot = 0; slot < 3; ++slot) uploadFontSheet(real, (dir + files[slot]).c_str(), slot);
  real.names[5] = makeSolidTexture(200, 30, 40);  // for the 2D layer's preview
  setTextTextures(&real);
  checkPanels("real_");

  clear();
  Button play("Play", 20, 490, 60, 20, 1), pause("Pause", 90, 490, 60, 20, 2), stop("Stop", 160, 490, 60, 20, 3);
  pause.track(100, 500);
  play.draw();
  pause.draw();
  stop.draw();
  drawText("size 12: The quick brown fox ~ 0123456789 !?", 12, 0, 20, 560);
  drawText("size 14: The quick brown fox ~ 0123456789 !?", 14, 0, 20, 590);
  drawText("size 18: The quick brown fox ~ 0123456789 !?", 18, 0, 20, 620);
  keep(grab(), "real_text_and_buttons.png");
  glDeleteTextures(6, real.names);
}

}  // namespace
}  // namespace korvalin
