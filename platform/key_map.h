// SDL key codes to the Windows virtual-key codes the shell and the editor are written in.
#pragma once

#include <cstdint>

namespace korvalin {

constexpr int32_t kVkBack = 8;
constexpr int32_t kVkReturn = 13;
constexpr int32_t kVkEscape = 27;
constexpr int32_t kVkSpace = 32;
constexpr int32_t kVkHome = 36;
constexpr int32_t kVkLeft = 37;
constexpr int32_t kVkUp = 38;
constexpr int32_t kVkRight = 39;
constexpr int32_t kVkDown = 40;
constexpr int32_t kVkInsert = 45;
constexpr int32_t kVkDelete = 46;
constexpr int32_t kVkNumpad0 = 96;
constexpr int32_t kVkF1 = 112;

// The virtual-key code for an SDL_Keycode, or 0 for a key that has none.
int32_t virtualKeyFromSdl(int32_t sdlKeycode);

}  // namespace korvalin
