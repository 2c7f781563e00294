// Entry point: the command line, then the shell.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/export_options.h"
#include "shell/export_run.h"
#include "shell/shell_app.h"

namespace {

constexpr const char* kUsage =
    "Usage: korvalin [option]...\n"
    "Plays the demo from the run folder (data/, text12.bmp, text14.bmp, text18.bmp, save.brz).\n"
    "Escape quits, F1 switches between fullscreen and a window.\n"
    "\n"
    "  --windowed      start in a window instead of fullscreen\n"
    "  --editor        the timeline editor: a 1024 x 768 window with the demo in its top-left\n"
    "                  640 x 480; the demo loops at the end of the music\n"
    "  --trace-frames  timing lines on standard error: start (and F1) to the first frame,\n"
    "                  and the clock's step between passes (also KORVALIN_TRACE_FRAMES=1;\n"
    "                  KORVALIN_TRACE_FRAMES=2 adds a line for every pass)\n"
    "  --help          this text\n"
    "  --version       the program's version\n"
    "\n"
    "In --editor mode unsaved changes are written to save.brz.autosave every 30 s at most;\n"
    "KORVALIN_AUTOSAVE_SECONDS=N makes that N seconds (a testing aid).\n"
    "\n"
    "Usage: korvalin --export OUT [option]...\n"
    "Writes the demo, with its music, to the video file OUT without showing anything. The\n"
    "extension chooses the kind: .mp4 or .mkv (H.264 + AAC), .webm (VP9 + Opus). Without\n"
    "the music the video is silent and ends with the last clip.\n"
    "\n"
    "  --export OUT    the file to write; it appears only when complete (OUT.part until\n"
    "                  then; Ctrl-C stops and leaves what was written playable in OUT.part)\n"
    "  --fps N         frames per second, 24 to 240 (default 60)\n"
    "  --from S        start at S seconds (default 0)\n"
    "  --to S          end at S seconds (default: the end of the music)\n"
    "  --scale N       picture 640 x 480 times N, 1 to 4 (default 1), upscaled with Lanczos\n"
    "  --crf N         quality, lower is better: 0 to 51 for H.264, 0 to 63 for VP9 (default 18)\n"
    "  --force         replace OUT if it exists\n";

// `korvalin --export OUT ...`: a command line of its own.
int exportCommand(int argc, char** argv) {
  korvalin::ExportOptions options;
  std::string error;
  switch (korvalin::parseExportCommand(argc, argv, &options, &error)) {
    case korvalin::ExportCommand::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case korvalin::ExportCommand::kVersion:
      std::printf("korvalin %s\n", KORVALIN_VERSION);
      return 0;
    case korvalin::ExportCommand::kBadUsage:
      std::fprintf(stderr, "korvalin: %s (see korvalin --help)\n", error.c_str());
      return 2;
    case korvalin::ExportCommand::kExport:
      break;
  }
  return korvalin::runExport(options);
}

}  // namespace

int main(int argc, char** argv) {
  if (korvalin::isExportCommand(argc, argv)) return exportCommand(argc, argv);
  korvalin::ShellOptions options;
  const char* traceEnv = std::getenv("KORVALIN_TRACE_FRAMES");
  options.traceFrames = traceEnv != nullptr && std::strcmp(traceEnv, "0") != 0 && *traceEnv != '\0';
  options.tracePasses = traceEnv != nullptr && std::strcmp(traceEnv, "2") == 0;
  if (const char* autosaveEnv = std::getenv("KORVALIN_AUTOSAVE_SECONDS")) {
    char* end = nullptr;
    const double seconds = std::strtod(autosaveEnv, &end);
    if (end != autosaveEnv && *end == '\0' && seconds > 0.0 && seconds <= 86400.0) {
      options.autosaveSeconds = seconds;
    } else {
      std::fprintf(stderr, "korvalin: KORVALIN_AUTOSAVE_SECONDS='%s' is not a number of seconds; autosaving every 30 s\n",
                   autosaveEnv);
    }
  }
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--windowed") == 0) {
      options.fullscreen = false;
    } else if (std::strcmp(arg, "--editor") == 0) {
      options.editorMode = true;
      options.fullscreen = false;
    } else if (std::strcmp(arg, "--trace-frames") == 0) {
      options.traceFrames = true;
    } else if (std::strcmp(arg, "--help") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(arg, "--version") == 0) {
      std::printf("korvalin %s\n", KORVALIN_VERSION);
      return 0;
    } else {
      std::fprintf(stderr, "korvalin: unknown option '%s' (see korvalin --help)\n", arg);
      return 2;
    }
  }
  return korvalin::runShell(options);
}
