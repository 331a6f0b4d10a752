#include "host/mesh/obj_reader.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "host/mesh/printable.h"
#include "host/scene/prepare_memory.h"

namespace fm::host::mesh {
namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

// Texts at least this long are read in kParts parts, by two threads at once.
constexpr size_t kPartsFrom = size_t{8} << 20;
constexpr size_t kParts = 32;
// How far a line is looked for that ends no continued statement, where a part is to start.
constexpr size_t kSplitSearch = size_t{1} << 20;
// How often the second thread tells how far it has come, in bytes.
constexpr size_t kProgressStep = size_t{1} << 18;
constexpr size_t kNoLimit = std::numeric_limits<size_t>::max();
// The buffer the text of a file is read through (see LineAt).
constexpr size_t kWindow = size_t{256} << 10;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

// LineEnd, or with `kNul` the first NUL byte where one comes before the line's end (`nul` says
// which): the reader looks for both in one pass over its text rather than two.
template <bool kNul>
size_t ScanLine(std::string_view text, size_t pos, bool& nul) {
  // The first LF or CR ends the line; a CR followed by an LF ends it at the LF. Lines are short,
  // so the bytes are looked at sixteen at a time in place rather than handed to a search.
  const char* const data = text.data();
  const size_t size = text.size();
  size_t at = pos;
  const auto Stops = [](char c) { return c == '\n' || c == '\r' || (kNul && c == '\0'); };
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i cr = _mm_set1_epi8('\r');
  for (; at + 16 <= size; at += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    __m128i stops = _mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, cr));
    if constexpr (kNul) stops = _mm_or_si128(stops, _mm_cmpeq_epi8(bytes, _mm_setzero_si128()));
    const int found = _mm_movemask_epi8(stops);
    if (found != 0) {
      at += static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(found)));
      break;
    }
  }
#endif
  while (at < size && !Stops(data[at])) ++at;
  nul = kNul && at < size && data[at] == '\0';
  if (at < size && data[at] == '\r' && at + 1 < size && data[at + 1] == '\n') ++at;
  return at;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A line whose last non-blank character is a backslash continues on the next line.
bool Continues(std::string_view line) {
  line = Trim(line);
  return !line.empty() && line.back() == '\\';
}

// Lines numbered the way the reader counts them, up to `end`.
int64_t LineNumberAt(std::string_view text, size_t end) {
  int64_t line = 1;
  for (size_t pos = 0; (pos = LineEnd(text, pos)) < end; ++pos) ++line;
  return line;
}

// The tokens of a statement's arguments; a '#' ends them (the rest of the line is a comment).
class Tokens {
 public:
  explicit Tokens(std::string_view rest) : rest_(rest) {}
  bool Next(std::string_view& token) {
    size_t i = pos_;
    while (i < rest_.size() && IsBlank(rest_[i])) ++i;
    if (i >= rest_.size() || rest_[i] == '#') {
      pos_ = rest_.size();
      return false;
    }
    const size_t start = i;
    i = WordEnd(rest_, i);
    token = rest_.substr(start, i - start);
    pos_ = i;
    return true;
  }
  size_t CountRest() {
    size_t count = 0;
    std::string_view unused;
    while (Next(unused)) ++count;
    return count;
  }

 private:
  std::string_view rest_;
  size_t pos_ = 0;
};

// A plain decimal of at most 15 significant digits ("-2.749985", "12", "0.5") as digits over a
// power of ten: both are exact doubles then, so one division gives the correctly rounded value, the
// same one from_chars gives. Reads from `p` as far as the number goes; false, with nothing decided,
// for every other form (a number that goes on in another form, such as "1e5", is left to the
// caller to see by what follows it).
bool ReadSimpleDecimal(const char*& p, const char* end, double& value) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* i = p;
  const bool negative = i < end && *i == '-';
  i += negative;
  uint64_t digits = 0;
  size_t significant = 0, fractionDigits = 0;
  const char* const integerStart = i;
  for (; i < end && static_cast<unsigned>(*i - '0') <= 9; ++i) {
    digits = digits * 10 + static_cast<unsigned>(*i - '0');
    significant += digits != 0;
  }
  if (i == integerStart) return false;
  if (i < end && *i == '.') {
    for (++i; i < end && static_cast<unsigned>(*i - '0') <= 9; ++i, ++fractionDigits) {
      digits = digits * 10 + static_cast<unsigned>(*i - '0');
      significant += digits != 0;
      if (fractionDigits >= 15) return false;
    }
    if (fractionDigits == 0) return false;
  }
  if (significant > 15) return false;
  const double magnitude = static_cast<double>(digits) / kPowers[fractionDigits];
  value = negative ? -magnitude : magnitude;
  p = i;
  return true;
}

bool ParseSimpleDecimal(std::string_view token, double& value) {
  const char* p = token.data();
  const char* const end = p + token.size();
  double read = 0.0;
  if (!ReadSimpleDecimal(p, end, read) || p != end) return false;
  value = read;
  return true;
}

// Exact decimal-to-binary conversion. Accepts an optional leading '+', which from_chars does not.
bool ParseReal(std::string_view token, double& value) {
  if (ParseSimpleDecimal(token, value)) return true;
  if (!token.empty() && token.front() == '+') {
    token.remove_prefix(1);
    if (!token.empty() && (token.front() == '+' || token.front() == '-')) return false;
  }
  if (token.empty()) return false;
  const char* end = token.data() + token.size();
  auto [ptr, ec] = std::from_chars(token.data(), end, value, std::chars_format::general);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

// Why ParseReal refused `token`: a well-formed number too large (or too small) for a double is
// out of range, anything else is not a number.
const char* RealError(std::string_view token) {
  std::string_view digits = token;
  if (!digits.empty() && digits.front() == '+') {
    digits.remove_prefix(1);
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) return "not a number: ";
  }
  double value = 0.0;
  const char* end = digits.data() + digits.size();
  const auto [ptr, ec] = std::from_chars(digits.data(), end, value, std::chars_format::general);
  return ec == std::errc::result_out_of_range && ptr == end ? "number out of range: "
                                                            : "not a number: ";
}

// A decimal index with an optional sign. Values beyond any count are clamped, so that a huge
// number reads as out of range rather than as not a number.
bool ParseIndex(std::string_view token, int64_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  if (i == token.size()) return false;
  int64_t result = 0;
  for (; i < token.size(); ++i) {
    const unsigned digit = static_cast<unsigned char>(token[i]) - '0';
    if (digit > 9) return false;
    if (result <= (int64_t{1} << 40)) result = result * 10 + digit;
  }
  value = negative ? -result : result;
  return true;
}

