#include "host/mesh/obj_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <system_error>
#include <vector>

namespace fm::host::mesh {
namespace {

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::vector<std::string_view> SplitBlanks(std::string_view s) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    size_t start = i;
    while (i < s.size() && !IsBlank(s[i])) ++i;
    if (i > start) tokens.push_back(s.substr(start, i - start));
  }
  return tokens;
}

// Exact decimal-to-binary conversion, so that writing a value back gives the text's value again.
// Accepts an optional leading '+', which from_chars does not.
bool ParseReal(std::string_view token, double& value) {
  if (!token.empty() && token.front() == '+') {
    token.remove_prefix(1);
    if (!token.empty() && (token.front() == '+' || token.front() == '-')) return false;
  }
  if (token.empty()) return false;
  const char* end = token.data() + token.size();
  auto [ptr, ec] = std::from_chars(token.data(), end, value, std::chars_format::general);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool ParseInteger(std::string_view token, int64_t& value) {
  if (!token.empty() && token.front() == '+') {
    token.remove_prefix(1);
    if (!token.empty() && token.front() == '-') return false;
  }
  if (token.empty()) return false;
  const char* end = token.data() + token.size();
  auto [ptr, ec] = std::from_chars(token.data(), end, value);
  return ec == std::errc() && ptr == end;
}

std::string Quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

constexpr int32_t kNoTexcoord = -1;

// One `f` line, its indices already resolved to 0-based file indices (positive ones not yet checked
// against the final counts, since they may point forward).
struct PendingFace {
  int32_t vertex[4];
  int32_t texcoord[4];  // kNoTexcoord when the face has none
  uint8_t corners;
  uint32_t groupSet;    // index into Parser::groupSets_
  int64_t line;
};

struct PendingObject {
  std::string name;
  std::vector<PendingFace> faces;
};

// Statements that only describe rendering or free-form geometry attributes; they carry no polygon.
enum class Kind { kDropped, kUnsupportedElement };

const std::map<std::string_view, std::pair<Kind, const char*>>& OtherStatements() {
  static const std::map<std::string_view, std::pair<Kind, const char*>> table = {
      {"vn", {Kind::kDropped, "normals are not kept: a polygon object holds none"}},
      {"usemtl", {Kind::kDropped, "materials are not kept"}},
      {"mtllib", {Kind::kDropped, "materials are not kept"}},
      {"s", {Kind::kDropped, "smoothing groups are not kept"}},
      {"mg", {Kind::kDropped, "merging groups are not kept"}},
      {"bevel", {Kind::kDropped, "display and render attributes are not kept"}},
      {"c_interp", {Kind::kDropped, "display and render attributes are not kept"}},
      {"d_interp", {Kind::kDropped, "display and render attributes are not kept"}},
      {"lod", {Kind::kDropped, "display and render attributes are not kept"}},
      {"shadow_obj", {Kind::kDropped, "display and render attributes are not kept"}},
      {"trace_obj", {Kind::kDropped, "display and render attributes are not kept"}},
      {"ctech", {Kind::kDropped, "display and render attributes are not kept"}},
      {"stech", {Kind::kDropped, "display and render attributes are not kept"}},
      {"maplib", {Kind::kDropped, "display and render attributes are not kept"}},
      {"usemap", {Kind::kDropped, "display and render attributes are not kept"}},
      {"vp", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"cstype", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"deg", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"bmat", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"step", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"parm", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"trim", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"hole", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"scrv", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"sp", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"end", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"con", {Kind::kDropped, "free-form geometry data is not kept"}},
      {"p", {Kind::kUnsupportedElement, "point elements"}},
      {"l", {Kind::kUnsupportedElement, "line elements"}},
      {"curv", {Kind::kUnsupportedElement, "curves"}},
      {"curv2", {Kind::kUnsupportedElement, "curves"}},
      {"surf", {Kind::kUnsupportedElement, "surfaces"}},
  };
  return table;
}

class Parser {
 public:
  Parser(std::string_view displayName, std::string_view defaultObjectName)
      : displayName_(displayName), defaultObjectName_(defaultObjectName) {
    groupSets_.emplace_back();  // set 0: no group
    groupSetIds_.emplace(std::vector<std::string>{}, 0);
  }

  bool Run(std::string_view text, MeshFile& out) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t pos = 0;
    int64_t lineNumber = 0;
    std::string joined;
    while (pos < text.size()) {
      size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      ++lineNumber;
      const int64_t statementLine = lineNumber;
      // A backslash at the end of a line continues the statement on the next one.
      std::string_view trimmed = Trim(line);
      if (!trimmed.empty() && trimmed.back() == '\\') {
        joined.assign(trimmed.substr(0, trimmed.size() - 1));
        while (pos < text.size()) {
          size_t next = text.find('\n', pos);
          if (next == std::string_view::npos) next = text.size();
          std::string_view more = Trim(text.substr(pos, next - pos));
          pos = next + 1;
          ++lineNumber;
          joined.push_back(' ');
          if (!more.empty() && more.back() == '\\') {
            joined.append(more.substr(0, more.size() - 1));
            continue;
          }
          joined.append(more);
          break;
        }
        line = joined;
      }
      if (!Statement(line, statementLine)) return false;
    }
    return Finish(out);
  }

  const std::string& error() const { return error_; }

 private:
  bool Fail(int64_t line, const std::string& message) {
    error_ = displayName_ + ":" + std::to_string(line) + ": " + message;
    return false;
  }

  void Note(int64_t line, const std::string& message) {
    if (notedMessages_.emplace(message, line).second) {
      notes_.push_back(displayName_ + ":" + std::to_string(line) + ": " + message);
    }
  }

  bool Statement(std::string_view line, int64_t lineNumber) {
    line = Trim(line);
    if (line.empty() || line.front() == '#') return true;
    size_t keywordEnd = 0;
    while (keywordEnd < line.size() && !IsBlank(line[keywordEnd])) ++keywordEnd;
    const std::string_view keyword = line.substr(0, keywordEnd);
    std::string_view rest = line.substr(keywordEnd);
    // Names may hold '#'; elsewhere it starts a comment that runs to the end of the line.
    const bool takesName = keyword == "o" || keyword == "g" || keyword == "usemtl" ||
                           keyword == "mtllib";
    if (size_t hash = rest.find('#'); !takesName && hash != std::string_view::npos) {
      rest = rest.substr(0, hash);
    }
    rest = Trim(rest);

    if (keyword == "v") return VertexLine(rest, lineNumber);
    if (keyword == "vt") return TexcoordLine(rest, lineNumber);
    if (keyword == "f") return FaceLine(rest, lineNumber);
    if (keyword == "o") return ObjectLine(rest, lineNumber);
    if (keyword == "g") return GroupLine(rest, lineNumber);
    if (keyword == "vn") {
      std::vector<std::string_view> values = SplitBlanks(rest);
      double unused;
      if (values.size() != 3 || !ParseReal(values[0], unused) || !ParseReal(values[1], unused) ||
          !ParseReal(values[2], unused)) {
        return Fail(lineNumber, "a normal needs three numbers");
      }
      ++normalCount_;
    }
    if (keyword == "s" && (rest == "off" || rest == "0")) return true;
    auto it = OtherStatements().find(keyword);
    if (it == OtherStatements().end()) {
      return Fail(lineNumber, "unknown statement " + Quoted(keyword.substr(0, 32)));
    }
    if (it->second.first == Kind::kUnsupportedElement) {
      return Fail(lineNumber, std::string(it->second.second) +
                                  " cannot be held by a polygon object");
    }
    Note(lineNumber, it->second.second);
    return true;
  }

  bool VertexLine(std::string_view rest, int64_t lineNumber) {
    std::vector<std::string_view> values = SplitBlanks(rest);
    if (values.size() != 3 && values.size() != 4 && values.size() != 6) {
      return Fail(lineNumber, "a vertex needs three coordinates, optionally followed by a weight "
                              "or by three colour values");
    }
    Vertex vertex;
    double* targets[6] = {&vertex.position.x, &vertex.position.y, &vertex.position.z,
                          &vertex.extra[0], &vertex.extra[1], &vertex.extra[2]};
    for (size_t i = 0; i < values.size(); ++i) {
      if (!ParseReal(values[i], *targets[i])) {
        return Fail(lineNumber, "not a number: " + Quoted(values[i]));
      }
    }
    vertex.extraCount = static_cast<uint8_t>(values.size() - 3);
    if (static_cast<int64_t>(vertices_.size()) >= kMaxCount) {
      return Fail(lineNumber, "too many vertices");
    }
    vertices_.push_back(vertex);
    return true;
  }

  bool TexcoordLine(std::string_view rest, int64_t lineNumber) {
    std::vector<std::string_view> values = SplitBlanks(rest);
    if (values.empty() || values.size() > 3) {
      return Fail(lineNumber, "texture coordinates need one to three numbers");
    }
    double uvw[3] = {0.0, 0.0, 0.0};
    for (size_t i = 0; i < values.size(); ++i) {
      if (!ParseReal(values[i], uvw[i])) {
        return Fail(lineNumber, "not a number: " + Quoted(values[i]));
      }
    }
    if (static_cast<int64_t>(texcoords_.size()) >= kMaxCount) {
      return Fail(lineNumber, "too many texture coordinates");
    }
    texcoords_.push_back(Vector3{uvw[0], uvw[1], uvw[2]});
    return true;
  }

  // Resolves one index of a face corner: positive from the start of the file, negative back from
  // the entries read so far.
  bool ResolveIndex(std::string_view token, int64_t countSoFar, const char* what,
                    int64_t lineNumber, int32_t& resolved) {
    int64_t raw = 0;
    if (!ParseInteger(token, raw)) {
      return Fail(lineNumber, std::string("not a ") + what + " index: " + Quoted(token));
    }
    if (raw == 0) return Fail(lineNumber, std::string(what) + " index 0 is not allowed");
    int64_t index = raw > 0 ? raw - 1 : countSoFar + raw;
    if (index < 0) {
      return Fail(lineNumber, std::string(what) + " index " + std::to_string(raw) +
                                  " is out of range (" + std::to_string(countSoFar) +
                                  " read before this line)");
    }
    if (index >= kMaxCount) {
      return Fail(lineNumber, std::string(what) + " index " + std::to_string(raw) +
                                  " is out of range");
    }
    resolved = static_cast<int32_t>(index);
    return true;
  }

  bool FaceLine(std::string_view rest, int64_t lineNumber) {
    std::vector<std::string_view> corners = SplitBlanks(rest);
    if (corners.size() < 3) return Fail(lineNumber, "a face needs at least three corners");
    if (corners.size() > 4) {
      return Fail(lineNumber, "face with " + std::to_string(corners.size()) +
                                  " corners: a polygon object holds polygons of at most four");
    }
    PendingFace face{};
    face.corners = static_cast<uint8_t>(corners.size());
    face.line = lineNumber;
    face.groupSet = currentGroupSet_;
    bool firstHasTexcoord = false;
    for (size_t i = 0; i < corners.size(); ++i) {
      std::string_view corner = corners[i];
      std::string_view parts[3];
      size_t partCount = 0;
      size_t start = 0;
      while (true) {
        size_t slash = corner.find('/', start);
        if (partCount == 3) return Fail(lineNumber, "malformed face corner " + Quoted(corner));
        if (slash == std::string_view::npos) {
          parts[partCount++] = corner.substr(start);
          break;
        }
        parts[partCount++] = corner.substr(start, slash - start);
        start = slash + 1;
      }
      // Accepted forms: v, v/vt, v//vn, v/vt/vn.
      if (parts[0].empty() || (partCount == 2 && parts[1].empty()) ||
          (partCount == 3 && parts[2].empty())) {
        return Fail(lineNumber, "malformed face corner " + Quoted(corner));
      }
      if (!ResolveIndex(parts[0], static_cast<int64_t>(vertices_.size()), "vertex", lineNumber,
                        face.vertex[i])) {
        return false;
      }
      const bool hasTexcoord = partCount >= 2 && !parts[1].empty();
      if (i == 0) firstHasTexcoord = hasTexcoord;
      if (hasTexcoord != firstHasTexcoord) {
        return Fail(lineNumber, "texture coordinates given for some corners of the face only");
      }
      face.texcoord[i] = kNoTexcoord;
      if (hasTexcoord &&
          !ResolveIndex(parts[1], static_cast<int64_t>(texcoords_.size()), "texture coordinate",
                        lineNumber, face.texcoord[i])) {
        return false;
      }
      if (partCount == 3) {
        // Normals are not kept, but an index to none is still a broken file.
        int32_t normal = 0;
        if (!ResolveIndex(parts[2], normalCount_, "normal", lineNumber, normal)) return false;
        if (normal >= normalCount_ && normal > highestForwardNormal_) {
          highestForwardNormal_ = normal;
          highestForwardNormalLine_ = lineNumber;
        }
      }
    }
    if (face.corners == 3) {
      face.vertex[3] = face.vertex[2];
      face.texcoord[3] = face.texcoord[2];
    } else if (face.vertex[2] == face.vertex[3]) {
      Note(lineNumber, "a four-corner face whose last two corners are the same vertex is a "
                       "triangle to a polygon object and is written back with three");
    }
    if (current_ == nullptr) OpenObject(defaultObjectName_);
    if (static_cast<int64_t>(current_->faces.size()) >= kMaxCount) {
      return Fail(lineNumber, "too many faces in object " + Quoted(current_->name));
    }
    current_->faces.push_back(face);
    return true;
  }

  bool ObjectLine(std::string_view rest, int64_t lineNumber) {
    if (rest.empty()) return Fail(lineNumber, "an object needs a name");
    sawObjectLine_ = true;
    OpenObject(rest);
    return true;
  }

  bool GroupLine(std::string_view rest, int64_t) {
    std::vector<std::string> names;
    for (std::string_view token : SplitBlanks(rest)) {
      std::string name(token);
      bool seen = false;
      for (const std::string& existing : names) seen = seen || existing == name;
      if (!seen) names.push_back(std::move(name));
    }
    auto [it, inserted] = groupSetIds_.emplace(names, static_cast<uint32_t>(groupSets_.size()));
    if (inserted) groupSets_.push_back(std::move(names));
    currentGroupSet_ = it->second;
    return true;
  }

  void OpenObject(std::string_view name) {
    objects_.push_back(PendingObject{std::string(name), {}});
    current_ = &objects_.back();
  }

  // Checks forward references against the final counts and builds the objects.
  bool Finish(MeshFile& out) {
    if (!sawObjectLine_ && objects_.empty()) OpenObject(defaultObjectName_);
    if (highestForwardNormal_ >= normalCount_) {
      return Fail(highestForwardNormalLine_,
                  "normal index " + std::to_string(highestForwardNormal_ + int64_t{1}) +
                      " is out of range (the file has " + std::to_string(normalCount_) +
                      " normals)");
    }
    const int64_t vertexCount = static_cast<int64_t>(vertices_.size());
    const int64_t texcoordCount = static_cast<int64_t>(texcoords_.size());
    // Local point index of each file vertex for the object being built; -1 when unused by it.
    std::vector<int32_t> localIndex(vertices_.size(), -1);
    MeshFile file;
    file.objects.reserve(objects_.size());
    for (PendingObject& pending : objects_) {
      MeshObject object;
      object.name = std::move(pending.name);
      const bool textured = !pending.faces.empty() && pending.faces.front().texcoord[0] != kNoTexcoord;
      for (const PendingFace& face : pending.faces) {
        for (int i = 0; i < face.corners; ++i) {
          if (face.vertex[i] >= vertexCount) {
            return Fail(face.line, "vertex index " + std::to_string(face.vertex[i] + int64_t{1}) +
                                       " is out of range (the file has " +
                                       std::to_string(vertexCount) + " vertices)");
          }
          if (face.texcoord[i] != kNoTexcoord && face.texcoord[i] >= texcoordCount) {
            return Fail(face.line, "texture coordinate index " +
                                       std::to_string(face.texcoord[i] + int64_t{1}) +
                                       " is out of range (the file has " +
                                       std::to_string(texcoordCount) + " texture coordinates)");
          }
        }
        if ((face.texcoord[0] != kNoTexcoord) != textured) {
          return Fail(face.line,
                      std::string("face ") + (textured ? "without" : "with") +
                          " texture coordinates in object " + Quoted(object.name) +
                          ", whose first face (line " + std::to_string(pending.faces.front().line) +
                          ") has " + (textured ? "them" : "none") +
                          ": a polygon object has texture coordinates on all polygons or none");
        }
        for (int i = 0; i < 4; ++i) {
          if (localIndex[static_cast<size_t>(face.vertex[i])] < 0) {
            localIndex[static_cast<size_t>(face.vertex[i])] = 0;
            object.pointVertex.push_back(face.vertex[i]);
          }
        }
      }
      // Points keep the file's vertex order.
      std::sort(object.pointVertex.begin(), object.pointVertex.end());
      object.points.reserve(object.pointVertex.size());
      for (size_t k = 0; k < object.pointVertex.size(); ++k) {
        const size_t vertex = static_cast<size_t>(object.pointVertex[k]);
        localIndex[vertex] = static_cast<int32_t>(k);
        object.points.push_back(vertices_[vertex].position);
      }
      object.polygons.reserve(pending.faces.size());
      if (textured) object.uvw.reserve(pending.faces.size());
      std::map<std::string, size_t> groupIndex;
      for (size_t f = 0; f < pending.faces.size(); ++f) {
        const PendingFace& face = pending.faces[f];
        auto local = [&](int i) { return localIndex[static_cast<size_t>(face.vertex[i])]; };
        object.polygons.push_back(Polygon{local(0), local(1), local(2), local(3)});
        if (textured) {
          auto uv = [&](int i) { return texcoords_[static_cast<size_t>(face.texcoord[i])]; };
          object.uvw.push_back(UvwCorners{uv(0), uv(1), uv(2), uv(3)});
        }
        for (const std::string& name : groupSets_[face.groupSet]) {
          auto [it, inserted] = groupIndex.emplace(name, object.groups.size());
          if (inserted) object.groups.push_back(Group{name, {}});
          object.groups[it->second].polygons.push_back(static_cast<int32_t>(f));
        }
      }
      for (int64_t vertex : object.pointVertex) localIndex[static_cast<size_t>(vertex)] = -1;
      file.objects.push_back(std::move(object));
    }
    file.vertices = std::move(vertices_);
    file.texcoords = std::move(texcoords_);
    file.notes = std::move(notes_);
    out = std::move(file);
    return true;
  }

  std::string displayName_;
  std::string defaultObjectName_;
  std::string error_;
  std::vector<Vertex> vertices_;
  std::vector<Vector3> texcoords_;
  int64_t normalCount_ = 0;
  int64_t highestForwardNormal_ = -1;
  int64_t highestForwardNormalLine_ = 0;
  std::vector<PendingObject> objects_;
  PendingObject* current_ = nullptr;
  bool sawObjectLine_ = false;
  std::vector<std::vector<std::string>> groupSets_;
  std::map<std::vector<std::string>, uint32_t> groupSetIds_;
  uint32_t currentGroupSet_ = 0;
  std::vector<std::string> notes_;
  std::map<std::string, int64_t> notedMessages_;
};

}  // namespace

bool ParseObj(std::string_view text, std::string_view displayName,
              std::string_view defaultObjectName, MeshFile& out, std::string& error) {
  Parser parser(displayName, defaultObjectName);
  if (!parser.Run(text, out)) {
    error = parser.error();
    return false;
  }
  return true;
}

bool ReadObjFile(const std::string& path, MeshFile& out, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) {
    error = path + ": no such file";
    return false;
  }
  if (fs::is_directory(status)) {
    error = path + ": is a directory, not a mesh file";
    return false;
  }
  if (!fs::is_regular_file(status)) {
    error = path + ": is not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be opened for reading";
    return false;
  }
  std::string text;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size > 0) {
    text.resize(static_cast<size_t>(size));
    in.read(text.data(), size);
  }
  if (!in || in.gcount() != size) {
    error = path + ": cannot be read";
    return false;
  }
  const std::string stem = fs::path(path).stem().string();
  return ParseObj(text, path, stem.empty() ? std::string("object") : stem, out, error);
}

}  // namespace fm::host::mesh
