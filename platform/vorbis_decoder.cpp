#include "platform/vorbis_decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cerrno>
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
  damagedAt_ = -1;
  silence_ = 0;
  samples_.clear();
  next_ = 0;
  return true;
}

long VorbisDecoder::decode() {
  for (;;) {
    float** pcm = nullptr;
    int section = 0;
    const long got = ov_read_float(&file_->vf, &pcm, 4096, &section);  // mutants: skip (speed only)
    // A gap in the data: decoding goes on after it, as a player would.
    if (got == OV_HOLE) continue;
    // The end, or the rare damage the library cannot step over (a link it cannot read).
    if (got <= 0) return 0;
    // The page's own position says where these samples belong: whatever a damaged stretch lost
    // before them becomes silence.
    const int64_t start = ov_pcm_tell(&file_->vf) - got;
    if (start > position_) {
      silence_ = start - position_;
      if (damagedAt_ == -1) damagedAt_ = position_;
    }
    samples_.resize(static_cast<size_t>(got) * channels_);
    float* out = samples_.data();
    for (long i = 0; i < got; ++i) {
      for (int c = 0; c < channels_; ++c) *out++ = pcm[c][i];
    }
    next_ = 0;
    return got;
  }
}

int64_t VorbisDecoder::read(float* interleaved, int64_t frames) {
  int64_t done = 0;
  // Never past the length the file declares, whatever its pages claim.
  while (done < frames && position_ < length_) {
    if (silence_ == 0 && next_ == samples_.size()) {
      if (decode() == 0) break;
    }
    const int64_t room = std::min(frames - done, length_ - position_);
    float* out = interleaved + done * channels_;
    int64_t count = 0;
    if (silence_ > 0) {
      count = std::min(silence_, room);
      std::fill(out, out + count * channels_, 0.0f);
      silence_ -= count;
    } else {
      count = std::min<int64_t>(room, static_cast<int64_t>(samples_.size() - next_) / channels_);
      std::copy_n(samples_.data() + next_, count * channels_, out);
      next_ += static_cast<size_t>(count * channels_);
    }
    done += count;
    position_ += count;
  }
  return done;
}

}  // namespace korvalin
