// `korvalin --export OUT`: the project of the run folder drawn frame by frame, without a window,
// into a video file with the music.
#pragma once

#include <cstdint>

#include "shell/export_options.h"

namespace korvalin {

struct ExportStats {
  int64_t frames = 0;         // pictures written
  double videoSeconds = 0;    // their duration
  double wallSeconds = 0;     // from the first frame drawn to the file complete
  double renderSeconds = 0;   // drawing and reading back, on the drawing thread, not waiting
  double encodeSeconds = 0;   // converting, encoding and writing, on the encoding thread
};

// Returns the exit status: 0 written, 1 failed, 2 refused (bad range, OUT exists without
// --force), 130 stopped by Ctrl-C with the partial video left in OUT.part. Each problem is one
// line on standard error; OUT itself appears only complete.
int runExport(const ExportOptions& options, ExportStats* stats = nullptr);

}  // namespace korvalin
