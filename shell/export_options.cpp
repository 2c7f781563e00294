#include "shell/export_options.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace korvalin {
namespace {

constexpr int kMinFps = 24;
constexpr int kMaxFps = 240;
constexpr int kMaxScale = 4;

bool parseWhole(const char* text, int low, int high, int* out) {
  const size_t length = std::strlen(text);
  if (length == 0 || length > 6 || std::strspn(text, "0123456789") != length) return false;
  const int value = std::atoi(text);
  if (value < low || value > high) return false;
  *out = value;
  return true;
}

// Plain decimal seconds, 0 or more: no sign, no hexadecimal, no infinity.
bool parseSeconds(const char* text, double* out) {
  const size_t length = std::strlen(text);
  if (length == 0 || std::strspn(text, "0123456789.eE+-") != length || text[0] == '-' ||
      text[0] == '+') {
    return false;
  }
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  if (end != text + length || !std::isfinite(value) || value < 0) return false;
  *out = value;
  return true;
}

std::string format(const char* pattern, ...) {
  char text[512];
  va_list args;
  va_start(args, pattern);
  std::vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

}  // namespace

bool isExportCommand(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--export") == 0) return true;
  }
  return false;
}

ExportCommand parseExportCommand(int argc, const char* const* argv, ExportOptions* options,
                                 std::string* error) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) return ExportCommand::kHelp;
    if (std::strcmp(argv[i], "--version") == 0) return ExportCommand::kVersion;
  }
  ExportOptions& o = *options;
  const char* crfText = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--force") {
      o.force = true;
      continue;
    }
    const bool known = name == "--export" || name == "--fps" || name == "--scale" ||
                       name == "--crf" || name == "--from" || name == "--to";
    if (!known) {
      *error = "unknown option '" + name + "' for --export";
      return ExportCommand::kBadUsage;
    }
    if (i + 1 >= argc) {
      *error = name + (name == "--export" ? " needs a file name" : " needs a value");
      return ExportCommand::kBadUsage;
    }
    const char* value = argv[++i];
    bool good = true;
    if (name == "--export") {
      o.output = value;
    } else if (name == "--fps") {
      good = parseWhole(value, kMinFps, kMaxFps, &o.fps);
      if (!good) *error = format("--fps %s: must be a whole number from %d to %d", value, kMinFps, kMaxFps);
    } else if (name == "--scale") {
      good = parseWhole(value, 1, kMaxScale, &o.scale);
      if (!good) *error = format("--scale %s: must be a whole number from 1 to %d", value, kMaxScale);
    } else if (name == "--crf") {
      crfText = value;
    } else {
      const bool from = name == "--from";
      good = parseSeconds(value, from ? &o.from : &o.to);
      (from ? o.haveFrom : o.haveTo) = true;
      if (!good) *error = name + " " + value + ": must be a number of seconds, 0 or more";
    }
    if (!good) return ExportCommand::kBadUsage;
  }
  if (o.output.empty()) {
    *error = "--export needs a file name";
    return ExportCommand::kBadUsage;
  }
  o.container = containerForPath(o.output);
  if (o.container == nullptr) {
    *error = o.output + ": unknown kind of video file (use " + knownVideoExtensions() + ")";
    return ExportCommand::kBadUsage;
  }
  // The quality scale is the encoder's, so it is checked once the file name has chosen it.
  if (crfText != nullptr && !parseWhole(crfText, 0, o.container->maxCrf, &o.crf)) {
    *error = format("--crf %s: must be a whole number from 0 to %d for %s", crfText,
                    o.container->maxCrf, o.container->extension);
    return ExportCommand::kBadUsage;
  }
  if (o.haveFrom && o.haveTo && o.from >= o.to) {
    *error = format("--from %g must be before --to %g", o.from, o.to);
    return ExportCommand::kBadUsage;
  }
  return ExportCommand::kExport;
}

bool resolveExportRange(const ExportOptions& options, double end, const std::string& endName,
                        ExportRange* range, std::string* error) {
  const double from = options.haveFrom ? options.from : 0.0;
  const double to = options.haveTo ? options.to : end;
  if (from >= end || to > end) {
    *error = format(from >= end ? "--from %g is not before the end of %s (%.3f s)"
                                : "--to %g is past the end of %s (%.3f s)",
                    from >= end ? from : to, endName.c_str(), end);
    return false;
  }
  if (from >= to) {
    *error = format("--to %g must be after --from %g", to, from);
    return false;
  }
  range->from = from;
  range->to = to;
  // Enough frames to cover the span; the tolerance keeps 2 s at 30 fps from becoming 61.
  range->frames = static_cast<int64_t>(std::ceil((to - from) * options.fps - 1e-6));
  return true;
}

}  // namespace korvalin
