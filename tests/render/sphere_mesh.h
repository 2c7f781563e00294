// A UV sphere built in code, for drawing tests and benchmarks that must not need asset files.
#pragma once

#include <cmath>

#include "assets/mesh.h"

namespace korvalin::test {

// slices x stacks quads, two triangles each (8000 triangles at 80 x 50); unit normals.
inline void makeSphere(Mesh& mesh, float radius, int slices, int stacks) {
  const double pi = 3.14159265358979323846;
  int v = 0;
  for (int j = 0; j <= stacks; ++j) {
    const double phi = pi * j / stacks;
    for (int i = 0; i <= slices; ++i) {
      const double theta = 2.0 * pi * i / slices;
      const Vec3 n{static_cast<float>(std::sin(phi) * std::cos(theta)), static_cast<float>(std::cos(phi)),
                   static_cast<float>(std::sin(phi) * std::sin(theta))};
      mesh.normals[v] = n;
      mesh.vertices[v] = Vec3{n.x * radius, n.y * radius, n.z * radius};
      mesh.texCoords[v][0] = static_cast<float>(i) / slices;
      mesh.texCoords[v][1] = static_cast<float>(j) / stacks;
      ++v;
    }
  }
  mesh.vertexCount = v;
  int f = 0;
  for (int j = 0; j < stacks; ++j) {
    for (int i = 0; i < slices; ++i) {
      const int a = j * (slices + 1) + i;
      const int b = a + slices + 1;
      mesh.faces[f][0] = a;
      mesh.faces[f][1] = b;
      mesh.faces[f][2] = a + 1;
      ++f;
      mesh.faces[f][0] = a + 1;
      mesh.faces[f][1] = b;
      mesh.faces[f][2] = b + 1;
      ++f;
    }
  }
  mesh.faceCount = f;
}

}  // namespace korvalin::test
