#include "platform/offscreen_gl.h"

#include <SDL.h>

#include "platform/window.h"

namespace korvalin {

std::unique_ptr<OffscreenGl> OffscreenGl::create(int width, int height, std::string* error) {
  // Whatever driver the environment names: this context must never need a display.
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    *error = std::string("cannot start SDL's offscreen video driver: ") + SDL_GetError();
    return nullptr;
  }
  requestWindowPixelFormat();
  SDL_Window* window =
      SDL_CreateWindow("korvalin", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (window == nullptr) {
    *error = std::string("cannot make an offscreen surface: ") + SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return nullptr;
  }
  SDL_GLContext context = SDL_GL_CreateContext(window);
  if (context == nullptr) {
    *error = std::string("cannot create an OpenGL context: ") + SDL_GetError();
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return nullptr;
  }
  std::unique_ptr<OffscreenGl> gl(new OffscreenGl());
  gl->window_ = window;
  gl->context_ = context;
  return gl;
}

OffscreenGl::~OffscreenGl() {
  SDL_GL_MakeCurrent(static_cast<SDL_Window*>(window_), nullptr);
  SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
  SDL_DestroyWindow(static_cast<SDL_Window*>(window_));
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void OffscreenGl::swapBuffers() { SDL_GL_SwapWindow(static_cast<SDL_Window*>(window_)); }

}  // namespace korvalin
