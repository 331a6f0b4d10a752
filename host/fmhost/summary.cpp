#include "host/fmhost/summary.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "host/mesh/printable.h"

namespace fm::host::fmhost {
namespace {

constexpr size_t kNameLimit = 60;

std::string Number(double value) {
  char buffer[32];
  const double rounded = std::round(value * 1e6) / 1e6;
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, rounded);
  (void)ec;
  return std::string(buffer, ptr);
}

}  // namespace

std::vector<int64_t> ReportedQuads(const std::vector<std::string>& consoleLines,
                                   const std::vector<std::string>& walkedNames) {
  // One pass over the lines, each compared with the next object's name only, so that many objects
  // stay linear.
  std::vector<int64_t> quads(walkedNames.size(), 0);
  size_t o = 0;
  for (const std::string& text : consoleLines) {
    if (o == walkedNames.size()) break;
    const std::string& name = walkedNames[o];
    if (text.size() < name.size() + 2 || text.compare(0, name.size(), name) != 0 ||
        text.compare(name.size(), 2, ": ") != 0) {
      continue;
    }
    const char* first = text.data() + name.size() + 2;
    const char* last = text.data() + text.size();
    int64_t count = 0;
    const auto [ptr, ec] = std::from_chars(first, last, count);
    if (ec != std::errc() || ptr == first || (ptr != last && *ptr != ' ')) continue;
    quads[o++] = count;
  }
  return quads;
}

std::string JsonString(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = mesh::Utf8SequenceLength(text.substr(i));
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length > 1) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

std::vector<std::string> ReportLines(const RunSummary& summary) {
  std::vector<std::string> lines;
  for (const ObjectSummary& object : summary.objects) {
    const std::string name = "'" + mesh::Printable(object.name, kNameLimit) + "'";
    if (!object.leftAsIs.empty()) lines.push_back(name + " left as it is: " + object.leftAsIs);
    if (object.layout.empty()) continue;
    const std::string half = std::to_string(object.half);
    if (object.layout == "halves") {
      lines.push_back(name + ": pairs read as halves (polygon i with polygon i + " + half + ")");
    } else if (object.layout == "adjacent" && object.reordered) {
      lines.push_back(name + ": pairs read as adjacent in the order fmhost handed over, each first "
                             "triangle followed by its second; the file's order: " + object.order);
    } else if (object.layout == "adjacent") {
      lines.push_back(name + ": pairs read as adjacent (polygon i with polygon i + 1)");
    } else if (object.polygonsBefore < 2) {
      lines.push_back(name + ": no pair layout: it has fewer than two polygons");
    } else {
      // With two or three polygons, polygon `half` is polygon 1.
      lines.push_back(name + ": no pair layout: polygon 0 " +
                      (object.half == 1 ? "does not pair with polygon 1"
                                        : "pairs with neither polygon " + half + " nor polygon 1") +
                      (object.polygon0PairsWith < 0
                           ? std::string(", nor with any other polygon")
                           : ", but with polygon " + std::to_string(object.polygon0PairsWith)));
    }
    if (!object.orderHint.empty()) lines.push_back(name + ": " + object.orderHint);
    if (object.foldedQuads > 0) {
      lines.push_back(std::to_string(object.foldedQuads) + " of " +
                      std::to_string(object.mergedQuads) + " quads made in " + name +
                      " are folded more than 60\u00b0: its triangles may not come from quadrangles");
    }
  }
  const auto Lost = [&](int64_t count, const char* what) {
    if (count == 0) return;
    lines.push_back(std::to_string(count) + (count == 1 ? " merged face was" : " merged faces were") +
                    " written without " + what + ": only some of " +
                    (count == 1 ? "its" : "their") + " corners had them");
  };
  Lost(summary.mergedWithoutTexcoords, "texture coordinates");
  Lost(summary.mergedWithoutNormals, "normals");
  return lines;
}

static std::string OrNull(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

std::string ToJson(const RunSummary& summary) {
  int64_t before = 0, after = 0, quads = 0;
  std::string objects;
  for (const ObjectSummary& object : summary.objects) {
    before += object.polygonsBefore;
    after += object.polygonsAfter;
    quads += object.quadsMade;
    if (!objects.empty()) objects += ",\n";
    objects += "    {\"name\": " + JsonString(object.name) +
               ", \"selected\": " + (object.selected ? "true" : "false") +
               ", \"polygonsBefore\": " + std::to_string(object.polygonsBefore) +
               ", \"polygonsAfter\": " + std::to_string(object.polygonsAfter) +
               ", \"quadsMade\": " + std::to_string(object.quadsMade) +
               ", \"leftAsIs\": " + OrNull(object.leftAsIs) +
               ", \"layout\": " + OrNull(object.layout) + ", \"polygon0PairsWith\": " +
               (object.polygon0PairsWith < 0 ? std::string("null")
                                             : std::to_string(object.polygon0PairsWith)) +
               ", \"foldedQuads\": " + std::to_string(object.foldedQuads) +
               ", \"orderHint\": " + OrNull(object.orderHint) +
               ", \"order\": " + OrNull(object.order) +
               ", \"reordered\": " + (object.reordered ? "true" : "false") + "}";
  }
  std::string json = "{\n";
  json += "  \"input\": " + JsonString(summary.input) + ",\n";
  json += "  \"output\": " + JsonString(summary.output) + ",\n";
  json += "  \"command\": {\"id\": " + std::to_string(summary.commandId) +
          ", \"name\": " + JsonString(summary.commandName) + "},\n";
  json += "  \"objects\": [" + (objects.empty() ? std::string() : "\n" + objects + "\n  ") + "],\n";
  json += "  \"polygonsBefore\": " + std::to_string(before) + ",\n";
  json += "  \"polygonsAfter\": " + std::to_string(after) + ",\n";
  json += "  \"quadsMade\": " + std::to_string(quads) + ",\n";
  json += "  \"mergedWithoutTexcoords\": " + std::to_string(summary.mergedWithoutTexcoords) + ",\n";
  json += "  \"mergedWithoutNormals\": " + std::to_string(summary.mergedWithoutNormals) + ",\n";
  json += "  \"seconds\": " + Number(summary.seconds) + ",\n";
  json += "  \"readSeconds\": " + Number(summary.readSeconds) + ",\n";
  json += "  \"writeSeconds\": " + Number(summary.writeSeconds) + ",\n";
  json += std::string("  \"undoCheck\": ") + (summary.undoChecked ? "\"passed\"" : "null") + "\n";
  json += "}\n";
  return json;
}

std::string FailureJson(std::string_view message, int exitCode) {
  return "{\"error\": " + JsonString(message) + ", \"exitCode\": " + std::to_string(exitCode) +
         "}\n";
}

}  // namespace fm::host::fmhost
