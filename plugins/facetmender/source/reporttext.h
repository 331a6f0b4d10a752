#pragma once
// Building the command's report texts out of host strings. Every function gives a new string
// carrying one reference for the caller and leaves its inputs unchanged; null only when the host
// cannot make a string. A null input counts as empty.

#include <cstdint>

#include "decimaltext.h"
#include "forwards.h"
#include "maxon/hoststring.h"

namespace fm {

// `text` followed by `tail`. The host inserts in place, so the insertion goes into a fresh copy:
// `text` may be a string the host or the resource set owns.
inline String AppendString(String text, String tail) {
  String result = maxon::StringFromCString("");
  if (result == nullptr) return nullptr;
  // The host may swap the string in `result` for a writable one; what it holds afterwards is ours.
  if (text != nullptr) StringInsert(&result, 0, text, -1, -1);
  if (tail != nullptr) {
    StringInsert(&result, static_cast<int32_t>(maxon::StringGetLength(result)), tail, -1, -1);
  }
  return result;
}

// `text` followed by the 8-bit literal `tail`.
inline String AppendLiteral(String text, const char* tail) {
  String literal = maxon::StringFromCString(tail);
  String result = AppendString(text, literal);
  maxon::StringRelease(literal);
  return result;
}

// The decimal text of `value`.
inline String DecimalText(int64_t value) {
  char digits[kDecimalBufferSize] = {};
  FormatDecimal(value, digits);
  return maxon::StringFromCString(digits);
}

}  // namespace fm
