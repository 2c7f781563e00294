#include "tools/models.h"

#include <cmath>
#include <cstring>
#include <functional>

#include "tools/raster.h"

namespace korvalin::content {

const std::array<ModelInfo, 6> kModels = {{
    {0, "tolppa.3DS", "tolppa"},
    {1, "midi-korkea.3DS", "midi-korkea"},
    {2, "mini.3DS", "mini"},
    {3, "midi-matala.3DS", "midi-matala"},
    {4, "Iso.3DS", "Iso"},
    {5, "kapseli.3DS", "kapseli"},
}};

namespace {

struct P3 {
  double x, y, z;
};

// A closed surface: `around` segments in u (wrapping, no seam vertices, so normals stay
// smooth all round) and `along` rings in v, with one shared vertex at each pole (v = 0, 1).
MeshData sweepClosed(int around, int along, const std::function<P3(double u, double v)>& at) {
  MeshData m;
  auto push = [&](const P3& p, double u, double v) {
    m.positions.insert(m.positions.end(), {float(p.x), float(p.y), float(p.z)});
    m.uvs.insert(m.uvs.end(), {float(u), float(v)});
  };
  push(at(0, 0), 0.5, 0);
  for (int j = 1; j < along; ++j) {
    double v = double(j) / along;
    for (int i = 0; i < around; ++i) push(at(double(i) / around, v), double(i) / around, v);
  }
  push(at(0, 1), 0.5, 1);
  const int last = 1 + (along - 1) * around;
  auto ring = [&](int j, int i) { return uint16_t(1 + (j - 1) * around + (i % around)); };
  auto tri = [&](int a, int b, int c) { m.faces.insert(m.faces.end(), {uint16_t(a), uint16_t(b), uint16_t(c)}); };
  for (int i = 0; i < around; ++i) tri(0, ring(1, i + 1), ring(1, i));
  for (int j = 1; j < along - 1; ++j) {
    for (int i = 0; i < around; ++i) {
      tri(ring(j, i), ring(j, i + 1), ring(j + 1, i + 1));
      tri(ring(j, i), ring(j + 1, i + 1), ring(j + 1, i));
    }
  }
  for (int i = 0; i < around; ++i) tri(last, ring(along - 1, i), ring(along - 1, i + 1));
  return m;
}

// A torus-like surface wrapping in both directions.
MeshData sweepTorus(int around, int along, const std::function<P3(double u, double v)>& at) {
  MeshData m;
  for (int j = 0; j < along; ++j) {
    for (int i = 0; i < around; ++i) {
      P3 p = at(double(i) / around, double(j) / along);
      m.positions.insert(m.positions.end(), {float(p.x), float(p.y), float(p.z)});
      m.uvs.insert(m.uvs.end(), {float(double(i) / around), float(double(j) / along)});
    }
  }
  auto idx = [&](int j, int i) { return uint16_t((j % along) * around + (i % around)); };
  for (int j = 0; j < along; ++j) {
    for (int i = 0; i < around; ++i) {
      m.faces.insert(m.faces.end(), {idx(j, i), idx(j, i + 1), idx(j + 1, i + 1)});
      m.faces.insert(m.faces.end(), {idx(j, i), idx(j + 1, i + 1), idx(j + 1, i)});
    }
  }
  return m;
}

// Turns every face if the surface came out inside-out, so all models wind the same way.
void orientOutward(MeshData& m) {
  if (signedVolume(m) >= 0) return;
  for (size_t f = 0; f + 2 < m.faces.size(); f += 3) std::swap(m.faces[f + 1], m.faces[f + 2]);
}

// Profile revolved about the y axis: radius and height as functions of v (0 bottom pole,
// 1 top pole), with an angular modulation for lobes and ridges.
MeshData revolveY(int around, int along, const std::function<double(double v)>& radius,
                  const std::function<double(double v)>& height,
                  const std::function<double(double angle, double v)>& lobes) {
  return sweepClosed(around, along, [&](double u, double v) {
    double a = u * 2 * kPi;
    double r = radius(v) * lobes(a, v);
    return P3{r * std::cos(a), height(v), -r * std::sin(a)};
  });
}

// Rounded end profile: 0 at the poles, rising like a quarter circle over `cap` of v.
double capped(double v, double cap) {
  double e = std::min(v, 1 - v);
  if (e >= cap) return 1;
  double k = 1 - e / cap;
  return std::sqrt(std::max(0.0, 1 - k * k));
}

MeshData pole() {
  // Slim post with turned rings and a knob on top.
  return revolveY(
      32, 100,
      [](double v) {
        double r = 0.065;
        for (double c : {0.12, 0.3, 0.7, 0.86}) r += 0.035 * std::exp(-std::pow((v - c) / 0.012, 2));
        r += 0.06 * std::exp(-std::pow((v - 0.955) / 0.03, 2));
        r += 0.04 * smoothstep(0.06f, 0.0f, float(v));
        return r * capped(v, 0.02);
      },
      [](double v) { return -0.85 + 1.7 * v; }, [](double, double) { return 1.0; });
}

MeshData tallMiddle() {
  // Twisted column of six lobes, flaring at both ends.
  return revolveY(
      48, 64,
      [](double v) {
        double r = 0.22 + 0.1 * std::pow(std::abs(2 * v - 1), 4);
        return r * capped(v, 0.06);
      },
      [](double v) { return -0.6 + 1.2 * v; },
      [](double a, double v) { return 1 + 0.16 * std::cos(6 * a + 5 * v); });
}

MeshData smallPiece() {
  // Knotted ring: a torus whose tube swells four times around.
  return sweepTorus(96, 32, [](double u, double v) {
    double a = u * 2 * kPi, b = v * 2 * kPi;
    double tube = 0.075 * (1 + 0.35 * std::cos(4 * a));
    double R = 0.26;
    double rr = R + tube * std::cos(b);
    return P3{rr * std::cos(a), rr * std::sin(a), tube * std::sin(b)};
  });
}

MeshData lowMiddle() {
  // Wide cushion with eight soft scallops around its rim.
  return revolveY(
      72, 40,
      [](double v) {
        double s = std::sin(v * kPi);
        return 0.55 * std::pow(s, 0.35);
      },
      [](double v) { return 0.16 * -std::cos(v * kPi) + 0.04 * std::sin(2 * v * kPi); },
      [](double a, double v) { return 1 + 0.08 * std::cos(8 * a) * std::sin(v * kPi); });
}

MeshData bigPiece() {
  // Large sphere with swelling bumps, the most reflective surface of the set.
  return sweepClosed(72, 48, [](double u, double v) {
    double a = u * 2 * kPi, b = v * kPi;
    double r = 0.78 * (1 + 0.1 * std::sin(5 * a) * std::sin(4 * b) * std::sin(b));
    return P3{r * std::sin(b) * std::cos(a), -r * std::cos(b), -r * std::sin(b) * std::sin(a)};
  });
}

MeshData capsule() {
  // Pill lying along x: a cylinder with hemispherical ends.
  const double radius = 0.24, half = 0.42;
  return sweepClosed(48, 72, [=](double u, double v) {
    double a = u * 2 * kPi;
    double arc = kPi * radius / 2;                 // length of one end's quarter profile
    double total = 2 * arc + 2 * half, s = v * total;
    double x, r;
    if (s < arc) {
      double t = s / radius;                       // angle from the pole
      x = -half - radius * std::cos(t);
      r = radius * std::sin(t);
    } else if (s > total - arc) {
      double t = (total - s) / radius;
      x = half + radius * std::cos(t);
      r = radius * std::sin(t);
    } else {
      x = -half + (s - arc);
      r = radius;
    }
    return P3{x, r * std::cos(a), r * std::sin(a)};
  });
}

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void putFloat(std::vector<uint8_t>& out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  put32(out, bits);
}

// A chunk: ID, length counting its own 6-byte header, then the body.
std::vector<uint8_t> chunk(uint16_t id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out;
  put16(out, id);
  put32(out, uint32_t(body.size() + 6));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

}  // namespace

MeshData buildModel(int modelId) {
  MeshData m;
  switch (modelId) {
    case 0: m = pole(); break;
    case 1: m = tallMiddle(); break;
    case 2: m = smallPiece(); break;
    case 3: m = lowMiddle(); break;
    case 4: m = bigPiece(); break;
    case 5: m = capsule(); break;
    default: return m;
  }
  orientOutward(m);
  return m;
}

double signedVolume(const MeshData& m) {
  double sum = 0;
  for (size_t f = 0; f + 2 < m.faces.size(); f += 3) {
    const float* a = &m.positions[m.faces[f] * 3];
    const float* b = &m.positions[m.faces[f + 1] * 3];
    const float* c = &m.positions[m.faces[f + 2] * 3];
    sum += double(a[0]) * (double(b[1]) * c[2] - double(b[2]) * c[1]) -
           double(a[1]) * (double(b[0]) * c[2] - double(b[2]) * c[0]) +
           double(a[2]) * (double(b[0]) * c[1] - double(b[1]) * c[0]);
  }
  return sum;
}

std::vector<uint8_t> encode3ds(const MeshData& mesh, const std::string& objectName) {
  std::vector<uint8_t> points;
  put16(points, uint32_t(mesh.vertexCount()));
  for (float v : mesh.positions) putFloat(points, v);

  std::vector<uint8_t> faces;
  put16(faces, uint32_t(mesh.faceCount()));
  for (size_t f = 0; f + 2 < mesh.faces.size(); f += 3) {
    put16(faces, mesh.faces[f]);
    put16(faces, mesh.faces[f + 1]);
    put16(faces, mesh.faces[f + 2]);
    put16(faces, 0x0007);  // all three edges visible, as modellers write them
  }

  std::vector<uint8_t> uvs;
  put16(uvs, uint32_t(mesh.vertexCount()));
  for (float v : mesh.uvs) putFloat(uvs, v);

  std::vector<uint8_t> tri;
  for (const auto& part : {chunk(0x4110, points), chunk(0x4120, faces), chunk(0x4140, uvs)})
    tri.insert(tri.end(), part.begin(), part.end());

  std::vector<uint8_t> named(objectName.begin(), objectName.begin() + std::min<size_t>(objectName.size(), 19));
  named.push_back(0);
  std::vector<uint8_t> triChunk = chunk(0x4100, tri);
  named.insert(named.end(), triChunk.begin(), triChunk.end());

  return chunk(0x4D4D, chunk(0x3D3D, chunk(0x4000, named)));
}

}  // namespace korvalin::content
