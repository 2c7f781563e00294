// The window over SDL's offscreen driver, whose only display mode fits no window, and the error
// reports. Events are pushed into SDL's queue as the system would deliver them.
#include <SDL.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/key_map.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "tests/common/leak_check.h"

namespace korvalin {
namespace {

// Windows virtual-key codes, as the shell's key flags and the editor expect them.
TEST(KeyMap, SdlKeysToVirtualKeys) {
  const struct { SDL_Keycode sdl; int32_t vk; } cases[] = {
      {SDLK_BACKSPACE, 8},   {SDLK_TAB, 9},           {SDLK_RETURN, 13},      {SDLK_KP_ENTER, 13},
      {SDLK_LSHIFT, 16},     {SDLK_RSHIFT, 16},       {SDLK_LCTRL, 17},       {SDLK_RCTRL, 17},
      {SDLK_LALT, 18},       {SDLK_RALT, 18},         {SDLK_PAUSE, 19},       {SDLK_CAPSLOCK, 20},
      {SDLK_ESCAPE, 27},     {SDLK_SPACE, 32},        {SDLK_PAGEUP, 33},      {SDLK_PAGEDOWN, 34},
      {SDLK_END, 35},        {SDLK_HOME, 36},         {SDLK_LEFT, 37},        {SDLK_UP, 38},
      {SDLK_RIGHT, 39},      {SDLK_DOWN, 40},         {SDLK_PRINTSCREEN, 44}, {SDLK_INSERT, 45},
      {SDLK_DELETE, 46},     {SDLK_LGUI, 91},         {SDLK_RGUI, 92},        {SDLK_APPLICATION, 93},
      {SDLK_KP_MULTIPLY, 106}, {SDLK_KP_PLUS, 107},   {SDLK_KP_MINUS, 109},   {SDLK_KP_PERIOD, 110},
      {SDLK_KP_DIVIDE, 111}, {SDLK_NUMLOCKCLEAR, 144}, {SDLK_SCROLLLOCK, 145}, {SDLK_SEMICOLON, 186},
      {SDLK_EQUALS, 187},    {SDLK_COMMA, 188},       {SDLK_MINUS, 189},      {SDLK_PERIOD, 190},
      {SDLK_SLASH, 191},     {SDLK_BACKQUOTE, 192},   {SDLK_LEFTBRACKET, 219}, {SDLK_BACKSLASH, 220},
      {SDLK_RIGHTBRACKET, 221}, {SDLK_QUOTE, 222},    {SDLK_F12, 123},        {SDLK_F13, 124},
      {SDLK_F24, 135},       {SDLK_UNKNOWN, 0},       {SDLK_AC_BACK, 0},      {SDLK_MODE, 0},
      {SDLK_KP_EQUALSAS400, 0}};
  for (const auto& c : cases) EXPECT_EQ(virtualKeyFromSdl(c.sdl), c.vk) << SDL_GetKeyName(c.sdl);
  const SDL_Keycode keypad[] = {SDLK_KP_0, SDLK_KP_1, SDLK_KP_2, SDLK_KP_3, SDLK_KP_4,
                                SDLK_KP_5, SDLK_KP_6, SDLK_KP_7, SDLK_KP_8, SDLK_KP_9};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(virtualKeyFromSdl(keypad[i]), 96 + i);
  for (int i = 0; i < 26; ++i) EXPECT_EQ(virtualKeyFromSdl(SDLK_a + i), 'A' + i);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(virtualKeyFromSdl(SDLK_0 + i), '0' + i);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(virtualKeyFromSdl(SDLK_F1 + i), 112 + i);
  EXPECT_TRUE(virtualKeyFromSdl(SDLK_a - 1) == 192 && virtualKeyFromSdl(SDLK_z + 1) == 0 && virtualKeyFromSdl('/') == 191);
}

WindowEvent next(PlatformWindow& window) {
  WindowEvent e;
  EXPECT_TRUE(window.pollEvent(e));
  return e;
}

void push(Uint32 type, void (*fill)(SDL_Event&) = nullptr) {
  SDL_Event e;
  SDL_zero(e);
  e.type = type;
  if (fill) fill(e);
  SDL_PushEvent(&e);
}

TEST(PlatformWindowTest, NoExactModeMeansAWindowAndTheMessageThenEventsArriveTranslated) {
  // The GL library stays loaded to the end, so that the leak check can name the driver's leaks.
  ASSERT_TRUE(SDL_InitSubSystem(SDL_INIT_VIDEO) == 0 && SDL_GL_LoadLibrary(nullptr) == 0);
  std::vector<std::string> said;
  setMessageSink([&](const std::string& text) { said.push_back(text); });
  std::string error;
  auto window = PlatformWindow::create({"Tamsilvo - Korvalin", 640, 480, true}, &error);
  ASSERT_TRUE(window) << error;
  EXPECT_EQ(said, std::vector<std::string>{"Mode Switch Failed.\nRunning In Windowed Mode."});
  EXPECT_TRUE(!window->fullscreen() && window->width() == 640 && window->height() == 480);
  GLint depth = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depth);
  EXPECT_EQ(depth, 16);
  WindowEvent e;
  while (window->pollEvent(e)) {}

