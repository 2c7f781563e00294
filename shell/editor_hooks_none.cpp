#include <cstdio>

#include "shell/editor_hooks.h"
#include "timeline/project_file.h"

namespace korvalin {

// The demo player alone: the project is read once, the hooks do nothing.
std::unique_ptr<EditorHooks> makeEditorHooks(ShellServices& services) {
  std::string error;
  if (loadProject(services.timeline, services.projectPath, &error) == LoadResult::kMalformed) {
    std::fprintf(stderr, "%s\n", error.c_str());
  }
  return std::make_unique<EditorHooks>();
}

}  // namespace korvalin
