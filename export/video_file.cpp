#include "export/video_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <functional>
#include <vector>

namespace korvalin {
namespace {

// Source frames taken from the audio source per step.
constexpr int kAudioChunk = 4096;

std::string ffmpegMessage(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

// The source's own rate where the encoder takes it (AAC: 44.1 kHz), else 48 kHz (Opus).
int pickSampleRate(const AVCodec* codec, int sourceRate) {
  if (codec->supported_samplerates == nullptr) return sourceRate;
  int best = codec->supported_samplerates[0];
  for (const int* r = codec->supported_samplerates; *r != 0; ++r) {
    if (*r == sourceRate) return sourceRate;
    if (*r > best) best = *r;
  }
  return best;
}

}  // namespace

struct VideoFile::Impl {
  VideoExportSettings settings;
  AudioSource audio;
  AVFormatContext* format = nullptr;
  AVPacket* packet = nullptr;

  AVCodecContext* video = nullptr;
  AVStream* videoStream = nullptr;
  SwsContext* scaler = nullptr;
  AVFrame* picture = nullptr;
  int64_t pictures = 0;

  AVCodecContext* sound = nullptr;
  AVStream* soundStream = nullptr;
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* soundFrame = nullptr;
  int soundFrameSize = 0;
  int64_t soundPts = 0;    // samples handed to the audio encoder
  int64_t audioTaken = 0;  // source frames converted
  std::vector<float> sourceSamples;
  uint8_t** converted = nullptr;
  int convertedCapacity = 0;

  ~Impl() {
    if (format != nullptr && format->pb != nullptr) avio_closep(&format->pb);
    avformat_free_context(format);
    av_packet_free(&packet);
    avcodec_free_context(&video);
    sws_freeContext(scaler);
    av_frame_free(&picture);
    avcodec_free_context(&sound);
    swr_free(&resampler);
    if (fifo != nullptr) av_audio_fifo_free(fifo);
    av_frame_free(&soundFrame);
    if (converted != nullptr) av_freep(&converted[0]);
    av_freep(&converted);
  }

