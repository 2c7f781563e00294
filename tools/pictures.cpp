#include "tools/pictures.h"

#include <cmath>
#include <tuple>

#include "tools/font_face.h"

namespace korvalin::content {

// Backgrounds and cards are 4:3 like the full-view quad they fill; several sides are not
// powers of two so that the program's mipmap path scales them.
const std::array<PictureInfo, 18> kPictures = {{
    {3, "metal.jpg", 256, 256},
    {4, "grain.jpg", 256, 256},
    {5, "tausta1.jpg", 640, 480},
    {6, "tausta2.jpg", 800, 600},
    {7, "tausta3.jpg", 640, 480},
    {8, "tausta4.jpg", 800, 600},
    {9, "tausta5.jpg", 640, 480},
    {10, "tausta6.jpg", 512, 384},
    {11, "wakemeup.jpg", 640, 480},
    {12, "Vavorerid.jpg", 640, 480},
    {13, "code.jpg", 512, 384},
    {14, "gfx.jpg", 512, 384},
    {15, "music.jpg", 512, 384},
    {16, "Tamsilvo.jpg", 512, 384},
    {17, "varnok.jpg", 512, 384},
    {18, "duskweft.jpg", 512, 384},
    {19, "qel.jpg", 512, 384},
    {20, "ostrel.jpg", 512, 384},
}};

namespace {

Rgb hex(uint32_t v) { return {((v >> 16) & 255) / 255.0f, ((v >> 8) & 255) / 255.0f, (v & 255) / 255.0f}; }

// Distance on the unit torus, for features of tiling textures.
float wrapDelta(float a, float b) {
  float d = std::fabs(a - b);
  return std::min(d, 1.0f - d);
}

void sprinkleStars(Image& img, uint64_t seed, int count, float maxY) {
  Rng rng(seed);
  for (int i = 0; i < count; ++i) {
    int x = int(rng.uniform() * img.width());
    int y = int(rng.uniform() * img.height() * maxY);
    float b = 0.3f + 0.7f * rng.uniform() * rng.uniform();
    img.addLight(x, y, {b, b, b * 1.05f}, 1.0f);
    if (b > 0.75f) {
      for (auto [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) img.addLight(x + dx, y + dy, {b, b, b}, 0.35f);
    }
  }
}

// Chrome: a sky above a dark horizon and ground, brushed streaks and hot highlights. It tiles
// in both directions because the model renderer scrolls it across the surfaces.
void metal(Image& img) {
  TileNoise brush(4, 64, 11), blot(8, 12);
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float u = float(x) / w, v = float(y) / h;
      float band = 0.5f + 0.5f * std::cos(2 * float(kPi) * v);  // 1 at the sky, 0 at the ground
      float wobble = 0.06f * (blot.fractal(u * 8, v * 8, 3) - 0.5f);
      float s = band + wobble;
      Rgb sky = mix(hex(0xe8f0ff), hex(0x7fa6d0), smoothstep(0.3f, 1.0f, s));
      Rgb ground = mix(hex(0x3a322a), hex(0x8a7a66), smoothstep(0.0f, 0.18f, s));
      Rgb c = mix(ground, sky, smoothstep(0.2f, 0.26f, s));
      // Thin dark line right at the horizon, as chrome shows it.
      c = scale(c, 1.0f - 0.55f * std::exp(-std::pow((s - 0.23f) / 0.01f, 2)));
      float streak = brush.fractal(u * 4, v * 64, 3);
      c = scale(c, 0.82f + 0.3f * streak);
      float hot = 0;
      static const float kHighlights[3][3] = {{0.2f, 0.08f, 0.06f}, {0.7f, 0.93f, 0.045f}, {0.45f, 0.15f, 0.03f}};
      for (const auto& hl : kHighlights) {
        const float hx = hl[0], hy = hl[1], r = hl[2];
        float dx = wrapDelta(u, hx), dy = wrapDelta(v, hy);
        hot += std::exp(-(dx * dx + dy * dy) / (r * r));
      }
      c = add(c, scale(Rgb{1, 0.98f, 0.92f}, hot));
      img.at(x, y) = c;
    }
  }
}

// Light film grain with a few scratches: multiplied over a picture it only darkens a little.
void grain(Image& img) {
  Rng rng(21);
  TileNoise mottle(16, 22);
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float n = rng.uniform() + rng.uniform() - 1.0f;
      float m = mottle.fractal(float(x) / w * 16, float(y) / h * 16, 2);
      float base = 0.86f + 0.08f * m + 0.1f * n;
      img.at(x, y) = {base * 1.0f, base * 0.97f, base * 0.92f};
    }
  }
  for (int i = 0; i < 7; ++i) {
    int x = int(rng.uniform() * w);
    float dark = 0.55f + 0.3f * rng.uniform();
    int y0 = int(rng.uniform() * h), len = int(h * (0.2f + 0.6f * rng.uniform()));
    for (int k = 0; k < len; ++k) {
      Rgb& p = img.at(x, (y0 + k) % h);
      p = scale(p, dark);
    }
  }
  for (int i = 0; i < 40; ++i) {
    int x = int(rng.uniform() * w), y = int(rng.uniform() * h);
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx)
        if (img.inside(x + dx, y + dy)) img.at(x + dx, y + dy) = scale(img.at(x + dx, y + dy), 0.8f);
  }
}

