// Short Ogg Vorbis files for tests, encoded here so that no sample file is needed.
#pragma once

#include <cstdint>
#include <string>

namespace korvalin::test {

// A sine tone of `millis` milliseconds at `rate` Hz with `channels` channels.
bool writeSineOgg(const std::string& path, int32_t millis, int32_t rate = 44100, int32_t channels = 2);

}  // namespace korvalin::test
