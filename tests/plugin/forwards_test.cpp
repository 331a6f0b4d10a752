// The forwarding layer against fake host tables built the way a host builds them: member entries
// are pointers to members of the host's own class on the Itanium layout and plain functions
// taking the object first on Windows.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "forwards.h"
#include "hosttables.h"
#include "memberentry.h"

namespace fm {
namespace {

std::vector<std::string> g_calls;

void Log(const std::string& call) { g_calls.push_back(call); }

std::string Hex(const void* p) { return std::to_string(reinterpret_cast<uintptr_t>(p)); }

// Path words of the fake host hold host-string-like objects: a reference word, then the object.
struct FakeString {
  std::atomic<int64_t> word{16};
  char object[8] = {};
  String Get() { return reinterpret_cast<String>(object); }
};

// The fake host's own classes for what it gives by value: one word and a destructor, so its
// compiler returns them through a hidden result slot, as it does the host's string and path
// classes. They share nothing with the module's declarations but the layout.
struct HostStringResult {
  String string;
  ~HostStringResult() {}
};
struct HostPathResult {
  PathWord word;
  ~HostPathResult() {}
};

// A host object of the fake host: the member entries run on it as `this`.
// Polymorphic like a real host class: a call through a member entry may read the object's first
// word as its virtual-table pointer.
struct FakeNode {
  virtual ~FakeNode() = default;
  FakeNode* next = nullptr;
  FakeNode* down = nullptr;
  int32_t type = 0;
  std::vector<std::string> received;

  int32_t GetType() { return type; }
  void* Next() { return next; }
  void* Down() { return down; }
  void Message(int32_t id, void* data) { received.push_back("message " + std::to_string(id) + " " + Hex(data)); }
  FakeString name;
  String slotSeen = reinterpret_cast<String>(0x1);
  // The name with a new reference for the receiver. On the Itanium layout a member returning the
  // host's string class; on Windows the (node, slot) function Microsoft's compiler makes of it.
  HostStringResult NameByValue() {
    name.word += 16;
    return {name.Get()};
  }
  String* NameIntoSlot(String* result) {
    slotSeen = *result;
    name.word += 16;
    *result = name.Get();
    return result;
  }
  int32_t Count() { return 3; }
  void* Get(int32_t index) { return index == 2 ? this : nullptr; }
  void Collect(void* array, int32_t flags) { received.push_back("collect " + Hex(array) + " " + std::to_string(flags)); }
};

// The host's string class as StringInsert's member runs on it: `this` is the caller's holder, whose
// word the host may replace; the source arrives as the address of a holder too.
struct FakeStringHolder {
  String held;
  static inline std::vector<std::string> received;
  static inline String replacement = nullptr;
  void Insert(int32_t pos, const String& src, int32_t start, int32_t end) {
    received.push_back("insert " + Hex(held) + " " + std::to_string(pos) + " " + Hex(src) + " " +
                       std::to_string(start) + " " + std::to_string(end));
    if (replacement != nullptr) held = replacement;
  }
};

using test::SetMember;

FakeString g_leftInWord;  // what the fake PathFree leaves behind when asked to
bool g_pathFreeNulls = true;

struct Fixture : ::testing::Test {
  GeneralTable general{};
  StringTable string{};
  BitmapTable bitmap{};
  PathTable path{};
  ValueTable value{};
  NodeTable node{};
  DocumentTable document{};
  HostTables tables{};
  const HostTables* saved = nullptr;

