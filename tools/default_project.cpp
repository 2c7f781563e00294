#include "tools/default_project.h"

#include <cmath>
#include <initializer_list>
#include <vector>

#include "tools/demo_timing.h"
#include "tools/raster.h"

namespace korvalin::content {
namespace {

// Texture slots and Model IDs by name, so the script below reads as a storyboard.
enum Image : int {
  kMetal = 3, kGrain = 4, kAurora = 5, kSunset = 6, kCaustics = 7, kNebula = 8, kTunnel = 9,
  kMarble = 10, kTitle = 11, kTrack = 12, kCode = 13, kGfx = 14, kMusic = 15, kGroup = 16,
  kVarnok = 17, kDuskweft = 18, kQel = 19, kOstrel = 20, kTarget0 = 90, kTarget1 = 91,
};
enum Model : int { kPole = 0, kTall = 1, kSmall = 2, kLow = 3, kBig = 4, kCapsule = 5 };

// Blend codes as the renderer maps them.
constexpr int kZero = 0, kOne = 1, kSrcAlpha = 2, kInvSrcAlpha = 3, kDstColour = 6;

// Layers: painter's order, lowest first.
enum Layer : int {
  kBackground = 0,
  kCameraLayer = 2,
  kCaptureStart = 3,
  kFeedback = 4,
  kFeedbackFade = 5,
  kModels = 6,
  kModels2 = 7,
  kCaptureEnd = 8,
  kFeedbackShow = 9,
  kModelsSharp = 10,
  kCards = 11,
  kCards2 = 12,
  kFlashes = 13,
};

constexpr double kOverlap = 0.05;
// The play position comes from a millisecond clock, so a cut exactly on a bar can fall on a
// frame's position, where the strict activity rule shows neither clip (a frame without its
// camera or model). Half a millisecond later no clock position can ever equal a cut.
constexpr double kCutOffset = 0.0005;

struct CameraSpan {
  double start, end, fov;
};

class Script {
 public:
  explicit Script(Timeline& timeline) : tl_(timeline) {}
  bool ok() const { return ok_; }

  void layer2d(int layer, double start, double length, int image, int src, int dst) {
    add(layer, start, length, kLayer2D, {float(image), float(src), float(dst)});
  }
  // A full-view picture that runs a moment into the next one: neither clip is drawn at the
  // exact instant where one ends and the other starts, which would flash one black frame.
  void background(int layer, double start, double length, int image) {
    layer2d(layer, start, length + kOverlap, image, kOne, kZero);
  }
  void box(int layer, double start, double length, int rx, int ry, int rz, double scale) {
    add(layer, start, length, kBox, {float(rx), float(ry), float(rz), float(scale)});
  }
  // Eye on a circle of `radius` around `target` at `angle` degrees, `height` above it.
  void orbitCamera(double start, double length, double angle, double radius, double height,
                   double fov, double tx = 0, double ty = 0, double tz = 0) {
    double a = angle * kPi / 180;
    float eye[3] = {float(tx + radius * std::sin(a)), float(ty + height), float(tz + radius * std::cos(a))};
    add(kCameraLayer, start, length, kCamera,
        {float(tx), float(ty), float(tz), eye[0], eye[1], eye[2], 0, 0, 0, 0, 0, 0, float(fov)});
    cameras_.push_back({start, start + length, fov});
  }
  void startCapture(double start, double length) {
    add(kCaptureStart, start, length, kStartRenderToTex, {8, 8});
  }
  void endCapture(double start, double length, int target) {
    add(kCaptureEnd, start, length, kEndRenderToTex, {8, 8, float(target)});
  }
  void model(int layer, double start, double length, int id, double x, double y, double z,
             double speed = 0, double distance = 0, double rotate = 0, double offset = 0) {
    add(layer, start, length, kModel3D,
        {float(x), float(y), float(z), float(speed), float(distance), float(rotate), float(offset), float(id)});
  }
  // A flat in screen terms (scale 1 and position 0 fill the view): corrected for the field
  // of view of any camera active over it, since the flat is drawn under that projection.
  void flat(int layer, double start, double length, int image, int src, int dst, double scale,
            double x = 0, double y = 0) {
    double k = viewScale(start, start + length);
    add(layer, start, length, kFlat,
        {float(image), float(src), float(dst), float(scale * k), float(x * k), float(y * k)});
  }

 private:
  // tan(fov / 2) of the cameras over [start, end]; 1 without one. Mixed fields of view over
  // one flat cannot be corrected, so the script must not ask for it.
  double viewScale(double start, double end) {
    double k = -1;
    for (const CameraSpan& c : cameras_) {
      if (c.end <= start || c.start >= end) continue;
      double kc = std::tan(c.fov * kPi / 360);
      if (k >= 0 && std::fabs(kc - k) > 1e-9) ok_ = false;
      k = kc;
    }
    // Gaps without a camera draw at the default 90 degrees; a flat must not span one.
    return k < 0 ? 1.0 : k;
  }
  void add(int layer, double start, double length, int type, std::initializer_list<float> values) {
    if (!tl_.addClip(layer, float(start + kCutOffset), float(length), type)) {
      ok_ = false;
      return;
    }
    ParameterBlock& block = *tl_.layerClipParams[size_t(layer)].back();
    int i = 0;
    for (float v : values) block[i++] = v;
    if (i != block.paramCount) ok_ = false;
  }

