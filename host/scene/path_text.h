#pragma once
// File-system path texts as the host's path operations edit them. '/' separates components; on
// Windows '\' does too, and a drive ("C:") belongs to the root. Results are normalised: no
// repeated separators and no trailing separator except the root itself. "." and ".." are not
// resolved. The empty text is the empty path.

#include <string>
#include <string_view>

namespace fm::host {

bool IsPathSeparator(char c);

// Repeated separators folded, trailing separators dropped (the root keeps its own).
std::string NormalizedPath(std::string_view path);

// Without its last component: "/a/b/c.x" -> "/a/b", "/a" -> "/", "a" -> "", "/" -> "/".
std::string PathDirectoryText(std::string_view path);

// The last component: "/a/b/c.x" -> "c.x", "/" -> "", "" -> "".
std::string PathFileText(std::string_view path);

// The last component's suffix removed: "/a/c.tar.gz" -> "/a/c.tar"; "/a.b/c" and "/a/.hidden"
// stay as they are.
std::string PathWithoutSuffix(std::string_view path);

// `component` appended below `base`. An empty side gives the other; an absolute component
// replaces the base.
std::string PathJoinedText(std::string_view base, std::string_view component);

// Same path after normalisation; on Windows separators are interchangeable and ASCII letters
// compare without case.
bool PathTextsEqual(std::string_view a, std::string_view b);

}  // namespace fm::host
