#pragma once
// What the command made of each face of the file, read from the document after the run.
//
// Every output polygon names, through its UVW corners, the face and corner each of its corners
// came from (see document_mapping.h). The polygon takes the place of the face its first corner came
// from; that face's statement is kept as it was when the polygon is exactly that face, and is
// rewritten from the named corners otherwise (a merge). A face no polygon takes the place of (an
// absorbed partner, a record the command dropped) is removed. The document is checked on the way:
// every corner must name a face of its own object whose vertex is the corner's point, polygons must
// keep the order their faces were handed over in, and no face may feed two polygons; anything else
// is an error, so that nothing is written that the document does not say. Whatever order an object
// was handed over in, the trace is in the file's order, which is the order the result is written in.

#include <cstdint>
#include <string>
#include <vector>

#include "host/mesh/document_mapping.h"
#include "host/mesh/mesh.h"
#include "host/scene/object.h"

namespace fm::host::mesh {

struct RewrittenFace {
  uint32_t face = 0;          // whose statement is rewritten
  uint32_t sourceFace[4] = {0, 0, 0, 0};
  uint8_t sourceCorner[4] = {0, 0, 0, 0};
  uint8_t corners = 0;        // 3 or 4
};

struct FaceTrace {
  std::vector<bool> kept;                // per face of the file: its statement stays (maybe rewritten)
  std::vector<RewrittenFace> rewritten;  // ascending by face
  std::vector<int64_t> polygonsAfter;    // per object
};

// `orders`: what each object was handed over in (see HandOverOrders).
bool TraceFaces(const MeshFile& mesh, const std::vector<PolygonObject*>& objects, FaceTrace& trace,
                std::string& error, const HandOverOrders& orders = {});

}  // namespace fm::host::mesh
