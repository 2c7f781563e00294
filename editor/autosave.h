// Autosave and recovery (--editor mode). While the project has unsaved changes it is written to
// "<project>.autosave" at most once per interval, so that a crash or a killed process loses no
// more than that. The project is encoded in the pass; a worker thread writes it (through a
// temporary file and a rename), so the pass costs no more than the encoding.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "timeline/timeline.h"

namespace korvalin {

class Editor;
class EditHistory;

class Autosave {
 public:
  static constexpr double kDefaultIntervalSeconds = 30.0;

  Autosave(std::string path, double intervalSeconds);
  // Finishes the write in progress and one waiting; the copy stays, as only a clean exit
  // removes it.
  ~Autosave();
  Autosave(const Autosave&) = delete;
  Autosave& operator=(const Autosave&) = delete;

  // Once per pass, with the clip times refreshed. `version` names the project's state. With
  // unsaved changes not yet written and the interval passed since the last write (the first
  // interval counts from the first pass), the project is written; with nothing unsaved, the copy
  // is removed.
  void pass(double now, const Timeline& timeline, uint64_t version, bool unsaved);
  // A clean exit: the copy goes, and this waits until it has.
  void removeAndWait();
  // The copy on disk already holds the project at `version` (it was restored at start-up).
  void adopt(uint64_t version);
  // Never write again: the file at path() is one that must be kept.
  void disable() { disabled_ = true; }
  void waitIdle();
  const std::string& path() const { return path_; }

 private:
  enum class Job { kNone, kWrite, kRemove };
  void removeCopy();
  void queue(Job job, std::vector<uint8_t> bytes);
  void run();
  void perform(Job job, const std::vector<uint8_t>& bytes);

  const std::string path_;
  const double interval_;

  // Main thread only.
  bool started_ = false;
  bool disabled_ = false;
  double lastWrite_ = 0.0;
  bool onDisk_ = false;   // the copy on disk holds the project at written_
  uint64_t written_ = 0;

  // Shared with the worker.
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  Job job_ = Job::kNone;
  std::vector<uint8_t> bytes_;
  bool working_ = false;
  bool stop_ = false;
  std::string lastError_;  // worker only: a failure is reported once, not every interval
  std::thread worker_;
};

enum class RecoveryChoice { kRestore, kDiscard, kNobodyToAsk };

// Start-up: an autosave left by a run that did not end cleanly. When it differs from the project
// file, `ask` is given "Recovered unsaved changes from HH:MM. Restore them?"; Restore loads it as
// unsaved changes, anything else keeps it as "<autosave>.old" (or .old.1, .old.2, ... so that no
// earlier one is replaced). One equal to the project file is removed. One that cannot be read is
// reported in one line and kept as "<autosave>.unreadable" without a question.
void recoverAutosave(Editor& editor, EditHistory& history, Autosave& autosave,
                     const std::function<RecoveryChoice(const std::string& question)>& ask);

}  // namespace korvalin
