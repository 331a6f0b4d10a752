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
// The host's word holding the shared empty string: StringTable entry 0 is its address.
HostString* const* EmptyStringHolder();

// UTF-8 text of the string; "" for null.
std::string ToUtf8(const HostString* string);

// What ToUtf8 gives back for a string made by NewString(utf8): `utf8` itself when it is valid,
// otherwise each byte read as the code point of that value. A module that echoes a host text (an
// object's name on the console) echoes this.
std::string RoundTripUtf8(std::string_view utf8);

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

// A string by value, as the host's API gives and takes it: one word carrying one reference. Its
// copy takes a reference and its destructor drops one, so it is not trivially copyable and a C++
// compiler returns it through a hidden result slot; the entries that give a string by value are
// declared with it, so the compiler, not a convention of ours, decides where that slot goes.
class StringValue {
 public:
  explicit StringValue(HostString* adopted = nullptr) noexcept : string_(adopted) {}
  StringValue(const StringValue& other) noexcept : string_(other.string_) { Retain(string_); }
  StringValue& operator=(const StringValue&) = delete;
  ~StringValue() { fm::host::Release(string_); }

  HostString* Get() const { return string_; }
  // Hands the reference over; the value is null afterwards.
  HostString* Take() noexcept {
    HostString* string = string_;
    string_ = nullptr;
    return string;
  }

 private:
  HostString* string_;
};
static_assert(sizeof(StringValue) == sizeof(HostString*));

// Strings alive now, the shared empty string excluded.
int64_t LiveStringCount();

}  // namespace fm::host
