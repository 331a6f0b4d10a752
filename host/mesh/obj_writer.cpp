#include "host/mesh/obj_writer.h"

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "host/mesh/input_file.h"
#include "host/mesh/obj_reader.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace fm::host::mesh {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// A line whose last non-blank character is a backslash continues on the next line.
bool Continues(std::string_view line) {
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  return !line.empty() && line.back() == '\\';
}

// The result is rendered in stretches of about kPiece bytes of the text, each starting at a
// rewritten face, two at a time where there are several (the rendering is most of the writer's
// work; the stretches are independent), and handed to the sink in order: each stretch's rewritten
// lines and the short runs of text between them as one block, runs of the text at least kDirect
// long as they are, without a copy. At most kAhead stretches wait rendered, so memory stays a few
// stretches whatever the size of the file. Each rendering thread reads a stretch's piece into a
// buffer of its own (see Text): a megabyte, not more, so that a small file does not pay for fresh
// memory it barely uses.
constexpr size_t kPiece = size_t{1} << 20;
constexpr size_t kDirect = size_t{64} << 10;
constexpr size_t kAhead = 4;
// How far past a stretch's piece its buffer reaches (see Text), for the statements that end there.
constexpr size_t kBeyond = size_t{64} << 10;

// Whether a corner token (`v`, `v/vt`, `v//vn` or `v/vt/vn`) has a texture coordinate ([1]) and a
// normal ([2]), as SplitCorner finds them.
struct CornerForm {
  bool has[3] = {true, false, false};
};

CornerForm FormOf(std::string_view token) {
  // Tokens are a few bytes long: looked through in place.
  size_t slashes[2] = {token.size(), token.size()};
  size_t found = 0;
  for (size_t i = 0; i < token.size() && found < 2; ++i) {
    if (token[i] == '/') slashes[found++] = i;
  }
  CornerForm form;
  if (found == 0) return form;
  form.has[1] = slashes[1] > slashes[0] + 1;
  form.has[2] = found == 2 && slashes[1] + 1 < token.size();
  return form;
}

// The parts of one face statement the writer needs.
struct FaceText {
  std::string_view indent;
  std::string_view separator[4];  // the blanks before each token (the first: after the keyword)
  std::string_view tokens[4];
  CornerForm forms[4];            // of each token
  bool negative[4] = {};          // whether a token has a relative (negative) index
  size_t corners = 0;
  std::string_view tail;     // what follows the last token: blanks, a comment
  std::string_view lineEnd;  // "\n", "\r\n", "\r" or "" at the end of the text
};

#if defined(__SSE2__)
// The usual face statement is one line of "f" and three or four tokens, without indent, comment,
// continuation or CR but one before its LF, that fits in kQuickBytes bytes with its line end.
// Such a line is split from bit masks of its bytes, 64 at a time, rather than byte by byte.
constexpr size_t kQuickBytes = 64;

// Which of 64 bytes are what the split looks for, one bit per byte.
struct ByteKinds {
  uint64_t lf = 0, cr = 0, blank = 0, stop = 0, slash = 0, minus = 0;  // stop: '#' or '\\'
};

// The kinds of the 16 bytes at `bytes`, into bits `shift` on of `kinds`.
inline void Classify(const char* bytes, unsigned shift, ByteKinds& kinds) {
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  const auto bits = [&](__m128i found) {
    return uint64_t{static_cast<uint32_t>(_mm_movemask_epi8(found))} << shift;
  };
  const auto is = [&](char c) { return _mm_cmpeq_epi8(b, _mm_set1_epi8(c)); };
  kinds.lf |= bits(is('\n'));
  kinds.cr |= bits(is('\r'));
  kinds.blank |=
      bits(_mm_or_si128(_mm_or_si128(is(' '), is('\t')), _mm_or_si128(is('\v'), is('\f'))));
  kinds.stop |= bits(_mm_or_si128(is('#'), is('\\')));
  kinds.slash |= bits(is('/'));
  kinds.minus |= bits(is('-'));
}

// Bits `first` to `last` of a word (first <= last < 63).
uint64_t Bits(unsigned first, unsigned last) {
  return ((uint64_t{2} << last) - 1) & ~((uint64_t{1} << first) - 1);
}

