// Writes a sine-tone Ogg Vorbis file: make_sine_ogg PATH MILLISECONDS
#include <cstdio>
#include <cstdlib>

#include "tests/platform/sine_ogg.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_sine_ogg PATH MILLISECONDS\n");
    return 2;
  }
  return korvalin::test::writeSineOgg(argv[1], std::atoi(argv[2])) ? 0 : 1;
}
