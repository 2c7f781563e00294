// Frame composition: every active clip of layers 0-15 drawn at play position t.
#pragma once

#include <cstdint>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "timeline/timeline.h"

namespace korvalin {

class DemoRenderer {
 public:
  DemoRenderer(const Timeline& timeline, const TextureTable& textures, const MeshTable& meshes);

  // Lower-left corner of the 640 x 480 demo rectangle in framebuffer pixels (GL window coordinates); (0, 0) by default.
  void setDemoOrigin(int x, int y);

  // Matrices and viewport set up, renderFrame(t), projection restored. The caller (the shell) sets the scissor and clears.
  // The caller's viewport is restored too, so that a capture left open cannot shrink what it draws next.
  void renderDemoFrame(float t);
  // Every clip active at t, layer 0 first, each layer's clips in sequence order.
  void renderFrame(float t);
  // One clip's effect; types outside 0-6 draw nothing.
  void dispatchClip(int32_t type, const ParameterBlock& params, const ClipTimes& times, float t);

 private:
  const Timeline& timeline_;
  const TextureTable& textures_;
  const MeshTable& meshes_;
  int originX_ = 0;
  int originY_ = 0;
};

}  // namespace korvalin
