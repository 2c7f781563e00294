#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/key_map.h"

namespace korvalin {
namespace {

// Windows virtual-key codes, as the shell's key flags and the editor expect them.
TEST(KeyMap, SdlKeysToVirtualKeys) {
  const struct {
    SDL_Keycode sdl;
    int32_t vk;
  } cases[] = {
      {SDLK_ESCAPE, 27},    {SDLK_F1, 112},       {SDLK_F12, 123},     {SDLK_F13, 124},
      {SDLK_a, 'A'},        {SDLK_z, 'Z'},        {SDLK_0, '0'},       {SDLK_9, '9'},
      {SDLK_DELETE, 46},    {SDLK_HOME, 36},      {SDLK_END, 35},      {SDLK_LEFT, 37},
      {SDLK_DOWN, 40},      {SDLK_PAGEUP, 33},    {SDLK_RETURN, 13},   {SDLK_KP_ENTER, 13},
      {SDLK_SPACE, 32},     {SDLK_BACKSPACE, 8},  {SDLK_RCTRL, 17},    {SDLK_KP_0, 96},
      {SDLK_KP_9, 105},     {SDLK_KP_MINUS, 109}, {SDLK_MINUS, 189},   {SDLK_PERIOD, 190},
      {SDLK_UNKNOWN, 0},    {SDLK_AC_BACK, 0},    {SDLK_MODE, 0},      {SDLK_KP_EQUALSAS400, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(virtualKeyFromSdl(c.sdl), c.vk) << SDL_GetKeyName(c.sdl);
  // Every code handed out indexes the shell's 256 key flags safely.
  for (SDL_Keycode base : {0, SDLK_SCANCODE_MASK}) {
    for (SDL_Keycode sdl = base; sdl < base + 512; ++sdl) {
      const int32_t vk = virtualKeyFromSdl(sdl);
      EXPECT_TRUE(vk >= 0 && vk <= 255) << sdl;
    }
  }
}

}  // namespace
}  // namespace korvalin
