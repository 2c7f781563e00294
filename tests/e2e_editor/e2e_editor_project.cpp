// The project the editor's end-to-end run starts from, and the file it must save after the
// scripted edits. Usage:
//   e2e_editor_project start SAVE.BRZ
//   e2e_editor_project check SAVE.BRZ LOWEST-START HIGHEST-START
// `check` rebuilds the expected project from the starting one, taking the start of the clip made
// in the dialog (the play position of that moment) from the saved file, checks that start lies in
// the given range and compares the whole file byte for byte.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "timeline/project_file.h"
#include "timeline/timeline.h"

namespace {

using namespace korvalin;

void add(Timeline& t, int layer, float start, float length, int type, std::initializer_list<float> values) {
  t.addClip(layer, start, length, type);
  ParameterBlock& block = *t.layerClipParams[layer].back();
  int k = 0;
  for (float v : values) block[k++] = v;
}

// A background picture, a camera on a turning model, a card, and the Box the run edits
// (layer 1, 1.0 s to 4.0 s, Rotate X 30).
Timeline startingProject() {
  Timeline t;
  add(t, 0, 0.0f, 120.0f, kLayer2D, {6, 1, 0});
  add(t, 1, 1.0f, 3.0f, kBox, {30, 45, 0, 1.5f});
  add(t, 2, 0.0f, 120.0f, kCamera, {0, 0, 0, 0.45f, 0.35f, 1.2f, 0, 0, 0, 0, 0, 0, 60});
  add(t, 6, 0.5f, 60.0f, kModel3D, {0, 0, 0, 1.6f, 0.15f, 0.5f, 0, 4});
  add(t, 11, 6.0f, 5.0f, kFlat, {11, 2, 3, 0.5f, 0, -0.3f});
  t.syncAllClipTimes();
  return t;
}

std::vector<uint8_t> readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int check(const char* path, float lowest, float highest) {
  const std::vector<uint8_t> saved = readFile(path);
  Timeline loaded;
  std::string error;
  if (decodeProject(loaded, saved.data(), saved.size(), path, &error) != LoadResult::kLoaded) {
    std::printf("FAIL: %s\n", error.c_str());
    return 1;
  }
  if (loaded.clipCount(3) != 1) {
    std::printf("FAIL: layer 3 holds %d clips, expected the one made in the dialog\n", loaded.clipCount(3));
    return 1;
  }
  const float made = loaded.layerClipTimes[3][0].start;
  if (!(made >= lowest && made <= highest)) {
    std::printf("FAIL: the new clip starts at %.4f, outside the play positions %.4f to %.4f\n", made, lowest,
                highest);
    return 1;
  }

  // The edits of the run: three wheel steps up on Rotate X, C, Delete, and a Camera clip on
  // layer 3 through the dialogs.
  Timeline expected = startingProject();
  (*expected.layerClipParams[1][0])[0] = 33.0f;
  expected.editMode = kEditClip;
  expected.selectedLayer = 1;
  expected.selectedClip = 0;
  expected.duplicateSelectedClip();
  expected.deleteSelectedClip();
  expected.addClip(3, made, 1.0f, kCamera);
  const std::vector<uint8_t> want = encodeProject(expected);

  if (saved == want) {
    std::printf("save.brz matches byte for byte (%zu bytes; new clip at %.4f s)\n", saved.size(), made);
    return 0;
  }
  size_t at = 0;
  while (at < saved.size() && at < want.size() && saved[at] == want[at]) ++at;
  std::printf("FAIL: save.brz differs at byte %zu (%zu bytes saved, %zu expected)\n", at, saved.size(),
              want.size());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "start") == 0) {
    std::string error;
    if (!saveProject(startingProject(), argv[2], &error)) {
      std::printf("FAIL: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "check") == 0) {
    return check(argv[2], std::strtof(argv[3], nullptr), std::strtof(argv[4], nullptr));
  }
  std::fprintf(stderr, "usage: %s start SAVE.BRZ | check SAVE.BRZ LOWEST HIGHEST\n", argv[0]);
  return 2;
}
