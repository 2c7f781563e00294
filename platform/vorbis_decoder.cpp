#include "platform/vorbis_decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace korvalin {

struct VorbisDecoder::File {
  OggVorbis_File vf;
};

std::unique_ptr<VorbisDecoder> VorbisDecoder::open(const std::string& path, std::string* error) {
  auto file = std::make_unique<File>();
  const int opened = ov_fopen(path.c_str(), &file->vf);
  if (opened != 0) {
    // -1: the file itself could not be opened.
    *error = path + ": " + (opened == -1             ? std::strerror(errno)
                            : opened == OV_ENOTVORBIS ? "not Ogg Vorbis data"
                                                      : "damaged Ogg Vorbis data");
    return nullptr;
  }
  // From here the decoder owns the file: its destructor clears it.
  std::unique_ptr<VorbisDecoder> decoder(new VorbisDecoder());
  decoder->file_ = std::move(file);
  OggVorbis_File& vf = decoder->file_->vf;
  // Unseekable data (a pipe) has no known length.
  const ogg_int64_t total = ov_pcm_total(&vf, -1);
  if (total < 0) {
    *error = path + ": cannot be seeked (its length is unknown)";
    return nullptr;
  }
  const vorbis_info* first = ov_info(&vf, 0);
  for (int link = 1; link < ov_streams(&vf); ++link) {
    const vorbis_info* info = ov_info(&vf, link);
    if (info->rate != first->rate || info->channels != first->channels) {
      *error = path + ": changes sample rate or channel count part-way";
      return nullptr;
    }
  }
  decoder->rate_ = static_cast<int32_t>(first->rate);
  decoder->channels_ = first->channels;
  decoder->length_ = total;
  return decoder;
}

VorbisDecoder::~VorbisDecoder() {
  ov_clear(&file_->vf);
}

bool VorbisDecoder::seek(int64_t frame) {
  // The library refuses frames outside the file.
  if (ov_pcm_seek(&file_->vf, frame) != 0) return false;
  position_ = frame;
  return true;
}

int64_t VorbisDecoder::read(float* interleaved, int64_t frames) {
  int64_t done = 0;
  while (done < frames) {
    float** pcm = nullptr;
    int section = 0;
    const int want = static_cast<int>(std::min<int64_t>(frames - done, 4096));
    const long got = ov_read_float(&file_->vf, &pcm, want, &section);
    // A gap in the data: decoding goes on after it, as a player would.
    if (got == OV_HOLE) continue;
    if (got < 0) {
      char at[64];
      std::snprintf(at, sizeof at, "damaged Ogg Vorbis data at %.2f s", static_cast<double>(position_) / rate_);
      error_ = at;
      return got;
    }
    if (got == 0) break;
    // Never more than asked for, whatever the library hands back.
    const int64_t count = std::min<int64_t>(got, frames - done);
    float* out = interleaved + done * channels_;
    for (int64_t i = 0; i < count; ++i) {
      for (int c = 0; c < channels_; ++c) *out++ = pcm[c][i];
    }
    done += count;
    position_ += count;
  }
  return done;
}

}  // namespace korvalin
