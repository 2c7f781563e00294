// A music stream and a tick source the tests set by hand, and hooks that stand in for the
// editor, so that passes of the main loop run without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/music_api.h"
#include "shell/editor_hooks.h"

namespace korvalin::test {

struct FakeTicks {
  uint32_t now = 100000;
  std::function<uint32_t()> source() {
    return [this] { return now; };
  }
};

// Records every call in `calls`; time and length are whatever the test sets.
class FakeMusic : public MusicApi {
 public:
  std::vector<std::string> calls;
  bool paused = true;
  uint32_t lastPosition = 0xffffffffu;
  int32_t time = 0;
  int32_t length = 60000;

  void init() override { calls.push_back("init"); }
  bool open(const char*) override {
    calls.push_back("open");
    return true;
  }
  void playPaused() override {
    calls.push_back("playPaused");
    paused = true;
  }
  void setPaused(bool p) override {
    calls.push_back(p ? "pause" : "resume");
    paused = p;
  }
  void setPosition(uint32_t bytes) override {
    calls.push_back("position " + std::to_string(bytes));
    lastPosition = bytes;
    time = static_cast<int32_t>(static_cast<uint64_t>(bytes) * 1000 / kBytesPerSecond);
  }
  int32_t getTime() override { return time; }
  int32_t getLength() override { return length; }
};

// Each hook runs the function the test gives it (if any) and notes that it ran.
class ScriptedHooks : public EditorHooks {
 public:
  std::vector<std::string>* log = nullptr;
  std::function<void(ShellInput&)> onInput;
  std::function<void()> onKeys;
  std::function<void()> onPass;
  bool unsaved = false;
  bool saveSucceeds = true;
  int saves = 0;

  void editorInput(ShellInput& input) override {
    note("editorInput");
    if (onInput) onInput(input);
  }
  void editorKeys() override {
    note("editorKeys");
    if (onKeys) onKeys();
  }
  void editorPass() override {
    note("editorPass");
    if (onPass) onPass();
  }
  bool hasUnsavedChanges() const override { return unsaved; }
  bool saveProjectNow() override {
    ++saves;
    return saveSucceeds;
  }

 private:
  void note(const char* what) {
    if (log != nullptr) log->push_back(what);
  }
};

}  // namespace korvalin::test