  AVCodecContext* openEncoder(const char* name, AVDictionary** options, AVStream** stream,
                              const std::function<void(AVCodecContext&, const AVCodec&)>& configure,
                              std::string* error);
  bool addVideoStream(std::string* error);
  bool addAudioStream(std::string* error);
};

// Encoder `name` set up by `configure`, opened, with its stream in the file.
AVCodecContext* VideoFile::Impl::openEncoder(
    const char* name, AVDictionary** options, AVStream** stream,
    const std::function<void(AVCodecContext&, const AVCodec&)>& configure, std::string* error) {
  const AVCodec* codec = avcodec_find_encoder_by_name(name);
  if (codec == nullptr) {
    *error = std::string("this FFmpeg has no ") + name + " encoder";
    return nullptr;
  }
  AVCodecContext* context = avcodec_alloc_context3(codec);
  configure(*context, *codec);
  if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  const int opened = avcodec_open2(context, codec, options);
  *stream = opened < 0 ? nullptr : avformat_new_stream(format, nullptr);
  if (*stream == nullptr) {
    *error = std::string("cannot start the ") + name + " encoder: " + ffmpegMessage(opened);
    avcodec_free_context(&context);
    return nullptr;
  }
  avcodec_parameters_from_context((*stream)->codecpar, context);
  (*stream)->time_base = context->time_base;
  return context;
}

bool VideoFile::Impl::addVideoStream(std::string* error) {
  const bool vp9 = settings.container == VideoContainer::kWebm;
  const int width = settings.width * settings.scale;
  const int height = settings.height * settings.scale;
  AVDictionary* options = nullptr;
  av_dict_set_int(&options, "crf", settings.crf, 0);
  if (vp9) {
    // Constant quality: crf alone decides, with no bit-rate target. The realtime speed is about
    // three times faster than "good" here for 0.7 dB less at the same crf (docs/performance.md).
    av_dict_set(&options, "b", "0", 0);
    av_dict_set(&options, "deadline", "realtime", 0);
    av_dict_set(&options, "cpu-used", "8", 0);
    av_dict_set(&options, "row-mt", "1", 0);
  } else {
    av_dict_set(&options, "preset", settings.preset.c_str(), 0);
  }
  video = openEncoder(vp9 ? "libvpx-vp9" : "libx264", &options, &videoStream,
                      [&](AVCodecContext& c, const AVCodec&) {
                        c.width = width;
                        c.height = height;
                        c.time_base = AVRational{1, settings.fps};
                        c.framerate = AVRational{settings.fps, 1};
                        c.pix_fmt = AV_PIX_FMT_YUV420P;
                        // Tagged as converted, so that players do not guess the colours.
                        c.color_range = AVCOL_RANGE_MPEG;
                        c.colorspace = AVCOL_SPC_BT709;
                        c.color_primaries = AVCOL_PRI_BT709;
                        c.color_trc = AVCOL_TRC_BT709;
                        c.thread_count = settings.encoderThreads;
                      },
                      error);
  av_dict_free(&options);
  if (video == nullptr) return false;
  videoStream->avg_frame_rate = video->framerate;

  // Lanczos for the upscale; the same filter resamples the chroma at scale 1.
  scaler = sws_getContext(settings.width, settings.height, AV_PIX_FMT_BGR0, width, height,
                          AV_PIX_FMT_YUV420P, SWS_LANCZOS | SWS_ACCURATE_RND, nullptr, nullptr,
                          nullptr);
  if (scaler == nullptr) {
    *error = "cannot set up the picture conversion";
    return false;
  }
  const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
  sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
  picture = av_frame_alloc();
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = width;
  picture->height = height;
  return av_frame_get_buffer(picture, 0) >= 0;
}

bool VideoFile::Impl::addAudioStream(std::string* error) {
  const bool opus = settings.container == VideoContainer::kWebm;
  sound = openEncoder(opus ? "libopus" : "aac", nullptr, &soundStream,
                      [&](AVCodecContext& c, const AVCodec& codec) {
                        c.sample_fmt = codec.sample_fmts[0];  // the resampler converts to whatever it takes
                        c.sample_rate = pickSampleRate(&codec, settings.audioRate);
                        av_channel_layout_default(&c.ch_layout, std::min(settings.audioChannels, 2));
                        c.bit_rate = opus ? 160000 : 192000;
                        c.time_base = AVRational{1, c.sample_rate};
                      },
                      error);
  if (sound == nullptr) return false;

  AVChannelLayout sourceLayout;
  av_channel_layout_default(&sourceLayout, settings.audioChannels);
  int ready = swr_alloc_set_opts2(&resampler, &sound->ch_layout, sound->sample_fmt,
                                  sound->sample_rate, &sourceLayout, AV_SAMPLE_FMT_FLT,
                                  settings.audioRate, 0, nullptr);
  av_channel_layout_uninit(&sourceLayout);
  if (ready < 0 || swr_init(resampler) < 0) {
    *error = "cannot set up the audio conversion";
    return false;
  }
  soundFrameSize = sound->frame_size > 0 ? sound->frame_size : 1024;
  const int channels = sound->ch_layout.nb_channels;
  fifo = av_audio_fifo_alloc(sound->sample_fmt, channels, soundFrameSize * 4);
  soundFrame = av_frame_alloc();
  soundFrame->nb_samples = soundFrameSize;
  soundFrame->format = sound->sample_fmt;
  soundFrame->sample_rate = sound->sample_rate;
  av_channel_layout_copy(&soundFrame->ch_layout, &sound->ch_layout);
  // Room for a whole chunk after resampling, plus what the resampler holds back.
  convertedCapacity = static_cast<int>(
      av_rescale_rnd(kAudioChunk, sound->sample_rate, settings.audioRate, AV_ROUND_UP) + 1024);
  sourceSamples.resize(static_cast<size_t>(kAudioChunk) * settings.audioChannels);
  return fifo != nullptr && av_frame_get_buffer(soundFrame, 0) >= 0 &&
         av_samples_alloc_array_and_samples(&converted, nullptr, channels, convertedCapacity,
                                            sound->sample_fmt, 0) >= 0;
}

std::unique_ptr<VideoFile> VideoFile::open(const VideoExportSettings& settings, AudioSource audio,
                                           std::string* error) {
  // Problems come back as one line each; FFmpeg's own chatter would only bury them.
  av_log_set_level(AV_LOG_QUIET);
  std::unique_ptr<VideoFile> file(new VideoFile());
  file->impl_ = std::make_unique<Impl>();
  Impl& f = *file->impl_;
  f.settings = settings;
  f.audio = std::move(audio);
  const char* muxer = settings.container == VideoContainer::kMp4    ? "mp4"
                      : settings.container == VideoContainer::kWebm ? "webm"
                                                                    : "matroska";
  if (avformat_alloc_output_context2(&f.format, nullptr, muxer, settings.path.c_str()) < 0) {
    *error = std::string("this FFmpeg cannot write ") + muxer + " files";
    return nullptr;
  }
  f.packet = av_packet_alloc();
  if (!f.addVideoStream(error)) return nullptr;
  if (settings.audioChannels > 0 && !f.addAudioStream(error)) return nullptr;

  int result = avio_open(&f.format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
  if (result >= 0) {
    AVDictionary* options = nullptr;
    // The index goes to the front once the file is complete, so that playing can start at once.
    if (settings.container == VideoContainer::kMp4) av_dict_set(&options, "movflags", "+faststart", 0);
    result = avformat_write_header(f.format, &options);
    av_dict_free(&options);
  }
  if (result < 0) {
    *error = "cannot write " + settings.path + ": " + ffmpegMessage(result);
    return nullptr;
  }
  return file;
}

VideoFile::~VideoFile() = default;

int64_t VideoFile::picturesWritten() const { return impl_->pictures; }

bool VideoFile::fail(const std::string& what, int code) {
  error_ = what + ": " + ffmpegMessage(code);
  return false;
}

bool VideoFile::encode(bool video, bool flush) {
  Impl& f = *impl_;
  AVCodecContext* codec = video ? f.video : f.sound;
  AVStream* stream = video ? f.videoStream : f.soundStream;
  AVFrame* frame = flush ? nullptr : video ? f.picture : f.soundFrame;
  int result = avcodec_send_frame(codec, frame);
  while (result >= 0) {
    result = avcodec_receive_packet(codec, f.packet);
    if (result < 0) break;
    av_packet_rescale_ts(f.packet, codec->time_base, stream->time_base);
    f.packet->stream_index = stream->index;
    result = av_interleaved_write_frame(f.format, f.packet);
    if (result < 0) return fail("cannot write " + f.settings.path, result);
  }
  // The encoder wants more input, or has given all it had.
  if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return true;
  return fail(video ? "cannot encode the video" : "cannot encode the audio", result);
}

bool VideoFile::writePicture(const uint8_t* bgraBottomUp) {
  Impl& f = *impl_;
  if (av_frame_make_writable(f.picture) < 0) return fail("out of memory", AVERROR(ENOMEM));
  const int stride = f.settings.width * 4;
  // A negative stride walks the rows top first.
  const uint8_t* rows[1] = {bgraBottomUp + static_cast<size_t>(f.settings.height - 1) * stride};
  const int strides[1] = {-stride};
  sws_scale(f.scaler, rows, strides, 0, f.settings.height, f.picture->data, f.picture->linesize);
  f.picture->pts = f.pictures++;
  return encode(true, false);
}

bool VideoFile::encodeAudioFrames(bool last) {
  Impl& f = *impl_;
  for (;;) {
    const int queued = av_audio_fifo_size(f.fifo);
    if (queued == 0 || (queued < f.soundFrameSize && !last)) return true;
    const int take = std::min(queued, f.soundFrameSize);
    if (av_frame_make_writable(f.soundFrame) < 0) return fail("out of memory", AVERROR(ENOMEM));
    // Both audio encoders take a short last frame, so the sound ends where the range does.
    av_audio_fifo_read(f.fifo, reinterpret_cast<void**>(f.soundFrame->data), take);
    f.soundFrame->nb_samples = take;
    f.soundFrame->pts = f.soundPts;
    f.soundPts += take;
    if (!encode(false, false)) return false;
  }
}

bool VideoFile::writeAudioTo(int64_t sourceFrames) {
  Impl& f = *impl_;
  if (f.sound == nullptr) return true;
  while (f.audioTaken < sourceFrames) {
    const int want = static_cast<int>(std::min<int64_t>(sourceFrames - f.audioTaken, kAudioChunk));
    int64_t got = f.audio ? f.audio(f.sourceSamples.data(), want) : 0;
    if (got == 0) {
      std::fill(f.sourceSamples.begin(), f.sourceSamples.end(), 0.0f);
      got = want;
    }
    got = std::min<int64_t>(got, want);
    const uint8_t* in[1] = {reinterpret_cast<const uint8_t*>(f.sourceSamples.data())};
    const int out = swr_convert(f.resampler, f.converted, f.convertedCapacity, in, static_cast<int>(got));
    if (out < 0) return fail("cannot convert the audio", out);
    if (av_audio_fifo_write(f.fifo, reinterpret_cast<void**>(f.converted), out) < out) {
      return fail("out of memory", AVERROR(ENOMEM));
    }
    f.audioTaken += got;
    if (!encodeAudioFrames(false)) return false;
  }
  return true;
}

bool VideoFile::finish(int64_t audioEnd) {
  Impl& f = *impl_;
  if (!writeAudioTo(audioEnd)) return false;
  if (f.sound != nullptr) {
    // What the resampler still holds, then the short last frame.
    for (;;) {
      const int out = swr_convert(f.resampler, f.converted, f.convertedCapacity, nullptr, 0);
      if (out < 0) return fail("cannot convert the audio", out);
      if (out == 0) break;
      if (av_audio_fifo_write(f.fifo, reinterpret_cast<void**>(f.converted), out) < out) {
        return fail("out of memory", AVERROR(ENOMEM));
      }
    }
    if (!encodeAudioFrames(true) || !encode(false, true)) return false;
  }
  if (!encode(true, true)) return false;
  int result = av_write_trailer(f.format);
  if (result < 0) return fail("cannot write " + f.settings.path, result);
  result = avio_closep(&f.format->pb);
  if (result < 0) return fail("cannot write " + f.settings.path, result);
  return true;
}

}  // namespace korvalin
