// The project the editor's end-to-end run starts from, and the file it must save after the
// scripted edits, both written from the file's layout. Usage:
//   e2e_editor_project start SAVE.BRZ
//   e2e_editor_project check SAVE.BRZ LOWEST-START HIGHEST-START
// `check` takes the start of the clip made in the dialog (the play position of that moment) from
// the saved file, checks that it lies in the given range and compares the whole file byte for byte.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "tests/common/project_bytes.h"

namespace {

using korvalin::test::clipRecord;
using Layers = std::map<int, std::vector<std::vector<uint8_t>>>;

// A background picture (type 0), the Box (1) the run edits on layer 1 from 1.0 s to 4.0 s with
// Rotate X 30, a camera (2), a turning model (5) and a card (6).
Layers startingLayers() {
  return {{0, {clipRecord(0, 0.0f, 120.0f, {6, 1, 0})}},
          {1, {clipRecord(1, 1.0f, 3.0f, {30, 45, 0, 1.5f})}},
          {2, {clipRecord(2, 0.0f, 120.0f, {0, 0, 0, 0.45f, 0.35f, 1.2f, 0, 0, 0, 0, 0, 0, 60})}},
          {6, {clipRecord(5, 0.5f, 60.0f, {0, 0, 0, 1.6f, 0.15f, 0.5f, 0, 4})}},
          {11, {clipRecord(6, 6.0f, 5.0f, {11, 2, 3, 0.5f, 0, -0.3f})}}};
}

bool write(const char* path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

int check(const char* path, float lowest, float highest) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Layers 0, 1 and 2 take 27, 31 and 67 bytes; then layer 3's header and its clip's type.
  constexpr size_t kMadeStart = 27 + 31 + 67 + 3 + 4;
  float made = -1.0f;
  if (saved.size() >= kMadeStart + 4) std::memcpy(&made, &saved[kMadeStart], 4);
  if (!(made >= lowest && made <= highest)) {
    std::printf("FAIL: the new clip starts at %.4f, outside the play positions %.4f to %.4f\n", made, lowest,
                highest);
    return 1;
  }
  // Three wheel steps up on Rotate X, C (the copy starts where the Box ends), Delete, and a
  // Camera clip of 1 s on layer 3 with all parameters 0.
  Layers expected = startingLayers();
  expected[1] = {clipRecord(1, 4.0f, 3.0f, {33, 45, 0, 1.5f})};
  expected[3] = {clipRecord(2, made, 1.0f, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})};
  const std::vector<uint8_t> want = korvalin::test::projectBytes(expected);
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
    return write(argv[2], korvalin::test::projectBytes(startingLayers())) ? 0 : 1;
  }
  if (argc == 5 && std::strcmp(argv[1], "check") == 0) {
    return check(argv[2], std::strtof(argv[3], nullptr), std::strtof(argv[4], nullptr));
  }
  std::fprintf(stderr, "usage: %s start SAVE.BRZ | check SAVE.BRZ LOWEST HIGHEST\n", argv[0]);
  return 2;
}
