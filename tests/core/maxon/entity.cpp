// Construction of entity records: what each record holds after construction, how records chain
// into their module, and the construction checks that keep a malformed record out of every list.
#include "maxon/entity.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "maxon/maxonrecord.h"

namespace {

using maxon::EntityBase;
using FLAGS = EntityBase::FLAGS;
using TYPE = EntityBase::TYPE;

// A construction check refuses the record: reported and null in a release build, a trap in a
// debug build.
#ifdef NDEBUG
#define EXPECT_REFUSED(expression)                                         \
  do {                                                                     \
    testing::internal::CaptureStdout();                                    \
    EXPECT_EQ((expression), nullptr);                                      \
    EXPECT_NE(testing::internal::GetCapturedStdout().find("CRITICAL: Assertion failed"), \
              std::string::npos);                                          \
  } while (0)
#else
#define EXPECT_REFUSED(expression) EXPECT_DEATH((void)(expression), "")
#endif

std::vector<EntityBase*> Entities(const maxon::ModuleRecord& module) {
  std::vector<EntityBase*> list;
  for (EntityBase* e = module.entities; e != nullptr && list.size() < 100; e = e->next)
    list.push_back(e);
  return list;
}

// A module of the test's own; the module list of g_maxon is put back afterwards.
class EntityTest : public testing::Test {
 protected:
  void SetUp() override { savedModules_ = g_maxon.modules; }
  void TearDown() override { g_maxon.modules = savedModules_; }

  maxon::ModuleRecord module_{};
  maxon::TranslationUnitRecord unit_{};

 private:
  maxon::ModuleRecord* savedModules_ = nullptr;
};

TEST(SourceBaseName, TakesThePartAfterTheLastSeparator) {
  struct Case {
    const char* path;
    const char* base;
  } const cases[] = {
      {"frameworks/core.framework/source/maxon/object", "object"},
      {"C:\\src\\plugin\\main", "main"},
      {"a\\b/c\\d", "c\\d"},  // both kinds: the last '/' wins
      {"a/b\\c/d", "d"},
      {"register", "register"},
      {"dir/", ""},
      {"", ""},
      {nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path != nullptr ? c.path : "(null)");
    EXPECT_STREQ(maxon::SourceBaseName(c.path), c.base);
  }
}

TEST_F(EntityTest, TranslationUnitOwnsItselfAndJoinsItsModule) {
  ASSERT_EQ(maxon::ConstructTranslationUnit(unit_, module_, "C:\\work\\unit", 0x100), &unit_);
  EXPECT_EQ(unit_.head.type, TYPE::TRANSLATION_UNIT);
  EXPECT_STREQ(unit_.head.id.text, "unit");
  EXPECT_EQ(unit_.head.id.packed, maxon::PackLiteralText("unit"));
  EXPECT_EQ(unit_.head.owner, &unit_.head);
  EXPECT_EQ(unit_.head.flags, 0x301u);
  EXPECT_EQ(unit_.module, &module_);
  EXPECT_EQ(unit_.sentinels[0], -1);
  EXPECT_EQ(unit_.sentinels[1], -2);
  EXPECT_EQ(unit_.sentinels[2], -1);
  EXPECT_EQ(Entities(module_), std::vector<EntityBase*>{&unit_.head});
}

TEST_F(EntityTest, ModuleConstructionKeepsWhatItsUnitsAlreadyLinked) {
  // A unit and the dependency list may come before the module record itself.
  ASSERT_NE(maxon::ConstructTranslationUnit(unit_, module_, "x/register", 0x100), nullptr);
  static const maxon::LiteralId dependencies[] = {{"net.maxon.core.framework"}};
  ASSERT_TRUE(maxon::SetModuleDependencies(module_, dependencies, 1));
  maxon::ModuleRecord* before = g_maxon.modules;

  ASSERT_EQ(maxon::ConstructModule(module_, "com.example.test", &unit_.head, 0), &module_);
  EXPECT_EQ(module_.head.flags, 0x201u);
  EXPECT_EQ(module_.head.owner, &unit_.head);
  EXPECT_EQ(module_.dependencies, dependencies);
  EXPECT_EQ(module_.dependencyCount, 1);
  EXPECT_EQ(g_maxon.modules, &module_);
  EXPECT_EQ(module_.previous, before);
  EXPECT_EQ(module_.maxon, &g_maxon);
  EXPECT_EQ(Entities(module_), (std::vector<EntityBase*>{&module_.head, &unit_.head}));
}

TEST_F(EntityTest, DependenciesAreSetOnce) {
  static const maxon::LiteralId first[] = {{"a"}, {"b"}};
  static const maxon::LiteralId second[] = {{"c"}};
  ASSERT_TRUE(maxon::SetModuleDependencies(module_, first, 2));
  testing::internal::CaptureStdout();
  EXPECT_FALSE(maxon::SetModuleDependencies(module_, second, 1));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("dependencies set twice"),
            std::string::npos);
  EXPECT_EQ(module_.dependencies, first);
  EXPECT_EQ(module_.dependencyCount, 2);
}

