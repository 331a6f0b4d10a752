#pragma once
// Writes a MeshFile as Wavefront OBJ text, the inverse of the reader's mapping: the file's vertex
// list in its order (positions taken from the objects' points), its texture coordinates followed by
// any corner values the list does not hold yet, then per object an `o` line and its polygons as
// faces of three corners (c == d) or four, with `g` lines wherever the set of groups changes.
// Numbers are written in the shortest form that reads back as the same double.

#include <string>

#include "host/mesh/mesh.h"

namespace fm::host::mesh {

// False with `error` set when the mesh is inconsistent (a point, polygon or texture index out of
// range, a UVW list of the wrong length); `out` is left untouched then.
bool FormatObj(const MeshFile& mesh, std::string& out, std::string& error);

}  // namespace fm::host::mesh
