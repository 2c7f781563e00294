#include "tools/music.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <vorbis/vorbisenc.h>

#include "tools/demo_timing.h"
#include "tools/raster.h"

namespace korvalin::content {
namespace {

double midiHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

// Correction that takes the step out of a naive sawtooth at its wrap (PolyBLEP).
double polyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

struct Saw {
  double phase = 0;
  double next(double hz) {
    double dt = hz / kSampleRate;
    double v = 2 * phase - 1 - polyBlep(phase, dt);
    phase += dt;
    if (phase >= 1) phase -= 1;
    return v;
  }
};

struct LowPass {
  double y = 0;
  double run(double x, double hz) {
    double a = 1 - std::exp(-2 * kPi * std::min(hz, 18000.0) / kSampleRate);
    y += a * (x - y);
    return y;
  }
};

class Bus {
 public:
  explicit Bus(size_t frames) : left(frames, 0.0f), right(frames, 0.0f) {}
  size_t frames() const { return left.size(); }
  void add(size_t i, double l, double r) {
    if (i >= left.size()) return;
    left[i] += float(l);
    right[i] += float(r);
  }
  std::vector<float> left, right;
};

size_t frameAt(double seconds) { return size_t(std::llround(seconds * kSampleRate)); }

// Sections at a bar, for the arrangement below.
bool inRange(int bar, int from, int to) { return bar >= from && bar < to; }

// ---- drums ---------------------------------------------------------------------------------

void kick(Bus& bus, double at, double gain) {
  size_t start = frameAt(at), n = frameAt(0.42);
  double phase = 0;
  for (size_t k = 0; k < n; ++k) {
    double t = double(k) / kSampleRate;
    double hz = 48 + 110 * std::exp(-t * 28);
    phase += hz / kSampleRate;
    double env = std::exp(-t * 7.5) * std::min(1.0, t * 2000);
    double click = std::exp(-t * 400) * 0.3;
    double v = (std::sin(2 * kPi * phase) + click) * env * gain;
    bus.add(start + k, v, v);
  }
}

void snare(Bus& bus, Rng& rng, double at, double gain) {
  size_t start = frameAt(at), n = frameAt(0.3);
  LowPass lp;
  double prev = 0;
  for (size_t k = 0; k < n; ++k) {
    double t = double(k) / kSampleRate;
    double noise = rng.uniform() * 2 - 1;
    double band = lp.run(noise - prev, 7000);
    prev = noise;
    double tone = std::sin(2 * kPi * 185 * t) * std::exp(-t * 30);
    double v = (band * 1.6 * std::exp(-t * 16) + tone * 0.6) * gain;
    bus.add(start + k, v, v);
  }
}

void hat(Bus& bus, Rng& rng, double at, double gain, bool open, double pan) {
  size_t start = frameAt(at), n = frameAt(open ? 0.3 : 0.06);
  double prev = 0;
  double decay = open ? 11 : 70;
  for (size_t k = 0; k < n; ++k) {
    double t = double(k) / kSampleRate;
    double noise = rng.uniform() * 2 - 1;
    double high = noise - prev;  // first difference: keeps only the hiss
    prev = noise;
    double v = high * std::exp(-t * decay) * gain;
    bus.add(start + k, v * (1 - pan), v * (1 + pan));
  }
}

void crash(Bus& bus, Rng& rng, double at, double gain) {
  size_t start = frameAt(at), n = frameAt(2.2);
  double prevL = 0, prevR = 0;
  for (size_t k = 0; k < n; ++k) {
    double t = double(k) / kSampleRate;
    double a = rng.uniform() * 2 - 1, b = rng.uniform() * 2 - 1;
    double env = std::exp(-t * 2.2) * gain;
    bus.add(start + k, (a - prevL) * env, (b - prevR) * env);
    prevL = a;
    prevR = b;
  }
}

// Rising filtered noise into a section change.
void riser(Bus& bus, Rng& rng, double at, double length, double gain) {
  size_t start = frameAt(at), n = frameAt(length);
  LowPass lp;
  for (size_t k = 0; k < n; ++k) {
    double x = double(k) / n;
    double noise = rng.uniform() * 2 - 1;
    double v = lp.run(noise, 300 + 9000 * x * x) * x * x * gain;
    bus.add(start + k, v, v);
  }
}

// ---- tonal voices --------------------------------------------------------------------------

// Two detuned saws per note, spread left and right, through a soft low-pass.
void padChord(Bus& bus, double at, double length, const std::vector<int>& notes, double gain,
              double cutoff, double attack) {
  size_t start = frameAt(at), n = frameAt(length + 0.6);
  for (size_t v = 0; v < notes.size(); ++v) {
    Saw a, b;
    a.phase = 0.13 * double(v);
    b.phase = 0.61 * double(v);
    LowPass la, lb;
    double ha = midiHz(notes[v] + 0.08), hb = midiHz(notes[v] - 0.08);
    for (size_t k = 0; k < n; ++k) {
      double t = double(k) / kSampleRate;
      double env = std::min(1.0, t / attack);
      if (t > length) env *= std::exp(-(t - length) * 8);
      double sa = la.run(a.next(ha), cutoff) * env * gain;
      double sb = lb.run(b.next(hb), cutoff) * env * gain;
      bus.add(start + k, sa * 0.8 + sb * 0.2, sa * 0.2 + sb * 0.8);
    }
  }
}

void bassNote(Bus& bus, double at, double length, int note, double gain, double cutoff) {
  size_t start = frameAt(at), n = frameAt(length);
  Saw saw;
  LowPass lp, lp2;
  double hz = midiHz(note);
  double phase = 0;
  for (size_t k = 0; k < n; ++k) {
    double t = double(k) / kSampleRate;
    double env = std::min(1.0, t * 400) * std::min(1.0, (length - t) * 200);
    double f = cutoff * (0.35 + 0.65 * std::exp(-t * 14));
    phase += hz / kSampleRate;
    double sub = std::sin(2 * kPi * phase) * 0.7;
    double v = (lp2.run(lp.run(saw.next(hz), f), f) + sub) * env * gain;
    bus.add(start + k, v, v);
  }
}

// Plucked square-ish lead: a saw and its half-period copy make a pulse.
void leadNote(Bus& bus, double at, double length, double note, double gain, double cutoff,
              double pan) {
  size_t start = frameAt(at), n = frameAt(length + 0.15);
  Saw a, b;
  b.phase = 0.5;
  LowPass lp;
  double hz = midiHz(note);
  for (size_t k = 0; k < n; ++k) {
    double t = double(k) / kSampleRate;
    double vib = 1 + 0.004 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t * 3);
    double env = std::min(1.0, t * 300) * (0.55 + 0.45 * std::exp(-t * 9));
    if (t > length) env *= std::exp(-(t - length) * 30);
    double pulse = (a.next(hz * vib) - b.next(hz * vib)) * 0.5;
    double v = lp.run(pulse, cutoff * (0.5 + 0.5 * std::exp(-t * 6))) * env * gain;
    bus.add(start + k, v * (1 - pan), v * (1 + pan));
  }
}

// Ping-pong echo of `lead`, worked out in place to spare a copy of the bus, then added onto
// `mix` as the dry signal plus `wet` of the echoes.
void echoInto(Bus& mix, Bus& lead, double delaySeconds, double feedback, double wet) {
  const size_t d = frameAt(delaySeconds);
  std::vector<float>& l = lead.left;
  std::vector<float>& r = lead.right;
  for (size_t i = d; i < l.size(); ++i) {
    l[i] += float(r[i - d] * feedback);
    r[i] += float(l[i - d] * feedback);
  }
  // Each echoed sample holds the dry one plus feedback times the other side's echo.
  const double dryEchoes = (1 - wet) * feedback;
  for (size_t i = 0; i < mix.frames(); ++i) {
    mix.left[i] += l[i] - (i >= d ? float(r[i - d] * dryEchoes) : 0.0f);
    mix.right[i] += r[i] - (i >= d ? float(l[i - d] * dryEchoes) : 0.0f);
  }
}

// ---- harmony -------------------------------------------------------------------------------

// Am, F, C, G: one chord a bar, four bars a phrase.
const int kChordRoots[4] = {45, 41, 48, 43};
const int kChordTones[4][3] = {{57, 60, 64}, {57, 60, 65}, {55, 60, 64}, {55, 59, 62}};
// The finale's tune over one phrase: (beat in phrase, length in beats, note).
struct TuneNote {
  double beat, beats;
  int note;
};
const TuneNote kTune[] = {
    {0, 1.5, 76}, {1.5, 0.5, 74}, {2, 1, 72}, {3, 1, 74},  //
    {4, 2, 72},   {6, 1, 69},     {7, 1, 72},              //
    {8, 1.5, 79}, {9.5, 0.5, 76}, {10, 1, 74}, {11, 1, 72},  //
    {12, 3, 74},  {15, 1, 71},
};

}  // namespace

