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
#include <functional>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/mesh/input_file.h"
#include "host/mesh/mesh.h"

namespace fm::host::mesh {

// Told once, from the reader's second thread, when that thread has read its last part: only the
// calling thread reads from then on, and the caller may start work of its own on the core left
// idle. `faces`: about how many faces the whole text holds (a little more rather than less). Not
// told when the text is read by one thread, nor when the reading stops at an error first.
using CoreFreed = std::function<void(size_t faces)>;

// `displayName` prefixes error messages. Returns false and sets `error` on bad input; `out` is only
// written on success. `progress`, when given, hears how much of the text has been read. A long
// text is read in parts of about `partBytes` (0: thirty-two parts of a text of 8 MB or more, else
// one), each starting at a line that no continued statement runs over, by two threads at once;
// the result, and the first error, are those of one reading from the start.
bool ParseObj(std::string_view text, std::string_view displayName,
              std::string_view defaultObjectName, MeshFile& out, std::string& error,
              const ProgressCallback& progress = {}, size_t partBytes = 0,
              const CoreFreed& coreFreed = {});

// Opens the file at `path` into `file` and reads it; objects before any `o` line are named after
// the file's stem. A missing, unreadable or non-regular file is an error naming the path.
bool ReadObjFile(const std::string& path, InputFile& file, MeshFile& out, std::string& error,
                 const ProgressCallback& progress = {}, const CoreFreed& coreFreed = {});

// Where the line that starts at `pos` ends: at its LF (also that of a CR LF), at a CR not followed
// by LF, or at the end of the text.
size_t LineEnd(std::string_view text, size_t pos);

// One past the end of the statement that starts at `offset`: past the line end of its last line
// (a line ending in a backslash continues on the next), or the end of the text.
size_t StatementEnd(std::string_view text, size_t offset);

// Where the word that starts at `pos` of a statement ends: at the first blank (space, tab,
// vertical tab, form feed, CR) or '#' from `pos` on, or at the end of the text.
inline size_t WordEnd(std::string_view text, size_t pos) {
  // Words are a few bytes long and end unpredictably: sixteen bytes are looked at at once.
  const char* const data = text.data();
  const size_t size = text.size();
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i hash = _mm_set1_epi8('#');
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i five = _mm_set1_epi8(5);
  for (; pos + 16 <= size; pos += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + pos));
    // Tab, LF, vertical tab, form feed and CR are 9 to 13; LF is not a blank.
    const __m128i fromTab = _mm_sub_epi8(bytes, nine);
    const __m128i control = _mm_and_si128(_mm_cmpgt_epi8(fromTab, _mm_set1_epi8(-1)),
                                          _mm_cmplt_epi8(fromTab, five));
    const __m128i stop = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, hash)),
        _mm_andnot_si128(_mm_cmpeq_epi8(bytes, lf), control));
    const int found = _mm_movemask_epi8(stop);
    if (found != 0) return pos + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(found)));
  }
#endif
  while (pos < size) {
    const char c = data[pos];
    if (c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '#') break;
    ++pos;
  }
  return pos;
}


}  // namespace fm::host::mesh
