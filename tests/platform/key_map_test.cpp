#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/key_map.h"

namespace korvalin {
namespace {

TEST(KeyMap, KeysTheShellAndEditorUse) {
  struct Case {
    SDL_Keycode sdl;
    int32_t vk;
  };
  const Case cases[] = {
      {SDLK_ESCAPE, 27}, {SDLK_F1, 112},  {SDLK_F12, 123},  {SDLK_F13, 124},     {SDLK_c, 'C'},
      {SDLK_n, 'N'},     {SDLK_y, 'Y'},   {SDLK_l, 'L'},    {SDLK_a, 'A'},       {SDLK_z, 'Z'},
      {SDLK_0, '0'},     {SDLK_9, '9'},   {SDLK_DELETE, 46}, {SDLK_HOME, 36},    {SDLK_END, 35},
      {SDLK_LEFT, 37},   {SDLK_UP, 38},   {SDLK_RIGHT, 39}, {SDLK_DOWN, 40},     {SDLK_INSERT, 45},
      {SDLK_PAGEUP, 33}, {SDLK_PAGEDOWN, 34}, {SDLK_RETURN, 13}, {SDLK_KP_ENTER, 13},
      {SDLK_SPACE, 32},  {SDLK_BACKSPACE, 8}, {SDLK_TAB, 9},  {SDLK_LSHIFT, 16}, {SDLK_RCTRL, 17},
      {SDLK_KP_0, 96},   {SDLK_KP_9, 105}, {SDLK_KP_MULTIPLY, 106}, {SDLK_KP_PLUS, 107},
      {SDLK_KP_MINUS, 109}, {SDLK_KP_PERIOD, 110}, {SDLK_KP_DIVIDE, 111},
      {SDLK_MINUS, 189}, {SDLK_EQUALS, 187}, {SDLK_COMMA, 188}, {SDLK_PERIOD, 190},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(virtualKeyFromSdl(c.sdl), c.vk) << SDL_GetKeyName(c.sdl);
  }
}

TEST(KeyMap, KeysWithoutAVirtualKeyGiveZero) {
  for (SDL_Keycode sdl : {SDLK_UNKNOWN, SDLK_AC_BACK, SDLK_MODE, SDLK_AUDIOPLAY, SDLK_KP_EQUALSAS400}) {
    EXPECT_EQ(virtualKeyFromSdl(sdl), 0) << SDL_GetKeyName(sdl);
  }
  // Every code the table hands out fits the shell's 256 key flags.
  for (SDL_Keycode base : {0, SDLK_SCANCODE_MASK}) {
    for (SDL_Keycode sdl = base; sdl < base + 512; ++sdl) {
      const int32_t vk = virtualKeyFromSdl(sdl);
      EXPECT_TRUE(vk >= 0 && vk <= 255) << sdl;
    }
  }
}

}  // namespace
}  // namespace korvalin
