// The module frame against a fake host: the entry point's messages, the resource directory and
// resource set, the icon, the command's registration, and that a whole life cycle hands every
// string, path, bitmap and allocation back.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "commandrecord.h"
#include "forwards.h"
#include "hosttables.h"
#include "maxon/stringinterface.h"
#include "maxon/systeminterface.h"
#include "modulestate.h"
#include "resource.h"

extern "C" int32_t c4d_main(int32_t message, void* a, void* b, void* c);

namespace fm {
namespace {

// ---- fake host strings: a reference word, then the object (the text) --------------------------

struct Block {
  std::atomic<int64_t> word{16};
  std::string text;
};
static_assert(offsetof(Block, text) == 8);

int g_liveStrings = 0;
Block g_empty;
String g_emptyHolder;  // the host's word holding its shared empty string

String NewString(const std::string& text) {
  Block* block = new Block;
  block->text = text;
  ++g_liveStrings;
  return reinterpret_cast<String>(&block->text);
}

Block* BlockOf(String s) { return reinterpret_cast<Block*>(reinterpret_cast<char*>(s) - 8); }
std::string TextOf(String s) { return s == nullptr ? std::string() : BlockOf(s)->text; }

void FreeString(maxon::StringObject* s) {
  ASSERT_NE(BlockOf(s), &g_empty) << "the shared empty string is never freed";
  --g_liveStrings;
  delete BlockOf(s);
}

void Drop(String s) {
  if (s != nullptr && BlockOf(s)->word.fetch_sub(16) < 32) FreeString(s);
}

// A path word holds a string whose text is the path.
std::string PathText(PathWord* p) { return TextOf(static_cast<String>(*p)); }

void SetPath(PathWord* p, const std::string& text) {
  Drop(static_cast<String>(*p));
  *p = NewString(text);
}

// ---- the fake host's state ---------------------------------------------------------------------

std::vector<std::string> g_log;
std::string g_startup = "/host";
std::set<std::string> g_files;                       // files BitmapLoadFile finds
std::map<std::string, std::map<int32_t, std::string>> g_resourceDirs;  // directories that load
int g_liveBitmaps = 0;
int g_liveSets = 0;
int g_liveAllocations = 0;
int g_allocationsLeft = 1 << 30;
bool g_acceptRegistration = true;
std::vector<uint8_t> g_record;
void* g_freedObject = nullptr;

struct FakeSet {
  std::map<int32_t, String> strings;
};

void* AllocClear(int64_t size, const maxon::AllocationSite*) {
  if (g_allocationsLeft-- <= 0) return nullptr;
  ++g_liveAllocations;
  return std::calloc(1, static_cast<size_t>(size));
}

void FreeWithDestructor(void* object, void (*destructor)(void*)) {
  if (object == nullptr) return;
  g_freedObject = object;
  EXPECT_NE(destructor, nullptr) << "a host calls the destructor it is given";
  if (destructor != nullptr) destructor(object);
  --g_liveAllocations;
  std::free(object);
}

maxon::StringObject* StringAlloc() { return NewString(""); }
maxon::ErrorRef StringSetCString(maxon::StringObject* s, const char* text, int64_t,
                                 const maxon::StringDecodingRef&) {
  BlockOf(s)->text = text;
  return maxon::ErrorRef();
}
int64_t StringLength(const maxon::StringObject* s) { return static_cast<int64_t>(TextOf(const_cast<String>(s)).size()); }

std::string Directory(const std::string& p) {
  const size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

std::string LastPart(const std::string& p) {
  const size_t slash = p.rfind('/');
  return slash == std::string::npos ? p : p.substr(slash + 1);
}

struct Lifecycle : ::testing::Test {
  GeneralTable general{};
  StringTable strings{};
  BitmapTable bitmap{};
  PathTable path{};
  ResourceTable resource{};
  ValueTable value{};
  HostTables tables{};
  PathWord moduleFile = nullptr;
  void* saved[64] = {};

  void SetUp() override {
    g_log.clear();
    g_startup = "/host";
    g_files = {"/plugins/facetmender/res/icon.tif"};
    g_resourceDirs = {{"/plugins/facetmender/res", {{10000, "Untriangulate"}}}};
    g_allocationsLeft = 1 << 30;
    g_acceptRegistration = true;
    g_record.clear();
    g_freedObject = nullptr;
    g_liveStrings = g_liveBitmaps = g_liveSets = g_liveAllocations = 0;
    g_empty.word = 1 << 20;

    general.PrintLine = [](const String& s) { g_log.push_back("print " + TextOf(s)); };
    general.GetHostStartupDirectory = []() { return PathValue(NewString(g_startup)); };
    general.PluginRegister = [](int32_t api, int32_t kind, int32_t id, const String& name, void* record,
                                int32_t size) {
      g_log.push_back("register " + std::to_string(api) + " " + std::to_string(kind) + " " + std::to_string(id) + " '" +
                      TextOf(name) + "' " + std::to_string(size));
      const auto* bytes = static_cast<const uint8_t*>(record);
      g_record.assign(bytes, bytes + size);
      return g_acceptRegistration;
    };
    g_emptyHolder = reinterpret_cast<String>(&g_empty.text);
    strings.empty = &g_emptyHolder;
    bitmap.BitmapAlloc = []() -> void* {
      ++g_liveBitmaps;
      return new int(0);
    };
    bitmap.BitmapFree = [](void* b) {
      g_log.push_back("bitmap free");
      --g_liveBitmaps;
      delete static_cast<int*>(b);
    };
    bitmap.BitmapLoadFile = [](void*, PathWord* p, int32_t frame, bool* flag) -> int32_t {
      g_log.push_back("bitmap load " + PathText(p) + " " + std::to_string(frame) + (flag == nullptr ? " null" : " flag"));
      return g_files.count(PathText(p)) ? 1 : 0;
    };
    bitmap.BitmapSetProperty = [](void*, int32_t id, const TaggedValue* v) {
      g_log.push_back("bitmap property " + std::to_string(id) + " " + std::to_string(v->type) + " " + std::to_string(v->real));
    };
    path.PathToString = [](PathWord* p) { return StringValue(NewString(PathText(p))); };
    path.PathAssignString = [](PathWord* p, const String& s) { SetPath(p, TextOf(s)); };
    path.PathDirectory = [](PathWord* p) { return PathValue(NewString(Directory(PathText(p)))); };
    path.PathFilePart = [](PathWord* p) { return PathValue(NewString(LastPart(PathText(p)))); };
    path.PathEquals = [](PathWord* a, PathWord* b) { return PathText(a) == PathText(b); };
    path.PathAppend = [](PathWord* p, PathWord* c) {
      const std::string base = PathText(p);
      SetPath(p, base.empty() ? PathText(c) : base + "/" + PathText(c));
    };
    path.PathInit = [](PathWord* p) { *p = nullptr; };
    path.PathFree = [](PathWord* p) {
      Drop(static_cast<String>(*p));
      *p = nullptr;
    };
    path.PathCopy = [](PathWord* src, PathWord* dst) { SetPath(dst, PathText(src)); };
    path.PathAssignText = [](PathWord* p, const char* text) { SetPath(p, text); };
    path.PathStripSuffix = [](PathWord* p) {
      std::string t = PathText(p);
      const size_t dot = t.rfind('.');
      if (dot != std::string::npos && dot > t.rfind('/') + 1) t.resize(dot);
      SetPath(p, t);
    };
    resource.ResourceLoad = [](PathWord* dir) -> void* {
      g_log.push_back("resource load " + PathText(dir));
      auto found = g_resourceDirs.find(PathText(dir));
      if (found == g_resourceDirs.end()) return nullptr;
      auto* set = new FakeSet;
      for (auto& [id, text] : found->second) set->strings[id] = NewString(text);
      ++g_liveSets;
      return set;
    };
    resource.ResourceGetString = [](void* set, int32_t id) -> const String* {
      auto& s = static_cast<FakeSet*>(set)->strings;
      return s.count(id) ? &s[id] : nullptr;
    };
    resource.ResourceFree = [](void* set, uint8_t flag) {
      g_log.push_back("resource free " + std::to_string(flag));
      for (auto& [id, s] : static_cast<FakeSet*>(set)->strings) Drop(s);
      delete static_cast<FakeSet*>(set);
      --g_liveSets;
    };
    value.ValueFree = [](TaggedValue* v) { g_log.push_back("value free " + std::to_string(v->type)); };

    tables.version = 21000;
    tables.general = &general;
    tables.string = &strings;
    tables.bitmap = &bitmap;
    tables.path = &path;
    tables.resource = &resource;
    tables.value = &value;

    Bind(maxon::g_systemInterface, maxon::SYSTEM_ALLOC_CLEAR, reinterpret_cast<void*>(&AllocClear), 0);
    Bind(maxon::g_systemInterface, maxon::SYSTEM_FREE_WITH_DESTRUCTOR, reinterpret_cast<void*>(&FreeWithDestructor), 1);
    Bind(maxon::g_stringInterface, maxon::STRING_ALLOC, reinterpret_cast<void*>(&StringAlloc), 2);
    Bind(maxon::g_stringInterface, maxon::STRING_SET_CSTRING, reinterpret_cast<void*>(&StringSetCString), 3);
    Bind(maxon::g_stringInterface, maxon::STRING_FREE, reinterpret_cast<void*>(&FreeString), 4);
    Bind(maxon::g_stringInterface, maxon::STRING_GET_LENGTH, reinterpret_cast<void*>(&StringLength), 5);

    g_hostTables = nullptr;
    moduleFile = NewString("/plugins/facetmender/facetmender.xlib");
  }

  void TearDown() override {
    // A fresh module for the next case: the frame's state is module-wide.
    while (attachCount > 0) c4d_main(3, nullptr, nullptr, nullptr);
    g_moduleResource = {};
    Drop(static_cast<String>(moduleFile));
    EXPECT_EQ(0, g_liveStrings) << "every host string and path handed back";
    EXPECT_EQ(0, g_liveBitmaps);
    EXPECT_EQ(0, g_liveSets);
    EXPECT_EQ(0, g_liveAllocations) << "the module path and resource directory are released";
    Unbind(maxon::g_systemInterface, maxon::SYSTEM_ALLOC_CLEAR, 0);
    Unbind(maxon::g_systemInterface, maxon::SYSTEM_FREE_WITH_DESTRUCTOR, 1);
    Unbind(maxon::g_stringInterface, maxon::STRING_ALLOC, 2);
    Unbind(maxon::g_stringInterface, maxon::STRING_SET_CSTRING, 3);
    Unbind(maxon::g_stringInterface, maxon::STRING_FREE, 4);
    Unbind(maxon::g_stringInterface, maxon::STRING_GET_LENGTH, 5);
    g_hostTables = nullptr;
  }

  void Bind(maxon::InterfaceReferenceRecord& ref, size_t slot, void* function, int save) {
    saved[save] = ref.methods[slot];
    ref.methods[slot] = function;
  }
  void Unbind(maxon::InterfaceReferenceRecord& ref, size_t slot, int save) { ref.methods[slot] = saved[save]; }

  int32_t Attach(void* path) { return c4d_main(1, &tables, nullptr, path); }
  int32_t Attach() { return Attach(&moduleFile); }
  static int32_t Message6(uintptr_t id) { return c4d_main(6, reinterpret_cast<void*>(id), nullptr, nullptr); }
  static int32_t Count(const std::string& prefix) {
    int32_t n = 0;
    for (const std::string& c : g_log) n += c.rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
  }
};

TEST_F(Lifecycle, MessagesThatNeedNoHost) {
  struct Case {
    int32_t message;
    uintptr_t a;
    int32_t answer;
  };
  const Case cases[] = {
      {4, 0, 5}, {0, 0, -1}, {5, 0, -1}, {7, 0, -1}, {100, 0, -1}, {-1, 0, -1},
      {6, 0, 1}, {6, 2, -1}, {6, 0x500000000ull, 1} /* only the low 32 bits are the id */,
      {3, 0, 1} /* an end without an attach releases nothing */,
      {2, 0, 0} /* no tables: nothing to register with */, {6, 1, -1} /* nor to load from */,
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "message " << c.message << " a " << c.a);
    EXPECT_EQ(c.answer, c4d_main(c.message, reinterpret_cast<void*>(c.a), nullptr, nullptr));
  }
  EXPECT_EQ(0, attachCount) << "ends without attaches do not pile up";
  EXPECT_TRUE(g_log.empty());
  EXPECT_EQ(1, Attach()) << "and the first attach still binds";
  EXPECT_EQ(&tables, g_hostTables);
  EXPECT_EQ(5, c4d_main(4, nullptr, nullptr, nullptr));
}

TEST_F(Lifecycle, VersionGate) {
  tables.version = 20999;
  EXPECT_EQ(-3, Attach());
  EXPECT_EQ(&tables, g_hostTables) << "stored before the version is looked at";
  EXPECT_EQ(nullptr, modulePath);
  EXPECT_EQ(1, c4d_main(3, nullptr, nullptr, nullptr));

  tables.version = 21000;
  EXPECT_EQ(-3, Attach(nullptr)) << "no path";
  EXPECT_EQ(nullptr, modulePath);
  EXPECT_EQ(1, c4d_main(3, nullptr, nullptr, nullptr));

  EXPECT_EQ(1, Attach());
  ASSERT_NE(nullptr, modulePath);
  EXPECT_EQ("/plugins/facetmender/facetmender.xlib", PathText(modulePath)) << "a copy of the host's path";
  EXPECT_NE(moduleFile, *modulePath);
}

TEST_F(Lifecycle, OnlyTheFirstAttachAndTheFinalEndCount) {
  EXPECT_EQ(1, Attach());
  HostTables other{};
  other.version = 1;
  EXPECT_EQ(1, c4d_main(1, &other, nullptr, nullptr)) << "a second attach reads nothing";
  EXPECT_EQ(&tables, g_hostTables);
  EXPECT_EQ(1, Message6(1));
  EXPECT_EQ(1, c4d_main(3, nullptr, nullptr, nullptr));
  EXPECT_NE(nullptr, modulePath) << "not the final end";
  EXPECT_EQ(0, Count("resource free"));
  EXPECT_EQ(1, c4d_main(3, nullptr, nullptr, nullptr));
  EXPECT_EQ(nullptr, modulePath);
  EXPECT_EQ(1, Count("resource free 1"));
  EXPECT_EQ(0, g_liveAllocations);
}

TEST_F(Lifecycle, ResourcesLoadOnce) {
  ASSERT_EQ(1, Attach());
  EXPECT_EQ(*strings.empty, LoadResourceString(10000)) << "before the set is loaded";
  EXPECT_EQ(1, Message6(1));
  EXPECT_EQ(1, Message6(1));
  EXPECT_EQ(1, Count("resource load"));
  EXPECT_EQ("Untriangulate", TextOf(LoadResourceString(10000)));
  EXPECT_EQ(nullptr, LoadResourceString(10001)) << "what the set gives is passed on";

  FreeModuleResource();
  EXPECT_FALSE(InitModuleResource()) << "released for good";
  EXPECT_EQ(1, Count("resource load"));
  EXPECT_EQ(*strings.empty, LoadResourceString(10000));
}

TEST_F(Lifecycle, AFailedLoadIsNotRetried) {
  g_resourceDirs.clear();
  ASSERT_EQ(1, Attach());
  EXPECT_EQ(-1, Message6(1));
  EXPECT_EQ(-1, Message6(1));
  EXPECT_EQ(1, Count("resource load"));
  EXPECT_EQ(*strings.empty, LoadResourceString(10000));
}

TEST_F(Lifecycle, ResourceDirectory) {
  struct Case {
    const char* what;
    const char* startup;
    const char* moduleFile;
    bool pathAllocationFails;
    const char* directory;
  };
  const Case cases[] = {
      {"beside the module file", "/host", "/plugins/facetmender/facetmender.xlib", false, "/plugins/facetmender/res"},
      {"module folder directly in the start-up directory", "/host", "/host/facetmender/facetmender.duv64", false,
       "/host/resource/modules/facetmender"},
      {"module file directly in the start-up directory", "/host", "/host/facetmender.xlib", false, "/host/res"},
      {"no module path", "/host", "/plugins/facetmender/facetmender.xlib", true, "res"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_startup = c.startup;
    SetPath(&moduleFile, c.moduleFile);
    g_allocationsLeft = c.pathAllocationFails ? 0 : 1 << 30;
    ASSERT_EQ(1, Attach());
    g_allocationsLeft = 1 << 30;
    PathWord directory = nullptr;
    GetResourceDirectory(&directory);
    EXPECT_EQ(c.directory, PathText(&directory));
    PathFree(&directory);
    EXPECT_EQ(nullptr, directory);
    g_log.clear();
    InitModuleResource();
    EXPECT_EQ(std::vector<std::string>{std::string("resource load ") + c.directory}, g_log);
    c4d_main(3, nullptr, nullptr, nullptr);
    g_moduleResource = {};
  }
}

TEST_F(Lifecycle, NoHolderForTheDirectoryMeansNoLoadYet) {
  ASSERT_EQ(1, Attach());
  g_allocationsLeft = 0;
  EXPECT_EQ(-1, Message6(1));
  EXPECT_EQ(0, Count("resource load"));
  g_allocationsLeft = 1 << 30;
  EXPECT_EQ(1, Message6(1)) << "a later call tries again";
}

TEST_F(Lifecycle, RegistersTheCommand) {
  ASSERT_EQ(1, Attach());
  ASSERT_EQ(1, Message6(1));
  g_log.clear();
  const int allocations = g_liveAllocations;  // the module path and the resource directory
  EXPECT_EQ(1, c4d_main(2, nullptr, nullptr, nullptr));
  const std::string size = std::to_string(sizeof(CommandRegistrationRecord));
  EXPECT_EQ((std::vector<std::string>{
                "bitmap load /plugins/facetmender/res/icon.tif -1 null",
                "bitmap property 100 19 1.000000",
                "value free 19",
                "register 21000 4 1050896 'Untriangulate' " + size,
                "bitmap free",
            }),
            g_log);

  ASSERT_EQ(sizeof(CommandRegistrationRecord), g_record.size());
  CommandRegistrationRecord record;
  std::memcpy(static_cast<void*>(&record), g_record.data(), sizeof(record));
  ASSERT_NE(nullptr, record.object);
  EXPECT_NE(nullptr, record.icon) << "the bitmap as it was during the call";
  EXPECT_EQ(allocations + 1, g_liveAllocations) << "the command object, now the host's";

  // The host releases the object through the record.
  record.release(record.object);
  EXPECT_EQ(static_cast<void*>(record.object), g_freedObject);
  EXPECT_EQ(allocations, g_liveAllocations);
}

TEST_F(Lifecycle, RegistersWithoutIconAndWithoutResources) {
  g_files.clear();
  g_resourceDirs.clear();
  ASSERT_EQ(1, Attach());
  EXPECT_EQ(-1, Message6(1));
  g_log.clear();
  EXPECT_EQ(1, c4d_main(2, nullptr, nullptr, nullptr));
  EXPECT_EQ(0, Count("bitmap property"));
  EXPECT_EQ(1, Count("bitmap free")) << "the bitmap made for the icon is freed";
  EXPECT_EQ(1, Count("register 21000 4 1050896 ''")) << "the name is the shared empty string";
  CommandRegistrationRecord record;
  std::memcpy(static_cast<void*>(&record), g_record.data(), sizeof(record));
  EXPECT_EQ(nullptr, record.icon);
  record.release(record.object);
}

TEST_F(Lifecycle, ARefusedRegistrationLeavesTheObjectToTheHost) {
  ASSERT_EQ(1, Attach());
  g_acceptRegistration = false;
  const int allocations = g_liveAllocations;
  EXPECT_EQ(0, c4d_main(2, nullptr, nullptr, nullptr));
  EXPECT_EQ(1, Count("register"));
  EXPECT_EQ(1, Count("bitmap free")) << "icon and help text are still released";
  EXPECT_EQ(nullptr, g_freedObject) << "a host may still hold the object: the module never frees it";
  EXPECT_EQ(allocations + 1, g_liveAllocations);

  // This host kept the refused record and releases the object once, as a real host may; had the
  // module freed it too, this would be the second free.
  ASSERT_EQ(sizeof(CommandRegistrationRecord), g_record.size());
  CommandRegistrationRecord record;
  std::memcpy(static_cast<void*>(&record), g_record.data(), sizeof(record));
  record.release(record.object);
  EXPECT_EQ(static_cast<void*>(record.object), g_freedObject);
  EXPECT_EQ(allocations, g_liveAllocations);
}

TEST_F(Lifecycle, NoCommandObjectMeansNoRegistration) {
  ASSERT_EQ(1, Attach());
  g_allocationsLeft = 0;
  EXPECT_EQ(0, c4d_main(2, nullptr, nullptr, nullptr));
  EXPECT_EQ(0, Count("register"));
  EXPECT_EQ(1, Count("bitmap free")) << "icon and help text are still released";
}

}  // namespace
}  // namespace fm
