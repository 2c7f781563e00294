// Text, the value fields and the seven parameter panels: their rules, and what they draw on the
// editor canvas, read back pixel by pixel and glyph by glyph.
#include "editor/parameter_panel.h"
#include "tests/common/canvas.h"

namespace korvalin::test {
namespace {

TEST_F(CanvasTest, TextReadsBackGlyphByGlyphAtEverySize) {
  // Both ends of all three sheet rows; codes outside 32-127 take a step and draw nothing.
  const std::string sample = " !09?@AZ_`az~\x7f\t\xC8" "B";
  for (int size : {12, 14, 18}) {
    clear();
    drawText(sample.c_str(), size, 0, 100, 100);
    grab();
    EXPECT_EQ(text(size, 100, 100, sample.size()), " !09?@AZ_`az~\x7f\1\1B") << size;
  }
  // Whatever text is drawn, even nothing, blending ends off, depth testing on and the colour black.
  for (auto [s, size] : {std::pair{"", 14}, {nullptr, 14}, {"x", 14}, {"x", 13}}) {
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glColor3f(1.0f, 1.0f, 1.0f);
    drawText(s, size, 1, 50, 50);
    drawGlyph('x', size);  // a size without a sheet draws no glyph on its own either
    float colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_TRUE(!glIsEnabled(GL_BLEND) && glIsEnabled(GL_DEPTH_TEST) && colour[0] == 0.0f) << size;
  }
}

// Every panel's title and rows as "title:label|kind|min..max@y/digits;...", from the tables the
// panels are made to.
const char* const kPanels[kOperatorTypeCount] = {
    "2D Layer:Image ID |i|0..999@40/4;Blendmode Src|i|0..14@65/3;Blendmode Dst|i|0..14@90/3;",
    "Box:Rotate X|i|-360..360@40/5;Rotate Y|i|-360..360@65/5;Rotate Z|i|-360..360@90/5;Scale |f|0..10@115/4;",
    "Camera:Target x |f|-1000..1000@40/6;Target y |f|-1000..1000@65/6;Target z |f|-1000..1000@90/6;"
    "Position x |f|-1000..1000@115/6;Position y |f|-1000..1000@140/6;Position z |f|-1000..1000@165/6;"
    "Position sin x |f|0..100@190/5;Position sin y |f|0..100@215/5;Position sin z |f|0..100@240/5;"
    "Position sin x offset |f|0..100@265/5;Position sin y offset |f|0..100@290/5;"
    "Position sin z offset |f|0..100@315/5;Fov |f|10..200@340/5;",
    "Start rend To Tex:Size X|i|0..9@40/3;Size Y|i|0..9@65/3;",
    "End rend To Tex:Size X |i|0..9@40/3;Size Y |i|0..9@65/3;Image ID |i|90..100@90/5;",
    "3D Model:Position X |f|-1000..1000@40/6;Position Y |f|-1000..1000@65/6;Position Z |f|-1000..1000@90/6;"
    "Speed |f|-100..100@115/5;Distance |f|-1000..1000@140/6;Rotate speed |f|-720..720@165/5;"
    "Offset |f|-720..720@190/5;Model ID |i|0..6@215/3;",
    "Flat:Image ID |i|0..100@40/5;Blendmode src |i|0..14@65/4;Blendmode dst |i|0..14@90/4;Scale |f|-50..50@115/4;"
    "Position X |f|-1000..1000@140/6;Position Y |f|-1000..1000@165/6;"};

TEST_F(CanvasTest, EveryPanelBindsItsRowsAndDrawsThem) {
  for (int32_t type = 0; type < kOperatorTypeCount; ++type) {
    ParameterBlock block;
    EXPECT_TRUE(makeParameterPanel(-1, block, nullptr) == nullptr && makeParameterPanel(7, block, nullptr) == nullptr);
    for (int k = 0; k < kMaxParamCount; ++k) block[k] = (k ^ 3) * 1.5f;  // all apart; Box's Scale at its minimum, 0
    auto panel = makeParameterPanel(type, block, nullptr);
    auto& fields = dynamic_cast<FieldListPanel&>(*panel);
    EXPECT_EQ(block[3], 0.0f) << "a value at its minimum is kept";
    // A value above the maximum is kept, and cut to its box (a box 3 wide would cut it into its frame).
    if (fields.fieldCount() > 2 && fields.field(2).width > 3) block[2] = 123456789.0f;
    clear();
    panel->draw(fields.field(0).boxLeft() + 2, fields.field(0).y + 2);
    grab();
    std::string rows = text(18, 650, 20, std::string(kPanels[type]).find(':')) + ":";
    for (int32_t k = 0; k < fields.fieldCount(); ++k) {
      const ValueField& f = fields.field(k);
      const bool isFloat = fields.isFloatField(k);
      char row[96];
      std::snprintf(row, sizeof row, "%s|%c|%g..%g@%d/%d;", f.label, isFloat ? 'f' : 'i', f.minimum,
                    f.upperBound - (isFloat ? 0 : 1), f.y, f.width - (isFloat ? 4 : 0));
      rows += row;
      std::snprintf(row, sizeof row, isFloat ? "%.3f" : "%.0f", isFloat ? block[k] : std::trunc(block[k]));
      std::string shown = row;
      if (shown.size() > static_cast<size_t>(f.width)) shown = shown.substr(0, f.width - 1) + ">";  // cut, marked
      // Trailing spaces of short labels meet the box's frame.
      const std::string label = f.label, named = label.substr(0, label.find_last_not_of(' ') + 1);
      EXPECT_EQ(text(14, f.x - 6, f.y + 11, named.size()) + "=" + text(14, f.boxLeft() - 6, f.y + 11, shown.size(), true),
                named + "=" + shown) << type << "/" << k;
      // The box, white under the mouse; its frame 1.92 pixels wider all round; the caret 1.15
      // pixels wide at its left edge.
      const Rgb box = k == 0 ? Rgb{255, 255, 255} : Rgb{220, 220, 220};
      const int left = f.boxLeft(), right = f.boxRight(), y = f.y;
      expectPixels({{left + 1, y + 1, box}, {right - 1, y + 1, box}, {left, y + 1, kBlack}, {left - 2, y + 1, kBlack},
                    {left - 3, y + 1, kCanvas}, {right + 1, y + 1, kBlack}, {right + 2, y + 1, kCanvas},
                    {left + 8, y - 2, kBlack}, {left + 8, y - 3, kCanvas}, {left + 8, y + 18, kBlack},
                    {left + 8, y + 19, kCanvas}});
    }
    EXPECT_EQ(rows, kPanels[type]);
    // The middle button starts nothing, the right a fine drag of a float field, the left a
    // coarse drag of either kind; every drag ends with the buttons up.
    panel->mouseButton(1);
    EXPECT_FALSE(fields.field(0).dragging || fields.field(0).fineDragging);
    panel->mouseButton(2);
    panel->mouseButton(0);
    EXPECT_TRUE(fields.field(0).dragging && fields.field(0).fineDragging == fields.isFloatField(0)) << type;
    panel->mouseButton(-1);
    EXPECT_FALSE(fields.field(0).dragging || fields.field(0).fineDragging);
  }
}

}  // namespace
}  // namespace korvalin::test
