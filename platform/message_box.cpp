#include "platform/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace korvalin {
namespace {

SDL_Window* gOwner = nullptr;

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

void setMessageBoxOwner(void* sdlWindow) { gOwner = static_cast<SDL_Window*>(sdlWindow); }

void setMessageSink(std::function<void(const std::string&)> sink) { messageSink() = std::move(sink); }

void showErrorMessage(const std::string& text) {
  if (messageSink()) {
    messageSink()(text);
    return;
  }
  if (headless() || SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text.c_str(), gOwner) != 0) {
    std::string line = text;
    while (!line.empty() && line.back() == '\n') line.pop_back();
    std::fprintf(stderr, "Error: %s\n", line.c_str());
  }
}

namespace {

// A modal question in front of the program's window. False when no box can be shown (headless,
// or the window system refuses); otherwise `pressed` is the id of the button, -1 for none.
bool askWithButtons(Uint32 flags, const std::string& caption, const std::string& text,
                    const SDL_MessageBoxButtonData* buttons, int count, int* pressed) {
  if (headless()) return false;
  SDL_MessageBoxData data;
  SDL_zero(data);
  data.flags = flags;
  data.window = gOwner;
  data.title = caption.c_str();
  data.message = text.c_str();
  data.numbuttons = count;
  data.buttons = buttons;
  *pressed = -1;
  return SDL_ShowMessageBox(&data, pressed) == 0;
}

}  // namespace

QuitAnswer askSaveDiscardCancel(const std::string& caption, const std::string& text) {
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 0, "Save"},
      {0, 1, "Discard"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 2, "Cancel"},
  };
  int pressed;
  if (askWithButtons(SDL_MESSAGEBOX_WARNING, caption, text, buttons, 3, &pressed)) {
    if (pressed == 1) return QuitAnswer::kDiscard;
    if (pressed == 2 || pressed < 0) return QuitAnswer::kCancel;
    return QuitAnswer::kSave;
  }
  std::fprintf(stderr, "%s: %s Answered \"Save\" (no one to ask).\n", caption.c_str(), text.c_str());
  return QuitAnswer::kSave;
}

RecoveryAnswer askRestoreOrDiscard(const std::string& caption, const std::string& text) {
  const SDL_MessageBoxButtonData buttons[] = {
      {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 0, "Restore"},
      {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1, "Discard"},
  };
  int pressed;
  if (!askWithButtons(SDL_MESSAGEBOX_INFORMATION, caption, text, buttons, 2, &pressed)) {
    return RecoveryAnswer::kNobodyToAsk;
  }
  // Closing the box without a choice keeps the changes aside rather than loading them unasked.
  return pressed == 0 ? RecoveryAnswer::kRestore : RecoveryAnswer::kDiscard;
}

}  // namespace korvalin
