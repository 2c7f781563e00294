// 3DS reader: walks the chunk tree value by value, keeps the mesh lists and traces every chunk.
#include <cstdarg>
#include <cstring>
#include <vector>

#include "assets/file_mapping.h"
#include "assets/mesh.h"

namespace korvalin {
namespace {

constexpr uint16_t kMainChunk = 0x4D4D;
constexpr uint16_t kEditorChunk = 0x3D3D;
constexpr uint16_t kNamedObject = 0x4000;
constexpr uint16_t kTriangleMesh = 0x4100;
constexpr uint16_t kVertexList = 0x4110;
constexpr uint16_t kFaceList = 0x4120;
constexpr uint16_t kMappingList = 0x4140;

// A large model traces tens of thousands of lines; collecting them here keeps one write per
// 64 KB even when the stream is line-buffered (a terminal).
class TraceWriter {
 public:
  explicit TraceWriter(FILE* out) : out_(out) {}
  ~TraceWriter() { flush(); }
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  void line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (out_ == nullptr) return;
    for (int attempt = 0; attempt < 2; ++attempt) {
      va_list args;
      va_start(args, format);
      int n = std::vsnprintf(buffer_ + used_, sizeof buffer_ - used_, format, args);
      va_end(args);
      if (n < 0) return;
      if (static_cast<size_t>(n) < sizeof buffer_ - used_) {
        used_ += static_cast<size_t>(n);
        return;
      }
      flush();
    }
  }

  void flush() {
    if (out_ != nullptr && used_ > 0) std::fwrite(buffer_, 1, used_, out_);
    used_ = 0;
  }

 private:
  FILE* out_;
  size_t used_ = 0;
  char buffer_[1 << 16];
};

class Walk {
 public:
  Walk(Mesh& mesh, const uint8_t* data, size_t size, FILE* trace, const char* name, FILE* diagnostics)
      : mesh_(mesh), data_(data), size_(size), trace_(trace), name_(name), diagnostics_(diagnostics) {}

  void run() {
    while (step()) {
    }
    dropFacesOutsideVertexList();
  }

 private:
  // Reads one chunk header and acts on it; false ends the walk.
  bool step() {
    while (!ends_.empty() && pos_ >= ends_.back()) ends_.pop_back();
    size_t limit = ends_.empty() ? size_ : ends_.back();
    if (pos_ >= limit) return false;
    size_t start = pos_;
    if (limit - pos_ < 6) {
      report("chunk header cut short at byte %zu", start);
      return false;
    }
    uint16_t id = u16();
    trace_.line("ChunkID: %x\n", id);
    uint32_t length = u32();
    trace_.line("ChunkLenght: %x\n", length);
    if (length < 6) {
      report("chunk %x at byte %zu has length %u, shorter than its header", id, start, length);
      return false;
    }
    if (length > limit - start) {
      report("chunk %x at byte %zu with length %u runs past the end of %s at byte %zu", id, start, length,
             ends_.empty() ? "the file" : "its parent chunk", limit);
      return false;
    }
    size_t end = start + length;

    switch (id) {
      case kMainChunk:
      case kEditorChunk:
      case kTriangleMesh:
        break;
      case kNamedObject:
        if (!readName(end)) return false;
        break;
      case kVertexList:
        if (!readVertices(end)) return false;
        break;
      case kFaceList:
        if (!readFaces(end)) return false;
        break;
      case kMappingList:
        if (!readMapping(end)) return false;
        break;
      default:
        pos_ = end;
        return true;
    }
    // Whatever follows inside the chunk (the face list's material groups, an object's mesh) is
    // walked as sub-chunks.
    ends_.push_back(end);
    return true;
  }

  bool readName(size_t end) {
    std::memset(mesh_.name, 0, sizeof mesh_.name);
    for (size_t i = 0; i < sizeof mesh_.name; ++i) {
      if (pos_ >= end) return nameUnterminated();
      char c = static_cast<char>(data_[pos_++]);
      mesh_.name[i] = c;
      if (c == '\0') return true;
    }
    // Longer than the field: keep what fits, terminated, and step over the rest of the name so
    // that the walk goes on with the object's first sub-chunk.
    mesh_.name[sizeof mesh_.name - 1] = '\0';
    report("object name at byte %zu is longer than %zu bytes; cut", pos_ - sizeof mesh_.name,
           sizeof mesh_.name - 1);
    while (pos_ < end) {
      if (data_[pos_++] == 0) return true;
    }
    return nameUnterminated();
  }

  bool nameUnterminated() {
    mesh_.name[sizeof mesh_.name - 1] = '\0';
    report("object name without terminator runs to the end of its chunk at byte %zu", pos_);
    return false;
  }

  // The count of a list and how many of its entries fit the mesh; entries beyond the capacity are
  // skipped so that the walk stays in step.
  bool readCount(size_t end, const char* what, const char* traceFormat, uint32_t& count, uint32_t& kept) {
    if (end - pos_ < 2) {
      report("%s count cut short at byte %zu", what, pos_);
      return false;
    }
    count = u16();
    trace_.line(traceFormat, static_cast<int>(count));
    kept = count < static_cast<uint32_t>(kMeshCapacity) ? count : kMeshCapacity;
    if (kept < count) {
      report("%s of %u entries at byte %zu clipped to %d", what, count, pos_ - 2, kMeshCapacity);
    }
    return true;
  }

  bool listCutShort(size_t end, size_t entryBytes, const char* what, uint32_t index, uint32_t count) {
    if (end - pos_ >= entryBytes) return false;
    report("%s ends at byte %zu after %u of %u entries", what, end, index, count);
    return true;
  }

