// Timing lines for --trace-frames, on standard error: the time from a window request (start or
// F1) to its first frame, the start-up steps on the way, and how the play position moves from
// one pass to the next.
#pragma once

#include <chrono>

namespace korvalin {

class FrameTrace {
 public:
  using Clock = std::chrono::steady_clock;

  // everyPass adds one line per pass and implies enabled.
  FrameTrace(bool enabled, bool everyPass);

  void windowRequested(Clock::time_point at, const char* why);
  void frameDrawn(float t);
  // How long one start-up step took, for telling where the time to the first frame goes.
  void step(const char* what, Clock::time_point since);
  // The steps of the window just closed: least, mean and greatest, standstills and steps back.
  void windowClosed();

 private:
  bool enabled_;
  bool everyPass_;
  Clock::time_point requested_;
  const char* why_ = "start";
  bool firstFrameSeen_ = false;
  int passes_ = 0;
  double last_ = 0;
  double minStep_ = 1e9;
  double maxStep_ = -1e9;  // below any step: a window of steps back has a max below 0
  double sumStep_ = 0;
  int standstills_ = 0;
  int backwards_ = 0;
};

}  // namespace korvalin