// Text files hold no control bytes in a statement's first word; a word that does means the file
// is not OBJ text at all. Any other word (an unknown keyword, one in another script) is a
// statement this reader does not know, which stays in the text as it is.
bool LooksLikeText(std::string_view keyword) {
  for (char c : keyword) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

enum Kind { kVertex, kTexcoord, kNormal, kKinds };
const char* const kKindName[kKinds] = {"vertex", "texture coordinate", "normal"};
const char* const kKindPlural[kKinds] = {"vertices", "texture coordinates", "normals"};

// The largest positive index of one kind and where it was first seen, checked at the end, since a
// positive index may point at lines further down.
struct Highest {
  int64_t index = -1;
  int64_t line = 0;
};

struct BaseRun {
  uint32_t firstFace = 0;
  IndexBase base;
};

// What the reader knows of an object while reading it beyond what MeshObject holds.
struct Opened {
  uint32_t faces = 0;  // all its faces, also those not kept
  LeftObject left;     // left.corners != 0 once it is left out of the document
};

// A statement of the second part whose effect depends on what came before the part (the open
// object, the material in use), kept to be taken over in order after the first part.
struct Event {
  enum Kind { kObject, kMaterial, kLongFace };
  Kind kind = kObject;
  uint32_t beforeFace = 0;  // how many of the part's faces came before it
  int64_t line = 0;         // within the part
  size_t corners = 0;       // of a long face
  std::string name;         // of an object or material
};

class Parser {
 public:
  Parser(std::string_view text, std::string_view displayName, std::string_view defaultObjectName,
         const ProgressCallback& progress)
      : text_(text), displayName_(displayName), defaultObjectName_(defaultObjectName),
        progress_(progress) {}

  // `partBytes`: about how long the parts are that the text is read in (0: thirty-two parts of a
  // long text, one part of a short one). `coreFreed`, when given, hears from the second thread
  // once it has read its last part. `descriptor`: the file the text is, open for reading, or -1.
  bool Run(MeshFile& out, size_t partBytes, const CoreFreed& coreFreed, int descriptor) {
    coreFreed_ = &coreFreed;
    descriptor_ = descriptor;
    windowed_ = descriptor >= 0;
    if (ReadAll(out, partBytes)) return true;
    // A NUL byte anywhere is the one thing said about a text that is no text, whatever else
    // went wrong in it. Every line is looked through as it is read (ReadPart), so a reading that
    // succeeded met none.
    const void* nul = text_.empty() ? nullptr : std::memchr(text_.data(), '\0', text_.size());
    if (nul != nullptr) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(nul) - text_.data());
      return Fail(LineNumberAt(text_, at), "a NUL byte: this is not a text file");
    }
    return false;
  }

  const std::string& error() const { return error_; }

 private:
  bool ReadAll(MeshFile& out, size_t partBytes) {
    pos_ = text_.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    // Parts of a length asked for are all the second thread's but the first, whatever the timing,
    // so that its way of reading is what a test sees.
    const bool secondTakesTheRest = partBytes != 0;
    if (partBytes == 0 && text_.size() >= kPartsFrom) partBytes = text_.size() / kParts;
    // Where each part starts; the last entry is the end of the text.
    std::vector<size_t> starts{pos_};
    for (size_t from = partBytes; partBytes != 0 && from < text_.size();) {
      const size_t start = PartStart(std::max(from, starts.back() + 1));
      if (start >= text_.size()) break;
      starts.push_back(start);
      from = start + partBytes;
    }
    starts.push_back(text_.size());
    const size_t parts = starts.size() - 1;
    if (parts == 1) {
      ReserveForEstimate(0, text_.size(), kWholeSamples);
      return ReadPart(text_.size()) && Finish(out);
    }

    // This thread reads parts from the front, as one reading would, and a second thread reads
    // them from the back, each as far as it can without what came before it; where they meet,
    // this thread takes the second thread's parts over in order. A part the second thread could
    // not read (relative indices) is read here after all.
    //
    // Both write their faces into this thread's face list, which is reserved for the whole text
    // before the second thread starts: this thread from the front, taking room a step at a time,
    // the second thread each part it read under the parts after it, from the back of the room.
    // Where they meet, the second thread's faces are already about where they belong.
    Parts shared(parts);
    shared.front = 1;  // the first part is this thread's
    const Estimate whole = EstimateLines(0, text_.size(), kWholeSamples);
    shared.faces = whole.faces;
    faces_.reserve(whole.faces);
    shared.room = faces_.data();
    shared.secondFrom = faces_.capacity();
    withSecond_ = true;
    std::thread reader;
    try {
      reader = std::thread([&] { ReadFromTheBack(shared, starts); });
      shared_ = &shared;
      roomEnd_ = 0;
      // Steps large enough to be made present in one call, small enough that little room is
      // taken that the second thread could have used.
      roomStep_ = std::clamp<size_t>(faces_.capacity() / 32, 16, size_t{1} << 16);
    } catch (const std::system_error&) {
      // Without a second thread every part is read here.
      MakePresent(faces_.data(), faces_.capacity() * sizeof(Face));
    }
    // Only now, so that the second thread does not wait while a large room is made present.
    ReservePresent(vertices_, whole.vertices);
    const auto Stop = [&] {
      {
        std::lock_guard<std::mutex> lock(shared.mutex);
        shared.stop = true;
      }
      cancelSecond_.store(true, std::memory_order_relaxed);
      if (reader.joinable()) reader.join();
      withSecond_ = false;
      shared_ = nullptr;
      return false;
    };
    size_t part = 0;
    while (true) {
      if (!ReadPart(starts[part + 1])) return Stop();
      std::lock_guard<std::mutex> lock(shared.mutex);
      if (shared.front >= shared.back || (secondTakesTheRest && reader.joinable())) break;
      part = shared.front++;
    }
    if (reader.joinable()) reader.join();
    withSecond_ = false;
    shared_ = nullptr;
    roomEnd_ = kNoLimit;
    // Faces the second thread placed in this list's room move down to this thread's own as they
    // are taken over, each to where it was or before, so that none is written over before it is
    // moved; others are copied in. The room they go to is made present first: as much of the
    // room between the two as they fill, not the rest that the estimate left over.
    if (!shared.moved) {
      const size_t placed = faces_.capacity() - shared.secondFrom;
      const size_t to = std::min(shared.secondFrom, faces_.size() + placed);
      MakePresent(faces_.data() + faces_.size(), (to - faces_.size()) * sizeof(Face));
    }
    for (part = shared.front; part < parts; ++part) {
      Parser& second = *shared.read[part];
      const bool takeOver = CanTakeOver(second);
      if (!shared.moved && (!takeOver || second.placed_ == nullptr)) {
        // What is written here now may go where the parts after it were placed.
        for (size_t after = part + 1; after < parts; ++after) shared.read[after]->TakeBackPlaced();
      }
      if (!takeOver) {
        if (!ReadPart(starts[part + 1])) return false;
      } else if (!TakeOver(second, shared.succeeded[part])) {
        return false;
      }
      pos_ = starts[part + 1];
      shared.read[part].reset();
    }
    return Finish(out);
  }

  bool Fail(int64_t line, const std::string& message) {
    error_ = std::string(displayName_) + ":" + std::to_string(line) + ": " + message;
    failLine_ = line;
    failMessage_ = message;
    return false;
  }

  // The parts of a text read by two threads: [0, front) are the first thread's, [back, count)
  // the second's.
  struct Parts {
    explicit Parts(size_t count) : back(count), read(count), succeeded(count, false) {}
    std::mutex mutex;
    size_t front = 0;
    size_t back;
    bool stop = false;
    std::vector<std::unique_ptr<Parser>> read;  // the second thread's parts, as it read them
    std::vector<bool> succeeded;
    // The room of the first thread's face list: the first thread's faces take [0, firstTo), the
    // second thread's [secondFrom, end of the room).
    Face* room = nullptr;
    size_t firstTo = 0;
    size_t secondFrom = 0;
    // The first thread ran out of room and went on in a list of its own; the room stays here.
    bool moved = false;
    FaceList movedList;
    size_t faces = 0;  // the faces estimated for the whole text
  };

  void ReadFromTheBack(Parts& shared, const std::vector<size_t>& starts) {
    static const ProgressCallback quiet;  // only the first thread tells of progress
    FaceList spare;  // a list a part was read into and placed from, kept for the next part
    std::unique_ptr<char[]> spareWindow;  // the buffer a part was read through, likewise
    while (true) {
      size_t part = 0;
      {
        std::unique_lock<std::mutex> lock(shared.mutex);
        if (shared.stop) return;
        if (shared.back <= shared.front) {
          lock.unlock();
          if (coreFreed_ != nullptr && *coreFreed_) (*coreFreed_)(shared.faces);
          return;
        }
        part = --shared.back;
      }
      auto second = std::make_unique<Parser>(text_, displayName_, defaultObjectName_, quiet);
      second->second_ = true;
      second->pos_ = starts[part];
      second->cancel_ = &cancelSecond_;
      second->reached_ = &secondReached_;
      second->counted_ = starts[part];
      second->descriptor_ = descriptor_;
      second->windowed_ = descriptor_ >= 0;
      second->window_ = std::move(spareWindow);
      second->faces_ = std::move(spare);
      second->faces_.clear();
      second->ReserveForEstimate(starts[part], starts[part + 1], kPartSamples);
      const bool read = second->ReadPart(starts[part + 1]);
      spareWindow = std::move(second->window_);
      if (Face* at = read ? Place(shared, second->faces_) : nullptr; at != nullptr) {
        second->placed_ = at;
        second->placedCount_ = second->faces_.size();
        spare = std::move(second->faces_);
      }
      std::lock_guard<std::mutex> lock(shared.mutex);
      shared.succeeded[part] = read;
      shared.read[part] = std::move(second);
    }
  }

  // Copies a part's faces into the room under the faces of the parts after it, where they fit
  // above the first thread's, and says where; null, copying nothing, where they do not fit.
  static Face* Place(Parts& shared, const FaceList& faces) {
    Face* at = nullptr;
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      if (shared.stop || faces.size() > shared.secondFrom - shared.firstTo) return nullptr;
      shared.secondFrom -= faces.size();
      at = shared.room + shared.secondFrom;
    }
    // The first thread writes only below firstTo, which stays below what was taken here.
    MakePresent(at, faces.size() * sizeof(Face));
    if (!faces.empty()) std::memcpy(at, faces.data(), faces.size() * sizeof(Face));
    return at;
  }

  // Takes more of the room for this thread's faces while the second thread places its parts: a
  // step at a time, and made present as it is taken. Where the two meet before this thread is
  // through (the text was estimated to hold fewer faces), this thread's faces move to a list of
  // their own, and the room is kept as it is for the second thread's.
  void MakeRoom() {
    Parts& shared = *shared_;
    const size_t from = faces_.size();
    size_t to = from;
    {
      std::lock_guard<std::mutex> lock(shared.mutex);
      if (!shared.moved) {
        to = from + std::min(roomStep_, shared.secondFrom - from);
        shared.firstTo = to;
        shared.moved = to == from;
      }
    }
    if (to > from) {
      MakePresent(faces_.data() + from, (to - from) * sizeof(Face));
      roomEnd_ = to;
      return;
    }
    FaceList own;
    own.reserve(2 * faces_.capacity() + roomStep_);
    own.assign(faces_.begin(), faces_.end());
    shared.movedList = std::move(faces_);
    faces_ = std::move(own);
    roomEnd_ = kNoLimit;
  }

  // The faces read of this part: where they were placed, or in its own list.
  std::span<const Face> PartFaces() const {
    if (placed_ != nullptr) return {placed_, placedCount_};
    return {faces_.data(), faces_.size()};
  }

  // Copies the faces of a part placed in the first thread's list back into its own list, before
  // that room is written over.
  void TakeBackPlaced() {
    if (placed_ == nullptr) return;
    faces_.assign(placed_, placed_ + placedCount_);
    placed_ = nullptr;
  }

  // Reads the statements from pos_ up to `end`, a line start. Reading stops, false, at a line with
  // a NUL byte, before its statement (Run says where the text's first one is).
  bool ReadPart(size_t end) {
    std::string joined;
    bool nul = false;
    while (pos_ < end) {
      if (cancel_ != nullptr && cancel_->load(std::memory_order_relaxed)) {
        gaveUp_ = true;
        return false;
      }
      const size_t start = pos_;
      size_t lineEnd = 0;
      std::string_view line = LineAt(pos_, lineEnd, nul);
      if (nul) return false;
      pos_ = lineEnd + 1;
      const int64_t statementLine = ++lines_;
      if (Continues(line)) {
        joined.clear();
        while (true) {
          const std::string_view piece = Trim(line);
          const bool more = Continues(piece) && pos_ < end;
          joined.append(Continues(piece) ? piece.substr(0, piece.size() - 1) : piece);
          if (!more) break;
          joined.push_back(' ');
          line = LineAt(pos_, lineEnd, nul);
          if (nul) return false;
          pos_ = lineEnd + 1;
          ++lines_;
        }
        line = joined;
      }
      if (!Statement(line, statementLine, start)) return false;
      if (reached_ != nullptr && pos_ - counted_ >= kProgressStep) {
        reached_->fetch_add(pos_ - counted_, std::memory_order_relaxed);
        counted_ = pos_;
      }
      if (progress_) {
        // While a second thread reads, its bytes count too; afterwards only this thread's do, so
        // the figure never falls back.
        const size_t done =
            withSecond_ ? pos_ + secondReached_.load(std::memory_order_relaxed) : pos_;
        if (done >= nextReport_) Report(done);
      }
    }
    return true;
  }

  // The line that starts at `pos`, without its line end, and where that ends (or the NUL byte in
  // it), as ScanLine finds them. The text of a file is read through a buffer filled from the file rather than
  // through the mapping: on some systems a page mapped costs more than copying it does, and what is
  // looked at again later (the face statements the writer rewrites) it reads the same way. A line
  // longer than the buffer, or a file that cannot be read, is read from the mapping.
  std::string_view LineAt(size_t pos, size_t& lineEnd, bool& nul) {
    for (int filled = 0; windowed_ && filled < 2; ++filled) {
      if (pos >= windowStart_ && pos < windowStart_ + windowSize_) {
        const std::string_view bytes(window_.get() + (pos - windowStart_),
                                     windowStart_ + windowSize_ - pos);
        const size_t at = ScanLine<true>(bytes, 0, nul);
        // Short of the text's end, a line end in the buffer's last byte may be a CR whose LF is
        // beyond it.
        if (nul || at + 1 < bytes.size() || windowStart_ + windowSize_ == text_.size()) {
          lineEnd = pos + at;
          return bytes.substr(0, at);
        }
      }
      if (filled == 0 && !Fill(pos)) break;
    }
    lineEnd = ScanLine<true>(text_, pos, nul);
    return text_.substr(pos, lineEnd - pos);
  }

  // Fills the buffer with the text from `pos` on; false, reading from the mapping from then on,
  // where the file cannot be read.
  bool Fill(size_t pos) {
    if (window_ == nullptr) window_.reset(new char[kWindow]);
    const size_t want = std::min(kWindow, text_.size() - pos);
    windowed_ = InputFile::ReadAt(descriptor_, pos, window_.get(), want);
    windowStart_ = pos;
    windowSize_ = windowed_ ? want : 0;
    return windowed_;
  }

  // The first line start at or after `from` that no continued statement runs over (the line
  // before it does not end in a backslash); the end of the text when there is none near.
  size_t PartStart(size_t from) const {
    const size_t limit = std::min(text_.size(), from + kSplitSearch);
    for (size_t q = std::max<size_t>(from, 4); q < limit; ++q) {
      const char before = text_[q - 1];
      if (before != '\n' && !(before == '\r' && text_[q] != '\n')) continue;
      size_t lineEnd = q - 1;
      if (before == '\n' && text_[q - 2] == '\r') --lineEnd;
      size_t lineStart = lineEnd;
      while (lineStart > 0 && text_[lineStart - 1] != '\n' && text_[lineStart - 1] != '\r') {
        --lineStart;
      }
      if (!Continues(text_.substr(lineStart, lineEnd - lineStart))) return q;
    }
    return text_.size();
  }

  // Whether the second part's reading can be taken over: it met nothing it needed the first part
  // for, and the counts of both stay within what the reader takes.
  bool CanTakeOver(const Parser& second) const {
    if (second.gaveUp_) return false;
    for (int kind = kVertex; kind < kKinds; ++kind) {
      if (counts_[kind] + second.counts_[kind] > kMaxCount) return false;
    }
    return static_cast<int64_t>(faces_.size() + second.PartFaces().size()) < kMaxCount;
  }

  // Takes the second part's statements over, in order, as if this reader had read them.
  bool TakeOver(Parser& second, bool secondRead) {
    const int64_t lineBase = lines_;
    vertices_.insert(vertices_.end(), second.vertices_.begin(), second.vertices_.end());
    std::vector<Vector3>().swap(second.vertices_);
    const int64_t before[kKinds] = {counts_[kVertex], counts_[kTexcoord], counts_[kNormal]};
    size_t event = 0, run = 0;
    const std::vector<Event>& events = second.events_;
    const std::span<const Face> faces = second.PartFaces();
    for (size_t f = 0;; ++f) {
      for (; event < events.size() && events[event].beforeFace == f; ++event) {
        const Event& e = events[event];
        switch (e.kind) {
          case Event::kObject: OpenObject(e.name, true, lineBase + e.line); break;
          case Event::kMaterial: Material(e.name); break;
          case Event::kLongFace: AddFace(Face{}, e.corners, IndexBase{}, false, lineBase + e.line); break;
        }
      }
      if (f == faces.size()) break;
      const auto Base = [&](size_t face) {
        while (run + 1 < second.baseRuns_.size() && second.baseRuns_[run + 1].firstFace <= face) {
          ++run;
        }
        const IndexBase& local = second.baseRuns_[run].base;
        return IndexBase{static_cast<int32_t>(before[kVertex] + local.vertices),
                         static_cast<int32_t>(before[kTexcoord] + local.texcoords),
                         static_cast<int32_t>(before[kNormal] + local.normals)};
      };
      const Face face = faces[f];  // it may lie where it is added
      AddFace(face, face.corners, Base(f), false, lineBase + second.firstFaceLine_);
      // The faces up to the next event join the same object under the same material: they are
      // taken over as a block, one per stretch of equal counts.
      const size_t until = event < events.size() ? events[event].beforeFace : faces.size();
      Opened& opened = opened_.back();
      opened.faces += static_cast<uint32_t>(until - f - 1);
      if (opened.left.corners != 0) {
        f = until - 1;
        continue;
      }
      MeshObject& object = objects_.back();
      while (f + 1 < until) {
        const size_t from = f + 1;
        const IndexBase base = Base(from);
        const size_t to = run + 1 < second.baseRuns_.size()
                              ? std::min<size_t>(until, second.baseRuns_[run + 1].firstFace)
                              : until;
        if (baseRuns_.back().base != base) {
          baseRuns_.push_back(BaseRun{static_cast<uint32_t>(faces_.size()), base});
        }
        AppendFaces(faces.data() + from, to - from);
        object.faceCount += static_cast<uint32_t>(to - from);
        f = to - 1;
      }
    }
    for (int kind = kVertex; kind < kKinds; ++kind) {
      counts_[kind] += second.counts_[kind];
      if (second.highest_[kind].index > highest_[kind].index) {
        highest_[kind] = {second.highest_[kind].index, lineBase + second.highest_[kind].line};
      }
    }
    for (std::string& name : second.libraries_) libraries_.push_back(std::move(name));
    lines_ += second.lines_;
    if (!secondRead) return Fail(lineBase + second.failLine_, second.failMessage_);
    return true;
  }

  // Appends `count` faces from `from`, which may lie in this list's own room at or after where they
  // go (a part the second thread placed there).
  void AppendFaces(const Face* from, size_t count) {
    const size_t at = faces_.size();
    faces_.resize(at + count);  // leaves them unwritten, and stays in the room where `from` is in it
    std::memmove(faces_.data() + at, from, count * sizeof(Face));
  }

  struct Estimate {
    size_t vertices = 0;
    size_t faces = 0;
  };
  // Samples of a whole text: many small ones rather than a few large ones, since where the vertex
  // lines end and the face lines begin is known only to within their spacing (sixteen put the faces
  // of a 20-million-triangle torus so far short that the list was too small even with the margin).
  static constexpr size_t kWholeSamples = 64;
  // Samples of a part the second thread reads: they only size a list that is kept for the parts
  // after it and grows where it must, and each is read twice.
  static constexpr size_t kPartSamples = 8;

  // Reserves the vertex and face lists for what `samples` samples spread over the text suggest, so
  // that a large file is not copied over and over as they grow.
  void ReserveForEstimate(size_t begin, size_t end, size_t samples) {
    const Estimate estimate = EstimateLines(begin, end, samples);
    ReservePresent(vertices_, estimate.vertices);
    ReservePresent(faces_, estimate.faces);
  }

  // How many vertex and face lines samples spread over the text suggest, a little more rather than
  // less (its vertices usually come first, its faces after them, so the start alone would say
  // nothing about the faces).
  Estimate EstimateLines(size_t begin, size_t end, size_t samples) {
    constexpr size_t kSample = size_t{16} << 10;
    const size_t size = end - begin;
    const size_t step = size <= samples * kSample ? size : size / samples;
    size_t vertexLines = 0, faceLines = 0, sampled = 0;
    for (size_t from = begin; from < end; from += step) {
      std::string_view sample = text_.substr(from, step == size ? step : kSample);
      if (from > begin) {
        // From the first whole line in it.
        const size_t end = LineEnd(sample, 0);
        if (end >= sample.size()) continue;
        sample.remove_prefix(end + 1);
      }
      for (size_t pos = 0; pos < sample.size();) {
        const std::string_view line = sample.substr(pos, LineEnd(sample, pos) - pos);
        vertexLines += line.size() > 2 && line[0] == 'v' && IsBlank(line[1]);
        faceLines += line.size() > 2 && line[0] == 'f' && IsBlank(line[1]);
        pos += line.size() + 1;
      }
      sampled += sample.size();
    }
    const double scale = sampled == 0 ? 0.0 : 1.05 * double(size) / double(sampled);
    return Estimate{static_cast<size_t>(double(vertexLines) * scale) + 16,
                    static_cast<size_t>(double(faceLines) * scale) + 16};
  }

  // `pos`: how many bytes have been read.
  void Report(size_t pos) {
    const int percent = static_cast<int>(std::min<uint64_t>(pos, text_.size()) * 100 /
                                         std::max<size_t>(text_.size(), 1));
    progress_(percent);
    nextReport_ = (static_cast<uint64_t>(percent) + 1) * text_.size() / 100 + 1;
  }

  bool Statement(std::string_view line, int64_t lineNumber, size_t offset) {
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') return true;
    const size_t keywordStart = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    const std::string_view keyword = line.substr(keywordStart, i - keywordStart);
    const std::string_view rest = line.substr(i);
    if (keyword == "f") return FaceLine(rest, lineNumber, offset);
    if (keyword == "v") return VertexLine(rest, lineNumber);
    if (keyword == "vt") return NumbersLine(rest, lineNumber, 1, 3, kTexcoord,
                                            "texture coordinates need one to three numbers");
    if (keyword == "vn") return NumbersLine(rest, lineNumber, 3, 3, kNormal,
                                            "a normal needs three numbers");
    if (keyword == "o") return ObjectLine(Trim(rest), lineNumber);
    if (keyword == "usemtl") MaterialLine(rest);
    if (keyword == "mtllib") {
      Tokens tokens(rest);
      for (std::string_view name; tokens.Next(name);) libraries_.emplace_back(name);
    }
    if (!LooksLikeText(keyword)) {
      return Fail(lineNumber, "not an OBJ statement: " + QuotedToken(keyword));
    }
    // Groups, materials, smoothing groups, lines, points, curves, surfaces and statements this
    // reader does not know give the command nothing to work on: they stay in the text as they are.
    return true;
  }

  // Reads `least` to `most` plain decimals, each followed by a blank or the end, with nothing
  // after them but blanks; false, deciding nothing, for anything else.
  static bool QuickNumbers(std::string_view rest, size_t least, size_t most, double* values) {
    const char* p = rest.data();
    const char* const end = p + rest.size();
    for (size_t k = 0;; ++k) {
      while (p < end && IsBlank(*p)) ++p;
      if (p == end) return k >= least;
      if (k == most || !ReadSimpleDecimal(p, end, values[k]) || (p < end && !IsBlank(*p))) {
        return false;
      }
    }
  }

  bool VertexLine(std::string_view rest, int64_t lineNumber) {
    // Nearly every vertex is three plain decimals; the general reading below gives the same
    // values for them, and reads every other form and finds every error.
    if (double quick[3]; counts_[kVertex] < kMaxCount && QuickNumbers(rest, 3, 3, quick)) {
      vertices_.push_back(Vector3{quick[0], quick[1], quick[2]});
      ++counts_[kVertex];
      return true;
    }
    Tokens tokens(rest);
    std::string_view token;
    double values[6];
    size_t count = 0;
    while (count < 7 && tokens.Next(token)) {
      if (count < 6 && !ParseReal(token, values[count])) {
        return Fail(lineNumber, RealError(token) + QuotedToken(token));
      }
      ++count;
    }
    if (count != 3 && count != 4 && count != 6) {
      return Fail(lineNumber, "a vertex needs three coordinates, optionally followed by a weight "
                              "or by three colour values");
    }
    if (counts_[kVertex] >= kMaxCount) return Fail(lineNumber, "too many vertices");
    vertices_.push_back(Vector3{values[0], values[1], values[2]});
    ++counts_[kVertex];
    return true;
  }

  bool NumbersLine(std::string_view rest, int64_t lineNumber, size_t least, size_t most,
                   Kind kind, const char* wrongCount) {
    if (double quick[3]; counts_[kind] < kMaxCount && most <= 3 &&
                         QuickNumbers(rest, least, most, quick)) {
      ++counts_[kind];
      return true;
    }
    Tokens tokens(rest);
    std::string_view token;
    size_t count = 0;
    double value = 0.0;
    while (count <= most && tokens.Next(token)) {
      if (count < most && !ParseReal(token, value)) {
        return Fail(lineNumber, RealError(token) + QuotedToken(token));
      }
      ++count;
    }
    if (count < least || count > most) return Fail(lineNumber, wrongCount);
    if (counts_[kind] >= kMaxCount) {
      return Fail(lineNumber, std::string("too many ") + kKindPlural[kind]);
    }
    ++counts_[kind];
    return true;
  }

  // Resolves one index of a face corner to a 0-based file index: positive from the start of the
  // file, negative back from the entries read so far.
  bool ResolveIndex(std::string_view token, Kind kind, int64_t lineNumber, int32_t& resolved,
                    bool& relative) {
    int64_t raw = 0;
    if (!ParseIndex(token, raw)) {
      return Fail(lineNumber, std::string("not a ") + kKindName[kind] + " index: " +
                                  QuotedToken(token));
    }
    if (raw == 0) return Fail(lineNumber, std::string(kKindName[kind]) + " index 0 is not allowed");
    if (raw < 0 && second_) {
      // Its meaning depends on the lines before the part.
      gaveUp_ = true;
      return false;
    }
    const int64_t index = raw > 0 ? raw - 1 : counts_[kind] + raw;
    if (index < 0) {
      return Fail(lineNumber, std::string(kKindName[kind]) + " index " + std::to_string(raw) +
                                  " is out of range (" + std::to_string(counts_[kind]) +
                                  " read before this line)");
    }
    if (index >= kMaxCount) {
      return Fail(lineNumber, std::string(kKindName[kind]) + " index " + QuotedToken(token) +
                                  " is out of range");
    }
    if (index >= counts_[kind] && index > highest_[kind].index) highest_[kind] = {index, lineNumber};
    relative = relative || raw < 0;
    resolved = static_cast<int32_t>(index);
    return true;
  }

  // One index of the usual face: a run of digits naming an entry of the file, written before or
  // after the face (kept as the highest such, as the general reading does). False, deciding
  // nothing, for a sign, a zero, no digits or an index beyond what the reader takes.
  bool QuickIndex(const char*& p, const char* end, Kind kind, int64_t lineNumber,
                  int32_t& resolved) {
    const char* i = p;
    uint64_t raw = 0;
    for (; i < end && static_cast<unsigned>(*i - '0') <= 9 && i - p < 11; ++i) {
      raw = raw * 10 + static_cast<unsigned>(*i - '0');
    }
    if (i == p || raw == 0 || raw > static_cast<uint64_t>(kMaxCount)) return false;
    const auto index = static_cast<int64_t>(raw) - 1;
    if (index >= counts_[kind] && index > highest_[kind].index) highest_[kind] = {index, lineNumber};
    resolved = static_cast<int32_t>(index);
    p = i;
    return true;
  }

  // The usual face: three or four corners of positive indices, v, v/vt, v//vn or v/vt/vn alike at
  // every corner, blanks between them and nothing after them. False for anything else, which the
  // general reading then reads from the start (and where it is wrong, says why); of what this
  // decided, only the highest indices noted stay, and the general reading notes the same ones.
  bool QuickFace(std::string_view rest, int64_t lineNumber, Face& face, size_t& corners) {
    const char* p = rest.data();
    const char* const end = p + rest.size();
    int form = -1;
    corners = 0;
    int32_t unused = 0;
    while (true) {
      while (p < end && IsBlank(*p)) ++p;
      if (p == end) break;
      if (corners == 4 || !QuickIndex(p, end, kVertex, lineNumber, face.vertex[corners])) {
        return false;
      }
      int cornerForm = 0;
      if (p < end && *p == '/') {
        ++p;
        if (p < end && *p != '/') {
          if (!QuickIndex(p, end, kTexcoord, lineNumber, unused)) return false;
          cornerForm = 1;
        }
        if (p < end && *p == '/') {
          ++p;
          if (!QuickIndex(p, end, kNormal, lineNumber, unused)) return false;
          cornerForm |= 2;
        } else if (cornerForm == 0) {
          return false;  // a slash with nothing after it
        }
      }
      if ((p < end && !IsBlank(*p)) || (form >= 0 && cornerForm != form)) return false;
      form = cornerForm;
      ++corners;
    }
    return corners >= 3;
  }

  bool FaceLine(std::string_view rest, int64_t lineNumber, size_t offset) {
    Face face;
    face.offset = offset;
    if (size_t quick = 0; QuickFace(rest, lineNumber, face, quick)) {
      return KeepFace(face, quick, lineNumber, false);
    }
    face = Face{};
    face.offset = offset;
    Tokens tokens(rest);
    bool relative = false;
    bool faceHas[kKinds] = {true, false, false};
    std::string_view corner;
    size_t corners = 0;
    while (tokens.Next(corner)) {
      std::string_view parts[3];
      size_t partCount = 0;
      // Split at its slashes byte by byte: a corner is a few bytes long.
      for (size_t i = 0, start = 0;; ++i) {
        if (i < corner.size() && corner[i] != '/') continue;
        if (partCount == 3) return Fail(lineNumber, "malformed face corner " + QuotedToken(corner));
        parts[partCount++] = corner.substr(start, i - start);
        if (i == corner.size()) break;
        start = i + 1;
      }
      // Accepted forms: v, v/vt, v//vn, v/vt/vn.
      if (parts[0].empty() || (partCount == 2 && parts[1].empty()) ||
          (partCount == 3 && parts[2].empty())) {
        return Fail(lineNumber, "malformed face corner " + QuotedToken(corner));
      }
      const bool has[kKinds] = {true, partCount >= 2 && !parts[1].empty(), partCount == 3};
      for (int kind = kTexcoord; kind < kKinds; ++kind) {
        if (corners == 0) faceHas[kind] = has[kind];
        if (has[kind] != faceHas[kind]) {
          return Fail(lineNumber, std::string(kKindPlural[kind]) +
                                      " given for some corners of the face only");
        }
      }
      // Corners past the fourth are checked like the others but not kept: such a face leaves its
      // object out of the document.
      int32_t unused = 0;
      if (!ResolveIndex(parts[0], kVertex, lineNumber, corners < 4 ? face.vertex[corners] : unused,
                        relative)) {
        return false;
      }
      for (int kind = kTexcoord; kind < kKinds; ++kind) {
        if (has[kind] &&
            !ResolveIndex(parts[kind], static_cast<Kind>(kind), lineNumber, unused, relative)) {
          return false;
        }
      }
      ++corners;
    }
    if (corners < 3) return Fail(lineNumber, "a face needs at least three corners");
    return KeepFace(face, corners, lineNumber, relative);
  }

  // A face read, of `corners` corners (the first four in `face`).
  bool KeepFace(Face& face, size_t corners, int64_t lineNumber, bool relative) {
    face.corners = std::min<size_t>(corners, 4);
    if (corners == 3) face.vertex[3] = face.vertex[2];
    const IndexBase base{static_cast<int32_t>(counts_[kVertex]),
                         static_cast<int32_t>(counts_[kTexcoord]),
                         static_cast<int32_t>(counts_[kNormal])};
    if (!second_) return AddFace(face, corners, base, relative, lineNumber);
    // The second part keeps its faces and where its counts change; which object they join, and
    // whether they are kept, is decided when they are taken over.
    if (firstFaceLine_ == 0) firstFaceLine_ = lineNumber;
    if (corners > 4) {
      events_.push_back(Event{Event::kLongFace, static_cast<uint32_t>(faces_.size()), lineNumber,
                              corners, {}});
      return true;
    }
    if (static_cast<int64_t>(faces_.size()) >= kMaxCount) return Fail(lineNumber, "too many faces");
    if (baseRuns_.empty() || baseRuns_.back().base != base) {
      baseRuns_.push_back(BaseRun{static_cast<uint32_t>(faces_.size()), base});
    }
    faces_.push_back(face);
    return true;
  }

  // A face of `corners` corners (more than four: a long face, whose own corners are not kept)
  // joins the open object, or the first object when none is open.
  bool AddFace(const Face& face, size_t corners, const IndexBase& base, bool relative,
               int64_t lineNumber) {
    if (objects_.empty()) OpenObject(defaultObjectName_, false, lineNumber);
    MeshObject& object = objects_.back();
    Opened& opened = opened_.back();
    ++opened.faces;
    if (corners > 4 && opened.left.corners == 0) LeaveObject(object, opened, lineNumber, corners);
    if (opened.left.corners != 0) return true;  // its text is written back as it is

    if (static_cast<int64_t>(faces_.size()) >= kMaxCount) return Fail(lineNumber, "too many faces");
    if (baseRuns_.empty() || baseRuns_.back().base != base) {
      baseRuns_.push_back(BaseRun{static_cast<uint32_t>(faces_.size()), base});
    }
    if (relative && firstRelative_ < 0) firstRelative_ = static_cast<int64_t>(faces_.size());
    if (faces_.size() == roomEnd_) MakeRoom();
    faces_.push_back(face);
    if (materialNamed_) {
      // Faces only ever join the last object, so the last kept face is that object's when it has any.
      if (object.faceCount > 0 && material_ != faceMaterial_) {
        object.materialRuns.push_back(object.faceCount);
      }
      faceMaterial_ = material_;
      materialNamed_ = false;
    }
    ++object.faceCount;
    return true;
  }

  // A `usemtl` that names the material already in use continues its run, as does one undone by
  // another before the next face; the statement itself stays in the text like any other.
  void MaterialLine(std::string_view rest) {
    Tokens tokens(rest);
    std::string_view name;
    tokens.Next(name);
    if (second_) {
      events_.push_back(
          Event{Event::kMaterial, static_cast<uint32_t>(faces_.size()), 0, 0, std::string(name)});
    } else {
      Material(name);
    }
  }

  void Material(std::string_view name) {
    material_.assign(name);
    materialNamed_ = true;
  }

  // A face of more than four corners cannot be held by a polygon object, so its object is kept out
  // of the document altogether rather than handed over in part: the faces it gave so far are taken back.
  void LeaveObject(MeshObject& object, Opened& opened, int64_t lineNumber, size_t corners) {
    opened.left.name = object.name;
    opened.left.line = object.line;
    opened.left.fromObjectLine = object.fromObjectLine;
    opened.left.faceLine = lineNumber;
    opened.left.corners = static_cast<uint32_t>(std::min<size_t>(corners, kMaxCount));
    faces_.resize(object.firstFace);
    object.faceCount = 0;
    object.materialRuns.clear();
    while (!baseRuns_.empty() && baseRuns_.back().firstFace >= object.firstFace) {
      baseRuns_.pop_back();
    }
    if (firstRelative_ >= object.firstFace) firstRelative_ = -1;
  }

  bool ObjectLine(std::string_view name, int64_t lineNumber) {
    if (name.empty()) return Fail(lineNumber, "an object needs a name");
    if (second_) {
      events_.push_back(Event{Event::kObject, static_cast<uint32_t>(faces_.size()), lineNumber, 0,
                              std::string(name)});
    } else {
      OpenObject(name, true, lineNumber);
    }
    return true;
  }

  void OpenObject(std::string_view name, bool fromObjectLine, int64_t lineNumber) {
    MeshObject object;
    object.name = std::string(name);
    object.fromObjectLine = fromObjectLine;
    object.line = lineNumber;
    object.firstFace = static_cast<uint32_t>(faces_.size());
    objects_.push_back(std::move(object));
    opened_.emplace_back();
  }

  // Each object's points: the file vertices its faces use, in file order. `used` holds a bit per
  // file vertex, all clear, and is left so. Where the used vertices are dense in their range, which
  // is the common case and keeps big objects linear, they are read off the bits in order; elsewhere
  // they are gathered and sorted. The list is made once, at its size.
  void CollectPoints(MeshObject& object, std::vector<uint64_t>& used) {
    const Face* const first = faces_.data() + object.firstFace;
    const Face* const last = first + object.faceCount;
    uint32_t lowest = std::numeric_limits<uint32_t>::max(), highest = 0;
    size_t count = 0;
    for (const Face* face = first; face != last; ++face) {
      for (uint32_t k = 0; k < face->corners; ++k) {
        const auto vertex = static_cast<uint32_t>(face->vertex[k]);
        uint64_t& word = used[vertex >> 6];
        const uint64_t bit = uint64_t{1} << (vertex & 63);
        if ((word & bit) != 0) continue;
        word |= bit;
        ++count;
        lowest = std::min(lowest, vertex);
        highest = std::max(highest, vertex);
      }
    }
    if (count == 0) return;
    std::vector<int32_t>& points = object.pointVertex;
    ReservePresent(points, count);
    if (size_t{highest - lowest} + 1 <= 4 * count) {
      for (uint32_t w = lowest >> 6; w <= highest >> 6; ++w) {
        for (uint64_t bits = used[w]; bits != 0; bits &= bits - 1) {
          points.push_back(static_cast<int32_t>(w << 6 | static_cast<uint32_t>(std::countr_zero(bits))));
        }
        used[w] = 0;
      }
      return;
    }
    for (const Face* face = first; face != last; ++face) {
      for (uint32_t k = 0; k < face->corners; ++k) {
        const auto vertex = static_cast<uint32_t>(face->vertex[k]);
        uint64_t& word = used[vertex >> 6];
        const uint64_t bit = uint64_t{1} << (vertex & 63);
        if ((word & bit) == 0) continue;
        word &= ~bit;
        points.push_back(static_cast<int32_t>(vertex));
      }
    }
    std::sort(points.begin(), points.end());
  }

  bool Finish(MeshFile& out) {
    for (int kind = kVertex; kind < kKinds; ++kind) {
      if (highest_[kind].index >= counts_[kind]) {
        return Fail(highest_[kind].line,
                    std::string(kKindName[kind]) + " index " +
                        std::to_string(highest_[kind].index + 1) + " is out of range (the file has " +
                        std::to_string(counts_[kind]) + " " + kKindPlural[kind] + ")");
      }
    }
    MeshFile file;
    std::vector<uint64_t> used((vertices_.size() + 63) / 64, 0);
    for (size_t o = 0; o < objects_.size(); ++o) {
      if (opened_[o].left.corners != 0) {
        opened_[o].left.faceCount = opened_[o].faces;
        opened_[o].left.objectsBefore = static_cast<uint32_t>(file.objects.size());
        file.leftObjects.push_back(std::move(opened_[o].left));
        continue;
      }
      CollectPoints(objects_[o], used);
      file.objects.push_back(std::move(objects_[o]));
    }
    // Relative indices mean what they do by the counts before their face; the writer needs those
    // counts for every face a merged face may take a token from, or be written at.
    if (firstRelative_ >= 0) {
      file.bases.resize(faces_.size());
      for (size_t r = 0; r < baseRuns_.size(); ++r) {
        const size_t end = r + 1 < baseRuns_.size() ? baseRuns_[r + 1].firstFace : faces_.size();
        std::fill(file.bases.begin() + baseRuns_[r].firstFace, file.bases.begin() + end,
                  baseRuns_[r].base);
      }
    }
    file.vertices = std::move(vertices_);
    file.materialLibraries = std::move(libraries_);
    file.texcoordCount = counts_[kTexcoord];
    file.normalCount = counts_[kNormal];
    file.faces = std::move(faces_);
    file.textSize = text_.size();
    out = std::move(file);
    if (progress_) progress_(100);
    return true;
  }

  std::string_view text_;
  std::string_view displayName_;
  std::string_view defaultObjectName_;
  const ProgressCallback& progress_;
  uint64_t nextReport_ = 0;
  std::string error_;
  int64_t counts_[kKinds] = {0, 0, 0};
  Highest highest_[kKinds];
  std::vector<Vector3> vertices_;
  FaceList faces_;
  // The counts before each face, one entry where they change: kept for every file, since only at
  // the end is it known whether any face needs them.
  std::vector<BaseRun> baseRuns_;
  int64_t firstRelative_ = -1;  // the first kept face with a relative index
  std::vector<MeshObject> objects_;
  std::vector<Opened> opened_;  // one per entry of objects_
  std::string material_;      // named by the last `usemtl`; none before the first
  std::string faceMaterial_;  // material_ when the last kept face was read
  bool materialNamed_ = false;  // a `usemtl` came since that face
  std::vector<std::string> libraries_;
  size_t pos_ = 0;     // where the next statement starts
  int64_t lines_ = 0;  // lines read so far (by the second part: since its start)
  int64_t failLine_ = 0;
  std::string failMessage_;
  // Reading a second part: its faces and events wait to be taken over (TakeOver).
  bool second_ = false;
  bool gaveUp_ = false;  // the second part met what it cannot read without the first, or was told to stop
  std::vector<Event> events_;
  int64_t firstFaceLine_ = 0;
  // Where its faces were placed in the first thread's list, if they were (see Place).
  const Face* placed_ = nullptr;
  size_t placedCount_ = 0;
  // Reading while a second thread places its parts in faces_'s room: faces_ may grow up to
  // roomEnd_ before more room is taken (MakeRoom), a step at a time.
  Parts* shared_ = nullptr;
  size_t roomEnd_ = kNoLimit;
  size_t roomStep_ = 0;
  const std::atomic<bool>* cancel_ = nullptr;
  const CoreFreed* coreFreed_ = nullptr;
  // Reading through a buffer (LineAt): the file, the buffer, and which bytes of the text it holds.
  int descriptor_ = -1;
  bool windowed_ = false;
  std::unique_ptr<char[]> window_;
  size_t windowStart_ = 0;
  size_t windowSize_ = 0;
  std::atomic<size_t>* reached_ = nullptr;  // bytes the second thread has read
  size_t counted_ = 0;  // up to where this part's bytes were added to *reached_
  // Reading while a second thread reads other parts: its progress, and whether it must stop.
  bool withSecond_ = false;
  std::atomic<bool> cancelSecond_{false};
  std::atomic<size_t> secondReached_{0};
};

}  // namespace

