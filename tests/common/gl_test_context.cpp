#include "tests/common/gl_test_context.h"

#include <GL/gl.h>
#include <SDL.h>

#include <cstdlib>

namespace korvalin::test {

GlTestContext::GlTestContext(int width, int height) {
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    error_ = SDL_GetError();
    return;
  }
  // One reference to the GL library that is never given back: the driver then stays mapped
  // until exit, so LeakSanitizer can name (and scripts/lsan.supp skip) the driver's own leaks.
  [[maybe_unused]] static const bool driverPinned = SDL_GL_LoadLibrary(nullptr) == 0;
  const int attributes[][2] = {{SDL_GL_DEPTH_SIZE, 16}, {SDL_GL_DOUBLEBUFFER, 1}, {SDL_GL_ALPHA_SIZE, 1},
                                {SDL_GL_RED_SIZE, 8},    {SDL_GL_GREEN_SIZE, 8},   {SDL_GL_BLUE_SIZE, 8}};
  for (const auto& a : attributes) SDL_GL_SetAttribute(static_cast<SDL_GLattr>(a[0]), a[1]);
  // A window whose context fails is given back by the destructor.
  window_ = SDL_CreateWindow("korvalin-test", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  context_ = window_ == nullptr ? nullptr : SDL_GL_CreateContext(static_cast<SDL_Window*>(window_));
  if (context_ == nullptr) {
    error_ = SDL_GetError();
    return;
  }
  glViewport(0, 0, width, height);
}

GlTestContext::~GlTestContext() {
  if (context_ != nullptr) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
  if (window_ != nullptr) SDL_DestroyWindow(static_cast<SDL_Window*>(window_));
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

std::vector<uint8_t> GlTestContext::readPixels(int x, int y, int w, int h) const {
  std::vector<uint8_t> out(static_cast<size_t>(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(x, y, w, h, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
  return out;
}

void GlTestContext::swap() { SDL_GL_SwapWindow(static_cast<SDL_Window*>(window_)); }

}  // namespace korvalin::test
