// The music read once as numbers for the editor: waveform peaks and onset strength, decoded on
// a worker thread at start-up so that the editor is usable at once and the strip fills in later.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "editor/beat_grid.h"
#include "editor/waveform.h"

namespace korvalin {

struct MusicAnalysis {
  std::shared_ptr<const WaveformPeaks> peaks;
  std::shared_ptr<const OnsetEnvelope> onsets;
  // One line when the music could not be opened (peaks and onsets then null) or was damaged
  // part-way (they then hold what came before).
  std::string error;
};

// Decodes the whole file, mixed to mono. Stops early, with an empty result, once `cancel` is set.
MusicAnalysis analyseMusic(const std::string& path, const std::atomic<bool>& cancel);

// analyseMusic on its own thread.
class MusicAnalyser {
 public:
  explicit MusicAnalyser(std::string path);
  // Stops the work at its next block and waits for the thread.
  ~MusicAnalyser();
  MusicAnalyser(const MusicAnalyser&) = delete;
  MusicAnalyser& operator=(const MusicAnalyser&) = delete;

  // The result, once it is ready; nullptr before that and after it has been taken.
  std::unique_ptr<MusicAnalysis> take();

 private:
  std::atomic<bool> cancel_{false};
  std::atomic<bool> done_{false};
  bool taken_ = false;
  MusicAnalysis result_;
  std::thread worker_;
};

}  // namespace korvalin
