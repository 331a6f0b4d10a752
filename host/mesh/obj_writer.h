#pragma once
// Writes the result: the input text with only the faces the command changed rewritten.
//
// Everything between changed face statements is copied byte for byte. A removed face's statement
// (with its line end) is left out. A rewritten face keeps its statement's indentation, line end and
// trailing comment, and gets one token per corner, each the corner's own token from the face it came
// from, so it keeps its `v/vt/vn` form and its texture coordinate and normal. A token taken from
// another line keeps a negative (relative) index only where that index means the same at the new
// line; elsewhere it is written as the absolute index.

#include <functional>
#include <string>
#include <string_view>

#include "host/mesh/face_trace.h"
#include "host/mesh/mesh.h"

namespace fm::host::mesh {

// Where the written text goes, piece by piece; answering false stops the writer.
using TextSink = std::function<bool(std::string_view piece)>;

// `text` is what `mesh` was read from. False when the sink refused a piece or the text no longer
// holds the face statements the mesh was read from (then `error` says which).
bool WriteEditedObj(std::string_view text, const MeshFile& mesh, const FaceTrace& trace,
                    const TextSink& sink, std::string& error,
                    const ProgressCallback& progress = {});

}  // namespace fm::host::mesh
