#pragma once
// Reads Wavefront OBJ text into a MeshFile.
//
// What becomes what: each `o` starts an object (faces before the first `o` go to an object named
// `defaultObjectName`; a file without faces and without `o` lines has no objects); `f` statements
// become the objects' faces in file order. Indices may be negative (relative to the lines read so
// far) and positive ones may point forward; every index is checked against the whole file.
// Everything else (`vt` and `vn` values, groups, materials, smoothing groups, lines, points,
// curves, surfaces, comments, statements this reader does not know) is left in the text, which the
// writer copies back unchanged; the values of `v`, `vt` and `vn` lines are still checked. An object
// with a face of more than four corners, which a polygon object cannot hold, is left out of the
// objects and listed in `leftObjects`: its faces are checked but not kept, so its text stays as it
// is. Faces of one object may differ in whether they carry texture coordinates or normals. `usemtl`
// names, though left in the text too, split each object's faces into material runs.
// Lines end in LF, CR LF or CR alone.
//
// The reader is strict about what it must understand: a line it cannot read, an index out of range,
// a face whose corners differ in form, a statement whose first word holds control bytes, NUL bytes:
// each is an error of the form "NAME:LINE: what", and nothing is returned. The time it takes is
// linear in the size of the text, whatever its shape.

#include <cstddef>
#include <string>
#include <string_view>

#include "host/mesh/input_file.h"
#include "host/mesh/mesh.h"

namespace fm::host::mesh {

// `displayName` prefixes error messages. Returns false and sets `error` on bad input; `out` is only
// written on success. `progress`, when given, hears how much of the text has been read. A long
// text is read in parts of about `partBytes` (0: sixteen parts of a text of 8 MB or more, else
// one), each starting at a line that no continued statement runs over, by two threads at once;
// the result, and the first error, are those of one reading from the start.
bool ParseObj(std::string_view text, std::string_view displayName,
              std::string_view defaultObjectName, MeshFile& out, std::string& error,
              const ProgressCallback& progress = {}, size_t partBytes = 0);

// Opens the file at `path` into `file` and reads it; objects before any `o` line are named after
// the file's stem. A missing, unreadable or non-regular file is an error naming the path.
bool ReadObjFile(const std::string& path, InputFile& file, MeshFile& out, std::string& error,
                 const ProgressCallback& progress = {});

// Where the line that starts at `pos` ends: at its LF (also that of a CR LF), at a CR not followed
// by LF, or at the end of the text.
size_t LineEnd(std::string_view text, size_t pos);

// One past the end of the statement that starts at `offset`: past the line end of its last line
// (a line ending in a backslash continues on the next), or the end of the text.
size_t StatementEnd(std::string_view text, size_t offset);

}  // namespace fm::host::mesh
