#pragma once
// Host strings as the module holds them: a pointer to the host's string object, with the 64-bit
// reference word directly before it (count in units of 16).

#include <cstdint>

namespace maxon {

struct StringObject;  // the host's; never looked into by the module

// A new host string holding `text` decoded as 8-bit text, carrying one reference for the caller.
// Null when the host cannot allocate it or the string interface is not bound.
StringObject* StringFromCString(const char* text);

// Length in characters; 0 for null.
int64_t StringGetLength(const StringObject* string);

// Takes one reference (atomic +16 on the word before the object). Null is ignored.
void StringAddReference(StringObject* string);

// Drops one reference (atomic -16); frees the string through the string interface's Free when the
// word was below 32 before the subtraction. Null is ignored.
void StringRelease(StringObject* string);

}  // namespace maxon