std::vector<float> synthesiseTrack() {
  const size_t frames = frameAt(kTrackSeconds);
  Bus drums(frames), tonal(frames), lead(frames);
  Rng noise(0x5eed0001);
  const double beat = kBeatSeconds, sixteenth = beat / 4;

  for (int bar = 0; bar < kSongBars; ++bar) {
    const double t0 = barTime(bar);
    const int chord = bar % 4;
    const bool drumsOn = inRange(bar, kBuildBar, kBreakBar) || inRange(bar, kFinaleBar, kEndingBar + 4);
    const bool fullDrums = inRange(bar, kMainBar, kBreakBar) || inRange(bar, kFinaleBar, kEndingBar);
    const bool bassOn = inRange(bar, kBuildBar + 8, kBreakBar) || inRange(bar, kFinaleBar, kEndingBar + 4);

    // Drums.
    if (drumsOn) {
      for (int b = 0; b < 4; ++b) kick(drums, t0 + b * beat, 0.8);
      for (int e = 0; e < 4; ++e) hat(drums, noise, t0 + e * beat + beat / 2, 0.22, false, 0.2);
    }
    if (fullDrums) {
      snare(drums, noise, t0 + beat, 0.45);
      snare(drums, noise, t0 + 3 * beat, 0.45);
      for (int s = 0; s < 16; s += 2) hat(drums, noise, t0 + s * sixteenth, 0.1, false, -0.3);
      if (bar % 4 == 3) hat(drums, noise, t0 + 3.5 * beat, 0.18, true, 0.0);
    }
    if (bar == kMainBar - 1 || bar == kFinaleBar - 1) {  // snare roll into the drop
      for (int s = 0; s < 16; ++s) snare(drums, noise, t0 + s * sixteenth, 0.12 + 0.3 * s / 16.0);
    }
    if (bar == kBuildBar || bar == kMainBar || bar == kFinaleBar || bar == kEndingBar ||
        (fullDrums && bar % 8 == 0))
      crash(drums, noise, t0, 0.35);
    if (bar == kMainBar - 2 || bar == kFinaleBar - 2) riser(drums, noise, t0, 2 * kBarSeconds, 0.35);

    // Bass: off-beat eighths with the octave on the last one of each beat pair.
    if (bassOn) {
      for (int e = 0; e < 8; ++e) {
        int note = kChordRoots[chord] - 12 + ((e % 4 == 3) ? 12 : 0);
        double gain = (e % 2 == 1) ? 0.42 : 0.25;
        double cutoff = fullDrums ? 1400 : 700;
        bassNote(tonal, t0 + e * beat / 2, beat / 2 * 0.9, note, gain, cutoff);
      }
    }

    // Pads: darker in the intro and the ending, open in the main part and the break.
    std::vector<int> notes(kChordTones[chord], kChordTones[chord] + 3);
    double cutoff = 900, gain = 0.06, attack = 0.25;
    if (bar < kBuildBar) {
      cutoff = 600 + 110.0 * bar;
      gain = 0.08 + 0.005 * bar;
      attack = 0.9;
    } else if (inRange(bar, kBreakBar, kFinaleBar)) {
      cutoff = 2400;
      gain = 0.09;
      attack = 0.6;
      notes.push_back(notes[0] + 12);
    } else if (bar >= kEndingBar) {
      cutoff = std::max(300.0, 1600 - 160.0 * (bar - kEndingBar));
      gain = 0.05;
    }
    if (bar >= kSongBars - 4) {
      // The closing chord: A minor held from four bars before the end into the tail.
      if (bar == kSongBars - 4)
        padChord(tonal, t0, 4 * kBarSeconds + kTailSeconds - 0.8, {45, 57, 60, 64, 69}, 0.08, 900, 0.4);
    } else {
      padChord(tonal, t0, kBarSeconds, notes, gain, cutoff, attack);
    }

    // Arpeggio: chord tones in sixteenths from the build onwards, an octave up in the finale.
    if (inRange(bar, kBuildBar, kEndingBar)) {
      static const int order[8] = {0, 1, 2, 3, 2, 1, 3, 1};
      const int octave = inRange(bar, kFinaleBar, kEndingBar) ? 12 : 0;
      const double arpCutoff = bar < kMainBar ? 1200 + 150.0 * (bar - kBuildBar) : 4200;
      const double arpGain = inRange(bar, kBreakBar, kFinaleBar) ? 0.05 : 0.08;
      for (int s = 0; s < 16; ++s) {
        int i = order[s % 8];
        int note = (i < 3 ? kChordTones[chord][i] : kChordTones[chord][0] + 12) + 12 + octave;
        leadNote(lead, t0 + s * sixteenth, sixteenth * 0.8, note, arpGain, arpCutoff, (s % 2) ? 0.35 : -0.35);
      }
    }
    // The tune, in the main part's second half, over the break and through the finale.
    if ((inRange(bar, kMainBar + 8, kBreakBar) || inRange(bar, kBreakBar, kEndingBar)) && bar % 4 == 0) {
      for (const TuneNote& n : kTune) {
        leadNote(lead, t0 + n.beat * beat, n.beats * beat * 0.95, n.note, 0.11, 3000, 0.0);
        if (bar >= kFinaleBar) leadNote(lead, t0 + n.beat * beat, n.beats * beat * 0.95, n.note - 12, 0.07, 2000, 0.0);
      }
    }
  }

  // Everything ends up in the tonal bus; the others are released before the output is made.
  Bus& mix = tonal;
  echoInto(mix, lead, 3 * sixteenth, 0.45, 0.6);
  for (size_t i = 0; i < frames; ++i) {
    mix.left[i] += drums.left[i];
    mix.right[i] += drums.right[i];
  }
  lead = Bus(0);
  drums = Bus(0);

  // Soft limiter, then a short fade at both ends so the stream starts and ends in silence.
  std::vector<float> out(frames * 2);
  const size_t fadeIn = frameAt(0.05), fadeOut = frameAt(kTailSeconds);
  for (size_t i = 0; i < frames; ++i) {
    double g = 1.0;
    if (i < fadeIn) g = double(i) / fadeIn;
    if (i + fadeOut > frames) g *= double(frames - i) / fadeOut;
    out[i * 2] = float(std::tanh(mix.left[i] * 0.8) * 0.85 * g);
    out[i * 2 + 1] = float(std::tanh(mix.right[i] * 0.8) * 0.85 * g);
  }
  return out;
}

