#pragma once
// Reads Wavefront OBJ text into a MeshFile.
//
// What becomes what: each `o` starts an object (faces before the first `o`, or a file without any,
// go to an object named `defaultObjectName`); `f` lines become polygons in file order, a triangle
// with c == d; texture-coordinate indices become per-corner UVW; every `g` name becomes a group of
// the faces that follow it. Indices may be negative (relative to the lines read so far) and positive
// ones may point forward; every index is checked against the whole file.
//
// The reader is strict: a line it cannot read, an index out of range, a face of more than four
// corners (a polygon object cannot hold it) or line and curve elements are errors of the form
// "NAME:LINE: what", and nothing is returned. Things a polygon object has no room for but that do
// not change the polygons (normals, materials, smoothing groups) are dropped with a note.

#include <string>
#include <string_view>

#include "host/mesh/mesh.h"

namespace fm::host::mesh {

// `displayName` prefixes error messages. Returns false and sets `error` on bad input; `out` is only
// written on success.
bool ParseObj(std::string_view text, std::string_view displayName,
              std::string_view defaultObjectName, MeshFile& out, std::string& error);

// Reads the file at `path`; objects of a file without `o` lines are named after the file's stem.
// A missing, unreadable or non-regular file is an error naming the path.
bool ReadObjFile(const std::string& path, MeshFile& out, std::string& error);

}  // namespace fm::host::mesh
