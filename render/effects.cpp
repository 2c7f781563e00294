#include "render/effects.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <cmath>
#include <limits>
#include <vector>

namespace korvalin {

namespace {

static_assert(sizeof(Vec3) == 3 * sizeof(float), "vertex arrays read Vec3 as three packed floats");
static_assert(sizeof(Mesh::faces[0]) == 3 * sizeof(GLuint), "glDrawElements reads faces as packed indices");

constexpr int kDefaultCaptureSlot = kRenderTargetSlot0;
constexpr int kNoCaptureSlot = 100;
// Beyond 2^30 a side no longer fits the int32 that GL takes.
constexpr int32_t kMaxSizeExponent = 30;

bool allFinite(const GLfloat (&m)[16]) {
  for (GLfloat v : m) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// Side of a render target from a Size exponent; 0 for an exponent that names no size.
int sideFromExponent(float param) {
  int32_t exponent = 0;
  if (!truncateParam(param, &exponent) || exponent < 0 || exponent > kMaxSizeExponent) return 0;
  return 1 << exponent;
}

// Both factors must be valid: GL rejects the whole call otherwise, and the earlier function stays.
void applyBlendCodes(float srcParam, float dstParam) {
  int32_t src = 0;
  int32_t dst = 0;
  if (!truncateParam(srcParam, &src) || !truncateParam(dstParam, &dst)) return;
  if (!isBlendCodeValid(src) || !isBlendCodeValid(dst)) return;
  glBlendFunc(blendCode(src), blendCode(dst));
}

// Image ID of "Layer 2D" and "Flat": negative (-infinity too) means 0; -1 when it names no slot
// of the table.
int32_t pictureSlot(float param) {
  int32_t id = 0;
  if (!truncateParam(param, &id)) return -1;
  if (id < 0) return 0;
  return id < kTextureSlotCount ? id : -1;
}

// The blended full-view picture shared by "Layer 2D" and "Flat"; the caller has placed it.
void drawBlendedPicture(const ParameterBlock& params, const TextureTable& textures) {
  glColor4f(1.0f, 1.0f, 1.0f, 0.5f);
  applyBlendCodes(params[1], params[2]);
  const int32_t slot = pictureSlot(params[0]);
  if (slot >= 0) {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textures.names[slot]);
    glEnable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    drawFullViewQuad();
  }
  glDisable(GL_BLEND);
  glEnable(GL_DEPTH_TEST);
  glDisable(GL_TEXTURE_2D);
}

// A face whose corners all name vertices of the mesh's list; the file may say otherwise.
bool faceIsValid(const int32_t* face, int vertexCount) {
  return face[0] >= 0 && face[0] < vertexCount && face[1] >= 0 && face[1] < vertexCount && face[2] >= 0 &&
         face[2] < vertexCount;
}

void drawMeshPerCorner(const Mesh& mesh, int faceCount, int vertexCount) {
  glBegin(GL_TRIANGLES);
  for (int f = 0; f < faceCount; ++f) {
    const int32_t* face = mesh.faces[f];
    if (!faceIsValid(face, vertexCount)) continue;
    for (int k = 0; k < 3; ++k) {
      const int32_t i = face[k];
      glNormal3f(mesh.normals[i].x, mesh.normals[i].y, mesh.normals[i].z);
      glTexCoord2f(mesh.texCoords[i][0], mesh.texCoords[i][1]);
      glVertex3f(mesh.vertices[i].x, mesh.vertices[i].y, mesh.vertices[i].z);
    }
  }
  glEnd();
}

void drawMeshVertexArrays(const Mesh& mesh, int faceCount, int vertexCount) {
  bool allValid = true;
  for (int f = 0; f < faceCount && allValid; ++f) allValid = faceIsValid(mesh.faces[f], vertexCount);
  std::vector<GLuint> validIndices;
  const void* indices = mesh.faces;
  GLsizei indexCount = faceCount * 3;
  if (!allValid) {
    for (int f = 0; f < faceCount; ++f) {
      const int32_t* face = mesh.faces[f];
      if (!faceIsValid(face, vertexCount)) continue;
      validIndices.insert(validIndices.end(), {GLuint(face[0]), GLuint(face[1]), GLuint(face[2])});
    }
    indices = validIndices.data();
    indexCount = static_cast<GLsizei>(validIndices.size());
  }
  if (indexCount == 0) return;

  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_NORMAL_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glVertexPointer(3, GL_FLOAT, sizeof(Vec3), mesh.vertices);
  glNormalPointer(GL_FLOAT, sizeof(Vec3), mesh.normals);
  glTexCoordPointer(2, GL_FLOAT, 0, mesh.texCoords);
  glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT, indices);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
  glDisableClientState(GL_NORMAL_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

}  // namespace

bool truncateParam(float value, int32_t* out) {
  if (std::isnan(value)) return false;
  if (value >= 2147483648.0f) {
    *out = std::numeric_limits<int32_t>::max();
  } else if (value <= -2147483648.0f) {
    *out = std::numeric_limits<int32_t>::min();
  } else {
    *out = static_cast<int32_t>(value);
  }
  return true;
}

uint32_t blendCode(int32_t code) {
  // Unsigned arithmetic: a huge code wraps instead of overflowing (it is invalid either way).
  return code <= 1 ? static_cast<uint32_t>(code) : 768u + static_cast<uint32_t>(code);
}

bool isBlendCodeValid(int32_t code) { return code >= 0 && code <= 8; }

void drawFullViewQuad() {
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3f(-1.3334f, -1.0f, 0.0f);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3f(-1.3334f, 1.0f, 0.0f);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3f(1.3334f, 1.0f, 0.0f);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3f(1.3334f, -1.0f, 0.0f);
  glEnd();
}

void drawLayer2D(const ParameterBlock& params, const TextureTable& textures) {
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(0.0f, 0.0f, -1.0f);
  drawBlendedPicture(params, textures);
  glPopMatrix();
}

void drawBox(const ParameterBlock& params) {
  glPushMatrix();
  glRotatef(params[0], 1.0f, 0.0f, 0.0f);
  glRotatef(params[1], 0.0f, 1.0f, 0.0f);
  glRotatef(params[2], 0.0f, 0.0f, 1.0f);
  glScalef(params[3], params[3], params[3]);
  glBegin(GL_QUADS);
  glVertex3f(0.0f, 0.0f, 0.0f);
  glVertex3f(0.0f, 1.0f, 0.0f);
  glVertex3f(1.0f, 1.0f, 0.0f);
  glVertex3f(1.0f, 0.0f, 0.0f);
  glEnd();
  glPopMatrix();
}

// A camera whose parameters give no finite view (NaN, infinities, overflow inside GLU) is
// dropped whole: the clips after it keep the matrices they had.
void applyCamera(const ParameterBlock& params) {
  for (int i : {0, 1, 2, 3, 4, 5, 12}) {
    if (!std::isfinite(params[i])) return;
  }
  GLfloat savedModelview[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, savedModelview);
  gluLookAt(params[3], params[4], params[5], params[0], params[1], params[2], 0.0, 1.0, 0.0);
  GLfloat modelview[16];
  glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
  if (!allFinite(modelview)) {
    glLoadMatrixf(savedModelview);
    return;
  }

  glMatrixMode(GL_PROJECTION);
  GLfloat savedProjection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, savedProjection);
  glLoadIdentity();
  gluPerspective(params[12], 4.0 / 3.0, static_cast<double>(0.1f), 10000.0);
  GLfloat projection[16];
  glGetFloatv(GL_PROJECTION_MATRIX, projection);
  if (!allFinite(projection)) {
    glLoadMatrixf(savedProjection);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(savedModelview);
    return;
  }
  glMatrixMode(GL_MODELVIEW);
}

void beginRenderToTexture(const ParameterBlock& params, DemoOrigin origin) {
  glViewport(origin.x, origin.y, sideFromExponent(params[0]), sideFromExponent(params[1]));
}

void endRenderToTexture(const ParameterBlock& params, const TextureTable& textures, DemoOrigin origin) {
  int32_t slot = kNoCaptureSlot;
  if (truncateParam(params[2], &slot) && slot < 0) slot = kDefaultCaptureSlot;
  if (slot >= 0 && slot < kTextureSlotCount) {
    glBindTexture(GL_TEXTURE_2D, textures.names[slot]);
    const int width = sideFromExponent(params[0]);
    const int height = sideFromExponent(params[1]);
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    // GL would reject these copies; skipping them keeps the error flag clear.
    if (width > 0 && height > 0 && width <= maxSize && height <= maxSize) {
      glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, origin.x, origin.y, width, height, 0);
    }
  }
  glViewport(origin.x, origin.y, kDemoWidth, kDemoHeight);
}

