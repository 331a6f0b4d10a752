#pragma once
// Decimal digits of a signed integer, for the report texts.

#include <cstdint>

namespace fm {

// Room for the longest 64-bit value, its sign and the NUL.
constexpr int kDecimalBufferSize = 21;

// Writes the digits of `value` (a leading '-' when negative) and a NUL into `buffer`; gives the
// number of characters before the NUL.
constexpr int FormatDecimal(int64_t value, char (&buffer)[kDecimalBufferSize]) {
  // Work on the magnitude as unsigned so the most negative value has one too.
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char reversed[kDecimalBufferSize] = {};
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int length = 0;
  if (value < 0) buffer[length++] = '-';
  while (count > 0) buffer[length++] = reversed[--count];
  buffer[length] = '\0';
  return length;
}

}  // namespace fm
