// Triangle meshes read from 3DS files, selected by the "Model ID" parameter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace korvalin {

constexpr int kMeshCapacity = 8000;
constexpr int kMeshCount = 6;

struct Vec3 {
  float x;
  float y;
  float z;
};

// Fixed-capacity record, as the file format's lists are read into it from index 0.
struct Mesh {
  char name[20];
  int32_t vertexCount;
  int32_t faceCount;
  Vec3 vertices[kMeshCapacity];
  Vec3 normals[kMeshCapacity];
  int32_t faces[kMeshCapacity][3];
  float texCoords[kMeshCapacity][2];
};

// The six meshes by Model ID; zeroed until loaded.
struct MeshTable {
  MeshTable();
  std::unique_ptr<Mesh[]> meshes;
  // The mesh of a Model ID, or nullptr for an ID outside 0-5.
  const Mesh* byModelId(int32_t modelId) const;
  Mesh* byModelId(int32_t modelId);
};

// File of each Model ID, and the order in which the program loads them.
extern const char* const kModelPaths[kMeshCount];
extern const int kModelLoadOrder[kMeshCount];

// Fills `mesh` from a 3DS file, writing the chunk trace to `trace` (nullptr: no trace).
// Returns false, leaving the mesh as it was, when the file cannot be opened. A file that opens
// but cannot be mapped (a folder, a FIFO) gives one line on standard error and an empty mesh.
bool load3ds(Mesh& mesh, const char* path, FILE* trace = stdout);
// The walk of load3ds over a whole file in memory. Malformed content (a list longer than the
// capacity, a face index at or above vertexCount, a chunk that is too short, runs past its parent
// or the data) is clipped, dropped or ends the walk with what was read so far, with one line to
// `diagnostics` (nullptr: silent) naming `name`. Always ends.
void load3dsFromMemory(Mesh& mesh, const uint8_t* data, size_t size, FILE* trace = stdout,
                       const char* name = "3DS data", FILE* diagnostics = stderr);
void computeVertexNormals(Mesh& mesh);
// load3ds for the six files in load order, then computeVertexNormals for each.
void loadMeshes(MeshTable& table, FILE* trace = stdout);

float vecLength(const Vec3& v);
void vecNormalize(Vec3& v);
void vecCross(const Vec3& a, const Vec3& b, Vec3& out);
void vecDirection(const Vec3& from, const Vec3& to, Vec3& out);

}  // namespace korvalin