bool writeOggVorbis(const std::string& path, const std::vector<float>& interleaved, int rate,
                    float quality, std::string* error, uint32_t serial, int channels) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    std::fclose(file);
    *error = path + ": the Vorbis encoder refused the stream settings";
    return false;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_comment_add_tag(&vc, "TITLE", "Vavorerid");
  vorbis_comment_add_tag(&vc, "ARTIST", "qx");
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, static_cast<int>(serial));

  bool ok = true;
  auto writePage = [&](const ogg_page& page) {
    ok = ok && std::fwrite(page.header, 1, size_t(page.header_len), file) == size_t(page.header_len);
    ok = ok && std::fwrite(page.body, 1, size_t(page.body_len), file) == size_t(page.body_len);
  };
  {
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) writePage(page);
  }

  const size_t frames = interleaved.size() / size_t(channels);
  size_t done = 0;
  bool ended = false;
  while (!ended && ok) {
    const size_t chunk = std::min<size_t>(4096, frames - done);
    if (chunk == 0) {
      vorbis_analysis_wrote(&vd, 0);  // end of stream
      ended = true;
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, int(chunk));
      for (size_t i = 0; i < chunk; ++i) {
        for (int c = 0; c < channels; ++c) buffer[c][i] = interleaved[(done + i) * size_t(channels) + size_t(c)];
      }
      vorbis_analysis_wrote(&vd, int(chunk));
      done += chunk;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        ogg_page page;
        while (ogg_stream_pageout(&os, &page) != 0) writePage(page);
      }
    }
  }
  ogg_page last;
  while (ogg_stream_flush(&os, &last) != 0) writePage(last);

  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  ok = std::fflush(file) == 0 && ok;
  ok = (std::fclose(file) == 0) && ok;
  if (!ok) *error = path + ": write failed";
  return ok;
}

}  // namespace korvalin::content
