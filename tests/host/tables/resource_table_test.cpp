#include <gtest/gtest.h>

#include "host/tables/paths.h"
#include "tests/host/scene/test_files.h"
#include "tests/host/tables/host_fixture.h"

namespace fm::host::testkit {
namespace {

class ResourceTable : public HostTest {
 protected:
  void* Load(const std::string& directory) {
    void* path = nullptr;
    view.PathInit(&path);
    view.PathAssignText(&path, directory.c_str());
    void* set = view.ResourceLoad(&path);
    view.PathFree(&path);
    return set;
  }
  ScratchDirectory dir;
};

TEST_F(ResourceTable, LoadsTheStringTableAndHandsOutTheSetsStrings) {
  dir.Write("res/strings.str", "10000 \"Untriangulate\"\n10003 \"Nothing to do.\"\n");
  void* set = Load(dir.File("res"));
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(env.LiveResourceSetCount(), 1u);
  // "A pointer to a host string": the address of the set's own holder, the same at every call.
  const S* name = view.ResourceGetString(set, 10000);
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(ToUtf8(*name), "Untriangulate");
  EXPECT_EQ(view.ResourceGetString(set, 10000), name);  // the set's own, not a copy
  EXPECT_EQ(ToUtf8(*view.ResourceGetString(set, 10003)), "Nothing to do.");
  EXPECT_EQ(view.ResourceGetString(set, 10001), view.EmptyStringHolder());
  const int64_t strings = LiveStringCount();
  view.ResourceFree(set, 1);
  EXPECT_EQ(env.LiveResourceSetCount(), 0u);
  EXPECT_EQ(LiveStringCount(), strings - 2);
  EXPECT_TRUE(env.Diagnostics().empty());
}

TEST_F(ResourceTable, AbsentMalformedOrRefusedSetsDoNotLoad) {
  dir.Write("bad/strings.str", "10000 \"fine\"\n10001 unquoted\n");
  dir.Write("good/strings.str", "10000 \"fine\"\n");
  struct Case {
    std::string directory;
    bool fault;
    const char* diagnostic;
  };
  const Case cases[] = {
      {dir.File("absent"), false, "cannot be read"},
      {dir.File("bad"), false, "line 2"},
      {dir.File("good"), true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directory);
    env.Faults().failResourceLoad = c.fault;
    EXPECT_EQ(Load(c.directory), nullptr);
    if (c.diagnostic) {
      EXPECT_TRUE(Diagnosed(c.diagnostic));
    }
  }
  EXPECT_EQ(env.LiveResourceSetCount(), 0u);
}

TEST_F(ResourceTable, ForeignSetsAreDiagnosedNotTouched) {
  int notASet = 0;
  EXPECT_EQ(view.ResourceGetString(&notASet, 10000), view.EmptyStringHolder());
  view.ResourceFree(&notASet, 1);
  view.ResourceFree(nullptr, 1);
  EXPECT_EQ(env.Diagnostics().size(), 2u);
}

using BitmapTable = HostTest;

TEST_F(BitmapTable, LoadsATiffAndStoresThePixelRatio) {
  ScratchDirectory dir;
  void* path = nullptr;
  view.PathInit(&path);
  view.PathAssignText(&path, dir.Write("icon.tif", TiffRgb(2, 2, {1, 2, 3, 0xabcdef})).c_str());
  void* bitmap = view.BitmapAlloc();
  ASSERT_NE(bitmap, nullptr);
  bool movie = true;
  EXPECT_EQ(view.BitmapLoadFile(bitmap, &path, -1, &movie), 1);
  EXPECT_FALSE(movie);
  view.PathFree(&path);
  const Bitmap* loaded = env.FindBitmap(bitmap);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Pixel(1, 1), 0xabcdefffu);

  TaggedValue ratio;
  ratio.type = 19;
  const double one = 1.0;
  std::memcpy(&ratio.payload, &one, sizeof one);
  view.BitmapSetProperty(bitmap, 100, &ratio);
  view.ValueFree(&ratio);
  EXPECT_EQ(ratio.type, 0);
  EXPECT_EQ(ratio.payload, 0u);
  EXPECT_EQ(loaded->PixelRatio(), 1.0);
  view.BitmapSetProperty(bitmap, 100, &ratio);  // an empty value is no pixel ratio
  EXPECT_TRUE(Diagnosed("type 19"));
  EXPECT_EQ(loaded->PixelRatio(), 1.0);
  view.ValueFree(nullptr);

  view.BitmapFree(bitmap);
  EXPECT_EQ(env.LiveBitmapCount(), 0u);
}

TEST_F(BitmapTable, FailedLoadsAnswerOtherThanOne) {
  ScratchDirectory dir;
  const std::string tiff = dir.Write("ok.tif", TiffRgb(1, 1, {0}));
  const std::string text = dir.Write("notes.tif", "plain text, not an image");
  struct Case {
    std::string file;
    int32_t frame;
    bool fault;
    int32_t result;
  };
  const Case cases[] = {
      {dir.File("missing.tif"), -1, false, -1},
      {text, -1, false, 2},
      {tiff, 3, false, -1},
      {tiff, -1, true, 0},
      {"", -1, false, -1},
  };
  void* bitmap = view.BitmapAlloc();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    env.Faults().failBitmapLoad = c.fault;
    void* path = nullptr;
    view.PathInit(&path);
    view.PathAssignText(&path, c.file.c_str());
    EXPECT_EQ(view.BitmapLoadFile(bitmap, &path, c.frame, nullptr), c.result);
    view.PathFree(&path);
    EXPECT_EQ(env.FindBitmap(bitmap)->width, 0);
  }
  view.BitmapFree(bitmap);
}

TEST_F(BitmapTable, RefusedAllocationsAndForeignBitmaps) {
  env.Faults().failBitmapAlloc = true;
  EXPECT_EQ(view.BitmapAlloc(), nullptr);
  int notABitmap = 0;
  EXPECT_EQ(view.BitmapLoadFile(&notABitmap, nullptr, -1, nullptr), 0);
  view.BitmapFree(&notABitmap);
  view.BitmapFree(nullptr);
  EXPECT_EQ(env.Diagnostics().size(), 2u);
}

}  // namespace
}  // namespace fm::host::testkit