  bool readVertices(size_t end) {
    uint32_t count, kept;
    if (!readCount(end, "vertex list", "Number of vertices: %d\n", count, kept)) return false;
    mesh_.vertexCount = static_cast<int32_t>(kept);
    for (uint32_t i = 0; i < count; ++i) {
      if (listCutShort(end, 12, "vertex list", i, count)) {
        mesh_.vertexCount = static_cast<int32_t>(i < kept ? i : kept);
        return false;
      }
      if (i >= kept) {
        pos_ += 12;
        continue;
      }
      Vec3& v = mesh_.vertices[i];
      v.x = f32();
      trace_.line("Vertices list x: %f\n", v.x);
      v.y = f32();
      trace_.line("Vertices list y: %f\n", v.y);
      v.z = f32();
      trace_.line("Vertices list z: %f\n", v.z);
    }
    return true;
  }

  bool readFaces(size_t end) {
    uint32_t count, kept;
    if (!readCount(end, "face list", "Number of polygons: %d\n", count, kept)) return false;
    mesh_.faceCount = static_cast<int32_t>(kept);
    for (uint32_t i = 0; i < count; ++i) {
      if (listCutShort(end, 8, "face list", i, count)) {
        mesh_.faceCount = static_cast<int32_t>(i < kept ? i : kept);
        return false;
      }
      if (i >= kept) {
        pos_ += 8;
        continue;
      }
      int32_t* face = mesh_.faces[i];
      face[0] = u16();
      trace_.line("Polygon point a: %d\n", face[0]);
      face[1] = u16();
      trace_.line("Polygon point b: %d\n", face[1]);
      face[2] = u16();
      trace_.line("Polygon point c: %d\n", face[2]);
      trace_.line("Face flags: %x\n", u16());
    }
    return true;
  }

  bool readMapping(size_t end) {
    uint32_t count, kept;
    if (end - pos_ < 2) {
      report("mapping list count cut short at byte %zu", pos_);
      return false;
    }
    count = u16();
    kept = count < static_cast<uint32_t>(kMeshCapacity) ? count : kMeshCapacity;
    if (kept < count) {
      report("mapping list of %u entries at byte %zu clipped to %d", count, pos_ - 2, kMeshCapacity);
    }
    for (uint32_t i = 0; i < count; ++i) {
      if (listCutShort(end, 8, "mapping list", i, count)) return false;
      if (i >= kept) {
        pos_ += 8;
        continue;
      }
      float* uv = mesh_.texCoords[i];
      uv[0] = f32();
      trace_.line("Mapping list u: %f\n", uv[0]);
      uv[1] = f32();
      trace_.line("Mapping list v: %f\n", uv[1]);
    }
    return true;
  }

  // Every face index must name a vertex in use: the renderer and the normals index the vertex
  // arrays with them. Checked once the walk is over, as the lists may come in any order.
  void dropFacesOutsideVertexList() {
    int32_t kept = 0;
    for (int32_t i = 0; i < mesh_.faceCount; ++i) {
      const int32_t* f = mesh_.faces[i];
      if (f[0] >= mesh_.vertexCount || f[1] >= mesh_.vertexCount || f[2] >= mesh_.vertexCount) continue;
      if (kept != i) std::memcpy(mesh_.faces[kept], f, sizeof mesh_.faces[0]);
      ++kept;
    }
    if (kept < mesh_.faceCount) {
      report("%d of %d faces name a vertex at or above the vertex count %d; dropped", mesh_.faceCount - kept,
             mesh_.faceCount, mesh_.vertexCount);
      mesh_.faceCount = kept;
    }
  }

  void report(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (diagnostics_ == nullptr) return;
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::fprintf(diagnostics_, "%s: %s\n", name_, text);
  }

  // Callers have checked that the bytes lie inside the current chunk.
  uint16_t u16() {
    uint16_t v = static_cast<uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t u32() {
    uint32_t v = static_cast<uint32_t>(data_[pos_]) | (static_cast<uint32_t>(data_[pos_ + 1]) << 8) |
                 (static_cast<uint32_t>(data_[pos_ + 2]) << 16) | (static_cast<uint32_t>(data_[pos_ + 3]) << 24);
    pos_ += 4;
    return v;
  }
  float f32() {
    uint32_t bits = u32();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
  }

  Mesh& mesh_;
  const uint8_t* data_;
  size_t size_;
  TraceWriter trace_;
  const char* name_;
  FILE* diagnostics_;
  size_t pos_ = 0;
  std::vector<size_t> ends_;  // end offsets of the chunks the walk is inside, innermost last
};

}  // namespace

void load3dsFromMemory(Mesh& mesh, const uint8_t* data, size_t size, FILE* trace, const char* name,
                       FILE* diagnostics) {
  Walk(mesh, data, size, trace, name, diagnostics).run();
}

bool load3ds(Mesh& mesh, const char* path, FILE* trace) {
  // Mapped, not read into memory: no file size can make loading run out of memory.
  const FileMapping file(path);
  if (!file.opened()) return false;
  if (file.failure() != nullptr) {
    std::fprintf(stderr, "%s: cannot be read (%s); the model stays empty\n", path, file.failure());
    mesh.vertexCount = 0;
    mesh.faceCount = 0;
    return true;
  }
  load3dsFromMemory(mesh, file.data(), file.size(), trace, path, stderr);
  return true;
}

}  // namespace korvalin
