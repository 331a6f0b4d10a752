#include "host/scene/path_text.h"

#include <gtest/gtest.h>

namespace fm::host {
namespace {

struct Case {
  const char* in;
  const char* out;
};

TEST(PathText, DirectoryDropsTheLastComponent) {
  const Case cases[] = {
      {"/a/b/c.xlib", "/a/b"},
      {"/a/b/", "/a"},
      {"/a", "/"},
      {"/", "/"},
      {"a", ""},
      {"a/b", "a"},
      {"", ""},
#ifdef _WIN32
      {"//a//b", "//a"},  // a share root
      {"C:\\a\\b.duv64", "C:\\a"},
      {"C:\\a", "C:\\"},
      {"C:\\", "C:\\"},
      {"C:/x\\y", "C:/x"},
      {"\\\\server\\share\\f", "\\\\server\\share"},
#else
      {"//a//b", "/a"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(PathDirectoryText(c.in), c.out);
  }
}

TEST(PathText, FilePartIsTheLastComponent) {
  const Case cases[] = {
      {"/a/b/c.xlib", "c.xlib"},
      {"/a/b/", "b"},
      {"/", ""},
      {"", ""},
      {"name", "name"},
#ifdef _WIN32
      {"C:\\a\\facetmender.duv64", "facetmender.duv64"},
      {"C:\\", ""},
      {"C:x", "x"},
#else
      {"a\\b", "a\\b"},  // a backslash is an ordinary character here
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(PathFileText(c.in), c.out);
  }
}

TEST(PathText, StripSuffixTouchesOnlyTheLastComponent) {
  const Case cases[] = {
      {"/a/b/facetmender.xlib", "/a/b/facetmender"},
      {"c.tar.gz", "c.tar"},
      {"/a.b/c", "/a.b/c"},
      {"/a/.hidden", "/a/.hidden"},
      {"/a/name.", "/a/name"},
      {"", ""},
      {"/", "/"},
#ifdef _WIN32
      {"C:\\m.d\\facetmender.duv64", "C:\\m.d\\facetmender"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(PathWithoutSuffix(c.in), c.out);
  }
}

TEST(PathText, JoinAppendsBelowTheBase) {
  struct Join {
    const char* base;
    const char* component;
    const char* out;
  };
  const Join cases[] = {
      {"/a", "res", "/a/res"},
      {"/a/", "res", "/a/res"},
      {"/", "res", "/res"},
      {"", "res", "res"},
      {"/a", "", "/a"},
      {"/a", "/b", "/b"},
      {"a", "b/c", "a/b/c"},
#ifdef _WIN32
      {"C:\\a", "res", "C:\\a\\res"},
      {"C:\\", "res", "C:\\res"},
      {"C:/a", "res", "C:/a/res"},
      {"C:\\a", "D:\\b", "D:\\b"},
      {"a", "b\\c", "a\\b\\c"},
#endif
  };
  for (const Join& c : cases) {
    SCOPED_TRACE(std::string(c.base) + " + " + c.component);
    EXPECT_EQ(PathJoinedText(c.base, c.component), c.out);
  }
}

TEST(PathText, EqualsComparesNormalisedPaths) {
  struct Pair {
    const char* a;
    const char* b;
    bool equal;
  };
  const Pair cases[] = {
      {"/a/b", "/a/b", true},
      {"/a/b/", "/a/b", true},
      {"/a//b", "/a/b", true},
      {"/a/b", "/a/c", false},
      {"/a", "/a/b", false},
      {"", "", true},
      {"", "/", false},
#ifdef _WIN32
      {"C:\\Plugins", "c:/plugins", true},
      {"C:\\a", "D:\\a", false},
#else
      {"/A", "/a", false},
#endif
  };
  for (const Pair& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
    EXPECT_EQ(PathTextsEqual(c.a, c.b), c.equal);
  }
}

}  // namespace
}  // namespace fm::host
