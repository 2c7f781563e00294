#include "tests/platform/sine_ogg.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

namespace korvalin::test {
namespace {

bool writePages(ogg_stream_state& stream, FILE* out, bool flush) {
  ogg_page page;
  while (flush ? ogg_stream_flush(&stream, &page) != 0 : ogg_stream_pageout(&stream, &page) != 0) {
    if (std::fwrite(page.header, 1, page.header_len, out) != static_cast<size_t>(page.header_len) ||
        std::fwrite(page.body, 1, page.body_len, out) != static_cast<size_t>(page.body_len)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool writeSineOgg(const std::string& path, int32_t millis, int32_t rate, int32_t channels) {
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, channels, rate, 0.1f) != 0) {
    vorbis_info_clear(&info);
    std::fclose(out);
    return false;
  }
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, 1);

  ogg_packet header, headerComment, headerCode;
  vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &headerComment);
  ogg_stream_packetin(&stream, &headerCode);
  bool ok = writePages(stream, out, true);

  const int64_t totalFrames = static_cast<int64_t>(millis) * rate / 1000;
  int64_t written = 0;
  bool ended = false;
  while (ok && !ended) {
    const int chunk = static_cast<int>(std::min<int64_t>(4096, totalFrames - written));
    if (chunk > 0) {
      float** buffer = vorbis_analysis_buffer(&dsp, chunk);
      for (int i = 0; i < chunk; ++i) {
        const float value = 0.3f * std::sin(2.0 * M_PI * 440.0 * (written + i) / rate);
        for (int c = 0; c < channels; ++c) buffer[c][i] = value;
      }
      vorbis_analysis_wrote(&dsp, chunk);
      written += chunk;
    } else {
      vorbis_analysis_wrote(&dsp, 0);
    }
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
        ogg_stream_packetin(&stream, &packet);
        ok = ok && writePages(stream, out, false);
        if (packet.e_o_s != 0) ended = true;
      }
    }
  }
  ok = ok && writePages(stream, out, true);
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return std::fclose(out) == 0 && ok;
}

}  // namespace korvalin::test
