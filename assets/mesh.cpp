// The mesh table, vertex normals and the small vector maths they use.
#include "assets/mesh.h"

#include <algorithm>
#include <cmath>

namespace korvalin {

const char* const kModelPaths[kMeshCount] = {
    "data/tolppa.3DS", "data/midi-korkea.3DS", "data/mini.3DS",
    "data/midi-matala.3DS", "data/Iso.3DS", "data/kapseli.3DS",
};
const int kModelLoadOrder[kMeshCount] = {4, 1, 3, 2, 0, 5};

// Value-initialised: an unloaded mesh has no vertices, no faces and all-zero arrays.
MeshTable::MeshTable() : meshes(new Mesh[kMeshCount]()) {}

const Mesh* MeshTable::byModelId(int32_t modelId) const {
  return modelId >= 0 && modelId < kMeshCount ? &meshes[modelId] : nullptr;
}

Mesh* MeshTable::byModelId(int32_t modelId) {
  return modelId >= 0 && modelId < kMeshCount ? &meshes[modelId] : nullptr;
}

void loadMeshes(MeshTable& table, FILE* trace) {
  for (int id : kModelLoadOrder) load3ds(table.meshes[id], kModelPaths[id], trace);
  for (int id : kModelLoadOrder) computeVertexNormals(table.meshes[id]);
}

float vecLength(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// A zero vector stays zero instead of turning into NaN.
void vecNormalize(Vec3& v) {
  float length = vecLength(v);
  if (length == 0.0f) length = 1.0f;
  float scale = 1.0f / length;
  v.x *= scale;
  v.y *= scale;
  v.z *= scale;
}

void vecCross(const Vec3& a, const Vec3& b, Vec3& out) {
  Vec3 r{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
  out = r;
}

void vecDirection(const Vec3& from, const Vec3& to, Vec3& out) {
  out = Vec3{to.x - from.x, to.y - from.y, to.z - from.z};
  vecNormalize(out);
}

// The plain mean of the unit normals of the faces around each vertex, deliberately not
// normalised again: sphere mapping takes the shorter normals at creases as they are.
void computeVertexNormals(Mesh& mesh) {
  // Counts beyond the record are cut to it; below zero nothing is done.
  const int32_t vertexCount = std::min(mesh.vertexCount, kMeshCapacity);
  const int32_t faceCount = std::min(mesh.faceCount, kMeshCapacity);
  int32_t uses[kMeshCapacity];
  for (int32_t i = 0; i < vertexCount; ++i) {
    mesh.normals[i] = Vec3{0.0f, 0.0f, 0.0f};
    uses[i] = 0;
  }
  for (int32_t f = 0; f < faceCount; ++f) {
    const int32_t* corner = mesh.faces[f];
    bool inRange = true;
    for (int k = 0; k < 3; ++k) inRange = inRange && corner[k] >= 0 && corner[k] < vertexCount;
    if (!inRange) continue;  // load3ds never keeps such faces; a hand-built mesh might
    Vec3 e1, e2, n;
    vecDirection(mesh.vertices[corner[0]], mesh.vertices[corner[1]], e1);
    vecDirection(mesh.vertices[corner[0]], mesh.vertices[corner[2]], e2);
    vecCross(e1, e2, n);
    vecNormalize(n);
    for (int k = 0; k < 3; ++k) {
      Vec3& sum = mesh.normals[corner[k]];
      sum.x += n.x;
      sum.y += n.y;
      sum.z += n.z;
      ++uses[corner[k]];
    }
  }
  for (int32_t i = 0; i < vertexCount; ++i) {
    if (uses[i] == 0) continue;
    float scale = 1.0f / static_cast<float>(uses[i]);
    mesh.normals[i].x *= scale;
    mesh.normals[i].y *= scale;
    mesh.normals[i].z *= scale;
  }
}

}  // namespace korvalin
