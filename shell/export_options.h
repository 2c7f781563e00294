// The command line of `korvalin --export OUT`, and the span of the demo it asks for.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_format.h"

namespace korvalin {

struct ExportOptions {
  std::string output;
  const ContainerInfo* container = nullptr;
  int fps = 60;
  int scale = 1;
  int crf = 18;
  bool haveFrom = false;
  bool haveTo = false;
  double from = 0;
  double to = 0;
  bool force = false;
  // Not on the command line: encoder tuning for benchmarks.
  std::string preset = "veryfast";
  int encoderThreads = 1;  // drawing is the slower half; more x264 threads take its cores
};

enum class ExportCommand { kExport, kHelp, kVersion, kBadUsage };

// True when the command line names --export; such a line is read by parseExportCommand alone.
bool isExportCommand(int argc, const char* const* argv);

// Reads the whole command line. kBadUsage sets `error` to one line naming the option and what
// is wrong with it; --help and --version win over everything else.
ExportCommand parseExportCommand(int argc, const char* const* argv, ExportOptions* options,
                                 std::string* error);

struct ExportRange {
  double from = 0;
  double to = 0;
  int64_t frames = 0;  // at t = from + n / fps for n = 0 ... frames - 1
};

// The span to export: --from (0 if not given) to --to (`end` if not given), which must lie
// within 0 ... `end`. `endName` says what ends the demo ("the music"), for the message.
bool resolveExportRange(const ExportOptions& options, double end, const std::string& endName,
                        ExportRange* range, std::string* error);

}  // namespace korvalin