// Night sky with green and violet aurora curtains over a dark ridge.
void aurora(Image& img) {
  TileNoise n(32, 31);
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float u = float(x) / w, v = float(y) / h;
      Rgb c = mix(hex(0x050818), hex(0x10224a), v);
      float curtainY = 0.35f + 0.12f * std::sin(u * 7 + 1.3f) + 0.08f * (n.fractal(u * 4, 0.5f, 3) - 0.5f);
      float d = v - curtainY;
      float rays = 0.6f + 0.4f * n.fractal(u * 40, v * 2, 2);
      float glow = std::exp(-d * d / 0.004f) * rays + std::exp(-std::pow(std::max(0.0f, -d), 1.0f) * 9) * 0.35f * rays * (d < 0 ? 1 : 0);
      c = add(c, scale(mix(hex(0x2cf0a0), hex(0x9a4cff), smoothstep(0.0f, -0.25f, d)), glow * 0.8f));
      float ridge = 0.8f + 0.05f * std::sin(u * 11) + 0.04f * n.fractal(u * 12, 3.0f, 3);
      if (v > ridge) c = mix(hex(0x02030a), hex(0x0a0c18), smoothstep(ridge, 1.0f, v) * 0.3f);
      img.at(x, y) = c;
    }
  }
  sprinkleStars(img, 32, 500, 0.75f);
}

// Sunset horizon with a banded sun over a perspective grid.
void sunsetGrid(Image& img) {
  const int w = img.width(), h = img.height();
  const float horizon = 0.62f;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float u = float(x) / w, v = float(y) / h;
      Rgb c;
      if (v < horizon) {
        float k = v / horizon;
        c = mix(mix(hex(0x120a2e), hex(0x6a1b6e), k), hex(0xff8a3c), smoothstep(0.6f, 1.0f, k));
        float dx = (u - 0.5f) * 4.0f / 3.0f, dy = v - 0.45f;
        float r = std::sqrt(dx * dx + dy * dy);
        bool gap = v > 0.42f && std::fmod((v - 0.42f) * 60.0f, 1.0f) < (v - 0.42f) * 4.5f;
        if (r < 0.2f && !gap) c = mix(hex(0xffe066), hex(0xff3f7a), clamp01((v - 0.27f) / 0.3f));
        c = add(c, scale(hex(0xff6a50), 0.25f * std::exp(-r * r / 0.05f)));
      } else {
        float depth = (v - horizon) / (1 - horizon);
        c = mix(hex(0x1a0830), hex(0x080312), depth);
        float z = 1.0f / (depth + 0.02f);
        float gx = (u - 0.5f) * z * 2.0f;
        float lineX = std::fabs(gx - std::round(gx));
        float lineZ = std::fabs(z * 0.5f - std::round(z * 0.5f));
        float width = 0.03f * z * 0.2f + 0.02f;
        float line = std::max(smoothstep(width, 0.0f, lineX), smoothstep(0.05f * z * 0.1f + 0.02f, 0.0f, lineZ));
        c = add(c, scale(hex(0xff3fd0), line * (0.3f + 0.7f * depth)));
        c = add(c, scale(hex(0xff6a50), 0.4f * std::exp(-depth * 12)));
      }
      img.at(x, y) = c;
    }
  }
  sprinkleStars(img, 42, 180, 0.4f);
}

