// Writes silent Ogg Vorbis music: shell_make_ogg PATH MILLISECONDS
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/music.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::vector<float> stereo(static_cast<size_t>(std::atoi(argv[2])) * 441 / 10 * 2, 0.0f);
  std::string error;
  if (korvalin::content::writeOggVorbis(argv[1], stereo, 44100, 0.1f, &error)) return 0;
  std::fprintf(stderr, "%s\n", error.c_str());
  return 1;
}
