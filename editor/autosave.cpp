#include "editor/autosave.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <utility>

#include "editor/editor.h"
#include "editor/history.h"
#include "timeline/project_file.h"

namespace korvalin {

namespace {

// The whole file; false with `error` set when it cannot be opened or read.
bool readWhole(const std::string& path, std::vector<uint8_t>& bytes, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (in) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad() || !in.is_open()) {
    if (error != nullptr) *error = path + ": cannot read: " + std::strerror(errno);
    return false;
  }
  return true;
}

// The first of base, base.1, base.2, ... that names nothing, or "" when all are taken.
std::string freeName(const std::string& base) {
  for (int n = 0; n < 1000; ++n) {
    const std::string candidate = n == 0 ? base : base + "." + std::to_string(n);
    struct stat info;
    if (::lstat(candidate.c_str(), &info) != 0 && errno == ENOENT) return candidate;
  }
  return "";
}

// Renames `path` to the first free name after `base`; returns the name, or "" with `error` set.
std::string setAside(const std::string& path, const std::string& base, std::string* error) {
  const std::string aside = freeName(base);
  if (aside.empty()) {
    *error = std::string("no free name beside ") + base;
    return "";
  }
  if (::rename(path.c_str(), aside.c_str()) != 0) {
    *error = "cannot rename it to " + aside + ": " + std::strerror(errno);
    return "";
  }
  return aside;
}

}  // namespace

// --- writing ---------------------------------------------------------------------------------

Autosave::Autosave(std::string path, double intervalSeconds)
    : path_(std::move(path)), interval_(intervalSeconds), worker_([this] { run(); }) {}

Autosave::~Autosave() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  worker_.join();
}

void Autosave::pass(double now, const Timeline& timeline, uint64_t version, bool unsaved) {
  if (!started_) {
    started_ = true;
    lastWrite_ = now;
  }
  if (disabled_) return;
  if (!unsaved) {
    // Saved, or undone back to what the file holds: there is nothing to recover.
    removeCopy();
    return;
  }
  if ((onDisk_ && written_ == version) || now - lastWrite_ < interval_) return;
  queue(Job::kWrite, encodeProject(timeline));
  lastWrite_ = now;
  written_ = version;
  onDisk_ = true;
}

void Autosave::adopt(uint64_t version) {
  written_ = version;
  onDisk_ = true;
}

void Autosave::removeCopy() {
  if (onDisk_) queue(Job::kRemove, {});
  onDisk_ = false;
}

void Autosave::removeAndWait() {
  removeCopy();
  waitIdle();
}

void Autosave::waitIdle() {
  std::unique_lock<std::mutex> lock(mutex_);
  idle_.wait(lock, [this] { return job_ == Job::kNone && !working_; });
}

// One job waits at most: a newer one replaces it, since only the latest state matters.
void Autosave::queue(Job job, std::vector<uint8_t> bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = job;
    bytes_ = std::move(bytes);
  }
  wake_.notify_all();
}

void Autosave::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return job_ != Job::kNone || stop_; });
    if (job_ == Job::kNone) return;
    const Job job = job_;
    const std::vector<uint8_t> bytes = std::move(bytes_);
    job_ = Job::kNone;
    working_ = true;
    lock.unlock();
    perform(job, bytes);
    lock.lock();
    working_ = false;
    idle_.notify_all();
  }
}

void Autosave::perform(Job job, const std::vector<uint8_t>& bytes) {
  std::string error;
  if (job == Job::kWrite) {
    saveProjectBytes(bytes, path_, &error);
  } else if (::unlink(path_.c_str()) != 0 && errno != ENOENT) {
    error = path_ + ": cannot remove: " + std::strerror(errno);
  }
  if (!error.empty() && error != lastError_) std::fprintf(stderr, "autosave: %s\n", error.c_str());
  lastError_ = error;
}

// --- recovery --------------------------------------------------------------------------------

void recoverAutosave(Editor& editor, EditHistory& history, Autosave& autosave,
                     const std::function<RecoveryChoice(const std::string& question)>& ask) {
  const std::string& path = autosave.path();
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return;

  std::vector<uint8_t> bytes;
  std::string problem, why;
  Timeline recovered;
  if (readWhole(path, bytes, &problem)) {
    std::vector<uint8_t> project;
    if (readWhole(editor.projectPath, project, nullptr) && project == bytes) {
      // Nothing in it that the project file does not hold.
      ::unlink(path.c_str());
      return;
    }
    if (decodeProject(recovered, bytes.data(), bytes.size(), path, &problem) == LoadResult::kLoaded) {
      char when[16];
      struct tm local;
      std::strftime(when, sizeof when, "%H:%M", localtime_r(&info.st_mtime, &local));
      const RecoveryChoice choice = ask(std::string("Recovered unsaved changes from ") + when + ". Restore them?");
      if (choice == RecoveryChoice::kRestore) {
        editor.panel.reset();
        swapClips(editor.timeline, recovered);
        editor.timeline.editMode = kEditNothing;
        history.markUnsaved();
        // The copy stays until the changes are saved: a second crash still finds them.
        autosave.adopt(history.version());
        return;
      }
      const std::string aside = setAside(path, path + ".old", &why);
      if (!aside.empty()) {
        std::fprintf(stderr, "%s: the unsaved changes from %s are kept as %s%s\n", path.c_str(), when, aside.c_str(),
                     choice == RecoveryChoice::kNobodyToAsk ? " (no one to ask: \"Discard\")" : "");
        return;
      }
      problem = path + ": the unsaved changes from " + when + " are not restored";
    } else {
      problem += "; not restored";
    }
  } else {
    problem += "; not restored";
  }
  if (why.empty()) {
    const std::string aside = setAside(path, path + ".unreadable", &why);
    if (!aside.empty()) {
      std::fprintf(stderr, "%s, kept as %s\n", problem.c_str(), aside.c_str());
      return;
    }
  }
  // Kept where it is, then, and never written over.
  autosave.disable();
  std::fprintf(stderr, "%s and %s: autosave is off for this run\n", problem.c_str(), why.c_str());
}

}  // namespace korvalin
