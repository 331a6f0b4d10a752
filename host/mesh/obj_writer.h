#pragma once
// Writes the result: the input text with only the faces the command changed rewritten.
//
// Everything between changed face statements is copied byte for byte. A removed face's statement
// (with its line end) is left out. A rewritten face keeps its statement's indentation, separators,
// what follows its last corner (blanks, a comment) and line end, and gets one token per corner, each
// the corner's own token from the face it came from, so it keeps its texture coordinate and normal.
// Where its corners come from faces of different forms, it is written in the form all of them
// share (a corner `1/2/3` next to one `4//6` is written `1//3`). A token taken from another line
// keeps a negative (relative) index where that index means the same at the new line; elsewhere it
// is written as the absolute index.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "host/mesh/face_trace.h"
#include "host/mesh/mesh.h"

namespace fm::host::mesh {

// Where the written text goes, piece by piece; answering false stops the writer.
using TextSink = std::function<bool(std::string_view piece)>;

// Rewritten faces that had to leave out what only some of their corners carry.
struct WriteReport {
  int64_t facesWithoutTexcoords = 0;
  int64_t facesWithoutNormals = 0;
};

// `text` is what `mesh` was read from. False when the sink refused a piece or the text no longer
// holds the face statements the mesh was read from (then `error` says which). The result is
// rendered in stretches of about `pieceBytes` of the text (0: the writer's own choice, a few
// megabytes), on two threads where there are several; the sink always hears it in order, on the
// calling thread, and so does `progress`. `handedOn`: how much of the text, at most its
// UnchangedStart, the sink has already been given; the result goes on from there. `descriptor`:
// the file `text` is, open for reading, or -1; the statements the writer looks at are then read
// from it rather than from `text` where it can.
bool WriteEditedObj(std::string_view text, const MeshFile& mesh, const FaceTrace& trace,
                    const TextSink& sink, std::string& error,
                    const ProgressCallback& progress = {}, WriteReport* report = nullptr,
                    size_t pieceBytes = 0, size_t handedOn = 0, int descriptor = -1);

// How much of the text comes before its first face statement (all of it when it has none): the
// result starts with it unchanged whatever the command did, so it can be written before the
// command has run.
size_t UnchangedStart(const MeshFile& mesh);

}  // namespace fm::host::mesh
