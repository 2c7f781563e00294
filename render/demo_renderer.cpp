#include "render/demo_renderer.h"

#include <GL/gl.h>

#include "render/effects.h"

namespace korvalin {

DemoRenderer::DemoRenderer(const Timeline& timeline, const TextureTable& textures, const MeshTable& meshes)
    : timeline_(timeline), textures_(textures), meshes_(meshes) {}

void DemoRenderer::setDemoOrigin(int x, int y) {
  originX_ = x;
  originY_ = y;
}

void DemoRenderer::renderDemoFrame(float t) {
  GLint callerViewport[4];
  glGetIntegerv(GL_VIEWPORT, callerViewport);

  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glViewport(originX_, originY_, kDemoWidth, kDemoHeight);
  glTranslatef(0.0f, 0.0f, -2.0f);
  glColor3f(1.0f, 1.0f, 1.0f);

  renderFrame(t);

  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glViewport(callerViewport[0], callerViewport[1], callerViewport[2], callerViewport[3]);
}

void DemoRenderer::renderFrame(float t) {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    const auto& types = timeline_.layerClipTypes[layer];
    const auto& times = timeline_.layerClipTimes[layer];
    const auto& params = timeline_.layerClipParams[layer];
    // The sizes are read again at every step; the three sequences should agree, but a clip
    // missing from one of them is never read past its end.
    for (size_t i = 0; i < times.size() && i < types.size() && i < params.size(); ++i) {
      if (params[i] && isClipActive(times[i], t)) dispatchClip(types[i], *params[i], times[i], t);
    }
  }
}

void DemoRenderer::dispatchClip(int32_t type, const ParameterBlock& params, const ClipTimes& /*times*/, float t) {
  const DemoOrigin origin{originX_, originY_};
  switch (type) {
    case kLayer2D:
      drawLayer2D(params, textures_);
      break;
    case kBox:
      drawBox(params);
      break;
    case kCamera:
      applyCamera(params);
      break;
    case kStartRenderToTex:
      beginRenderToTexture(params, origin);
      break;
    case kEndRenderToTex:
      endRenderToTexture(params, textures_, origin);
      break;
    case kModel3D:
      drawModel3D(params, t, textures_, meshes_);
      break;
    case kFlat:
      drawFlat(params, textures_);
      break;
    default:
      break;
  }
}

}  // namespace korvalin
