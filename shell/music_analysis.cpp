#include "shell/music_analysis.h"

#include <utility>
#include <vector>

#include "platform/vorbis_decoder.h"

namespace korvalin {

MusicAnalysis analyseMusic(const std::string& path, const std::atomic<bool>& cancel) {
  MusicAnalysis result;
  std::unique_ptr<VorbisDecoder> decoder = VorbisDecoder::open(path, &result.error);
  if (!decoder) return result;
  auto peaks = std::make_shared<WaveformPeaks>(decoder->sampleRate());
  auto onsets = std::make_shared<OnsetEnvelope>(decoder->sampleRate());
  const int32_t channels = decoder->channels();
  constexpr int64_t kBlock = 8192;  // mutants: skip (speed only)
  std::vector<float> interleaved(static_cast<size_t>(kBlock * channels));
  std::vector<float> mono(kBlock);
  for (;;) {
    if (cancel.load(std::memory_order_relaxed)) return MusicAnalysis{};
    const int64_t got = decoder->read(interleaved.data(), kBlock);
    // Damaged data reads as silence of its length, so the strip keeps its time axis.
    if (got <= 0) break;
    for (int64_t i = 0; i < got; ++i) {
      float sum = 0.0f;
      for (int32_t c = 0; c < channels; ++c) sum += interleaved[static_cast<size_t>(i * channels + c)];
      mono[static_cast<size_t>(i)] = sum / static_cast<float>(channels);
    }
    peaks->add(mono.data(), static_cast<size_t>(got));
    onsets->add(mono.data(), static_cast<size_t>(got));
  }
  peaks->finish();
  result.peaks = std::move(peaks);
  result.onsets = std::move(onsets);
  return result;
}

MusicAnalyser::MusicAnalyser(std::string path)
    : worker_([this, path = std::move(path)] {
        result_ = analyseMusic(path, cancel_);
        done_.store(true, std::memory_order_release);
      }) {}

MusicAnalyser::~MusicAnalyser() {
  cancel_.store(true, std::memory_order_relaxed);
  worker_.join();
}

std::unique_ptr<MusicAnalysis> MusicAnalyser::take() {
  if (taken_ || !done_.load(std::memory_order_acquire)) return nullptr;
  taken_ = true;
  return std::make_unique<MusicAnalysis>(std::move(result_));
}

}  // namespace korvalin