// Teal water with interfering caustic light.
void caustics(Image& img) {
  TileNoise n(16, 51);
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float u = float(x) / w * 4.0f / 3.0f, v = float(y) / h;
      float wu = u + 0.15f * n.fractal(u * 3, v * 3, 2), wv = v + 0.15f * n.fractal(v * 3 + 5, u * 3, 2);
      float a = std::sin(wu * 23) + std::sin(wv * 19 + wu * 7) + std::sin((wu + wv) * 13);
      float light = std::pow(std::max(0.0f, 1.0f - std::fabs(a) * 0.6f), 6.0f);
      Rgb c = mix(hex(0x03303c), hex(0x021018), v);
      c = add(c, scale(hex(0x5ff0e6), light * (0.55f - 0.35f * v)));
      c = add(c, scale(hex(0x0c6070), 0.4f * std::exp(-std::pow((u - 0.65f) * 2.5f, 2)) * (1 - v)));
      img.at(x, y) = c;
    }
  }
}

// Warm nebula: layered fractal clouds with stars behind.
void nebula(Image& img) {
  TileNoise a(32, 61), b(32, 62);
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float u = float(x) / w * 4.0f / 3.0f, v = float(y) / h;
      float warp = a.fractal(u * 3, v * 3, 4);
      float f = b.fractal(u * 3 + warp * 2, v * 3 + warp, 5);
      float g = smoothstep(0.35f, 0.8f, f);
      Rgb c = mix(hex(0x07030f), hex(0x3a0f4a), smoothstep(0.2f, 0.6f, f));
      c = add(c, scale(mix(hex(0xff7b39), hex(0xffd28a), g), g * g * 0.9f));
      img.at(x, y) = c;
    }
  }
  sprinkleStars(img, 63, 350, 1.0f);
}

// Tunnel of rings seen end-on, deep blue to amber.
void tunnel(Image& img) {
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float dx = (float(x) / w - 0.5f) * 4.0f / 3.0f, dy = float(y) / h - 0.5f;
      float r = std::sqrt(dx * dx + dy * dy) + 1e-4f;
      float ang = std::atan2(dy, dx);
      float depth = 0.25f / r;
      float rings = 0.5f + 0.5f * std::cos(depth * 6.0f * float(kPi));
      float spokes = 0.5f + 0.5f * std::cos(ang * 12.0f);
      float checker = (rings > 0.5f) != (spokes > 0.5f) ? 1.0f : 0.35f;
      Rgb c = mix(hex(0x0a1a4a), hex(0xffa040), clamp01(1.2f - depth * 0.25f) * checker * 0.9f);
      c = scale(c, smoothstep(0.0f, 0.5f, r * 1.2f) * 0.85f + 0.15f);
      c = add(c, scale(hex(0xffd9a0), std::exp(-r * r / 0.002f)));
      img.at(x, y) = c;
    }
  }
}

// Calm ink marbling in slate and teal, for the break.
void marble(Image& img) {
  TileNoise n(16, 71), m(16, 72);
  const int w = img.width(), h = img.height();
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      float u = float(x) / w * 4.0f / 3.0f, v = float(y) / h;
      float q = n.fractal(u * 2, v * 2, 4);
      float r = m.fractal(u * 2 + q * 3, v * 2 + q * 2, 4);
      float veins = std::pow(0.5f + 0.5f * std::sin((u + r * 2.5f) * 9.0f), 8.0f);
      Rgb c = mix(hex(0x0d1820), hex(0x2c4a58), r);
      c = add(c, scale(hex(0x9fe8e0), veins * 0.45f));
      img.at(x, y) = c;
    }
  }
}

// ---- cards: black ground (they are drawn added over the picture), glowing captions ----------

struct Caption {
  const char* text;
  const char* font;
  float heightFraction;  // cap height as a share of the picture height
  float centreY;         // share of the picture height
  Rgb colour;
};

void boxBlur(std::vector<float>& a, int w, int h, int radius) {
  std::vector<float> t(a.size());
  for (int pass = 0; pass < 3; ++pass) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        float s = 0;
        int n = 0;
        for (int k = -radius; k <= radius; ++k) {
          int xx = x + k;
          if (xx < 0 || xx >= w) continue;
          s += a[size_t(y) * w + xx];
          ++n;
        }
        t[size_t(y) * w + x] = s / n;
      }
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        float s = 0;
        int n = 0;
        for (int k = -radius; k <= radius; ++k) {
          int yy = y + k;
          if (yy < 0 || yy >= h) continue;
          s += t[size_t(yy) * w + x];
          ++n;
        }
        a[size_t(y) * w + x] = s / n;
      }
    }
  }
}

