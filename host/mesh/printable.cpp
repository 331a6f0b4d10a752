#include "host/mesh/printable.h"

#include <cstdint>

namespace fm::host::mesh {
namespace {

constexpr size_t kTokenLimit = 40;

}  // namespace

size_t Utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  const uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  uint32_t lowest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    lowest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    lowest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    lowest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  uint32_t code = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

std::string Printable(std::string_view text, size_t limit) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  size_t i = 0;
  while (i < text.size()) {
    if (out.size() >= limit) {
      out += "...";
      break;
    }
    const size_t length = Utf8SequenceLength(text.substr(i));
    const auto c = static_cast<uint8_t>(text[i]);
    if (length == 0 || c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::string QuotedToken(std::string_view token) {
  return "'" + Printable(token, kTokenLimit) + "'";
}

}  // namespace fm::host::mesh
