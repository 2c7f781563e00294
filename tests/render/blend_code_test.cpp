#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/effects.h"

namespace korvalin {
namespace {

TEST(BlendCode, MapsTheNineCodesOntoTheGlFactors) {
  const GLenum expected[] = {GL_ZERO,      GL_ONE,           GL_SRC_ALPHA,           GL_ONE_MINUS_SRC_ALPHA,
                             GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA, GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR,
                             GL_SRC_ALPHA_SATURATE};
  for (int code = 0; code <= 8; ++code) {
    EXPECT_EQ(blendCode(code), expected[code]) << "code " << code;
    EXPECT_TRUE(isBlendCodeValid(code));
  }
}

TEST(BlendCode, CodesOutsideTheTableNameNoFactor) {
  // Negative codes pass unchanged (a signed comparison), so none reaches GL_SRC_COLOR.
  EXPECT_EQ(blendCode(-1), 0xFFFFFFFFu);
  EXPECT_EQ(blendCode(9), 777u);
  EXPECT_EQ(blendCode(std::numeric_limits<int32_t>::max()), 768u + 0x7FFFFFFFu);
  for (int code : {-768, -1, 9, 14, 32001}) EXPECT_FALSE(isBlendCodeValid(code)) << code;
}

TEST(TruncateParam, TruncatesTowardZeroAndSaturates) {
  int32_t v = 0;
  ASSERT_TRUE(truncateParam(2.9f, &v));
  EXPECT_EQ(v, 2);
  ASSERT_TRUE(truncateParam(-2.7f, &v));
  EXPECT_EQ(v, -2);
  ASSERT_TRUE(truncateParam(-0.5f, &v));
  EXPECT_EQ(v, 0);
  ASSERT_TRUE(truncateParam(3.0e9f, &v));
  EXPECT_EQ(v, std::numeric_limits<int32_t>::max());
  ASSERT_TRUE(truncateParam(-std::numeric_limits<float>::infinity(), &v));
  EXPECT_EQ(v, std::numeric_limits<int32_t>::min());
  v = 7;
  EXPECT_FALSE(truncateParam(std::nanf(""), &v));
  EXPECT_EQ(v, 7);
}

}  // namespace
}  // namespace korvalin
