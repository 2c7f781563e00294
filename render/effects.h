// The effect renderers, one per operator type, plus the helpers they share.
//
// Each draws immediately into the current GL framebuffer for one active clip. What an effect
// leaves for the clips after it in the same frame: the camera's modelview and projection, the
// render-to-texture viewport, the colour (1, 1, 1, 0.5) after a 2D layer or flat, the last
// bound texture and blend function. Everything else it restores: modelview selected, depth
// test on, texturing, blending and texture generation off, texture matrix as it was.
#pragma once

#include <cstdint>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "timeline/timeline.h"

namespace korvalin {

constexpr int kDemoWidth = 640;
constexpr int kDemoHeight = 480;

// Lower-left corner of the demo rectangle in GL window coordinates; every viewport and
// framebuffer copy of the demo is placed relative to it.
struct DemoOrigin {
  int x = 0;
  int y = 0;
};

// drawMesh's two ways of feeding the same triangles: one call per corner (the reference),
// or GL 1.1 vertex arrays with glDrawElements (faster; tests prove the pixels identical).
enum class MeshPath { kPerCorner, kVertexArrays };

// Parameters that select something are used truncated toward zero. Returns false for a value
// with no integer meaning (NaN, infinite); finite values beyond int32 saturate.
bool truncateParam(float value, int32_t* out);

// Blend code to glBlendFunc factor: 1 or less unchanged, 2 and above 768 + code.
uint32_t blendCode(int32_t code);
// Codes 0-8 name a blend factor; any other code would be rejected by GL.
bool isBlendCodeValid(int32_t code);

// One GL_QUADS quad at z = 0, +-1.3334 wide, +-1 high, texture (0, 0) at the lower left; at
// distance 1 under the default projection it covers the demo rectangle.
void drawFullViewQuad();

void drawLayer2D(const ParameterBlock& params, const TextureTable& textures);
void drawBox(const ParameterBlock& params);
void applyCamera(const ParameterBlock& params);
void beginRenderToTexture(const ParameterBlock& params, DemoOrigin origin);
void endRenderToTexture(const ParameterBlock& params, const TextureTable& textures, DemoOrigin origin);
// t is the absolute play position in seconds.
void drawModel3D(const ParameterBlock& params, float t, const TextureTable& textures, const MeshTable& meshes,
                 MeshPath path = MeshPath::kVertexArrays);
// Faces that name a vertex outside the mesh's vertex list are skipped.
void drawMesh(const Mesh& mesh, MeshPath path = MeshPath::kVertexArrays);
void drawFlat(const ParameterBlock& params, const TextureTable& textures);

}  // namespace korvalin
