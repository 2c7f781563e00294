// Music whose time and length are whatever the test sets; pauses, resumes and seeks are logged.
// And a window event as the platform delivers it.
#pragma once

#include <string>
#include <vector>

#include "platform/music_api.h"
#include "platform/window.h"

namespace korvalin {

class FakeMusic : public MusicApi {
 public:
  std::vector<std::string> calls;
  int32_t time = 0;
  int32_t length = 60000;

  void init() override {}
  bool open(const char*) override { return true; }
  void playPaused() override {}
  void setPaused(bool p) override { calls.push_back(p ? "pause" : "resume"); }
  void setPosition(uint32_t bytes) override {
    calls.push_back("position " + std::to_string(bytes));
    time = static_cast<int32_t>(uint64_t{bytes} * 1000 / kBytesPerSecond);
  }
  int32_t getTime() override { return time; }
  int32_t getLength() override { return length; }
};

inline WindowEvent event(EventKind kind, int32_t value = 0, bool repeat = false) {
  WindowEvent e;
  e.kind = kind;
  e.virtualKey = e.button = e.wheelStep = value;
  e.repeat = repeat;
  return e;
}

}  // namespace korvalin