TEST_F(EntityTest, RecordsChainNewestFirstAndLendTheirAdapterBitToTheOwner) {
  ASSERT_NE(maxon::ConstructTranslationUnit(unit_, module_, "unit", 0), nullptr);
  maxon::DeclarationRecord plain{};
  maxon::DeclarationRecord adapter{};
  maxon::DependencyRecord dependency{};
  maxon::InitializationRecord init{};
  ASSERT_NE(maxon::ConstructDeclaration(plain, "test.plain", nullptr, &unit_.head, 0), nullptr);
  EXPECT_EQ(unit_.head.flags & FLAGS::ADAPTER, 0u);
  ASSERT_NE(maxon::ConstructDeclaration(adapter, "test.adapter", nullptr, &unit_.head,
                                        FLAGS::ADAPTER),
            nullptr);
  EXPECT_NE(unit_.head.flags & FLAGS::ADAPTER, 0u);
  ASSERT_NE(maxon::ConstructDependency(dependency, TYPE::DEPENDENCY, "configuration",
                                       &unit_.head, "dir/unit", 0),
            nullptr);
  ASSERT_NE(maxon::ConstructInitialization(init, "dir/unit", nullptr, nullptr, &unit_.head),
            nullptr);

  EXPECT_EQ(Entities(module_), (std::vector<EntityBase*>{&init.head, &dependency.head,
                                                         &adapter.head, &plain.head,
                                                         &unit_.head}));
  EXPECT_EQ(plain.head.flags, FLAGS::CONSTRUCTED);
  EXPECT_EQ(dependency.head.flags, 0x201u);
  EXPECT_STREQ(dependency.sourceName, "unit");
  EXPECT_EQ(init.head.flags, 0x201u);
  EXPECT_STREQ(init.head.id.text, "unit");
  EXPECT_STREQ(init.sourceName, "unit");
}

TEST_F(EntityTest, ReferenceHoldsItsTableAndBindingData) {
  ASSERT_NE(maxon::ConstructTranslationUnit(unit_, module_, "unit", 0), nullptr);
  void* methods[2] = {};
  static const char blob[] = "A@1\0B@2\0\x02\x06";
  auto filler = [](EntityBase*, maxon::Binder) {};
  auto fallback = [](void**) {};
  maxon::InterfaceReferenceRecord reference{};
  ASSERT_NE(maxon::ConstructInterfaceReference(reference, "net.example.interface", methods,
                                               nullptr, blob, 2, filler, fallback, &unit_.head,
                                               FLAGS::REFERENCE_COPY_ON_WRITE),
            nullptr);
  EXPECT_EQ(reference.head.type, TYPE::NONVIRTUAL_INTERFACE);
  EXPECT_EQ(reference.head.flags, 0x50000001u);
  EXPECT_EQ(reference.methods, methods);
  EXPECT_EQ(reference.methodNames, blob);
  EXPECT_EQ(reference.methodCount, 2);
  EXPECT_EQ(reference.filler, +filler);
  EXPECT_EQ(reference.fallback, +fallback);
  EXPECT_EQ(reference.reserved1, nullptr);
  EXPECT_EQ(reference.reserved2, nullptr);
  EXPECT_EQ(reference.head.resolving, nullptr);
}

TEST_F(EntityTest, ConstructionChecksRefuseMalformedRecords) {
  ASSERT_NE(maxon::ConstructTranslationUnit(unit_, module_, "unit", 0), nullptr);
  const std::vector<EntityBase*> before = Entities(module_);

  // A second construction of the same record would tie the list into a loop.
  EXPECT_REFUSED(maxon::ConstructTranslationUnit(unit_, module_, "unit", 0));
  // States the host sets.
  for (uint64_t flag : {FLAGS::DISABLED, FLAGS::INITIALIZED, FLAGS::INITIALIZING,
                        FLAGS::INITIALIZATION_FAILED, FLAGS::USED, FLAGS::CALLABLE,
                        FLAGS::IMPLEMENTABLE, FLAGS::LIVE}) {
    SCOPED_TRACE(flag);
    maxon::DeclarationRecord record{};
    EXPECT_REFUSED(maxon::ConstructDeclaration(record, "test.flags", nullptr, &unit_.head, flag));
    EXPECT_EQ(record.head.type, TYPE::INVALID_0);
  }
  // An owned record needs an id.
  maxon::DeclarationRecord anonymous{};
  EXPECT_REFUSED(maxon::ConstructDeclaration(anonymous, "", nullptr, &unit_.head, 0));
  maxon::DeclarationRecord nullId{};
  EXPECT_REFUSED(maxon::ConstructDeclaration(nullId, nullptr, nullptr, &unit_.head, 0));
  // A dependency record is of type DEPENDENCY.
  maxon::DependencyRecord wrongType{};
  EXPECT_REFUSED(maxon::ConstructDependency(wrongType, TYPE::DECLARATION, "configuration",
                                            &unit_.head, "unit", 0));

  EXPECT_EQ(Entities(module_), before);
}

