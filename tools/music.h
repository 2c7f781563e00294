// The soundtrack: synthesised drums, bass, pads and lead, encoded as Ogg Vorbis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvalin::content {

// Interleaved stereo at kSampleRate, kTrackSeconds long, peak below 1.
std::vector<float> synthesiseTrack();

// Encodes interleaved floats (stereo unless `channels` says otherwise) with libvorbisenc
// (quality -0.1 .. 1). Fixed stream serial, so the same samples give the same bytes; files meant
// to be chained need serials of their own.
bool writeOggVorbis(const std::string& path, const std::vector<float>& interleaved, int rate,
                    float quality, std::string* error, uint32_t serial = 0x4b6f7276, int channels = 2);

}  // namespace korvalin::content
