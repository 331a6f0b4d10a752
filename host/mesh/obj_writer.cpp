#include "host/mesh/obj_writer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include "host/mesh/obj_reader.h"

namespace fm::host::mesh {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// The parts of one face statement the writer needs.
struct FaceText {
  std::string_view indent;
  std::string_view tokens[4];
  size_t corners = 0;
  std::string_view comment;  // from its '#', trailing blanks removed; empty when none
  std::string_view lineEnd;  // "\n", "\r\n" or "" at the end of the text
};

// Splits the statement at `offset`. A statement continued over several lines is joined into
// `joined` first, which must then outlive the result.
bool SplitFace(std::string_view text, size_t offset, std::string& joined, FaceText& out) {
  const size_t end = StatementEnd(text, offset);
  std::string_view statement = text.substr(offset, end - offset);
  out.lineEnd = {};
  if (!statement.empty() && statement.back() == '\n') {
    const bool crlf = statement.size() >= 2 && statement[statement.size() - 2] == '\r';
    out.lineEnd = statement.substr(statement.size() - (crlf ? 2 : 1));
    statement.remove_suffix(out.lineEnd.size());
  }
  if (statement.find('\n') != std::string_view::npos) {
    // Continued lines: drop each backslash and line break, as the reader does.
    joined.clear();
    size_t pos = 0;
    while (pos <= statement.size()) {
      size_t lineEnd = statement.find('\n', pos);
      if (lineEnd == std::string_view::npos) lineEnd = statement.size();
      std::string_view line = statement.substr(pos, lineEnd - pos);
      while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
      if (lineEnd < statement.size() && !line.empty() && line.back() == '\\') line.remove_suffix(1);
      if (!joined.empty()) joined.push_back(' ');
      joined.append(line);
      pos = lineEnd + 1;
    }
    statement = joined;
  }
  size_t i = 0;
  while (i < statement.size() && IsBlank(statement[i])) ++i;
  out.indent = statement.substr(0, i);
  if (i >= statement.size() || statement[i] != 'f') return false;
  ++i;
  out.corners = 0;
  out.comment = {};
  while (true) {
    while (i < statement.size() && IsBlank(statement[i])) ++i;
    if (i >= statement.size()) break;
    if (statement[i] == '#') {
      std::string_view comment = statement.substr(i);
      while (!comment.empty() && IsBlank(comment.back())) comment.remove_suffix(1);
      out.comment = comment;
      break;
    }
    const size_t start = i;
    while (i < statement.size() && !IsBlank(statement[i]) && statement[i] != '#') ++i;
    if (out.corners == 4) return false;
    out.tokens[out.corners++] = statement.substr(start, i - start);
  }
  return out.corners >= 3;
}

void AppendNumber(std::string& out, int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// A corner token moved from the statement of face `from` to that of face `to`: each negative index
// is kept where the same number of its kind was read before both statements, and made absolute
// otherwise.
void AppendMovedToken(std::string& out, std::string_view token, const MeshFile& mesh,
                      uint32_t from, uint32_t to) {
  size_t part = 0, start = 0;
  while (true) {
    const size_t slash = std::min(token.find('/', start), token.size());
    const std::string_view index = token.substr(start, slash - start);
    if (!index.empty() && index.front() == '-' && !mesh.bases.empty()) {
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
    } else {
      out.append(index);
    }
    if (slash >= token.size()) break;
    out.push_back('/');
    start = slash + 1;
    ++part;
  }
}

class Writer {
 public:
  Writer(std::string_view text, const MeshFile& mesh, const TextSink& sink,
         const ProgressCallback& progress)
      : text_(text), mesh_(mesh), sink_(sink), progress_(progress) {}

  bool CopyTo(size_t end) {
    if (end > copied_ && !sink_(text_.substr(copied_, end - copied_))) return false;
    copied_ = std::max(copied_, end);
    if (progress_ && !text_.empty()) {
      const int percent = static_cast<int>(uint64_t{copied_} * 100 / text_.size());
      if (percent != reported_) progress_(reported_ = percent);
    }
    return true;
  }
  void SkipTo(size_t end) { copied_ = end; }

  bool Rewrite(const RewrittenFace& face, std::string& error) {
    // The faces a rewritten statement takes tokens from, split once each.
    uint32_t splitFaces[4];
    size_t splitCount = 0;
    for (int k = 0; k < face.corners; ++k) {
      const uint32_t source = face.sourceFace[k];
      if (std::find(splitFaces, splitFaces + splitCount, source) != splitFaces + splitCount) continue;
      if (!SplitFace(text_, mesh_.faces[source].offset, joined_[splitCount], split_[splitCount])) {
        error = "the face statement of face " + std::to_string(source + 1) +
                " is no longer where it was read";
        return false;
      }
      splitFaces[splitCount++] = source;
    }
    const FaceText& own = split_[std::find(splitFaces, splitFaces + splitCount, face.face) -
                                 splitFaces];
    line_.assign(own.indent);
    line_.push_back('f');
    for (int k = 0; k < face.corners; ++k) {
      const size_t which =
          static_cast<size_t>(std::find(splitFaces, splitFaces + splitCount, face.sourceFace[k]) -
                              splitFaces);
      const FaceText& source = split_[which];
      if (face.sourceCorner[k] >= source.corners) {
        error = "the face statement of face " + std::to_string(face.sourceFace[k] + 1) +
                " has fewer corners than were read";
        return false;
      }
      line_.push_back(' ');
      const std::string_view token = source.tokens[face.sourceCorner[k]];
      if (face.sourceFace[k] == face.face) {
        line_.append(token);
      } else {
        AppendMovedToken(line_, token, mesh_, face.sourceFace[k], face.face);
      }
    }
    if (!own.comment.empty()) {
      line_.push_back(' ');
      line_.append(own.comment);
    }
    line_.append(own.lineEnd);
    return sink_(line_);
  }

 private:
  std::string_view text_;
  const MeshFile& mesh_;
  const TextSink& sink_;
  const ProgressCallback& progress_;
  size_t copied_ = 0;
  int reported_ = -1;
  std::string joined_[4];
  FaceText split_[4];
  std::string line_;
};

}  // namespace

bool WriteEditedObj(std::string_view text, const MeshFile& mesh, const FaceTrace& trace,
                    const TextSink& sink, std::string& error, const ProgressCallback& progress) {
  if (text.size() != mesh.textSize || trace.kept.size() != mesh.faces.size()) {
    error = "the text is not the one the mesh was read from";
    return false;
  }
  Writer writer(text, mesh, sink, progress);
  size_t next = 0;  // into trace.rewritten
  for (size_t f = 0; f < mesh.faces.size(); ++f) {
    const bool rewrite = next < trace.rewritten.size() && trace.rewritten[next].face == f;
    if (trace.kept[f] && !rewrite) continue;
    const size_t offset = mesh.faces[f].offset;
    if (!writer.CopyTo(offset)) {
      error = "the result could not be written";
      return false;
    }
    if (rewrite) {
      if (!writer.Rewrite(trace.rewritten[next++], error)) {
        if (error.empty()) error = "the result could not be written";
        return false;
      }
    }
    writer.SkipTo(StatementEnd(text, offset));
  }
  if (!writer.CopyTo(text.size())) {
    error = "the result could not be written";
    return false;
  }
  return true;
}

}  // namespace fm::host::mesh
