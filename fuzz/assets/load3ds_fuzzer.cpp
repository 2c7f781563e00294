// Any bytes as a 3DS file: the walk ends, and every kept face names a vertex in use.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "assets/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static FILE* sink = std::fopen("/dev/null", "w");
  static std::unique_ptr<korvalin::Mesh> mesh(new korvalin::Mesh());
  korvalin::load3dsFromMemory(*mesh, data, size, sink, "fuzz", sink);
  if (mesh->vertexCount < 0 || mesh->vertexCount > korvalin::kMeshCapacity) __builtin_trap();
  if (mesh->faceCount < 0 || mesh->faceCount > korvalin::kMeshCapacity) __builtin_trap();
  for (int32_t f = 0; f < mesh->faceCount; ++f) {
    for (int k = 0; k < 3; ++k) {
      if (mesh->faces[f][k] < 0 || mesh->faces[f][k] >= mesh->vertexCount) __builtin_trap();
    }
  }
  korvalin::computeVertexNormals(*mesh);
  return 0;
}
