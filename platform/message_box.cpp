#include "platform/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace korvalin {
namespace {

std::function<void(const std::string&)>& messageSink() {
  static std::function<void(const std::string&)> sink;
  return sink;
}

// A modal box would block a run with nobody to press OK.
bool headless() {
  if (std::getenv("KORVALIN_HEADLESS") != nullptr) return true;
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
    return true;
  }
  return std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr;
}

}  // namespace

void setMessageSink(std::function<void(const std::string&)> sink) { messageSink() = std::move(sink); }

void showErrorMessage(const std::string& text) {
  if (messageSink()) {
    messageSink()(text);
    return;
  }
  if (headless() || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text.c_str(), nullptr) != 0) {
    std::string line = text;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    std::fprintf(stderr, "Error: %s\n", line.c_str());
  }
}

}  // namespace korvalin
