#include <gtest/gtest.h>

#include "host/tables/paths.h"
#include "tests/host/tables/host_fixture.h"

namespace fm::host::testkit {
namespace {

class PathTable : public HostTest {
 protected:
  // A path made the way a module makes one, freed at the end of the test.
  void** Make(const char* text) {
    void** word = &words_[used_++];
    view.PathInit(word);
    view.PathAssignText(word, text);
    return word;
  }
  std::string Of(void** path) {
    S text = nullptr;
    view.PathToString(&text, path);
    std::string out = ToUtf8(text);
    Release(text);
    return out;
  }
  void TearDown() override {
    for (int i = 0; i < used_; ++i) view.PathFree(&words_[i]);
    EXPECT_EQ(LivePathCount(), paths_);
    EXPECT_EQ(LiveStringCount(), strings_);
  }

 private:
  int64_t paths_ = LivePathCount();
  int64_t strings_ = LiveStringCount();
  void* words_[64] = {};
  int used_ = 0;
};

TEST_F(PathTable, InitMakesAnEmptyPathAndFreeNullsTheWord) {
  const int64_t before = LivePathCount();
  void* word = reinterpret_cast<void*>(0x10);  // storage need not be initialised
  view.PathInit(&word);
  EXPECT_EQ(word, nullptr);
  EXPECT_EQ(LivePathCount(), before + 1);
  EXPECT_EQ(Of(&word), "");
  view.PathAssignText(&word, "/a/b");
  ASSERT_NE(word, nullptr);
  EXPECT_EQ(ReferenceWord(static_cast<S>(word)), 16);
  view.PathFree(&word);
  EXPECT_EQ(word, nullptr);
  EXPECT_EQ(LivePathCount(), before);
}

TEST_F(PathTable, ToStringGivesANewStringWithOneReference) {
  void** path = Make("/plug-ins/facetmender");
  S text = nullptr;
  view.PathToString(&text, path);
  ASSERT_NE(text, nullptr);
  EXPECT_NE(static_cast<void*>(text), *path);
  EXPECT_EQ(ReferenceWord(text), 16);
  EXPECT_EQ(ToUtf8(text), "/plug-ins/facetmender");
  Release(text);
}

TEST_F(PathTable, CopiesShareUntilEitherIsEdited) {
  void** original = Make("/s/plugins");
  void** copy = Make("/stale");
  view.PathCopy(original, copy);
  EXPECT_EQ(*copy, *original);
  EXPECT_EQ(ReferenceWord(static_cast<S>(*original)), 32);
  view.PathAppend(copy, Make("res"));
  EXPECT_EQ(Of(original), "/s/plugins");
  EXPECT_EQ(Of(copy), "/s/plugins/res");
  EXPECT_EQ(ReferenceWord(static_cast<S>(*original)), 16);
  view.PathCopy(copy, copy);
  EXPECT_EQ(Of(copy), "/s/plugins/res");
  view.PathStripSuffix(original);  // no suffix: text stays, string may be replaced
  EXPECT_EQ(Of(original), "/s/plugins");
}

TEST_F(PathTable, AssignStringTakesTheTextNotTheString) {
  void** path = Make("");
  S text = NewString("/x/y");
  view.PathAssignString(path, text);
  view.StringInsert(&text, 4, text, -1, -1);
  EXPECT_EQ(Of(path), "/x/y");
  Release(text);
  view.PathAssignString(path, view.EmptyString());
  EXPECT_EQ(*path, nullptr);
}

// The steps by which a module finds its resource directory from its own file path.
TEST_F(PathTable, DirectoryFilePartSuffixEqualsAndAppendAsAModuleUsesThem) {
  struct Case {
    const char* module;
    const char* startup;
    bool belowStartup;
    const char* resources;
  };
  const Case cases[] = {
      {"/s/plugins/fm/facetmender.xlib", "/s", false, "/s/plugins/fm/res"},
      {"/s/plugins/facetmender.xlib", "/s", true, "/s/resource/modules/facetmender"},
      {"/s/plugins/facetmender.xlib", "/s/", true, "/s/resource/modules/facetmender"},
#ifdef _WIN32
      {"C:\\Host\\plugins\\facetmender.duv64", "c:\\host", true,
       "c:\\host\\resource\\modules\\facetmender"},
      {"C:\\Host\\plugins\\fm\\facetmender.duv64", "C:\\Host", false, "C:\\Host\\plugins\\fm\\res"},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.module);
    void** module = Make(c.module);
    void** startup = Make(c.startup);
    void* directory;
    void* parent;
    view.PathDirectory(&directory, module);
    view.PathDirectory(&parent, &directory);
    EXPECT_EQ(view.PathEquals(&parent, startup), c.belowStartup);
    void* result = nullptr;
    view.PathInit(&result);
    if (c.belowStartup) {
      void* name = nullptr;
      view.PathInit(&name);
      view.PathCopy(module, &name);
      view.PathStripSuffix(&name);
      void* last;
      view.PathFilePart(&last, &name);
      view.PathCopy(startup, &result);
      for (void** part : {Make("resource"), Make("modules"), &last}) view.PathAppend(&result, part);
      view.PathFree(&last);
      view.PathFree(&name);
    } else {
      view.PathCopy(&directory, &result);
      view.PathAppend(&result, Make("res"));
    }
    EXPECT_EQ(Of(&result), c.resources);
    for (void** p : {&directory, &parent, &result}) view.PathFree(p);
  }
}

TEST_F(PathTable, MissingStorageIsDiagnosedAndChangesNothing) {
  view.PathInit(nullptr);
  view.PathFree(nullptr);
  view.PathAssignText(nullptr, "x");
  EXPECT_EQ(env.Diagnostics().size(), 3u);
  void** empty = Make(nullptr);
  EXPECT_EQ(*empty, nullptr);
  void* directory = reinterpret_cast<void*>(0x8);
  view.PathDirectory(&directory, nullptr);  // a null path reads as the empty path
  EXPECT_EQ(directory, nullptr);
  view.PathFree(&directory);
}

}  // namespace
}  // namespace fm::host::testkit
