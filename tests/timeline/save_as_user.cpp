// Saves a one-clip project to PATH, as the editor's save key does, and reports the result:
// status 0 when saved, 1 with the error line on standard error when not. The permission test runs
// it as an ordinary user, since root may write anything.
#include <cstdio>
#include <string>

#include "timeline/project_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: save_as_user PATH\n");
    return 2;
  }
  korvalin::Timeline project;
  project.addClip(2, 1.0f, 1.0f, korvalin::kBox);
  std::string error;
  if (korvalin::saveProject(project, argv[1], &error)) return 0;
  std::fprintf(stderr, "%s\n", error.c_str());
  return 1;
}
