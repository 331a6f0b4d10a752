#pragma once
// The document fmhost hands the command, made from a read mesh file.
//
// Each object of the file becomes a top-level polygon object of the same name: its points are the
// file vertices its faces use (in file order), its polygons its faces in file order. Its one tag is
// a UVW tag that records where each corner came from instead of texture coordinates: corner k of
// the polygon made from face f holds (f, k, 0), f counting the file's faces from 0 (a triangle's d
// repeats its c). The command carries every UVW corner along with its point through merges and
// compaction, so after the run each corner still names the face and corner it came from, and the
// file's own `vt` and `vn` tokens can be written back for it. Groups stay in the text as `g` lines
// and are not made into polygon-selection tags: they follow their faces by position, and the
// command's work per polygon stays independent of how many groups a file has.

#include <string>
#include <vector>

#include "host/mesh/mesh.h"
#include "host/scene/document.h"

namespace fm::host::mesh {

// The UVW corner that names face `face`, corner `corner`.
Vector3 CornerOrigin(uint32_t face, uint32_t corner);

// Per object, the order its polygons are handed over in: entry k is the object's face (counted from
// its first, 0-based) that polygon k is made from. Empty: the file's order. An object may be handed
// over in another order so that the command reads its triangle pairs; the UVW corners still name
// the file's faces, so what the command makes is traced back to the file all the same.
using HandOverOrders = std::vector<std::vector<uint32_t>>;

// Adds one polygon object per mesh object to `document`, in order, and returns them. An object's
// polygons may be made again from `mesh`'s faces by the document's undo records (instead of a copy):
// `mesh` must stay as it is while the document lives.
std::vector<PolygonObject*> AddMeshObjects(const MeshFile& mesh, Document& document);

// Hands `object`, made by AddMeshObjects from `source`, over in `order` instead: its polygons and
// UVW records are put in that order. False, with nothing changed, when `order` is not a
// permutation of the object's faces or the object is no longer as AddMeshObjects made it.
bool HandOverInOrder(const MeshFile& mesh, const MeshObject& source,
                     const std::vector<uint32_t>& order, PolygonObject& object);

// The first way in which `objects` differ from what AddMeshObjects made of `mesh`, handed over in
// `orders` (name, points, polygons, the UVW tag, other tags, the polygon selection), or "" when
// they hold exactly that.
std::string DocumentDifference(const MeshFile& mesh, const std::vector<PolygonObject*>& objects,
                               const HandOverOrders& orders = {});

}  // namespace fm::host::mesh
