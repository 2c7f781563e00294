// save.brz.meta: what the editor remembers beside the project without touching save.brz, as
// `key = value` lines. Lines it does not own (comments, other keys, even lines it cannot read)
// are kept as they are when it writes the file again.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvalin {

constexpr const char* kSidecarSuffix = ".meta";

class Sidecar {
 public:
  // Reads `path`. A missing file is an empty sidecar. Lines that are not `key = value`, or
  // whose value is not a finite number, are ignored; `warning` then names the file and the
  // first such line, with how many there were (one line in all). `warning` may be nullptr.
  static Sidecar read(const std::string& path, std::string* warning);
  // Parses text as read() parses a file's content; `name` is used in the warning.
  static Sidecar parse(const std::string& text, const std::string& name, std::string* warning);

  // The number under `key`, if the file has a readable one (the last one wins).
  std::optional<double> number(const std::string& key) const;
  // Sets `key` (replacing its line, or adding one at the end) or, with nullopt, removes it.
  void setNumber(const std::string& key, std::optional<double> value);

  // The file's text as it would be written.
  std::string text() const;
  // Writes through a temporary file renamed over `path`, so the old file stays whole on any
  // failure; with no lines left the file is removed. False, with `error` set, on failure.
  bool write(const std::string& path, std::string* error) const;

 private:
  struct Line {
    std::string raw;  // the line as read, or as made by setNumber
    std::string key;  // empty for lines that hold no readable number
    double value = 0.0;
  };
  std::vector<Line> lines_;
};

}  // namespace korvalin
