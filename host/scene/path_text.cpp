#include "host/scene/path_text.h"

#include <cctype>

namespace fm::host {
namespace {

#ifdef _WIN32
constexpr bool kWindowsPaths = true;
#else
constexpr bool kWindowsPaths = false;
#endif

// Length of the root prefix: "/" on POSIX; "C:", "C:\", "\" or "\\" (a share) on Windows.
size_t RootLength(std::string_view path) {
  if (!kWindowsPaths) return !path.empty() && path[0] == '/' ? 1 : 0;
  if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
    return path.size() >= 3 && IsPathSeparator(path[2]) ? 3 : 2;
  }
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) return 2;
  return !path.empty() && IsPathSeparator(path[0]) ? 1 : 0;
}

// Position of the last separator at or after `from`, or npos.
size_t LastSeparator(std::string_view path, size_t from) {
  for (size_t i = path.size(); i > from; --i) {
    if (IsPathSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

// Keeps a path in the style it is written in: '/' when the parts use only that.
char SeparatorFor(std::string_view base, std::string_view component) {
  if (!kWindowsPaths) return '/';
  auto has = [&](char c) {
    return base.find(c) != std::string_view::npos || component.find(c) != std::string_view::npos;
  };
  return has('/') && !has('\\') ? '/' : '\\';
}

char Folded(char c) {
  if (!kWindowsPaths) return c;
  if (c == '\\') return '/';
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

bool IsPathSeparator(char c) { return c == '/' || (kWindowsPaths && c == '\\'); }

std::string NormalizedPath(std::string_view path) {
  const size_t root = RootLength(path);
  std::string out(path.substr(0, root));
  for (size_t i = root; i < path.size(); ++i) {
    const char c = path[i];
    if (IsPathSeparator(c) && (out.size() == root || IsPathSeparator(out.back()))) continue;
    out.push_back(c);
  }
  if (out.size() > root && IsPathSeparator(out.back())) out.pop_back();
  return out;
}

std::string PathDirectoryText(std::string_view path) {
  const std::string n = NormalizedPath(path);
  const size_t root = RootLength(n);
  if (n.size() <= root) return n;
  const size_t sep = LastSeparator(n, root);
  return sep == std::string::npos ? n.substr(0, root) : n.substr(0, sep);
}

std::string PathFileText(std::string_view path) {
  const std::string n = NormalizedPath(path);
  const size_t root = RootLength(n);
  if (n.size() <= root) return {};
  const size_t sep = LastSeparator(n, root);
  return n.substr(sep == std::string::npos ? root : sep + 1);
}

std::string PathWithoutSuffix(std::string_view path) {
  std::string n = NormalizedPath(path);
  const size_t root = RootLength(n);
  const size_t sep = LastSeparator(n, root);
  const size_t start = sep == std::string::npos ? root : sep + 1;
  const size_t dot = n.rfind('.');
  if (dot != std::string::npos && dot > start) n.erase(dot);
  return n;
}

std::string PathJoinedText(std::string_view base, std::string_view component) {
  if (component.empty()) return NormalizedPath(base);
  if (base.empty() || RootLength(component) > 0) return NormalizedPath(component);
  std::string out = NormalizedPath(base);
  if (!IsPathSeparator(out.back()) && !(kWindowsPaths && out.back() == ':')) {
    out.push_back(SeparatorFor(out, component));
  }
  out.append(component);
  return NormalizedPath(out);
}

bool PathTextsEqual(std::string_view a, std::string_view b) {
  const std::string na = NormalizedPath(a);
  const std::string nb = NormalizedPath(b);
  if (na.size() != nb.size()) return false;
  for (size_t i = 0; i < na.size(); ++i) {
    if (Folded(na[i]) != Folded(nb[i])) return false;
  }
  return true;
}

}  // namespace fm::host
