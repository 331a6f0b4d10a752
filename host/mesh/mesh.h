#pragma once
// What fmhost keeps of an OBJ file between reading it and writing the result.
//
// The result is the input text with only the merged faces changed, so the text itself stays the
// source of everything that is written back: this form holds just enough to build the document
// (vertex positions, each face's vertices, which faces belong to which object) and to find each
// face statement in the text again. Nothing here is per line of text except the faces.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/scene/records.h"

namespace fm::host::mesh {

// The host's own point record, so that an object of the document can hold the file's vertices as
// they were read, without a copy.
using Vector3 = fm::host::Vector3;

// One `f` statement.
struct Face {
  int32_t vertex[4] = {0, 0, 0, 0};  // 0-based file vertex indices; a triangle repeats its third
  uint64_t offset : 60 = 0;          // where the statement's first line starts in the text
  uint64_t corners : 4 = 0;          // 3 or 4, as written
  bool IsTriangle() const { return corners == 3; }
};
static_assert(sizeof(Face) == 24);

// An allocator whose lists leave the elements a resize adds unwritten, for plain records that are
// copied in right after: the reader grows its face list over faces a second thread has already put
// in the list's spare room.
template <typename T>
struct UnwrittenAllocator : std::allocator<T> {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  template <typename U>
  struct rebind {
    using other = UnwrittenAllocator<U>;
  };
  UnwrittenAllocator() = default;
  template <typename U>
  UnwrittenAllocator(const UnwrittenAllocator<U>&) noexcept {}
  template <typename U>
  void construct(U*) noexcept {}
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }
};

using FaceList = std::vector<Face, UnwrittenAllocator<Face>>;

// How many `v`, `vt` and `vn` lines came before a face statement. Only kept when the file uses
// negative (relative) indices, whose meaning depends on it.
struct IndexBase {
  int32_t vertices = 0;
  int32_t texcoords = 0;
  int32_t normals = 0;
  friend bool operator==(const IndexBase&, const IndexBase&) = default;
};

struct MeshObject {
  std::string name;
  bool fromObjectLine = false;  // false: the faces before any `o` line, named after the file
  int64_t line = 0;             // of its `o` line, or of its first face
  uint32_t firstFace = 0;       // its faces are faces[firstFace, firstFace + faceCount)
  uint32_t faceCount = 0;
  // File vertex (0-based) of each of the object's points, ascending: points keep the file's order.
  std::vector<int32_t> pointVertex;
  // Where each material run after the first begins, as an index into the object's faces
  // (ascending, never 0). A run is a stretch of the object's faces under one `usemtl` name; tools
  // that group faces by material write each run's triangles in their own order, so the triangle
  // order is read per run.
  std::vector<uint32_t> materialRuns;
  friend bool operator==(const MeshObject&, const MeshObject&) = default;
};

// An object kept out of the document, because it has a face of more than four corners that a
// polygon object cannot hold. None of its faces are in MeshFile::faces, so the writer copies all of
// them as they are.
struct LeftObject {
  std::string name;
  bool fromObjectLine = false;
  int64_t line = 0;            // of its `o` line, or of its first face
  int64_t faceLine = 0;        // of its first face of more than four corners
  uint32_t corners = 0;        // that face's corner count
  uint32_t faceCount = 0;      // all its faces
  uint32_t objectsBefore = 0;  // how many of MeshFile::objects come before it in the file
  friend bool operator==(const LeftObject&, const LeftObject&) = default;
};

struct MeshFile {
  std::vector<Vector3> vertices;  // positions of the `v` lines, in order
  int64_t texcoordCount = 0;
  int64_t normalCount = 0;
  FaceList faces;                   // every `f` statement, in file order
  std::vector<MeshObject> objects;  // in file order; their face ranges follow one another
  std::vector<LeftObject> leftObjects;  // in file order
  // Empty when no face uses a negative index; otherwise one entry per face, and entries before the
  // first such face are not used.
  std::vector<IndexBase> bases;
  // The names on the `mtllib` statements, in order (libraries are found beside the file).
  std::vector<std::string> materialLibraries;
  // Byte length of the text this was read from (the offsets of `faces` point into it).
  uint64_t textSize = 0;
};

// Told how far a long read or write has come, in percent; called only when the figure changes.
using ProgressCallback = std::function<void(int percent)>;

}  // namespace fm::host::mesh
