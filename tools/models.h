// The six demo models and the 3DS chunk writer that stores them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace korvalin::content {

struct MeshData {
  std::vector<float> positions;  // x, y, z per vertex
  std::vector<float> uvs;        // u, v per vertex
  std::vector<uint16_t> faces;   // a, b, c per face, counter-clockwise seen from outside
  int vertexCount() const { return int(positions.size() / 3); }
  int faceCount() const { return int(faces.size() / 3); }
};

struct ModelInfo {
  int modelId;
  const char* fileName;    // under data/, exact case
  const char* objectName;  // at most 19 characters
};

// In the program's Model ID order.
extern const std::array<ModelInfo, 6> kModels;

MeshData buildModel(int modelId);

// M3DMAGIC > MDATA > NAMED_OBJECT > N_TRI_OBJECT > POINT_ARRAY, FACE_ARRAY, TEX_VERTS.
std::vector<uint8_t> encode3ds(const MeshData& mesh, const std::string& objectName);

// Six times the enclosed volume's sign-carrying sum; positive when faces wind outward.
double signedVolume(const MeshData& mesh);

}  // namespace korvalin::content
