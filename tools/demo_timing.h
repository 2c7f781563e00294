// The music's tempo and form, shared by the synthesiser and the default project so that
// cuts land on its bars.
#pragma once

namespace korvalin::content {

constexpr int kSampleRate = 44100;
constexpr double kTempoBpm = 125.0;
constexpr double kBeatSeconds = 60.0 / kTempoBpm;  // 0.48 s
constexpr double kBarSeconds = 4 * kBeatSeconds;   // 1.92 s

// Sections, in bars from the start of the track.
constexpr int kIntroBar = 0;
constexpr int kBuildBar = 8;
constexpr int kMainBar = 24;
constexpr int kBreakBar = 48;
constexpr int kFinaleBar = 56;
constexpr int kEndingBar = 72;
constexpr int kSongBars = 80;
// The last chord rings on after the final bar; the program ends 100 ms before the stream does.
constexpr double kTailSeconds = 2.4;
constexpr double kTrackSeconds = kSongBars * kBarSeconds + kTailSeconds;  // 156 s

constexpr double barTime(double bar) { return bar * kBarSeconds; }

}  // namespace korvalin::content
