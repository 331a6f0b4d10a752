#pragma once
// The host's strings as the module sees them: a pointer to a HostString object with the 64-bit
// reference word directly before it, counted in units of 16 (16 = one reference), changed
// atomically. Paths handed to the module are host strings too (one storage word holding one).

#include <cstdint>
#include <string>
#include <string_view>

namespace fm::host {

struct HostString;  // opaque outside strings.cpp; the module receives HostString* as its "S"

// A new string holding `utf8` (decoded to code points), carrying one reference for the caller.
// Malformed UTF-8 is kept byte for byte, one code point per byte, so no host text is lost.
HostString* NewString(std::string_view utf8);
HostString* NewString(std::u32string text);

// The shared empty string handed out as StringTable entry 0. Never freed; its reference word is
// kept far above any count a module could release.
HostString* EmptyString();

// UTF-8 text of the string; "" for null.
std::string ToUtf8(const HostString* string);

// The code points, for host operations that edit a string in place (StringInsert). The caller
// must hold the only reference or otherwise own the edit.
std::u32string& Text(HostString* string);
const std::u32string& Text(const HostString* string);

// Atomic +16 / -16 on the reference word; Release frees when the word was below 32 before the
// subtraction. Null is ignored. Neither touches the shared empty string's count in a way that
// could free it.
void Retain(HostString* string);
void Release(HostString* string);

// Destroys a string whatever its count (the string interface's Free). False, and nothing touched,
// for null, the shared empty string, or a pointer that is not a live host string.
bool FreeString(HostString* string);

// Whether `string` is a live host string or the shared empty string.
bool IsHostString(const HostString* string);

// The raw reference word (tests check the units-of-16 rule).
int64_t ReferenceWord(const HostString* string);

// Strings alive now, the shared empty string excluded.
int64_t LiveStringCount();

}  // namespace fm::host