// Splits the statement at `offset` if it is a usual one (see above); false leaves it to SplitFace.
bool QuickSplit(std::string_view text, size_t offset, FaceText& out, size_t& end) {
  const char* const data = text.data() + offset;
  const size_t available = text.size() - offset;
  if (available < 2 || data[0] != 'f') return false;
  // Near the end of the text the bytes are looked at in a copy, with zeros after them.
  alignas(16) char copy[kQuickBytes];
  const char* bytes = data;
  if (available < kQuickBytes) {
    std::fill(std::copy(data, data + available, copy), copy + kQuickBytes, '\0');
    bytes = copy;
  }
  // Most face lines end within 32 bytes: the second half is looked at only when they do not.
  ByteKinds kinds;
  Classify(bytes, 0, kinds);
  Classify(bytes + 16, 16, kinds);
  if (kinds.lf == 0) {
    Classify(bytes + 32, 32, kinds);
    Classify(bytes + 48, 48, kinds);
    if (kinds.lf == 0) return false;
  }
  const uint64_t lf = kinds.lf;
  const auto lineEnd = static_cast<unsigned>(__builtin_ctzll(lf));
  const uint64_t line = (uint64_t{1} << lineEnd) - 1;
  unsigned length = lineEnd;
  if (const uint64_t cr = kinds.cr & line; cr != 0) {
    if (cr != uint64_t{1} << (lineEnd - 1)) return false;  // a bare CR ends a line of its own
    length = lineEnd - 1;
  }
  if ((kinds.stop & line) != 0) return false;
  const uint64_t statement = (uint64_t{1} << length) - 1;
  const uint64_t blank = kinds.blank & statement;
  const uint64_t word = ~blank & statement & ~uint64_t{1};
  uint64_t starts = word & ~(word << 1);
  uint64_t lasts = word & ~(word >> 1);
  int corners = 0;
  for (uint64_t left = starts; left != 0 && corners <= 4; left &= left - 1) ++corners;
  if (corners < 3 || corners > 4) return false;
  const uint64_t slashes = kinds.slash & statement;
  const uint64_t minus = kinds.minus & statement;
  unsigned after = 1;  // where the blanks before the next token start
  for (int k = 0; k < corners; ++k) {
    const auto first = static_cast<unsigned>(__builtin_ctzll(starts));
    const auto last = static_cast<unsigned>(__builtin_ctzll(lasts));
    starts &= starts - 1;
    lasts &= lasts - 1;
    out.separator[k] = std::string_view(data + after, first - after);
    out.tokens[k] = std::string_view(data + first, last + 1 - first);
    // The first two slashes give the form, as FormOf reads it.
    const uint64_t inToken = Bits(first, last);
    CornerForm form;
    if (uint64_t s = slashes & inToken; s != 0) {
      const auto one = static_cast<unsigned>(__builtin_ctzll(s));
      s &= s - 1;
      if (s == 0) {
        form.has[1] = one < last;
      } else {
        const auto two = static_cast<unsigned>(__builtin_ctzll(s));
        form.has[1] = two > one + 1;
        form.has[2] = two < last;
      }
    }
    out.forms[k] = form;
    out.negative[k] = (minus & inToken) != 0;
    after = last + 1;
  }
  out.corners = static_cast<size_t>(corners);
  out.indent = std::string_view(data, 0);
  out.tail = std::string_view(data + after, length - after);
  out.lineEnd = std::string_view(data + length, lineEnd + 1 - length);
  end = offset + lineEnd + 1;
  return true;
}
#else
bool QuickSplit(std::string_view, size_t, FaceText&, size_t&) { return false; }
#endif

// Splits the statement at `offset`; `end` is one past it (past its line end). A statement continued
// over several lines is joined into `joined` first, which must then outlive the result.
bool SplitFace(std::string_view text, size_t offset, std::string& joined, FaceText& out,
               size_t& end) {
  if (QuickSplit(text, offset, out, end)) return true;
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
    i = WordEnd(statement, i);
    if (out.corners == 4) return false;
    // The line breaks between a continued statement's tokens cannot be kept on one line.
    out.separator[out.corners] =
        continued ? std::string_view(" ") : statement.substr(blanks, start - blanks);
    const std::string_view token = statement.substr(start, i - start);
    out.forms[out.corners] = FormOf(token);
    out.negative[out.corners] = token.find('-') != std::string_view::npos;
    out.tokens[out.corners++] = token;
  }
  return out.corners >= 3;
}