bool card(Image& img, const std::vector<Caption>& captions, const Rgb& glow, bool rules, std::string* error) {
  const int w = img.width(), h = img.height();
  Image ink(w, h);
  FontFace font;
  for (const Caption& c : captions) {
    if (!font.open(c.font, error)) return false;
    // Size the em so that the capital height matches the requested share of the picture.
    int size64 = int(c.heightFraction * h / 0.73f * 64);
    font.setSize64(size64);
    InkBox box = font.measureText(c.text);
    // Too wide for the card: shrink to leave a margin of a tenth each side.
    if (box.right - box.left > int(w * 0.8f)) {
      size64 = int(size64 * (w * 0.8f) / float(box.right - box.left));
      font.setSize64(size64);
      box = font.measureText(c.text);
    }
    int x = (w - (box.right - box.left)) / 2 - box.left;
    int baseline = int(c.centreY * h) + (box.top + box.bottom) / 2;
    font.drawText(ink, c.text, x, baseline, c.colour);
  }
  std::vector<float> mask(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb& p = ink.at(x, y);
      mask[size_t(y) * w + x] = std::max(p.r, std::max(p.g, p.b));
    }
  boxBlur(mask, w, h, std::max(2, h / 80));
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      img.at(x, y) = add(scale(glow, mask[size_t(y) * w + x] * 1.4f), ink.at(x, y));
    }
  }
  if (rules) {
    for (float ry : {0.3f, 0.7f}) {
      int y = int(ry * h);
      for (int x = int(w * 0.2f); x < int(w * 0.8f); ++x) {
        float fade = 1.0f - std::fabs(float(x) / w - 0.5f) / 0.3f;
        img.addLight(x, y, glow, 0.9f * fade);
      }
    }
  }
  return true;
}

}  // namespace

bool makePicture(int index, Image* out, std::string* error) {
  const PictureInfo& info = kPictures[size_t(index)];
  Image img(info.width, info.height);
  const Rgb white{0.95f, 0.97f, 1.0f}, amber = hex(0xffcf7a), teal = hex(0x7ff0e0);
  const Rgb grey = hex(0xa8b0c0);
  bool ok = true;
  switch (info.slot) {
    case 3: metal(img); break;
    case 4: grain(img); break;
    case 5: aurora(img); break;
    case 6: sunsetGrid(img); break;
    case 7: caustics(img); break;
    case 8: nebula(img); break;
    case 9: tunnel(img); break;
    case 10: marble(img); break;
    case 11:
      ok = card(img, {{"wake me up", kFontSansBold, 0.12f, 0.47f, white},
                      {"a Tamsilvo demo", kFontSans, 0.04f, 0.62f, amber}},
                hex(0x3c6cff), true, error);
      break;
    case 12:
      ok = card(img, {{"Vavorerid", kFontSansBold, 0.11f, 0.46f, amber},
                      {"music by qx", kFontSans, 0.04f, 0.61f, grey}},
                hex(0xff6a30), true, error);
      break;
    case 13:
      ok = card(img, {{"code", kFontSansBold, 0.16f, 0.45f, white}, {"Tamsilvo", kFontSans, 0.05f, 0.64f, teal}},
                hex(0x2fa8ff), false, error);
      break;
    case 14:
      ok = card(img, {{"gfx", kFontSansBold, 0.16f, 0.45f, white}, {"Tamsilvo", kFontSans, 0.05f, 0.64f, amber}},
                hex(0xff4fb0), false, error);
      break;
    case 15:
      ok = card(img, {{"music", kFontSansBold, 0.16f, 0.45f, white}, {"qx", kFontSans, 0.06f, 0.65f, teal}},
                hex(0x40e080), false, error);
      break;
    case 16:
      ok = card(img, {{"Tamsilvo", kFontSansBold, 0.13f, 0.46f, white}, {"presents", kFontSans, 0.045f, 0.63f, grey}},
                hex(0x8050ff), true, error);
      break;
    default: {
      // The four greeted groups share one look in their own colours.
      static const char* const names[4] = {"varnok", "duskweft", "qel", "ostrel"};
      static const uint32_t glows[4] = {0xff8040, 0x30c0ff, 0xc050ff, 0x50e0a0};
      const size_t k = size_t(info.slot - 17) & 3;
      ok = card(img, {{"greetings to", kFontSans, 0.04f, 0.3f, grey}, {names[k], kFontSansBold, 0.14f, 0.52f, white}},
                hex(glows[k]), false, error);
      break;
    }
  }
  if (!ok) return false;
  // The program hands JPEG rows to OpenGL top row first, which the full-view quad shows at the
  // bottom of the screen; pictures are therefore stored upside down to appear upright.
  *out = Image(img.width(), img.height());
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) out->at(x, img.height() - 1 - y) = img.at(x, y);
  return true;
}

}  // namespace korvalin::content
