#include "host/mesh/obj_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "host/mesh/obj_reader.h"

namespace fm::host::mesh {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// A line whose last non-blank character is a backslash continues on the next line.
bool Continues(std::string_view line) {
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  return !line.empty() && line.back() == '\\';
}

// The result goes to the sink in blocks of about this size: the rewritten lines and short stretches
// of the text between them are gathered, so that a file of millions of changed faces does not take
// millions of calls. Stretches of the text at least kDirect long are handed on as they are, without
// a copy.
constexpr size_t kBlock = size_t{1} << 20;
constexpr size_t kDirect = size_t{64} << 10;

// The parts of one face statement the writer needs.
struct FaceText {
  std::string_view indent;
  std::string_view separator[4];  // the blanks before each token (the first: after the keyword)
  std::string_view tokens[4];
  size_t corners = 0;
  std::string_view tail;     // what follows the last token: blanks, a comment
  std::string_view lineEnd;  // "\n", "\r\n", "\r" or "" at the end of the text
};

// Splits the statement at `offset`; `end` is one past it (past its line end). A statement continued
// over several lines is joined into `joined` first, which must then outlive the result.
bool SplitFace(std::string_view text, size_t offset, std::string& joined, FaceText& out,
               size_t& end) {
  const size_t firstEnd = LineEnd(text, offset);
  std::string_view statement = text.substr(offset, firstEnd - offset);
  bool continued = false;
  if (!Continues(statement)) {
    // One line, the common case: its end is already known, nothing is scanned twice.
    end = firstEnd < text.size() ? firstEnd + 1 : firstEnd;
    out.lineEnd = text.substr(firstEnd, end - firstEnd);
    if (out.lineEnd == "\n" && !statement.empty() && statement.back() == '\r') {
      statement.remove_suffix(1);
      out.lineEnd = text.substr(firstEnd - 1, 2);
    }
  } else {
    end = StatementEnd(text, offset);
    statement = text.substr(offset, end - offset);
    out.lineEnd = {};
    if (!statement.empty() && (statement.back() == '\n' || statement.back() == '\r')) {
      const bool crlf = statement.size() >= 2 && statement.back() == '\n' &&
                        statement[statement.size() - 2] == '\r';
      out.lineEnd = statement.substr(statement.size() - (crlf ? 2 : 1));
      statement.remove_suffix(out.lineEnd.size());
    }
    if (LineEnd(statement, 0) < statement.size()) {
      // Continued lines: drop each backslash and line break, as the reader does.
      joined.clear();
      size_t pos = 0;
      while (pos <= statement.size()) {
        const size_t lineEnd = LineEnd(statement, pos);
        std::string_view line = statement.substr(pos, lineEnd - pos);
        while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
        if (lineEnd < statement.size() && !line.empty() && line.back() == '\\') {
          line.remove_suffix(1);
        }
        if (!joined.empty()) joined.push_back(' ');
        joined.append(line);
        pos = lineEnd + 1;
      }
      // Written on one line, a statement whose comment ran on with backslashes would end in a
      // backslash again and take the line after it along: the comment loses them.
      while (!joined.empty() && (IsBlank(joined.back()) || joined.back() == '\\')) joined.pop_back();
      statement = joined;
      continued = true;
    }
  }
  size_t i = 0;
  while (i < statement.size() && IsBlank(statement[i])) ++i;
  out.indent = statement.substr(0, i);
  if (i >= statement.size() || statement[i] != 'f') return false;
  ++i;
  out.corners = 0;
  out.tail = {};
  while (true) {
    const size_t blanks = i;
    while (i < statement.size() && IsBlank(statement[i])) ++i;
    if (i >= statement.size() || statement[i] == '#') {
      out.tail = statement.substr(blanks);
      break;
    }
    const size_t start = i;
    while (i < statement.size() && !IsBlank(statement[i]) && statement[i] != '#') ++i;
    if (out.corners == 4) return false;
    // The line breaks between a continued statement's tokens cannot be kept on one line.
    out.separator[out.corners] =
        continued ? std::string_view(" ") : statement.substr(blanks, start - blanks);
    out.tokens[out.corners++] = statement.substr(start, i - start);
  }
  return out.corners >= 3;
}

void AppendNumber(std::string& out, int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// The vertex, texture coordinate and normal index of a corner token, as written; absent ones empty.
struct CornerParts {
  std::string_view index[3];
  bool Has(size_t part) const { return !index[part].empty(); }
};

CornerParts SplitCorner(std::string_view token) {
  CornerParts parts;
  size_t part = 0, start = 0;
  while (part < 3) {
    const size_t slash = std::min(token.find('/', start), token.size());
    parts.index[part++] = token.substr(start, slash - start);
    if (slash >= token.size()) break;
    start = slash + 1;
  }
  return parts;
}

// Appends a corner in the form `v`, `v/vt`, `v//vn` or `v/vt/vn`, keeping the texture coordinate
// and normal only where asked. A corner moved from the statement of face `from` to that of face
// `to` keeps each negative index where the same number of its kind was read before both
// statements, and gets the absolute index otherwise.
void AppendCorner(std::string& out, const CornerParts& parts, const bool keep[3],
                  const MeshFile& mesh, uint32_t from, uint32_t to) {
  for (size_t part = 0; part < 3; ++part) {
    if (part > 0) {
      if (!keep[part] || !parts.Has(part)) continue;
      out.append(part == 2 && !(keep[1] && parts.Has(1)) ? "//" : "/");
    }
    const std::string_view index = parts.index[part];
    if (from == to || index.empty() || index.front() != '-' || mesh.bases.empty()) {
      out.append(index);
      continue;
    }
    const IndexBase& a = mesh.bases[from];
    const IndexBase& b = mesh.bases[to];
    const int32_t countFrom = part == 0 ? a.vertices : part == 1 ? a.texcoords : a.normals;
    const int32_t countTo = part == 0 ? b.vertices : part == 1 ? b.texcoords : b.normals;
    int64_t raw = 0;
    std::from_chars(index.data() + 1, index.data() + index.size(), raw);
    if (countFrom == countTo) {
      out.append(index);
    } else {
      AppendNumber(out, countFrom - raw + 1);
    }
  }
}

class Writer {
 public:
  Writer(std::string_view text, const MeshFile& mesh, const TextSink& sink,
         const ProgressCallback& progress, WriteReport* report)
      : text_(text), mesh_(mesh), sink_(sink), progress_(progress), report_(report) {
    gathered_.reserve(kBlock + kBlock / 8);
  }

  bool CopyTo(size_t end) {
    if (end > copied_ && !Emit(text_.substr(copied_, end - copied_))) return false;
    copied_ = std::max(copied_, end);
    if (progress_ && !text_.empty()) {
      const int percent = static_cast<int>(uint64_t{copied_} * 100 / text_.size());
      if (percent != reported_) progress_(reported_ = percent);
    }
    return true;
  }
  void SkipTo(size_t end) { copied_ = end; }
  bool Write(std::string_view piece) { return Emit(piece); }
  char LastWritten() const { return last_; }

  // Hands on what is still gathered.
  bool Flush() {
    if (gathered_.empty()) return true;
    const bool taken = sink_(gathered_);
    gathered_.clear();
    return taken;
  }

  // Rewrites the statement of `face.face` and returns in `end` where that statement ends.
  bool Rewrite(const RewrittenFace& face, size_t& end, std::string& error) {
    // The faces a rewritten statement takes tokens from, split once each.
    uint32_t splitFaces[4];
    size_t splitCount = 0;
    end = 0;
    for (int k = 0; k < face.corners; ++k) {
      const uint32_t source = face.sourceFace[k];
      if (std::find(splitFaces, splitFaces + splitCount, source) != splitFaces + splitCount) continue;
      size_t sourceEnd = 0;
      if (!SplitFace(text_, mesh_.faces[source].offset, joined_[splitCount], split_[splitCount],
                     sourceEnd)) {
        error = "the face statement of face " + std::to_string(source + 1) +
                " is no longer where it was read";
        return false;
      }
      if (source == face.face) end = sourceEnd;
      splitFaces[splitCount++] = source;
    }
    const size_t ownIndex = Which(splitFaces, splitCount, face.face);
    if (ownIndex == splitCount) {
      // Not one of its corners comes from its own statement: its layout is still the one to keep.
      if (!SplitFace(text_, mesh_.faces[face.face].offset, ownJoined_, ownSplit_, end)) {
        error = "the face statement of face " + std::to_string(face.face + 1) +
                " is no longer where it was read";
        return false;
      }
    }
    const FaceText& own = ownIndex == splitCount ? ownSplit_ : split_[ownIndex];
    CornerParts parts[4];
    bool keep[3] = {true, true, true};
    bool had[3] = {true, false, false};
    for (int k = 0; k < face.corners; ++k) {
      const FaceText& source = split_[Which(splitFaces, splitCount, face.sourceFace[k])];
      if (face.sourceCorner[k] >= source.corners) {
        error = "the face statement of face " + std::to_string(face.sourceFace[k] + 1) +
                " has fewer corners than were read";
        return false;
      }
      parts[k] = SplitCorner(source.tokens[face.sourceCorner[k]]);
      for (size_t part = 1; part < 3; ++part) {
        keep[part] = keep[part] && parts[k].Has(part);
        had[part] = had[part] || parts[k].Has(part);
      }
    }
    // Corners from faces of different forms: the merged face has what all of them have.
    if (report_ != nullptr) {
      report_->facesWithoutTexcoords += had[1] && !keep[1];
      report_->facesWithoutNormals += had[2] && !keep[2];
    }
    std::string& line = gathered_;
    line.append(own.indent);
    line.push_back('f');
    for (int k = 0; k < face.corners; ++k) {
      // The first line's own separators; corners beyond its own take its last one.
      line.append(own.separator[std::min<size_t>(static_cast<size_t>(k), own.corners - 1)]);
      AppendCorner(line, parts[k], keep, mesh_, face.sourceFace[k], face.face);
    }
    line.append(own.tail);
    line.append(own.lineEnd);
    last_ = line.back();
    return gathered_.size() < kBlock || Flush();
  }

 private:
  static size_t Which(const uint32_t* faces, size_t count, uint32_t face) {
    return static_cast<size_t>(std::find(faces, faces + count, face) - faces);
  }

  bool Emit(std::string_view piece) {
    if (piece.empty()) return true;
    last_ = piece.back();
    if (piece.size() >= kDirect) return Flush() && sink_(piece);
    gathered_.append(piece);
    return gathered_.size() < kBlock || Flush();
  }

  std::string_view text_;
  const MeshFile& mesh_;
  const TextSink& sink_;
  const ProgressCallback& progress_;
  WriteReport* report_;
  size_t copied_ = 0;
  char last_ = '\0';
  int reported_ = -1;
  std::string joined_[4];
  FaceText split_[4];
  std::string ownJoined_;
  FaceText ownSplit_;
  std::string gathered_;
};

}  // namespace

bool WriteEditedObj(std::string_view text, const MeshFile& mesh, const FaceTrace& trace,
                    const TextSink& sink, std::string& error, const ProgressCallback& progress,
                    WriteReport* report) {
  if (text.size() != mesh.textSize || trace.kept.size() != mesh.faces.size()) {
    error = "the text is not the one the mesh was read from";
    return false;
  }
  if (report != nullptr) *report = WriteReport{};
  Writer writer(text, mesh, sink, progress, report);
  size_t next = 0;  // into trace.rewritten
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    const bool rewrite = next < trace.rewritten.size() && trace.rewritten[next].face == f;
    if (trace.kept[f] && !rewrite) continue;
    const size_t offset = mesh.faces[f].offset;
    if (!writer.CopyTo(offset)) {
      error = "the result could not be written";
      return false;
    }
    size_t end = 0;
    if (rewrite) {
      if (!writer.Rewrite(trace.rewritten[next++], end, error)) {
        if (error.empty()) error = "the result could not be written";
        return false;
      }
    } else {
      end = StatementEnd(text, offset);
      // A line ended by a bare CR, then the partner's line, then an empty line: without the
      // partner the CR and the empty line's LF would read as one CR LF, and two lines as one. The
      // empty line keeps its place as a CR LF line instead.
      if (writer.LastWritten() == '\r' && end < text.size() && text[end] == '\n' &&
          !writer.Write("\r")) {
        error = "the result could not be written";
        return false;
      }
    }
    writer.SkipTo(end);
  }
  if (!writer.CopyTo(text.size()) || !writer.Flush()) {
    error = "the result could not be written";
    return false;
  }
  return true;
}

}  // namespace fm::host::mesh
