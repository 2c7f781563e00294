// Any bytes go into the reader; whatever it accepts must write back to a file that reads
// back to the very same bytes.
#include <cstdio>
#include <cstdlib>

#include "timeline/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A rejected file must leave the project it was loaded into exactly as it was.
  korvalin::Timeline timeline;
  timeline.addClip(4, 1.0f, 2.0f, korvalin::kCamera);
  timeline.editMode = korvalin::kEditClip;
  const std::vector<uint8_t> before = korvalin::encodeProject(timeline);
  std::string error;
  if (korvalin::decodeProject(timeline, data, size, "fuzz", &error) != korvalin::LoadResult::kLoaded) {
    if (error.empty() || timeline.editMode != korvalin::kEditClip ||
        korvalin::encodeProject(timeline) != before) {
      std::fprintf(stderr, "a rejected file changed the project or gave no message\n");
      std::abort();
    }
    return 0;
  }
  const std::vector<uint8_t> once = korvalin::encodeProject(timeline);
  korvalin::Timeline again;
  if (korvalin::decodeProject(again, once.data(), once.size(), "fuzz", &error) !=
      korvalin::LoadResult::kLoaded) {
    std::fprintf(stderr, "re-read failed: %s\n", error.c_str());
    std::abort();
  }
  if (korvalin::encodeProject(again) != once) {
    std::fprintf(stderr, "second encoding differs\n");
    std::abort();
  }
  return 0;
}
