// A UV sphere built in code, for benchmarks that must not need asset files.
#pragma once

#include <algorithm>
#include <cmath>

#include "assets/mesh.h"

namespace korvalin::test {

// slices x stacks quads, two triangles each (8000 triangles at 80 x 50); unit normals.
inline void makeSphere(Mesh& mesh, float radius, int slices, int stacks) {
  const double pi = 3.14159265358979323846;
  int v = 0;
  for (int j = 0; j <= stacks; ++j) {
    for (int i = 0; i <= slices; ++i, ++v) {
      const double phi = pi * j / stacks, theta = 2.0 * pi * i / slices;
      const Vec3 n{static_cast<float>(std::sin(phi) * std::cos(theta)), static_cast<float>(std::cos(phi)),
                   static_cast<float>(std::sin(phi) * std::sin(theta))};
      mesh.normals[v] = n;
      mesh.vertices[v] = Vec3{n.x * radius, n.y * radius, n.z * radius};
      mesh.texCoords[v][0] = static_cast<float>(i) / slices;
      mesh.texCoords[v][1] = static_cast<float>(j) / stacks;
    }
  }
  mesh.vertexCount = v;
  int f = 0;
  for (int j = 0; j < stacks; ++j) {
    for (int i = 0; i < slices; ++i) {
      const int a = j * (slices + 1) + i, b = a + slices + 1;
      const int faces[2][3] = {{a, b, a + 1}, {a + 1, b, b + 1}};
      for (const auto& face : faces) std::copy(face, face + 3, mesh.faces[f++]);
    }
  }
  mesh.faceCount = f;
}

}  // namespace korvalin::test
