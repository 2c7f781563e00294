#include "timeline/sidecar.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace korvalin {

namespace {

std::string trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  const size_t last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool isKeyChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// "key = number": the key of word characters, the whole value a finite number.
bool parseLine(const std::string& line, std::string& key, double& value) {
  const size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  key = trim(line.substr(0, equals));
  if (key.empty()) return false;
  for (char c : key) {
    if (!isKeyChar(c)) return false;
  }
  const std::string number = trim(line.substr(equals + 1));
  if (number.empty()) return false;
  char* end = nullptr;
  value = std::strtod(number.c_str(), &end);
  return *end == '\0' && std::isfinite(value);
}

// Every digit is kept: a fixed-size buffer would cut a large value and write another number.
std::string formatLine(const std::string& key, double value) {
  const int length = std::snprintf(nullptr, 0, "%.6f", value);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%.6f", value);
  text.resize(static_cast<size_t>(length));
  return key + " = " + text;
}

}  // namespace

Sidecar Sidecar::parse(const std::string& text, const std::string& name, std::string* warning) {
  Sidecar sidecar;
  std::istringstream in(text);
  std::string raw;
  int lineNumber = 0, bad = 0, firstBad = 0;
  std::string firstBadText;
  while (std::getline(in, raw)) {
    ++lineNumber;
    Line line;
    line.raw = raw;
    const std::string content = trim(raw);
    const bool ignorable = content.empty() || content[0] == '#';
    if (!ignorable && !parseLine(content, line.key, line.value)) {
      line.key.clear();
      if (bad++ == 0) {
        firstBad = lineNumber;
        firstBadText = content;
      }
    }
    sidecar.lines_.push_back(line);
  }
  if (bad > 0 && warning != nullptr) {
    *warning = name + ": line " + std::to_string(firstBad) + ": '" + firstBadText +
               "' is not 'key = number'; ignored";
    if (bad > 1) *warning += " (" + std::to_string(bad) + " such lines)";
  }
  return sidecar;
}

Sidecar Sidecar::read(const std::string& path, std::string* warning) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return Sidecar();
  std::ostringstream text;
  text << in.rdbuf();
  return parse(text.str(), path, warning);
}

std::optional<double> Sidecar::number(const std::string& key) const {
  std::optional<double> found;
  for (const Line& line : lines_) {
    if (line.key == key) found = line.value;
  }
  return found;
}

void Sidecar::setNumber(const std::string& key, std::optional<double> value) {
  bool placed = false;
  for (size_t i = 0; i < lines_.size();) {
    if (lines_[i].key != key) {
      ++i;
      continue;
    }
    if (value && !placed) {
      lines_[i] = Line{formatLine(key, *value), key, *value};
      placed = true;
      ++i;
    } else {
      lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  if (value && !placed) lines_.push_back(Line{formatLine(key, *value), key, *value});
}

std::string Sidecar::text() const {
  std::string out;
  for (const Line& line : lines_) out += line.raw + "\n";
  return out;
}

bool Sidecar::write(const std::string& path, std::string* error) const {
  if (lines_.empty()) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    *error = path + ": cannot remove: " + std::strerror(errno);
    return false;
  }
  const std::string temp = path + ".tmp";
  const std::string bytes = text();
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    *error = path + ": cannot create " + temp + ": " + std::strerror(errno);
    return false;
  }
  const bool written = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  const int writeErr = errno;
  if (::close(fd) != 0 || !written) {
    *error = path + ": cannot write " + temp + ": " + std::strerror(written ? errno : writeErr);
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    *error = path + ": cannot replace the file: " + std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace korvalin
