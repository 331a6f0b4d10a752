#pragma once
// Strict UTF-8: the host's strings hold code points, and text that is not valid UTF-8 is refused
// rather than silently replaced.

#include <optional>
#include <string>
#include <string_view>

namespace fm::host {

// Code points of `text`; nullopt for a malformed sequence (truncated, overlong, a surrogate, above
// U+10FFFF, a stray continuation byte).
std::optional<std::u32string> DecodeUtf8(std::string_view text);

// UTF-8 of `text`; code points that cannot be encoded (surrogates, above U+10FFFF) become U+FFFD.
std::string EncodeUtf8(std::u32string_view text);

}  // namespace fm::host
