// korvalin_stills: renders the project of a run folder at chosen play positions into PNGs,
// so the demo can be looked at on a machine without a display.
#include <unistd.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "assets/mesh.h"
#include "assets/texture_table.h"
#include "render/demo_renderer.h"
#include "tests/common/gl_test_context.h"
#include "timeline/project_file.h"
#include "tools/image_files.h"

using namespace korvalin;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: korvalin_stills <run folder> <png folder> <seconds>...\n");
    return 2;
  }
  std::string outDir = argv[2];
  if (outDir[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) outDir = std::string(cwd) + "/" + outDir;
  }
  if (chdir(argv[1]) != 0) {
    std::fprintf(stderr, "korvalin_stills: %s: cannot enter the run folder\n", argv[1]);
    return 1;
  }
  test::GlTestContext gl(640, 480);
  if (!gl.ok()) {
    std::fprintf(stderr, "korvalin_stills: no OpenGL context: %s\n", gl.error().c_str());
    return 1;
  }
  Timeline timeline;
  std::string error;
  if (loadProject(timeline, kProjectFileName, &error) != LoadResult::kLoaded) {
    std::fprintf(stderr, "korvalin_stills: %s\n", error.c_str());
    return 1;
  }
  timeline.syncAllClipTimes();
  MeshTable meshes;
  loadMeshes(meshes, nullptr);
  TextureTable textures;
  loadTextures(textures);
  glViewport(0, 0, 640, 480);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluPerspective(90.0, 640.0 / 480.0, 0.1, 2000.0);
  glMatrixMode(GL_MODELVIEW);
  glEnable(GL_DEPTH_TEST);
  glShadeModel(GL_SMOOTH);
  DemoRenderer renderer(timeline, textures, meshes);

  for (int i = 3; i < argc; ++i) {
    const float t = std::strtof(argv[i], nullptr);
    // Half a second of frames at 60 per second first, so feedback passes have built up.
    for (int f = 30; f >= 0; --f) {
      glClearColor(0, 0, 0, 0.5f);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      renderer.renderDemoFrame(t - f / 60.0f);
      if (f > 0) gl.swap();
    }
    glFinish();
    char name[64];
    std::snprintf(name, sizeof name, "/still_%07.2f.png", double(t));
    std::vector<uint8_t> pixels = gl.readPixels(0, 0, 640, 480);
    // The window shows colour only; the framebuffer's alpha would make a viewer blend the PNG.
    for (size_t p = 3; p < pixels.size(); p += 4) pixels[p] = 255;
    if (!content::writePng(outDir + name, 640, 480, pixels)) {
      std::fprintf(stderr, "korvalin_stills: %s%s: cannot write\n", outDir.c_str(), name);
      return 1;
    }
    gl.swap();
  }
  return 0;
}