  push(SDL_KEYDOWN, [](SDL_Event& ev) { ev.key.keysym.sym = SDLK_DELETE, ev.key.repeat = 1; });
  push(SDL_KEYUP, [](SDL_Event& ev) { ev.key.keysym.sym = SDLK_F1; });
  push(SDL_MOUSEBUTTONDOWN, [](SDL_Event& ev) { ev.button.button = SDL_BUTTON_MIDDLE; });
  push(SDL_MOUSEBUTTONUP, [](SDL_Event& ev) { ev.button.button = SDL_BUTTON_RIGHT; });
  push(SDL_MOUSEBUTTONDOWN, [](SDL_Event& ev) { ev.button.button = SDL_BUTTON_LEFT; });
  push(SDL_MOUSEBUTTONDOWN, [](SDL_Event& ev) { ev.button.button = SDL_BUTTON_X1; });
  push(SDL_MOUSEWHEEL, [](SDL_Event& ev) { ev.wheel.y = 3; });
  push(SDL_MOUSEWHEEL, [](SDL_Event& ev) { ev.wheel.y = 1, ev.wheel.direction = SDL_MOUSEWHEEL_FLIPPED; });
  push(SDL_MOUSEWHEEL, [](SDL_Event& ev) { ev.wheel.x = 1; });
  push(SDL_MOUSEMOTION);
  push(SDL_QUIT);
  push(SDL_WINDOWEVENT, [](SDL_Event& ev) { ev.window.event = SDL_WINDOWEVENT_CLOSE; });
  push(SDL_WINDOWEVENT, [](SDL_Event& ev) { ev.window.event = SDL_WINDOWEVENT_MINIMIZED; });
  push(SDL_WINDOWEVENT, [](SDL_Event& ev) { ev.window.event = SDL_WINDOWEVENT_RESTORED; });
  push(SDL_WINDOWEVENT, [](SDL_Event& ev) { ev.window.event = SDL_WINDOWEVENT_MAXIMIZED; });
  push(SDL_WINDOWEVENT, [](SDL_Event& ev) { ev.window.event = SDL_WINDOWEVENT_SIZE_CHANGED; });
  push(SDL_WINDOWEVENT, [](SDL_Event& ev) { ev.window.event = SDL_WINDOWEVENT_MOVED; });
  window->postFullscreenToggle();
  window->postQuit();
  // Value: the key, button, wheel step or width the event carries (button -1 when none).
  const struct { EventKind kind; int32_t value; bool repeat; } expected[] = {
      {EventKind::kKeyDown, kVkDelete, true}, {EventKind::kKeyUp, kVkF1, false},   {EventKind::kButtonDown, 1, false},
      {EventKind::kButtonUp, 2, false},       {EventKind::kButtonDown, 0, false},  {EventKind::kOther, -1, false},
      {EventKind::kWheel, 1, false},          {EventKind::kWheel, -1, false},      {EventKind::kOther, -1, false},
      {EventKind::kMouseMove, -1, false},     {EventKind::kTerminated, -1, false},
      {EventKind::kCloseRequested, -1, false}, {EventKind::kMinimized, -1, false}, {EventKind::kRestored, 640, false},
      {EventKind::kRestored, 640, false},     {EventKind::kRestored, 640, false},  {EventKind::kOther, -1, false},
      {EventKind::kToggleRequested, -1, false}, {EventKind::kQuitPosted, -1, false}};
  for (const auto& want : expected) {
    e = next(*window);
    const int32_t value = want.kind == EventKind::kKeyDown || want.kind == EventKind::kKeyUp ? e.virtualKey
                          : want.kind == EventKind::kWheel                                 ? e.wheelStep
                          : want.kind == EventKind::kRestored                              ? e.width
                                                                                           : e.button;
    EXPECT_TRUE(e.kind == want.kind && value == want.value && e.repeat == want.repeat)
        << static_cast<int>(want.kind) << " " << want.value << " got " << static_cast<int>(e.kind) << " " << value;
    EXPECT_TRUE(want.kind != EventKind::kRestored || e.height == 480);
  }
  EXPECT_FALSE(window->pollEvent(e));

