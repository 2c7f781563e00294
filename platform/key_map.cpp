#include "platform/key_map.h"

#include <SDL.h>

namespace korvalin {
namespace {

struct KeyPair {
  SDL_Keycode sdl;
  int32_t vk;
};

// Keys whose SDL code is not already the virtual-key code. Letters and digits are handled
// below; punctuation follows the US layout's VK_OEM_* codes.
constexpr KeyPair kKeyTable[] = {
    {SDLK_BACKSPACE, kVkBack},   {SDLK_TAB, 9},
    {SDLK_RETURN, kVkReturn},    {SDLK_KP_ENTER, kVkReturn},
    {SDLK_LSHIFT, 16},           {SDLK_RSHIFT, 16},
    {SDLK_LCTRL, 17},            {SDLK_RCTRL, 17},
    {SDLK_LALT, 18},             {SDLK_RALT, 18},
    {SDLK_PAUSE, 19},            {SDLK_CAPSLOCK, 20},
    {SDLK_ESCAPE, kVkEscape},    {SDLK_SPACE, kVkSpace},
    {SDLK_PAGEUP, 33},           {SDLK_PAGEDOWN, 34},
    {SDLK_END, 35},              {SDLK_HOME, kVkHome},
    {SDLK_LEFT, kVkLeft},        {SDLK_UP, kVkUp},
    {SDLK_RIGHT, kVkRight},      {SDLK_DOWN, kVkDown},
    {SDLK_PRINTSCREEN, 44},      {SDLK_INSERT, kVkInsert},
    {SDLK_DELETE, kVkDelete},    {SDLK_LGUI, 91},
    {SDLK_RGUI, 92},             {SDLK_APPLICATION, 93},
    {SDLK_KP_0, kVkNumpad0},     {SDLK_KP_1, kVkNumpad0 + 1},
    {SDLK_KP_2, kVkNumpad0 + 2}, {SDLK_KP_3, kVkNumpad0 + 3},
    {SDLK_KP_4, kVkNumpad0 + 4}, {SDLK_KP_5, kVkNumpad0 + 5},
    {SDLK_KP_6, kVkNumpad0 + 6}, {SDLK_KP_7, kVkNumpad0 + 7},
    {SDLK_KP_8, kVkNumpad0 + 8}, {SDLK_KP_9, kVkNumpad0 + 9},
    {SDLK_KP_MULTIPLY, 106},     {SDLK_KP_PLUS, 107},
    {SDLK_KP_MINUS, 109},        {SDLK_KP_PERIOD, 110},
    {SDLK_KP_DIVIDE, 111},       {SDLK_NUMLOCKCLEAR, 144},
    {SDLK_SCROLLLOCK, 145},      {SDLK_SEMICOLON, 186},
    {SDLK_EQUALS, 187},          {SDLK_COMMA, 188},
    {SDLK_MINUS, 189},           {SDLK_PERIOD, 190},
    {SDLK_SLASH, 191},           {SDLK_BACKQUOTE, 192},
    {SDLK_LEFTBRACKET, 219},     {SDLK_BACKSLASH, 220},
    {SDLK_RIGHTBRACKET, 221},    {SDLK_QUOTE, 222},
};

}  // namespace

int32_t virtualKeyFromSdl(int32_t sdlKeycode) {
  if (sdlKeycode >= SDLK_a && sdlKeycode <= SDLK_z) return sdlKeycode - SDLK_a + 'A';
  if (sdlKeycode >= SDLK_0 && sdlKeycode <= SDLK_9) return sdlKeycode;
  if (sdlKeycode >= SDLK_F1 && sdlKeycode <= SDLK_F12) return kVkF1 + (sdlKeycode - SDLK_F1);
  if (sdlKeycode >= SDLK_F13 && sdlKeycode <= SDLK_F24) return kVkF1 + 12 + (sdlKeycode - SDLK_F13);
  for (const KeyPair& pair : kKeyTable) {
    if (pair.sdl == sdlKeycode) return pair.vk;
  }
  return 0;
}

}  // namespace korvalin
