// The play position through the editor's hooks, pass by pass as the shell runs them: it never
// steps back while playing, and a drag of the play marker shows for its own frame only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "platform/music_api.h"
#include "shell/editor_hooks.h"
#include "shell/frame_pass.h"
#include "shell/transport.h"
#include "tests/common/gl_test_context.h"

// The GL driver's leaks are reported after its module is gone (see editor_draw_test.cpp).
extern "C" const char* __lsan_default_options() { return "detect_leaks=0"; }

namespace korvalin::test {
namespace {

class HeardTime : public MusicApi {
 public:
  int32_t time = 0;
  void init() override {}
  bool open(const char*) override { return true; }
  void playPaused() override {}
  void setPaused(bool) override {}
  void setPosition(uint32_t bytes) override { time = static_cast<int32_t>(bytes / (kBytesPerSecond / 1000)); }
  int32_t getTime() override { return time; }
  int32_t getLength() override { return 0x7fffffff; }
};

class PlayPositionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    gl_ = std::make_unique<GlTestContext>(1024, 768);
    ASSERT_TRUE(gl_->ok()) << gl_->error();
    hooks_ = makeEditorHooks(services_);
    hooks_->editorStartup();
  }
  // One pass `ms` after the last, the music having moved on by `heard` ms; the position drawn.
  float pass(int32_t x, int32_t y, bool left = false, uint32_t ms = 16, int32_t heard = 16) {
    ticks_ += ms;
    music_.time += heard;
    state_.input.mouseX = x;
    state_.input.mouseY = y;
    state_.input.leftDown = left;
    updateFrame(state_, *hooks_, transport_, timeline_);
    drawFrame(*hooks_, transport_, true, [&](float t) { shown_ = t; });
    return shown_;
  }

  std::unique_ptr<GlTestContext> gl_;
  uint32_t ticks_ = 100000;
  HeardTime music_;
  PlaybackClock clock_{[this] { return ticks_; }};
  Transport transport_{clock_, music_};
  Timeline timeline_;
  TextureTable textures_;
  ShellServices services_{timeline_, clock_, transport_, textures_, "", true};
  std::unique_ptr<EditorHooks> hooks_;
  ShellState state_;
  float shown_ = 0.0f;
};

TEST_F(PlayPositionTest, ThePictureHoldsWhileTheMusicLagsButAMarkerDragShowsOnce) {
  music_.time = 5000;
  float last = pass(500, 300);
  for (int32_t heard : {16, -40, 0, 16, 30, 16}) {
    const float t = pass(500, 300, false, 16, heard);
    EXPECT_GE(t, last) << "music at " << music_.time;
    last = t;
  }

  // Stop, then the marker's handle (near time 0) dragged 128 pixels right with the clock still.
  pass(160, 500, true);
  pass(160, 500);
  pass(5, 590, false, 0, 0);
  const float before = pass(5, 590, true, 0, 0);
  EXPECT_LT(before, 0.1f);
  EXPECT_NEAR(pass(133, 590, true, 0, 0), before + 1.875f, 0.002f);  // 128 pixels at zoom 40
  // The next frame is the music's again: the drag set no position to hold to.
  EXPECT_LT(pass(133, 590, true, 0, 0), before + 0.01f);
}

}  // namespace
}  // namespace korvalin::test
