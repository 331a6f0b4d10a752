#include "host/fmhost/summary.h"

#include <charconv>
#include <cmath>

namespace fm::host::fmhost {
namespace {

int64_t LiveQuads(const std::vector<mesh::Polygon>& polygons) {
  int64_t count = 0;
  for (const mesh::Polygon& p : polygons) count += !p.IsTriangle() && p.a != p.b;
  return count;
}

std::string Number(double value) {
  char buffer[32];
  const double rounded = std::round(value * 1e6) / 1e6;
  auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, rounded);
  (void)ec;
  return std::string(buffer, ptr);
}

}  // namespace

int64_t QuadsMade(const std::vector<mesh::Polygon>& before,
                  const std::vector<mesh::Polygon>& after) {
  if (before == after) return 0;
  const int64_t made = LiveQuads(after) - LiveQuads(before);
  return made > 0 ? made : 0;
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          static const char kHex[] = "0123456789abcdef";
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

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
               ", \"quadsMade\": " + std::to_string(object.quadsMade) + "}";
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
  json += "  \"seconds\": " + Number(summary.seconds) + ",\n";
  json += std::string("  \"undoCheck\": ") + (summary.undoChecked ? "\"passed\"" : "null") + "\n";
  json += "}\n";
  return json;
}

}  // namespace fm::host::fmhost