size_t LineEnd(std::string_view text, size_t pos) {
  bool unused = false;
  return ScanLine<false>(text, pos, unused);
}

size_t StatementEnd(std::string_view text, size_t offset) {
  size_t pos = offset;
  while (pos < text.size()) {
    const size_t end = LineEnd(text, pos);
    const bool more = Continues(text.substr(pos, end - pos));
    pos = end < text.size() ? end + 1 : end;
    if (!more) break;
  }
  return pos;
}

namespace {

// `descriptor`: the file that `text` is, open for reading, or -1.
bool Parse(std::string_view text, int descriptor, std::string_view displayName,
           std::string_view defaultObjectName, MeshFile& out, std::string& error,
           const ProgressCallback& progress, size_t partBytes, const CoreFreed& coreFreed) {
  Parser parser(text, displayName, defaultObjectName, progress);
  if (!parser.Run(out, partBytes, coreFreed, descriptor)) {
    error = parser.error();
    return false;
  }
  return true;
}

}  // namespace

bool ParseObj(std::string_view text, std::string_view displayName,
              std::string_view defaultObjectName, MeshFile& out, std::string& error,
              const ProgressCallback& progress, size_t partBytes, const CoreFreed& coreFreed) {
  return Parse(text, -1, displayName, defaultObjectName, out, error, progress, partBytes,
               coreFreed);
}

bool ReadObjFile(const std::string& path, InputFile& file, MeshFile& out, std::string& error,
                 const ProgressCallback& progress, const CoreFreed& coreFreed) {
  if (!file.Open(path, error)) return false;
  const std::string stem = std::filesystem::path(path).stem().string();
  return Parse(file.Text(), file.Descriptor(), path, stem.empty() ? std::string("object") : stem,
               out, error, progress, 0, coreFreed);
}

}  // namespace fm::host::mesh
