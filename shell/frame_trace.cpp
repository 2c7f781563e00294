#include "shell/frame_trace.h"

#include <algorithm>
#include <cstdio>

namespace korvalin {
namespace {

double millisSince(FrameTrace::Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(FrameTrace::Clock::now() - from).count();
}

}  // namespace

FrameTrace::FrameTrace(bool enabled, bool everyPass) : enabled_(enabled || everyPass), everyPass_(everyPass) {}

void FrameTrace::windowRequested(Clock::time_point at, const char* why) {
  requested_ = at;
  why_ = why;
  firstFrameSeen_ = false;
  passes_ = 0;
  minStep_ = 1e9;
  maxStep_ = -1e9;
  sumStep_ = 0;
  standstills_ = 0;
  backwards_ = 0;
}

void FrameTrace::frameDrawn(float t) {
  if (!enabled_) return;
  if (!firstFrameSeen_) {
    firstFrameSeen_ = true;
    std::fprintf(stderr, "trace: %s to first frame %.1f ms\n", why_, millisSince(requested_));
  }
  ++passes_;
  // The first pass of a window starts the music; steps are measured from the second on.
  if (passes_ > 2) {
    const double step = (static_cast<double>(t) - last_) * 1000.0;
    minStep_ = std::min(minStep_, step);
    maxStep_ = std::max(maxStep_, step);
    sumStep_ += step;
    if (step == 0) ++standstills_;
    if (step < 0) ++backwards_;
    if (everyPass_) std::fprintf(stderr, "trace: pass %d at %.3f s, step %.3f ms\n", passes_, t, step);
  }
  last_ = t;
}

void FrameTrace::step(const char* what, Clock::time_point since) {
  if (enabled_) std::fprintf(stderr, "trace:   %s %.1f ms\n", what, millisSince(since));
}

void FrameTrace::windowClosed() {
  if (!enabled_ || passes_ < 4) return;
  const int steps = passes_ - 2;
  std::fprintf(stderr,
               "trace: %d passes, clock step min %.3f mean %.3f max %.3f ms, "
               "%d standing still, %d backwards\n",
               passes_, minStep_, sumStep_ / steps, maxStep_, standstills_, backwards_);
}

}  // namespace korvalin