  Timeline& tl_;
  std::vector<CameraSpan> cameras_;
  bool ok_ = true;
};

double bar(double b) { return barTime(b); }
double bars(double n) { return n * kBarSeconds; }

// One beat-long white blade per beat, two opposite each other, turning a step each beat.
void blades(Script& s, int fromBar, int toBar, int tilt, double scale, int step) {
  for (int beatIndex = fromBar * 4; beatIndex < toBar * 4; ++beatIndex) {
    double t = beatIndex * kBeatSeconds;
    int angle = (beatIndex * step) % 360;
    int opposite = (angle + 180) % 360;
    s.box(kModels2, t, kBeatSeconds * 0.5, tilt, 0, angle, scale);
    s.box(kModels2, t, kBeatSeconds * 0.5, tilt, 0, opposite, scale);
  }
}

void flash(Script& s, double atBar, double length = 0.16) {
  s.layer2d(kFlashes, bar(atBar), length, kGrain, kSrcAlpha, kOne);
}

// The feedback pass: the scene is drawn into a 256 x 256 corner over the last capture,
// zoomed and faded, then captured again and shown added over a fresh background.
void feedbackSection(Script& s, double from, double to, int target, int background) {
  const double len = to - from;
  s.startCapture(from, len);
  // Starts a moment later so the first frames fade out whatever the slot held before.
  s.flat(kFeedback, from + 0.25, len - 0.25, target, kOne, kZero, 1.07);
  s.layer2d(kFeedbackFade, from, len, kGrain, kDstColour, kZero);
  s.endCapture(from, len, target);
  s.background(kCaptureEnd, from, len, background);
  s.flat(kFeedbackShow, from, len, target, kOne, kOne, 1.0);
}

}  // namespace

bool buildDefaultProject(Timeline& timeline) {
  Script s(timeline);

  // ---- intro: aurora, the group and the title over a slowly bobbing chrome sphere ----------
  s.background(kBackground, 0, bar(kBuildBar), kAurora);
  s.model(kModels, bar(2), bars(6), kBig, 0, -0.85, -0.8, 0.8, 0.25, 0, 0);
  s.flat(kCards, bar(1), bars(2.5), kGroup, kOne, kOne, 0.8, 0, 0.35);
  s.flat(kCards, bar(4), bars(3.75), kTitle, kOne, kOne, 1.0, 0, 0.3);
  flash(s, kBuildBar);

  // ---- build: the camera starts to circle a tall column with a ring around it --------------
  s.background(kBackground, bar(kBuildBar), bars(8), kSunset);
  s.background(kBackground, bar(16), bars(8), kCaustics);
  for (int b = kBuildBar; b < kMainBar; b += 2)
    s.orbitCamera(bar(b), bars(2), -60 + 15.0 * (b - kBuildBar), 1.3, 0.35, 60);
  s.model(kModels, bar(kBuildBar), bars(16), kTall, 0, 0, 0);
  s.model(kModels2, bar(kBuildBar), bars(8), kSmall, 0.55, 0, 0, 0, 0, 1.5, 0);
  s.model(kModels2, bar(16), bars(8), kSmall, 0.55, 0, 0, 0, 0, 3, 0);
  s.model(kModels2, bar(16), bars(8), kSmall, 0.55, 0, 0, 0, 0, 3, 180);
  s.flat(kCards, bar(10), bars(3.5), kTrack, kOne, kOne, 0.6, 0, -0.58);
  blades(s, 20, kMainBar, 80, 0.9, 30);
  flash(s, 16);
  flash(s, kMainBar, 0.3);

  // ---- main: cuts on every bar around the big sphere, then the cushion with its poles ------
  s.background(kBackground, bar(kMainBar), bars(12), kNebula);
  s.background(kBackground, bar(36), bars(12), kTunnel);
  static const double kMainShots[12][3] = {  // angle, radius, height
      {0, 1.0, 0.2},  {70, 1.2, 0.6},  {150, 0.8, -0.3}, {220, 1.3, 0.9},
      {300, 0.9, 0.1}, {20, 1.4, -0.5}, {110, 1.0, 0.4},  {190, 0.7, 0.0},
      {260, 1.2, 0.7}, {340, 1.0, -0.2}, {45, 0.9, 0.3},  {135, 1.3, 0.5}};
  for (int b = kMainBar; b < kBreakBar; ++b) {
    const double* shot = kMainShots[(b - kMainBar) % 12];
    s.orbitCamera(bar(b), bars(1), shot[0], shot[1], shot[2], 60);
  }
  s.model(kModels, bar(kMainBar), bars(12), kBig, 0, 0, 0, 1.6, 0.15, 0.5, 0);
  s.model(kModels2, bar(kMainBar), bars(12), kCapsule, 1.05, 0, 0, 2.0, 0.3, 2.5, 0);
  s.model(kModels2, bar(kMainBar), bars(12), kCapsule, 1.05, 0, 0, 2.0, 0.3, 2.5, 180);
  s.model(kModels, bar(36), bars(12), kLow, 0, 0, 0, 1.0, 0.1, 0, 0);
  for (int i = 0; i < 3; ++i) s.model(kModels2, bar(36), bars(12), kPole, 0.85, 0, 0, 0, 0, 1.2, 120.0 * i);
  blades(s, 40, kBreakBar, 90, 1.1, 45);
  s.flat(kCards, bar(26), bars(2), kCode, kOne, kOne, 0.55, -0.62, 0.5);
  s.flat(kCards, bar(30), bars(2), kGfx, kOne, kOne, 0.55, 0.62, 0.5);
  s.flat(kCards, bar(34), bars(2), kMusic, kOne, kOne, 0.55, -0.62, -0.5);
  for (int b = kMainBar + 4; b < kBreakBar; b += 4) flash(s, b);

  // ---- break: the music drops to pads and the ring leaves trails through the feedback ------
  for (int b = kBreakBar; b < kFinaleBar; b += 2)
    s.orbitCamera(bar(b), bars(2), 30.0 * (b - kBreakBar), 0.9, 0.25, 60);
  feedbackSection(s, bar(kBreakBar), bar(kFinaleBar), kTarget0, kMarble);
  s.model(kModels, bar(kBreakBar), bars(8), kSmall, 0.55, 0, 0, 0.9, 0.2, 1.0, 0);
  s.model(kModels2, bar(kBreakBar), bars(8), kCapsule, 0, 0, 0, 0.7, 0.1, -1.5, 45);
  s.model(kModelsSharp, bar(kBreakBar), bars(8), kSmall, 0.55, 0, 0, 0.9, 0.2, 1.0, 0);
  s.model(kModelsSharp, bar(kBreakBar), bars(8), kCapsule, 0, 0, 0, 0.7, 0.1, -1.5, 45);
  flash(s, kFinaleBar, 0.3);

  // ---- finale: faster cuts, everything turning, then the feedback once more ---------------
  s.background(kBackground, bar(kFinaleBar), bars(8), kSunset);
  static const double kFinaleShots[8][3] = {
      {10, 0.8, 0.5}, {100, 1.1, -0.4}, {200, 0.7, 0.8}, {280, 1.2, 0.0},
      {350, 0.9, -0.6}, {60, 1.3, 0.3}, {160, 0.8, 0.1}, {240, 1.0, 0.9}};
  for (int b = kFinaleBar; b < kEndingBar; ++b) {
    const double* shot = kFinaleShots[(b - kFinaleBar) % 8];
    s.orbitCamera(bar(b), bars(1), shot[0], shot[1], shot[2], 60);
  }
  s.model(kModels, bar(kFinaleBar), bars(8), kTall, 0, 0, 0);
  for (int i = 0; i < 3; ++i)
    s.model(kModels2, bar(kFinaleBar), bars(8), kSmall, 0.6, 0, 0, 2.0, 0.25, 4, 120.0 * i);
  blades(s, kFinaleBar, 64, 60, 1.2, 30);
  feedbackSection(s, bar(64), bar(kEndingBar), kTarget1, kTunnel);
  s.model(kModels, bar(64), bars(8), kBig, 0, 0, 0, 2.0, 0.2, 1.0, 0);
  for (int i = 0; i < 2; ++i) s.model(kModels2, bar(64), bars(8), kPole, 0.9, 0, 0, 0, 0, 3, 180.0 * i);
  s.model(kModelsSharp, bar(64), bars(8), kBig, 0, 0, 0, 2.0, 0.2, 1.0, 0);
  s.flat(kCards, bar(68), bars(3.5), kTrack, kOne, kOne, 0.5, 0, -0.72);
  for (int b = kFinaleBar; b < kEndingBar; b += 2) flash(s, b);

  // ---- ending: greetings over the aurora while the last chord fades -----------------------
  const double end = kTrackSeconds + 1.0;  // past the stream's end: the program stops first
  s.background(kBackground, bar(kEndingBar), end - bar(kEndingBar), kAurora);
  s.orbitCamera(bar(kEndingBar), end - bar(kEndingBar), 0, 1.4, 0.3, 60, 0, -0.35, 0);
  s.model(kModels, bar(kEndingBar), end - bar(kEndingBar), kBig, 0, 0, 0, 0.5, 0.2, 0.3, 0);
  const int greets[4] = {kVarnok, kDuskweft, kQel, kOstrel};
  for (int i = 0; i < 4; ++i) s.flat(kCards, bar(kEndingBar + 2 * i), bars(1.9), greets[i], kOne, kOne, 0.6, 0, -0.6);
  s.flat(kCards2, bar(kSongBars), end - bar(kSongBars), kTitle, kOne, kOne, 0.8, 0, -0.5);

  return s.ok();
}

}  // namespace korvalin::content
