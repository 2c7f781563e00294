// The whole program: windows, the main loop and the demo playing in step with the music.
#pragma once

#include <chrono>
#include <cstdint>

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

// Viewport and the default projection every demo frame starts from.
void resizeGLScene(int32_t width, int32_t height);
// That, and the rest of the GL state the player sets up once its window is made.
void setUpDemoGl(int32_t width, int32_t height);

// Runs until Escape, the window's close button or the music's end; returns the exit status.
int runShell(const ShellOptions& options);

}  // namespace korvalin
