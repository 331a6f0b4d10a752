#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/tables/paths.h"
#include "tests/host/scene/test_files.h"
#include "tests/host/tables/host_fixture.h"

namespace fm::host::testkit {
namespace {

// A host string that releases its reference at the end of the scope.
struct Text {
  explicit Text(const char* utf8) : s(NewString(utf8)) {}
  ~Text() { Release(s); }
  S s;
};

using GeneralTable = HostTest;

TEST_F(GeneralTable, RecordsWhatAModuleShowsInCallOrder) {
  std::vector<std::string> live;
  env.Ui().AddListener([&live](const UiEvent& e) { live.push_back(Describe(e)); });
  Text line("Facetmender"), status("Working: mesh"), box("Nothing to do");
  view.PrintLine(line.s);
  view.SetHostUiState(3);
  view.StatusShowText(status.s);
  view.StatusSetProgress(50);
  EXPECT_EQ(env.Ui().StatusText(), "Working: mesh");
  EXPECT_EQ(env.Ui().StatusProgress(), 50);
  view.StatusReset();
  view.ShowMessageBox(box.s, 48);
  view.SetHostUiState(2);
  view.RequestHostUpdate(0);
  view.PrintLine(nullptr);

  const std::vector<std::string> expected = {"PrintLine \"Facetmender\"",
                                             "UiState 3",
                                             "StatusText \"Working: mesh\"",
                                             "StatusProgress 50",
                                             "StatusReset",
                                             "MessageBox \"Nothing to do\" 48",
                                             "UiState 2",
                                             "HostUpdate 0",
                                             "PrintLine \"\""};
  EXPECT_EQ(live, expected);
  ASSERT_EQ(env.Ui().Events().size(), expected.size());
  EXPECT_EQ(env.Ui().ConsoleLines(), (std::vector<std::string>{"Facetmender", ""}));
  EXPECT_EQ(env.Ui().StatusText(), "");
  EXPECT_EQ(env.Ui().StatusProgress(), 0);
  EXPECT_EQ(env.Ui().UiState(), 2);
  EXPECT_TRUE(env.Diagnostics().empty());
}

TEST_F(GeneralTable, ProgressOutsideZeroToHundredIsRecordedAndDiagnosed) {
  view.StatusSetProgress(101);
  EXPECT_EQ(env.Ui().StatusProgress(), 101);
  EXPECT_TRUE(Diagnosed("outside 0..100"));
}

TEST_F(GeneralTable, StartupDirectoryComesAsANewPathByValue) {
  env.SetStartupDirectory("/opt/host");
  const int64_t paths = LivePathCount();
  void* word = reinterpret_cast<void*>(0x1);  // raw storage: whatever it held is not released
  view.GetHostStartupDirectory(&word);
  EXPECT_EQ(LivePathCount(), paths + 1);
#ifdef _WIN32
  EXPECT_EQ(PathWordText(&word).substr(1), ":\\opt\\host");
#else
  EXPECT_EQ(PathWordText(&word), "/opt/host");
#endif
  EXPECT_EQ(PathWordText(&word), env.StartupDirectory());
  view.PathFree(&word);
  EXPECT_EQ(word, nullptr);
  EXPECT_EQ(LivePathCount(), paths);
}

class PluginRegister : public HostTest {
 protected:
  // A command record laid out as a module fills it; the help text is the address of a holder.
  std::vector<uint8_t> Record(const S* help, void* icon) {
    const size_t size = kItanium ? 768 : 384;
    std::vector<uint8_t> record(size, 0);
    const size_t helpAt = kItanium ? 0x100 : 0x80;
    const size_t iconAt = kItanium ? 0x108 : 0x88;
    std::memcpy(record.data() + helpAt, &help, sizeof help);
    std::memcpy(record.data() + iconAt, &icon, sizeof icon);
    record[kItanium ? 0x110 : 0x90] = 0x5a;  // the execute entry, say
    return record;
  }
  bool Register(std::vector<uint8_t>& record, int32_t kind = 4, int32_t size = -1) {
    Text name("Untriangulate");
    return view.PluginRegister(21000, kind, 1050896, name.s, record.data(),
                               size < 0 ? static_cast<int32_t>(record.size()) : size);
  }
};

TEST_F(PluginRegister, KeepsCopiesOfTheRecordHelpTextAndIcon) {
  ScratchDirectory dir;
  void* path = nullptr;
  view.PathInit(&path);
  view.PathAssignText(&path, dir.Write("icon.tif", TiffRgb(2, 1, {0xff8000, 0x0000ff})).c_str());
  void* icon = view.BitmapAlloc();
  ASSERT_EQ(view.BitmapLoadFile(icon, &path, -1, nullptr), 1);
  view.PathFree(&path);
  S help = NewString("Facetmender 1.01.0");
  std::vector<uint8_t> record = Record(&help, icon);

  ASSERT_TRUE(Register(record));
  // What the module frees or changes right after the call does not reach the host's copies.
  view.BitmapFree(icon);
  Release(help);
  const std::vector<uint8_t> handedOver = record;
  std::fill(record.begin(), record.end(), 0xee);

  ASSERT_EQ(env.Registrations().size(), 1u);
  const CommandRegistration& r = env.Registrations()[0];
  EXPECT_EQ(r.api, 21000);
  EXPECT_EQ(r.kind, 4);
  EXPECT_EQ(r.id, 1050896);
  EXPECT_EQ(r.name, "Untriangulate");
  EXPECT_EQ(r.help, "Facetmender 1.01.0");
  EXPECT_EQ(r.record, handedOver);
  EXPECT_EQ(r.recordSize, kItanium ? 768 : 384);
  ASSERT_NE(r.icon, nullptr);
  EXPECT_EQ(r.icon->width, 2);
  EXPECT_EQ(r.icon->Pixel(0, 0), 0xff8000ffu);
  EXPECT_EQ(env.LiveBitmapCount(), 0u);
}

TEST_F(PluginRegister, WithoutIconOrHelpText) {
  std::vector<uint8_t> record = Record(nullptr, nullptr);
  ASSERT_TRUE(Register(record));
  EXPECT_EQ(env.Registrations().at(0).icon, nullptr);
  EXPECT_EQ(env.Registrations().at(0).help, "");
}

TEST_F(PluginRegister, RefusesAndKeepsNothing) {
  struct Case {
    const char* what;
    int32_t kind;
    int32_t size;
    bool fault;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"refused by the host", 4, -1, true, nullptr},
      {"another plug-in kind", 6, -1, false, "kind 6"},
      {"record of another layout", 4, kItanium ? 384 : 768, false, "bytes was expected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    env.Faults().refuseRegistration = c.fault;
    std::vector<uint8_t> record = Record(nullptr, nullptr);
    EXPECT_FALSE(Register(record, c.kind, c.size));
    EXPECT_TRUE(env.Registrations().empty());
    if (c.diagnostic) {
      EXPECT_TRUE(Diagnosed(c.diagnostic));
    }
  }
  EXPECT_FALSE(view.PluginRegister(21000, 4, 1, nullptr, nullptr, 0));
}

TEST_F(PluginRegister, AnIconThatIsNoHostBitmapIsDropped) {
  int notABitmap = 0;
  std::vector<uint8_t> record = Record(nullptr, &notABitmap);
  ASSERT_TRUE(Register(record));
  EXPECT_EQ(env.Registrations().at(0).icon, nullptr);
  EXPECT_TRUE(Diagnosed("registered without one"));
}

using StringTable = HostTest;

TEST_F(StringTable, EntryZeroIsTheAddressOfTheSharedEmptyStringsHolder) {
  EXPECT_EQ(view.EmptyStringHolder(), EmptyStringHolder());
  EXPECT_EQ(view.EmptyString(), EmptyString());
  EXPECT_EQ(ToUtf8(view.EmptyString()), "");
}

TEST_F(StringTable, InsertsWholeStringsAndRanges) {
  struct Case {
    const char* dst;
    int32_t pos;
    const char* src;
    int32_t start, end;
    const char* out;
  };
  const Case cases[] = {
      {"Mesh", 4, ": 3", -1, -1, "Mesh: 3"},
      {"Mesh", 0, "> ", -1, -1, "> Mesh"},
      {"Msh", 1, "xex", 1, 2, "Mesh"},
      {"ab", 1, "0123", 2, -1, "a23b"},
      {"caf\xC3\xA9", 4, "!", -1, -1, "caf\xC3\xA9!"},  // positions count code points
      {"", 0, "", -1, -1, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.out);
    Text dst(c.dst), src(c.src);
    HostString* const before = dst.s;
    view.StringInsert(&dst.s, c.pos, src.s, c.start, c.end);
    EXPECT_EQ(dst.s, before) << "a string held once is edited in place";
    EXPECT_EQ(ToUtf8(dst.s), c.out);
    EXPECT_EQ(ToUtf8(src.s), c.src);
  }
  Text self("ab");
  view.StringInsert(&self.s, 2, self.s, -1, -1);
  EXPECT_EQ(ToUtf8(self.s), "abab");
  EXPECT_TRUE(env.Diagnostics().empty());
}

// A destination someone else holds too is made writable first: the caller's holder gets a copy,
// and the other holders keep the text they had.
TEST_F(StringTable, InsertsIntoASharedDestinationThroughAWritableCopyInTheHolder) {
  Text src("xyz");
  S shared = NewString("abc");
  Retain(shared);  // a second holder
  S holder = shared;
  view.StringInsert(&holder, 3, src.s, -1, -1);
  EXPECT_NE(holder, shared);
  EXPECT_EQ(ToUtf8(holder), "abcxyz");
  EXPECT_EQ(ToUtf8(shared), "abc");
  EXPECT_EQ(ReferenceWord(shared), 16) << "the holder's reference went with it";
  EXPECT_EQ(ReferenceWord(holder), 16);
  Release(holder);
  Release(shared);

  S empty = view.EmptyString();
  view.StringInsert(&empty, 0, src.s, -1, -1);
  EXPECT_EQ(ToUtf8(empty), "xyz");
  EXPECT_EQ(ToUtf8(view.EmptyString()), "") << "the shared empty string never changes";
  Release(empty);
  EXPECT_TRUE(env.Diagnostics().empty());
}

TEST_F(StringTable, RefusesInsertsOutsideTheStringsAndOfNullStrings) {
  Text dst("abc"), src("xyz");
  const std::tuple<int32_t, int32_t, int32_t> bad[] = {
      {4, -1, -1}, {-1, -1, -1}, {0, 2, 1}, {0, 0, 4}, {0, -2, 1}};
  for (const auto& [pos, start, end] : bad) {
    view.StringInsert(&dst.s, pos, src.s, start, end);
  }
  view.StringInsert(&dst.s, 0, nullptr, -1, -1);
  S none = nullptr;
  view.StringInsert(&none, 0, src.s, -1, -1);
  EXPECT_EQ(ToUtf8(dst.s), "abc");
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(env.Diagnostics().size(), 7u);
}

}  // namespace
}  // namespace fm::host::testkit
