#pragma once
// Moves a mesh between the plain model and a host document: each mesh object becomes a top-level
// polygon object of the same name, its polygons in order, its texture coordinates a UVW tag (only
// when it has any), each group a polygon-selection tag of that name. Points keep the mesh order.

#include <string>
#include <vector>

#include "host/mesh/mesh.h"
#include "host/scene/document.h"

namespace fm::host::mesh {

// Appends the objects of `mesh` to `document` as top-level objects, in order, and hands them back
// (same order as mesh.objects).
std::vector<PolygonObject*> AddMeshObjects(const MeshFile& mesh, Document& document);

// Reads the polygons, the texture coordinates of the first UVW tag and every polygon-selection tag
// of `objects` back into `mesh.objects` (one object each, same order). The points must still be
// the ones AddMeshObjects gave, in number: the file's vertex list is written from them. False with
// `error` set otherwise; `mesh` is left untouched then.
bool TakeMeshObjects(const std::vector<PolygonObject*>& objects, MeshFile& mesh,
                     std::string& error);

}  // namespace fm::host::mesh