TEST_F(EntityTest, ProxiesMayCarryHostStatesAndHiddenRecordsNeedNoId) {
  ASSERT_NE(maxon::ConstructTranslationUnit(unit_, module_, "unit", 0), nullptr);
  maxon::DeclarationRecord proxy{};
  proxy.head.flags = FLAGS::ADAPTER;  // a class proxy starts from cleared flags
  ASSERT_NE(maxon::ConstructDeclaration(proxy, "test.proxy", nullptr, &unit_.head,
                                        FLAGS::CLASS_PROXY | FLAGS::USED),
            nullptr);
  EXPECT_EQ(proxy.head.flags, FLAGS::CLASS_PROXY | FLAGS::USED | FLAGS::CONSTRUCTED);
  maxon::DeclarationRecord hidden{};
  EXPECT_NE(maxon::ConstructDeclaration(hidden, nullptr, nullptr, &unit_.head, FLAGS::HIDDEN),
            nullptr);
  maxon::DeclarationRecord unowned{};
  EXPECT_NE(maxon::ConstructDeclaration(unowned, nullptr, nullptr, nullptr, 0), nullptr);
}

TEST_F(EntityTest, InterfaceDeclarationsKnowTheirBasesRecursively) {
  ASSERT_NE(maxon::ConstructTranslationUnit(unit_, module_, "unit", 0), nullptr);
  maxon::InterfaceDeclarationRecord root{}, single{}, multiple{}, unrelated{}, twin{};
  ASSERT_NE(maxon::ConstructInterfaceDeclaration(root, "net.example.interface.root",
                                                 "example.RootInterface", nullptr,
                                                 "Root@1", &unit_.head, 0),
            nullptr);
  single.head.flags = FLAGS::ADAPTER;  // interface declarations start from cleared flags
  ASSERT_NE(maxon::ConstructInterfaceDeclaration(single, "net.example.interface.single",
                                                 "example.SingleInterface", &root, "Single@2",
                                                 &unit_.head, FLAGS::SINGLE_BASE),
            nullptr);
  const maxon::InterfaceDeclarationRecord* bases[] = {&single, nullptr};
  ASSERT_NE(maxon::ConstructInterfaceDeclaration(multiple, "net.example.interface.multiple",
                                                 "example.MultipleInterface", bases, "Multi@3",
                                                 &unit_.head, 0),
            nullptr);
  ASSERT_NE(maxon::ConstructInterfaceDeclaration(unrelated, "net.example.interface.other",
                                                 "example.OtherInterface", nullptr, "Other@4",
                                                 &unit_.head, 0),
            nullptr);
  // Another record of the same interface is the same interface.
  ASSERT_NE(maxon::ConstructInterfaceDeclaration(twin, "net.example.interface.root",
                                                 "example.RootInterface", nullptr, "Root@1",
                                                 &unit_.head, 0),
            nullptr);

  EXPECT_EQ(single.head.flags, FLAGS::SINGLE_BASE | FLAGS::CONSTRUCTED);
  EXPECT_EQ(single.marker, 0x8000000000000000ull);
  EXPECT_STREQ(single.interfaceId.text, "net.example.interface.single");
  EXPECT_EQ(single.interfaceId.packed, single.head.id.packed);
  EXPECT_STREQ(single.declaredName, "example.SingleInterface");
  EXPECT_EQ(single.zero, 0);
  EXPECT_EQ(single.minusOne, -1);

  EXPECT_TRUE(maxon::InterfaceHasBase(single, root));
  EXPECT_TRUE(maxon::InterfaceHasBase(multiple, single));
  EXPECT_TRUE(maxon::InterfaceHasBase(multiple, root));
  EXPECT_TRUE(maxon::InterfaceHasBase(multiple, twin));
  EXPECT_FALSE(maxon::InterfaceHasBase(multiple, unrelated));
  EXPECT_FALSE(maxon::InterfaceHasBase(root, root));
  EXPECT_FALSE(maxon::InterfaceHasBase(root, multiple));
}

}  // namespace
