// The whole program: windows, the main loop and the demo playing in step with the music.
#pragma once

#include <chrono>

namespace korvalin {

constexpr const char* kWindowTitle = "Tamsilvo - Korvalin";
constexpr const char* kMusicPath = "data/Vavorerid_by__qx_.ogg";

struct ShellOptions {
  bool fullscreen = true;
  bool editorMode = false;   // 1024 x 768 window showing the editor's canvas
  bool traceFrames = false;  // timing lines on standard error
  bool tracePasses = false;  // and one line per pass
  double autosaveSeconds = 30.0;  // --editor: interval of the autosave
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

// Runs until Escape, the window's close button or the music's end; returns the exit status.
int runShell(const ShellOptions& options);

}  // namespace korvalin
