// Music whose time and length are whatever the test sets; pauses, resumes and seeks are logged.
#pragma once

#include <string>
#include <vector>

#include "platform/music_api.h"

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

}  // namespace korvalin
