// Float RGB pictures, a seeded random source and small maths shared by the generators.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace korvalin::content {

constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  float r = 0.0f;
  float g = 0.0f;
  float b = 0.0f;
};

inline Rgb mix(const Rgb& a, const Rgb& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline Rgb scale(const Rgb& a, float k) { return {a.r * k, a.g * k, a.b * k}; }
inline Rgb add(const Rgb& a, const Rgb& b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }

inline float clamp01(float v) { return std::min(1.0f, std::max(0.0f, v)); }
inline float smoothstep(float e0, float e1, float x) {
  float t = clamp01((x - e0) / (e1 - e0));
  return t * t * (3.0f - 2.0f * t);
}

// Picture with float channels (0..1 nominal), rows top first.
class Image {
 public:
  Image(int width, int height) : width_(width), height_(height), px_(size_t(width) * height) {}

  int width() const { return width_; }
  int height() const { return height_; }
  Rgb& at(int x, int y) { return px_[size_t(y) * width_ + x]; }
  const Rgb& at(int x, int y) const { return px_[size_t(y) * width_ + x]; }
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }

  // Blends `colour` over the pixel by `coverage` (0..1); outside pixels are ignored.
  void blend(int x, int y, const Rgb& colour, float coverage) {
    if (!inside(x, y) || coverage <= 0.0f) return;
    Rgb& p = at(x, y);
    p = mix(p, colour, std::min(coverage, 1.0f));
  }
  void addLight(int x, int y, const Rgb& colour, float amount) {
    if (!inside(x, y)) return;
    Rgb& p = at(x, y);
    p = add(p, scale(colour, amount));
  }

  // Clamped, rounded bytes, three per pixel, rows top first.
  std::vector<uint8_t> toBytes() const {
    std::vector<uint8_t> out(px_.size() * 3);
    auto byte = [](float v) { return static_cast<uint8_t>(std::lround(clamp01(v) * 255.0f)); };
    for (size_t i = 0; i < px_.size(); ++i) {
      out[i * 3] = byte(px_[i].r);
      out[i * 3 + 1] = byte(px_[i].g);
      out[i * 3 + 2] = byte(px_[i].b);
    }
    return out;
  }

 private:
  int width_;
  int height_;
  std::vector<Rgb> px_;
};

// splitmix64: every generator seeds its own, so outputs never depend on call order elsewhere.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in [0, 1).
  float uniform() { return static_cast<float>((next() >> 40) * (1.0 / 16777216.0)); }
  float range(float lo, float hi) { return lo + (hi - lo) * uniform(); }

 private:
  uint64_t state_;
};

// Value noise on a lattice that wraps every `periodX` by `periodY` cells, so textures built
// from it tile when their coordinates span whole periods.
class TileNoise {
 public:
  TileNoise(int period, uint64_t seed) : TileNoise(period, period, seed) {}
  TileNoise(int periodX, int periodY, uint64_t seed)
      : periodX_(periodX), periodY_(periodY), values_(size_t(periodX) * periodY) {
    Rng rng(seed);
    for (float& v : values_) v = rng.uniform();
  }
  // x, y in lattice cells; smooth, periodic in both directions.
  float at(float x, float y) const {
    float fx = std::floor(x), fy = std::floor(y);
    int x0 = wrap(int(fx), periodX_), y0 = wrap(int(fy), periodY_);
    int x1 = wrap(x0 + 1, periodX_), y1 = wrap(y0 + 1, periodY_);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    float a = cell(x0, y0) + (cell(x1, y0) - cell(x0, y0)) * tx;
    float b = cell(x0, y1) + (cell(x1, y1) - cell(x0, y1)) * tx;
    return a + (b - a) * ty;
  }
  // Sum of octaves, each twice the frequency at half the weight; result about 0..1.
  float fractal(float x, float y, int octaves) const {
    float sum = 0, weight = 0.5f, total = 0;
    for (int i = 0; i < octaves; ++i) {
      sum += at(x, y) * weight;
      total += weight;
      x *= 2;
      y *= 2;
      weight *= 0.5f;
    }
    return sum / total;
  }

 private:
  static int wrap(int v, int period) { return ((v % period) + period) % period; }
  float cell(int x, int y) const { return values_[size_t(y) * periodX_ + x]; }
  int periodX_;
  int periodY_;
  std::vector<float> values_;
};

}  // namespace korvalin::content