void AppendNumber(std::string& out, int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// The text as one stretch's rendering reads it. Where the file is given, the stretch's piece (and a
// little beyond) is read from it into a buffer, and what lies in there is read from the buffer
// rather than through the mapping: on some systems a page mapped costs more than copying it does,
// and the reader leaves the face statements unmapped too. The rest, and a statement that runs past
// the buffer's end, is read from the mapping.
class Text {
 public:
  // `buffer`: kept for the next stretch.
  Text(std::string_view text, int descriptor, size_t begin, size_t bytes, std::string& buffer)
      : text_(text), base_(begin) {
    if (descriptor < 0 || begin >= text.size()) return;
    const size_t want = std::min(bytes, text.size() - begin);
    buffer.resize(want);
    if (InputFile::ReadAt(descriptor, begin, buffer.data(), want)) buffered_ = buffer;
  }

  size_t size() const { return text_.size(); }
  char operator[](size_t pos) const {
    return Buffered(pos, 1) ? buffered_[pos - base_] : text_[pos];
  }
  std::string_view substr(size_t pos, size_t count) const {
    return Buffered(pos, count) ? buffered_.substr(pos - base_, count) : text_.substr(pos, count);
  }

  // SplitFace, from the buffer where the statement lies within it.
  bool Split(size_t offset, std::string& joined, FaceText& out, size_t& end) const {
    if (Buffered(offset, 1)) {
      size_t within = 0;
      if (SplitFace(buffered_, offset - base_, joined, out, within) && Whole(within)) {
        end = base_ + within;
        return true;
      }
    }
    return SplitFace(text_, offset, joined, out, end);
  }
  // StatementEnd, likewise.
  size_t EndOfStatement(size_t offset) const {
    if (Buffered(offset, 1)) {
      const size_t within = StatementEnd(buffered_, offset - base_);
      if (Whole(within)) return base_ + within;
    }
    return StatementEnd(text_, offset);
  }

 private:
  bool Buffered(size_t pos, size_t count) const {
    return pos >= base_ && pos - base_ <= buffered_.size() && count <= buffered_.size() - (pos - base_);
  }
  // Whether a statement that the buffer says ends at `within` ends there in the text: short of the
  // text's end, one that reaches the buffer's end may go on beyond it (an LF after a CR, say).
  bool Whole(size_t within) const {
    return within < buffered_.size() || base_ + buffered_.size() == text_.size();
  }

  std::string_view text_;
  size_t base_ = 0;
  std::string_view buffered_;  // the text from base_ on, as read
};

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
// and normal only where asked; `negative`: whether the token has a relative index. A corner moved
// from the statement of face `from` to that of face `to` keeps each negative index where the same
// number of its kind was read before both statements, and gets the absolute index otherwise.
void AppendCorner(std::string& out, std::string_view token, const CornerForm& form, bool negative,
                  const bool keep[3], const MeshFile& mesh, uint32_t from, uint32_t to) {
  // Most corners keep everything they have and mean the same where they go: written as they are.
  const bool whole = (keep[1] || !form.has[1]) && (keep[2] || !form.has[2]);
  if (whole && (from == to || mesh.bases.empty() || !negative)) {
    out.append(token);
    return;
  }
  const CornerParts parts = SplitCorner(token);
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

// One stretch of the result as rendered: runs of `gathered` and of the text, in order.
struct Rendered {
  struct Run {
    bool fromText = false;  // else from `gathered`
    size_t begin = 0;
    size_t size = 0;
  };
  std::string gathered;
  std::vector<Run> runs;
  WriteReport report;
  std::string error;  // set when the stretch could not be rendered
};

// Renders one stretch of the result into a Rendered.
class Writer {
 public:
  // `from`: where in the text the stretch starts.
  Writer(const Text& text, const MeshFile& mesh, Rendered& out, size_t from)
      : text_(text), mesh_(mesh), out_(out), copied_(from),
        last_(from > 0 ? text[from - 1] : '\0') {}

  void CopyTo(size_t end) {
    if (end > copied_) Emit(copied_, end - copied_);
    copied_ = std::max(copied_, end);
  }
  void SkipTo(size_t end) { copied_ = end; }
  void Write(std::string_view piece) {
    Gather(piece);
    last_ = piece.back();
  }
  char LastWritten() const { return last_; }

  // Where the statement of `face` ends, when the last rewritten face took corners from it (a
  // partner that goes is usually one); 0 otherwise.
  size_t KnownEnd(uint32_t face) const {
    for (size_t k = 0; k < splitKnown_; ++k) {
      if (splitFaces_[k] == face) return splitEnds_[k];
    }
    return 0;
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
      if (!text_.Split(mesh_.faces[source].offset, joined_[splitCount], split_[splitCount],
                       sourceEnd)) {
        error = "the face statement of face " + std::to_string(source + 1) +
                " is no longer where it was read";
        return false;
      }
      if (source == face.face) end = sourceEnd;
      splitEnds_[splitCount] = sourceEnd;
      splitFaces[splitCount++] = source;
    }
    std::copy(splitFaces, splitFaces + splitCount, splitFaces_);
    splitKnown_ = splitCount;
    const size_t ownIndex = Which(splitFaces, splitCount, face.face);
    if (ownIndex == splitCount) {
      // Not one of its corners comes from its own statement: its layout is still the one to keep.
      if (!text_.Split(mesh_.faces[face.face].offset, ownJoined_, ownSplit_, end)) {
        error = "the face statement of face " + std::to_string(face.face + 1) +
                " is no longer where it was read";
        return false;
      }
    }
    const FaceText& own = ownIndex == splitCount ? ownSplit_ : split_[ownIndex];
    std::string_view tokens[4];
    CornerForm forms[4];
    bool negative[4] = {};
    bool keep[3] = {true, true, true};
    bool had[3] = {true, false, false};
    for (int k = 0; k < face.corners; ++k) {
      const FaceText& source = split_[Which(splitFaces, splitCount, face.sourceFace[k])];
      if (face.sourceCorner[k] >= source.corners) {
        error = "the face statement of face " + std::to_string(face.sourceFace[k] + 1) +
                " has fewer corners than were read";
        return false;
      }
      tokens[k] = source.tokens[face.sourceCorner[k]];
      forms[k] = source.forms[face.sourceCorner[k]];
      negative[k] = source.negative[face.sourceCorner[k]];
      for (size_t part = 1; part < 3; ++part) {
        keep[part] = keep[part] && forms[k].has[part];
        had[part] = had[part] || forms[k].has[part];
      }
    }
    // Corners from faces of different forms: the merged face has what all of them have.
    out_.report.facesWithoutTexcoords += had[1] && !keep[1];
    out_.report.facesWithoutNormals += had[2] && !keep[2];
    std::string& line = out_.gathered;
    const size_t lineStart = line.size();
    line.append(own.indent);
    line.push_back('f');
    for (int k = 0; k < face.corners; ++k) {
      // The first line's own separators; corners beyond its own take its last one.
      line.append(own.separator[std::min<size_t>(static_cast<size_t>(k), own.corners - 1)]);
      AppendCorner(line, tokens[k], forms[k], negative[k], keep, mesh_, face.sourceFace[k],
                   face.face);
    }
    line.append(own.tail);
    line.append(own.lineEnd);
    last_ = line.back();
    AddRun(false, lineStart, line.size() - lineStart);
    return true;
  }

 private:
  static size_t Which(const uint32_t* faces, size_t count, uint32_t face) {
    return static_cast<size_t>(std::find(faces, faces + count, face) - faces);
  }

  // The text in [begin, begin + size), size > 0.
  void Emit(size_t begin, size_t size) {
    last_ = text_[begin + size - 1];
    if (size >= kDirect) {
      AddRun(true, begin, size);
    } else {
      Gather(text_.substr(begin, size));
    }
  }

  void Gather(std::string_view piece) {
    const size_t begin = out_.gathered.size();
    out_.gathered.append(piece);
    AddRun(false, begin, piece.size());
  }

  // Runs of `gathered` that follow one another are one run.
  void AddRun(bool fromText, size_t begin, size_t size) {
    std::vector<Rendered::Run>& runs = out_.runs;
    if (!fromText && !runs.empty() && !runs.back().fromText) {
      runs.back().size += size;
    } else {
      runs.push_back(Rendered::Run{fromText, begin, size});
    }
  }

  const Text& text_;
  const MeshFile& mesh_;
  Rendered& out_;
  size_t copied_ = 0;
  char last_ = '\0';
  std::string joined_[4];
  FaceText split_[4];
  std::string ownJoined_;
  FaceText ownSplit_;
  uint32_t splitFaces_[4] = {0, 0, 0, 0};
  size_t splitEnds_[4] = {0, 0, 0, 0};
  size_t splitKnown_ = 0;
};

// A stretch of the result: faces [firstFace, endFace), whose changes start at
// trace.rewritten[firstRewritten], and the text [textBegin, textEnd).
struct Stretch {
  size_t firstFace = 0;
  size_t endFace = 0;
  size_t firstRewritten = 0;
  size_t textBegin = 0;
  size_t textEnd = 0;
};

// Stretches of about `pieceBytes` of the text, each but the first starting at a rewritten face,
// whose rendering depends on nothing written before it (what matters of that, the last byte, a
// rewritten face sets itself).
std::vector<Stretch> Stretches(std::string_view text, const MeshFile& mesh, const FaceTrace& trace,
                               size_t pieceBytes, size_t from) {
  std::vector<Stretch> stretches{Stretch{0, 0, 0, from, 0}};
  for (size_t r = 0; r < trace.rewritten.size(); ++r) {
    const size_t f = trace.rewritten[r].face;
    const size_t offset = mesh.faces[f].offset;
    if (offset - stretches.back().textBegin < pieceBytes) continue;
    stretches.back().endFace = f;
    stretches.back().textEnd = offset;
    stretches.push_back(Stretch{f, 0, r, offset, 0});
  }
  stretches.back().endFace = mesh.faces.size();
  stretches.back().textEnd = text.size();
  return stretches;
}

// `descriptor`: the file `text` is, or -1; `buffer`: what the stretch's text is read into.
void Render(std::string_view mapped, const MeshFile& mesh, const FaceTrace& trace,
            const Stretch& stretch, size_t pieceBytes, int descriptor, std::string& buffer,
            Rendered& out) {
  const Text text(mapped, descriptor, stretch.textBegin, pieceBytes + kBeyond, buffer);
  Writer writer(text, mesh, out, stretch.textBegin);
  size_t next = stretch.firstRewritten;
  for (size_t f = stretch.firstFace; f < stretch.endFace; ++f) {
    const bool rewrite = next < trace.rewritten.size() && trace.rewritten[next].face == f;
    if (trace.kept[f] && !rewrite) continue;
    const size_t offset = mesh.faces[f].offset;
    writer.CopyTo(offset);
    size_t end = 0;
    if (rewrite) {
      if (!writer.Rewrite(trace.rewritten[next++], end, out.error)) return;
    } else {
      end = writer.KnownEnd(static_cast<uint32_t>(f));
      if (end == 0) end = text.EndOfStatement(offset);
      // A line ended by a bare CR, then the partner's line, then an empty line: without the
      // partner the CR and the empty line's LF would read as one CR LF, and two lines as one. The
      // empty line keeps its place as a CR LF line instead.
      if (writer.LastWritten() == '\r' && end < text.size() && text[end] == '\n') writer.Write("\r");
    }
    writer.SkipTo(end);
  }
  writer.CopyTo(stretch.textEnd);
}

// Renders stretches on a second thread while the calling one renders and hands them on in order.
class Renderers {
 public:
  Renderers(std::string_view text, const MeshFile& mesh, const FaceTrace& trace,
            const std::vector<Stretch>& stretches, size_t pieceBytes, int descriptor)
      : text_(text), mesh_(mesh), trace_(trace), stretches_(stretches), pieceBytes_(pieceBytes),
        descriptor_(descriptor), rendered_(stretches.size()), done_(stretches.size(), false) {
    if (stretches.size() < 2) return;
    try {
      helper_ = std::thread([this] { Help(); });
    } catch (const std::system_error&) {
      // Without a second thread the calling one renders every stretch.
    }
  }
  ~Renderers() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    if (helper_.joinable()) helper_.join();
  }
  Renderers(const Renderers&) = delete;
  Renderers& operator=(const Renderers&) = delete;

  // Stretch k, rendered; every stretch before it has been let go.
  Rendered& Take(size_t k) {
    std::unique_lock<std::mutex> lock(mutex_);
    taken_ = k;
    changed_.notify_all();
    // While the other thread renders it, the next stretch no one has taken up is rendered here.
    while (!done_[k]) {
      if (claimed_ < stretches_.size() && claimed_ <= k + kAhead) {
        RenderClaimed(lock, takerBuffer_);
      } else {
        changed_.wait(lock);
      }
    }
    return rendered_[k];
  }

  // Stretch k has been handed on: its memory is kept for a later one.
  void Release(size_t k) {
    std::lock_guard<std::mutex> lock(mutex_);
    Rendered& done = rendered_[k];
    done.gathered.clear();
    done.runs.clear();
    done.report = WriteReport{};
    spare_.push_back(std::move(done));
    rendered_[k] = Rendered{};
  }

 private:
  void Help() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (true) {
      changed_.wait(lock, [this] {
        return stop_ || claimed_ >= stretches_.size() || claimed_ <= taken_ + kAhead;
      });
      if (stop_ || claimed_ >= stretches_.size()) return;
      RenderClaimed(lock, helperBuffer_);
    }
  }

  // Renders the next stretch no one has taken up, reading its text into the calling thread's
  // `buffer`; called and returns with the lock held.
  void RenderClaimed(std::unique_lock<std::mutex>& lock, std::string& buffer) {
    const size_t k = claimed_++;
    Rendered out;
    if (!spare_.empty()) {
      out = std::move(spare_.back());
      spare_.pop_back();
    }
    lock.unlock();
    Render(text_, mesh_, trace_, stretches_[k], pieceBytes_, descriptor_, buffer, out);
    lock.lock();
    rendered_[k] = std::move(out);
    done_[k] = true;
    changed_.notify_all();
  }

  std::string_view text_;
  const MeshFile& mesh_;
  const FaceTrace& trace_;
  const std::vector<Stretch>& stretches_;
  size_t pieceBytes_;
  int descriptor_;
  std::string takerBuffer_;   // the calling thread's (Take)
  std::string helperBuffer_;  // the other thread's
  std::vector<Rendered> rendered_;
  std::vector<bool> done_;
  std::vector<Rendered> spare_;
  size_t claimed_ = 0;  // stretches before it are rendered or being rendered
  size_t taken_ = 0;    // the stretch the calling thread waits for or hands on
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread helper_;
};

}  // namespace