  // The cursor, in client coordinates.
  window->warpMouse(100, 200);
  int32_t x = 0, y = 0;
  window->mousePosition(x, y);
  EXPECT_TRUE(x == 100 && y == 200);
  const uint32_t before = tickCount();
  SDL_Delay(30);
  EXPECT_GE(tickCount() - before, 30u);

  // Whatever the old window still had queued is gone with it.
  push(SDL_QUIT);
  window->postQuit();
  window.reset();
  window = PlatformWindow::create({"again", 320, 200, false}, &error);
  ASSERT_TRUE(window) << error;
  EXPECT_EQ(said.size(), 1u);
  while (window->pollEvent(e)) EXPECT_TRUE(e.kind != EventKind::kQuitPosted && e.kind != EventKind::kCloseRequested);
  setMessageSink(nullptr);
}

// Headless, the report goes to standard error without its trailing line breaks and no box is
// tried; with a display named, a box is tried first (here it fails: nothing listens there).
TEST(MessageBoxTest, ReportsAndTheQuitQuestionWithNobodyToAsk) {
  const struct { const char* headless; const char* driver; const char* display; bool triesBox; } sessions[] = {
      {"1", nullptr, ":97", false}, {nullptr, "offscreen", ":97", false}, {nullptr, "dummy", ":97", false},
      {nullptr, nullptr, nullptr, false}, {nullptr, "x11", ":97", true}};
  for (const auto& s : sessions) {
    for (const char* name : {"KORVALIN_HEADLESS", "SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(name);
    if (s.headless) setenv("KORVALIN_HEADLESS", s.headless, 1);
    if (s.driver) setenv("SDL_VIDEODRIVER", s.driver, 1);
    if (s.display) setenv("DISPLAY", s.display, 1);
    SDL_SetError("untouched");
    testing::internal::CaptureStderr();
    showErrorMessage("Mode Switch Failed.\nRunning In Windowed Mode.\n\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Mode Switch Failed.\nRunning In Windowed Mode.\n");
    EXPECT_EQ(std::string(SDL_GetError()) != "untouched", s.triesBox) << s.driver << " " << s.display;
    SDL_SetError("untouched");
    testing::internal::CaptureStderr();
    EXPECT_EQ(askSaveDiscardCancel("Korvalin", "Save?"), QuitAnswer::kSave);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Korvalin: Save? Answered \"Save\" (no one to ask).\n");
    EXPECT_EQ(std::string(SDL_GetError()) != "untouched", s.triesBox);
  }
  setenv("WAYLAND_DISPLAY", "wayland-97", 1);
  SDL_SetError("untouched");
  testing::internal::CaptureStderr();
  showErrorMessage("x");
  testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string(SDL_GetError()), "untouched");
}

}  // namespace
}  // namespace korvalin