void drawModel3D(const ParameterBlock& params, float t, const TextureTable& textures, const MeshTable& meshes,
                 MeshPath path) {
  glPushMatrix();
  glBindTexture(GL_TEXTURE_2D, textures.names[kMetalSlot]);
  glRotatef(params[5] * t * 30.0f + params[6], 0.0f, 0.0f, 1.0f);
  glTranslatef(params[0], params[1],
               static_cast<float>(params[2] + params[4] * std::sin(static_cast<double>(params[3] * t))));
  glEnable(GL_TEXTURE_2D);
  // The environment map drifts with time.
  glMatrixMode(GL_TEXTURE);
  glPushMatrix();
  glTranslatef(0.1f * t, 0.5f * t, 0.3f * t);
  glMatrixMode(GL_MODELVIEW);
  glTexGeni(GL_S, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glTexGeni(GL_T, GL_TEXTURE_GEN_MODE, GL_SPHERE_MAP);
  glEnable(GL_TEXTURE_GEN_S);
  glEnable(GL_TEXTURE_GEN_T);

  int32_t modelId = -1;
  if (truncateParam(params[7], &modelId)) {
    if (const Mesh* mesh = meshes.byModelId(modelId)) drawMesh(*mesh, path);
  }

  glDisable(GL_LIGHT1);
  glDisable(GL_LIGHTING);
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glMatrixMode(GL_TEXTURE);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glDisable(GL_TEXTURE_2D);
  glPopMatrix();
}

void drawMesh(const Mesh& mesh, MeshPath path) {
  const int faceCount = mesh.faceCount < 0 ? 0 : (mesh.faceCount > kMeshCapacity ? kMeshCapacity : mesh.faceCount);
  const int vertexCount =
      mesh.vertexCount < 0 ? 0 : (mesh.vertexCount > kMeshCapacity ? kMeshCapacity : mesh.vertexCount);
  if (faceCount == 0) return;
  if (path == MeshPath::kPerCorner) {
    drawMeshPerCorner(mesh, faceCount, vertexCount);
  } else {
    drawMeshVertexArrays(mesh, faceCount, vertexCount);
  }
}

void drawFlat(const ParameterBlock& params, const TextureTable& textures) {
  glPushMatrix();
  glLoadIdentity();
  glTranslatef(params[4], params[5], -1.0f);
  glScalef(params[3], params[3], params[3]);
  drawBlendedPicture(params, textures);
  glPopMatrix();
}

}  // namespace korvalin