bool WriteEditedObj(std::string_view text, const MeshFile& mesh, const FaceTrace& trace,
                    const TextSink& sink, std::string& error, const ProgressCallback& progress,
                    WriteReport* report, size_t pieceBytes, size_t handedOn, int descriptor) {
  if (text.size() != mesh.textSize || trace.kept.size() != mesh.faces.size()) {
    error = "the text is not the one the mesh was read from";
    return false;
  }
  if (handedOn > UnchangedStart(mesh)) {
    error = "more of the text was written ahead than comes before its first face";
    return false;
  }
  if (report != nullptr) *report = WriteReport{};
  if (pieceBytes == 0) pieceBytes = kPiece;
  const std::vector<Stretch> stretches = Stretches(text, mesh, trace, pieceBytes, handedOn);
  Renderers renderers(text, mesh, trace, stretches, pieceBytes, descriptor);
  int reported = -1;
  for (size_t k = 0; k < stretches.size(); ++k) {
    const Rendered& rendered = renderers.Take(k);
    if (!rendered.error.empty()) {
      error = rendered.error;
      return false;
    }
    for (const Rendered::Run& run : rendered.runs) {
      const std::string_view piece = run.fromText ? text.substr(run.begin, run.size)
                                                  : std::string_view(rendered.gathered).substr(
                                                        run.begin, run.size);
      if (!sink(piece)) {
        error = "the result could not be written";
        return false;
      }
    }
    if (report != nullptr) {
      report->facesWithoutTexcoords += rendered.report.facesWithoutTexcoords;
      report->facesWithoutNormals += rendered.report.facesWithoutNormals;
    }
    renderers.Release(k);
    if (progress && !text.empty()) {
      const int percent = static_cast<int>(uint64_t{stretches[k].textEnd} * 100 / text.size());
      if (percent != reported) progress(reported = percent);
    }
  }
  return true;
}

size_t UnchangedStart(const MeshFile& mesh) {
  return mesh.faces.empty() ? mesh.textSize : static_cast<size_t>(mesh.faces.front().offset);
}

}  // namespace fm::host::mesh
