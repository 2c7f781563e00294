// What the export's tests share: files per process, shell commands, and test music whose phase
// tells the position to the frame.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "tools/music.h"

namespace korvalin::test {

inline std::string tempPath(const std::string& name) {
  return ::testing::TempDir() + "korvalin_export_" + std::to_string(getpid()) + "_" + name;
}

// Standard output of a shell command.
inline std::string capture(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  pclose(pipe);
  return out;
}

inline std::string readFile(const std::string& path) { return capture("cat " + path); }

// The number after the first `key` in `text`.
inline double number(const std::string& text, const std::string& key) {
  const size_t at = text.find(key);
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + key.size());
}

// Channel 0 a fast tone (one frame turns it by 0.43 rad at 44.1 kHz), channel 1 a chirp.
inline float tone(int64_t frame, int channel, int rate) {
  const double t = static_cast<double>(frame) / rate, pi = 3.14159265358979323846;
  return static_cast<float>(0.5 * std::sin(2 * pi * (channel == 0 ? 3001 : 150 + 100 * t) * t));
}

// `seconds` of the tone as tempPath(name); links of a chained file need serials of their own.
inline std::string writeTone(const std::string& name, int rate, int channels, double seconds = 2, uint32_t serial = 1) {
  std::vector<float> samples(static_cast<size_t>(seconds * rate) * channels);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = tone(i / channels, i % channels, rate);
  std::string error;
  EXPECT_TRUE(content::writeOggVorbis(tempPath(name), samples, rate, 0.6f, &error, serial, channels)) << error;
  return tempPath(name);
}

// Six seconds of the stereo tone with two stretches garbled, the first some 2 s in.
inline std::string writeDamaged(const std::string& name) {
  std::string bytes = readFile(writeTone(name, 44100, 2, 6));
  for (size_t at : {bytes.size() * 2 / 5, bytes.size() * 3 / 5}) {
    for (size_t i = at; i < at + 600; ++i) bytes[i] = static_cast<char>(i * 37);
  }
  std::ofstream(tempPath(name)) << bytes;
  return tempPath(name);
}

// 0.1 s of `file`'s sound at 44.1 kHz from `seconds` on, channels averaged.
inline std::vector<float> sound(const std::string& file, double seconds) {
  const std::string raw = capture("ffmpeg -v error -ss " + std::to_string(seconds) + " -i " + file +
                                  " -t 0.1 -ac 1 -ar 44100 -f f32le -");
  std::vector<float> out(raw.size() / sizeof(float));
  std::memcpy(out.data(), raw.data(), out.size() * sizeof(float));
  return out;
}

inline double correlation(const std::vector<float>& a, const std::vector<float>& b) {
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) ab += a[i] * b[i], aa += a[i] * a[i], bb += b[i] * b[i];
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// PSNR of frame k of `video` against the still renderer's picture at t, compared in the video's
// own colours: the still put through the same BT.709 4:2:0 conversion.
inline double framePsnr(const std::string& video, int k, double t, const std::string& runDir) {
  char still[64];
  std::snprintf(still, sizeof still, "/still_%07.2f.png", t);
  const std::string stills = tempPath("stills");
  capture("mkdir -p " + stills + " && " KORVALIN_STILLS " " + runDir + " " + stills + " " + std::to_string(t));
  return number(capture("ffmpeg -hide_banner -i " + video + " -i " + stills + still + " -lavfi \"[0]select=eq(n\\," +
                        std::to_string(k) + ")[a];[1]scale=out_color_matrix=bt709:out_range=tv:flags=lanczos+accurate_rnd," +
                        "format=yuv420p[b];[a][b]psnr\" -an -f null - 2>&1"),
                "average:");
}

}  // namespace korvalin::test