  void SetUp() override {
    g_calls.clear();
    g_pathFreeNulls = true;
    general.PluginRegister = [](int32_t api, int32_t kind, int32_t id, const String& name, void* record,
                                int32_t size) {
      Log("register " + std::to_string(api) + " " + std::to_string(kind) + " " + std::to_string(id) + " " + Hex(name) +
          " " + Hex(record) + " " + std::to_string(size));
      return true;
    };
    bitmap.BitmapFree = [](void* b) { Log("bitmap free " + Hex(b)); };
    path.PathInit = [](PathWord* p) { Log(std::string("init ") + (*p == nullptr ? "null" : "stale")); };
    path.PathFree = [](PathWord* p) {
      Log("free");
      *p = g_pathFreeNulls ? nullptr : g_leftInWord.Get();
    };
    path.PathCopy = [](PathWord* src, PathWord* dst) {
      Log("copy " + Hex(src) + " " + Hex(dst));
      *dst = *src;
    };
    path.PathAppend = [](PathWord* p, PathWord* c) { Log("append " + Hex(p) + " " + Hex(c)); };
    path.PathAssignText = [](PathWord* p, const char* text) { Log("assign " + Hex(p) + " " + text); };
    value.ValueFree = [](TaggedValue* v) { Log("value free " + std::to_string(v->type)); };
    node.NodeArrayFree = [](void** array) {
      Log("array free " + Hex(*array));
      *array = nullptr;
    };
    SetMember<&FakeNode::GetType>(node.NodeGetType);
    SetMember<&FakeNode::Next>(node.NodeNext);
    SetMember<&FakeNode::Down>(node.NodeDown);
    SetMember<&FakeNode::Message>(node.NodeMessage);
#ifdef _WIN32
    SetMember<&FakeNode::NameIntoSlot>(node.NodeGetName);
#else
    SetMember<&FakeNode::NameByValue>(node.NodeGetName);
#endif
    SetMember<&FakeNode::Count>(node.NodeArrayCount);
    SetMember<&FakeNode::Get>(node.NodeArrayGet);
    SetMember<&FakeNode::Collect>(document.CollectSelectedObjects);
    SetMember<&FakeStringHolder::Insert>(string.StringInsert);

    tables.version = 30000;
    tables.general = &general;
    tables.string = &string;
    tables.bitmap = &bitmap;
    tables.path = &path;
    tables.value = &value;
    tables.node = &node;
    tables.document = &document;
    saved = g_hostTables;
    g_hostTables = &tables;
  }
  void TearDown() override { g_hostTables = saved; }
};

TEST_F(Fixture, MemberEntriesRunOnTheirFirstArgument) {
  FakeNode parent, child, sibling;
  parent.type = 5100;
  child.type = 5673;
  parent.down = &child;
  child.next = &sibling;

  EXPECT_EQ(5100, NodeGetType(&parent));
  EXPECT_EQ(5673, NodeGetType(&child));
  EXPECT_EQ(&child, NodeDown(&parent));
  EXPECT_EQ(&sibling, NodeNext(&child));
  EXPECT_EQ(nullptr, NodeNext(&sibling));

  EXPECT_EQ(3, NodeArrayCount(&parent));
  EXPECT_EQ(&parent, NodeArrayGet(&parent, 2));
  EXPECT_EQ(nullptr, NodeArrayGet(&parent, 1));

  int marker = 0;
  NodeMessage(&child, 5, &marker);
  CollectSelectedObjects(&parent, &marker, 0);
  EXPECT_EQ(std::vector<std::string>{"message 5 " + Hex(&marker)}, child.received);
  EXPECT_EQ(std::vector<std::string>{"collect " + Hex(&marker) + " 0"}, parent.received);
}

// StringInsert is a member of the destination called on the caller's holder, so a writable copy
// the host puts into the holder is what the caller holds afterwards; the source string is read
// through a holder, not handed over as the object pointer.
TEST_F(Fixture, StringInsertRunsOnTheCallersHolderWhichTheHostMayRepoint) {
  int a = 0, b = 0, copy = 0;
  String destination = reinterpret_cast<String>(&a);
  FakeStringHolder::received.clear();
  FakeStringHolder::replacement = reinterpret_cast<String>(&copy);
  StringInsert(&destination, 7, reinterpret_cast<String>(&b), -1, -1);
  FakeStringHolder::replacement = nullptr;
  EXPECT_EQ(std::vector<std::string>{"insert " + Hex(&a) + " 7 " + Hex(&b) + " -1 -1"},
            FakeStringHolder::received);
  EXPECT_EQ(destination, reinterpret_cast<String>(&copy));
}

// What the host gives by value, in the fake host's own classes.
FakeString g_text, g_directory;
HostStringResult HostPathToString(PathWord* path) {
  Log("to string " + Hex(path));
  g_text.word += 16;
  return {g_text.Get()};
}
HostPathResult HostPathDirectory(PathWord* path) {
  Log("directory " + Hex(path));
  g_directory.word += 16;
  return {g_directory.Get()};
}
HostPathResult HostPathFilePart(PathWord* path) {
  Log("file part " + Hex(path));
  g_directory.word += 16;
  return {g_directory.Get()};
}
HostPathResult HostStartupDirectory() {
  Log("startup");
  g_directory.word += 16;
  return {g_directory.Get()};
}

template <typename Entry, typename Function>
void Store(Entry& entry, Function* function) {
  static_assert(sizeof(entry) == sizeof(function));
  std::memcpy(static_cast<void*>(&entry), &function, sizeof(entry));
}

// The node's name comes back through the compiler's result slot (Itanium: ahead of the node) or
// the (node, slot) function (Windows), and ends in the caller's slot with the one reference the
// host gave. A call that put the slot anywhere else would hand the host the wrong object.
TEST_F(Fixture, NodeGetNameGivesTheNameByValue) {
  FakeNode node1, node2;
  String name = reinterpret_cast<String>(0x5a5a);  // whatever the caller's slot held before
  NodeGetName(&node2, &name);
  EXPECT_EQ(node2.name.Get(), name);
  EXPECT_EQ(32, node2.name.word.load()) << "the node's own reference and the caller's";
  EXPECT_EQ(16, node1.name.word.load());
#ifdef _WIN32
  EXPECT_EQ(nullptr, node2.slotSeen) << "the slot is null before the host fills it";
#endif
}

TEST_F(Fixture, PathEntriesGiveTheirResultsByValue) {
  Store(path.PathToString, &HostPathToString);
  Store(path.PathDirectory, &HostPathDirectory);
  Store(path.PathFilePart, &HostPathFilePart);
  Store(general.GetHostStartupDirectory, &HostStartupDirectory);
  g_text.word = 16;
  g_directory.word = 16;

  PathWord source = nullptr;
  String text = reinterpret_cast<String>(0x5a5a);
  PathToString(&text, &source);
  EXPECT_EQ(g_text.Get(), text);
  EXPECT_EQ(32, g_text.word.load()) << "the temporary's reference moved to the caller's slot";
  EXPECT_EQ(std::vector<std::string>{"to string " + Hex(&source)}, g_calls);

  // A path goes into a new path in the caller's slot, and the host's temporary is freed.
  struct Case {
    const char* what;
    std::function<void(PathWord*)> call;
    std::string first;
  };
  const Case cases[] = {
      {"PathDirectory", [&](PathWord* r) { PathDirectory(r, &source); }, "directory " + Hex(&source)},
      {"PathFilePart", [&](PathWord* r) { PathFilePart(r, &source); }, "file part " + Hex(&source)},
      {"GetHostStartupDirectory", [](PathWord* r) { GetHostStartupDirectory(r); }, "startup"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_calls.clear();
    PathWord result = reinterpret_cast<PathWord>(0x5a5a);
    c.call(&result);
    EXPECT_EQ(g_directory.Get(), result);
    ASSERT_EQ(4u, g_calls.size());
    EXPECT_EQ(c.first, g_calls[0]);
    EXPECT_EQ("init null", g_calls[1]);
    EXPECT_EQ(0u, g_calls[2].rfind("copy ", 0));
    EXPECT_NE(g_calls[2], "copy " + Hex(&result) + " " + Hex(&result));
    EXPECT_EQ(" " + Hex(&result), g_calls[2].substr(g_calls[2].rfind(' ')));
    EXPECT_EQ("free", g_calls[3]) << "the temporary";
  }
}

TEST_F(Fixture, PluginRegisterPutsTheModulesApiVersionFirst) {
  int record = 0;
  String name = g_leftInWord.Get();
  EXPECT_TRUE(PluginRegister(4, 1050896, name, &record, 768));
  EXPECT_EQ(std::vector<std::string>{"register 21000 4 1050896 " + Hex(name) + " " + Hex(&record) + " 768"}, g_calls)
      << "21000 whatever the host's version";
}

TEST_F(Fixture, PathInitNullsTheWordBeforeTheHostSeesIt) {
  PathWord word = reinterpret_cast<PathWord>(0x1234);
  PathInit(&word);
  EXPECT_EQ(std::vector<std::string>{"init null"}, g_calls);
}

TEST_F(Fixture, PathFreeLeavesAnEmptyWord) {
  PathWord word = nullptr;
  PathFree(&word);
  EXPECT_EQ(nullptr, word);

  // A host that leaves its string in the word: the reference is dropped and the word nulled.
  g_pathFreeNulls = false;
  g_leftInWord.word = 48;
  word = reinterpret_cast<PathWord>(0x1);
  PathFree(&word);
  EXPECT_EQ(nullptr, word);
  EXPECT_EQ(32, g_leftInWord.word.load());
  EXPECT_EQ((std::vector<std::string>{"free", "free"}), g_calls);
}

TEST_F(Fixture, PathJoinAndPathFromTextBuildANewPath) {
  PathWord a = nullptr, b = nullptr, result = reinterpret_cast<PathWord>(0x99);
  PathJoin(&result, &a, &b);
  EXPECT_EQ((std::vector<std::string>{"init null", "copy " + Hex(&a) + " " + Hex(&result),
                                      "append " + Hex(&result) + " " + Hex(&b)}),
            g_calls);
  g_calls.clear();
  PathWord text = reinterpret_cast<PathWord>(0x99);
  PathFromText(&text, "res");
  EXPECT_EQ((std::vector<std::string>{"init null", "assign " + Hex(&text) + " res"}), g_calls);
}

TEST_F(Fixture, FreesNullTheCallersVariable) {
  int bitmapObject = 0, arrayObject = 0;
  void* bitmapVariable = &bitmapObject;
  BitmapFree(&bitmapVariable);
  EXPECT_EQ(nullptr, bitmapVariable);
  void* arrayVariable = &arrayObject;
  NodeArrayFree(&arrayVariable);
  EXPECT_EQ(nullptr, arrayVariable);
  EXPECT_EQ((std::vector<std::string>{"bitmap free " + Hex(&bitmapObject), "array free " + Hex(&arrayObject)}),
            g_calls);
}

TEST_F(Fixture, ValueFreeNeedsTablesAndAValueTable) {
  TaggedValue v{kTaggedReal, 0, 1.0};
  ValueFree(&v);
  EXPECT_EQ(std::vector<std::string>{"value free 19"}, g_calls);

  g_calls.clear();
  tables.value = nullptr;
  ValueFree(&v);
  g_hostTables = nullptr;
  ValueFree(&v);
  EXPECT_TRUE(g_calls.empty());
}

TEST(BindHostTables, KeepsTheRecordAndGivesItsVersion) {
  const HostTables* saved = g_hostTables;
  HostTables below{};
  below.version = 20999;
  EXPECT_EQ(20999, BindHostTables(&below));
  EXPECT_EQ(&below, g_hostTables) << "kept even when the caller will refuse it";
  EXPECT_EQ(0, BindHostTables(nullptr)) << "a missing record reads as a version to refuse";
  g_hostTables = saved;
}

}  // namespace
}  // namespace fm
