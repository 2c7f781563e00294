// The project the editor's end-to-end run starts from, and the file it must save after selecting
// the Box and duplicating it, both written from the file's layout:
//   shell_project start|check SAVE.BRZ
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "tests/common/project_bytes.h"

using korvalin::test::clipRecord;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s start|check SAVE.BRZ\n", argv[0]);
    return 2;
  }
  // A background picture (type 0), a Box (1) on layer 1 from 1.0 s to 4.0 s, a camera (2), a
  // turning model (5), a card (6) and, later on, a render to texture (3 and 4): every record size.
  std::map<int, std::vector<std::vector<uint8_t>>> layers = {
      {0, {clipRecord(0, 0.0f, 120.0f, {6, 1, 0})}},
      {1, {clipRecord(1, 1.0f, 3.0f, {30, 45, 0, 1.5f})}},
      {2, {clipRecord(2, 0.0f, 120.0f, {0, 0, 0, 0.45f, 0.35f, 1.2f, 0, 0, 0, 0, 0, 0, 60})}},
      {6, {clipRecord(5, 0.5f, 60.0f, {0, 0, 0, 1.6f, 0.15f, 0.5f, 0, 4})}},
      {11, {clipRecord(6, 6.0f, 5.0f, {11, 2, 3, 0.5f, 0, -0.3f})}},
      {13, {clipRecord(3, 20.0f, 5.0f, {3, 3})}},
      {14, {clipRecord(4, 20.0f, 5.0f, {3, 3, 95})}}};
  if (std::strcmp(argv[1], "start") == 0) {
    const std::vector<uint8_t> bytes = korvalin::test::projectBytes(layers);
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
  }
  // The copy starts where the Box ends and follows it in its layer.
  layers[1].push_back(clipRecord(1, 4.0f, 3.0f, {30, 45, 0, 1.5f}));
  const std::vector<uint8_t> want = korvalin::test::projectBytes(layers);
  std::ifstream in(argv[2], std::ios::binary);
  const std::vector<uint8_t> saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t at = 0;
  while (at < saved.size() && at < want.size() && saved[at] == want[at]) ++at;
  if (saved == want) return 0;
  std::printf("save.brz differs at byte %zu (%zu bytes saved, %zu expected)\n", at, saved.size(), want.size());
  return 1;
}
